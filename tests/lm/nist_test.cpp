// The NIST StRD benchmark tool and "tarne -slm" on NIST problems, end to end: tarne_nist
// makes a problem in a fresh directory, the model library runs the project it wrote, the
// scorer judges estimates and model calls, and the Levenberg-Marquardt tool solves two
// well-behaved problems from both starting points. The data are NIST's (Misra1a, DanWood),
// in the layout of NIST's .dat files with their CRLF line ends.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iomanip>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "support/test_support.h"

namespace {

using testing_support::FileExists;
using testing_support::ReadFile;
using testing_support::RunProgram;
using testing_support::RunResult;
using testing_support::RunTarne;
using testing_support::SplitLines;
using testing_support::TempDir;
using testing_support::WriteFile;

struct NistData {
  const char* name;
  const char* parameter_block;  // the "bN =" lines: start 1, start 2, certified, deviation
  double certified[3];          // b1, b2 (slot 0 not used)
  double certified_rss;
  std::vector<double> y, x;
};

const NistData kMisra1a = {
    "Misra1a",
    "  b1 =   500         250           2.3894212918E+02  2.7070075241E+00\n"
    "  b2 =     0.0001      0.0005      5.5015643181E-04  7.2668688436E-06\n",
    {0.0, 2.3894212918E+02, 5.5015643181E-04},
    1.2455138894E-01,
    {10.07, 14.73, 17.94, 23.93, 29.61, 35.18, 40.02, 44.82, 50.76, 55.05, 61.01, 66.40, 75.47,
     81.78},
    {77.6, 114.9, 141.1, 190.8, 239.9, 289.0, 332.8, 378.4, 434.8, 477.3, 536.8, 593.1, 689.1,
     760.0},
};

const NistData kDanWood = {
    "DanWood",
    "  b1 =   1           0.7           7.6886226176E-01  1.8281973860E-02\n"
    "  b2 =   5           4             3.8604055871E+00  5.1726610913E-02\n",
    {0.0, 7.6886226176E-01, 3.8604055871E+00},
    4.3173084083E-03,
    {2.138, 3.421, 3.597, 4.340, 4.882, 5.660},
    {1.309, 1.471, 1.490, 1.565, 1.611, 1.680},
};

std::string WithCrlf(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

// The problem as a .dat file in NIST's layout (the descriptive header lines left out).
std::string DatFile(const NistData& data) {
  std::ostringstream text;
  text << "NIST/ITL StRD\nDataset Name:  " << data.name << "\n\n"
       << "          Starting values                  Certified Values\n \n"
       << "        Start 1     Start 2           Parameter     Standard Deviation\n"
       << data.parameter_block << "\n"
       << "Residual Sum of Squares:                    " << std::scientific
       << std::setprecision(10) << data.certified_rss << std::defaultfloat << std::setprecision(6)
       << "\n"
       << "Number of Observations:                            " << data.y.size() << "\n\n"
       << "Data:   y               x\n";
  for (size_t i = 0; i < data.y.size(); ++i) text << "  " << data.y[i] << "  " << data.x[i] << "\n";
  return WithCrlf(text.str());
}

std::vector<std::string> TabFields(const std::string& line) {
  std::vector<std::string> fields;
  std::string field;
  std::istringstream in(line);
  while (std::getline(in, field, '\t')) fields.push_back(field);
  return fields;
}

RunResult Nist(const std::vector<std::string>& args) { return RunProgram(TARNE_NIST_BINARY, args); }

// Writes the .dat file into the working directory and makes the problem there.
void MakeProblem(const NistData& data, const std::string& start, bool secant = false) {
  const std::string dat = std::string(data.name) + ".dat";
  WriteFile(dat, DatFile(data));
  std::vector<std::string> args = {"make", dat, start, "."};
  if (secant) args.push_back("--secant");
  const RunResult made = Nist(args);
  ASSERT_EQ(made.exit_code, 0) << made.err;
  EXPECT_EQ(made.out, std::string(data.name) + "\n");
}

// The value file as the engine writes it: "%.7E " per parameter, no line end.
void WriteValueFile(const std::vector<double>& values) {
  std::string text;
  char number[32];
  for (double value : values) {
    std::snprintf(number, sizeof number, "%.7E ", value);
    text += number;
  }
  WriteFile("values.in", text);
}

std::vector<double> ModelOutput() {
  std::vector<double> values;
  for (const std::string& line : SplitLines(ReadFile("model.out"))) {
    values.push_back(std::strtod(line.c_str(), nullptr));
  }
  return values;
}

double Rss(const NistData& data, const std::vector<double>& predicted) {
  double sum = 0.0;
  for (size_t i = 0; i < data.y.size(); ++i) sum += std::pow(data.y[i] - predicted[i], 2);
  return sum;
}

// The score row of the working directory, tab-separated: problem, start, settings, calls,
// rss, certified rss, relative difference, min LRE, status, min LRE of the standard
// deviations, the stop test, the calls to reach the certified RSS, LRE of each parameter.
std::vector<std::string> ScoreRow(const NistData& data, int* exit_code = nullptr) {
  const RunResult scored = Nist({"score", std::string(data.name) + ".dat", ".", "--tsv"});
  if (exit_code != nullptr) *exit_code = scored.exit_code;
  return TabFields(SplitLines(scored.out).at(0));
}

TEST(NistMakeTest, WritesAControlFileTemplateAndProjectThatAgree) {
  TempDir dir;
  MakeProblem(kMisra1a, "2");
  for (const char* file : {"Misra1a.pst", "Misra1a.tpl", "Misra1a.prj", "Misra1a.ins", "data.txt"})
    EXPECT_TRUE(FileExists(file)) << file;

  const std::vector<std::string> control = SplitLines(ReadFile("Misra1a.pst"));
  ASSERT_GT(control.size(), 30u);
  EXPECT_EQ(control[3], "2 14 1 0 1");  // NPAR NOBS NPARGP NPRIOR NOBSGP
  EXPECT_EQ(control[10].substr(0, 2), "0 ") << "plain Levenberg-Marquardt: SLMMODE 0";
  EXPECT_EQ(control[11], "Misra1a.prj");
  const std::string text = ReadFile("Misra1a.pst");
  EXPECT_NE(text.find("\nb1 none relative 250 -1e10 1e10 "), std::string::npos) << "start 2";
  EXPECT_NE(text.find("\nb2 none relative 0.0005 -1e10 1e10 "), std::string::npos);
  EXPECT_NE(text.find("\no014 81.78 1.0 nist\n"), std::string::npos) << "last observation";
  EXPECT_NE(text.find("\nMisra1a.tpl Misra1a.prj\nMisra1a.ins model.out\n"), std::string::npos);

  // The template is the project with $bN$ where the project has [bN].
  std::string tpl = ReadFile("Misra1a.tpl");
  ASSERT_EQ(tpl.substr(0, 6), "ptf $\n");
  tpl.erase(0, 6);
  for (const char* b : {"b1", "b2"}) {
    const std::string field = std::string("$") + b + "$";
    const size_t at = tpl.find(field);
    ASSERT_NE(at, std::string::npos) << field;
    tpl.replace(at, field.size(), std::string("[") + b + "]");
  }
  EXPECT_EQ(tpl, ReadFile("Misra1a.prj"));
  const size_t command = tpl.find("\ncommand ");
  ASSERT_NE(command, std::string::npos);
  EXPECT_EQ(tpl.substr(tpl.find('\n', command + 1) - 15), " model data.txt\n");

  const std::vector<std::string> instructions = SplitLines(ReadFile("Misra1a.ins"));
  ASSERT_EQ(instructions.size(), 15u);
  EXPECT_EQ(instructions[0], "pif #");
  EXPECT_EQ(instructions[14], "l1 !o014!");
}

TEST(NistMakeTest, SecantVariantDiffersInSlmModeOnly) {
  TempDir dir;
  MakeProblem(kDanWood, "1");
  const std::vector<std::string> plain = SplitLines(ReadFile("DanWood.pst"));
  MakeProblem(kDanWood, "1", true);
  const std::vector<std::string> secant = SplitLines(ReadFile("DanWood.pst"));
  ASSERT_EQ(plain.size(), secant.size());
  for (size_t i = 0; i < plain.size(); ++i) {
    if (i == 10) continue;
    EXPECT_EQ(plain[i], secant[i]) << "line " << i + 1;
  }
  EXPECT_EQ(plain[10].substr(0, 2), "0 ");
  EXPECT_EQ(secant[10].substr(0, 2), "1 ");
}

TEST(NistMakeTest, RefusesAFileThatIsNotANistProblemOrDisagreesWithItself) {
  TempDir dir;
  WriteFile("Unknown.dat", DatFile(kMisra1a));
  EXPECT_EQ(Nist({"make", "Unknown.dat", "1", "."}).exit_code, 2);
  // Misra1a.dat announcing 15 observations for 14 data rows.
  std::string dat = DatFile(kMisra1a);
  dat.replace(dat.find("    14\r\n"), 8, "    15\r\n");
  WriteFile("Misra1a.dat", dat);
  const RunResult made = Nist({"make", "Misra1a.dat", "1", "."});
  EXPECT_EQ(made.exit_code, 2);
  EXPECT_FALSE(FileExists("Misra1a.pst"));
  EXPECT_EQ(Nist({"make", "Misra1a.dat", "3", "."}).exit_code, 2) << "start 3";
}

// The model library runs the made project at the certified values (written as the engine
// writes them, with the replacement list it writes): its command is the model, whose
// predictions give the certified RSS.
TEST(NistModelTest, RunThroughTheModelLibraryGivesTheCertifiedRss) {
  TempDir dir;
  MakeProblem(kDanWood, "1");
  WriteFile("tarne.in", "2\n[b1] \"%16.8lf\"\n[b2] \"%16.8lf\"\n");
  WriteValueFile({kDanWood.certified[1], kDanWood.certified[2]});
  const RunResult run = RunTarne({"DanWood.prj"});
  ASSERT_EQ(run.exit_code, 0) << run.out << run.err;
  const std::vector<double> predicted = ModelOutput();
  ASSERT_EQ(predicted.size(), kDanWood.y.size());
  EXPECT_NEAR(Rss(kDanWood, predicted), kDanWood.certified_rss, 1e-9 * kDanWood.certified_rss);
  const std::string full_precision = "2.12345678901234567e+00";
  EXPECT_EQ(SplitLines(ReadFile("model.out"))[0].size(), full_precision.size());
}

TEST(NistModelTest, WritesAHugeFiniteValueWhereTheModelOverflowsAndRefusesShortValueFiles) {
  TempDir dir;
  MakeProblem(kDanWood, "1");
  WriteValueFile({1.0, 1e4});  // x^10000 overflows at every x > 1
  ASSERT_EQ(Nist({"model", "."}).exit_code, 0);
  for (double value : ModelOutput()) EXPECT_EQ(value, 1e150);

  WriteFile("values.in", "1.0000000E+00 ");
  const RunResult short_values = Nist({"model", "data.txt"});
  EXPECT_EQ(short_values.exit_code, 1);
  EXPECT_NE(short_values.err.find("values.in"), std::string::npos);
  EXPECT_FALSE(FileExists("model.out")) << "the predictions of the run before must not stay";
}

TEST(NistScoreTest, JudgesTheEstimatesAndTakesTheLastModelCallCount) {
  TempDir dir;
  MakeProblem(kMisra1a, "1");
  WriteValueFile({kMisra1a.certified[1], kMisra1a.certified[2]});
  // Standard deviations 2.7070075241 and 7.2668688436E-06 as the covariance matrix prints
  // their squares ("%lf", and "%.4E" at or below 1e-4).
  WriteFile("Misra1a.rec",
            "Total Model Calls:\t12\nmore text\n"
            "Optimization complete: relative parameter change less than 0.000001\n"
            "Total Model Calls:\t87\n\n"
            "Parameter covariance matrix ----->\n\t\tb1\tb2\n"
            "b1\t7.327890\t1.0000E-05\nb2\t1.0000E-05\t5.2807E-11\n\n");
  int exit_code = -1;
  std::vector<std::string> row = ScoreRow(kMisra1a, &exit_code);
  ASSERT_EQ(row.size(), 14u);
  EXPECT_EQ(exit_code, 0);
  EXPECT_EQ(row[0], "Misra1a");
  EXPECT_EQ(row[1], "1");
  EXPECT_EQ(row[2], "plain");
  EXPECT_EQ(row[3], "87");
  EXPECT_LT(std::strtod(row[6].c_str(), nullptr), 1e-9);
  EXPECT_EQ(row[8], "solved");
  EXPECT_GT(std::strtod(row[9].c_str(), nullptr), 4.0);  // deviations agree in 4 digits
  EXPECT_EQ(row[10], "small change");

  // b2 off by 1e-3 relative: 3 digits, not solved.
  WriteValueFile({kMisra1a.certified[1], kMisra1a.certified[2] * 1.001});
  row = ScoreRow(kMisra1a, &exit_code);
  EXPECT_EQ(exit_code, 1);
  EXPECT_EQ(row[8], "failed");
  EXPECT_NEAR(std::strtod(row[13].c_str(), nullptr), 3.0, 0.01);

  // A run without its termination line has no result to judge.
  WriteValueFile({kMisra1a.certified[1], kMisra1a.certified[2]});
  WriteFile("Misra1a.rec", "OPTIMIZATION ITERATION NO.\t: 3\n");
  row = ScoreRow(kMisra1a, &exit_code);
  EXPECT_EQ(exit_code, 1);
  EXPECT_EQ(row[3], "-1");
  EXPECT_EQ(row[8], "unfinished");
}

// "tarne -slm" on two well-behaved problems from both starts.
class NistSlmTest : public ::testing::TestWithParam<std::tuple<const NistData*, const char*>> {};

TEST_P(NistSlmTest, SolvesTheProblem) {
  const NistData& data = *std::get<0>(GetParam());
  TempDir dir;
  MakeProblem(data, std::get<1>(GetParam()));
  const RunResult run = RunTarne({"-slm", data.name});
  ASSERT_EQ(run.exit_code, 0) << run.out << run.err;
  int exit_code = -1;
  const std::vector<std::string> row = ScoreRow(data, &exit_code);
  ASSERT_GE(row.size(), 9u);
  EXPECT_EQ(row[8], "solved") << "RSS " << row[4] << ", min LRE " << row[7] << "\n" << run.out;
  EXPECT_EQ(exit_code, 0);
  EXPECT_GT(std::atol(row[3].c_str()), 0) << "model calls";
}

INSTANTIATE_TEST_SUITE_P(MisraAndDanWood, NistSlmTest,
                         ::testing::Combine(::testing::Values(&kMisra1a, &kDanWood),
                                            ::testing::Values("1", "2")),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param)->name) + "Start" +
                                  std::get<1>(info.param);
                         });

}  // namespace
