#include "global/objectives.h"

#include <cmath>

double TotalObjective(const ProblemRecord& record) {
  double total = 0.0;
  for (int g = 1; g <= record.NOBSGP; ++g) total += record.observation_groups[g].phi;
  return total;
}

Objectives GroupObjectives(const ProblemRecord& record) {
  Objectives objectives(static_cast<size_t>(record.NOBSGP) + 1);
  objectives[0] = TotalObjective(record);
  for (int g = 1; g <= record.NOBSGP; ++g) objectives[g] = record.observation_groups[g].phi;
  return objectives;
}

Objectives InfiniteObjectives(const ProblemRecord& record) {
  return Objectives(static_cast<size_t>(record.NOBSGP) + 1, kInfiniteObjective);
}

double RankingValue(double total) { return std::isnan(total) ? kInfiniteObjective : total; }

void CountResult(double result, long run, double fraction, double& best, long& best_run,
                 StallCount& stall) {
  if (run >= 2) stall.Count(result, best, fraction);
  if ((run == 1 && best == kNoObjective) || (run > 1 && result < best)) {
    best = result;
    best_run = run;
  }
}
