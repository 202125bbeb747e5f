#include "global/multistart.h"

#include <cstdint>
#include <cstdio>
#include <memory>

#include "global/global_method.h"
#include "global/global_problem.h"
#include "global/local_search.h"
#include "global/method_input.h"
#include "global/method_report.h"
#include "global/sample_runs.h"
#include "global/search_spread.h"
#include "pest/parameters.h"

namespace {

const MethodNames kNames = {
    "\nUsing the multistart stochastic global optimization method,\n",
    "Multistart uses the (Secant) Levenberg-Marquardt local search method,\n",
    "ms.in",
    "slm_kor_ms1.rec",
    "slm_kor_ms1",
    "slm_kor_ms1.rst",
    "parameters.prn",
};

// What "ms.in" asks for: the first state of the seed chain and the number of samples, which
// is also the number of local searches.
struct MultistartInput {
  std::uint32_t seed = 0;
  long runs = 0;
};

// Multistart always writes the seeds file.
bool ReadMultistartInput(InputReader& in, MultistartInput& input, SeedsFile::Mode& seeds) {
  seeds = SeedsFile::Mode::kWrite;
  return in.Seed("the random seed", input.seed) &&
         in.Count("the number of pre-inversion runs", 0, input.runs);
}

// The lowest final total objective of the local searches and the search it came from.
struct Lowest {
  double objective = kInfiniteObjective;
  long run = 0;
};

// Everything a multistart run keeps from its first sample to its summary.
struct MultistartState {
  SampleTable samples;
  short sampling_status = 0;  // the status of the last sample run
  short status = 0;           // the status of the last step
  dvector left;               // the parameters the last local search left
  Lowest lowest;
};

// A search's result against the lowest so far: a failed search, taken as infinite, never is.
void NoteLowest(Lowest& lowest, const SearchOutcome& outcome, long run) {
  if (outcome.objectives[0] < lowest.objective) lowest = {outcome.objectives[0], run};
}

// One multistart run: the sample runs, then a local search from every sample in the order
// drawn, reported side by side in "slm_kor_ms1.rec".
class Multistart : GlobalMethod<MultistartInput> {
 public:
  Multistart(GlobalProblem& problem, const MultistartInput& input, std::FILE* rec,
             std::FILE* sample_file, SeedsFile& seeds)
      : GlobalMethod(problem, input, rec, seeds, SeedWrite::kDrawnEverySample),
        sample_file_(sample_file) {}

  short Run() {
    SamplingPhase();
    if (Halted()) return 1;
    state_.status = state_.sampling_status;
    if (state_.status == 0) {
      WriteSearchRunsHeading(rec_);
      SearchPhase();
      if (Halted()) return 1;
    }
    PrintSummary();
    return state_.status;
  }

 private:
  // The samples and their model runs. The control section of slm_kor_ms1.rec follows the
  // first sample, so that N = 0 leaves it out. A failed sample run does not stop the phase:
  // its point still gets its local search.
  void SamplingPhase() {
    state_.sampling_status = RunSamples(settings_.runs, 0, state_.samples,
                                        [this](const SampleRun& run) { ReportSample(run); });
  }

  // A full local search from every sample in the order drawn, each on a fresh engine state
  // with every parameter (fixed and tied included) loaded from its starting point. Under
  // mpirun the searches are made at once, each on one process, and taken in this order.
  void SearchPhase() {
    const std::unique_ptr<SearchSpread> spread =
        SearchSpread::For(problem_, state_.samples.points);
    for (long r = 1; r <= settings_.runs; ++r) {
      // After a failed search the next one starts from the parameters the failed one left
      // instead of its own point, as the method has it. Its table still shows the point and
      // the sample objectives of its own number.
      const bool from_sample = state_.status == 0;
      if (!from_sample) PrintStartAfterFailure(r);
      const dvector& point = state_.samples.points[r - 1];
      const dvector& start = from_sample ? point : state_.left;
      // A search a resumed run takes from the method's restart file (finished, or under way)
      // is taken as on one process.
      const bool spread_now = spread && !problem_.method_restart.Replaying();
      const SearchOutcome outcome =
          spread_now ? spread->Next(r, start) : RunLocalSearch(problem_, start);
      if (Halted()) return;
      state_.status = outcome.status;
      state_.left = outcome.end;
      NoteLowest(state_.lowest, outcome, r);
      ReportSearch(r, outcome);
    }
  }

  // ---- Reports --------------------------------------------------------------------------

  // One line of "parameters.prn": every parameter (fixed and tied included) in natural units.
  void WriteSampleFileRow(const dvector& point) {
    for (int k = 1; k <= record_.NPAR; ++k) {
      std::fprintf(sample_file_, "%.12E\t", NaturalValue(record_.parameters[k], point[k]));
    }
    std::fprintf(sample_file_, "\n");
    std::fflush(sample_file_);
  }

  void ReportSample(const SampleRun& run) {
    WriteSampleFileRow(run.point);
    if (run.number == 1) {
      const ControlValue runs = ControlValue::Count(
          "Number of pre-inversion runs to carry out                   : ", settings_.runs);
      WriteControlSection(rec_, "CT_MS1", settings_.seed, {runs}, problem_.names.base);
      WriteSampleRunsHeading(rec_, record_);
    }
    WriteValuesRow(rec_, record_, run.point, run.objectives, Digits::kFixed);
  }

  void PrintStartAfterFailure(long r) {
    std::printf("\nLocal search %ld starts from the parameters the failed local search %ld "
                "left, not from its sample.\n", r, r - 1);
  }

  void ReportSearch(long r, const SearchOutcome& outcome) {
    if (outcome.status != 0) {
      std::printf("\nLocal search %ld failed; its optimised objective functions are taken "
                  "as infinite.\n", r);
    }
    WriteCtRunResults(rec_, r, record_,
                      {state_.samples.points[r - 1], outcome.end,
                       state_.samples.objectives[r - 1], outcome.objectives},
                      Digits::kFixed);
  }

  void PrintSummary() {
    const Lowest& lowest = state_.lowest;
    if (settings_.runs == 0) {
      std::printf("\nNo local search was run: %s asks for 0 pre-inversion runs.\n",
                  kNames.input_file);
    } else if (state_.sampling_status != 0) {
      std::printf("\nNo local search was run: the last pre-inversion sample run failed.\n");
    } else if (lowest.run == 0) {
      std::printf("\nNo local search ended successfully, so there is no lowest objective "
                  "function.\n");
    } else {
      std::printf("\nLowest objective function of all local searches: %lf, from local search "
                  "%ld of %ld\n", lowest.objective, lowest.run, settings_.runs);
    }
  }

  std::FILE* sample_file_;
  MultistartState state_;
};

}  // namespace

short RunMultistart(tarne::mpi_setup* partition, int argc, char** argv) {
  GlobalProblem problem;
  MethodFiles files;
  MultistartInput input;
  const StartUp start = StartGlobalMethod(
      kNames, partition, argc, argv,
      [&input](InputReader& in, SeedsFile::Mode& seeds) {
        return ReadMultistartInput(in, input, seeds);
      },
      problem, files);
  if (!start.go_on) return start.status;
  Multistart method(problem, input, files.rec.get(), files.sample_file.get(), files.seeds);
  return FinishGlobalMethod(problem, method.Run());
}
