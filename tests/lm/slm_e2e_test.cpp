// The -slm tool as a user runs it: the tarne binary on the bundled catchment example and on
// small cases, the start-up refusals, and the exact resumption of a calibration that was
// killed during a model run or stopped through the stop file.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "lm/pest_case.h"
#include "support/test_support.h"
#include "support/text_compare.h"

namespace {

using lm_test::LastModelCalls;
using lm_test::Occurrences;
using lm_test::ParFileValues;
using lm_test::PestCase;
using testing_support::CompareText;
using testing_support::CopyIntoCwd;
using testing_support::FileExists;
using testing_support::ReadFile;
using testing_support::RunResult;
using testing_support::RunTarne;
using testing_support::SourcePath;
using testing_support::SplitLines;
using testing_support::TempDir;
using testing_support::WriteFile;

// The record file of the bundled example against the expected one. The run is deterministic,
// but the hydro model's exponentials may round differently in the last bit under another
// math library; a relative 2e-6 (two units in the seventh printed digit) and an absolute 2e-6
// (two units in the sixth decimal of the "%lf" values) absorb that and nothing more.
void CopyCatchmentExample() {
  for (const char* file : {"catchment.pst", "catchment.tpl", "catchment.ins", "catchment.prj",
                           "forcing.txt"}) {
    CopyIntoCwd(SourcePath(std::string("examples/pest/") + file));
  }
}

// Checks of a record file that do not rest on the engine's own numbers: the model calls
// that each iteration header reports follow from the Jacobian runs announced on the screen
// and the lambda trials; every trial's ratio is its phi over the iteration's starting phi;
// and the final phi is the sum of the squared weighted residuals the results list.
void ExpectConsistentRecord(const std::string& rec, const std::string& screen) {
  std::vector<long> jacobian_runs;
  const std::string announced = "Calculating Jacobian matrix: running model ";
  for (size_t at = screen.find(announced); at != std::string::npos;
       at = screen.find(announced, at + 1)) {
    jacobian_runs.push_back(std::strtol(screen.c_str() + at + announced.size(), nullptr, 10));
  }
  std::vector<long> calls;
  std::vector<int> trials;
  double starting_phi = 0.0;
  for (const std::string& line : SplitLines(rec)) {
    double phi = 0, ratio = 0;
    long value = 0;
    if (std::sscanf(line.c_str(), "Model Calls so far\t\t\t\t\t: %ld", &value) == 1) {
      calls.push_back(value);
      trials.push_back(0);
    } else if (std::sscanf(line.c_str(),
                           "Starting objective function value for this iteration\t: %lf",
                           &phi) == 1) {
      starting_phi = phi;
    } else if (std::sscanf(line.c_str(), "\tPhi =\t%lf\t\t(%lf of starting phi)", &phi,
                           &ratio) == 2) {
      ++trials.back();
      EXPECT_NEAR(ratio, phi / starting_phi, 1e-6 * ratio) << line;
    }
  }
  ASSERT_EQ(calls.size(), jacobian_runs.size());
  for (size_t k = 0; k + 1 < calls.size(); ++k) {
    EXPECT_EQ(calls[k + 1] - calls[k], jacobian_runs[k] + trials[k]) << "iteration " << k + 1;
  }
  EXPECT_EQ(LastModelCalls(rec), calls.back() + jacobian_runs.back() + trials.back());
  const size_t results = rec.find("Observation            Measured");
  ASSERT_NE(results, std::string::npos);
  double sum = 0.0;
  const std::vector<std::string> table = SplitLines(rec.substr(results));
  for (size_t k = 2; k < table.size() && !table[k].empty(); ++k) {
    const std::string& line = table[k];
    char name[64];
    double measured = 0, calculated = 0, residual = 0, weight = 0;
    if (std::sscanf(line.c_str(), "%63s %lf %lf %lf %lf", name, &measured, &calculated,
                    &residual, &weight) == 5) {
      EXPECT_NEAR(residual, measured - calculated, 1e-15 + 1e-12 * std::fabs(measured));
      sum += residual * weight * residual * weight;
    }
  }
  double phi = 0.0;
  const std::string key = "Sum of squared weighted residuals (ie phi)\t\t: ";
  const size_t at = rec.rfind(key);
  ASSERT_NE(at, std::string::npos);
  phi = std::strtod(rec.c_str() + at + key.size(), nullptr);
  EXPECT_NEAR(phi, sum, 1e-6 * sum);
}

TEST(SlmTool, CatchmentExampleRecordAndRecoveredParameters) {
  TempDir dir;
  CopyCatchmentExample();
  const RunResult r = RunTarne({"-slm", "catchment"});
  ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
  const std::string expected = ReadFile(SourcePath("tests/data/lm/catchment/catchment.rec"));
  const std::string difference = CompareText(expected, ReadFile("catchment.rec"), {2e-6, 2e-6});
  EXPECT_EQ(difference, "");
  ExpectConsistentRecord(ReadFile("catchment.rec"), r.out);
  // The observations were made with soil_capacity 150, shape 2, fast_k 36 and split 0.6 and
  // 2 % noise; slow_k and velocity are fixed.
  const std::vector<double> best = ParFileValues("catchment.par");
  ASSERT_EQ(best.size(), 6u);
  const double truth[6] = {150.0, 2.0, 36.0, 480.0, 0.6, 0.1};
  const double tolerance[6] = {5.0, 0.1, 1.0, 0.0, 0.01, 0.0};
  for (int k = 0; k < 6; ++k) EXPECT_NEAR(best[k], truth[k], tolerance[k]) << k;
  EXPECT_FALSE(FileExists("catchment.rst"));
}

// The same calibration in secant mode: two columns refreshed per iteration, a full update
// when phi falls by less than 10 %. Its record and sensitivity files against the expected
// ones, with the tolerance above.
TEST(SlmTool, CatchmentExampleInSecantMode) {
  TempDir dir;
  CopyCatchmentExample();
  std::string control = ReadFile("catchment.pst");
  const size_t at = control.find("\n0 0 0.9 2 0.01\n");
  ASSERT_NE(at, std::string::npos);
  control.replace(at, 16, "\n1 1 0.9 2 0.01\n");
  WriteFile("catchment.pst", control);
  const RunResult r = RunTarne({"-slm", "catchment"});
  ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
  for (const char* file : {"catchment.rec", "catchment.sen"}) {
    const std::string expected =
        ReadFile(SourcePath(std::string("tests/data/lm/catchment_secant/") + file));
    EXPECT_EQ(CompareText(expected, ReadFile(file), {2e-6, 2e-6}), "") << file;
  }
  EXPECT_NE(ReadFile("catchment.rec").find("The SLM method is employed for this case."),
            std::string::npos);
  ExpectConsistentRecord(ReadFile("catchment.rec"), r.out);
}

PestCase DecayCase() {
  PestCase c;
  c.parameters = {{"a", "none", 1.0, 0.1, 100.0}, {"b", "none", 1.0, 0.01, 10.0}};
  const double noise[6] = {0.01, -0.02, 0.015, -0.01, 0.005, -0.004};
  for (int x = 0; x <= 5; ++x) {
    c.observations.push_back({"$1 * exp(-$2 * " + std::to_string(x) + ")",
                              3.0 * std::exp(-0.4 * x) + noise[x]});
  }
  c.rstfle = "restart";
  c.groups[0].forcen = "switch";
  c.groups[0].method = "parabolic";
  c.phiredstp = 1e-6;
  c.relparstp = 1e-6;
  return c;
}

TEST(SlmTool, StartUpRefusalsWriteNoRecordFile) {
  struct Case {
    const char* name;
    std::vector<std::string> words;
    void (*edit)(PestCase&);
    std::vector<std::string> lines;  // expected in the output, in order
  };
  const Case cases[] = {
      {"third word", {"-slm", "case", "r"}, [](PestCase&) {},
       {"The word \"r\" after the control file name is not the restart switch /r"}},
      {"prediction", {"-slm", "case"}, [](PestCase& c) { c.mode = "prediction"; },
       {"Currently, slm_kor does not support prediction capabilities"}},
      {"bounds",
       {"-slm", "case"},
       [](PestCase& c) {
         c.parameters[0].value = 200.0;  // above 100
         c.parameters[1].value = 0.001;  // below 0.01
         c.parameters.push_back({"c", "fixed", -5.0, 0.0, 1.0});
       },
       {"\nThe intial value for the following parameter is outside of its specified bounds: a",
        "\nThe intial value for the following parameter is outside of its specified bounds: b",
        "\nThe intial value for the following parameter is outside of its specified bounds: c",
        "\nModify the input control file and try again."}},
      {"no lambda", {"-slm", "case"}, [](PestCase& c) { c.numlam = 0; },
       {"cannot read case.pst (line 6): NUMLAM is 0; at least one lambda must be tried"}},
      {"secant switch", {"-slm", "case"}, [](PestCase& c) { c.slmfullupd = 2; },
       {"cannot read case.pst (line 11): SLMFULLUPD is 2; it must be 0 or 1"}},
  };
  for (const Case& c : cases) {
    TempDir dir;
    PestCase pest = DecayCase();
    c.edit(pest);
    pest.Write();
    const RunResult r = RunTarne(c.words);
    EXPECT_EQ(r.exit_code, 1) << c.name;
    size_t at = 0;
    for (const std::string& line : c.lines) {
      at = r.out.find(line, at);
      EXPECT_NE(at, std::string::npos) << c.name << ": " << line << "\n" << r.out;
    }
    EXPECT_FALSE(FileExists("case.rec")) << c.name;
    EXPECT_FALSE(FileExists("runs.txt")) << c.name;
  }
}

// The finished run deleted its restart file: there is nothing to resume, and the refusal
// leaves the finished run's files as they were, its best parameters included.
TEST(SlmTool, RestartWithoutARestartFileLeavesTheFilesAsTheyWere) {
  TempDir dir;
  DecayCase().Write();
  ASSERT_EQ(RunTarne({"-slm", "case"}).exit_code, 0);
  WriteFile("case.mtt", "left over\n");
  const std::string rec = ReadFile("case.rec"), par = ReadFile("case.par");
  const RunResult r = RunTarne({"-slm", "case", "/r"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.out.find("\n\nError opening the restart file.\n"
                       "Possibly previous run was not halted prematurely.\n\n"),
            std::string::npos);
  EXPECT_EQ(ReadFile("case.rec"), rec);
  EXPECT_EQ(ReadFile("case.mtt"), "left over\n");
  EXPECT_EQ(ReadFile("case.par"), par);
  EXPECT_NE(par, "");
}

// What a finished run leaves that must not depend on an interruption: the best parameters,
// the last values and outputs of the model, and the record from the final results on.
struct Outcome {
  std::string par, values, output, results;
  long model_calls = 0;
};

Outcome Finished() {
  Outcome o;
  o.par = ReadFile("case.par");
  o.values = ReadFile("values.in");
  o.output = ReadFile("model.out");
  const std::string rec = ReadFile("case.rec");
  o.results = rec.substr(rec.rfind("OPTIMISATION RESULTS"));
  o.model_calls = LastModelCalls(rec);
  return o;
}

// The post-run script stops the calibration on its k-th run: SIGKILL to the tarne process
// above it, or the stop code 1 in "pest.stp".
std::string InterruptOnRun(long k, bool kill) {
  const std::string action =
      kill ? "  pid=$$\n"
             "  while [ \"$pid\" -gt 1 ]; do\n"
             "    pid=$(cut -d' ' -f4 /proc/$pid/stat)\n"
             "    if [ \"$(cat /proc/$pid/comm)\" = tarne ]; then kill -9 $pid; break; fi\n"
             "  done\n"
           : "  echo 1 > pest.stp\n";
  return "n=$(cat count 2>/dev/null || echo 0)\nn=$((n + 1))\necho $n > count\n"
         "if [ \"$n\" = " + std::to_string(k) + " ]; then\n" + action + "fi\n";
}

TEST(SlmTool, ResumedRunEndsExactlyAsTheUninterruptedOne) {
  Outcome reference;
  std::vector<long> calls_at_iteration;
  {
    TempDir dir;
    DecayCase().Write();
    ASSERT_EQ(RunTarne({"-slm", "case"}).exit_code, 0);
    reference = Finished();
    const std::string rec = ReadFile("case.rec");
    const std::string key = "Model Calls so far\t\t\t\t\t: ";
    for (size_t at = rec.find(key); at != std::string::npos; at = rec.find(key, at + 1)) {
      calls_at_iteration.push_back(std::strtol(rec.c_str() + at + key.size(), nullptr, 10));
    }
  }
  ASSERT_GE(calls_at_iteration.size(), 4u) << "the case should take several iterations";
  // A Jacobian run of iteration 2, a lambda trial of iteration 3, and a run late in the
  // search (the restart file of iteration 1 exists from the start of iteration 2).
  const long points[] = {calls_at_iteration[1] + 1, calls_at_iteration[2] + 4,
                         reference.model_calls - 1};
  for (bool kill : {true, false}) {
    for (long k : points) {
      TempDir dir;
      PestCase c = DecayCase();
      c.post_extra = InterruptOnRun(k, kill);
      c.Write();
      const RunResult stopped = RunTarne({"-slm", "case"});
      EXPECT_EQ(stopped.exit_code, kill ? 128 + 9 : 0) << k;
      ASSERT_TRUE(FileExists("case.rst")) << k;
      ASSERT_FALSE(FileExists("pest.stp") && kill) << k;
      const RunResult resumed = RunTarne({"-slm", "case", "/r"});
      ASSERT_EQ(resumed.exit_code, 0) << resumed.out;
      const Outcome outcome = Finished();
      EXPECT_EQ(outcome.par, reference.par) << k << " kill " << kill;
      EXPECT_EQ(outcome.values, reference.values) << k << " kill " << kill;
      EXPECT_EQ(outcome.output, reference.output) << k << " kill " << kill;
      EXPECT_EQ(outcome.results, reference.results) << k << " kill " << kill;
      EXPECT_EQ(outcome.model_calls, reference.model_calls) << k << " kill " << kill;
      EXPECT_NE(ReadFile("case.rec").find(".....RESTART....."), std::string::npos);
    }
  }
}

// A resumed run stopped again at its first model run, before it could find better
// parameters, leaves the best parameters of the interrupted run in ".par".
TEST(SlmTool, AResumedRunKeepsTheBestParametersFromItsStart) {
  TempDir dir;
  PestCase c = DecayCase();
  c.post_extra = "n=$(cat count 2>/dev/null || echo 0)\nn=$((n + 1))\necho $n > count\n"
                 "if [ \"$n\" = 9 ] || [ \"$n\" = 10 ]; then echo 1 > pest.stp; fi\n";
  c.Write();
  ASSERT_EQ(RunTarne({"-slm", "case"}).exit_code, 0);
  ASSERT_TRUE(FileExists("case.rst"));
  const std::string par = ReadFile("case.par");
  ASSERT_NE(par, "");
  ASSERT_EQ(RunTarne({"-slm", "case", "/r"}).exit_code, 0);
  EXPECT_EQ(ReadFile("count"), "10\n");
  EXPECT_EQ(ReadFile("case.par"), par);
}

}  // namespace
