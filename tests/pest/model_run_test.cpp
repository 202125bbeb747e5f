// Tests of one model run (value file, model object, post-run command, output reading) and of
// the finite-difference Jacobian through real runs: an external-kind project whose post-run
// command computes the outputs from "values.in" with awk, read back by an instruction file.
#include "pest/model_run.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "pest/control_file.h"
#include "pest/jacobian.h"
#include "pest/parameters.h"
#include "pest/instruction_files.h"
#include "pest/template_files.h"
#include "support/test_support.h"

namespace {

using testing_support::CopyIntoCwd;
using testing_support::FileExists;
using testing_support::ReadFile;
using testing_support::SourcePath;
using testing_support::SplitLines;
using testing_support::TempDir;
using testing_support::WriteFile;

// A calibration problem built by hand around a model whose outputs are awk expressions of
// the value file's fields ($1 is the first parameter, in natural units).
class ModelRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::strcpy(record_.PROJFLE, "model.prj");
    std::strcpy(record_.POSTBATCH, "sh post.sh");
    record_.groups.resize(1);
    record_.parameters.resize(1);
    record_.observations.resize(1);
  }

  void AddGroup(const char* name, const char* forcen, const char* method = "outside_pts") {
    ParameterGroup group;
    std::strcpy(group.PARGPNME, name);
    std::strcpy(group.FORCEN, forcen);
    std::strcpy(group.DERMTHD, method);
    record_.groups.push_back(group);
    record_.NPARGP = static_cast<int>(record_.groups.size()) - 1;
  }

  // value, lower and upper are stored values (logarithms for "log").
  Parameter& AddParameter(const char* name, const char* transform, double value,
                          const char* group, double lower = -100.0, double upper = 100.0) {
    Parameter parameter;
    std::strcpy(parameter.PARNME, name);
    SetParameterTransform(parameter, transform);
    std::strcpy(parameter.PARGP, group);
    parameter.value = value;
    parameter.PARLBND = lower;
    parameter.PARUBND = upper;
    record_.parameters.push_back(parameter);
    record_.NPAR = static_cast<int>(record_.parameters.size()) - 1;
    return record_.parameters.back();
  }

  // One observation o1, o2, ... per expression; the model writes their values, one a line.
  void SetModel(const std::vector<std::string>& outputs, const std::string& extra = "") {
    std::string printf_format, printf_arguments, instructions = "pif #\n";
    record_.observations.resize(1);
    for (size_t i = 0; i < outputs.size(); ++i) {
      printf_format += "%.17g\\n";
      printf_arguments += ", " + outputs[i];
      instructions += "l1 !o" + std::to_string(i + 1) + "!\n";
      Observation observation;
      std::snprintf(observation.OBSNME, kObsNameField, "o%zu", i + 1);
      observation.WEIGHT = 1.0;
      record_.observations.push_back(observation);
    }
    record_.NOBS = static_cast<int>(outputs.size());
    WriteFile("post.sh", "awk '{ printf \"" + printf_format + "\"" + printf_arguments +
                             " }' values.in > model.out\n"
                             "cat values.in >> seen.txt\necho >> seen.txt\n" + extra);
    WriteFile("model.ins", instructions);
  }

  // Counts the parameter types, writes "tarne.in" and the external project (which lists
  // every parameter through the replacement), opens the instruction file and sizes the
  // Jacobian with every entry 9 (a value no difference produces here).
  void Prepare() {
    std::string list = std::to_string(record_.NPAR) + "\n";
    std::string project = "kind external\nreplace tarne.in\nvalues values.in\n"
                          "output parameters.txt\n";
    adjustable_count_ = 0;
    for (int k = 1; k <= record_.NPAR; ++k) {
      Parameter& parameter = record_.parameters[k];
      list += std::string("[") + parameter.PARNME + "] \"%16.8lf\"\n";
      project += std::string("parameter ") + parameter.PARNME + " [" + parameter.PARNME + "]\n";
      const bool tied = std::strcmp(parameter.PARTRANS, "tied") == 0;
      const bool fixed = std::strcmp(parameter.PARTRANS, "fixed") == 0;
      if (tied) ++record_.NUMTIED;
      if (tied || fixed) continue;
      ++adjustable_count_;
      if (std::strncmp(parameter.PARNME, "iw_", 3) == 0) {
        parameter.iw_flag = 1;
        ++record_.NUMIW;
      }
    }
    record_.NUMADJ = adjustable_count_;
    WriteFile("tarne.in", list);
    WriteFile("model.prj", project);
    adjustable_ = ivector(adjustable_count_);
    for (int k = 1, j = 0; k <= record_.NPAR; ++k) {
      const char* transform = record_.parameters[k].PARTRANS;
      if (std::strcmp(transform, "tied") != 0 && std::strcmp(transform, "fixed") != 0) {
        adjustable_[++j] = k;
      }
    }
    jacobian_ = matrix(1, record_.NOBS, 1, adjustable_count_);
    for (int i = 1; i <= record_.NOBS; ++i) {
      for (int j = 1; j <= adjustable_count_; ++j) jacobian_[i][j] = 9.0;
    }
    record_.NINSFLE = 1;
    record_.instructions.resize(2);
    std::strcpy(record_.instructions[1].INSFLE, "model.ins");
    std::strcpy(record_.instructions[1].OUTFLE, "model.out");
    ASSERT_EQ(OpenInstructionFiles(record_, handles_), 0);
  }

  // Prepare, then the engine's base run at the current values and a fresh record of value
  // files seen.
  void PrepareAndRunBase() {
    Prepare();
    ASSERT_EQ(WriteValueFile(record_, ValueChoice::kCurrent), 0);
    ASSERT_EQ(RunModel(record_, &partition_, "-slm", calls_), 0);
    ASSERT_EQ(ReadModelOutputs(record_, kBaseSlot, handles_), 0);
    std::remove("seen.txt");
    calls_ = 0;
  }

  short Jacobian(int switch_flag, int iteration = 1) {
    ModelRunner runner(record_, &partition_, "-slm", handles_, calls_);
    return CalculateJacobian(runner, adjustable_, jacobian_, switch_flag, iteration, position_);
  }

  // The console text of a Jacobian that must end with `status`.
  std::string JacobianText(short status, int switch_flag = 0, int iteration = 1) {
    testing::internal::CaptureStdout();
    const short result = Jacobian(switch_flag, iteration);
    const std::string text = testing::internal::GetCapturedStdout();
    EXPECT_EQ(result, status) << text;
    return text;
  }

  // The value files the model saw since the base run, one per run.
  std::vector<std::string> Seen() const {
    return FileExists("seen.txt") ? SplitLines(ReadFile("seen.txt")) : std::vector<std::string>{};
  }

  TempDir dir_;
  ProblemRecord record_;
  FileHandleTable handles_;
  tarne::mpi_setup partition_;
  ivector adjustable_;
  matrix jacobian_;
  int adjustable_count_ = 0;
  long calls_ = 0;
  int position_ = 0;
};

TEST_F(ModelRunTest, ValueFileHoldsEveryParameterInNaturalUnitsOnOneLine) {
  AddGroup("g", "always_2");
  AddParameter("a", "none", 2.5, "g");
  AddParameter("b", "log", std::log10(2.0), "g");
  AddParameter("c", "fixed", -0.001, "g");
  Parameter& tied = AddParameter("d", "tied", 7.0, "g");
  tied.perturbed1 = 14.0;
  tied.perturbed2 = 21.0;
  record_.parameters[2].perturbed1 = 1.0;  // stored log: natural 10
  record_.parameters[2].perturbed2 = -1.0;
  ASSERT_EQ(WriteValueFile(record_, ValueChoice::kCurrent), 0);
  EXPECT_EQ(ReadFile("values.in"),
            "2.5000000E+00 2.0000000E+00 -1.0000000E-03 7.0000000E+00 ");
  ASSERT_EQ(WriteValueFile(record_, ValueChoice::kFirstPerturbed), 0);
  EXPECT_EQ(ReadFile("values.in"),
            "0.0000000E+00 1.0000000E+01 0.0000000E+00 1.4000000E+01 ");
  ASSERT_EQ(WriteValueFile(record_, ValueChoice::kSecondPerturbed), 0);
  EXPECT_EQ(ReadFile("values.in"),
            "0.0000000E+00 1.0000000E-01 0.0000000E+00 2.1000000E+01 ");
  record_.NPAR = 0;  // a shorter file replaces the longer one entirely
  ASSERT_EQ(WriteValueFile(record_, ValueChoice::kCurrent), 0);
  EXPECT_EQ(ReadFile("values.in"), "");
  // A value file that cannot be written is reported.
  record_.NPAR = 4;
  ASSERT_TRUE(std::filesystem::remove("values.in"));
  ASSERT_EQ(::mkdir("values.in", 0700), 0);
  testing::internal::CaptureStdout();
  EXPECT_EQ(WriteValueFile(record_, ValueChoice::kCurrent), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "cannot create values.in: Is a directory\n");
}

// A failed reading of the outputs is passed up; after the run they are read.
TEST_F(ModelRunTest, RunsTheModelThenThePostRunCommandAndCounts) {
  AddGroup("g", "always_2");
  AddParameter("k1", "none", 1.5, "g");
  AddParameter("k2", "log", 1.0, "g");
  SetModel({"$1 + $2"}, "cp parameters.txt after_model.txt\n");
  Prepare();
  testing::internal::CaptureStdout();
  EXPECT_NE(ReadModelOutputs(record_, kBaseSlot, handles_), 0);  // no output yet
  EXPECT_NE(testing::internal::GetCapturedStdout().find("model.out"), std::string::npos);
  ASSERT_EQ(WriteValueFile(record_, ValueChoice::kCurrent), 0);
  ASSERT_EQ(RunModel(record_, &partition_, "-slm", calls_), 0);
  EXPECT_EQ(calls_, 1);
  // The external model wrote its parameters from "values.in" before the command ran.
  const std::vector<std::string> listing = SplitLines(ReadFile("after_model.txt"));
  ASSERT_EQ(listing.size(), 2u);
  EXPECT_EQ(listing[0].substr(0, 3), "k1 ");
  EXPECT_DOUBLE_EQ(std::stod(listing[0].substr(3)), 1.5);
  EXPECT_DOUBLE_EQ(std::stod(listing[1].substr(3)), 10.0);
  ASSERT_EQ(ReadModelOutputs(record_, kSecondPerturbedSlot, handles_), 0);
  EXPECT_DOUBLE_EQ(record_.observations[1].simulated[kSecondPerturbedSlot], 11.5);
  EXPECT_EQ(record_.observations[1].simulated[kBaseSlot], 0.0);
}

TEST_F(ModelRunTest, ConsoleOutputPrecedesThePostRunCommand) {
  std::strcpy(record_.POSTBATCH, "echo command");
  WriteFile("model.prj", "kind external\n");
  testing::internal::CaptureStdout();
  std::printf("before ");
  ASSERT_EQ(RunModel(record_, &partition_, "-slm", calls_), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "before command\n");
  EXPECT_EQ(calls_, 1);
  testing::internal::CaptureStdout();
  EXPECT_EQ(RunModel(record_, nullptr, "-slm", calls_), 1);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(calls_, 1);
}

TEST_F(ModelRunTest, LinearModelGetsItsExactJacobianByForwardDifferences) {
  AddGroup("g", "always_2");
  AddParameter("k1", "none", 2.0, "g");
  AddParameter("k2", "none", -3.0, "g");
  AddParameter("k3", "fixed", 5.0, "g");
  AddParameter("k4", "none", 0.0, "g");
  SetModel({"3*$1 + 2*$2 - $3 + 0.5*$4", "-1.5*$1 + 4*$2 + 7*$4 + 1"});
  PrepareAndRunBase();
  JacobianText(0);
  EXPECT_EQ(calls_, 3);
  const double expected[3][4] = {{0, 0, 0, 0}, {0, 3, 2, 0.5}, {0, -1.5, 4, 7}};
  for (int i = 1; i <= 2; ++i) {
    for (int j = 1; j <= 3; ++j) {
      EXPECT_NEAR(jacobian_[i][j], expected[i][j], 1e-9 * std::fabs(expected[i][j]))
          << "row " << i << " column " << j;
    }
  }
}

TEST_F(ModelRunTest, QuadraticModelByParabolaAndByOutsidePoints) {
  AddGroup("parabolic", "always_3", "parabolic");
  AddGroup("outside", "always_3", "outside_pts");
  // At their lower bounds both points lie above the value: only the parabola is exact there.
  Parameter& k1 = AddParameter("k1", "none", 2.0, "parabolic", 2.0, 10.0);
  k1.at_lower = 1;
  Parameter& k2 = AddParameter("k2", "none", 2.0, "outside", 2.0, 10.0);
  k2.at_lower = 1;
  AddParameter("k3", "none", 3.0, "outside", 0.0, 10.0);  // central pair
  SetModel({"$1*$1 + 3*$1*$3 + $2*$2 + 5*$3*$3"});
  PrepareAndRunBase();
  JacobianText(0);
  EXPECT_EQ(calls_, 6);
  EXPECT_NEAR(jacobian_[1][1], 2 * 2.0 + 3 * 3.0, 1e-7);
  // Points 2.02 and 2.04: the secant slope of k2^2 is their sum.
  EXPECT_NEAR(jacobian_[1][2], 2.02 + 2.04, 1e-7);
  // A central pair of a quadratic gives its exact derivative.
  EXPECT_NEAR(jacobian_[1][3], 3 * 2.0 + 10 * 3.0, 1e-7);
}

TEST_F(ModelRunTest, LogParametersAreDifferencedInTheLogarithm) {
  AddGroup("g", "always_2");
  AddParameter("k1", "log", std::log10(2.0), "g");
  AddParameter("k2", "log", std::log10(5.0), "g");
  // o1 is linear in log10 of k1, o2 linear in the natural k2.
  SetModel({"4*log($1)/log(10) + $2", "$2"});
  PrepareAndRunBase();
  JacobianText(0);
  EXPECT_NEAR(jacobian_[1][1], 4.0, 1e-9 * 4.0);
  const double slope = (5.05 - 5.0) / (std::log10(5.05) - std::log10(5.0));
  EXPECT_NEAR(jacobian_[2][2], slope, 1e-9 * slope);
  EXPECT_NEAR(jacobian_[1][2], slope, 1e-9 * slope);
  EXPECT_NEAR(jacobian_[2][1], 0.0, 1e-12);
}

TEST_F(ModelRunTest, LogParameterAtZeroWritesOnePercentEitherSide) {
  AddGroup("g", "always_3", "outside_pts");
  AddParameter("k1", "log", 0.0, "g", -1.0, 1.0);
  AddParameter("k2", "fixed", 3.0, "g");
  SetModel({"$1"});
  PrepareAndRunBase();
  JacobianText(0);
  EXPECT_EQ(Seen(), (std::vector<std::string>{"1.0100000E+00 3.0000000E+00 ",
                                              "9.9000000E-01 3.0000000E+00 "}));
  const double slope = 0.02 / (std::log10(1.01) - std::log10(0.99));
  EXPECT_NEAR(jacobian_[1][1], slope, 1e-9 * slope);
}

// After the switch the group is differenced by three points, with one progress line a run.
TEST_F(ModelRunTest, SwitchGroupRunsOnceBeforeTheSwitchAndTwiceAfter) {
  AddGroup("g", "switch", "outside_pts");
  AddParameter("k1", "none", 4.0, "g");
  SetModel({"2*$1"});
  PrepareAndRunBase();
  JacobianText(0);
  EXPECT_EQ(calls_, 1);
  EXPECT_EQ(Seen(), (std::vector<std::string>{"4.0400000E+00 "}));
  std::remove("seen.txt");
  const std::string back(17, '\b');
  EXPECT_EQ(JacobianText(0, 1, 2),
            "Calculating Jacobian matrix: running model 2 times ...\n"
            "1 runs completed." + back + "2 runs completed." + back + "\n\n");
  EXPECT_EQ(calls_, 3);
  EXPECT_EQ(Seen(), (std::vector<std::string>{"4.0400000E+00 ", "3.9600000E+00 "}));
  EXPECT_NEAR(jacobian_[1][1], 2.0, 1e-9);
}

TEST_F(ModelRunTest, IwParameterGetsAZeroColumnWithoutARun) {
  AddGroup("g", "always_2");
  AddParameter("k1", "none", 1.0, "g");
  AddParameter("iw_rain", "none", 3.0, "g");
  SetModel({"$1 + $2"});
  PrepareAndRunBase();
  EXPECT_EQ(JacobianText(0).substr(0, 55),
            "Calculating Jacobian matrix: running model 1 times ...\n");
  EXPECT_EQ(calls_, 1);
  EXPECT_EQ(Seen(), (std::vector<std::string>{"1.0100000E+00 3.0000000E+00 "}));
  EXPECT_EQ(jacobian_[1][2], 0.0);
  EXPECT_NEAR(jacobian_[1][1], 1.0, 1e-9);
}

TEST_F(ModelRunTest, TiedParameterFollowsItsParentInNaturalUnits) {
  AddGroup("g", "always_2");
  AddParameter("k1", "log", std::log10(2.0), "g");
  Parameter& child = AddParameter("k2", "tied", 6.0, "g");
  std::strcpy(child.PARTIED, "k1");
  child.tie_ratio = 3.0;
  SetModel({"$1 + $2"});
  PrepareAndRunBase();
  JacobianText(0);
  EXPECT_EQ(Seen(), (std::vector<std::string>{"2.0200000E+00 6.0600000E+00 "}));
}

TEST_F(ModelRunTest, BestFitIsRefusedAndStopsTheColumns) {
  AddGroup("plain", "always_2");
  AddGroup("best", "always_3", "best_fit");
  AddParameter("k1", "none", 1.0, "best");
  AddParameter("k2", "none", 1.0, "plain");
  SetModel({"$1 + $2"});
  PrepareAndRunBase();
  const std::string out = JacobianText(1);
  EXPECT_NE(out.find("\nThe toolbox does not support the 'best_fit' method\n"
                     "of three point derivatives calculation.\n\n"
                     "The toolbox does support the 'outside_pts' and\n"
                     "'parabolic' methods of three point derivatives calculation.\n\n"
                     "If you are using three point derivatives calculation,\n"
                     "please alter DERMTHD in the control file accordingly.\n"),
            std::string::npos);
  EXPECT_EQ(calls_, 0);
  EXPECT_EQ(jacobian_[1][2], 9.0);
}

TEST_F(ModelRunTest, UnlistedGroupAndPinnedParametersGetZeroColumnsWithAMessage) {
  AddGroup("g", "always_2");
  AddGroup("p", "always_3", "parabolic");
  AddParameter("k1", "none", 1.0, "missing");
  AddParameter("k2", "none", 1.0, "g", 1.0, 1.005);  // neither step stays inside
  AddParameter("k3", "none", 1.0, "g");
  // At zero with tight bounds every percentage step is zero: all three points coincide.
  AddParameter("k4", "none", 0.0, "p", -0.005, 0.005);
  SetModel({"$1 + 2*$2 + 3*$3 + $4"});
  PrepareAndRunBase();
  const std::string out = JacobianText(0);
  EXPECT_NE(out.find("Parameter k1 belongs to the group missing, which is not listed among "
                     "the parameter groups; its Jacobian column is set to 0.\n"),
            std::string::npos);
  EXPECT_NE(out.find("Parameter k2 cannot be perturbed to distinct values within its bounds; "
                     "its Jacobian column is set to 0.\n"),
            std::string::npos);
  EXPECT_NE(out.find("Parameter k4 cannot be perturbed"), std::string::npos) << out;
  EXPECT_EQ(calls_, 1);
  EXPECT_EQ(jacobian_[1][1], 0.0);
  EXPECT_EQ(jacobian_[1][2], 0.0);
  EXPECT_NEAR(jacobian_[1][3], 3.0, 1e-9);
  EXPECT_EQ(jacobian_[1][4], 0.0);
}

// A secant iteration refreshes only the selected columns, and announces no run when none is due.
TEST_F(ModelRunTest, SecantIterationRefreshesOnlyTheSelectedColumns) {
  AddGroup("g", "always_2");
  for (const char* name : {"k1", "k2", "k3"}) AddParameter(name, "none", 1.0, "g");
  SetModel({"$1 + 2*$2 + 3*$3"});
  PrepareAndRunBase();
  record_.SLMMODE = 1;
  record_.SLMNCOL = 1;
  record_.PHIRATIO = 0.5;
  position_ = 1;
  JacobianText(0, 0, 2);
  EXPECT_EQ(calls_, 1);
  EXPECT_EQ(position_, 2);
  EXPECT_EQ(jacobian_[1][1], 9.0);
  EXPECT_NEAR(jacobian_[1][2], 2.0, 1e-9);
  EXPECT_EQ(jacobian_[1][3], 9.0);

  record_.SLMNCOL = 0;
  record_.SLMFULLRAT = 0.9;
  EXPECT_EQ(JacobianText(0, 0, 2),
            "Calculating Jacobian matrix: running model 0 times ...\n\n\n");
  EXPECT_EQ(calls_, 1);
  EXPECT_EQ(jacobian_[1][1], 9.0);
  EXPECT_EQ(jacobian_[1][3], 9.0);
}

TEST_F(ModelRunTest, MismatchedJacobianIsRefused) {
  AddGroup("g", "always_2");
  AddParameter("k1", "none", 1.0, "g");
  AddParameter("k2", "none", 1.0, "g");
  SetModel({"$1"});
  Prepare();
  jacobian_ = matrix(1, 1, 1, 1);
  EXPECT_NE(JacobianText(1).find("does not match"), std::string::npos);
  jacobian_ = matrix(1, 1, 1, 2);
  record_.NPAR = 3;  // counts more parameters than the record holds
  JacobianText(1);
  EXPECT_EQ(calls_, 0);
}

using ModelRunDeathTest = ModelRunTest;

TEST_F(ModelRunDeathTest, StopRequestEndsTheProcessAfterTheCurrentRun) {
  AddGroup("g", "always_2");
  AddParameter("k1", "none", 1.0, "g");
  AddParameter("k2", "none", 1.0, "g");
  SetModel({"$1"}, "echo 1 > pest.stp\n");
  PrepareAndRunBase();
  std::remove("pest.stp");
  EXPECT_EXIT(Jacobian(0), testing::ExitedWithCode(0), "");
  // The child made the first run and stopped before the second.
  EXPECT_EQ(Seen().size(), 1u);
}

// Weighted sum of squared residuals over the base slot.
double Phi(const ProblemRecord& record) {
  double phi = 0.0;
  for (int i = 1; i <= record.NOBS; ++i) {
    const Observation& o = record.observations[i];
    const double r = o.WEIGHT * (o.simulated[kBaseSlot] - o.OBSVAL);
    phi += r * r;
  }
  return phi;
}

// One run of an example at the record's current values, read into the base slot.
void RunExample(ProblemRecord& record, FileHandleTable& instructions, long& calls) {
  tarne::mpi_setup partition;
  ASSERT_EQ(WriteValueFile(record, ValueChoice::kCurrent), 0);
  ASSERT_EQ(RunModel(record, &partition, "-slm", calls), 0);
  ASSERT_EQ(ReadModelOutputs(record, kBaseSlot, instructions), 0);
}

// Every observation of an example (2 % noise) reproduced at its true stored values.
void ExpectTheTruthReproduces(ProblemRecord& record, FileHandleTable& instructions,
                              const std::vector<double>& truth, double slack) {
  ASSERT_EQ(truth.size(), static_cast<std::size_t>(record.NPAR) + 1);
  for (int k = 1; k <= record.NPAR; ++k) record.parameters[k].value = truth[k];
  long calls = 0;
  testing::internal::CaptureStdout();
  RunExample(record, instructions, calls);
  testing::internal::GetCapturedStdout();
  for (int i = 1; i <= record.NOBS; ++i) {
    const Observation& o = record.observations[i];
    EXPECT_NEAR(o.simulated[kBaseSlot], o.OBSVAL, 0.12 * o.OBSVAL + slack) << o.OBSNME;
  }
}

// The example problem loads as the tools load it, reproduces its observations at the true
// parameters of truth.prj, and gives a Jacobian with a live column for every adjustable
// parameter at its starting values.
TEST(ExampleProblem, LoadsRunsAndDifferentiates) {
  TempDir dir;
  for (const char* name : {"catchment.pst", "catchment.prj", "catchment.tpl", "catchment.ins",
                           "forcing.txt"}) {
    CopyIntoCwd(SourcePath(std::string("examples/pest/") + name));
  }
  ProblemRecord record;
  FileHandleTable templates, instructions;
  testing::internal::CaptureStdout();
  ASSERT_EQ(ReadControlFile(record, "catchment"), 0);
  ASSERT_EQ(OpenTemplateFiles(record, templates), 0);
  ASSERT_EQ(CheckTemplateFiles(record, templates), 0);
  ASSERT_EQ(OpenInstructionFiles(record, instructions), 0);
  CountParameterTypes(record);
  SetTiedParameters(record);
  ASSERT_EQ(record.NUMADJ, 4);
  ASSERT_EQ(record.NOBS, 120);
  long calls = 0;
  RunExample(record, instructions, calls);
  const double start_phi = Phi(record);

  ivector adjustable(record.NUMADJ);
  for (int k = 1, j = 0; k <= record.NPAR; ++k) {
    if (record.parameters[k].PARTRANS[0] != 'f') adjustable[++j] = k;
  }
  matrix jacobian(1, record.NOBS, 1, record.NUMADJ);
  int position = 0;
  tarne::mpi_setup partition;
  ModelRunner runner(record, &partition, "-slm", instructions, calls);
  ASSERT_EQ(CalculateJacobian(runner, adjustable, jacobian, 0, 1, position), 0);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(calls, 5);
  for (int j = 1; j <= record.NUMADJ; ++j) {
    double largest = 0.0;
    for (int i = 1; i <= record.NOBS; ++i) largest = std::fmax(largest, std::fabs(jacobian[i][j]));
    EXPECT_GT(largest, 1e-3) << "column " << j;
  }

  ExpectTheTruthReproduces(record, instructions,
                           {0, std::log10(150.0), 2.0, std::log10(36.0), 480, 0.6, 0.1}, 1e-12);
  EXPECT_LT(Phi(record), 0.05 * start_phi);
}

// The grid and lake example loads as the tools load it, has twelve adjustable parameters, and
// reproduces its observations at the true parameters of truth.prj and of the lake.
TEST(ExampleProblem, GridAndLakeReproduceTheirObservationsAtTheTruth) {
  TempDir dir;
  CopyIntoCwd(SourcePath("examples/grid_lake"));
  std::filesystem::current_path("grid_lake");
  ProblemRecord record;
  FileHandleTable instructions;
  testing::internal::CaptureStdout();
  ASSERT_EQ(ReadControlFile(record, "grid"), 0);
  ASSERT_EQ(OpenInstructionFiles(record, instructions), 0);
  CountParameterTypes(record);
  ASSERT_EQ(record.NUMADJ, 12);
  ASSERT_EQ(record.NOBS, 3 * 365);
  testing::internal::GetCapturedStdout();
  // Stored values: logarithms for the "log" parameters.
  ExpectTheTruthReproduces(record, instructions,
                           {0, std::log10(120.0), 2.5, std::log10(48.0), std::log10(720.0), 0.6,
                            std::log10(0.2), std::log10(10.0), std::log10(30.0), 0.8, 0.002, 0.3,
                            1.2},
                           1e-9);
}

}  // namespace
