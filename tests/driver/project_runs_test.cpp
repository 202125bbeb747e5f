// The modes that run the model, through the tarne binary on the bundled examples: single
// and batch project runs with their exit codes and batch-numbered outputs, and the sample
// counts the Monte Carlo modes receive. Expected objectives are worked out by hand from the
// two-dimensional Rosenbrock function 100 (x2 - x1^2)^2 + (1 - x1)^2.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "support/test_support.h"

namespace {

using testing_support::CopyIntoCwd;
using testing_support::FileExists;
using testing_support::ReadFile;
using testing_support::RunProgram;
using testing_support::RunResult;
using testing_support::RunTarne;
using testing_support::SourcePath;
using testing_support::SplitLines;
using testing_support::TempDir;

// Copies the Rosenbrock example into the working directory. Its value file holds the lines
// (-1.2, 1.0), (0.5, 0.5) and (1.0, 1.0), whose objectives are 24.2, 6.5 and 0.
void CopyRosenbrockExample() {
  for (const char* name : {"rosenbrock.prj", "rosenbrock.lst", "rosenbrock.val", "mc.in",
                           "sce.in", "no_observations.obs"})
    CopyIntoCwd(SourcePath(std::string("examples/function/") + name));
}

// The objective written on the first line of an output file ("objective <value>").
double ObjectiveIn(const std::string& path) {
  const std::vector<std::string> lines = SplitLines(ReadFile(path));
  if (lines.empty() || lines[0].rfind("objective ", 0) != 0) {
    ADD_FAILURE() << path << " has no objective line";
    return -1.0;
  }
  return std::strtod(lines[0].c_str() + 10, nullptr);
}

// Number of sample rows in the Monte Carlo log (one heading line, then one row a sample).
long SampleRows() {
  const std::vector<std::string> lines = SplitLines(ReadFile("log_file_p0.log"));
  return lines.empty() ? -1 : static_cast<long>(lines.size()) - 1;
}

TEST(ProjectRuns, SingleRunUsesTheFirstValueLineAndSucceeds) {
  TempDir dir;
  CopyRosenbrockExample();
  RunResult r = RunTarne({"rosenbrock.prj"});
  EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
  EXPECT_NEAR(ObjectiveIn("rosenbrock.out"), 24.2, 1e-12);
  EXPECT_FALSE(FileExists("rosenbrock_b0.out"));
}

TEST(ProjectRuns, ExitCodeOfASingleRunIsTheModelResult) {
  TempDir dir;
  CopyRosenbrockExample();
  testing_support::WriteFile("bad.prj", "kind function\nfunction rosenbrock\nnonsense 1\n");
  RunResult bad = RunTarne({"bad.prj"});
  EXPECT_EQ(bad.exit_code, 1);
  EXPECT_NE(bad.err.find("bad.prj"), std::string::npos) << bad.err;
  EXPECT_EQ(RunTarne({"missing.prj"}).exit_code, 1);
  // A lone -v is a project file name, not the version option.
  RunResult v = RunTarne({"-v"});
  EXPECT_EQ(v.exit_code, 1);
  EXPECT_EQ(v.out.find("TARNE version"), std::string::npos);
}

TEST(ProjectRuns, BatchOfThreeRunsLinesAndBatchNumbersZeroToTwo) {
  TempDir dir;
  CopyRosenbrockExample();
  RunResult r = RunTarne({"-b3", "rosenbrock.prj"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_NE(r.out.find("\nTARNE is running in batch mode, and is running 3 runs...\n"),
            std::string::npos)
      << r.out;
  EXPECT_NEAR(ObjectiveIn("rosenbrock_b0.out"), 24.2, 1e-12);
  EXPECT_NEAR(ObjectiveIn("rosenbrock_b1.out"), 6.5, 1e-12);
  EXPECT_NEAR(ObjectiveIn("rosenbrock_b2.out"), 0.0, 1e-12);
  EXPECT_FALSE(FileExists("rosenbrock_b3.out"));
  EXPECT_FALSE(FileExists("rosenbrock.out"));
}

TEST(ProjectRuns, BatchWithoutANumberRunsOnceAndWithZeroRunsNothing) {
  TempDir dir;
  CopyRosenbrockExample();
  RunResult one = RunTarne({"-b", "rosenbrock.prj"});
  EXPECT_NE(one.out.find("is running 1 runs...\n"), std::string::npos);
  EXPECT_NEAR(ObjectiveIn("rosenbrock_b0.out"), 24.2, 1e-12);
  EXPECT_FALSE(FileExists("rosenbrock_b1.out"));
  std::remove("rosenbrock_b0.out");
  RunResult none = RunTarne({"-b0", "rosenbrock.prj"});
  EXPECT_EQ(none.exit_code, 0);
  EXPECT_FALSE(FileExists("rosenbrock_b0.out"));
}

TEST(ProjectRuns, FailingBatchRunsDoNotChangeTheExitCode) {
  TempDir dir;
  EXPECT_EQ(RunTarne({"-b2", "missing.prj"}).exit_code, 0);
}

TEST(ProjectRuns, WebStartRunsTheProjectAndClosesThePage) {
  TempDir dir;
  CopyRosenbrockExample();
  RunResult r = RunProgram(TARNE_WEB_BINARY, {"rosenbrock.prj"}, "", {{"CONTENT_LENGTH", "0"}});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out.find("Parallel version"), std::string::npos);
  ASSERT_GE(r.out.size(), 12u);
  EXPECT_EQ(r.out.substr(r.out.size() - 12), "</P></body>\n");
  EXPECT_NEAR(ObjectiveIn("rosenbrock.out"), 24.2, 1e-12);
}

TEST(ProjectRuns, MonteCarloModesReceiveTheirSampleCounts) {
  TempDir dir;
  CopyRosenbrockExample();
  const std::pair<const char*, long> cases[] = {
      {"-m", 1}, {"-m250", 250}, {"-ms2", 1}, {"-s", 500}};
  for (const auto& [option, samples] : cases) {
    std::remove("log_file_p0.log");
    RunResult r = RunTarne({option, "mc.in"});
    EXPECT_EQ(r.exit_code, 0) << option;
    EXPECT_EQ(SampleRows(), samples) << option;
  }
}

}  // namespace
