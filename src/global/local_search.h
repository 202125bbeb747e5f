// The one way the global methods start a Levenberg-Marquardt search: from a point, on a fresh
// state with the control file's RLAMBDA1, plain or recording its trajectory, and returning
// its outcome. A sample run is the same search with NOPTMAX 0 (one model run, phi by group).
// A step that a resumed run has finished before is taken from the method's restart file
// instead of being run again (method_restart.h). Used by the sample runs and by the local
// searches of the three methods.
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

// A search from start (the stored values of all NPAR parameters). With a trajectory it is
// the recording search, which starts at the point the caller added last to the trajectory.
// A search that was under way when a resumed run was interrupted goes on from the engine
// restart file of its last completed iteration. Once finished, the search is committed to
// the method's restart file.
SearchOutcome RunLocalSearch(GlobalProblem& problem, const dvector& start,
                             Trajectory* trajectory = nullptr);

// The sample run at point: the search with NOPTMAX 0; its objectives are the sample's. The
// caller commits the sample runs of a phase together (MethodRestart::Commit). made, when
// given, is the sample's model run, made already by a spread batch: the search takes it up in
// place of making it.
SearchOutcome RunSampleSearch(GlobalProblem& problem, const dvector& point,
                              MadeRun* made = nullptr);

// A fresh search from start (no trajectory) in context, a context of problem's case that the
// caller set up (its files, output names and the way its runs are made), neither replayed nor
// committed: a search made apart from the case files (captured_search.h).
SearchOutcome RunSearchIn(GlobalProblem& problem, LmContext& context, const dvector& start);
// Commits a finished search from start, with its outcome, to the method's restart file, as
// RunLocalSearch does once a search is finished.
void CommitSearch(GlobalProblem& problem, const dvector& start, const SearchOutcome& outcome);
// The outcome of a search that a halted method does not make.
SearchOutcome HaltedSearch(GlobalProblem& problem);
