// Tests of the multistart method: its record, sample and seeds files against values computed
// independently, the restoration of every parameter before each search, the start-up
// refusals, failed runs, the independence of successive searches, and through the tarne
// binary the bundled example with several minima.
#include "global/multistart.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "global/global_problem.h"
#include "global/local_search.h"
#include "global/method_run.h"
#include "global/sampling.h"
#include "lm/lm_state.h"
#include "lm/pest_case.h"
#include "pest/parameters.h"
#include "support/test_support.h"
#include "support/text_compare.h"

namespace {

using global_test::MethodRun;
using lm_test::Occurrences;
using lm_test::PestCase;
using testing_support::CompareText;
using testing_support::CopyIntoCwd;
using testing_support::FileExists;
using testing_support::ReadFile;
using testing_support::SourcePath;
using testing_support::SplitLines;
using testing_support::TempDir;
using testing_support::WriteFile;

const global_test::MethodTool kMultistart = {RunMultistart, "-ms", "ms.in", "slm_kor_ms1.rec",
                                             "slm_kor_ms1"};

// Runs the method in this process on "case" in the working directory, after writing ms_in
// to "ms.in" when it is not empty.
MethodRun RunMethod(const std::string& ms_in) {
  if (!ms_in.empty()) WriteFile("ms.in", ms_in);
  return global_test::RunMethod(kMultistart);
}

// Parameters a (0..4), k (log, 1..100), f (fixed 3) and t (tied to a, ratio 2); the model
// y(x) = t / 2 + log10(k) x + f - 3 at x = 0..4 is linear in the stored values, observed in
// two groups. tests/data/global/multistart/make_expected.py computes the expected files.
PestCase GoldenCase() {
  PestCase c;
  c.parameters = {{"a", "none", 1.0, 0.0, 4.0},
                  {"k", "log", 10.0, 1.0, 100.0},
                  {"f", "fixed", 3.0, 3.0, 3.0},
                  {"t", "tied", 2.0, 0.0, 8.0, "pg", "a"}};
  c.observation_groups = {"g1", "g2"};
  const double noise[5] = {0.02, -0.01, 0.03, -0.02, 0.01};
  for (int x = 0; x <= 4; ++x) {
    c.observations.push_back({"$4 / 2 + log($2) / log(10) * " + std::to_string(x) + " + $3 - 3",
                              1.5 + 0.5 * x + noise[x], 1.0, x < 3 ? "g1" : "g2"});
  }
  return c;
}

// The parameter values (all of them, natural units) of every "Current parameter values"
// block of the case record, one block per sample run and per local search.
std::vector<std::vector<double>> InitialBlocks(const std::string& rec, int npar) {
  std::vector<std::vector<double>> blocks;
  const std::vector<std::string> lines = SplitLines(rec);
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i] != "      Current parameter values") continue;
    std::vector<double> values;
    for (int k = 1; k <= npar; ++k) {
      char name[64];
      double value = 0.0;
      if (std::sscanf(lines[i + k].c_str(), "%63s %lf", name, &value) == 2) {
        values.push_back(value);
      }
    }
    blocks.push_back(values);
  }
  return blocks;
}

std::vector<std::vector<double>> SampleFileRows(const std::string& path) {
  std::vector<std::vector<double>> rows;
  for (const std::string& line : SplitLines(ReadFile(path))) {
    std::vector<double> row;
    for (const char* at = line.c_str(); *at != '\0';) {
      char* end = nullptr;
      const double value = std::strtod(at, &end);
      if (end == at) break;
      row.push_back(value);
      at = end;
    }
    if (!row.empty()) rows.push_back(row);
  }
  return rows;
}

// The "total" lines of the local-search results: starting and optimised objectives as text.
std::vector<std::pair<std::string, std::string>> TotalLines(const std::string& rec) {
  std::vector<std::pair<std::string, std::string>> totals;
  for (const std::string& line : SplitLines(rec)) {
    if (line.rfind("\ttotal\t", 0) != 0) continue;
    const size_t tab = line.find('\t', 7);
    totals.emplace_back(line.substr(7, tab - 7), line.substr(tab + 1));
  }
  return totals;
}

TEST(Multistart, FilesMatchValuesComputedIndependently) {
  TempDir dir;
  GoldenCase().Write();
  const MethodRun run = RunMethod("7\n2\n");
  ASSERT_EQ(run.status, 0) << run.screen;
  // The samples are printed with 6 decimals ("%lf") or 13 digits ("%.12E") from values the
  // script computes exactly; the objectives come from a model that sees "%.7E" values, and
  // the optimised values from searches that stop within 1e-6 of the least-squares point.
  const std::string data = SourcePath("tests/data/global/multistart/");
  EXPECT_EQ(CompareText(ReadFile(data + "slm_kor_ms1.rec"), run.rec, {1e-7, 2e-6}), "");
  EXPECT_EQ(CompareText(ReadFile(data + "parameters.prn"), ReadFile("parameters.prn"), {1e-11}),
            "");
  EXPECT_EQ(ReadFile("RandomNumberSeeds.prn"), ReadFile(data + "RandomNumberSeeds.prn"));
  EXPECT_NE(run.screen.find("Lowest objective function of all local searches: 0.001630, from "
                            "local search "),
            std::string::npos)
      << run.screen;
  EXPECT_EQ(Occurrences(run.screen, "Using the multistart stochastic global optimization"), 1);
}

TEST(Multistart, EveryParameterIsRestoredFromItsStartingPointBeforeEachSearch) {
  TempDir dir;
  GoldenCase().Write();
  const MethodRun run = RunMethod("3 3");
  ASSERT_EQ(run.status, 0) << run.screen;
  const std::vector<std::vector<double>> rows = SampleFileRows("parameters.prn");
  const std::vector<std::vector<double>> blocks = InitialBlocks(ReadFile("case.rec"), 4);
  ASSERT_EQ(rows.size(), 3u);
  ASSERT_EQ(blocks.size(), 6u);  // three sample runs, then three searches
  for (size_t r = 0; r < 3; ++r) {
    EXPECT_DOUBLE_EQ(rows[r][2], 3.0);
    EXPECT_NEAR(rows[r][3], 2.0 * rows[r][0], 1e-11 * rows[r][3]);  // re-tied after sampling
    for (size_t k = 0; k < 4; ++k) {
      EXPECT_NEAR(blocks[r][k], rows[r][k], 1e-6) << "sample " << r + 1;
      EXPECT_NEAR(blocks[3 + r][k], rows[r][k], 1e-6) << "search " << r + 1;
    }
  }
}

// The seed chain and the plain 16807 generator, independent of the shuffle table: a sample's
// written seed is its derived seed after the table's 40 refill steps and one step per deviate.
std::vector<long> ExpectedSeeds(std::uint32_t state, int samples, int deviates) {
  std::vector<long> seeds;
  for (int i = 0; i < samples; ++i) {
    state = state * 1664525u + 1013904223u;
    std::int64_t s = -static_cast<std::int64_t>(static_cast<double>(state) * -0.5);
    if (s < 1) s = 1;
    for (int j = 0; j < 40 + deviates; ++j) s = s * 16807 % 2147483647;
    seeds.push_back(static_cast<long>(s));
  }
  return seeds;
}

TEST(Multistart, TheSameSeedDrawsTheSameStartsAndWritesTheSameSeeds) {
  TempDir dir;
  PestCase c = GoldenCase();
  c.noptmax = 1;
  c.Write();
  ASSERT_EQ(RunMethod("4294967295 3").status, 0);
  const std::string samples = ReadFile("parameters.prn");
  const std::string seeds = ReadFile("RandomNumberSeeds.prn");
  std::vector<long> written;
  for (const std::string& line : SplitLines(seeds)) written.push_back(std::stol(line));
  EXPECT_EQ(written, ExpectedSeeds(4294967295u, 3, 2));
  // "-1" wraps around to the same unsigned seed.
  ASSERT_EQ(RunMethod("-1 3").status, 0);
  EXPECT_EQ(ReadFile("parameters.prn"), samples);
  EXPECT_EQ(ReadFile("RandomNumberSeeds.prn"), seeds);
  ASSERT_EQ(RunMethod("5 3").status, 0);
  EXPECT_NE(ReadFile("parameters.prn"), samples);
}

TEST(Multistart, NoSamplesWritesOnlyTheResultsTitleAndRegularisationIsAccepted) {
  TempDir dir;
  PestCase c = GoldenCase();
  c.mode = "regularization";
  c.Write();
  const MethodRun run = RunMethod("7 0");
  EXPECT_EQ(run.status, 0) << run.screen;
  EXPECT_EQ(run.rec, "\n\n                   RESULTS OF CT OPTIMIZATION RUNS\n\n\n");
  EXPECT_EQ(run.model_runs, 0);
  EXPECT_EQ(ReadFile("parameters.prn"), "");
  EXPECT_EQ(ReadFile("RandomNumberSeeds.prn"), "");
  EXPECT_NE(run.screen.find("No local search was run: ms.in asks for 0 pre-inversion runs."),
            std::string::npos);
  // One sample and its search in regularisation mode.
  const MethodRun one = RunMethod("7 1");
  EXPECT_EQ(one.status, 0) << one.screen;
  EXPECT_EQ(TotalLines(one.rec).size(), 1u);
  EXPECT_NE(one.screen.find("from local search 1 of 1"), std::string::npos);
}

TEST(Multistart, StartUpRefusalsComeBeforeAnyModelRun) {
  const std::string prediction =
      "\nCurrently, the slm_kor_ms1 does not support prediction capabilities.\n"
      "Please change the PESTMODE parameter in the input control\n"
      "file to 'estimation' and recommence execution of slm_kor_ms1.\n\n";
  const struct {
    const char* mode;
    const char* ms_in;      // nullptr: no "ms.in"
    const char* directory;  // a directory in the way of an output file, or ""
    std::string expected;
  } cases[] = {
      {"estimation", nullptr, "", "cannot open ms.in: No such file or directory\n"},
      {"estimation", " \n", "",
       "cannot read ms.in (line 2): the file ends before the random seed\n"},
      {"estimation", "seven 2", "",
       "cannot read ms.in (line 1): the random seed is \"seven\", not a whole number\n"},
      {"estimation", "7\n", "",
       "cannot read ms.in (line 2): the file ends before the number of pre-inversion runs\n"},
      {"estimation", "7\n\n-2\n", "",
       "cannot read ms.in (line 3): the number of pre-inversion runs is -2; it must be at "
       "least 0\n"},
      {"estimation", "7 2.5", "", "pre-inversion runs is \"2.5\", not a whole number"},
      {"estimation", nullptr, "ms.in",
       "cannot open ms.in: it is a directory, not a regular file\n"},
      {"estimation", "7 2", "slm_kor_ms1.rec",
       "cannot create slm_kor_ms1.rec: it is a directory, not a regular file\n"},
      {"estimation", "7 2", "parameters.prn",
       "cannot create parameters.prn: it is a directory, not a regular file\n"},
      {"estimation", "7 2", "RandomNumberSeeds.prn",
       "cannot create RandomNumberSeeds.prn: it is a directory, not a regular file\n"},
      {"prediction", "7 2", "", prediction},
  };
  for (const auto& c : cases) {
    TempDir dir;
    PestCase pest = GoldenCase();
    pest.mode = c.mode;
    pest.Write();
    if (c.ms_in != nullptr) WriteFile("ms.in", c.ms_in);
    if (*c.directory != '\0') std::filesystem::create_directory(c.directory);
    const MethodRun run = RunMethod("");
    EXPECT_EQ(run.status, 1) << c.expected;
    EXPECT_NE(run.screen.find(c.expected), std::string::npos) << run.screen;
    EXPECT_EQ(run.model_runs, 0) << c.expected;
  }
}

// The model run with the given number (counted over the whole method) finds no output file.
PestCase FailingRunCase(int failing_run) {
  PestCase c = GoldenCase();
  c.noptmax = 2;
  c.post_extra = "[ $(grep -c . runs.txt) -eq " + std::to_string(failing_run) +
                 " ] && rm -f model.out\n";
  return c;
}

TEST(Multistart, FailedRunsAreReportedWithInfiniteObjectivesAndTheLoopsGoOn) {
  {
    // The second sample run fails: its row and its search's starting objectives are "inf",
    // while its search runs from the sample and finishes.
    TempDir dir;
    FailingRunCase(2).Write();
    const MethodRun run = RunMethod("7 3");
    EXPECT_EQ(run.status, 0) << run.screen;
    EXPECT_NE(run.screen.find("The model run of sample 2 failed; its objective function is "
                              "taken as infinite."),
              std::string::npos);
    EXPECT_EQ(Occurrences(run.rec, "\tinf\tinf\tinf\t\n"), 1);
    const auto totals = TotalLines(run.rec);
    ASSERT_EQ(totals.size(), 3u);
    EXPECT_EQ(totals[1].first, "inf");
    EXPECT_EQ(totals[1].second.substr(0, 4), "0.00");
    EXPECT_EQ(run.rec.find("nan"), std::string::npos);
  }
  {
    // The last sample run fails: no local search follows and the status says so.
    TempDir dir;
    FailingRunCase(3).Write();
    const MethodRun run = RunMethod("7 3");
    EXPECT_NE(run.status, 0);
    EXPECT_EQ(run.model_runs, 3);
    EXPECT_EQ(run.rec.find("RESULTS OF CT OPTIMIZATION RUNS"), std::string::npos);
    EXPECT_NE(run.screen.find("No local search was run: the last pre-inversion sample run "
                              "failed."),
              std::string::npos);
  }
  {
    // The first local search fails at its first run: its optimised objectives are "inf" and
    // the next search starts where it stopped (sample 1), not from sample 2.
    TempDir dir;
    FailingRunCase(4).Write();
    const MethodRun run = RunMethod("7 3");
    EXPECT_EQ(run.status, 0) << run.screen;
    const auto totals = TotalLines(run.rec);
    ASSERT_EQ(totals.size(), 3u);
    EXPECT_EQ(totals[0].second, "inf");
    EXPECT_NE(run.screen.find("Local search 2 starts from the parameters the failed local "
                              "search 1 left"),
              std::string::npos);
    const std::vector<std::vector<double>> rows = SampleFileRows("parameters.prn");
    const std::vector<std::vector<double>> blocks = InitialBlocks(ReadFile("case.rec"), 4);
    ASSERT_EQ(blocks.size(), 5u);  // three sample runs, searches 2 and 3
    EXPECT_NEAR(blocks[3][0], rows[0][0], 1e-6);
    EXPECT_NEAR(blocks[4][0], rows[2][0], 1e-6);
    EXPECT_EQ(run.screen.find("from local search 1 of 3"), std::string::npos) << run.screen;
  }
}

// A decay y = a exp(-b x) with a "switch" group, so that a search passes through lambda
// changes and the switch to three-point derivatives that must not reach the next one.
PestCase DecayCase() {
  PestCase c;
  c.groups = {{"pg", "switch", "parabolic"}};
  c.parameters = {{"a", "none", 1.0, 0.1, 10.0}, {"b", "none", 1.0, 0.01, 3.0}};
  const double noise[6] = {0.01, -0.02, 0.015, -0.01, 0.005, -0.004};
  for (int x = 0; x <= 5; ++x) {
    c.observations.push_back({"$1 * exp(-$2 * " + std::to_string(x) + ")",
                              3.0 * std::exp(-0.4 * x) + noise[x]});
  }
  c.noptmax = 8;
  return c;
}

TEST(Multistart, TheSecondSearchMatchesTheSameSearchAlone) {
  std::string method_rec, method_par, method_results;
  {
    TempDir dir;
    DecayCase().Write();
    const MethodRun run = RunMethod("21 2");
    ASSERT_EQ(run.status, 0) << run.screen;
    method_rec = ReadFile("case.rec");
    method_par = ReadFile("case.par");
    method_results = run.rec.substr(run.rec.find(" Results of CT inversion run number 2"));
  }
  TempDir dir;
  DecayCase().Write();
  std::vector<std::string> words = {"tarne", "-ms", "case"};
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  tarne::mpi_setup partition;
  GlobalProblem problem;
  ::testing::internal::CaptureStdout();
  ASSERT_TRUE(LoadGlobalProblem(&partition, 3, argv.data(), "slm_kor_ms1", problem).go_on);
  // The second sample, drawn as the method draws it.
  SeedChain chain(21);
  chain.Next();
  std::int32_t seed = chain.Next();
  SampleParameters(problem.record, seed);
  const short status =
      RunLocalSearch(problem, CurrentParameterValues(problem.record)).status;
  ::testing::internal::GetCapturedStdout();
  problem.files.Close();
  ASSERT_EQ(status, 0);
  const std::string alone = ReadFile("case.rec");
  ASSERT_NE(alone.find("OPTIMIZATION ITERATION NO.\t\t\t\t: 3"), std::string::npos);
  ASSERT_GT(method_rec.size(), alone.size());
  EXPECT_EQ(method_rec.substr(method_rec.size() - alone.size()), alone);
  EXPECT_EQ(method_par, ReadFile("case.par"));
  char optimised[64];
  std::snprintf(optimised, sizeof optimised, "\t%lf\n\tb\t",
                NaturalValue(problem.record.parameters[1]));
  EXPECT_NE(method_results.find(optimised), std::string::npos) << method_results;
}

// The bundled example: from the control file's start one search ends in a local minimum
// (phi about 61), while the best of the multistart searches reaches the global one (phi about
// 0.06). The best reported phi is checked against the model evaluated at the reported point.
TEST(MultistartTool, SineExampleReachesTheGlobalMinimumThatOneSearchMisses) {
  const char* files[] = {"sine.pst", "sine.prj", "sine.tpl", "sine.ins", "model.sh", "ms.in"};
  double single_phi = 0.0;
  {
    TempDir dir;
    for (const char* file : files) CopyIntoCwd(SourcePath("examples/global/") + file);
    const testing_support::RunResult r = testing_support::RunTarne({"-slm", "sine"});
    ASSERT_EQ(r.exit_code, 0) << r.out;
    const std::string rec = ReadFile("sine.rec");
    const std::string key = "Sum of squared weighted residuals (ie phi)\t\t: ";
    single_phi = std::strtod(rec.c_str() + rec.rfind(key) + key.size(), nullptr);
  }
  EXPECT_GT(single_phi, 50.0);
  TempDir dir;
  for (const char* file : files) CopyIntoCwd(SourcePath("examples/global/") + file);
  const testing_support::RunResult r = testing_support::RunTarne({"-ms", "sine"});
  ASSERT_EQ(r.exit_code, 0) << r.out;
  const std::string rec = ReadFile("slm_kor_ms1.rec");
  double best = INFINITY, amplitude = 0, frequency = 0, offset = 0;
  for (size_t at = rec.find(" Results of CT inversion run"); at != std::string::npos;
       at = rec.find(" Results of CT inversion run", at + 1)) {
    double a = 0, f = 0, o = 0, start = 0, phi = 0;
    const char* text = rec.c_str();
    std::sscanf(text + rec.find("\tamplitude\t", at), "\tamplitude\t%*f\t%lf", &a);
    std::sscanf(text + rec.find("\tfrequency\t", at), "\tfrequency\t%*f\t%lf", &f);
    std::sscanf(text + rec.find("\toffset\t", at), "\toffset\t%*f\t%lf", &o);
    std::sscanf(text + rec.find("\ttotal\t", at), "\ttotal\t%lf\t%lf", &start, &phi);
    if (phi < best) best = phi, amplitude = a, frequency = f, offset = o;
  }
  EXPECT_LT(best, 0.1);
  EXPECT_NEAR(frequency, 3.0, 0.01);
  // phi at the reported point, from the observations of sine.pst.
  double phi = 0.0;
  const std::string pst = ReadFile("sine.pst");
  for (int i = 1; i <= 30; ++i) {
    char name[8];
    std::snprintf(name, sizeof name, "\ny%02d ", i);
    const double observed = std::strtod(pst.c_str() + pst.find(name) + 5, nullptr);
    const double simulated = amplitude * std::sin(frequency * 0.2 * i) + offset;
    phi += (observed - simulated) * (observed - simulated);
  }
  EXPECT_NEAR(phi, best, 1e-3);
  EXPECT_NE(r.out.find("Lowest objective function of all local searches: "), std::string::npos);
}

}  // namespace
