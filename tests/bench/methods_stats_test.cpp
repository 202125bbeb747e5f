// The figures of bench_methods: a run's phi trace scored against the tolerance and the
// budget, the Monte Carlo blocks, the summary over seeds, the comparison with SCE-UA, and the
// reading of the Monte Carlo and SCE logs the hydro problem's figures come from.
#include "methods_stats.h"

#include <gtest/gtest.h>

#include <cmath>

#include "methods_problems.h"

namespace methods {
namespace {

TEST(MethodsStats, ScoresTheFirstReachAndTheBestWithinTheBudget) {
  const std::vector<double> phi = {5.0, 3.0, 1.0005, 2.0, 1.0};
  const SeedOutcome within = ScoreTrace(phi, 1.001, 3);
  EXPECT_EQ(within.runs, 5);
  EXPECT_EQ(within.best, 1.0);
  EXPECT_TRUE(within.reached);
  EXPECT_EQ(within.runs_to_reach, 3);
  EXPECT_EQ(within.best_in_budget, 1.0005);
  EXPECT_TRUE(within.reached_in_budget);
  const SeedOutcome short_budget = ScoreTrace(phi, 1.001, 2);
  EXPECT_EQ(short_budget.best_in_budget, 3.0);
  EXPECT_FALSE(short_budget.reached_in_budget);
  EXPECT_FALSE(ScoreTrace(phi, 0.5, 10).reached);
  EXPECT_EQ(ScoreTrace(phi, 0.5, 10).runs_to_reach, -1);
}

TEST(MethodsStats, SplitsTheMonteCarloTraceIntoOneBlockPerSeed) {
  const std::vector<std::vector<double>> blocks = SplitIntoBlocks({1, 2, 3, 4, 5}, 3, 2);
  ASSERT_EQ(blocks.size(), 3u);
  EXPECT_EQ(blocks[0], (std::vector<double>{1, 2}));
  EXPECT_EQ(blocks[1], (std::vector<double>{3, 4}));
  EXPECT_EQ(blocks[2], (std::vector<double>{5}));  // a cut-short run shows as a short block
}

TEST(MethodsStats, SummarisesThirtySeeds) {
  std::vector<SeedOutcome> outcomes;
  for (int s = 1; s <= 30; ++s) {
    std::vector<double> phi(static_cast<size_t>(s), 9.0);
    phi.back() = s <= 10 ? 1.0 : 2.0;  // the first ten seeds reach the minimum, at their end
    outcomes.push_back(ScoreTrace(phi, 1.0, 5));
  }
  const MethodSummary s = Summarise(outcomes);
  EXPECT_EQ(s.reached, 10);
  EXPECT_EQ(s.median_runs, 15.5);
  EXPECT_EQ(s.p90_runs, 27);  // nearest rank: the 27th of 30
  EXPECT_EQ(s.median_reach, 5.5);
  EXPECT_EQ(s.reached_in_budget, 5);
  EXPECT_EQ(s.median_best_in_budget, 9.0);
}

TEST(MethodsStats, ComparesAGlobalMethodWithSce) {
  auto summary = [](int reached, double median_runs, int in_budget) {
    MethodSummary s;
    s.seeds = 30;
    s.reached = reached;
    s.median_runs = median_runs;
    s.reached_in_budget = in_budget;
    return s;
  };
  EXPECT_TRUE(BeatsSce(summary(28, 400, 0), summary(30, 900, 0), 27));  // cheaper
  EXPECT_FALSE(BeatsSce(summary(28, 1000, 0), summary(30, 900, 5), 27));
  EXPECT_TRUE(BeatsSce(summary(27, 1000, 20), summary(12, 900, 10), 27));  // more in budget
  EXPECT_FALSE(BeatsSce(summary(26, 100, 26), summary(12, 900, 0), 27));   // too few seeds
  EXPECT_FALSE(BeatsSce(summary(29, 100, 3), summary(20, 900, 3), 27));    // SCE short of 27
}

TEST(MethodsProblems, ReadsTheObjectivesOfTheMonteCarloAndSceLogs) {
  EXPECT_EQ(MonteCarloLogObjectives("Cost  \tx1\tx2\t\n12.500000\t1e+00\t2e+00\t\n"
                                    "3.250000\t1e+00\t2e+00\t\n"),
            (std::vector<double>{12.5, 3.25}));
  EXPECT_EQ(SceLogObjectives("Sim No.   Cost     Minimum Cost:  Parameter Values\n"
                             "1        12.3456   12.3456  :  1.0e+00\n"
                             "10        3.0000    3.0000  :  1.0e+00\n"),
            (std::vector<double>{12.3456, 3.0}));
  EXPECT_EQ(SumOfSquares({1.0, 2.0}, {0.0, 4.0}), 5.0);
  EXPECT_EQ(SumOfSquares({1.0}, {HUGE_VAL}), kHugePhi);  // an overflowing model
}

}  // namespace
}  // namespace methods
