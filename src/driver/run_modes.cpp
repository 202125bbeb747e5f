#include "driver/run_modes.h"

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "driver/banners.h"
#include "global/mlsl.h"
#include "global/multistart.h"
#include "global/search_spread.h"
#include "global/trajectory_repulsion.h"
#include "lm/slm_driver.h"
#include "montecarlo/montecarlo.h"
#include "pest/run_spread.h"
#include "sce/sce_driver.h"

namespace {

// Owns one model object made in zero-filled storage, so that every member the model library
// does not set itself starts at zero, as it always has.
class FreshModel {
 public:
  explicit FreshModel(tarne::mpi_setup* partition)
      : storage_(static_cast<unsigned char*>(std::calloc(1, sizeof(tarne::tarne_sim)))) {
    static_assert(alignof(tarne::tarne_sim) <= alignof(std::max_align_t),
                  "calloc storage must be aligned for the model object");
    if (!storage_) throw std::bad_alloc();
    sim_ = new (storage_.get()) tarne::tarne_sim(partition);
  }
  ~FreshModel() { sim_->~tarne_sim(); }
  FreshModel(const FreshModel&) = delete;
  FreshModel& operator=(const FreshModel&) = delete;
  tarne::tarne_sim& sim() { return *sim_; }

 private:
  struct FreeStorage {
    void operator()(unsigned char* p) const { std::free(p); }
  };
  std::unique_ptr<unsigned char, FreeStorage> storage_;
  tarne::tarne_sim* sim_ = nullptr;
};

// The exit code of a model result or a tool's status: a status whose low byte is zero would
// reach the shell as success, so it is reported as 1.
int ExitCodeOf(int status) {
  if (status != 0 && (status & 0xFF) == 0) return 1;
  return status;
}

// Batch runs and SCE have no partitioned form: each writes its files from one process. When
// the run has several processes, rank 0 does the work and the others do nothing; they end at
// once, and the model library's process end (MPI's) holds them until rank 0 has ended too,
// so that the launcher reports rank 0's exit status.
bool RunsTheWholeMode(const tarne::mpi_setup& partition) { return partition.process_rank == 0; }

int RunBatch(tarne::mpi_setup& partition, const RunRequest& request, const char* argument,
             const ModeEntries& entries) {
  partition.SetupPartitions(1);
  if (!RunsTheWholeMode(partition)) return 0;
  std::printf("TARNE is running in batch mode, and is running %ld runs...\n",
              static_cast<long>(request.count));
  for (long i = 0; i < request.count; ++i)
    entries.project_run(&partition, request.input_file, argument, i);
  return 0;
}

// A Levenberg-Marquardt tool on several processes: rank 0 runs it and writes every file,
// while every process, rank 0 included, makes model runs (those of the Jacobians and the
// sample runs) and multistart's searches in a working copy of the run directory. The others
// serve until rank 0 ends them. Every process ends with the exit code one process would give,
// so that a batch system sees a failure; the working copies then stay for inspection.
int RunToolOnEveryProcess(int (*tool)(tarne::mpi_setup*, int, char**),
                          tarne::mpi_setup& partition, int argc, char** argv) {
  if (partition.process_rank != 0) {
    SearchServer searches(partition);
    return ServeRuns(partition,
                     [&searches](const std::string& request, const SearchSite& site) {
                       return searches.Serve(request, site);
                     });
  }
  RunSpread spread(partition);
  const int status = tool(&partition, argc, argv);
  const int exit_code = ExitCodeOf(status);
  spread.End(exit_code, status != 0);
  return exit_code;
}

// A Levenberg-Marquardt tool: run it with the whole command line, or say it is missing.
int RunTool(int (*tool)(tarne::mpi_setup*, int, char**), tarne::mpi_setup& partition,
            const char* option, const char* name, int argc, char** argv) {
  if (tool != nullptr && partition.total_threads > 1) {
    return RunToolOnEveryProcess(tool, partition, argc, argv);
  }
  if (!RunsTheWholeMode(partition)) return 0;
  if (tool == nullptr) {
    std::printf("tarne: the %s tool (%s) is not available in this build\n", name, option);
    return 1;
  }
  // The tool's status is the exit code: 0 after a finished run (or a stop through the stop
  // file), the failing routine's status after a refusal or a failure.
  return ExitCodeOf(tool(&partition, argc, argv));
}

int RunSecantLevenbergMarquardt(tarne::mpi_setup* partition, int argc, char** argv) {
  return slm_kor(partition, argc, argv);
}
int RunMultistartTool(tarne::mpi_setup* partition, int argc, char** argv) {
  return RunMultistart(partition, argc, argv);
}
int RunMlslTool(tarne::mpi_setup* partition, int argc, char** argv) {
  return RunMlsl(partition, argc, argv);
}
int RunTrajectoryRepulsionTool(tarne::mpi_setup* partition, int argc, char** argv) {
  return RunTrajectoryRepulsion(partition, argc, argv);
}

}  // namespace

int run_project_on_fresh_model(tarne::mpi_setup* partition, const char* input_file,
                               const char* argument, long batch_index) {
  FreshModel model(partition);
  if (batch_index >= 0) {
    model.sim().SetLinenum(batch_index);
    model.sim().SetBatchMode(1);
    model.sim().SetBatchNum(batch_index);
  }
  return model.sim().main_tarne(input_file, nullptr, argument);
}

ModeEntries default_mode_entries() {
  ModeEntries entries{};
  entries.project_run = run_project_on_fresh_model;
  entries.monte_carlo = run_monte_carlo;
  entries.sce = run_sce;
  entries.secant_lm = RunSecantLevenbergMarquardt;
  entries.multistart = RunMultistartTool;
  entries.trajectory_repulsion = RunTrajectoryRepulsionTool;
  entries.mlsl = RunMlslTool;
  return entries;
}

int run_mode(tarne::mpi_setup& partition, const RunRequest& request, int argc, char** argv,
             bool in_web_start, const ModeEntries& entries) {
  const char* argument = argc > 1 ? argv[1] : "";
  switch (request.mode) {
    case kProjectRun: {
      // All processes run the project together as one partition. A web start runs it on
      // partitions of one process, so there rank 0 runs it alone like a batch run.
      partition.SetupPartitions(in_web_start ? 1 : partition.total_threads);
      if (in_web_start && !RunsTheWholeMode(partition)) return 0;
      const int result = entries.project_run(&partition, request.input_file, argument, -1);
      return ExitCodeOf(result);
    }
    case kSceCalibration:
      partition.SetupPartitions(1);
      if (!RunsTheWholeMode(partition)) return 0;
      return ExitCodeOf(entries.sce(&partition, request.input_file));
    case kBatchRuns:
      return RunBatch(partition, request, argument, entries);
    case kVersionBanner:
      print_version_banner();
      return 0;
    case kMonteCarlo:
      partition.SetupPartitions(1);
      return entries.monte_carlo(&partition, request.count, request.input_file) == 1 ? 0 : 1;
    case kSensitivity:
      return entries.monte_carlo(&partition, 500, request.input_file) == 1 ? 0 : 1;
    case kSecantLm:
      return RunTool(entries.secant_lm, partition, "-slm", "secant Levenberg-Marquardt", argc, argv);
    case kMultistart:
      return RunTool(entries.multistart, partition, "-ms", "multistart", argc, argv);
    case kTrajectoryRepulsion:
      return RunTool(entries.trajectory_repulsion, partition, "-tr", "trajectory repulsion", argc, argv);
    case kMlsl:
      return RunTool(entries.mlsl, partition, "-mlsl", "MLSL", argc, argv);
    default:  // kHelp: the start banner was all there was to print
      return 0;
  }
}
