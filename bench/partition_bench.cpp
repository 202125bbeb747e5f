// Speed of the work spread over processes by the partition object, timed inside the
// processes so that the launcher's start-up is not counted:
//   mc <samples> <input>  the run of "tarne -m<samples> <input>": partitions of one process
//                         each, then run_monte_carlo; prints samples per second;
//   run <project>         the run of "tarne <project>": one partition of all processes, then
//                         one model run; prints its seconds (the fastest of three).
// Run it alone and under "mpirun -np 2" in the same directory; bench/mpi_bench.sh does both
// on the hydro example and prints the ratios. Rank 0 prints one line:
//   mc <processes> <samples> <seconds> <samples per second>
//   run <processes> <seconds>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "modellib/tarne_lib.h"
#include "montecarlo/montecarlo.h"
#include "quiet_stdout.h"

// The process-wide partition object, built before main as in tarne.
tarne::mpi_setup process_partition;

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

int Usage() {
  std::fprintf(stderr, "usage: bench_partition mc <samples> <input> | run <project>\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  tarne::mpi_setup& partition = process_partition;
  if (argc == 4 && std::strcmp(argv[1], "mc") == 0) {
    const long samples = std::atol(argv[2]);
    partition.SetupPartitions(1);
    double seconds = 0.0;
    {
      QuietStdout quiet;
      const auto start = Clock::now();
      // Ends with the gather of the best sets, so every process has finished its share.
      run_monte_carlo(&partition, samples, argv[3]);
      seconds = SecondsSince(start);
    }
    if (partition.process_rank == 0) {
      std::printf("mc %ld %ld %.3f %.1f\n", partition.total_threads, samples, seconds,
                  static_cast<double>(samples) / seconds);
    }
    return 0;
  }
  if (argc == 3 && std::strcmp(argv[1], "run") == 0) {
    partition.SetupPartitions(partition.total_threads);
    double best = 1e300;
    for (int round = 0; round < 3; ++round) {
      // The leader hands a value to every member: the members start together with it.
      double go = 1.0;
      partition.communicate_across_partition(1, &go);
      const auto start = Clock::now();
      auto sim = std::make_unique<tarne::tarne_sim>(&partition);
      // Ends with the members' agreement on the status, so all of them have finished.
      if (sim->main_tarne(argv[2], nullptr, argv[2]) != 0) return 1;
      best = std::min(best, SecondsSince(start));
    }
    if (partition.process_rank == 0) {
      std::printf("run %ld %.3f\n", partition.total_threads, best);
    }
    return 0;
  }
  return Usage();
}
