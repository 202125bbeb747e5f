// A search captured in a working copy (its runs made in the run directory, as rank 0 makes
// multistart's last search) and then written into the case leaves every file as the same
// search made directly leaves it, the screen text included, after a convergence and after a
// failed run; the result keeps the failed run's value file and a stop request, and survives
// its bytes.
#include "global/captured_search.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "global/global_problem.h"
#include "lm/lm_state.h"
#include "lm/pest_case.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;
using lm_test::PestCase;
using testing_support::FileExists;
using testing_support::ReadFile;
using testing_support::TempDir;

PestCase DecayCase(const std::string& post_extra) {
  PestCase c;
  c.rstfle = "restart";
  c.parameters = {{"a", "none", 1.0, 0.0, 10.0}, {"b", "none", 1.0, 0.0, 2.0}};
  for (int x = 0; x <= 5; ++x) {
    c.observations.push_back({"$1 * exp(-$2 * " + std::to_string(x) + ")",
                              3.0 * std::exp(-0.4 * x) + 0.01 * (x % 3 - 1)});
  }
  c.noptmax = 6;
  c.post_extra = post_extra;
  return c;
}

// Loads the case in dir (the working directory meanwhile), hands it to search and closes it.
template <typename Search>
void WithCase(const std::string& dir, const PestCase& c, Search search) {
  fs::create_directories(dir);
  const fs::path back = fs::current_path();
  fs::current_path(dir);
  c.Write();
  std::vector<std::string> words = {"tarne", "-ms", "case"};
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  tarne::mpi_setup partition;
  GlobalProblem problem;
  ::testing::internal::CaptureStdout();
  const bool loaded = LoadGlobalProblem(&partition, 3, argv.data(), "slm_kor_ms1", problem).go_on;
  ::testing::internal::GetCapturedStdout();
  EXPECT_TRUE(loaded);
  if (loaded) search(problem);
  problem.files.Close();
  fs::current_path(back);
}

const char* const kCaseFiles[] = {"case.rec", "case.sen", "case.par", "case.mtt", "case.rst",
                                  "jac.txt",  "values.in", "model.out", "model.prj",
                                  "runs.txt"};

std::map<std::string, std::string> CaseFilesIn(const std::string& dir) {
  std::map<std::string, std::string> files;
  for (const char* name : kCaseFiles) {
    const std::string path = dir + "/" + name;
    files[name] = FileExists(path) ? ReadFile(path) : "(none)";
  }
  return files;
}

TEST(CapturedSearch, WritesTheFilesAndTextOfTheSearchMadeDirectly) {
  TempDir dir;
  const struct {
    const char* name;
    std::string post_extra;
    bool fails;
  } cases[] = {
      {"converges", "", false},
      // The eleventh run loses its output, once the first iteration has saved its state.
      {"fails", "[ $(grep -c . runs.txt) -ge 11 ] && rm -f model.out\n", true},
  };
  for (const auto& c : cases) {
    const PestCase pest = DecayCase(c.post_extra);
    const std::string direct = std::string(c.name) + "_direct";
    const std::string captured = std::string(c.name) + "_captured";
    std::string screen;
    SearchOutcome expected;
    WithCase(direct, pest, [&](GlobalProblem& problem) {
      ::testing::internal::CaptureStdout();
      expected = RunLocalSearch(problem, CurrentParameterValues(problem.record));
      screen = ::testing::internal::GetCapturedStdout();
    });
    CapturedSearch search;
    WithCase(captured, pest, [&](GlobalProblem& problem) {
      const std::string here = fs::current_path().string();
      fs::create_directories("copy");
      int runs = 0;
      const CapturePlace place{here + "/copy", here, here, [&runs] { ++runs; }};
      const CapturedSearch made =
          RunCapturedSearch(problem, CurrentParameterValues(problem.record), place);
      // The hook sees every run, the final one (which may go uncounted) too.
      EXPECT_GE(runs, made.outcome.model_calls) << c.name;
      EXPECT_GT(runs, 0) << c.name;
      ASSERT_TRUE(DecodeCapturedSearch(EncodeCapturedSearch(made), &search));
      ::testing::internal::CaptureStdout();
      WriteCapturedSearch(problem, search);
      EXPECT_EQ(::testing::internal::GetCapturedStdout(), screen) << c.name;
    });
    EXPECT_EQ(CaseFilesIn(captured), CaseFilesIn(direct)) << c.name;
    EXPECT_EQ(search.outcome.status != 0, c.fails) << c.name;
    EXPECT_EQ(search.outcome.status, expected.status) << c.name;
    EXPECT_EQ(search.outcome.model_calls, expected.model_calls) << c.name;
    EXPECT_EQ(search.outcome.objectives, expected.objectives) << c.name;
    EXPECT_EQ(search.run_failed, c.fails) << c.name;
    EXPECT_EQ(search.failed_values, c.fails ? ReadFile(direct + "/values.in") : "") << c.name;
    EXPECT_EQ(search.ended, -1) << c.name;
    EXPECT_TRUE(search.fault.empty()) << c.name;
  }
  // The restart file of the failed search stays; the converged one removed it.
  EXPECT_TRUE(FileExists("fails_captured/case.rst"));
  EXPECT_FALSE(FileExists("converges_captured/case.rst"));
}

TEST(CapturedSearch, AStopRequestEndsTheSearchNotTheProcess) {
  TempDir dir;
  WithCase("stopped", DecayCase("[ $(grep -c . runs.txt) -ge 5 ] && echo 1 > pest.stp\n"),
           [](GlobalProblem& problem) {
             const std::string here = fs::current_path().string();
             fs::create_directories("copy");
             const CapturePlace place{here + "/copy", here, here, nullptr};
             const CapturedSearch search =
                 RunCapturedSearch(problem, CurrentParameterValues(problem.record), place);
             EXPECT_EQ(search.ended, 0);
             EXPECT_NE(search.outcome.status, 0);
             EXPECT_EQ(search.outcome.model_calls, 0);
             EXPECT_NE(search.record.find("OPTIMIZATION ITERATION NO."), std::string::npos);
           });
  // The search's files went to the working copy; nothing was written into the case.
  EXPECT_EQ(ReadFile("stopped/case.rec"), "");
  EXPECT_EQ(testing_support::SplitLines(ReadFile("stopped/runs.txt")).size(), 5u);
}

}  // namespace
