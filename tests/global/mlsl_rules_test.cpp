// Tests of the decisions of Multi Level Single Linkage: the critical distance against figures
// computed by hand, the start rules with the lines of their verdicts, and the bookkeeping of
// the stop rules and their precedence.
#include "global/mlsl_rules.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "global/method_run.h"
#include "global/mlsl.h"
#include "lm/lm_test_util.h"

namespace {

using global_test::Point;
using global_test::Points;
using lm_test::Captured;

// ---- Critical distance ----------------------------------------------------------------------

TEST(CriticalDistance, FiguresComputedByHand) {
  struct Case {
    int n;
    double volume, sigma;
    long m;
    const char* printed;  // "%lf" of alpha
  };
  // pi^(-1/2) (Gamma(1 + n/2) V sigma ln M / M)^(1/n): Gamma(2) = 1 and Gamma(2.5) = 1.32934;
  // for n = 1, Gamma(1.5) = sqrt(pi) / 2 leaves V sigma ln(M) / (2 M).
  const Case cases[] = {
      {2, 1.0, 2.0, 10, "0.382867"},
      {2, 4.0, 2.0, 100, "0.342447"},
      {3, 1.0, 2.0, 10, "0.479055"},
      {1, 3.0, 2.0, 10, "0.690776"},
      {2, 1.0, 2.0, 1, "0.000000"},  // ln 1 = 0: a single sample is near nothing
  };
  for (const Case& c : cases) {
    char printed[32];
    std::snprintf(printed, sizeof printed, "%lf", CriticalDistance(c.n, c.volume, c.sigma, c.m));
    EXPECT_STREQ(printed, c.printed) << "n " << c.n << ", V " << c.volume << ", M " << c.m;
  }
}

// ---- Start rules ----------------------------------------------------------------------------

struct RuleCase {
  const char* name;
  MlslPoints points;
  long x;
  double alpha, dmin;
  bool accepted;
  std::vector<std::string> lines;  // the record lines, in order
};

TEST(StartRules, EachRuleRejectsWithItsLinesAndTheFirstRejectingRuleEndsTheTests) {
  const double kDmin = 0.05;
  const std::vector<RuleCase> cases = {
      {"the best sample with no end or start point yet",
       {Points({{0.0, 0.0}, {0.1, 0.0}}), {1.0, 2.0}, {}, {}, {}}, 1, 0.5, kDmin, true, {}},
      {"a better neighbour within alpha",
       {Points({{0.0, 0.0}, {0.1, 0.0}}), {1.0, 2.0}, {}, {}, {}}, 2, 0.5, kDmin, false,
       {"No LS for vector 2 of the reduced sample. It is within an alpha distance of the "
        "vector 1 with a lower obj. function value"}},
      {"an equal objective is no reason (strict comparison)",
       {Points({{0.0, 0.0}, {0.1, 0.0}}), {2.0, 2.0}, {}, {}, {}}, 2, 0.5, kDmin, true, {}},
      {"exactly alpha away still counts as within",
       {Points({{0.0, 0.0}, {0.5, 0.0}}), {1.0, 2.0}, {}, {}, {}}, 2, 0.5, kDmin, false,
       {"No LS for vector 2 of the reduced sample. It is within an alpha distance of the "
        "vector 1 with a lower obj. function value"}},
      {"every better neighbour is reported; end and start points are not tried then",
       {Points({{0.0, 0.0}, {0.2, 0.0}, {0.1, 0.0}}), {1.0, 2.0, 3.0}, Points({{0.1, 0.0}}),
        {0.0}, Points({{0.1, 0.0}})},
       3, 0.5, kDmin, false,
       {"No LS for vector 3 of the reduced sample. It is within an alpha distance of the "
        "vector 1 with a lower obj. function value",
        "No LS for vector 3 of the reduced sample. It is within an alpha distance of the "
        "vector 2 with a lower obj. function value"}},
      {"an end point within alpha with a lower objective",
       {Points({{0.0, 0.0}}), {1.0}, Points({{3.0, 0.0}, {0.3, 0.0}}), {0.5, 0.5}, {}}, 1, 0.5,
        kDmin, false,
       {"No LS for vector 1 of the reduced sample. It is within an alpha distance of a "
        "previous LS end point"}},
      {"an end point within alpha but higher is no reason",
       {Points({{0.0, 0.0}}), {1.0}, Points({{0.3, 0.0}}), {2.0}, {}}, 1, 0.5, kDmin, true, {}},
      {"an end point nearer than dmin, whatever its objective",
       {Points({{0.0, 0.0}}), {1.0}, Points({{0.04, 0.0}}), {2.0}, {}}, 1, 0.01, kDmin, false,
       {"No LS for vector 1 of the reduced sample. It is within a distance 0.050000 of a "
        "previous LS end point"}},
      {"an earlier start point nearer than 1e-8",
       {Points({{0.0, 0.0}}), {1.0}, {}, {}, Points({{0.0, 5e-9}})}, 1, 0.01, kDmin, false,
       {"No LS for vector 1 of the reduced sample. It is too close to a previous LS start "
        "point"}},
      {"an earlier start point 2e-8 away is another start",
       {Points({{0.0, 0.0}}), {1.0}, {}, {}, Points({{0.0, 2e-8}})}, 1, 0.0, kDmin, true, {}},
  };
  for (const RuleCase& c : cases) {
    Captured captured;
    const StartVerdict verdict = JudgeStartCandidate(c.points, c.x, c.alpha, c.dmin);
    WriteRejections(captured.rec(), c.x, c.dmin, verdict);
    captured.Finish();
    EXPECT_EQ(verdict.accepted(), c.accepted) << c.name;
    std::string expected;
    for (const std::string& line : c.lines) expected += line + "\n";
    EXPECT_EQ(captured.record(), expected) << c.name;
  }
}

TEST(StartRules, AnEndPointWithinOneMillionthIsAKnownMinimum) {
  MlslPoints points;
  EXPECT_FALSE(IsKnownMinimum(points, Point({1.0, 2.0})));  // the first search always finds one
  points.end_points = Points({{5.0, 5.0}, {1.0, 2.0}});
  EXPECT_TRUE(IsKnownMinimum(points, Point({1.0 + 0.9e-6, 2.0})));
  EXPECT_FALSE(IsKnownMinimum(points, Point({1.0 + 1.1e-6, 2.0})));
  EXPECT_DOUBLE_EQ(EuclideanDistance(Point({0.0, 0.0, 1.0}), Point({3.0, 4.0, 1.0})), 5.0);
}

// ---- Stop rules -----------------------------------------------------------------------------

// Ten samples an iteration; sigma, dmin and the seeds play no part in the stop rules.
MlslSettings Settings(long Kmax, long Lmax, long Lstall, long Kstall, double f = 0.01,
                      double gamma = 0.1) {
  return {10, gamma, 0.0, 0.0, "", 0, Kmax, Lmax, Lstall, Kstall, f};
}

// Counts one more local search with result F, as the method does before the bookkeeping.
int Search(MlslProgress& p, double F, const MlslSettings& s) {
  ++p.L;
  return AfterLocalSearch(p, F, s);
}

TEST(LocalSearchBookkeeping, StallCounterBestRunAndLimits) {
  // Lstall 0: the first search stops the method with a count of 0.
  MlslProgress p;
  EXPECT_EQ(Search(p, 5.0, Settings(10, 10, 0, 5)), kMlslLocalStall);
  EXPECT_EQ(p.s_L.count, 0);
  EXPECT_EQ(p.Fbest, 5.0);
  EXPECT_EQ(p.best_run, 1);

  // Lstall 2: an improvement by more than f resets the count, a smaller one does not.
  const MlslSettings s = Settings(10, 10, 2, 5, 0.01);
  p = MlslProgress();
  const struct {
    double F;
    long s_L;
    double Fbest;
    long best_run;
    int rule;
  } steps[] = {
      {10.0, 0, 10.0, 1, kMlslNoStop},
      {9.0, 0, 9.0, 2, kMlslNoStop},      // 9 < 0.99 x 10
      {8.95, 1, 8.95, 3, kMlslNoStop},    // lower, but not by more than 1 %
      {8.0, 0, 8.0, 4, kMlslNoStop},
      {8.0, 1, 8.0, 4, kMlslNoStop},      // equal: no new best run
      {12.0, 2, 8.0, 4, kMlslLocalStall},
  };
  for (const auto& step : steps) {
    EXPECT_EQ(Search(p, step.F, s), step.rule) << "search " << p.L;
    EXPECT_EQ(p.s_L.count, step.s_L) << "search " << p.L;
    EXPECT_EQ(p.Fbest, step.Fbest) << "search " << p.L;
    EXPECT_EQ(p.best_run, step.best_run) << "search " << p.L;
  }
  EXPECT_EQ(p.kbest, 8.0);

  // Lmax: the stall rule is asked first.
  p = MlslProgress();
  EXPECT_EQ(Search(p, 3.0, Settings(10, 2, 1, 5)), kMlslNoStop);
  EXPECT_EQ(Search(p, 2.0, Settings(10, 2, 1, 5)), kMlslLocalLimit);
  p = MlslProgress();
  EXPECT_EQ(Search(p, 3.0, Settings(10, 2, 1, 5)), kMlslNoStop);
  EXPECT_EQ(Search(p, 4.0, Settings(10, 2, 1, 5)), kMlslLocalStall);
}

TEST(IterationBookkeeping, NoIterationCountsAsStalledBeforeTheFirstLocalSearch) {
  const MlslSettings s = Settings(10, 10, 5, 2, 0.01, 0.05);
  MlslProgress p;
  // Two iterations without a local search (the reduced sample was empty): Kbest has no value
  // yet, so neither is one without improvement.
  for (p.k = 1; p.k <= 2; ++p.k) {
    EXPECT_EQ(AfterIteration(p, 10 * p.k, s, kMlslNoStop), kMlslNoStop);
    EXPECT_EQ(p.s_K.count, 0);
    EXPECT_EQ(p.Kbest, kNoObjective);
  }
  // Iteration 3 runs the first search: Kbest takes its result, still no stall.
  p.L = p.D = 1;
  p.Fbest = p.kbest = 4.0;
  EXPECT_EQ(AfterIteration(p, 30, s, kMlslNoStop), kMlslNoStop);
  EXPECT_EQ(p.Kbest, 4.0);
  EXPECT_EQ(p.s_K.count, 0);
  // Then iterations are judged: no search (kbest 1e300), a small gain, a real gain.
  p.k = 4;
  p.kbest = 1e300;
  EXPECT_EQ(AfterIteration(p, 40, s, kMlslNoStop), kMlslNoStop);
  EXPECT_EQ(p.s_K.count, 1);
  p.k = 5;
  p.kbest = 3.99;
  EXPECT_EQ(AfterIteration(p, 50, s, kMlslNoStop), kMlslIterationStall);
  EXPECT_EQ(p.s_K.count, 2);
  EXPECT_EQ(p.Kbest, 3.99);
  p.k = 6;
  p.kbest = 1.0;
  AfterIteration(p, 60, s, kMlslNoStop);
  EXPECT_EQ(p.s_K.count, 0);
  EXPECT_EQ(p.Kbest, 1.0);
}

TEST(IterationBookkeeping, KstallZeroStopsAfterTheFirstIteration) {
  MlslProgress p;
  EXPECT_EQ(AfterIteration(p, 10, Settings(10, 10, 5, 0), kMlslNoStop), kMlslIterationStall);
}

TEST(IterationBookkeeping, BayesianRuleAtTheBoundaryComputedByHand) {
  // With D = 1 the rule reads 1.5 >= (R' - 1) / (R' - 3): it holds from R' = 7 on.
  struct Case {
    long M;
    double gamma;
    long D;
    int rule;
  } cases[] = {
      {70, 0.1, 1, kMlslBayesian},  // R' = 7: 1.5 >= 6 / 4
      {69, 0.1, 1, kMlslNoStop},    // R' = 6.9: 5.9 / 3.9 = 1.513
      {30, 0.1, 1, kMlslNoStop},    // R' = 3 is not above D + 2
      {9, 0.1, 0, kMlslNoStop},     // gamma M < 1: no reduced sample, R' = 0.9
      {160, 0.1, 2, kMlslBayesian}, // D = 2 holds from R' = 16: 2.5 >= 15 x 2 / 12
      {150, 0.1, 2, kMlslNoStop},
  };
  for (const Case& c : cases) {
    MlslProgress p;
    p.D = c.D;
    p.L = c.D;
    p.Fbest = 1.0;
    p.kbest = 1.0;
    EXPECT_EQ(AfterIteration(p, c.M, Settings(10, 10, 5, 3, 0.01, c.gamma), kMlslNoStop),
              c.rule)
        << "M " << c.M << ", D " << c.D;
  }
}

TEST(IterationBookkeeping, PrecedenceFiveOverFourOverThreeOverTheRuleThatEndedTheScan) {
  struct Case {
    const char* name;
    long k, Kmax, Kstall, M, D;
    int scan_rule, rule;
  } cases[] = {
      {"scan rule alone", 1, 5, 3, 10, 1, kMlslLocalLimit, kMlslLocalLimit},
      {"Kmax with rule 1", 2, 2, 3, 20, 1, kMlslLocalStall, kMlslIterationLimit},
      {"Kmax with rule 2", 2, 2, 3, 20, 1, kMlslLocalLimit, kMlslIterationLimit},
      {"Bayesian over rule 2", 1, 5, 3, 70, 1, kMlslLocalLimit, kMlslBayesian},
      {"Kmax over Bayesian", 1, 1, 3, 70, 1, kMlslNoStop, kMlslIterationLimit},
      {"Kstall over Kmax and Bayesian", 1, 1, 0, 70, 1, kMlslLocalStall, kMlslIterationStall},
  };
  for (const Case& c : cases) {
    MlslProgress p;
    p.k = c.k;
    p.L = p.D = c.D;
    p.Fbest = p.kbest = 1.0;
    const MlslSettings s = Settings(c.Kmax, 10, 5, c.Kstall, 0.01, 0.1);
    EXPECT_EQ(AfterIteration(p, c.M, s, c.scan_rule), c.rule) << c.name;
  }
}

}  // namespace
