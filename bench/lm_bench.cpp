// Cost of the Levenberg-Marquardt tool itself, apart from the model:
//
//   per-run   a whole -slm calibration of a 10-observation problem whose model is a compiled
//             program (the post-run command): milliseconds per model run beyond the command
//             itself, i.e. value file, model object, instruction reading, phi, record lines;
//   large     one whole iteration on 100 000 observations and 50 adjustable parameters with
//             a synthetic model run in place of the model (Jacobian assembly, normal
//             equations, 10 lambda trials with bound handling, sensitivities, "jac.txt", the
//             record lines and the restart file), model runs excluded; peak resident memory;
//   read      the instruction reading of a 100 000-observation model output file, per run.
//
//   bench_lm [per-run|large|read]...     (default: all three)
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "lm/lm_engine.h"
#include "lm/slm_driver.h"
#include "pest/control_file.h"
#include "pest/instruction_files.h"
#include "pest/model_runner.h"
#include "pest/template_files.h"
#include "bench_steps.h"
#include "lm_search_timing.h"
#include "quiet_stdout.h"

namespace {

namespace fs = std::filesystem;
using bench_steps::Check;
using bench_steps::Clock;
using bench_steps::EnterFreshDirectory;
using bench_steps::Median;
using bench_steps::SecondsSince;
using bench_steps::WriteText;

// ---- per-run ------------------------------------------------------------------------------

// The control file of a three-parameter curve observed at ten points, with tight stopping
// rules so that the calibration makes a few dozen runs.
std::string SmallControlFile(const std::string& model) {
  std::string text =
      "pcf\n* control data\nnorestart estimation\n3 10 1 0 1\n1 1 single point 1 0 0\n"
      "0.01 2.0 0.3 0.01 10\n5.0 5.0 0.001 0\n0.1 noaui\n40 1e-9 4 6 1e-9 4\n0 0 0\n"
      "0 0 0.9 1 0.01\nmodel.prj\n* parameter groups\ng relative 0.01 0.0 switch 2.0 "
      "parabolic\n* parameter data\na none factor 1.0 0.01 100 g 1.0 0.0 1\n"
      "b none factor 1.0 0.01 100 g 1.0 0.0 1\nc none factor 0.0 -100 100 g 1.0 0.0 1\n"
      "* observation groups\nobs\n* observation data\n";
  char line[128];
  for (int i = 1; i <= 10; ++i) {
    const double x = 0.5 * i;
    std::snprintf(line, sizeof line, "o%d %.10f 1.0 obs\n", i,
                  2.5 * std::exp(-0.7 * x) + 0.3 + 0.001 * ((i * 7) % 5 - 2));
    text += line;
  }
  text += "* model command line\nnone " + model + "\n* model input/output\n"
          "model.tpl model.prj\nmodel.ins model.out\n* prior information\n";
  return text;
}

// The model: a small C program is not available here, so the model is this benchmark
// itself, started with the word "model": it reads "values.in" and writes "model.out".
int RunSmallModel() {
  double a = 0, b = 0, c = 0;
  std::FILE* in = std::fopen("values.in", "r");
  if (in == nullptr || std::fscanf(in, "%lf %lf %lf", &a, &b, &c) != 3) return 1;
  std::fclose(in);
  std::FILE* out = std::fopen("model.out", "w");
  if (out == nullptr) return 1;
  for (int i = 1; i <= 10; ++i) std::fprintf(out, "%.17g\n", a * std::exp(-b * 0.5 * i) + c);
  std::fclose(out);
  return 0;
}

void PerRunCost(const char* self) {
  EnterFreshDirectory("tarne_bench_lm_per_run");
  const std::string model = fs::absolute(self).string() + " model";
  // The post-run command is one word: a script that starts the compiled model.
  WriteText("model.sh", "#!/bin/sh\nexec " + model + "\n");
  fs::permissions("model.sh", fs::perms::owner_all);
  WriteText("case.pst", SmallControlFile("./model.sh"));
  WriteText("model.prj", "kind external\noutput parameters.txt\nreplace tarne.in\n"
                         "values values.in\nparameter a [a]\nparameter b [b]\nparameter c [c]\n");
  WriteText("model.tpl", "ptf $\nparameter a $a $\nparameter b $b $\nparameter c $c $\n");
  std::string instruction_text = "pif #\n";
  for (int i = 1; i <= 10; ++i) instruction_text += "l1 !o" + std::to_string(i) + "!\n";
  WriteText("model.ins", instruction_text);

  bench_steps::LoadedCase loaded;
  bench_steps::LoadCase("case", &loaded);
  tarne::mpi_setup partition;
  std::vector<double> own;
  double total = 0.0, command = 0.0;
  long runs = 0;
  // Whole searches, each from the control file's start: the elapsed time of a search less
  // the time inside the model command is the tool's own.
  for (int repeat = 0; repeat < 7; ++repeat) {
    const bench_steps::SearchTiming search = bench_steps::TimeSearch(loaded, &partition);
    const double seconds = search.seconds;
    runs = search.runs;
    own.push_back((seconds - search.command_seconds) / runs);
    total = seconds / runs;
    command = search.command_seconds / runs;
  }
  std::printf("per-run: %ld model runs per calibration; %.3f ms per run in all, of which the "
              "model command %.3f ms\n", runs, total * 1e3, command * 1e3);
  std::printf("per-run: own cost %.3f ms per model run (median of 7 searches; target under "
              "0.5 ms)\n", Median(own) * 1e3);
}

// ---- large --------------------------------------------------------------------------------

constexpr int kLargeObservations = 100000;
constexpr int kLargeParameters = 50;

// Every observation responds to every parameter, so that the Jacobian is dense like that of
// a real model and its files hold full-length numbers; the synthetic run fills the slot from
// the chosen values. The time it takes is measured and left out.
struct SyntheticModel {
  double seconds = 0.0;

  static double Coefficient(int i, int k) { return 1.0 / (1.0 + (i * k) % 97); }

  short operator()(ProblemRecord& record, ValueChoice which, int slot) {
    const Clock::time_point start = Clock::now();
    std::vector<double> p(kLargeParameters + 1);
    for (int k = 1; k <= kLargeParameters; ++k) {
      const Parameter& parameter = record.parameters[k];
      p[k] = which == ValueChoice::kFirstPerturbed    ? parameter.perturbed1
             : which == ValueChoice::kSecondPerturbed ? parameter.perturbed2
                                                      : parameter.value;
    }
    for (int i = 1; i <= kLargeObservations; ++i) {
      double y = 0.0;
      for (int k = 1; k <= kLargeParameters; ++k) y += Coefficient(i, k) * p[k];
      record.observations[i].simulated[slot] = y + 0.001 * p[1 + i % kLargeParameters] *
                                                       p[1 + i % kLargeParameters];
    }
    seconds += SecondsSince(start);
    return 0;
  }
};

std::string LargeControlFile() {
  std::string text =
      "pcf\n* control data\nrestart estimation\n" + std::to_string(kLargeParameters) + " " +
      std::to_string(kLargeObservations) +
      " 1 0 1\n1 1 single point 1 0 0\n1000.0 2.0 0.0 -1.0 10\n5.0 5.0 0.001 0\n0.1 noaui\n"
      "2 0.0 100 100 0.0 100\n0 0 0\n0 0 0.9 1 0.01\nmodel.prj\n* parameter groups\n"
      "g relative 0.01 0.0 always_2 2.0 outside_pts\n* parameter data\n";
  char line[160];
  for (int k = 1; k <= kLargeParameters; ++k) {
    std::snprintf(line, sizeof line, "p%d none factor %d.0 -1e6 1e6 g 1.0 0.0 1\n", k, k);
    text += line;
  }
  text += "* observation groups\nobs\n* observation data\n";
  for (int i = 1; i <= kLargeObservations; ++i) {
    std::snprintf(line, sizeof line, "o%d %.6f 1.0 obs\n", i, 1.0 + 0.001 * (i % 997));
    text += line;
  }
  text += "* model command line\nnone true\n* model input/output\n* prior information\n";
  return text;
}

long PeakResidentMegabytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024;
}

void LargeIteration() {
  EnterFreshDirectory("tarne_bench_lm_large");
  WriteText("case.pst", LargeControlFile());
  std::string control = LargeControlFile();
  // No template or instruction file: the synthetic run fills the slots itself.
  control.replace(control.find("1 1 single point"), 3, "0 0");
  WriteText("case.pst", control);
  ProblemRecord record;
  {
    QuietStdout quiet;
    Check(ReadControlFile(record, "case") == 0, "control file");
  }
  CountParameterTypes(record);
  SetTiedParameters(record);
  OutputNames names;
  FilesNamesForWrite("case", names);
  CaseFileHolder files;
  Check(files.Open(names, false), "case files");
  FileHandleTable templates, instructions;
  tarne::mpi_setup partition;
  char option[] = "-slm";
  LmContext context{record, names, files.files(), templates, instructions, &partition, option,
                    false};
  SyntheticModel model;
  LmState state = PrepareLocalSearch(record, CurrentParameterValues(record), record.RLAMBDA1);
  double started = 0.0, model_at_start = 0.0, seconds = -1.0, model_seconds = 0.0;
  long runs_at_start = 0;
  int runs_in_iteration = 0;
  SearchObserver observer;
  observer.after_initial_run = [&](const LmState&, const ProblemRecord&) {
    started = SecondsSince(Clock::time_point());
    model_at_start = model.seconds;
    runs_at_start = state.model_calls;
  };
  observer.at_iteration_start = [&](const LmState& s, const ProblemRecord&) {
    if (s.n != 2) return;
    seconds = SecondsSince(Clock::time_point()) - started;
    model_seconds = model.seconds - model_at_start;
    runs_in_iteration = static_cast<int>(s.model_calls - runs_at_start);
  };
  context.synthetic_model = [&model](ProblemRecord& r, ValueChoice v, int slot) {
    return model(r, v, slot);
  };
  {
    QuietStdout quiet;
    Check(RunLevenbergMarquardt(context, state, &observer) == 0, "search");
  }
  const int trials = runs_in_iteration - kLargeParameters;
  Check(seconds >= 0.0, "the search ended before its second iteration");
  std::printf("large: %d observations, %d adjustable parameters, %d lambda trials\n",
              kLargeObservations, kLargeParameters, trials);
  std::printf("large: one iteration %.3f s, of which synthetic model runs %.3f s: own work "
              "%.3f s (target under 2 s)\n",
              seconds, model_seconds, seconds - model_seconds);
  std::printf("large: peak resident memory %ld MB (target under 1024 MB)\n",
              PeakResidentMegabytes());
}

// ---- read ---------------------------------------------------------------------------------

void InstructionReading() {
  EnterFreshDirectory("tarne_bench_lm_read");
  std::string output = "Model output\n", instructions = "pif #\n";
  ProblemRecord record;
  record.NOBS = kLargeObservations;
  record.observations.resize(kLargeObservations + 1);
  char line[96];
  for (int i = 1; i <= kLargeObservations; ++i) {
    std::snprintf(record.observations[i].OBSNME, kObsNameField, "q%d", i);
    std::snprintf(line, sizeof line, "%d %.10e\n", i, std::sin(0.001 * i));
    output += line;
    // The first instruction line steps over the title line of the output.
    instructions += std::string(i == 1 ? "l2" : "l1") + " w !q" + std::to_string(i) + "!\n";
  }
  WriteText("model.out", output);
  WriteText("model.ins", instructions);
  record.NINSFLE = 1;
  record.instructions.resize(2);
  std::strcpy(record.instructions[1].INSFLE, "model.ins");
  std::strcpy(record.instructions[1].OUTFLE, "model.out");
  FileHandleTable handles;
  Check(OpenInstructionFiles(record, handles) == 0, "instruction file");
  std::vector<double> samples;
  for (int r = 0; r < 21; ++r) {
    const Clock::time_point start = Clock::now();
    Check(ReadModelOutputs(record, kBaseSlot, handles) == 0, "reading");
    samples.push_back(SecondsSince(start));
  }
  std::printf("read: %d observations, %.2f ms per run (median of 21; target under 25 ms)\n",
              kLargeObservations, Median(samples) * 1e3);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "model") == 0) return RunSmallModel();
  const fs::path self = fs::absolute(argv[0]);
  std::vector<std::string> parts;
  for (int i = 1; i < argc; ++i) parts.push_back(argv[i]);
  if (parts.empty()) parts = {"per-run", "large", "read"};
  for (const std::string& part : parts) {
    if (part == "per-run") {
      PerRunCost(self.c_str());
    } else if (part == "large") {
      LargeIteration();
    } else if (part == "read") {
      InstructionReading();
    } else {
      std::fprintf(stderr, "usage: bench_lm [per-run|large|read]...\n");
      return 1;
    }
  }
  return 0;
}
