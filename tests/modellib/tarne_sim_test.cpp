// The model run object end to end in-process: single, batch and calibration runs of the
// function, hydro and external kinds, with replacement and the header of calibrated names.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "modellib/tarne_lib.h"
#include "support/test_support.h"

namespace {

using testing_support::FileExists;
using testing_support::ReadFile;
using testing_support::SplitLines;
using testing_support::TempDir;
using testing_support::WriteFile;

constexpr double kFailed = 1.0e30;

const char kRosenbrock[] =
    "kind function\nfunction rosenbrock\nparameter x1 [x1]\nparameter x2 [X2]\n"
    "replace list.in\nvalues values.in\noutput out.txt\n";
const char kList[] = "2\n[x1] \"%16.8lf\"\n[x2] \"%16.8lf\"\n";

// Writes the Rosenbrock project, its replacement list and its value file into dir.
void WriteRosenbrockProject(const std::string& values, const std::string& dir = ".") {
  WriteFile(dir + "/p.prj", kRosenbrock);
  WriteFile(dir + "/list.in", kList);
  WriteFile(dir + "/values.in", values);
}

int RunProject(const char* project, std::string* err, long batch_line = -1) {
  tarne::mpi_setup partition;
  tarne::tarne_sim sim(&partition);
  if (batch_line >= 0) {
    sim.SetLinenum(batch_line);
    sim.SetBatchMode(1);
    sim.SetBatchNum(batch_line);
  }
  testing::internal::CaptureStderr();
  const int status = sim.main_tarne(project, nullptr, project);
  *err = testing::internal::GetCapturedStderr();
  return status;
}

// A project in another directory finds its files beside it and writes its output there; a
// batch run takes its line of the value file and numbers its output.
TEST(MainTarne, RunsAProjectBesideItsFilesSinglyOrInABatch) {
  TempDir dir;
  std::filesystem::create_directory("sub");
  WriteRosenbrockProject("-1.2000000E+00 1.0000000E+00 \n0.5 0.5\n1 1", "sub");
  std::string err;
  for (long i = 0; i < 3; ++i) ASSERT_EQ(RunProject("sub/p.prj", &err, i), 0) << err;
  EXPECT_FALSE(FileExists("sub/out.txt"));
  EXPECT_EQ(SplitLines(ReadFile("sub/out_b0.txt"))[0], "objective 2.420000000000000E+01");
  EXPECT_EQ(SplitLines(ReadFile("sub/out_b1.txt"))[0], "objective 6.500000000000000E+00");
  EXPECT_EQ(SplitLines(ReadFile("sub/out_b2.txt"))[0], "objective 0.000000000000000E+00");
  EXPECT_NE(RunProject("sub/p.prj", &err, 3), 0);  // no fourth line
  EXPECT_NE(err.find("values.in (line 4)"), std::string::npos) << err;
  ASSERT_EQ(RunProject("sub/p.prj", &err), 0) << err;
  EXPECT_FALSE(FileExists("out.txt"));
  const auto lines = SplitLines(ReadFile("sub/out.txt"));
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "objective 2.420000000000000E+01");  // 100 * 0.44^2 + 2.2^2
  EXPECT_EQ(lines[1], "x1 -1.200000000000000E+00");
}

TEST(MainTarne, FailuresNameTheFileAndLine) {
  TempDir dir;
  std::string err;
  WriteFile("p.prj", std::string(kRosenbrock) + "bogus 1\n");
  EXPECT_EQ(RunProject("p.prj", &err), 1);
  EXPECT_NE(err.find("p.prj (line 8): unknown keyword 'bogus'"), std::string::npos) << err;
  WriteFile("p.prj", kRosenbrock);
  EXPECT_EQ(RunProject("p.prj", &err), 1);  // the replacement list is missing
  EXPECT_NE(err.find("p.prj (line 5): cannot open the replace file list.in"),
            std::string::npos) << err;
  WriteFile("list.in", "1\n[x1] \"%f\"\n");
  WriteFile("values.in", "2\n");
  EXPECT_EQ(RunProject("p.prj", &err), 1);  // [X2] has no value
  EXPECT_NE(err.find("p.prj (line 4): no value for [X2]"), std::string::npos) << err;
  WriteFile("values.in", "2 3\n");
  EXPECT_EQ(RunProject("p.prj", &err), 1);
  EXPECT_NE(err.find("values.in (line 1): found 2 values"), std::string::npos) << err;
  EXPECT_EQ(RunProject("absent.prj", &err), 1);
  EXPECT_NE(err.find("absent.prj"), std::string::npos);
}

struct Calibration {
  double objective = 0.0;
  std::string header;  // the names of the calibrated parameters, as the file header gives them
  std::string err;     // standard error of the evaluation
};

Calibration Calibrate(const char* list, const char* project, double* values, long n,
                      tarne::observed_data* observed = nullptr) {
  tarne::mpi_setup partition;
  tarne::tarne_sim sim(&partition);
  Calibration result;
  testing::internal::CaptureStderr();
  result.objective = sim.main_calib(list, project, values, observed, n, "temp", 0);
  result.err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(result.objective, sim.last_objective());
  std::FILE* file = std::tmpfile();
  sim.WriteFileHeader(file);
  std::rewind(file);
  char text[256] = {};
  result.header.assign(text, std::fread(text, 1, sizeof text - 1, file));
  std::fclose(file);
  return result;
}

TEST(MainCalib, EvaluatesTheFunctionOrReturnsAHugeObjective) {
  TempDir dir;
  WriteFile("p.prj", "kind function\nfunction rosenbrock\nparameter x1 [x1]\nparameter x2 [x2]\n"
                     "output out.txt\n");
  WriteFile("calib.in", kList);
  double values[4] = {99.0, 0.5, 0.5, 1.0};  // element 0 is not used
  const Calibration first = Calibrate("calib.in", "p.prj", values, 2);
  EXPECT_DOUBLE_EQ(first.objective, 6.5);
  EXPECT_EQ(first.header, "x1\tx2\t");
  EXPECT_FALSE(FileExists("out.txt"));  // evaluations of a search write no output file
  double minimum[3] = {0.0, 1.0, 1.0};
  EXPECT_DOUBLE_EQ(Calibrate("calib.in", "p.prj", minimum, 2).objective, 0.0);
  const Calibration three = Calibrate("calib.in", "p.prj", values, 3);  // the list names two
  EXPECT_EQ(three.objective, kFailed);
  EXPECT_NE(three.err.find("names 2 parameters but 3 values"), std::string::npos) << three.err;
  const Calibration no_list = Calibrate("absent.in", "p.prj", values, 2);
  EXPECT_EQ(no_list.objective, kFailed);
  EXPECT_NE(no_list.err.find("cannot open absent.in"), std::string::npos) << no_list.err;
  EXPECT_EQ(Calibrate("calib.in", "absent.prj", values, 2).objective, kFailed);
}

TEST(MainCalib, TheProjectsOwnListSuppliesNamesThatAreNotCalibrated) {
  TempDir dir;
  WriteRosenbrockProject("5 2\n");
  WriteFile("calib.in", "1\n[x1] \"%16.8lf\"\n");
  double values[2] = {0.0, 1.0};
  // x1 = 1 from the calibration, x2 = 2 from values.in: 100 (2 - 1)^2 + 0.
  EXPECT_DOUBLE_EQ(Calibrate("calib.in", "p.prj", values, 1).objective, 100.0);
}

const char kHydroProject[] =
    "kind hydro\ngrid 4 3\noutlet 4 3\nforcing forcing.txt\noutput q.out\n"
    "parameter soil_capacity [soil_capacity]\nparameter shape 2\nparameter fast_k [fast_k]\n"
    "parameter slow_k 500\nparameter split 0.6\nparameter velocity 0.2\n";

TEST(MainCalib, HydroObjectiveIsZeroAtTheParametersThatMadeTheObservations) {
  TempDir dir;
  std::string forcing;
  for (int day = 1; day <= 60; ++day) {
    forcing += std::to_string(day) + " " + std::to_string(day % 7 == 0 ? 25 : day % 3) + " 2\n";
  }
  WriteFile("forcing.txt", forcing);
  WriteFile("truth.prj", std::string(kHydroProject) + "replace calib.in\nvalues truth.val\n");
  WriteFile("p.prj", kHydroProject);
  WriteFile("calib.in", "2\n[soil_capacity] \"%.10e\"\n[fast_k] \"%.10e\"\n");
  WriteFile("truth.val", "80 36\n");
  std::string err;
  ASSERT_EQ(RunProject("truth.prj", &err), 0) << err;
  // Every simulated step becomes an observation with weight 1.
  std::string observations;
  for (const std::string& line : SplitLines(ReadFile("q.out"))) observations += line + " 1\n";
  WriteFile("obs.txt", observations);
  tarne::observed_data observed;
  ASSERT_EQ(observed.read_observed_weighted_peakvol("obs.txt"), 60);
  double truth[3] = {0.0, 80.0, 36.0};
  EXPECT_NEAR(Calibrate("calib.in", "p.prj", truth, 2, &observed).objective, 0.0, 1e-12);
  double other[3] = {0.0, 120.0, 36.0};
  const double worse = Calibrate("calib.in", "p.prj", other, 2, &observed).objective;
  EXPECT_GT(worse, 1e-6);
  EXPECT_LT(worse, kFailed);
  EXPECT_EQ(Calibrate("calib.in", "p.prj", truth, 2).objective, kFailed);  // no observations
  double invalid[3] = {0.0, -5.0, 36.0};
  const Calibration refused = Calibrate("calib.in", "p.prj", invalid, 2, &observed);
  EXPECT_EQ(refused.objective, kFailed);
  EXPECT_NE(refused.err.find("soil_capacity must be greater than 0"), std::string::npos)
      << refused.err;
}

// Amounts or sizes beyond the range of doubles fail the run instead of writing a hydrograph
// of infinities, and a function value that is not a number fails the evaluation instead of
// reaching a search that cannot rank it.
TEST(MainCalib, NonFiniteResultsFailTheRun) {
  TempDir dir;
  WriteFile("forcing.txt", "1 10 1\n2 0 1\n");
  std::string project = kHydroProject;
  project.replace(project.find("[soil_capacity]"), 15, "100");
  project.replace(project.find("[fast_k]"), 8, "10");
  WriteFile("p.prj", project);
  std::string err;
  ASSERT_EQ(RunProject("p.prj", &err), 0) << err;
  WriteFile("p.prj", project + "cell_size 1e300\n");
  EXPECT_EQ(RunProject("p.prj", &err), 1);
  EXPECT_NE(err.find("cannot run p.prj: the simulation overflowed"), std::string::npos) << err;
  WriteFile("f.prj", "kind function\nfunction goldstein-price\nparameter a [a]\nparameter b [b]\n");
  WriteFile("calib.in", "2\n[a] \"%.17g\"\n[b] \"%.17g\"\n");
  double ordinary[3] = {0.0, 0.0, -1.0};
  EXPECT_NEAR(Calibrate("calib.in", "f.prj", ordinary, 2).objective, 0.0, 1e-12);
  double huge[3] = {0.0, 1e300, -1e300};  // inf - inf inside the polynomial
  const Calibration nan = Calibrate("calib.in", "f.prj", huge, 2);
  EXPECT_EQ(nan.objective, kFailed);
  EXPECT_NE(nan.err.find("cannot evaluate f.prj: the objective is not a number"),
            std::string::npos) << nan.err;
}

TEST(ExternalKind, WritesParametersRunsTheCommandAndReadsTheObjective) {
  TempDir dir;
  WriteFile("p.prj",
            "kind external\nparameter a [a]\nparameter b 4\noutput params.txt\n"
            "command awk '$1 == \"a\" {print $2 * 2}' params.txt > objective.txt\n"
            "objective objective.txt\n");
  WriteFile("calib.in", "1\n[a] \"%g\"\n");
  double values[2] = {0.0, 1.75};
  EXPECT_DOUBLE_EQ(Calibrate("calib.in", "p.prj", values, 1).objective, 3.5);
  const auto lines = SplitLines(ReadFile("params.txt"));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "a 1.750000000000000E+00");
  EXPECT_EQ(lines[1], "b 4.000000000000000E+00");
}

// Template lines write the model input files from the values of the value file, matched by
// name through the list; the commands then run in order, the first without a shell.
TEST(ExternalKind, FillsTemplatesThenRunsTheCommandsInOrder) {
  TempDir dir;
  WriteFile("p.prj", "kind external\nreplace list.in\nvalues values.in\n"
                     "template a.tpl a.in\ntemplate b.tpl sub/b.in\n"
                     "command sh copy.sh\ncommand cat a.in sub/b.in > both.txt\n");
  WriteFile("list.in", "2\n[A] \"%16.8lf\"\n[b] \"%16.8lf\"\n");
  WriteFile("values.in", "2.5000000E+00 -1.2500000E-07 ");
  WriteFile("a.tpl", "ptf ~\na = ~a       ~ end\n");
  WriteFile("b.tpl", "jtf #\nb = #b           #\n");
  WriteFile("copy.sh", "cp a.in first.txt\n");
  std::filesystem::create_directory("sub");
  std::string err;
  ASSERT_EQ(RunProject("p.prj", &err), 0) << err;
  EXPECT_EQ(ReadFile("first.txt"), "a =        2.5 end\n");
  EXPECT_EQ(ReadFile("both.txt"), "a =        2.5 end\nb =       -1.25E-7\n");
}

// A template that cannot be filled fails the run before the command; a command that fails
// or cannot start fails it too, and so does an evaluation without a list or an objective.
TEST(ExternalKind, FailuresOfTemplatesAndCommandsFailTheRun) {
  TempDir dir;
  WriteFile("p.prj", "kind external\nreplace list.in\nvalues values.in\ntemplate a.tpl a.in\n"
                     "command touch ran.txt\n");
  WriteFile("list.in", "1\n[a] \"%16.8lf\"\n");
  WriteFile("values.in", "1.2345678E+15 ");
  WriteFile("a.tpl", "ptf ~\na = ~a~\nb = ~b~\n");
  std::string err;
  EXPECT_EQ(RunProject("p.prj", &err), 1);
  EXPECT_EQ(err, "cannot fill a.tpl (line 2): the value 1.23456780E+15 of parameter 'a' does not "
                 "fit its field of 3 characters\n");
  EXPECT_FALSE(FileExists("ran.txt"));
  WriteFile("a.tpl", "ptf ~\na = ~a             ~\nb = ~b~\n");
  EXPECT_EQ(RunProject("p.prj", &err), 1);
  EXPECT_EQ(err, "cannot fill a.tpl (line 3): no value for parameter 'b'\n");
  WriteFile("p.prj", "kind external\ncommand ./no-such-model\n");
  EXPECT_EQ(RunProject("p.prj", &err), 1);
  EXPECT_EQ(err, "cannot read p.prj (line 2): command './no-such-model' could not be started: "
                 "No such file or directory\n");
  WriteFile("p.prj", "kind external\ncommand exit 3\n");
  EXPECT_EQ(RunProject("p.prj", &err), 1);
  EXPECT_NE(err.find("p.prj (line 2): command 'exit 3' failed"), std::string::npos) << err;
  WriteFile("q.prj", "kind external\nparameter a 1\n");
  double values[1] = {0.0};
  EXPECT_EQ(Calibrate("empty.in", "q.prj", values, 0).objective, kFailed);  // no list
  WriteFile("empty.in", "");
  const Calibration no_objective = Calibrate("empty.in", "q.prj", values, 0);
  EXPECT_EQ(no_objective.objective, kFailed);
  EXPECT_NE(no_objective.err.find("needs 'objective'"), std::string::npos) << no_objective.err;
}

}  // namespace
