// What a run of the global methods gives and how the methods weigh it: the objectives (the
// total and each observation group's contribution), the values that stand for none (infinite
// for a failed run, the marker before any result), and the bookkeeping of the best result and
// of the runs without improvement that the stop rules count. Used by the three methods.
#pragma once

#include <limits>
#include <vector>

#include "pest/problem.h"

// The objectives of a run that failed: nothing was computed for its parameters, so they are
// taken as infinite (printed "inf"), which no finished run can undercut.
constexpr double kInfiniteObjective = std::numeric_limits<double>::infinity();

// The best value of MLSL and trajectory repulsion before any local search has given one.
constexpr double kNoObjective = -999.999;

// Entry 0 the total objective function, entry g the contribution of observation group g.
using Objectives = std::vector<double>;

// The sum of all observation groups' contributions: the total objective.
double TotalObjective(const ProblemRecord& record);
// The objectives of the last model run.
Objectives GroupObjectives(const ProblemRecord& record);
// The objectives of a failed run: all infinite.
Objectives InfiniteObjectives(const ProblemRecord& record);

// The value a total objective ranks by: one that is not a number ranks with the failed runs.
double RankingValue(double total);

// Successive results that did not improve on the best by more than the fraction judged
// negligible.
struct StallCount {
  long count = 0;

  // A result below (1 - fraction) x best starts the count again; any other adds one.
  void Count(double result, double best, double fraction) {
    count = result < (1.0 - fraction) * best ? 0 : count + 1;
  }
  // The stop rules compare for equality, so a limit of 0 holds before any count.
  bool Reached(long limit) const { return count == limit; }
};

// Counts the result of run number run (1, 2, ...): from the second run on the stall count
// against the best so far; then the best, which the first run sets while best is still the
// marker and a later run only with a lower result.
void CountResult(double result, long run, double fraction, double& best, long& best_run,
                 StallCount& stall);
