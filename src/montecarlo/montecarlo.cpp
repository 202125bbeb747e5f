#include "montecarlo/montecarlo.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "modellib/file_error.h"
#include "montecarlo/crt_random.h"

namespace {

// The partition object reports at least one partition; a zero or negative count is taken
// as one so that dividing the samples over the partitions is always defined.
long PartitionCount(const tarne::mpi_setup& partition) {
  return partition.partition_count > 0 ? partition.partition_count : 1;
}

// The reason text of the last failed C library call, or none when errno was not set.
const char* ErrnoReason() { return errno != 0 ? std::strerror(errno) : ""; }

}  // namespace

bool IsBetterObjective(double candidate, double best) {
  if (std::isnan(candidate)) return false;
  if (std::isnan(best)) return true;
  return std::fabs(best) > std::fabs(candidate);
}

montecarlo::montecarlo(tarne::mpi_setup* partition_object, long runs_per_partition,
                       const char* input_file)
    : partition(partition_object), log_file(nullptr), runs(runs_per_partition) {
  montecarlo::read_input(input_file);
  if (!input_ok) return;
  // Each process of a run draws its own sequence: the seed is the time plus the rank.
  const long long seed = static_cast<long long>(std::time(nullptr)) + partition->process_rank;
  crt_srand(static_cast<std::uint32_t>(static_cast<unsigned long long>(seed)));
  partition_id = partition->partition_id;
  leader = partition->rank_in_partition == 0 ? 1 : 0;
  best_params.assign(static_cast<std::size_t>(num_params) + 1, 0.0);
  observed = std::make_unique<tarne::observed_data>();
  // A failed read is the model's business: its objective decides what missing data means.
  // Under several processes it stops the run before the first sample (run_monte_carlo).
  observations_read_ = observed->read_observed_weighted_peakvol(observation_file) != -1;
}

bool montecarlo::model_inputs_read() {
  if (!input_ok || !observations_read_) return false;
  tarne::tarne_sim sim(partition);
  return sim.check_calib_inputs(second_path, project_file) == 0;
}

montecarlo::~montecarlo() = default;

void montecarlo::sample() {
  if (leader) {
    for (std::int32_t i = 1; i <= num_params; ++i) {
      current[i] = lower[i] + crt_fraction() * (upper[i] - lower[i]);
    }
  } else {
    std::fill(current.begin(), current.end(), 0.0);
  }
  partition->communicate_across_partition(num_params + 1, current.data());
}

double montecarlo::evaluate(tarne::tarne_sim& sim) {
  return sim.main_calib(second_path, project_file, current.data(), observed.get(), num_params,
                        "temp", partition->process_rank);
}

int montecarlo::run() {
  if (!input_ok) {
    std::printf("Error: unable to read the input monte carlo file.\n");
    return 0;
  }
  for (long i = 0; i < runs; ++i) {
    sample();
    // A fresh model run object per sample; it lives on the heap because the library's
    // object is large.
    auto sim = std::make_unique<tarne::tarne_sim>(partition);
    const double value = evaluate(*sim);
    if (leader) log_sample(*sim, value);
    track_best(value);
    observed->print_results(partition->process_rank, partition_id, partition->rank_in_partition,
                            partition->partition_size, partition->partition_count, runs,
                            runs / PartitionCount(*partition), sim.get());
  }
  return 1;
}

bool montecarlo::open_log(const tarne::tarne_sim& sim) {
  char name[64];
  std::snprintf(name, sizeof name, "log_file_p%ld.log", partition_id);
  char path[tarne::kPathMax];
  if (!sim.getGopenName(name, "w", path, sizeof path, true)) {
    std::printf("Warning: %s; the samples of this run are not logged.\n",
                FileErrorMessage("create", name, 0, "its path is too long").c_str());
    write_failed_ = true;
    return false;
  }
  log_path_ = path;
  // A log left by an earlier run with the same name is continued without a second header.
  tarne::gFILE probe(nullptr);
  const bool exists = probe.open(path, "r");
  probe.close();
  errno = 0;
  if (!log_file.open(path, exists ? "a" : "w")) {
    std::printf("Warning: %s; the samples of this run are not logged.\n",
                FileErrorMessage(exists ? "append to" : "create", path, 0, ErrnoReason()).c_str());
    write_failed_ = true;
    return false;
  }
  if (!exists) {
    std::fprintf(log_file.fp, "Cost  \t");
    sim.WriteFileHeader(log_file.fp);
    std::fprintf(log_file.fp, "\n");
  }
  return true;
}

void montecarlo::log_sample(const tarne::tarne_sim& sim, double value) {
  if (log_failed_) return;
  if (log_file.fp == nullptr && !open_log(sim)) {
    log_failed_ = true;
    return;
  }
  std::FILE* fp = log_file.fp;
  errno = 0;
  std::fprintf(fp, "%lf\t", value);
  for (std::int32_t i = 1; i <= num_params; ++i) std::fprintf(fp, "%le\t", current[i]);
  std::fprintf(fp, "\n");
  if (std::fflush(fp) != 0 || std::ferror(fp)) {
    std::printf("Warning: %s; the remaining samples of this run are not logged.\n",
                FileErrorMessage("write", log_path_.c_str(), 0, ErrnoReason()).c_str());
    log_failed_ = true;
    write_failed_ = true;
    log_file.close();
  }
}

void montecarlo::track_best(double value) {
  if (samples_tracked == 0 || IsBetterObjective(value, best_value)) {
    best_value = value;
    std::copy(current.begin() + 1, current.end(), best_params.begin() + 1);
  }
  ++samples_tracked;
}

void montecarlo::print_best(double value, const double* parameters) {
  std::printf("\n\nBest objective function value: %lf\nParameters:\n ", value);
  for (std::int32_t i = 1; i <= num_params; ++i) std::printf("%lf ", parameters[i]);
  std::printf("\n");
  tarne::gFILE best(nullptr);
  if (!best.open("best.out", "w")) {
    std::printf("Warning: Unable to open the best.out file. Only printing results to stdout.\n");
    write_failed_ = true;
    return;
  }
  errno = 0;
  std::fprintf(best.fp, "%lf:  ", value);
  for (std::int32_t i = 1; i <= num_params; ++i) std::fprintf(best.fp, "%le ", parameters[i]);
  std::fprintf(best.fp, "\n");
  if (std::fflush(best.fp) != 0 || std::ferror(best.fp)) {
    std::printf("Warning: %s. Only printing results to stdout.\n",
                FileErrorMessage("write", "best.out", 0, ErrnoReason()).c_str());
    write_failed_ = true;
  }
}

void montecarlo::report_best() {
  std::fflush(stdout);
  const bool reporter = partition->total_threads <= 1 || partition->process_rank == 0;
  // Every process runs the same number of samples, so either all of them have a best set
  // or none has, and they skip the exchange together.
  if (samples_tracked == 0) {
    if (reporter) {
      std::printf("\n\nNo Monte Carlo sample was run (%ld samples per partition over %ld "
                  "partitions): there is no best parameter set, and best.out was not written.\n",
                  runs, PartitionCount(*partition));
    }
    return;
  }
  if (partition->total_threads <= 1) {
    print_best(best_value, best_params.data());
    return;
  }
  report_across_partitions();
}

void montecarlo::report_across_partitions() {
  if (!leader) return;
  const long count = PartitionCount(*partition);
  const long width = num_params + 1;
  std::unique_ptr<double[]> values(partition->communicate_through_partitions(1, &best_value));
  std::unique_ptr<double[]> vectors(
      partition->communicate_through_partitions(width, best_params.data()));
  if (partition->process_rank != 0) return;
  if (values == nullptr || vectors == nullptr) {
    // Without the others' results the report can only show this partition's best.
    print_best(best_value, best_params.data());
    return;
  }
  // The partitions' bests are compared by the same rule as the samples within one.
  long best = 0;
  for (long p = 1; p < count; ++p) {
    if (IsBetterObjective(values[p], values[best])) best = p;
  }
  print_best(values[best], &vectors[best * width]);
}

namespace {

// How far a process got towards running samples; a run of several processes goes only as
// far as its least ready process.
enum Readiness { kInputUnread = 0, kModelInputsUnread = 1, kReady = 2 };

// With several processes all of them run or none does: a process that could not read the
// input, its observation file or the model's input files (a working directory or a forcing
// file missing on its machine, say) would leave the others waiting for it at the exchange
// of the best sets, or fail each of its samples while the others carry on. The leaders
// compare their readiness, and each hands the verdict on to the other members of its
// partition. (The Monte Carlo modes give every partition one member, so every process's own
// readiness counts.)
Readiness LeastReadyProcess(tarne::mpi_setup& partition, Readiness mine) {
  double verdict = mine;
  if (partition.rank_in_partition == 0) {
    std::unique_ptr<double[]> all(partition.communicate_through_partitions(1, &verdict));
    for (long p = 0; all != nullptr && p < PartitionCount(partition); ++p) {
      verdict = std::min(verdict, all[p]);
    }
  }
  partition.communicate_across_partition(1, &verdict);
  return static_cast<Readiness>(static_cast<int>(verdict));
}

// Readiness of this process; the observation file and the model's input files are checked
// only when several processes run, since one process alone leaves it to the model's
// evaluations what missing data means.
Readiness ReadinessOf(tarne::mpi_setup& partition, montecarlo& calibration) {
  if (!calibration.input_read()) return kInputUnread;
  if (partition.total_threads <= 1) return kReady;
  return calibration.model_inputs_read() ? kReady : kModelInputsUnread;
}

// Says why no sample runs when another process holds the run back; true when it did.
bool HeldBackByAnotherProcess(Readiness mine, Readiness least) {
  if (least == kInputUnread && mine != kInputUnread) {
    std::printf("Error: another process of the run could not read the input monte carlo "
                "file; no sample was run.\n");
    return true;
  }
  if (least == kModelInputsUnread) {
    if (mine == kModelInputsUnread) {
      std::printf("Error: unable to read the observation file or the model's input files; "
                  "no sample was run.\n");
    } else {
      std::printf("Error: another process of the run could not read its observation file or "
                  "the model's input files; no sample was run.\n");
    }
    return true;
  }
  return false;
}

}  // namespace

int run_monte_carlo(tarne::mpi_setup* partition, long total_samples, const char* input_file) {
  montecarlo calibration(partition, total_samples / PartitionCount(*partition), input_file);
  const Readiness mine = ReadinessOf(*partition, calibration);
  const Readiness least =
      partition->total_threads > 1 ? LeastReadyProcess(*partition, mine) : mine;
  // A process that could not read the input says so in the run loop.
  if (HeldBackByAnotherProcess(mine, least)) return 0;
  if (calibration.run() == 0) return 0;
  calibration.report_best();
  return calibration.results_written() ? 1 : 0;
}
