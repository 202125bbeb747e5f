// End-to-end runs of the Levenberg-Marquardt tool in this process, on small cases whose
// model is an awk expression of the parameter values: the iteration limits, the choices
// after a lambda search, the stops, the files the search writes, and fresh states for
// successive searches.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "lm/lm_engine.h"
#include "lm/lm_test_util.h"
#include "lm/pest_case.h"
#include "lm/slm_driver.h"
#include "pest/control_file.h"
#include "pest/instruction_files.h"
#include "pest/template_files.h"
#include "support/test_support.h"

namespace {

using lm_test::CaseGroup;
using lm_test::CaseObservation;
using lm_test::CaseParameter;
using lm_test::LastModelCalls;
using lm_test::Occurrences;
using lm_test::ParFileValues;
using lm_test::PestCase;
using testing_support::FileExists;
using testing_support::ReadFile;
using testing_support::SplitLines;
using testing_support::TempDir;

struct ToolRun {
  short status = -1;
  std::string screen;
  std::string rec;
  int runs = 0;  // model runs made (lines of runs.txt)
};

ToolRun RunSlm(const std::vector<std::string>& extra = {}) {
  std::vector<std::string> words = {"tarne", "-slm", "case"};
  words.insert(words.end(), extra.begin(), extra.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  tarne::mpi_setup partition;
  ToolRun run;
  ::testing::internal::CaptureStdout();
  run.status = slm_kor(&partition, static_cast<int>(words.size()), argv.data());
  run.screen = ::testing::internal::GetCapturedStdout();
  run.rec = ReadFile("case.rec");
  run.runs = static_cast<int>(SplitLines(ReadFile("runs.txt")).size());
  return run;
}

// An exponential decay y = a exp(-b x) at x = 0..5 with observations from a = 3, b = 0.4 and
// a little noise, so that phi never reaches 0.
PestCase DecayCase() {
  PestCase c;
  c.parameters = {{"a", "none", 1.0, 0.1, 100.0}, {"b", "none", 1.0, 0.01, 10.0}};
  const double noise[6] = {0.01, -0.02, 0.015, -0.01, 0.005, -0.004};
  for (int x = 0; x <= 5; ++x) {
    c.observations.push_back({"$1 * exp(-$2 * " + std::to_string(x) + ")",
                              3.0 * std::exp(-0.4 * x) + noise[x]});
  }
  return c;
}

TEST(LevenbergMarquardt, StartUpRefusalsReturnTheirStatus) {
  struct Case {
    void (*edit)(PestCase&);
    short status;
  };
  const Case cases[] = {
      {[](PestCase& c) { c.mode = "prediction"; }, 1},
      {[](PestCase& c) { c.parameters[0].value = 500.0; }, 1},  // out of bounds
      {[](PestCase& c) {
         for (CaseParameter& p : c.parameters) p.transform = "fixed";
       }, 1},
  };
  for (const Case& c : cases) {
    TempDir dir;
    PestCase pest = DecayCase();
    c.edit(pest);
    pest.Write();
    const ToolRun run = RunSlm();
    EXPECT_EQ(run.status, c.status) << run.screen;
    EXPECT_EQ(run.runs, 0);
    EXPECT_FALSE(FileExists("case.rec"));
  }
}

TEST(LevenbergMarquardt, NoptmaxZeroRunsOnceAndReportsWithoutAJacobian) {
  TempDir dir;
  PestCase c = DecayCase();
  c.noptmax = 0;
  c.Write();
  const ToolRun run = RunSlm();
  EXPECT_EQ(run.status, 0) << run.screen;
  EXPECT_EQ(run.runs, 1);
  EXPECT_NE(run.rec.find("INITIAL CONDITIONS:"), std::string::npos);
  EXPECT_EQ(run.rec.find("OPTIMIZATION ITERATION"), std::string::npos);
  EXPECT_NE(run.rec.find("No optimisation iterations carried out so Jacobian never calculated"),
            std::string::npos);
  EXPECT_EQ(run.screen.find("Running model one last time"), std::string::npos);
  EXPECT_FALSE(FileExists("jac.txt"));
}

TEST(LevenbergMarquardt, NoptmaxMinusOneMakesOneJacobianAndNoLambdaSearch) {
  TempDir dir;
  PestCase c = DecayCase();
  c.noptmax = -1;
  c.Write();
  const ToolRun run = RunSlm();
  EXPECT_EQ(run.status, 0) << run.screen;
  EXPECT_EQ(run.runs, 3);  // the initial run and one forward difference per parameter
  EXPECT_EQ(SplitLines(ReadFile("jac.txt")).size(), 6u);
  EXPECT_EQ(run.rec.find("Lambda ="), std::string::npos);
  EXPECT_EQ(run.rec.find("final time"), std::string::npos);
  const std::string sen = ReadFile("case.sen");
  EXPECT_NE(sen.find(" OPTIMISATION ITERATION NO.\t1 ----->"), std::string::npos);
  EXPECT_NE(sen.find("COMPLETION OF OPTIMISATION PROCESS"), std::string::npos);
  EXPECT_NE(run.rec.find("Parameter covariance matrix ----->"), std::string::npos);
}

TEST(LevenbergMarquardt, IterationLimitEndsTheSearchAndTheFinalRunIsNotCounted) {
  TempDir dir;
  PestCase c = DecayCase();
  c.noptmax = 3;
  c.nphistp = c.nphinored = c.nrelpar = 100;
  c.Write();
  const ToolRun run = RunSlm();
  EXPECT_EQ(run.status, 0) << run.screen;
  EXPECT_NE(run.rec.find("OPTIMIZATION ITERATION NO.\t\t\t\t: 3\n"), std::string::npos);
  EXPECT_EQ(run.rec.find("OPTIMIZATION ITERATION NO.\t\t\t\t: 4\n"), std::string::npos);
  EXPECT_NE(run.rec.find("Optimization complete: Maximum number of optimization iterations "
                         "completed.\nTotal Model Calls:\t"),
            std::string::npos);
  EXPECT_EQ(LastModelCalls(run.rec), run.runs - 1);
  EXPECT_NE(run.screen.find("Running model one last time with best parameters...\n"),
            std::string::npos);
  EXPECT_EQ(Occurrences(run.rec, "The model has been run one final time"), 1);
}

TEST(LevenbergMarquardt, TerminationTestStopAlsoLeavesTheFinalRunOutOfTheCount) {
  TempDir dir;
  PestCase c = DecayCase();
  c.Write();
  const ToolRun run = RunSlm();
  EXPECT_EQ(run.status, 0) << run.screen;
  EXPECT_NE(run.rec.find("Optimization complete: "), std::string::npos);
  EXPECT_EQ(LastModelCalls(run.rec), run.runs - 1);
  const std::vector<double> best = ParFileValues("case.par");
  ASSERT_EQ(best.size(), 2u);
  EXPECT_NEAR(best[0], 3.0, 0.05);
  EXPECT_NEAR(best[1], 0.4, 0.01);
  // The final run used the best parameters: the last values written are those of the file.
  const std::vector<std::string> runs = SplitLines(ReadFile("runs.txt"));
  EXPECT_NEAR(std::strtod(runs.back().c_str(), nullptr), best[0], 1e-6);
}

TEST(LevenbergMarquardt, InitialPhiOfZeroStopsBeforeTheFirstIteration) {
  TempDir dir;
  PestCase c;
  c.parameters = {{"p", "none", 2.0}};
  c.observations = {{"2 * $1", 4.0}};
  c.Write();
  const ToolRun run = RunSlm();
  EXPECT_EQ(run.status, 0) << run.screen;
  const std::string message = "Optimization complete: the objective function equals zero\n"
                              "Total Model Calls:\t1\n";
  EXPECT_EQ(Occurrences(run.screen, message), 1);
  EXPECT_EQ(Occurrences(run.rec, message), 1);
  EXPECT_EQ(run.rec.find("OPTIMIZATION ITERATION"), std::string::npos);
  EXPECT_EQ(run.runs, 2);  // the initial run and the final one
}

TEST(LevenbergMarquardt, LinearModelReachesTheLeastSquaresPointInOneTrial) {
  TempDir dir;
  PestCase c;
  c.parameters = {{"p", "none", 1.0}};
  c.observations = {{"2 * $1", 10.0}};
  c.Write();
  const ToolRun run = RunSlm();
  EXPECT_EQ(run.status, 0) << run.screen;
  EXPECT_EQ(Occurrences(run.rec, "\tLambda = "), 1);
  EXPECT_NE(run.rec.find("the objective function equals zero"), std::string::npos);
  EXPECT_EQ(ParFileValues("case.par"), std::vector<double>{5.0});
}

// y1 = (p1 - 1)^2 observed as -1 is fitted best at p1 = 1, where its forward difference sends
// the Gauss-Newton step far away; y2 = p2 observed as 5 is linear. Every trial of the first
// iteration is worse than the start.
PestCase MisleadingCase(const char* forcen) {
  PestCase c;
  c.groups = {CaseGroup{"pg", forcen, "outside_pts"}};
  c.parameters = {{"p1", "none", 1.0}, {"p2", "none", 0.0}};
  c.observations = {{"($1 - 1) * ($1 - 1)", -1.0}, {"$2", 5.0}};
  c.noptmax = 2;
  return c;
}

TEST(LevenbergMarquardt, WorseTrialsWithASwitchGroupKeepThePointAndSwitchToThreePoints) {
  TempDir dir;
  MisleadingCase("switch").Write();
  const ToolRun run = RunSlm();
  EXPECT_EQ(run.status, 0) << run.screen;
  const size_t second = run.rec.find("OPTIMIZATION ITERATION NO.\t\t\t\t: 2");
  ASSERT_NE(second, std::string::npos) << run.rec;
  // The parameters stayed at the start, the lambda went back to the iteration's first one,
  // and iteration 2 differenced both parameters at three points.
  const std::string first_iteration = run.rec.substr(0, second);
  EXPECT_NE(first_iteration.find("      p1               1.000000                p1"),
            std::string::npos)
      << first_iteration;
  EXPECT_NE(run.screen.find("Calculating Jacobian matrix: running model 4 times"),
            std::string::npos);
  const size_t first_lambda = run.rec.find("\tLambda = ");
  const size_t second_lambda = run.rec.find("\tLambda = ", second);
  ASSERT_NE(second_lambda, std::string::npos);
  EXPECT_EQ(run.rec.substr(first_lambda, 30), run.rec.substr(second_lambda, 30));
}

TEST(LevenbergMarquardt, WorseTrialsWithoutASwitchGroupAcceptTheChosenTrial) {
  TempDir dir;
  MisleadingCase("always_2").Write();
  const ToolRun run = RunSlm();
  EXPECT_EQ(run.status, 0) << run.screen;
  const size_t table = run.rec.find("Current parameter values                 Previous");
  ASSERT_NE(table, std::string::npos);
  const std::string after = run.rec.substr(table, 200);
  EXPECT_EQ(after.find("      p1               1.000000 "), std::string::npos) << after;
}

TEST(LevenbergMarquardt, ParametersWithoutEffectEndTheSearchAtTheirLimits) {
  TempDir dir;
  PestCase c;
  c.parameters = {{"p", "none", 1.0}};
  c.observations = {{"3 + 0 * $1", 4.0}};
  c.Write();
  const ToolRun run = RunSlm();
  EXPECT_EQ(run.status, 0) << run.screen;
  EXPECT_EQ(run.rec.find("\tLambda = "), std::string::npos);
  EXPECT_NE(run.rec.find("   Parameter \"p\" has no effect on observations.\n"),
            std::string::npos);
  const std::string message = "Optimisation complete: all parameters at their limits.\n"
                              "Total Model Calls:\t2\n";
  EXPECT_NE(run.screen.find(message), std::string::npos);
  EXPECT_NE(run.rec.find(message + "\nThe model has been run one final time"),
            std::string::npos);
}

TEST(LevenbergMarquardt, LogParameterIsReportedInNaturalUnitsAndTiedParametersFollow) {
  TempDir dir;
  PestCase c;
  c.parameters = {{"k", "log", std::pow(10.0, 0.5), 0.01, 100.0},
                  {"twin", "tied", 2.0 * std::pow(10.0, 0.5), -1e6, 1e6, "pg", "k"},
                  {"f", "fixed", 7.0}};
  c.observations = {{"$1 + $2 + $3", 20.0}, {"$1 * $3", 21.0}};
  c.noptmax = 1;
  c.Write();
  const ToolRun run = RunSlm();
  EXPECT_EQ(run.status, 0) << run.screen;
  EXPECT_NE(run.rec.find("      k               3.162278\n"), std::string::npos);
  // Every run's tied value is twice the log parameter's natural value.
  for (const std::string& line : SplitLines(ReadFile("runs.txt"))) {
    double k = 0, twin = 0, f = 0;
    ASSERT_EQ(std::sscanf(line.c_str(), "%lf %lf %lf", &k, &twin, &f), 3) << line;
    EXPECT_NEAR(twin, 2.0 * k, 1e-6 * k) << line;
    EXPECT_EQ(f, 7.0);
  }
}

TEST(LevenbergMarquardt, PriorInformationEntersTheJacobianAndPhiByGroup) {
  TempDir dir;
  PestCase c = DecayCase();
  c.observation_groups = {"obs", "regul"};
  c.priors = {"pi1 1.0 * a = 2.5 0.5 regul"};
  c.noptmax = -1;
  c.Write();
  const ToolRun run = RunSlm();
  EXPECT_EQ(run.status, 0) << run.screen;
  const std::vector<std::string> jac = SplitLines(ReadFile("jac.txt"));
  ASSERT_EQ(jac.size(), 7u);
  EXPECT_EQ(jac[6], "1.000000\t0.000000\t");
  // Initial phi of the prior group: ((2.5 - 1.0) x 0.5)^2.
  EXPECT_NE(run.rec.find("   Contribution to phi from observation group 'regul' = 5.625000E-01"),
            std::string::npos)
      << run.rec;
}

// Five parameters, each in two of eight observations, with a little curvature so that the
// secant updates matter; the starting point is well away from the fit.
PestCase FiveParameterCase() {
  PestCase c;
  for (int k = 1; k <= 5; ++k) c.parameters.push_back({"p" + std::to_string(k), "none", 1.0});
  const char* expressions[8] = {"$1 + 2 * $2", "$2 - $3 + 0.1 * $2 * $2", "3 * $3 + $4",
                                "$4 * $5", "$5 - $1", "$1 * $3", "2 * $4 + $2", "$5 + $3 * $3"};
  const double truth[6] = {0, 2.0, -1.0, 0.5, 1.5, 3.0};
  auto value = [&](int i) {
    const double* t = truth;
    const double values[8] = {t[1] + 2 * t[2], t[2] - t[3] + 0.1 * t[2] * t[2], 3 * t[3] + t[4],
                              t[4] * t[5], t[5] - t[1], t[1] * t[3], 2 * t[4] + t[2],
                              t[5] + t[3] * t[3]};
    return values[i] + 0.01 * ((i * 3) % 5 - 2);
  };
  for (int i = 0; i < 8; ++i) c.observations.push_back({expressions[i], value(i)});
  c.slmmode = 1;
  c.slmfullupd = 0;
  c.noptmax = 4;
  c.nphistp = c.nphinored = c.nrelpar = 100;
  return c;
}

// The parameters whose values differ between the two Jacobian runs of an iteration that
// starts after `calls` model calls: the two columns refreshed.
std::vector<int> RefreshedColumns(const std::vector<std::string>& runs, long calls) {
  std::vector<double> a(5), b(5);
  std::sscanf(runs[calls].c_str(), "%lf %lf %lf %lf %lf", &a[0], &a[1], &a[2], &a[3], &a[4]);
  std::sscanf(runs[calls + 1].c_str(), "%lf %lf %lf %lf %lf", &b[0], &b[1], &b[2], &b[3],
              &b[4]);
  std::vector<int> changed;
  for (int k = 0; k < 5; ++k) {
    if (a[k] != b[k]) changed.push_back(k + 1);
  }
  return changed;
}

TEST(LevenbergMarquardt, SecantModeRefreshesColumnsCyclicallyAndUpdatesTheOthers) {
  TempDir dir;
  PestCase c = FiveParameterCase();
  c.slmncol = 2;
  c.Write();
  const ToolRun run = RunSlm();
  EXPECT_EQ(run.status, 0) << run.screen;
  EXPECT_EQ(Occurrences(run.screen, "Calculating Jacobian matrix: running model 5 times"), 1);
  EXPECT_EQ(Occurrences(run.screen, "Calculating Jacobian matrix: running model 2 times"), 3);
  const std::vector<std::string> runs = SplitLines(ReadFile("runs.txt"));
  const std::string key = "Model Calls so far\t\t\t\t\t: ";
  std::vector<std::vector<int>> refreshed;
  for (size_t at = run.rec.find(key); at != std::string::npos; at = run.rec.find(key, at + 1)) {
    const long calls = std::strtol(run.rec.c_str() + at + key.size(), nullptr, 10);
    if (calls > 1) refreshed.push_back(RefreshedColumns(runs, calls));
  }
  const std::vector<std::vector<int>> expected = {{1, 2}, {3, 4}, {1, 5}};
  EXPECT_EQ(refreshed, expected);
  EXPECT_EQ(run.rec.find("not updated"), std::string::npos);
}

TEST(LevenbergMarquardt, SecantModeWithoutColumnsRunsOnlyTheTrialsAfterTheFirstIteration) {
  TempDir dir;
  PestCase c = FiveParameterCase();
  c.slmncol = 0;
  c.Write();
  const ToolRun run = RunSlm();
  EXPECT_EQ(run.status, 0) << run.screen;
  EXPECT_EQ(Occurrences(run.screen, "Calculating Jacobian matrix: running model 0 times"), 3);
  // Initial run, five Jacobian runs, the trials, and the final run: nothing else.
  EXPECT_EQ(run.runs, 1 + 5 + Occurrences(run.rec, "\tLambda = ") + 1);
}

// Runs a whole search in this process on the case's record and returns its record file.
std::string SearchFrom(ProblemRecord& record, FileHandleTable& templates,
                       FileHandleTable& instructions, const OutputNames& names,
                       const std::vector<double>& start, const char* rec_name) {
  CaseFileHolder files;
  OutputNames own = names;
  std::snprintf(own.rec, kTextField, "%s", rec_name);
  EXPECT_TRUE(files.Open(own, false));
  tarne::mpi_setup partition;
  char option[] = "-slm";
  LmContext context{record, own, files.files(), templates, instructions, &partition, option,
                    false};
  dvector values(record.NPAR);
  for (int k = 1; k <= record.NPAR; ++k) values[k] = start[k - 1];
  LmState state = PrepareLocalSearch(record, values, 0.01);
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(RunLevenbergMarquardt(context, state), 0);
  ::testing::internal::GetCapturedStdout();
  files.Close();
  return ReadFile(rec_name);
}

TEST(LevenbergMarquardt, ASecondSearchInTheSameProcessMatchesTheSameSearchAlone) {
  TempDir dir;
  PestCase c = MisleadingCase("switch");
  c.observations.push_back({"$1 * $2", 3.0});
  c.noptmax = 6;
  c.Write();
  auto load = [](ProblemRecord& record, FileHandleTable& templates,
                 FileHandleTable& instructions, OutputNames& names) {
    ::testing::internal::CaptureStdout();
    ASSERT_EQ(ReadControlFile(record, "case"), 0);
    ASSERT_EQ(OpenTemplateFiles(record, templates), 0);
    ASSERT_EQ(OpenInstructionFiles(record, instructions), 0);
    CountParameterTypes(record);
    SetTiedParameters(record);
    FilesNamesForWrite("case", names);
    ::testing::internal::GetCapturedStdout();
  };
  std::string twice_second, alone;
  std::vector<double> par_twice, par_alone;
  {
    ProblemRecord record;
    FileHandleTable templates, instructions;
    OutputNames names;
    load(record, templates, instructions, names);
    SearchFrom(record, templates, instructions, names, {1.0, 0.0}, "first.rec");
    twice_second = SearchFrom(record, templates, instructions, names, {2.0, 1.0}, "second.rec");
    par_twice = ParFileValues("case.par");
  }
  {
    ProblemRecord record;
    FileHandleTable templates, instructions;
    OutputNames names;
    load(record, templates, instructions, names);
    alone = SearchFrom(record, templates, instructions, names, {2.0, 1.0}, "alone.rec");
    par_alone = ParFileValues("case.par");
  }
  EXPECT_EQ(twice_second, alone);
  EXPECT_EQ(par_twice, par_alone);
  EXPECT_NE(alone.find("OPTIMIZATION ITERATION NO.\t\t\t\t: 2"), std::string::npos);
}

}  // namespace
