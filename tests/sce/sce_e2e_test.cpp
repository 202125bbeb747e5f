// The "-c" mode of the tarne binary on the function model: the bundled example, the test
// functions of the library from a few seeds, and the same log from the same input.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
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

struct Bounds {
  double lower;
  double upper;
};

// Writes a function project, its replacement list, an empty observation file and an SCE
// input with the settings of the acceptance runs (defaults, 4 complexes, 20000 calls,
// kstop 5, 0.01 percent).
void WriteFunctionCase(const std::string& function, const std::vector<Bounds>& bounds,
                       int seed) {
  std::string project = "kind function\nfunction " + function + "\n";
  std::string list = std::to_string(bounds.size()) + "\n";
  std::string input = "f.prj\nf.lst\nf.obs\n20000 5 0.01 4 " + std::to_string(seed) + " 0 " +
                      std::to_string(bounds.size()) + "\n0 0 0 0 0 0\n";
  for (std::size_t i = 1; i <= bounds.size(); ++i) {
    std::string name = "x" + std::to_string(i);
    project += "parameter " + name + " [" + name + "]\n";
    list += "[" + name + "] \"%24.16le\"\n";
    const Bounds& b = bounds[i - 1];
    input += std::to_string(0.5 * (b.lower + b.upper)) + " " + std::to_string(b.lower) + " " +
             std::to_string(b.upper) + "\n";
  }
  WriteFile("f.prj", project);
  WriteFile("f.lst", list);
  WriteFile("f.obs", "");
  WriteFile("sce.in", input);
}

// The best value of the final report in "sce_output.out".
double FinalBestValue() {
  std::vector<std::string> lines = SplitLines(ReadFile("sce_output.out"));
  if (lines.size() < 2) {
    ADD_FAILURE() << "no final report in sce_output.out";
    return HUGE_VAL;
  }
  EXPECT_EQ(lines[lines.size() - 2],
            " *** PRINT THE FINAL PARAMETER ESTIMATE AND ITS CRITERION VALUE ***");
  return std::stod(lines.back());
}

// The number in "The best results of the SCE calibration %ld runs:".
int ReportedRuns() {
  std::vector<std::string> lines = SplitLines(ReadFile("sce_best.out"));
  if (lines.empty()) {
    ADD_FAILURE() << "sce_best.out is empty";
    return 0;
  }
  const std::string& first = lines[0];
  std::string prefix = "The best results of the SCE calibration ";
  EXPECT_EQ(first.rfind(prefix, 0), 0u) << first;
  return std::stoi(first.substr(prefix.size()));
}

TEST(SceEndToEnd, BundledExampleFindsTheMinimum) {
  TempDir dir;
  CopyIntoCwd(SourcePath("examples/sce"));
  ASSERT_EQ(chdir("sce"), 0);
  testing_support::RunResult r = RunTarne({"-c", "sce_hartman3.in"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_NE(r.out.find(" ENTER THE SCEIN SUBROUTINE --- \n"), std::string::npos);
  EXPECT_LT(FinalBestValue(), 1e-3);
  // One log line per evaluation, numbered without gaps.
  std::vector<std::string> log = SplitLines(ReadFile("sce_log_file.txt"));
  int runs = ReportedRuns();
  ASSERT_GE(runs, 2);
  ASSERT_EQ(static_cast<int>(log.size()), runs);
  EXPECT_EQ(log[runs - 1].substr(0, std::to_string(runs - 1).size()),
            std::to_string(runs - 1));
}

TEST(SceEndToEnd, TestFunctionsReachTheirMinimumFromSeveralSeeds) {
  struct Case {
    const char* function;
    std::vector<Bounds> bounds;
  } cases[] = {
      {"goldstein-price", {{-2, 2}, {-2, 2}}},
      {"six-hump-camel", {{-3, 3}, {-2, 2}}},
      {"branin", {{-5, 10}, {0, 15}}},
      {"hartman3", {{0, 1}, {0, 1}, {0, 1}}},
      {"hartman6", {{0, 1}, {0, 1}, {0, 1}, {0, 1}, {0, 1}, {0, 1}}},
  };
  for (const Case& c : cases) {
    for (int seed : {1, 2, 3}) {
      TempDir dir;
      WriteFunctionCase(c.function, c.bounds, seed);
      testing_support::RunResult r = RunTarne({"-c", "sce.in"});
      ASSERT_EQ(r.exit_code, 0);
      ASSERT_TRUE(FileExists("sce_best.out")) << c.function << " " << r.out;
      EXPECT_LT(FinalBestValue(), 1e-3) << c.function << " seed " << seed;
      EXPECT_EQ(SplitLines(ReadFile("sce_best.out")).size(), c.bounds.size() + 1);
    }
  }
}

TEST(SceEndToEnd, SameInputSameLogAndOutput) {
  std::string logs[2];
  std::string outs[2];
  for (int i = 0; i < 2; ++i) {
    TempDir dir;
    WriteFunctionCase("six-hump-camel", {{-3, 3}, {-2, 2}}, 4242);
    testing_support::RunResult r = RunTarne({"-c", "sce.in"});
    outs[i] = r.out;
    logs[i] = ReadFile("sce_log_file.txt");
  }
  EXPECT_EQ(logs[0], logs[1]);
  EXPECT_EQ(outs[0], outs[1]);
}

// The file is named with the reason before the fixed line; without an input the observation
// file name is empty, so the observation error line ends the run (status 1).
TEST(SceEndToEnd, MissingInputFileIsNamedAndNoSearchRuns) {
  TempDir dir;
  testing_support::RunResult r = RunTarne({"-c", "nope.in"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.out.find("cannot open nope.in: No such file or directory\n"
                       "Can't open SCE input file nope.in\n"
                       "Error: unable to open the observation file for reading or problem "
                       "while reading it.\nAttempted to read file: \n"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(r.out.find("SCE-UA"), std::string::npos) << r.out;
  EXPECT_EQ(r.err, "");
  EXPECT_FALSE(FileExists("sce_output.out"));
}

}  // namespace
