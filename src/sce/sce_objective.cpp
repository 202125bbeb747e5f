// One model evaluation per point and its line in the evaluation log. The log is opened and
// closed for every line so that it is complete on disk after each evaluation.
#include "sce/sce_objective.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>

#include "modellib/file_error.h"

namespace {

constexpr const char* kLogName = "sce_log_file.txt";

// Reports the first failure of the log and disables it.
void DisableLog(SceRun& run, const char* verb, int error) {
  std::printf("%s\n", FileErrorMessage(verb, kLogName, 0, std::strerror(error)).c_str());
  run.log_disabled = 1;
}

}  // namespace

double model_objective(SceRun& run, const double* point) {
  SceSettings& s = run.settings;
  tarne::mpi_setup* p = run.partition;
  auto sim = std::make_unique<tarne::tarne_sim>(p);
  double value = sim->main_calib(s.second_path, s.project_file, const_cast<double*>(point),
                                 run.observed.get(), s.nparam, "temp", p->process_rank);
  run.observed->print_results(p->process_rank, p->partition_id, p->rank_in_partition,
                              p->partition_size, p->partition_count, 1, 1, sim.get());
  return value;
}

double objective(SceRun& run, const double* point) {
  double value = run.objective_hook ? run.objective_hook(point, run.settings.nparam)
                                    : model_objective(run, point);
  if (std::isnan(value)) return std::numeric_limits<double>::infinity();
  return std::fabs(value);
}

void prepare_sce_log(SceRun& run) {
  if (run.log_disabled) return;
  if (run.log_file.fp != nullptr) {
    std::fflush(run.log_file.fp);
    return;
  }
  if (!run.log_file.open(kLogName, "w")) {
    run.log_disabled = 1;
    std::printf("Error: unable to open the log file.\n");
    return;
  }
  std::fprintf(run.log_file.fp, "Sim No.   Cost     Minimum Cost:  Parameter Values\n");
  std::fflush(run.log_file.fp);
  run.log_file.close();
}

void log_evaluation(SceRun& run, int number, double value, double fmin, const double* point) {
  run.io_settings.SetBatchMode(0);
  if (run.log_disabled) return;
  errno = 0;
  if (!run.log_file.open(kLogName, "a")) {
    DisableLog(run, "append to", errno);
    return;
  }
  std::FILE* fp = run.log_file.fp;
  std::fprintf(fp, "%-5d  %9.4lf %9.4lf  : ", number, value, fmin);
  for (int j = 1; j <= run.settings.nparam; ++j) std::fprintf(fp, " %le", point[j]);
  std::fprintf(fp, "\n");
  std::fflush(fp);
  bool failed = std::ferror(fp) != 0;
  int error = errno;
  run.log_file.close();
  if (failed) DisableLog(run, "write", error != 0 ? error : EIO);
}

double evaluate_point(SceRun& run, const double* point, int& eval_no, double& fmin) {
  double value = objective(run, point);
  if (value < fmin) fmin = value;
  log_evaluation(run, eval_no, value, fmin, point);
  ++eval_no;
  return value;
}
