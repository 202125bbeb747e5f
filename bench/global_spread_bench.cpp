// The global methods with their model runs spread over two processes, against one process,
// on the example examples/grid_lake (a 150 x 150 hydro grid and a lake: twelve adjustable
// parameters, a model run of 50 to 100 ms on a two-core machine):
//
//   multistart    "-ms grid" with the example's ms.in: 8 starts, their sample runs and the
//                 8 local searches, each search made on one process; target speed-up 1.7;
//   MLSL samples  the sample phase of "-mlsl grid" (the sample runs MLSL makes in each
//                 iteration, as one batch), 24 samples, with the working copies made before
//                 it as a run of MLSL makes them at its first model run; median of three;
//                 target speed-up 1.8.
//
// Every figure also from processor seconds (the one process's against the larger of the two
// processes' shares, process 1's read from /proc), and each spread run's results are checked
// against those of the run alone. Run from a copy of the example directory under mpirun with
// two processes on one machine (bench/global_spread_bench.sh does all of it).
//
//   bench_global_spread
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "bench_steps.h"
#include "global/global_problem.h"
#include "global/multistart.h"
#include "global/sample_runs.h"
#include "global/search_spread.h"
#include "quiet_stdout.h"
#include "spread_bench_steps.h"

// The one partition object of the process, built before main as tarne's.
tarne::mpi_setup process_partition;

namespace {

using bench_steps::Check;
using bench_steps::Clock;
using bench_steps::SecondsSince;
using spread_bench::CpuSeconds;
using spread_bench::CpuSpeedUp;

// The tag under which process 1 tells rank 0 its process id at the start.
constexpr int kPidMessage = 1001;
// The samples of the measured sample phase.
constexpr long kSamples = 24;

// Processor seconds of process pid and of the commands it waited for, from /proc (the
// processes run on one machine).
double CpuSecondsOf(long pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  std::getline(stat, line);
  // The fields after the command name, which ends with the last ")": utime, stime, cutime and
  // cstime are fields 14 to 17 of the line.
  std::istringstream fields(line.substr(line.rfind(')') + 2));
  std::string field;
  double ticks = 0.0;
  for (int i = 3; i <= 17 && fields >> field; ++i) {
    if (i >= 14) ticks += std::stod(field);
  }
  return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// What one measured step took on both processes.
struct Measured {
  double wall = 0.0;
  double cpu = 0.0;        // rank 0's processor seconds
  double other_cpu = 0.0;  // process 1's
  std::string result;      // what must be the same alone and spread
};

// Times step (which returns its result) on both processes.
Measured Time(long other, const std::function<std::string()>& step) {
  Measured measured;
  const Clock::time_point start = Clock::now();
  const double cpu = CpuSeconds(), other_cpu = CpuSecondsOf(other);
  {
    QuietStdout quiet;
    measured.result = step();
  }
  measured.wall = SecondsSince(start);
  measured.cpu = CpuSeconds() - cpu;
  measured.other_cpu = CpuSecondsOf(other) - other_cpu;
  return measured;
}

// "-ms grid" as the tool runs it; its result is the case's and the method's record.
std::string Multistart() {
  std::string words[] = {"tarne", "-ms", "grid"};
  char* argv[] = {words[0].data(), words[1].data(), words[2].data(), nullptr};
  Check(RunMultistart(&process_partition, 3, argv) == 0, "-ms grid");
  return bench_steps::ReadText("grid.rec") + bench_steps::ReadText("slm_kor_ms1.rec");
}

// A case of "-mlsl grid" loaded as MLSL loads it, its runs spread when spread is true (the
// working copies made at once).
class SampleCase {
 public:
  explicit SampleCase(bool spread) {
    std::string words[] = {"tarne", "-mlsl", "grid"};
    char* argv[] = {words[0].data(), words[1].data(), words[2].data(), nullptr};
    QuietStdout quiet;
    Check(LoadGlobalProblem(&process_partition, 3, argv, "slm_kor_mlsl", problem_).go_on,
          "the case");
    if (spread) RunSpread::Of(&process_partition)->Prepare(problem_.record, problem_.option);
  }

  // The sample phase; its result is every sample's total objective.
  std::string SamplePhase() {
    SeedsFile seeds;
    SampleSource source(1, seeds, SeedWrite::kDerivedUnlessAfterFailure);
    SampleTable table;
    RunSamples(problem_, source, kSamples, 0, table, [](const SampleRun&) {});
    std::string totals;
    for (const Objectives& objectives : table.objectives) {
      totals += std::to_string(objectives[0]) + "\n";
    }
    return totals;
  }

 private:
  GlobalProblem problem_;
};

// The step alone and spread, times over (the medians of their wall clocks, the processor
// seconds of the runs at the medians); prints two lines. make_step(spread) sets up and
// returns the step, outside the timing.
void Compare(const char* what, long other, int times, double target,
             const std::function<std::function<std::string()>(bool spread)>& make_step) {
  std::vector<Measured> runs[2];
  std::vector<double> walls[2];
  for (int i = 0; i < times; ++i) {
    for (int spread = 0; spread < 2; ++spread) {
      std::unique_ptr<spread_bench::MeasuredSpread> spread_runs;
      if (spread == 1) {
        spread_runs = std::make_unique<spread_bench::MeasuredSpread>(process_partition);
      }
      runs[spread].push_back(Time(other, make_step(spread == 1)));
      if (spread_runs) spread_runs->End();
      walls[spread].push_back(runs[spread].back().wall);
    }
    Check(runs[1].back().result == runs[0].back().result, "the same results alone and spread");
  }
  Measured at[2];
  for (int spread = 0; spread < 2; ++spread) {
    const double median = bench_steps::Median(walls[spread]);
    for (const Measured& run : runs[spread]) {
      if (run.wall == median) at[spread] = run;
    }
  }
  std::printf("  %-28s %7.3f s alone, %7.3f s on 2 processes: speed-up %.2f [%.2f] (target "
              "%.1f)\n",
              what, at[0].wall, at[1].wall, at[0].wall / at[1].wall,
              CpuSpeedUp(at[0].cpu, at[1].cpu, at[1].other_cpu), target);
  std::printf("  %-28s processor seconds: %.3f alone; %.3f on rank 0 and %.3f on process 1\n",
              "", at[0].cpu, at[1].cpu, at[1].other_cpu);
  std::fflush(stdout);
}

void MeasureOnRankZero(long other) {
  std::printf("The global methods spread over 2 processes against 1, on grid (%s)\n",
              "examples/grid_lake: a 150 x 150 hydro grid and a lake");
  std::printf("  (wall clock; in brackets the same from processor seconds, the larger of the two "
              "processes' shares)\n");
  std::fflush(stdout);
  std::unique_ptr<SampleCase> samples;
  Compare("MLSL sample phase, 24 runs:", other, 3, 1.8, [&samples](bool spread) {
    samples = std::make_unique<SampleCase>(spread);
    return [&samples] { return samples->SamplePhase(); };
  });
  samples.reset();
  Compare("multistart, 8 starts:", other, 1, 1.7,
          [](bool) { return std::function<std::string()>(Multistart); });
}

}  // namespace

int main() {
  if (process_partition.total_threads != 2) {
    std::fprintf(stderr, "bench_global_spread: run it under mpirun with two processes "
                         "(bench/global_spread_bench.sh)\n");
    return 1;
  }
  if (process_partition.process_rank != 0) {
    MessageWriter pid;
    pid.Long(static_cast<long>(getpid()));
    process_partition.post_message(0, kPidMessage, pid.bytes());
    SearchServer searches(process_partition);
    return spread_bench::ServeMeasuredSpreads(
        process_partition, [&searches](const std::string& request, const SearchSite& site) {
          return searches.Serve(request, site);
        });
  }
  Message message;
  while (message.tag != kPidMessage) message = WaitForMessage(process_partition);
  long other = 0;
  MessageReader in(message.bytes);
  Check(in.Long(&other), "the process id of process 1");
  MeasureOnRankZero(other);
  spread_bench::EndMeasuring(process_partition);
  return 0;
}
