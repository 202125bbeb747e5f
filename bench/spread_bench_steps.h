// Shared by the benchmarks of the model runs spread over two processes (bench_slm_spread,
// bench_global_spread), run under mpirun with two processes: rank 0 measures, one process
// alone and then spread over both; process 1 serves every spread and tells rank 0 after
// each how much processor time it spent in it, so that a speed-up can also be given from
// processor seconds, which a machine whose cores other work keeps busy does not distort.
#pragma once

#include <sys/resource.h>

#include <algorithm>

#include "pest/run_messages.h"
#include "pest/run_spread.h"

namespace spread_bench {

// The exit status with which rank 0 ends one measured spread while another follows.
constexpr int kAnotherSpread = 100;
// The tag under which process 1 tells rank 0 its processor seconds in a spread.
constexpr int kCpuMessage = 1000;

// Processor seconds of this process and of the commands it waited for.
inline double CpuSeconds() {
  double seconds = 0.0;
  for (int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
    rusage usage{};
    getrusage(who, &usage);
    seconds += static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
               1e-6 * static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
  }
  return seconds;
}

// While it lives, the runs of rank 0's searches are spread over both processes. Ended, it
// gives the processor seconds process 1 spent meanwhile.
class MeasuredSpread {
 public:
  explicit MeasuredSpread(tarne::mpi_setup& partition)
      : partition_(partition), spread_(partition) {}
  double End() {
    spread_.End(kAnotherSpread, false);
    for (;;) {
      const Message message = WaitForMessage(partition_);
      double seconds = 0.0;
      MessageReader in(message.bytes);
      if (message.tag == kCpuMessage && in.Double(&seconds)) return seconds;
    }
  }

 private:
  tarne::mpi_setup& partition_;
  RunSpread spread_;
};

// Process 1: serves the spreads until rank 0 ends the last one (EndMeasuring), telling rank 0
// its processor seconds after each.
inline int ServeMeasuredSpreads(tarne::mpi_setup& partition,
                                const SearchHandler& searches = nullptr) {
  for (double start = CpuSeconds(); ServeRuns(partition, searches) == kAnotherSpread;
       start = CpuSeconds()) {
    MessageWriter cpu;
    cpu.Double(CpuSeconds() - start);
    partition.post_message(0, kCpuMessage, cpu.bytes());
    WaitUntilDelivered(partition);
  }
  return 0;
}

// Rank 0: the other process waits for one last end.
inline void EndMeasuring(tarne::mpi_setup& partition) {
  RunSpread last(partition);
  last.End(0, false);
}

// A speed-up from processor seconds: the one process's against the larger of the two
// processes' shares. On a machine whose cores other work keeps busy, two processes get no
// more processor time than one and the wall-clock figures cannot show a speed-up; this one
// says what a core for each process gives.
inline double CpuSpeedUp(double alone, double rank0, double other) {
  return alone / std::max(rank0, other);
}

}  // namespace spread_bench
