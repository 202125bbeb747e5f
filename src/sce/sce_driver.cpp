// One SCE run: read and check the input, read the observations, create the output file, run
// the search and write the best parameter set to standard output and "sce_best.out".
#include "sce/sce_driver.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "modellib/file_error.h"
#include "modellib/input_file.h"
#include "sce/sce_input.h"
#include "sce/sce_search.h"

namespace {

constexpr const char* kOutputName = "sce_output.out";
constexpr const char* kBestName = "sce_best.out";

// Reads and checks the input; sets setup_ok when it can be searched. Nothing is written
// here: a refused input leaves the files of an earlier run as they were.
void ReadInput(SceRun& run, const char* input_file) {
  tarne::gFILE input(nullptr);
  std::string reason;
  if (!input.open_input(input_file, tarne::kMaxInputFileBytes, &reason)) {
    std::printf("%s\n", FileErrorMessage("open", input_file, 0, reason.c_str()).c_str());
    std::printf("Can't open SCE input file %s\n", input_file);
    run.setup_ok = 0;
    return;
  }
  if (read_sce_input(run, input, input_file) == 0) {
    run.setup_ok = check_sce_settings(run.settings) < 0 ? 0 : 1;
  } else {
    run.setup_ok = 0;
  }
}

// Creates the output file once the input and the observations were read; a run that cannot
// be searched creates none.
void CreateOutput(SceRun& run) {
  run.output_on = 1;
  if (!run.setup_ok) return;
  if (!run.output_file.open(kOutputName, "w")) {
    std::printf("Can't open output file %s\n", kOutputName);
    run.setup_ok = 0;
  }
}

// Reads the observations. An empty name (an input that could not be opened, or that names
// no observation file) cannot be read either. False after the message, which ends the run.
bool ReadObservations(SceRun& run) {
  run.observed = std::make_unique<tarne::observed_data>();
  const char* observation_file = run.settings.observation_file;
  if (observation_file[0] != '\0' &&
      run.observed->read_observed_weighted_peakvol(observation_file) != -1) {
    return true;
  }
  std::printf("Error: unable to open the observation file for reading or problem while "
              "reading it.\nAttempted to read file: %s\n",
              observation_file);
  return false;
}

// Prints the best point and writes it to "sce_best.out"; a result file that cannot be
// written is reported once and the result still reaches standard output. False when the
// result file was not written.
bool ReportBest(const SceRun& run, int result) {
  const int n = run.settings.nparam;
  std::vector<double> best(run.bestx.get() + 1, run.bestx.get() + 1 + n);
  tarne::gFILE best_file(nullptr);
  errno = 0;
  std::FILE* fp = best_file.open(kBestName, "w") ? best_file.fp : nullptr;
  if (fp == nullptr) {
    std::printf("%s\n", FileErrorMessage("create", kBestName, 0, std::strerror(errno)).c_str());
  }
  std::printf("The best results of the SCE calibration after %ld runs:\n",
              static_cast<long>(result));
  if (fp != nullptr) {
    std::fprintf(fp, "The best results of the SCE calibration %ld runs:\n",
                 static_cast<long>(result));
  }
  for (double value : best) {
    if (fp != nullptr) std::fprintf(fp, "%le\n", value);
    std::printf("%le\n", value);
  }
  bool written = fp != nullptr;
  if (fp != nullptr) {
    errno = 0;
    bool failed = std::fflush(fp) != 0 || std::ferror(fp) != 0;
    if (failed) {
      std::printf("%s\n",
                  FileErrorMessage("write", kBestName, 0, std::strerror(errno)).c_str());
      written = false;
    }
  }
  best_file.close();
  return written;
}

}  // namespace

int run_sce_on(SceRun& run, const char* input_file) {
  ReadInput(run, input_file);
  if (!ReadObservations(run)) return 1;
  CreateOutput(run);
  int result = run_sceua(run);
  if (result <= 0) {
    std::printf("Error: unable to successfully run the SCE method\n");
    return 1;
  }
  const bool written = ReportBest(run, result);
  // A log or a result file that could not be written leaves the run without its record.
  return written && !run.log_disabled ? 0 : 1;
}

int run_sce(tarne::mpi_setup* partition, const char* input_file) {
  SceRun run(partition);
  return run_sce_on(run, input_file);
}
