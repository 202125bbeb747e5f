// The global method trajectory repulsion ("-tr"): pre-inversion samples and local searches
// started farthest from earlier trajectories; its record file "slm_kor_ms2.rec".
// Started by the command line through the driver's mode table.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "global/objectives.h"
#include "global/recording_search.h"
#include "global/sample_runs.h"
#include "modellib/tarne_lib.h"
#include "pest/problem.h"

// argv: word 1 the option, word 2 the control name, optional word 3 "/r". Returns 1 on a
// usage or mode error, 0 when the control file's content is refused, otherwise the status
// of the method's last step.
short RunTrajectoryRepulsion(tarne::mpi_setup* partition, int argc, char** argv);

// The pieces below are the method's decisions, apart from its model runs and files, so that
// each rule can be checked on its own.

// The values of "tr.in", in the order the file gives them.
struct TrSettings {
  std::string seeds_word;
  std::uint32_t seed = 0;
  long Npre = 0;    // pre-inversion runs (samples)
  long Nct = 0;     // most CT runs (local searches)
  long Nstall = 0;  // successive CT runs without improvement that stop the method
  double f = 0.0;   // improvement fraction judged negligible
};

struct TrProgress {
  double Kbest = kNoObjective;  // lowest total objective of the CT runs
  long best_run = 0;            // the CT run that gave it
  StallCount s;                 // successive CT runs without improvement
};

// The samples (every parameter of each, stored units, with its objectives) and what the CT
// runs have made of them.
struct TrSamples : SampleTable {
  std::vector<double> totals;  // [m - 1]: total objective, +inf for a failed run
  std::vector<long> order;     // sample numbers by ascending total objective
  std::vector<bool> used;      // [m - 1]: sample m has started a CT run
};

// The start of the next CT run: with an empty trajectory the unused sample with the lowest
// objective; otherwise, of the unused samples in ascending objective order, the one in the
// highest-scoring pair of a sample and a trajectory point, the score being the normalised
// squared distance (a later pair replaces the choice only with a strictly higher score).
// Samples whose run failed are chosen only when no other sample is left. Returns the sample
// number, or 0 when every sample has been used.
long ChooseStartSample(const ProblemRecord& record, const TrSamples& samples,
                       const Trajectory& trajectory);

// The bookkeeping after CT run r with total objective F: the stall counter and the best value
// with its run. True when the method stops (Nstall runs without improvement, or Nct runs).
bool AfterCtRun(TrProgress& progress, long r, double F, const TrSettings& settings);
