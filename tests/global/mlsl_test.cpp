// Tests of Multi Level Single Linkage: the critical distance against figures computed by hand,
// the start rules, the bookkeeping of the stop rules and their precedence, the record file of
// a whole iteration against an expected file made from the rules, a failed sample run, the
// refusals before any model run, and the bundled example through the tarne binary.
#include "global/mlsl.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "lm/lm_test_util.h"
#include "global/method_run.h"
#include "lm/pest_case.h"
#include "support/test_support.h"
#include "support/text_compare.h"

namespace {

using lm_test::Captured;
using lm_test::Occurrences;
using global_test::LinearCase;
using global_test::MethodRun;
using global_test::Point;
using global_test::Points;
using lm_test::PestCase;
using testing_support::CompareText;
using testing_support::FileExists;
using testing_support::ReadFile;
using testing_support::RunResult;
using testing_support::RunTarne;
using testing_support::SourcePath;
using testing_support::SplitLines;
using testing_support::TempDir;
using testing_support::WriteFile;

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

MlslSettings Settings(long Kmax, long Lmax, long Lstall, long Kstall, double f = 0.01,
                      double gamma = 0.1) {
  MlslSettings s;
  s.N = 10;
  s.gamma = gamma;
  s.Kmax = Kmax;
  s.Lmax = Lmax;
  s.Lstall = Lstall;
  s.Kstall = Kstall;
  s.f = f;
  return s;
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
  p.kbest = 1e300;
  p.L = 1;
  p.D = 1;
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

// ---- The method on small cases -------------------------------------------------------------

// The objective of the linear case at a sample: 20000 ((a + b - 0.0075)^2 + (a - b +
// 0.0015)^2) + 0.01.
double LinearObjective(double a, double b) {
  return 2e4 * (std::pow(a + b - 0.0075, 2) + std::pow(a - b + 0.0015, 2)) + 0.01;
}

const global_test::MethodTool kMlsl = {RunMlsl, "-mlsl", "mlsl.in", "slm_kor_mlsl.rec",
                                       "slm_kor_mlsl"};

MethodRun RunMethod(const std::vector<std::string>& extra = {}) {
  return global_test::RunMethod(kMlsl, extra);
}

// The expected files come from tests/data/global/mlsl/make_expected.py, which computes the
// samples, objectives and critical distance from the rules. Printed "%lf" numbers may differ
// in the last decimal where the model's value file rounds the samples to eight digits, so
// numbers agree within 2e-6.
TEST(MlslRecord, LayoutOfAFullIteration) {
  TempDir dir;
  LinearCase().Write();
  WriteFile("mlsl.in", "5 0.4 0.000001 0.0001\nY 12345\n1 2 5 3 0.001\n");
  const MethodRun run = RunMethod();
  EXPECT_EQ(run.status, 0) << run.screen;
  const std::string data = SourcePath("tests/data/global/mlsl/");
  EXPECT_EQ(CompareText(ReadFile(data + "slm_kor_mlsl.rec"), run.rec, {0.0, 2e-6}), "");
  EXPECT_EQ(ReadFile("RandomNumberSeeds.prn"), ReadFile(data + "RandomNumberSeeds.prn"));
  // Each search also makes its final run, which the engine does not count at its limit.
  EXPECT_EQ(run.model_runs, 5 + 5 + 5);
  EXPECT_NE(run.screen.find("\nBest result: local search 1, with a total objective function "
                            "value of 0.010000.\n"),
            std::string::npos);
  // The seeds file replays the samples: a second run in "N" mode writes the same record.
  WriteFile("mlsl.in", "5 0.4 0.000001 0.0001\nN 999\n1 2 5 3 0.001\n");
  const MethodRun replay = RunMethod();
  std::string expected = run.rec;
  expected.replace(expected.find(": 12345\n"), 8, ": 999\n");
  EXPECT_EQ(CompareText(expected, replay.rec, {0.0, 2e-6}), "");
}

TEST(MlslMethod, NoReducedSampleMeansNoLocalSearch) {
  TempDir dir;
  LinearCase().Write();
  // gamma x M = 0.2 x 4 < 1 in the only iteration.
  WriteFile("mlsl.in", "4 0.2 2.0 0.001\nY 7\n1 5 5 3 0.001\n");
  const MethodRun run = RunMethod();
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.rec.find("Reduced Sample Set"), std::string::npos);
  EXPECT_EQ(run.rec.find("A LS will be performed"), std::string::npos);
  EXPECT_NE(run.rec.find("Actual number of local searches performed is: 0\n"
                         "The number of local searches that yielded distinct local minima: 0\n"
                         "The number of MLSL iterations is: 1\n"
                         "The global search process yielded a total objective function value "
                         "of -999.999000\n"),
            std::string::npos);
  EXPECT_NE(run.screen.find("MLSL ran no local search"), std::string::npos);
  EXPECT_EQ(run.model_runs, 4);
}

TEST(MlslMethod, StallLimitsOfZero) {
  struct Case {
    const char* input;
    const char* stop_line;
    int searches;
  } cases[] = {
      {"5 0.4 2.0 0.001\nY 7\n3 5 0 3 0.001\n",
       "Stopped because there have been 0 actual local searches with no objective function "
       "improvement.\n\n",
       1},
      {"5 0.2 2.0 0.001\nY 7\n3 5 5 0 0.001\n",
       "Stopped because there have been 0 MLSL iterations with no objective function "
       "improvement.\n\n",
       1},
  };
  for (const Case& c : cases) {
    TempDir dir;
    LinearCase().Write();
    WriteFile("mlsl.in", c.input);
    const MethodRun run = RunMethod();
    EXPECT_EQ(run.status, 0) << c.input;
    EXPECT_EQ(Occurrences(run.rec, "A LS will be performed"), c.searches) << c.input;
    EXPECT_NE(run.rec.find(c.stop_line), std::string::npos) << c.input << run.rec;
    EXPECT_NE(run.rec.find("The number of MLSL iterations is: 1\n"), std::string::npos);
  }
}

// Runs with a > 0.007 remove the model's output, so their reading fails: with seed 12345
// samples 2 and 5 fail (a = 0.00938 and 0.00843).
TEST(MlslMethod, AFailedSampleRunIsTakenAsInfiniteAndStartsNoSearchBeforeFiniteOnes) {
  TempDir dir;
  PestCase c = LinearCase();
  c.post_extra = "awk '{ if ($1 > 0.007) exit 1 }' values.in || rm -f model.out\n";
  c.Write();
  WriteFile("mlsl.in", "5 1.0 0.000001 0.001\nY 12345\n1 10 10 3 0.001\n");
  const MethodRun run = RunMethod();
  for (int m : {2, 5}) {
    EXPECT_NE(run.screen.find("The model run of sample " + std::to_string(m) +
                              " failed; its objective function is taken as infinite."),
              std::string::npos)
        << m;
  }
  // The rows line up with their samples: the failed ones print inf, the others the
  // objective of their own values.
  const std::vector<std::string> lines = SplitLines(run.rec);
  size_t row = 0;
  while (row < lines.size() && lines[row] != "a\tb\tTotal\tg1\tg2\t") ++row;
  ASSERT_LT(row + 5, lines.size());
  for (int m = 1; m <= 5; ++m) {
    double a = 0, b = 0;
    char total[32] = {};
    ASSERT_EQ(std::sscanf(lines[row + m].c_str(), "%lf\t%lf\t%31s", &a, &b, total), 3);
    if (a > 0.007) {
      EXPECT_EQ(lines[row + m], lines[row + m].substr(0, lines[row + m].find("inf")) +
                                    "inf\tinf\tinf\t")
          << m;
    } else {
      // The rows show a and b to six decimals only: the objective agrees to 1e-3.
      EXPECT_NEAR(std::strtod(total, nullptr), LinearObjective(a, b), 1e-3) << m;
    }
  }
  // The reduced sample ranks the failed samples last, so the searches from them come last;
  // they fail too and yield no minimum.
  const size_t reduced = run.rec.find("Reduced Sample Set");
  ASSERT_NE(reduced, std::string::npos);
  const std::vector<std::string> ranked = SplitLines(run.rec.substr(reduced));
  ASSERT_GT(ranked.size(), 7u);  // the heading, a blank line, the titles, five rows
  EXPECT_EQ(ranked[5].find("inf"), std::string::npos);
  EXPECT_NE(ranked[6].find("inf"), std::string::npos);
  EXPECT_NE(ranked[7].find("inf"), std::string::npos);
  EXPECT_EQ(Occurrences(run.rec, "A LS will be performed"), 5);
  EXPECT_EQ(Occurrences(run.rec, "THIS LOCAL SEARCH FAILED AND YIELDED NO LOCAL MINIMUM"), 2);
  const size_t first_failed = run.rec.find("THIS LOCAL SEARCH FAILED");
  EXPECT_EQ(run.rec.find("DID NOT RESULT IN A NEW LOCAL MINIMUM", first_failed),
            std::string::npos);
  EXPECT_NE(run.rec.find("The number of local searches that yielded distinct local minima: 1\n"
                         "The number of MLSL iterations is: 1\n"
                         "The global search process yielded a total objective function value "
                         "of 0.010000\n"
                         "This value was obtained from reported inversion run number 1\n"),
            std::string::npos);
  // The last step, a search from a failed sample, failed: its status is the method's.
  EXPECT_NE(run.status, 0);
  global_test::ExpectSeedsWithoutTheThirdSample();
  global_test::ExpectReplayWritesTheSameRecord(kMlsl, "5 1.0 0.000001 0.001\nN 12345\n1 10 10 3 0.001\n", run);
}

TEST(MlslMethod, BadInputIsRefusedBeforeAnyModelRun) {
  global_test::ExpectRefusedBeforeAnyModelRun(kMlsl, {
      {"no input file", nullptr, {}, [] {}, "cannot open mlsl.in: No such file or directory", 1},
      {"record file cannot be made", "5 0.4 2 0.001 Y 7 1 2 5 3 0.001", {},
       [] { std::filesystem::create_directory("slm_kor_mlsl.rec"); },
       "cannot create slm_kor_mlsl.rec: Is a directory", 1},
      {"malformed count", "5x 0.4 2 0.001 Y 7 1 2 5 3 0.001", {}, [] {},
       "cannot read mlsl.in (line 1): N (the uniform sample size per iteration) is \"5x\", "
       "not a whole number",
       1},
      {"gamma out of range", "5\n0 2 0.001 Y 7 1 2 5 3 0.001", {}, [] {},
       "cannot read mlsl.in (line 2): gamma (the reduction value) is 0; it must be above 0 "
       "and at most 1",
       1},
      {"sigma not a number", "5 0.4 nan 0.001 Y 7 1 2 5 3 0.001", {}, [] {},
       "cannot read mlsl.in (line 1): sigma (the factor of the critical distance) is \"nan\", "
       "not a number",
       1},
      {"malformed seed", "5 0.4 2 0.001\nY 7a\n1 2 5 3 0.001", {}, [] {},
       "cannot read mlsl.in (line 2): the random seed is \"7a\", not a whole number", 1},
      {"Kmax of zero", "5 0.4 2 0.001 Y 7\n0 2 5 3 0.001", {}, [] {},
       "cannot read mlsl.in (line 2): Kmax (the maximum number of MLSL iterations) is 0; it "
       "must be at least 1",
       1},
      {"negative Lstall", "5 0.4 2 0.001 Y 7 1 2 -1 3 0.001", {}, [] {},
       "cannot read mlsl.in (line 1): Lstall (the local searches without improvement that "
       "stop the method) is -1; it must be at least 0",
       1},
      {"file ends early", "5 0.4 2 0.001\nY 7\n1 2 5\n", {}, [] {},
       "cannot read mlsl.in (line 4): the file ends before Kstall (the iterations without "
       "improvement that stop the method)",
       1},
      {"no seeds file to read", "5 0.4 2 0.001 N 7 1 2 5 3 0.001", {}, [] {},
       "cannot open RandomNumberSeeds.prn: No such file or directory", 1},
      {"restart without a restart file", "5 0.4 2 0.001 Y 7 1 2 5 3 0.001", {"/r"}, [] {},
       "Error opening the restart file.", 0},
  });
}

TEST(MlslMethod, PredictionModeIsRefused) {
  global_test::ExpectPredictionRefused(kMlsl, "5 0.4 2 0.001 Y 7 1 2 5 3 0.001");
}

// A decay a exp(-b x) whose searches take several iterations; the restart file is kept.
PestCase DecayCase() {
  PestCase c;
  c.parameters = {{"a", "none", 1.0, 0.1, 10.0}, {"b", "none", 1.0, 0.01, 2.0}};
  for (int x = 0; x <= 5; ++x) {
    c.observations.push_back({"$1 * exp(-$2 * " + std::to_string(x) + ")",
                              3.0 * std::exp(-0.4 * x) + 0.01 * (x % 3 - 1)});
  }
  c.rstfle = "restart";
  c.noptmax = 8;
  c.lsdistmin = 0.0;
  return c;
}

// A run stopped through the stop file during its first search, then restarted with "/r": the
// samples run again, the first search resumes from the restart file and the second starts
// afresh.
TEST(MlslMethod, RestartResumesTheFirstSearchOnly) {
  TempDir dir;
  PestCase c = DecayCase();
  // The 12th model run (in the search's second iteration) asks the run to stop, once.
  c.post_extra =
      "[ ! -e asked ] && [ $(wc -l < runs.txt) -eq 12 ] && touch asked && echo 1 > pest.stp\n";
  c.Write();
  WriteFile("mlsl.in", "5 0.4 0.000001 0.0001\nY 5\n1 2 5 3 0.001\n");
  const RunResult stopped = RunTarne({"-mlsl", "case"});
  ASSERT_EQ(stopped.exit_code, 0) << stopped.out;
  ASSERT_TRUE(FileExists("case.rst")) << stopped.out;
  EXPECT_EQ(SplitLines(ReadFile("runs.txt")).size(), 12u);
  EXPECT_EQ(ReadFile("slm_kor_mlsl.rec").find("RESULTS OF GLOBAL SEARCH PROCESS"),
            std::string::npos);
  std::filesystem::remove("runs.txt");
  const RunResult resumed = RunTarne({"-mlsl", "case", "/r"});
  ASSERT_EQ(resumed.exit_code, 0) << resumed.out;
  const std::string rec = ReadFile("slm_kor_mlsl.rec");
  EXPECT_EQ(Occurrences(rec, "A LS will be performed"), 2);
  EXPECT_NE(rec.find("RESULTS OF GLOBAL SEARCH PROCESS"), std::string::npos);
  // The case record was appended to: the first run's sections, then one restart mark.
  const std::string case_rec = ReadFile("case.rec");
  ASSERT_EQ(Occurrences(case_rec, ".....RESTART....."), 1);
  const size_t mark = case_rec.find(".....RESTART.....");
  EXPECT_LT(case_rec.find("OPTIMIZATION ITERATION NO."), mark);
  // After the mark the resumed search goes on without its initial run; the second search
  // is the only one that starts at its initial conditions.
  EXPECT_EQ(Occurrences(case_rec.substr(mark), "OPTIMIZATION RECORD"), 1);
  // The samples ran again, before the resumed search.
  EXPECT_GT(SplitLines(ReadFile("runs.txt")).size(), 5u);
  EXPECT_EQ(Occurrences(ReadFile("case.rec"), "INITIAL CONDITIONS:"), 5 + 1 + 5 + 1);
}

// ---- The bundled example through the tarne binary ------------------------------------------

// phi of the sine example at the given amplitude, frequency and offset, from the observations
// of sine.pst.
double SinePhi(double amplitude, double frequency, double offset) {
  double phi = 0.0;
  int i = 0;
  for (const std::string& line : SplitLines(ReadFile("sine.pst"))) {
    char name[16];
    double observed = 0, weight = 0;
    if (std::sscanf(line.c_str(), "y%2[0-9] %lf %lf", name, &observed, &weight) != 3) continue;
    ++i;
    const double residual = observed - (amplitude * std::sin(frequency * 0.2 * i) + offset);
    phi += weight * weight * residual * residual;
  }
  EXPECT_EQ(i, 30);
  return phi;
}

TEST(MlslExample, FindsTheGlobalMinimumOfTheSineExample) {
  TempDir dir;
  for (const char* file : {"sine.pst", "sine.tpl", "sine.ins", "sine.prj", "model.sh", "mlsl.in"}) {
    testing_support::CopyIntoCwd(SourcePath(std::string("examples/global/") + file));
  }
  const RunResult r = RunTarne({"-mlsl", "sine"});
  ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
  const std::string rec = ReadFile("slm_kor_mlsl.rec");
  long best_run = 0;
  double best = -1.0;
  const size_t at = r.out.find("\nBest result: local search ");
  ASSERT_NE(at, std::string::npos) << r.out;
  ASSERT_EQ(std::sscanf(r.out.c_str() + at,
                        "\nBest result: local search %ld, with a total objective function "
                        "value of %lf.",
                        &best_run, &best),
            2);
  EXPECT_LT(best, 0.1);
  char reported[96];
  std::snprintf(reported, sizeof reported, "objective function value of %lf\n", best);
  EXPECT_NE(rec.find(reported), std::string::npos);
  // A fresh evaluation at the reported end point of that search gives the reported value.
  size_t block = 0;
  for (long run = 1; run <= best_run; ++run) {
    block = rec.find("Results of MLSL supervised local search", block + 1);
    ASSERT_NE(block, std::string::npos);
  }
  double values[3];
  const char* names[3] = {"amplitude", "frequency", "offset"};
  for (int k = 0; k < 3; ++k) {
    const size_t row = rec.find(std::string("\t") + names[k] + "\t", block);
    ASSERT_NE(row, std::string::npos);
    double start = 0;
    ASSERT_EQ(std::sscanf(rec.c_str() + row + 2 + std::strlen(names[k]), "%lf\t%lf", &start,
                          &values[k]),
              2);
  }
  EXPECT_NEAR(values[1], 3.0, 0.01);
  EXPECT_NEAR(SinePhi(values[0], values[1], values[2]), best, 1e-4);
}

}  // namespace
