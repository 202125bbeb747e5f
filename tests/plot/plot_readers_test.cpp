// Unit tests of the readers and helpers of tarne-plot: the record file with several engine
// runs, a restart and a cut-off end; the line instructions that place observations; telling
// Monte Carlo from SCE input files; the logarithmic-axis rule and exact number writing.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <string>

#include "picture.h"
#include "plot_text.h"
#include "record_file.h"
#include "run_files.h"
#include "support/test_support.h"

namespace {

using namespace tarne_plot;
using testing_support::TempDir;
using testing_support::WriteFile;

// A sample run (no iterations), then a search of two iterations that was restarted in its
// second one and finished; the last lambda line of the second iteration has no phi line.
const char* const kRecord =
    "INITIAL CONDITIONS:\n"
    "   Sum of squared weighted residuals = 1.500000E+02\n\n"
    "                            OPTIMISATION RESULTS\n\n"
    "Covariance matrix and parameter confidence intervals cannot be determined:\n"
    "No optimisation iterations carried out so Jacobian never calculated..\n\n"
    "Observations ----->\n\n"
    "Observation            Measured       Calculated     Residual       Weight     Group\n"
    "                       value          value\n"
    "y01\t\t1.5\t1.0\t0.5\t1.000000\tsignal\n\n\n"
    "Sum of squared weighted residuals (ie phi)\t\t: 1.500000E+02\n"
    "INITIAL CONDITIONS:\n"
    "   Sum of squared weighted residuals = 8.000000E+00\n"
    "OPTIMIZATION ITERATION NO.\t\t\t\t: 1\n"
    "Model Calls so far\t\t\t\t\t: 1\n"
    "Starting objective function value for this iteration\t: 8.000000E+00\n"
    "\tLambda = 5.000000E+00 ----->\n"
    "\trunning model ...\n"
    "\tPhi =\t4.000000E+00\t\t(5.000000E-01 of starting phi)\n\n"
    "\tLambda = 2.500000E+00 ----->\n"
    "\trunning model ...\n"
    "\tPhi =\t3.000000E+00\t\t(3.750000E-01 of starting phi)\n\n"
    "\n\n                             .....RESTART.....\n\n"
    "OPTIMIZATION ITERATION NO.\t\t\t\t: 2\n"
    "Model Calls so far\t\t\t\t\t: 7\n"
    "Starting objective function value for this iteration\t: 3.000000E+00\n"
    "\tLambda = 1.250000E+00 ----->\n"
    "\trunning model ...\n"
    "Optimization complete: relative parameter change less than 0.001000\n"
    "Total Model Calls:\t9\n"
    "                            OPTIMISATION RESULTS\n\n"
    "Observations ----->\n\n"
    "Observation            Measured       Calculated     Residual       Weight     Group\n"
    "                       value          value\n"
    "y01\t\t1.5\t1.25\t0.25\t2.000000\tsignal\n"
    "y02\t\t-2.0\t-1.0\t-1.0\t0.000000\tother\n\n"
    "Sum of squared weighted residuals (ie phi)\t\t: 2.500000E-01\n";

TEST(RecordFileTest, ReadsEveryEngineRunWithItsIterationsTrialsAndResults) {
  TempDir temp;
  WriteFile("case.rec", kRecord);
  RecordFile record;
  std::string error;
  ASSERT_TRUE(ReadRecordFile("case.rec", &record, &error)) << error;
  ASSERT_EQ(record.runs.size(), 2u);

  const EngineRun& sample = record.runs[0];
  EXPECT_TRUE(sample.no_iterations);
  EXPECT_TRUE(sample.iterations.empty());
  EXPECT_DOUBLE_EQ(sample.initial_phi, 150.0);
  EXPECT_DOUBLE_EQ(sample.final_phi, 150.0);
  ASSERT_EQ(sample.observations.size(), 1u);

  const EngineRun& search = record.runs[1];
  EXPECT_FALSE(search.no_iterations);
  EXPECT_EQ(search.first_line, 17);
  EXPECT_DOUBLE_EQ(search.initial_phi, 8.0);
  ASSERT_EQ(search.iterations.size(), 2u) << "the restart continues the search";
  EXPECT_EQ(search.iterations[1].number, 2);
  EXPECT_EQ(search.iterations[1].model_calls, 7);
  EXPECT_DOUBLE_EQ(search.iterations[1].starting_phi, 3.0);
  ASSERT_EQ(search.iterations[0].trials.size(), 2u);
  EXPECT_DOUBLE_EQ(search.iterations[0].trials[1].lambda, 2.5);
  EXPECT_DOUBLE_EQ(search.iterations[0].trials[1].phi, 3.0);
  EXPECT_TRUE(search.iterations[1].trials.empty()) << "a trial without its phi line";
  EXPECT_EQ(search.stop_message,
            "Optimization complete: relative parameter change less than 0.001000");
  EXPECT_TRUE(search.has_results);
  EXPECT_DOUBLE_EQ(search.final_phi, 0.25);
  ASSERT_EQ(search.observations.size(), 2u);
  EXPECT_EQ(search.observations[1].name, "y02");
  EXPECT_DOUBLE_EQ(search.observations[1].measured, -2.0);
  EXPECT_DOUBLE_EQ(search.observations[1].calculated, -1.0);
  EXPECT_DOUBLE_EQ(search.observations[1].residual, -1.0);
  EXPECT_DOUBLE_EQ(search.observations[1].weight, 0.0);
  EXPECT_EQ(search.observations[1].group, "other");
}

TEST(RecordFileTest, ReportsTheLineOfANumberThatDoesNotRead) {
  const struct {
    const char* text;
    const char* message;
  } cases[] = {
      {"INITIAL CONDITIONS:\n   Sum of squared weighted residuals = x\n",
       "cannot read case.rec (line 2): the number cannot be read"},
      {"OPTIMIZATION ITERATION NO.\t: 1\nStarting objective function value for this "
       "iteration\t: 1.0E+0z\n",
       "cannot read case.rec (line 2): the number cannot be read"},
      {"OPTIMIZATION RESULTS\nObservations ----->\n\nObservation   Measured\n  value\n"
       "y01\t\t1.5\tabc\t0.5\t1.0\tsignal\n",
       "cannot read case.rec: no optimisation record in it"},
      {"INITIAL CONDITIONS:\n   OPTIMISATION RESULTS\nObservations ----->\n\n"
       "Observation   Measured\n  value\ny01\t\t1.5\tabc\t0.5\t1.0\tsignal\n",
       "cannot read case.rec (line 7): expected an observation row"},
      {"\n\n", "cannot read case.rec: no optimisation record in it"},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.text);
    TempDir temp;
    WriteFile("case.rec", test.text);
    RecordFile record;
    std::string error;
    EXPECT_FALSE(ReadRecordFile("case.rec", &record, &error));
    EXPECT_EQ(error.rfind(test.message, 0), 0u) << error;
  }
}

TEST(InstructionLinesTest, PlacesObservationsByLineAdvancesOnly) {
  const struct {
    const char* instructions;
    std::map<std::string, std::size_t> lines;
    const char* error;  // beginning of the message, "" when the call succeeds
  } cases[] = {
      {"pif #\nl1 !a!\nl2 w !b!\n", {{"a", 0}, {"b", 2}}, ""},
      {"pif $\nl1 [a]1:10 (b)12:20\nl3 !dum! !c!\n", {{"a", 0}, {"b", 0}, {"c", 3}}, ""},
      {"pif #\nl1 w !q001!\nl1 w !q002!\n", {{"q001", 0}, {"q002", 1}}, ""},
      {"pif #\nl1 #flow# !a!\n", {}, "cannot follow i.ins (line 2): a marker"},
      {"pif #\nl1 t !a!\n", {}, "cannot follow i.ins (line 2): the instruction \"t\""},
      {"pif #\n!a!\n", {}, "cannot follow i.ins (line 2): the instruction \"!a!\""},
      {"l1 !a!\n", {}, "cannot read i.ins (line 1): expected \"pif"},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.instructions);
    TempDir temp;
    WriteFile("i.ins", test.instructions);
    std::map<std::string, std::size_t> lines;
    std::string error;
    const bool ok = MapObservationLines("i.ins", &lines, &error);
    EXPECT_EQ(ok, test.error[0] == '\0') << error;
    if (ok) EXPECT_EQ(lines, test.lines);
    else EXPECT_EQ(error.rfind(test.error, 0), 0u) << error;
  }
}

TEST(CalibrationInputTest, TellsMonteCarloFromSceInputByTheFourthLine) {
  const struct {
    const char* text;
    bool ok;
    CalibrationInput::Kind kind;
    std::size_t n;
  } cases[] = {
      {"p.prj\nn.lst\no.obs\n2\n-2 2\n-1 3\n", true, CalibrationInput::Kind::kMonteCarlo, 2},
      {"p.prj # project\nn.lst\no.obs\n3 # parameters\n0 1\n0 1\n0 1\n", true,
       CalibrationInput::Kind::kMonteCarlo, 3},
      {"p.prj\nn.lst\no.obs\n3000 5 0.1 2 1969 0 6\n0 0 0 0 0 0\n", true,
       CalibrationInput::Kind::kSce, 6},
      {"p.prj\nn.lst\no.obs\nabc\n", false, CalibrationInput::Kind::kMonteCarlo, 0},
      {"p.prj\nn.lst\no.obs\n3\n0 1\n0 1\n", false, CalibrationInput::Kind::kMonteCarlo, 0},
      {"p.prj\nn.lst\n", false, CalibrationInput::Kind::kMonteCarlo, 0},
      {"pcf\n* control data\nrestart estimation\n6 120 2 0 1\n", false,
       CalibrationInput::Kind::kMonteCarlo, 0},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.text);
    TempDir temp;
    WriteFile("run.in", test.text);
    CalibrationInput input;
    std::string error;
    ASSERT_EQ(ReadCalibrationInput("run.in", &input, &error), test.ok) << error;
    if (!test.ok) continue;
    EXPECT_EQ(input.kind, test.kind);
    EXPECT_EQ(input.parameter_count, test.n);
    EXPECT_EQ(input.project, "p.prj");
    EXPECT_EQ(input.list, "n.lst");
  }
}

TEST(PlotHelpersTest, LogarithmicAxesOnlyForPositiveValuesSpanningOneAndAHalfDecades) {
  const struct {
    std::vector<double> values;
    bool log;
  } cases[] = {
      {{1.0, 29.0}, false},  {{1.0, 30.0}, true},   {{0.0085, 1.2}, true},
      {{0.0, 1.0, 1e6}, false}, {{-1.0, 100.0}, false}, {{5.0}, false},
      {{}, false},           {{1.0, HUGE_VAL, 2.0}, false}, {{1e-3, NAN, 1.0}, true},
  };
  for (const auto& test : cases) EXPECT_EQ(WantsLogScale(test.values), test.log);
}

TEST(PlotHelpersTest, NumbersAreWrittenShortAndReadBackExactly) {
  const struct {
    double value;
    const char* text;
  } cases[] = {
      {0.678152, "0.678152"}, {86.56006, "86.56006"}, {0.1, "0.1"},
      {1.0 / 3.0, "0.3333333333333333"}, {1e-300, "1e-300"}, {-2.5e10, "-2.5e+10"},
  };
  for (const auto& test : cases) {
    EXPECT_EQ(ExactNumber(test.value), test.text);
    EXPECT_EQ(std::strtod(ExactNumber(test.value).c_str(), nullptr), test.value);
  }
  EXPECT_EQ(SafeFileWord("soil capacity/[mm]"), "soil_capacity__mm_");
  EXPECT_EQ(ShellQuote("it's"), "'it'\\''s'");
  EXPECT_EQ(GnuplotQuote("it's"), "'it''s'");
}

TEST(RunFilesTest, MonteCarloLogsOfAllPartitionsAreReadInPartitionOrder) {
  TempDir temp;
  WriteFile("log_file_p1.log", "Cost  \ta\tb\t\n3.0\t1.0e+00\t2.0e+00\t\n");
  WriteFile("log_file_p0.log", "Cost  \ta\tb\t\n-1.5\t3.0e+00\t4.0e+00\t\n\n2.0\t5.0\t6.0\t\n");
  WriteFile("log_file_px.log", "not a partition log\n");
  const auto paths = FindMonteCarloLogs(".");
  ASSERT_EQ(paths.size(), 2u);
  SampleLog log;
  std::string error;
  ASSERT_TRUE(ReadMonteCarloLogs(paths, &log, &error)) << error;
  EXPECT_EQ(log.names, (std::vector<std::string>{"a", "b"}));
  ASSERT_EQ(log.samples.size(), 3u);
  EXPECT_EQ(log.samples[0].source, 0);
  EXPECT_DOUBLE_EQ(log.samples[0].objective, -1.5);
  EXPECT_EQ(log.samples[2].source, 1);
  EXPECT_DOUBLE_EQ(log.samples[2].values[1], 2.0);

  WriteFile("log_file_p1.log", "Cost  \ta\tc\t\n3.0\t1.0e+00\t2.0e+00\t\n");
  EXPECT_FALSE(ReadMonteCarloLogs(paths, &log, &error));
  EXPECT_NE(error.find("log_file_p1.log (line 1): its parameter columns differ"),
            std::string::npos) << error;
}

}  // namespace
