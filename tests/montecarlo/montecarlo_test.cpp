// Unit tests of the Monte Carlo calibration: input reading, sampling, the run loop with its
// log, best tracking and the best report for one partition and for several.
#include "montecarlo/montecarlo.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include "montecarlo/crt_random.h"
#include "montecarlo_test_support.h"
#include "support/test_support.h"

namespace {

using mc_test::CaptureOutput;
using mc_test::CountOf;
using mc_test::ScriptedMonteCarlo;
using mc_test::TestPartition;
using testing_support::FileExists;
using testing_support::ReadFile;
using testing_support::SplitLines;
using testing_support::TempDir;
using testing_support::WriteFile;

constexpr char kHeader[] = "proj.prj\nnames.txt\nobs.txt\n";
// One sampled parameter and the two ways of holding one fixed, with the words, comments and
// line ends the reader passes over.
constexpr char kMixedInput[] = "proj.prj extra words\r\nnames.txt\nobs.txt\n3\n-2 2 # comment\n"
                               "0.5 # held fixed\n0.5\n";
// Only fixed parameters: every sample and therefore every report is known exactly.
constexpr char kFixedInput[] = "proj.prj\nnames.txt\nobs.txt\n2\n0.5\n-0.25 # fixed\n";
constexpr char kError[] = "Error: unable to read the input monte carlo file.\n";
constexpr char kFixedBest[] = "5.000000e-01 -2.500000e-01 \n";

class MonteCarloTest : public testing::Test {
 protected:
  // The inputs name an observation file; the scripted objective does not read it.
  void SetUp() override { WriteFile("obs.txt", ""); }

  // Runs the samples and the best report; returns what they printed.
  static std::string RunAndReport(ScriptedMonteCarlo& mc, int* status = nullptr) {
    return CaptureOutput([&] {
      const int ran = mc.run();
      if (status != nullptr) *status = ran;
      mc.report_best();
    });
  }

  TempDir dir_;
  TestPartition single_{1, 0, 0, 0, 1};
};

// Every element is drawn afresh in order, fixed ones included; for seed 1 the generator
// gives 41, 18467, 6334, 26500, ...
TEST_F(MonteCarloTest, ReadsTheInputTableAndSamplesWithinItsBounds) {
  WriteFile("mc.in", kMixedInput);
  ScriptedMonteCarlo mc(&single_, 200, "mc.in");
  ASSERT_EQ(mc.input_ok, 1);
  EXPECT_STREQ(mc.project_file, "proj.prj");
  EXPECT_STREQ(mc.second_path, "names.txt");
  EXPECT_STREQ(mc.observation_file, "obs.txt");
  EXPECT_EQ(mc.num_params, 3);
  EXPECT_EQ(mc.lower, (std::vector<double>{0.0, -2.0, 0.5, 0.5}));
  EXPECT_EQ(mc.upper, (std::vector<double>{0.0, 2.0, 0.5, 0.5}));
  EXPECT_EQ(mc.current, (std::vector<double>{0.0, 0.0, 0.0, 0.0}));
  crt_srand(1);
  CaptureOutput([&] { EXPECT_EQ(mc.run(), 1); });
  ASSERT_EQ(mc.evaluated.size(), 200u);
  EXPECT_DOUBLE_EQ(mc.evaluated[0][1], -2.0 + 4.0 * 41.0 / 32768.0);
  EXPECT_DOUBLE_EQ(mc.evaluated[1][1], -2.0 + 4.0 * 26500.0 / 32768.0);
  EXPECT_EQ(single_.sent.size(), 200u);
  EXPECT_EQ(single_.sent[0].size(), 4u);
  double smallest = 2.0, largest = -2.0;
  for (const auto& sample : mc.evaluated) {
    EXPECT_EQ(sample[0], 0.0);
    EXPECT_GE(sample[1], -2.0);
    EXPECT_LT(sample[1], 2.0);
    EXPECT_EQ(sample[2], 0.5);
    EXPECT_EQ(sample[3], 0.5);
    smallest = std::min(smallest, sample[1]);
    largest = std::max(largest, sample[1]);
  }
  // The samples spread over the range rather than sticking to one value.
  EXPECT_LT(smallest, -1.5);
  EXPECT_GT(largest, 1.5);
}

// Input the reader cannot take is named with its line, or the reason it cannot be opened;
// the run loop's own message follows and nothing runs.
TEST_F(MonteCarloTest, BadInputIsReportedAndNothingRuns) {
  struct Case {
    std::string content;  // of mc.in; the last two cases read another path
    std::string message;
  };
  const Case cases[] = {
      {"", "cannot read mc.in (line 1): missing the project file name\n"},
      {std::string(kHeader) + "1\n0 " + std::string(1100, '1') + "\n",
       "cannot read mc.in (line 5): the line is longer than 1023 characters\n"},
      {std::string(250, 'p') + "\nnames\nobs\n1\n0 1\n",
       "cannot read mc.in (line 1): the project file name is longer than 199 characters\n"},
      {std::string(kHeader) + "two\n",
       "cannot read mc.in (line 4): the number of parameters is not a whole number\n"},
      {std::string(kHeader) + "-1\n",
       "cannot read mc.in (line 4): the number of parameters is negative\n"},
      {std::string(kHeader) + "2\n0 1\n",
       "cannot read mc.in (line 6): missing the bounds of parameter 2\n"},
      {std::string(kHeader) + "1\n# no bound\n",
       "cannot read mc.in (line 5): parameter 1 has no lower bound\n"},
      {std::string(kHeader) + "2000000000\n0 1\n",
       "cannot read mc.in (line 6): missing the bounds of parameter 2\n"},
      {"missing.in", "cannot open missing.in: No such file or directory\n"},
      {"input.d", "cannot open input.d: it is a directory, not a regular file\n"},
  };
  ASSERT_EQ(mkdir("input.d", 0755), 0);
  for (const Case& bad : cases) {
    const bool unopenable = bad.message.rfind("cannot open", 0) == 0;
    if (!unopenable) WriteFile("mc.in", bad.content);
    const std::string out = CaptureOutput([&] {
      ScriptedMonteCarlo mc(&single_, 5, unopenable ? bad.content.c_str() : "mc.in");
      EXPECT_EQ(mc.input_ok, 0);
      EXPECT_EQ(mc.run(), 0);
      EXPECT_TRUE(mc.evaluated.empty());
    });
    EXPECT_EQ(out, bad.message + kError) << bad.content.substr(0, 60);
  }
  EXPECT_TRUE(single_.sent.empty());
  EXPECT_FALSE(FileExists("log_file_p0.log"));
  EXPECT_FALSE(FileExists("best.out"));
}

// With several processes every process compares, before any sample, whether it read the
// input, its observation file and the model's input files: when one could not, none runs,
// so that no process is left waiting for it at the exchange of the best sets. A process that
// could not read them itself says so as on its own.
TEST_F(MonteCarloTest, NoProcessRunsWhenOneCannotReadItsFiles) {
  testing_support::WriteRosenbrockInput();
  WriteFile("no_obs.in", "rosen.prj\nnames.lst\nabsent.txt\n2\n-2 2\n-2 2\n");
  struct Case {
    long id;                  // this process's partition
    std::vector<double> all;  // how far each partition got (this one's slot unused)
    const char* input;
    double least;  // the verdict handed on within the partition
    std::string out;
  };
  const Case cases[] = {
      {0, {0.0, 0.0}, "mc.in", 0.0,
       "Error: another process of the run could not read the input monte carlo file; no "
       "sample was run.\n"},
      {1, {1.0, 0.0}, "missing.in", 0.0,
       std::string("cannot open missing.in: No such file or directory\n") + kError},
      {0, {0.0, 1.0}, "mc.in", 1.0,
       "Error: another process of the run could not read its observation file or the model's "
       "input files; no sample was run.\n"},
      // (The library names absent.txt on standard error.)
      {1, {2.0, 0.0}, "no_obs.in", 1.0,
       "Error: unable to read the observation file or the model's input files; no sample was "
       "run.\n"},
  };
  for (const Case& c : cases) {
    TestPartition process(2, c.id, 0, c.id, 2);
    process.other_values = c.all;
    const std::string out =
        CaptureOutput([&] { EXPECT_EQ(run_monte_carlo(&process, 10, c.input), 0); });
    EXPECT_EQ(out, c.out) << c.input;
    EXPECT_EQ(process.gathered_sizes, (std::vector<long>{1}));
    EXPECT_EQ(process.sent, (std::vector<std::vector<double>>{{c.least}}));
  }
  EXPECT_FALSE(FileExists("log_file_p0.log") || FileExists("log_file_p1.log"));
  EXPECT_FALSE(FileExists("best.out"));
}

// A fresh log gets the header, then one line a sample; a later run appends its samples to the
// log as it stands, without a second header.
TEST_F(MonteCarloTest, LogHasOneHeaderThenOneFormattedLinePerSample) {
  WriteFile("mc.in", kFixedInput);
  ScriptedMonteCarlo mc(&single_, 3, "mc.in");
  mc.objectives = {1.5, -12.25, 1e-7};
  CaptureOutput([&] { mc.run(); });
  const std::string earlier = ReadFile("log_file_p0.log");
  const auto lines = SplitLines(earlier);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0].rfind("Cost  \t", 0), 0u) << lines[0];
  EXPECT_EQ(lines[1], "1.500000\t5.000000e-01\t-2.500000e-01\t");
  EXPECT_EQ(lines[2], "-12.250000\t5.000000e-01\t-2.500000e-01\t");
  EXPECT_EQ(lines[3], "0.000000\t5.000000e-01\t-2.500000e-01\t");
  ScriptedMonteCarlo again(&single_, 2, "mc.in");
  CaptureOutput([&] { again.run(); });
  const std::string sample = "1.000000\t5.000000e-01\t-2.500000e-01\t\n";
  EXPECT_EQ(ReadFile("log_file_p0.log"), earlier + sample + sample);
}

TEST_F(MonteCarloTest, BestIsTheSmallestMagnitudeAndIsReportedAndWritten) {
  WriteFile("mc.in", kFixedInput);
  ScriptedMonteCarlo mc(&single_, 3, "mc.in");
  mc.objectives = {-3.0, 2.0, 2.5};
  const std::string out = RunAndReport(mc);
  const std::string report =
      "\n\nBest objective function value: 2.000000\nParameters:\n 0.500000 -0.250000 \n";
  ASSERT_GE(out.size(), report.size());
  EXPECT_EQ(out.substr(out.size() - report.size()), report);
  EXPECT_EQ(ReadFile("best.out"), std::string("2.000000:  ") + kFixedBest);
  // Equal magnitudes keep the first; an objective that is not a number never wins.
  WriteFile("mc.in", kMixedInput);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    std::vector<double> objectives;
    double best;
    std::size_t sample;
  };
  const Case cases[] = {{{-3.0, 2.0}, 2.0, 1}, {{4.0, -4.0, 5.0}, 4.0, 0}, {{nan, 5.0, -4.0}, -4.0, 2}};
  for (const Case& c : cases) {
    ScriptedMonteCarlo mixed(&single_, static_cast<long>(c.objectives.size()), "mc.in");
    mixed.objectives = c.objectives;
    CaptureOutput([&] { mixed.run(); });
    EXPECT_EQ(mixed.best_value, c.best);
    EXPECT_EQ(mixed.best_params[1], mixed.evaluated[c.sample][1]);
    EXPECT_EQ(mixed.best_params[2], 0.5);
  }
}

TEST_F(MonteCarloTest, NoSampleRunIsReportedPlainlyWithoutBestFile) {
  WriteFile("mc.in", kFixedInput);
  for (long runs : {0L, -4L}) {
    ScriptedMonteCarlo mc(&single_, runs, "mc.in");
    int status = 0;
    const std::string out = RunAndReport(mc, &status);
    EXPECT_EQ(status, 1);
    EXPECT_NE(out.find("No Monte Carlo sample was run"), std::string::npos) << out;
    EXPECT_EQ(out.find("Best objective"), std::string::npos) << out;
  }
  EXPECT_FALSE(FileExists("best.out"));
  EXPECT_FALSE(FileExists("log_file_p0.log"));
}

// A log or best file that cannot be written is reported and the run and its console report
// go on.
TEST_F(MonteCarloTest, UnwritableFilesAreReportedAndTheRunGoesOn) {
  WriteFile("mc.in", kFixedInput);
  ASSERT_EQ(mkdir("log_file_p0.log", 0755), 0);
  ScriptedMonteCarlo mc(&single_, 5, "mc.in");
  mc.objectives = {3.0, 1.0};
  int status = 0;
  std::string out = RunAndReport(mc, &status);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(CountOf(out, "Warning: cannot append to log_file_p0.log"), 1) << out;
  EXPECT_EQ(mc.evaluated.size(), 5u);
  EXPECT_EQ(ReadFile("best.out"), std::string("1.000000:  ") + kFixedBest);
  ASSERT_EQ(std::remove("best.out"), 0);
  ASSERT_EQ(mkdir("best.out", 0755), 0);
  ScriptedMonteCarlo again(&single_, 1, "mc.in");
  out = RunAndReport(again);
  const std::string expected =
      "\n\nBest objective function value: 1.000000\nParameters:\n 0.500000 -0.250000 \n"
      "Warning: Unable to open the best.out file. Only printing results to stdout.\n";
  EXPECT_NE(out.find(expected), std::string::npos) << out;
}

// A member that is not its partition's leader sends zeros, runs the leader's sample and
// writes no log; the leader of another partition than the first logs and gathers. Neither
// reports when the process has several threads.
TEST_F(MonteCarloTest, PartitionMembersAndOtherLeadersDoNotReport) {
  WriteFile("mc.in", kMixedInput);
  TestPartition member(2, 1, 1, 3, 4);
  member.leader_sample = {0.0, 1.25, 0.5, 0.5};
  ScriptedMonteCarlo mc(&member, 2, "mc.in");
  std::string out = RunAndReport(mc);
  ASSERT_EQ(member.sent.size(), 2u);
  for (const auto& sent : member.sent) EXPECT_EQ(sent, (std::vector<double>(4, 0.0)));
  for (const auto& seen : mc.evaluated) EXPECT_EQ(seen, member.leader_sample);
  EXPECT_EQ(mc.best_params[1], 1.25);
  EXPECT_TRUE(member.gathered_sizes.empty());
  EXPECT_FALSE(FileExists("log_file_p1.log"));
  EXPECT_EQ(out.find("Best objective"), std::string::npos);

  WriteFile("mc.in", kFixedInput);
  TestPartition leader(2, 1, 0, 2, 4);
  leader.other_values = {5.0, 0.0};
  leader.other_params = {{0.0, 9.0, 9.0}, {}};
  ScriptedMonteCarlo led(&leader, 2, "mc.in");
  out = RunAndReport(led);
  EXPECT_EQ(leader.gathered_sizes, (std::vector<long>{1, 3}));
  EXPECT_EQ(SplitLines(ReadFile("log_file_p1.log")).size(), 3u);
  EXPECT_EQ(out.find("Best objective"), std::string::npos);
  EXPECT_FALSE(FileExists("best.out"));
}

// The master picks among the partitions' bests by the same magnitude rule as within one
// partition; the first partition wins a tie.
TEST_F(MonteCarloTest, MasterReportsTheBestOverAllPartitions) {
  WriteFile("mc.in", kFixedInput);
  struct Case {
    double other;
    std::string best_out;
  };
  const Case cases[] = {
      {-3.0, std::string("2.000000:  ") + kFixedBest},
      {2.0, std::string("2.000000:  ") + kFixedBest},
      {-1.5, "-1.500000:  7.000000e+00 8.000000e+00 \n"},
  };
  for (const Case& c : cases) {
    TestPartition master(2, 0, 0, 0, 4);
    master.other_values = {0.0, c.other};
    master.other_params = {{}, {0.0, 7.0, 8.0}};
    ScriptedMonteCarlo mc(&master, 1, "mc.in");
    mc.objectives = {2.0};
    const std::string out = RunAndReport(mc);
    EXPECT_EQ(master.gathered_sizes, (std::vector<long>{1, 3}));
    EXPECT_EQ(ReadFile("best.out"), c.best_out) << c.other;
    EXPECT_EQ(CountOf(out, "Best objective function value"), 1);
  }
}

// With the library's two-parameter Rosenbrock function: 7 samples over 2 partitions give
// each partition 3 whole samples, each logged under its partition's name, and each
// process's best is the logged sample of smallest magnitude, a true value of the function.
TEST_F(MonteCarloTest, RealModelRunSplitsSamplesOverPartitions) {
  testing_support::WriteRosenbrockInput();
  for (long id = 0; id < 2; ++id) {
    TestPartition process(2, id, 0, id, 1);
    std::string out = CaptureOutput([&] { EXPECT_EQ(run_monte_carlo(&process, 7, "mc.in"), 1); });
    EXPECT_EQ(process.sent.size(), 3u);
    const auto lines = SplitLines(ReadFile("log_file_p" + std::to_string(id) + ".log"));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "Cost  \tx1\tx2\t");
    double best = 0.0, best_x1 = 0.0, best_x2 = 0.0;
    for (std::size_t i = 1; i < lines.size(); ++i) {
      double cost = 0.0, x1 = 0.0, x2 = 0.0;
      ASSERT_EQ(std::sscanf(lines[i].c_str(), "%lf\t%le\t%le\t", &cost, &x1, &x2), 3);
      if (i == 1 || std::fabs(cost) < std::fabs(best)) best = cost, best_x1 = x1, best_x2 = x2;
    }
    double value = 0.0, x1 = 0.0, x2 = 0.0;
    ASSERT_EQ(std::sscanf(ReadFile("best.out").c_str(), "%lf:  %le %le", &value, &x1, &x2), 3);
    EXPECT_EQ(value, best);
    EXPECT_EQ(x1, best_x1);
    EXPECT_EQ(x2, best_x2);
    const double rosenbrock = 100.0 * std::pow(x2 - x1 * x1, 2) + std::pow(1.0 - x1, 2);
    EXPECT_NEAR(value, rosenbrock, 1e-3 + 1e-4 * rosenbrock);
  }
}

}  // namespace
