// Cost of one model run of the Levenberg-Marquardt family as the Jacobian makes it (value
// file, fresh model object and model call, post-run command, instruction reading, stop-file
// check), next to the model call alone and the post-run command alone. The problem: five
// parameters, an external-kind project, the post-run command "true", and a 1000-line output
// file read by an instruction file of 100 observations. Prints milliseconds per run.
//
//   bench_model_run [runs]     (default 300)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "pest/instruction_files.h"
#include "pest/model_run.h"
#include "pest/parameters.h"
#include "pest/stop_file.h"

namespace {

constexpr int kParameters = 5;
constexpr int kObservations = 100;
constexpr int kOutputLines = 1000;

void WriteText(const char* path, const std::string& text) {
  std::FILE* file = std::fopen(path, "w");
  if (file == nullptr) {
    std::fprintf(stderr, "cannot create %s\n", path);
    std::exit(1);
  }
  std::fputs(text.c_str(), file);
  std::fclose(file);
}

// Writes the project, the replacement list, the model output and the instruction file, and
// fills the record to match them.
void BuildProblem(ProblemRecord& record) {
  std::string list = std::to_string(kParameters) + "\n";
  std::string project = "kind external\nreplace tarne.in\nvalues values.in\n"
                        "output parameters.txt\n";
  record.NPAR = kParameters;
  record.parameters.resize(kParameters + 1);
  for (int k = 1; k <= kParameters; ++k) {
    Parameter& parameter = record.parameters[k];
    std::snprintf(parameter.PARNME, kTextField, "k%d", k);
    SetParameterTransform(parameter, k % 2 == 0 ? "log" : "none");
    parameter.value = 0.5 * k;
    list += std::string("[") + parameter.PARNME + "] \"%16.8lf\"\n";
    project += std::string("parameter ") + parameter.PARNME + " [" + parameter.PARNME + "]\n";
  }
  WriteText("tarne.in", list);
  WriteText("model.prj", project);
  std::strcpy(record.PROJFLE, "model.prj");
  std::strcpy(record.POSTBATCH, "true");

  std::string output, instructions = "pif #\n";
  char line[96];
  for (int i = 1; i <= kOutputLines; ++i) {
    std::snprintf(line, sizeof line, "%.4f %.9e %.9e\n", i * 0.25, 1.0 / i, 2.0 * i);
    output += line;
  }
  record.NOBS = kObservations;
  record.observations.resize(kObservations + 1);
  const int step = kOutputLines / kObservations;
  for (int i = 1; i <= kObservations; ++i) {
    std::snprintf(record.observations[i].OBSNME, kObsNameField, "o%03d", i);
    instructions += "l" + std::to_string(step) + " w !" + record.observations[i].OBSNME + "!\n";
  }
  WriteText("model.out", output);
  WriteText("model.ins", instructions);
  record.NINSFLE = 1;
  record.instructions.resize(2);
  std::strcpy(record.instructions[1].INSFLE, "model.ins");
  std::strcpy(record.instructions[1].OUTFLE, "model.out");
}

using Clock = std::chrono::steady_clock;

template <typename Work>
double Milliseconds(Work work) {
  const Clock::time_point start = Clock::now();
  work();
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The machine may be shared: medians of interleaved samples resist the load of others.
double Median(std::vector<double> samples) {
  std::sort(samples.begin(), samples.end());
  return samples[samples.size() / 2];
}

void Check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "benchmark step failed: %s\n", what);
  std::exit(1);
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::atoi(argv[1]) : 300;
  if (runs < 1) return 1;
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / "tarne_bench_model_run";
  fs::remove_all(dir);
  fs::create_directories(dir);
  fs::current_path(dir);

  ProblemRecord record;
  BuildProblem(record);
  FileHandleTable handles;
  Check(OpenInstructionFiles(record, handles) == 0, "open instruction file");
  tarne::mpi_setup partition;
  long calls = 0;

  auto full_run = [&] {
    Check(WriteValueFile(record, ValueChoice::kFirstPerturbed) == 0, "value file");
    Check(RunModel(record, &partition, "-slm", calls) == 0, "model run");
    Check(ReadModelOutputs(record, kFirstPerturbedSlot, handles) == 0, "output reading");
    CheckStopFile();
  };
  auto model_alone = [&] {
    tarne::tarne_sim model(&partition);
    model.main_tarne(record.PROJFLE, nullptr, "-slm");
  };
  auto command_alone = [&] { Check(std::system(record.POSTBATCH) == 0, "command"); };
  auto run_model = [&] { Check(RunModel(record, &partition, "-slm", calls) == 0, "model run"); };
  auto value_file = [&] {
    Check(WriteValueFile(record, ValueChoice::kFirstPerturbed) == 0, "value file");
  };
  auto reading = [&] {
    Check(ReadModelOutputs(record, kFirstPerturbedSlot, handles) == 0, "output reading");
  };

  full_run();  // warm the file cache
  std::vector<double> full, model, command, run_only, writing, reading_time, stop_check;
  for (int r = 0; r < runs; ++r) {
    full.push_back(Milliseconds(full_run));
    model.push_back(Milliseconds(model_alone));
    command.push_back(Milliseconds(command_alone));
    run_only.push_back(Milliseconds(run_model));
    writing.push_back(Milliseconds(value_file));
    reading_time.push_back(Milliseconds(reading));
    stop_check.push_back(Milliseconds([] { CheckStopFile(); }));
  }
  const double own_direct = Median(writing) + Median(reading_time) + Median(stop_check) +
                            Median(run_only) - Median(model) - Median(command);

  std::printf("model run of the Levenberg-Marquardt family, %d runs, %d parameters, "
              "%d observations from a %d-line output\n",
              runs, kParameters, kObservations, kOutputLines);
  std::printf("medians in ms per run\n");
  std::printf("  whole run (as a Jacobian run):      %8.4f\n", Median(full));
  std::printf("  model call alone:                   %8.4f\n", Median(model));
  std::printf("  post-run command alone:             %8.4f\n", Median(command));
  std::printf("  own cost (whole - model - command): %8.4f   (target < 0.5)\n",
              Median(full) - Median(model) - Median(command));
  std::printf("  own cost, summed from its parts:    %8.4f\n", own_direct);
  std::printf("    value file:                       %8.4f\n", Median(writing));
  std::printf("    instruction reading:              %8.4f\n", Median(reading_time));
  std::printf("    stop-file check:                  %8.4f\n", Median(stop_check));
  std::printf("    RunModel (model + command):       %8.4f\n", Median(run_only));
  std::printf("  check: o100 = %.9e (expected %.9e)\n",
              record.observations[kObservations].simulated[kFirstPerturbedSlot],
              1.0 / kOutputLines);
  fs::current_path(fs::temp_directory_path());
  fs::remove_all(dir);
  return 0;
}
