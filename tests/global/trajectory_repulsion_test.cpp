// Tests of trajectory repulsion: the choice of each CT run's start (farthest pair, strict ties,
// used samples, failed samples), the stall counter, the record file of two CT runs against an
// expected file made from the rules, the limits on the number of CT runs, a failed sample run,
// the refusals before any model run, and the bundled example through the tarne binary.
#include "global/trajectory_repulsion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "lm/lm_test_util.h"
#include "global/method_run.h"
#include "lm/pest_case.h"
#include "support/test_support.h"
#include "support/text_compare.h"

namespace {

using lm_test::AddParameter;
using lm_test::MakeRecord;
using lm_test::Occurrences;
using global_test::LinearCase;
using global_test::MethodRun;
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

constexpr double kInf = std::numeric_limits<double>::infinity();

// ---- Choice of the start --------------------------------------------------------------------

// x in [0, 10] and y in [0, 1], so a step of 1 in x weighs as 0.1 in y; a fixed z with a
// different value in every point, which must not count.
ProblemRecord PlaneRecord() {
  ProblemRecord record = MakeRecord();
  AddParameter(record, "x", "none", 0.0, 0.0, 10.0);
  AddParameter(record, "y", "none", 0.0, 0.0, 1.0);
  AddParameter(record, "z", "fixed", 0.0, 0.0, 0.0);
  return record;
}

Trajectory PointsAt(const std::vector<dvector>& points) {
  Trajectory trajectory(false);
  for (const dvector& p : points) trajectory.Add(p);
  return trajectory;
}

// Samples with the given points and totals, ordered by total as the method orders them.
TrSamples Samples(const std::vector<dvector>& points, const std::vector<double>& totals,
                  const std::vector<long>& order, const std::vector<long>& used = {}) {
  TrSamples s;
  s.points = points;
  s.totals = totals;
  s.order = order;
  s.used.assign(points.size(), false);
  for (long m : used) s.used[m - 1] = true;
  return s;
}

TEST(StartChoice, FarthestPairWinsAndTiesGoToTheLowerObjective) {
  ProblemRecord record = PlaneRecord();
  const std::vector<dvector> points = Points({
      {5.0, 0.5, 100.0},  // 1: the start of the first run
      {4.0, 0.5, -50.0},  // 2: 0.01 from trajectory point 1, 0.16 from point 2
      {9.0, 0.5, 0.0},    // 3: 0.16 from point 1, 0.01 from point 2: ties with 2
      {5.0, 0.8, 0.0},    // 4: 0.09 from point 1, 0.09 + 0.09 from point 2: the farthest pair
      {5.0, 0.6, 999.0},  // 5: 0.01 and 0.10, however far its fixed z
  });
  const std::vector<double> totals = {1.0, 3.0, 2.0, 5.0, 4.0};
  const std::vector<long> order = {1, 3, 2, 5, 4};
  Trajectory empty(false);
  // With an empty trajectory: the lowest objective.
  EXPECT_EQ(ChooseStartSample(record, Samples(points, totals, order), empty), 1);
  Trajectory trajectory = PointsAt(Points({{5.0, 0.5, 0.0}, {8.0, 0.5, 7.0}}));
  // The largest single-pair score, not the largest nearest distance: sample 4 (0.18 with
  // point 2) beats samples 2 and 3 (0.16 each).
  EXPECT_EQ(ChooseStartSample(record, Samples(points, totals, order, {1}), trajectory), 4);
  // Without 4, samples 2 and 3 tie at 0.16: the earlier in objective order (3) keeps it.
  EXPECT_EQ(ChooseStartSample(record, Samples(points, totals, order, {1, 4}), trajectory), 3);
  // A used sample is never chosen again, however far it lies.
  EXPECT_EQ(ChooseStartSample(record, Samples(points, totals, order, {1, 3, 4}), trajectory),
            2);
  EXPECT_EQ(ChooseStartSample(record, Samples(points, totals, order, {1, 2, 3, 4}), trajectory),
            5);
  EXPECT_EQ(ChooseStartSample(record, Samples(points, totals, order, {1, 2, 3, 4, 5}),
                              trajectory),
            0);
}

TEST(StartChoice, FailedSamplesComeOnlyWhenNoOtherIsLeft) {
  ProblemRecord record = PlaneRecord();
  const std::vector<dvector> points =
      Points({{0.0, 0.0, 0.0}, {10.0, 1.0, 0.0}, {1.0, 0.1, 0.0}, {2.0, 0.0, 0.0}});
  const std::vector<double> totals = {1.0, kInf, 2.0, kInf};
  const std::vector<long> order = {1, 3, 2, 4};
  Trajectory trajectory = PointsAt(Points({{0.0, 0.0, 0.0}}));
  // Sample 2 lies farthest, but its run failed: the finite sample 3 comes first.
  EXPECT_EQ(ChooseStartSample(record, Samples(points, totals, order, {1}), trajectory), 3);
  EXPECT_EQ(ChooseStartSample(record, Samples(points, totals, order, {1, 3}), trajectory), 2);
}

// ---- Stall counter --------------------------------------------------------------------------

TEST(CtRunBookkeeping, StallCounterWithNstallTwoAndTheLimits) {
  TrSettings s;
  s.Nct = 10;
  s.Nstall = 2;
  s.f = 0.01;
  TrProgress p;
  const struct {
    double F;
    long count;
    double Kbest;
    long best_run;
    bool stop;
  } runs[] = {
      {10.0, 0, 10.0, 1, false},
      {9.95, 1, 9.95, 2, false},  // lower, but not by more than 1 %
      {5.0, 0, 5.0, 3, false},    // the count starts again
      {5.0, 1, 5.0, 3, false},    // equal: neither better nor a new best run
      {4.96, 2, 4.96, 5, true},   // the second in a row without improvement stops
  };
  long r = 0;
  for (const auto& run : runs) {
    ++r;
    EXPECT_EQ(AfterCtRun(p, r, run.F, s), run.stop) << "run " << r;
    EXPECT_EQ(p.s.count, run.count) << "run " << r;
    EXPECT_EQ(p.Kbest, run.Kbest) << "run " << r;
    EXPECT_EQ(p.best_run, run.best_run) << "run " << r;
  }
  // Nstall 0 stops after the first run; Nct 1 after the first run as well.
  s.Nstall = 0;
  p = TrProgress();
  EXPECT_TRUE(AfterCtRun(p, 1, 3.0, s));
  s.Nstall = 5;
  s.Nct = 1;
  p = TrProgress();
  EXPECT_TRUE(AfterCtRun(p, 1, 3.0, s));
  s.Nct = 3;
  p = TrProgress();
  EXPECT_FALSE(AfterCtRun(p, 1, 3.0, s));
  EXPECT_FALSE(AfterCtRun(p, 2, 2.0, s));
  EXPECT_TRUE(AfterCtRun(p, 3, 1.0, s));
}

// ---- The method on small cases -------------------------------------------------------------

const global_test::MethodTool kTr = {RunTrajectoryRepulsion, "-tr", "tr.in", "slm_kor_ms2.rec",
                                     "slm_kor_ms2"};

MethodRun RunMethod(const std::vector<std::string>& extra = {}) {
  return global_test::RunMethod(kTr, extra);
}

// The starting values of every CT run's parameter table, as printed.
std::vector<std::string> StartValues(const std::string& rec) {
  std::vector<std::string> starts;
  for (size_t at = rec.find("\ta\t"); at != std::string::npos; at = rec.find("\ta\t", at + 1)) {
    starts.push_back(rec.substr(at + 3, rec.find('\t', at + 3) - at - 3));
  }
  return starts;
}

// The expected files come from tests/data/global/tr/make_expected.py, which computes the
// samples, objectives and the farthest start from the rules. The optimised values may differ
// from the least-squares point in the ninth digit where the value file rounds to eight
// digits, and "%lf" numbers in their last decimal: numbers agree within 2e-6.
TEST(TrRecord, LayoutOfTwoCtRuns) {
  TempDir dir;
  LinearCase().Write();
  WriteFile("tr.in", "Y 12345\n4 2 5 0.001\n");
  const MethodRun run = RunMethod();
  EXPECT_EQ(run.status, 0) << run.screen;
  const std::string data = SourcePath("tests/data/global/tr/");
  EXPECT_EQ(CompareText(ReadFile(data + "slm_kor_ms2.rec"), run.rec, {0.0, 2e-6}), "");
  EXPECT_EQ(ReadFile("RandomNumberSeeds.prn"), ReadFile(data + "RandomNumberSeeds.prn"));
  // Each CT run also makes its final run, which the engine does not count at its limit.
  EXPECT_EQ(run.model_runs, 4 + 5 + 5);
  EXPECT_NE(run.screen.find("\nBest result: CT run 1, with a total objective function value "
                            "of 0.010000.\n"),
            std::string::npos);
}

TEST(TrMethod, NumberOfCtRuns) {
  struct Case {
    const char* input;
    int ct_runs;
    std::vector<std::string> lines;  // in the record, in order
  };
  const Case cases[] = {
      // Nct 0: no CT run; the final lines give the marker and run 0, and a line says why.
      {"Y 3\n3 0 5 0.001\n", 0,
       {"                   RESULTS OF CT OPTIMIZATION RUNS\n\n\n\n\n\n\n"
        "                   RESULTS OF GLOBAL SEARCH PROCESS\n\n"
        "The global search process yielded a total objective function value of -999.999000\n"
        "This value was obtained from inversion run number 0\n\n"
        "No CT run was made, so there is no best objective function value.\n\n"}},
      // Nct 1: one run, from the best sample.
      {"Y 3\n3 1 5 0.001\n", 1,
       {"This value was obtained from inversion run number 1\n\n"}},
      // Nct above Npre: every sample starts one run, then the method ends.
      {"Y 3\n3 6 9 0.001\n", 3,
       {"No sample is left to start CT run 4 from: each of the 3 samples has started a run; "
        "the method ends.\n",
        "This value was obtained from inversion run number 1\n\n"}},
      // Npre 0: nothing to start from.
      {"Y 3\n0 2 5 0.001\n", 0,
       {"There are no pre-inversion samples to start CT run 1 from; the method ends.\n",
        "No CT run was made"}},
  };
  for (const Case& c : cases) {
    TempDir dir;
    LinearCase().Write();
    WriteFile("tr.in", c.input);
    const MethodRun run = RunMethod();
    EXPECT_EQ(run.status, 0) << c.input;
    EXPECT_EQ(Occurrences(run.rec, " Results of CT inversion run number"), c.ct_runs)
        << c.input;
    size_t at = 0;
    for (const std::string& line : c.lines) {
      at = run.rec.find(line, at);
      EXPECT_NE(at, std::string::npos) << c.input << line << "\n" << run.rec;
    }
    // Every start is a different sample; the first is the one with the lowest objective.
    const std::vector<std::string> starts = StartValues(run.rec);
    for (size_t i = 0; i < starts.size(); ++i) {
      for (size_t j = 0; j < i; ++j) EXPECT_NE(starts[i], starts[j]) << c.input;
    }
    if (c.ct_runs == 0) {
      EXPECT_NE(run.screen.find("\nNo CT run was made, so there is no best objective function "
                                "value.\n"),
                std::string::npos);
    }
  }
}

// Runs with a > 0.007 remove the model's output, so their reading fails: with seed 12345
// samples 2 and 5 fail (a = 0.00938 and 0.00843).
TEST(TrMethod, AFailedSampleRunIsTakenAsInfiniteAndStartsLast) {
  TempDir dir;
  PestCase c = LinearCase();
  c.post_extra = "awk '{ if ($1 > 0.007) exit 1 }' values.in || rm -f model.out\n";
  c.Write();
  WriteFile("tr.in", "Y 12345\n5 4 9 0.001\n");
  const MethodRun run = RunMethod();
  for (int m : {2, 5}) {
    EXPECT_NE(run.screen.find("The model run of sample " + std::to_string(m) +
                              " failed; its objective function is taken as infinite."),
              std::string::npos)
        << m;
  }
  EXPECT_EQ(Occurrences(run.rec, "\tinf\tinf\tinf\t\n"), 2);
  // Runs 1 to 3 start from the three samples whose runs succeeded; run 4 from a failed one,
  // which fails at once and is taken as infinite.
  const std::vector<std::string> starts = StartValues(run.rec);
  ASSERT_EQ(starts.size(), 4u);
  for (int r = 0; r < 3; ++r) EXPECT_LT(std::strtod(starts[r].c_str(), nullptr), 0.007) << r;
  EXPECT_GT(std::strtod(starts[3].c_str(), nullptr), 0.007);
  EXPECT_NE(run.screen.find("CT run 4 failed; its objective function is taken as infinite."),
            std::string::npos);
  EXPECT_NE(run.rec.find("\ttotal\tINF\tINF\n"), std::string::npos);  // "%lE" of infinity
  EXPECT_NE(run.rec.find("The global search process yielded a total objective function value "
                         "of 0.010000\nThis value was obtained from inversion run number 1\n"),
            std::string::npos);
  EXPECT_NE(run.status, 0);  // the last run failed
  global_test::ExpectSeedsWithoutTheThirdSample();
  global_test::ExpectReplayWritesTheSameRecord(kTr, "N 12345\n5 4 9 0.001\n", run);
}

TEST(TrMethod, BadInputIsRefusedBeforeAnyModelRun) {
  global_test::ExpectRefusedBeforeAnyModelRun(kTr, {
      {"no input file", nullptr, {}, [] {}, "cannot open tr.in: No such file or directory", 1},
      {"record file cannot be made", "Y 3 4 2 5 0.001", {},
       [] { std::filesystem::create_directory("slm_kor_ms2.rec"); },
       "cannot create slm_kor_ms2.rec: it is a directory, not a regular file", 1},
      {"malformed seed", "Y -x 4 2 5 0.001", {}, [] {},
       "cannot read tr.in (line 1): the random seed is \"-x\", not a whole number", 1},
      {"negative Npre", "Y 3\n-4 2 5 0.001", {}, [] {},
       "cannot read tr.in (line 2): Npre (the number of pre-inversion runs) is -4; it must be "
       "at least 0",
       1},
      {"malformed Nct", "Y 3 4 2.5 5 0.001", {}, [] {},
       "cannot read tr.in (line 1): Nct (the maximum number of CT runs) is \"2.5\", not a "
       "whole number",
       1},
      {"file ends early", "Y 3\n4 2 5\n", {}, [] {},
       "cannot read tr.in (line 3): the file ends before f (the improvement fraction judged "
       "negligible)",
       1},
      {"empty file", "", {}, [] {},
       "cannot read tr.in (line 1): the file ends before the seeds mode (Y or N)", 1},
      {"no seeds file to read", "N 3 4 2 5 0.001", {}, [] {},
       "cannot open RandomNumberSeeds.prn: No such file or directory", 1},
      {"restart without a restart file", "Y 3 4 2 5 0.001", {"/r"}, [] {},
       "cannot open slm_kor_ms2.rst: No such file or directory; there is no interrupted run "
       "to go on with",
       1},
  });
}

TEST(TrMethod, PredictionModeIsRefused) {
  global_test::ExpectPredictionRefused(kTr, "Y 3 4 2 5 0.001");
}

// ---- The bundled example through the tarne binary ------------------------------------------

// phi of the sine example at the given amplitude, frequency and offset, from the observations
// of sine.pst.
double SinePhi(double amplitude, double frequency, double offset) {
  double phi = 0.0;
  int i = 0;
  for (const std::string& line : SplitLines(ReadFile("sine.pst"))) {
    char digits[16];
    double observed = 0, weight = 0;
    if (std::sscanf(line.c_str(), "y%2[0-9] %lf %lf", digits, &observed, &weight) != 3) continue;
    ++i;
    const double residual = observed - (amplitude * std::sin(frequency * 0.2 * i) + offset);
    phi += weight * weight * residual * residual;
  }
  EXPECT_EQ(i, 30);
  return phi;
}

TEST(TrExample, FindsTheGlobalMinimumOfTheSineExample) {
  TempDir dir;
  for (const char* file : {"sine.pst", "sine.tpl", "sine.ins", "sine.prj", "model.sh", "tr.in"}) {
    testing_support::CopyIntoCwd(SourcePath(std::string("examples/global/") + file));
  }
  const RunResult r = RunTarne({"-tr", "sine"});
  ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
  const std::string rec = ReadFile("slm_kor_ms2.rec");
  long best_run = 0;
  double best = -1.0;
  const size_t at = r.out.find("\nBest result: CT run ");
  ASSERT_NE(at, std::string::npos) << r.out;
  ASSERT_EQ(std::sscanf(r.out.c_str() + at,
                        "\nBest result: CT run %ld, with a total objective function value of "
                        "%lf.",
                        &best_run, &best),
            2);
  EXPECT_LT(best, 0.1);
  char reported[96];
  std::snprintf(reported, sizeof reported, "objective function value of %lf\n", best);
  EXPECT_NE(rec.find(reported), std::string::npos);
  // A fresh evaluation at the reported end point of that run gives the reported value.
  const size_t block =
      rec.find(" Results of CT inversion run number " + std::to_string(best_run) + " --->");
  ASSERT_NE(block, std::string::npos);
  double values[3];
  const char* names[3] = {"amplitude", "frequency", "offset"};
  for (int k = 0; k < 3; ++k) {
    const size_t row = rec.find(std::string("\t") + names[k] + "\t", block);
    ASSERT_NE(row, std::string::npos);
    double start = 0;
    ASSERT_EQ(std::sscanf(rec.c_str() + row + 2 + std::strlen(names[k]), "%lE\t%lE", &start,
                          &values[k]),
              2);
  }
  EXPECT_NEAR(values[1], 3.0, 0.01);
  EXPECT_NEAR(SinePhi(values[0], values[1], values[2]), best, 1e-5);
}

}  // namespace
