// The model runs of the Levenberg-Marquardt tool spread over two processes, against one
// process, on the example examples/grid_lake (a 150 x 150 hydro grid and a lake: twelve
// adjustable parameters, a model run of 50 to 100 ms on a two-core machine):
//
//   Jacobian     one Jacobian of the twelve parameters at the starting values (12 runs),
//                median of three, one process against two; target speed-up 1.8;
//   calibration  the whole calibration ("-slm grid"), one process against two; target 1.5;
//                with the Jacobian runs and lambda trials it made in each iteration;
//   dispatch     the cost of handing one run to a process and its outcome back to rank 0,
//                beyond the run itself: a batch of 200 runs of a model that costs almost
//                nothing, (2 T2 - T1) / 200 with T1 and T2 its time on one and on two
//                processes (what the two processes spend together beyond the one's work);
//                target under 1 ms;
//   outlook      from the run counts observed, the speed-up to expect at 4, 16, 64 and 256
//                processes for a problem of 50 adjustable parameters.
//
// Run from a copy of the example directory under mpirun with two processes
// (bench/slm_spread_bench.sh does all of it): rank 0 measures; process 1 makes model runs
// whenever rank 0 spreads them and waits, asleep, while rank 0 measures one process alone.
//
//   bench_slm_spread [CONTROL_NAME]      (default grid)
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "lm/lm_engine.h"
#include "lm/lm_state.h"
#include "lm/slm_driver.h"
#include "pest/control_file.h"
#include "pest/instruction_files.h"
#include "pest/jacobian.h"
#include "pest/model_runner.h"
#include "pest/parameters.h"
#include "pest/run_messages.h"
#include "pest/run_spread.h"
#include "pest/template_files.h"
#include "quiet_stdout.h"
#include "spread_bench_steps.h"

// The one partition object of the process, built before main as tarne's.
tarne::mpi_setup process_partition;

namespace {

using Clock = std::chrono::steady_clock;
using spread_bench::CpuSeconds;
using spread_bench::CpuSpeedUp;
using spread_bench::EndMeasuring;
using spread_bench::MeasuredSpread;
using spread_bench::ServeMeasuredSpreads;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

double Median(std::vector<double> samples) {
  std::sort(samples.begin(), samples.end());
  return samples[samples.size() / 2];
}

void Check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "benchmark step failed: %s\n", what);
  std::exit(1);
}

// A problem loaded as the tool loads it, with its case files open.
struct Case {
  ProblemRecord record;
  FileHandleTable templates, instructions;
  OutputNames names;
  CaseFileHolder files;
  ivector adjustable;

  explicit Case(const char* control_name) {
    QuietStdout quiet;
    Check(ReadControlFile(record, control_name) == 0, "control file");
    Check(OpenTemplateFiles(record, templates) == 0 && CheckTemplateFiles(record, templates) == 0,
          "template files");
    Check(OpenInstructionFiles(record, instructions) == 0, "instruction files");
    CountParameterTypes(record);
    SetTiedParameters(record);
    Check(FilesNamesForWrite(control_name, names) == 0 && files.Open(names, false), "case files");
    adjustable = AdjustableList(record);
  }
};

// What a measured phase took: the median wall time of its repetitions, and the processor
// seconds of one repetition on rank 0 and on process 1 (added by the caller).
struct Cost {
  double wall = 0.0;
  double cpu = 0.0;
  double other_cpu = 0.0;
};

// One Jacobian at the starting values (after the base run), `times` over; the post-run
// command is left out when `command` is false. Rank 0's processor seconds are those of one.
Cost JacobianCost(const char* control_name, int times, bool command, long* runs) {
  Case c(control_name);
  if (!command) c.record.POSTBATCH[0] = '\0';
  long calls = 0;
  ModelRunner runner(c.record, &process_partition, "-slm", c.instructions, calls);
  matrix jacobian(1, c.record.NOBS, 1, static_cast<long>(c.adjustable.size()));
  std::vector<double> seconds;
  QuietStdout quiet;
  Check(runner.Run(kBaseSlot, RunKind::kSearch) == 0, "base run");
  Cost cost;
  for (int i = 0; i < times; ++i) {
    const long before = calls;
    int position = 0;
    const Clock::time_point start = Clock::now();
    const double cpu_start = CpuSeconds();
    Check(CalculateJacobian(runner, c.adjustable, jacobian, 0, 1, position) == 0, "Jacobian");
    seconds.push_back(SecondsSince(start));
    cost.cpu += (CpuSeconds() - cpu_start) / times;
    *runs = calls - before;
  }
  cost.wall = Median(seconds);
  return cost;
}

// What one whole calibration took and made.
struct Calibration {
  double seconds = 0.0;
  double cpu = 0.0;        // rank 0's processor seconds
  double other_cpu = 0.0;  // process 1's, when spread
  long model_calls = 0;
  std::vector<long> jacobian_runs;  // by iteration
  std::vector<long> lambda_trials;  // by iteration
};

Calibration Calibrate(const char* control_name) {
  Case c(control_name);
  LmContext context{c.record, c.names, c.files.files(), c.templates, c.instructions,
                    &process_partition, "-slm", false};
  LmState state = PrepareLocalSearch(c.record, CurrentParameterValues(c.record),
                                     c.record.RLAMBDA1);
  // The Jacobian of iteration n makes CountJacobianRuns runs with the switch flag it starts
  // with; the rest of the calls between two iteration starts are its lambda trials.
  Calibration result;
  std::vector<long> calls_at_start;
  auto iteration_starts = [&](const LmState& s, const ProblemRecord& r) {
    calls_at_start.push_back(s.model_calls);
    result.jacobian_runs.push_back(CountJacobianRuns(r, s.switch_flag, ivector(), s.n));
  };
  SearchObserver observer;
  observer.after_initial_run = [&](const LmState& s, const ProblemRecord& r) {
    LmState first = s;
    first.n = 1;
    iteration_starts(first, r);
  };
  observer.at_iteration_start = iteration_starts;
  const Clock::time_point start = Clock::now();
  const double cpu_start = CpuSeconds();
  {
    QuietStdout quiet;
    Check(RunLevenbergMarquardt(context, state, &observer) == 0, "calibration");
  }
  result.seconds = SecondsSince(start);
  result.cpu = CpuSeconds() - cpu_start;
  result.model_calls = state.model_calls;
  calls_at_start.push_back(state.model_calls);
  // The last start seen may be one that a termination test ended at once.
  for (std::size_t i = 0; i + 1 < calls_at_start.size(); ++i) {
    const long made = calls_at_start[i + 1] - calls_at_start[i];
    if (made == 0) break;
    result.lambda_trials.push_back(made - result.jacobian_runs[i]);
  }
  result.jacobian_runs.resize(result.lambda_trials.size());
  return result;
}

// A problem of 100 parameters whose model costs almost nothing (an external project that
// only writes its parameters, no post-run command), with three-point derivatives: one
// Jacobian is a batch of 200 runs.
void WriteCheapProblem() {
  const int n = 100;
  std::string pst = "pcf\n* control data\nnorestart estimation\n" + std::to_string(n) + " " +
                    std::to_string(n) + " 1 0 1\n1 1 single point 1 0 0\n"
                    "5.0 2.0 0.3 0.03 10\n5.0 5.0 0.001 0\n0.1 noaui\n1 0.005 4 4 0.005 4\n"
                    "0 0 0\n0 0 0.9 2 0.01\ncheap.prj\n* parameter groups\n"
                    "g relative 0.01 0.0 always_3 2.0 outside_pts\n* parameter data\n";
  std::string project = "kind external\nreplace tarne.in\nvalues values.in\noutput cheap.out\n";
  std::string template_text = "ptf $\n", instructions = "pif #\n", observations;
  for (int k = 1; k <= n; ++k) {
    const std::string name = "p" + std::to_string(k);
    pst += name + " none relative " + std::to_string(k) + ".0 -1000 1000 g 1.0 0.0 1\n";
    project += "parameter " + name + " [" + name + "]\n";
    template_text += "$" + name + "     $\n";
    instructions += "l1 w !o" + std::to_string(k) + "!\n";
    observations += "o" + std::to_string(k) + " " + std::to_string(k) + ".0 1 obs\n";
  }
  pst += "* observation groups\nobs\n* observation data\n" + observations +
         "* model command line\nnone true\n* model input/output\ncheap.tpl cheap.txt\n"
         "cheap.ins cheap.out\n* prior information\n";
  for (const auto& [path, text] :
       {std::pair<const char*, const std::string&>{"cheap.pst", pst}, {"cheap.prj", project},
        {"cheap.tpl", template_text}, {"cheap.ins", instructions}}) {
    std::FILE* file = std::fopen(path, "w");
    Check(file != nullptr, path);
    std::fputs(text.c_str(), file);
    std::fclose(file);
  }
}

// The time of the observed calibration's iterations, in model runs, rescaled to
// `parameters` adjustable parameters and spread over `processes` (each Jacobian in rounds
// of `processes` runs, the lambda trials one after the other, plus the initial and the
// final run), against one process.
double ExpectedSpeedUp(const Calibration& observed, int adjustable, int parameters,
                       long processes, double dispatch_runs) {
  double alone = 2.0, spread = 2.0;
  for (std::size_t i = 0; i < observed.jacobian_runs.size(); ++i) {
    const double per_parameter = static_cast<double>(observed.jacobian_runs[i]) / adjustable;
    const long runs = std::lround(per_parameter * parameters);
    alone += static_cast<double>(runs + observed.lambda_trials[i]);
    spread += static_cast<double>((runs + processes - 1) / processes + observed.lambda_trials[i]) +
              static_cast<double>(runs) * dispatch_runs;
  }
  return alone / spread;
}

void MeasureOnRankZero(const char* control_name) {
  std::printf("The model runs of -slm spread over 2 processes against 1, on %s (%s)\n",
              control_name, "examples/grid_lake: a 150 x 150 hydro grid and a lake");
  std::printf("  (wall clock; in brackets the same from processor seconds, the larger of the two "
              "processes' shares)\n");
  std::fflush(stdout);
  long runs = 0;
  const Cost jacobian1 = JacobianCost(control_name, 3, true, &runs);
  Cost jacobian2;
  {
    MeasuredSpread spread(process_partition);
    jacobian2 = JacobianCost(control_name, 3, true, &runs);
    jacobian2.other_cpu = spread.End() / 3.0;
  }
  std::printf("  one model run:               %7.1f ms (%.1f ms of processor time)\n",
              jacobian1.wall / static_cast<double>(runs) * 1e3,
              jacobian1.cpu / static_cast<double>(runs) * 1e3);
  std::printf("  Jacobian phase (%ld runs):   %7.3f s alone, %.3f s on 2 processes: speed-up "
              "%.2f [%.2f] (target 1.8)\n",
              runs, jacobian1.wall, jacobian2.wall, jacobian1.wall / jacobian2.wall,
              CpuSpeedUp(jacobian1.cpu, jacobian2.cpu, jacobian2.other_cpu));
  std::fflush(stdout);

  const Calibration alone = Calibrate(control_name);
  Calibration two;
  {
    MeasuredSpread spread(process_partition);
    two = Calibrate(control_name);
    two.other_cpu = spread.End();
  }
  Check(two.model_calls == alone.model_calls, "the same model calls");
  std::printf("  whole calibration (%ld runs): %6.3f s alone, %.3f s on 2 processes: speed-up "
              "%.2f [%.2f] (target 1.5)\n",
              alone.model_calls, alone.seconds, two.seconds, alone.seconds / two.seconds,
              CpuSpeedUp(alone.cpu, two.cpu, two.other_cpu));
  std::printf("  runs by iteration (Jacobian + lambda trials):");
  long jacobian_total = 0, trial_total = 0;
  for (std::size_t i = 0; i < alone.jacobian_runs.size(); ++i) {
    std::printf(" %ld+%ld", alone.jacobian_runs[i], alone.lambda_trials[i]);
    jacobian_total += alone.jacobian_runs[i];
    trial_total += alone.lambda_trials[i];
  }
  std::printf("\n");
  std::fflush(stdout);

  WriteCheapProblem();
  long cheap_runs = 0;
  const Cost cheap1 = JacobianCost("cheap", 5, false, &cheap_runs);
  Cost cheap2;
  {
    MeasuredSpread spread(process_partition);
    cheap2 = JacobianCost("cheap", 5, false, &cheap_runs);
    cheap2.other_cpu = spread.End() / 5.0;
  }
  const double runs200 = static_cast<double>(cheap_runs);
  const double dispatch = (2.0 * cheap2.wall - cheap1.wall) / runs200;
  const double dispatch_cpu = (cheap2.cpu + cheap2.other_cpu - cheap1.cpu) / runs200;
  std::printf("  dispatch of one run:         %7.3f ms [%.3f ms] beyond the run (a batch of %ld "
              "runs of %.3f ms: %.3f s alone, %.3f s on 2 processes; target under 1 ms)\n",
              dispatch * 1e3, dispatch_cpu * 1e3, cheap_runs, cheap1.wall / runs200 * 1e3,
              cheap1.wall, cheap2.wall);

  const double run_seconds = jacobian1.cpu / static_cast<double>(runs);
  const int adjustable = static_cast<int>(Case(control_name).adjustable.size());
  std::printf("  expected speed-up for 50 adjustable parameters, from the %zu iterations "
              "above (%.2f Jacobian runs per parameter and %.2f lambda trials an iteration):\n",
              alone.jacobian_runs.size(),
              static_cast<double>(jacobian_total) /
                  (static_cast<double>(alone.jacobian_runs.size()) * adjustable),
              static_cast<double>(trial_total) / static_cast<double>(alone.lambda_trials.size()));
  for (long processes : {4L, 16L, 64L, 256L}) {
    std::printf("    %3ld processes: %5.1f\n", processes,
                ExpectedSpeedUp(alone, adjustable, 50, processes,
                                std::max(dispatch_cpu, 0.0) / run_seconds));
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (process_partition.total_threads != 2) {
    std::fprintf(stderr, "bench_slm_spread: run it under mpirun with two processes "
                         "(bench/slm_spread_bench.sh)\n");
    return 1;
  }
  if (process_partition.process_rank != 0) return ServeMeasuredSpreads(process_partition);
  MeasureOnRankZero(argc > 1 ? argv[1] : "grid");
  EndMeasuring(process_partition);
  return 0;
}
