// The tarne binary on the shipped examples: a single hydro run, a batch of three runs, a
// broken project, and the example data generator's reproducibility.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "support/test_support.h"

namespace {

using testing_support::CopyIntoCwd;
using testing_support::FileExists;
using testing_support::ReadFile;
using testing_support::RunProgram;
using testing_support::RunTarne;
using testing_support::SourcePath;
using testing_support::SplitLines;
using testing_support::TempDir;
using testing_support::WriteFile;

TEST(HydroExample, SingleRunWritesTheHydrograph) {
  TempDir dir;
  CopyIntoCwd(SourcePath("examples/hydro"));
  const auto run = RunTarne({"hydro/catchment.prj"});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_TRUE(run.err.empty()) << run.err;
  const auto lines = SplitLines(ReadFile("hydro/hydrograph.out"));
  ASSERT_EQ(lines.size(), 730u);  // one line per forcing day
  EXPECT_EQ(lines[0].rfind("1.000000 ", 0), 0u) << lines[0];
}

TEST(HydroExample, BatchOfThreeWritesThreeDifferentHydrographs) {
  TempDir dir;
  CopyIntoCwd(SourcePath("examples/hydro"));
  const auto run = RunTarne({"-b3", "hydro/catchment.prj"});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_TRUE(run.err.empty()) << run.err;
  EXPECT_FALSE(FileExists("hydro/hydrograph.out"));
  const std::string b0 = ReadFile("hydro/hydrograph_b0.out");
  const std::string b1 = ReadFile("hydro/hydrograph_b1.out");
  const std::string b2 = ReadFile("hydro/hydrograph_b2.out");
  EXPECT_EQ(SplitLines(b0).size(), 730u);
  EXPECT_NE(b0, b1);
  EXPECT_NE(b1, b2);
  EXPECT_NE(b0, b2);
  // The second value line holds the parameters that made the observations: its run is the
  // one of truth.prj.
  ASSERT_EQ(RunTarne({"hydro/truth.prj"}).exit_code, 0);
  EXPECT_EQ(b1, ReadFile("hydro/truth_hydrograph.out"));
}

TEST(HydroExample, BrokenProjectsNameFileAndLineAndFail) {
  TempDir dir;
  CopyIntoCwd(SourcePath("examples/hydro"));
  std::string project = ReadFile("hydro/catchment.prj");
  WriteFile("hydro/typo.prj", project + "rain_gradiant 0.1\n");
  auto run = RunTarne({"hydro/typo.prj"});
  EXPECT_NE(run.exit_code, 0);
  EXPECT_NE(run.err.find("cannot read hydro/typo.prj (line 23): unknown keyword"),
            std::string::npos) << run.err;
  project.replace(project.find("forcing forcing.txt"), 19, "forcing rain.txt");
  WriteFile("hydro/noforcing.prj", project);
  run = RunTarne({"hydro/noforcing.prj"});
  EXPECT_NE(run.exit_code, 0);
  EXPECT_NE(run.err.find("hydro/noforcing.prj (line 13): cannot open the forcing file "
                         "hydro/rain.txt"),
            std::string::npos) << run.err;
}

TEST(FunctionExample, MonteCarloOverTheExampleFindsAFiniteBest) {
  TempDir dir;
  CopyIntoCwd(SourcePath("examples/function"));
  ASSERT_EQ(chdir("function"), 0);
  const auto run = RunTarne({"-m20", "mc.in"});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_TRUE(run.err.empty()) << run.err;
  const auto log = SplitLines(ReadFile("log_file_p0.log"));
  ASSERT_EQ(log.size(), 21u);
  EXPECT_EQ(log[0], "Cost  \tx1\tx2\t");
}

TEST(ExternalExample, RunsItsCommandAndServesAMonteCarloSearch) {
  TempDir dir;
  CopyIntoCwd(SourcePath("examples/external"));
  ASSERT_EQ(chdir("external"), 0);
  auto run = RunTarne({"parabola.prj"});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  // a = 1, b = 0 against a = 2, b = -1: the differences 1 - x^2 at x = 0..4 squared.
  EXPECT_DOUBLE_EQ(std::strtod(ReadFile("objective.out").c_str(), nullptr), 299.0);
  EXPECT_EQ(SplitLines(ReadFile("result.out")).size(), 5u);
  run = RunTarne({"-m8", "mc.in"});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  // The best value reported must be the objective of the parameters reported with it:
  // with da = a - 2 and db = b + 1 it is 354 da^2 + 60 da db + 5 db^2.
  double best = 0.0, a = 0.0, b = 0.0;
  ASSERT_EQ(std::sscanf(ReadFile("best.out").c_str(), "%lf: %le %le", &best, &a, &b), 3);
  const double da = a - 2.0, db = b + 1.0;
  EXPECT_NEAR(best, 354 * da * da + 60 * da * db + 5 * db * db, 1e-4 * best + 1e-6);
}

TEST(Generator, RemakesTheShippedExampleDataExactly) {
  TempDir dir;
  CopyIntoCwd(SourcePath("examples/hydro"));
  ASSERT_EQ(chdir("hydro"), 0);
  // The commands that made the shipped files (see docs/project-file.md).
  ASSERT_EQ(RunProgram(TARNE_MAKE_EXAMPLE, {"forcing", "f.txt", "730", "20240916"}).exit_code,
            0);
  EXPECT_TRUE(ReadFile("f.txt") == ReadFile("forcing.txt"));
  const auto run = RunProgram(TARNE_MAKE_EXAMPLE, {"observations", "truth.prj",
                                                   "truth_hydrograph.out", "o.obs", "7", "0.05"});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_TRUE(ReadFile("o.obs") == ReadFile("observed.obs"));
}

}  // namespace
