// The figures of the method comparison (bench_methods): what one method run achieved, read
// from the phi of every model run it made in order, and the summary over the seeds of one
// method on one problem. Used by methods_bench.cpp.
#pragma once

#include <string>
#include <vector>

namespace methods {

struct SeedOutcome {
  long runs = 0;                // model runs made
  double best = 0.0;            // the lowest phi of all of them
  bool reached = false;         // best within the tolerance of the global minimum
  long runs_to_reach = -1;      // runs until the first phi within the tolerance, or -1
  double best_in_budget = 0.0;  // the lowest phi of the first `budget` runs
  bool reached_in_budget = false;
  bool ended_badly = false;  // the tool failed or was stopped (its runs still count)
};

// Scores the phi of every run of one method run: reached means phi <= threshold.
SeedOutcome ScoreTrace(const std::vector<double>& phi, double threshold, long budget);

// Splits one long Monte Carlo trace into `seeds` consecutive blocks of `block` runs each.
std::vector<std::vector<double>> SplitIntoBlocks(const std::vector<double>& phi, int seeds,
                                                 long block);

struct MethodSummary {
  int seeds = 0;
  int reached = 0;
  int ended_badly = 0;
  double median_runs = 0.0;
  long p90_runs = 0;           // the 90th percentile by nearest rank (27th of 30)
  double median_reach = -1.0;  // median runs to the first reach over the seeds that reached
  int reached_in_budget = 0;
  double median_best_in_budget = 0.0;
};

MethodSummary Summarise(const std::vector<SeedOutcome>& outcomes);

// The median of values (mean of the middle two for an even count); 0 when empty.
double Median(std::vector<double> values);
// The nearest-rank percentile: the smallest value with at least q of the values at or below.
double NearestRank(std::vector<double> values, double q);

// Whether a global method meets the comparison with SCE on one problem: it reaches the global
// minimum in at least `needed` seeds, and either SCE reaches it as often (in `needed` seeds
// or more) but needs more median runs, or the method reaches it within the fixed budget in
// more seeds than SCE does.
bool BeatsSce(const MethodSummary& global, const MethodSummary& sce, int needed);

}  // namespace methods
