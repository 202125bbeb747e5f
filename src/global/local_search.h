// The one way the global methods start a Levenberg-Marquardt search: from a point, on a fresh
// state with the control file's RLAMBDA1, plain or recording its trajectory, and returning
// its outcome. A sample run is the same search with NOPTMAX 0 (one model run, phi by group).
// Used by the sample runs and by the local searches of the three methods.
#pragma once

#include "global/global_problem.h"
#include "global/objectives.h"
#include "global/recording_search.h"
#include "numeric/numeric.h"

struct SearchOutcome {
  short status = 0;
  long model_calls = 0;
  Objectives objectives;  // after the search; all infinite when it failed
  dvector end;            // the stored values of all parameters where the search left them
};

// A search from start in context, a context of problem's case that the caller set up (its
// files, output names and the way its runs are made; see RunLocalSearch).
SearchOutcome RunSearchIn(GlobalProblem& problem, LmContext& context, const dvector& start,
                          Trajectory* trajectory = nullptr);

// A search from start (the stored values of all NPAR parameters); resume continues it from
// the restart file instead. With a trajectory it is the recording search, which starts at the
// point the caller added last to the trajectory.
SearchOutcome RunLocalSearch(GlobalProblem& problem, const dvector& start, bool resume,
                             Trajectory* trajectory = nullptr);

// The sample run at point: the search with NOPTMAX 0, never resumed; its objectives are the
// sample's. made, when given, is the sample's model run, made already by a spread batch: the
// search takes it up in place of making it.
SearchOutcome RunSampleSearch(GlobalProblem& problem, const dvector& point,
                              MadeRun* made = nullptr);
