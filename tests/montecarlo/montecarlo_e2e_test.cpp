// End-to-end tests of the Monte Carlo modes: the tarne binary with "-m<count>" and "-s" on
// the library's Rosenbrock function, an unreadable input, and the bundled example.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace {

using testing_support::CopyIntoCwd;
using testing_support::FileExists;
using testing_support::ReadFile;
using testing_support::RunTarne;
using testing_support::SourcePath;
using testing_support::SplitLines;
using testing_support::TempDir;
using testing_support::WriteFile;
using testing_support::WriteRosenbrockInput;

// The fields of a log line, which closes every field with a tab.
std::vector<std::string> Fields(const std::string& line) {
  EXPECT_TRUE(line.empty() || line.back() == '\t') << "a log line ends with a tab: " << line;
  return testing_support::TabFields(line);
}

// Checks the log of an n-sample run with parameters in [-2, 2] and that "best.out" and the
// console report show the logged sample whose cost has the smallest magnitude.
void ExpectLogAndBest(const std::string& out, std::size_t samples) {
  const auto lines = SplitLines(ReadFile("log_file_p0.log"));
  ASSERT_EQ(lines.size(), samples + 1);
  EXPECT_EQ(lines[0], "Cost  \tx1\tx2\t");
  std::vector<std::string> best;
  double best_cost = 0.0;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const auto fields = Fields(lines[i]);
    ASSERT_EQ(fields.size(), 3u) << lines[i];
    for (int k = 1; k <= 2; ++k) {
      const double x = std::stod(fields[k]);
      EXPECT_GE(x, -2.0);
      EXPECT_LE(x, 2.0);
    }
    const double cost = std::stod(fields[0]);
    if (best.empty() || std::fabs(cost) < std::fabs(best_cost)) best = fields, best_cost = cost;
  }
  EXPECT_EQ(ReadFile("best.out"), best[0] + ":  " + best[1] + " " + best[2] + " \n");
  // The console shows the same cost text and the parameters with "%lf".
  const std::string report =
      "\n\nBest objective function value: " + best[0] + "\nParameters:\n ";
  const auto at = out.find(report);
  ASSERT_NE(at, std::string::npos) << out.substr(out.size() > 400 ? out.size() - 400 : 0);
  double x1 = 0.0, x2 = 0.0;
  ASSERT_EQ(std::sscanf(out.c_str() + at + report.size(), "%lf %lf \n", &x1, &x2), 2);
  EXPECT_NEAR(x1, std::stod(best[1]), 1.5e-6);
  EXPECT_NEAR(x2, std::stod(best[2]), 1.5e-6);
}

TEST(MonteCarloEndToEnd, CountedRunLogsEverySampleAndWritesTheBest) {
  TempDir dir;
  WriteRosenbrockInput();
  const auto result = RunTarne({"-m2000", "mc.in"});
  EXPECT_EQ(result.exit_code, 0);
  ExpectLogAndBest(result.out, 2000);
}

TEST(MonteCarloEndToEnd, SensitivityModeRunsFiveHundredSamples) {
  TempDir dir;
  WriteRosenbrockInput();
  const auto result = RunTarne({"-s", "mc.in"});
  EXPECT_EQ(result.exit_code, 0);
  ExpectLogAndBest(result.out, 500);
}

TEST(MonteCarloEndToEnd, UnreadableInputIsReportedAndNothingRuns) {
  TempDir dir;
  const auto result = RunTarne({"-m10", "missing.in"});
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_NE(result.out.find("Error: unable to read the input monte carlo file.\n"),
            std::string::npos) << result.out;
  EXPECT_EQ(result.out.find("Best objective"), std::string::npos);
  EXPECT_FALSE(FileExists("best.out"));
  EXPECT_FALSE(FileExists("log_file_p0.log"));
}

TEST(MonteCarloEndToEnd, ZeroSamplesSayNoSampleWasRun) {
  TempDir dir;
  WriteRosenbrockInput();
  const auto result = RunTarne({"-m0", "mc.in"});
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_NE(result.out.find("No Monte Carlo sample was run"), std::string::npos) << result.out;
  EXPECT_FALSE(FileExists("best.out"));
  EXPECT_FALSE(FileExists("log_file_p0.log"));
}

// The bundled example runs as shipped; its third parameter is held at its given value.
TEST(MonteCarloEndToEnd, BundledExampleRuns) {
  TempDir dir;
  for (const char* name : {"hartman3.prj", "hartman3.lst", "no_observations.obs",
                           "mc_hartman3.in"}) {
    CopyIntoCwd(SourcePath(std::string("examples/montecarlo/") + name));
  }
  const auto result = RunTarne({"-m50", "mc_hartman3.in"});
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(result.err, "");
  const auto lines = SplitLines(ReadFile("log_file_p0.log"));
  ASSERT_EQ(lines.size(), 51u);
  EXPECT_EQ(lines[0], "Cost  \tx1\tx2\tx3\t");
  for (std::size_t i = 1; i < lines.size(); ++i) EXPECT_EQ(Fields(lines[i])[3], "8.525470e-01");
  EXPECT_TRUE(FileExists("best.out"));
}

}  // namespace
