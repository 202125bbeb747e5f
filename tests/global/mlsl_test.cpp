// Tests of Multi Level Single Linkage as a method (its rules are tested in mlsl_rules_test):
// the record file of a whole iteration against an expected file made from the rules, a failed
// sample run, the refusals before any model run, a restart, and the bundled example through
// the tarne binary.
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

using lm_test::Occurrences;
using global_test::LinearCase;
using global_test::MethodRun;
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
       "cannot create slm_kor_mlsl.rec: it is a directory, not a regular file", 1},
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
       "cannot open slm_kor_mlsl.rst: No such file or directory; there is no interrupted run "
       "to go on with",
       1},
  });
}

TEST(MlslMethod, PredictionModeIsRefused) {
  global_test::ExpectPredictionRefused(kMlsl, "5 0.4 2 0.001 Y 7 1 2 5 3 0.001");
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
