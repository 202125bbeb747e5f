#include "methods_stats.h"

#include <algorithm>
#include <cmath>

namespace methods {

SeedOutcome ScoreTrace(const std::vector<double>& phi, double threshold, long budget) {
  SeedOutcome o;
  o.runs = static_cast<long>(phi.size());
  o.best = phi.empty() ? HUGE_VAL : phi[0];
  o.best_in_budget = o.best;
  for (size_t i = 0; i < phi.size(); ++i) {
    o.best = std::min(o.best, phi[i]);
    if (static_cast<long>(i) < budget) o.best_in_budget = o.best;
    if (o.runs_to_reach < 0 && phi[i] <= threshold) o.runs_to_reach = static_cast<long>(i) + 1;
  }
  o.reached = o.runs_to_reach > 0;
  o.reached_in_budget = o.reached && o.runs_to_reach <= budget;
  return o;
}

std::vector<std::vector<double>> SplitIntoBlocks(const std::vector<double>& phi, int seeds,
                                                 long block) {
  std::vector<std::vector<double>> blocks;
  for (int s = 0; s < seeds; ++s) {
    const size_t from = std::min(phi.size(), static_cast<size_t>(s) * static_cast<size_t>(block));
    const size_t to = std::min(phi.size(), from + static_cast<size_t>(block));
    blocks.emplace_back(phi.begin() + static_cast<long>(from), phi.begin() + static_cast<long>(to));
  }
  return blocks;
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0.0;
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : 0.5 * (values[n / 2 - 1] + values[n / 2]);
}

double NearestRank(std::vector<double> values, double q) {
  if (values.empty()) return 0.0;
  std::sort(values.begin(), values.end());
  const double rank = std::ceil(q * static_cast<double>(values.size()) - 1e-9);
  const size_t index = static_cast<size_t>(std::max(1.0, rank)) - 1;
  return values[std::min(index, values.size() - 1)];
}

MethodSummary Summarise(const std::vector<SeedOutcome>& outcomes) {
  MethodSummary s;
  std::vector<double> runs, reach, best_in_budget;
  for (const SeedOutcome& o : outcomes) {
    ++s.seeds;
    s.reached += o.reached;
    s.ended_badly += o.ended_badly;
    s.reached_in_budget += o.reached_in_budget;
    runs.push_back(static_cast<double>(o.runs));
    if (o.reached) reach.push_back(static_cast<double>(o.runs_to_reach));
    best_in_budget.push_back(o.best_in_budget);
  }
  s.median_runs = Median(runs);
  s.p90_runs = static_cast<long>(NearestRank(runs, 0.9));
  s.median_reach = reach.empty() ? -1.0 : Median(reach);
  s.median_best_in_budget = Median(best_in_budget);
  return s;
}

bool BeatsSce(const MethodSummary& global, const MethodSummary& sce, int needed) {
  if (global.reached < needed) return false;
  const bool cheaper = sce.reached >= needed && global.median_runs < sce.median_runs;
  return cheaper || global.reached_in_budget > sce.reached_in_budget;
}

}  // namespace methods
