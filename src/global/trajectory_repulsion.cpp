#include "global/trajectory_repulsion.h"

#include <cmath>
#include <cstdio>
#include <limits>

#include "global/global_method.h"
#include "global/global_problem.h"
#include "global/local_search.h"
#include "global/method_input.h"
#include "global/method_report.h"
#include "global/sampling.h"

namespace {

const MethodNames kNames = {
    "\nUsing the trajectory repulsion stochastic global optimization method,\n",
    "Trajectory repulsion uses the (Secant) Levenberg-Marquardt local search method,\n",
    "tr.in",
    "slm_kor_ms2.rec",
    "slm_kor_ms2",
    "slm_kor_ms2.rst",
    nullptr,
};

bool ReadSettings(InputReader& in, TrSettings& s) {
  return ReadSeedSettings(in, s.seeds_word, s.seed) &&
         in.Count("Npre (the number of pre-inversion runs)", 0, s.Npre) &&
         in.Count("Nct (the maximum number of CT runs)", 0, s.Nct) &&
         in.Count("Nstall (the CT runs without improvement that stop the method)", 0,
                  s.Nstall) &&
         ReadImprovementFraction(in, s.f);
}

// All of "tr.in", after the note on the seeds.
bool ReadTrInput(InputReader& in, TrSettings& s) {
  PrintSeedsNote();
  return ReadSettings(in, s);
}

// Where a CT run starts: a sample, or where the failed run before it left off.
struct CtStart {
  long sample = 0;  // 0: the parameters the failed run left
  dvector point;
  Objectives objectives;  // the sample's; not known after a failed run
};

// Everything a trajectory repulsion run keeps from its first sample to its final lines.
struct TrState {
  TrProgress progress;
  TrSamples samples;
  Trajectory trajectory{false};
  dvector left;  // the parameters the last CT run left
  long model_calls = 0;
  long runs = 0;  // CT runs made
  bool last_run_failed = false;
  short status = 0;  // the status of the last sample run or CT run
};

bool CtRunsStalled(const TrProgress& progress, const TrSettings& settings) {
  return progress.s.Reached(settings.Nstall);
}

bool CtRunLimitReached(long r, const TrSettings& settings) { return r + 1 > settings.Nct; }

// One trajectory repulsion run from the first sample to the final lines.
class TrajectoryRepulsion : GlobalMethod<TrSettings> {
 public:
  using GlobalMethod::GlobalMethod;

  short Run() {
    state_.model_calls = settings_.Npre;  // the sample runs count one model call each
    state_.status = RunSamples(settings_.Npre, 0, state_.samples,
                               [this](const SampleRun& run) { ReportSample(run); });
    if (Halted()) return 1;
    OrderSamples();
    WriteSearchRunsHeading(rec_);
    for (long r = 1; r <= settings_.Nct; ++r) {
      CtStart start;
      if (!NextStart(start)) {
        WriteNoStartLeft(r);
        break;
      }
      if (start.sample == 0) PrintStartAfterFailure(r);
      const SearchOutcome outcome = CtRun(start);
      if (Halted()) return 1;
      ReportCtRun(r, start, outcome);
      if (AfterCtRun(state_.progress, r, outcome.objectives[0], settings_)) break;
    }
    WriteFinalLines();
    PrintSummary();
    return state_.status;
  }

 private:
  // ---- Steps ------------------------------------------------------------------------------

  // The samples by ascending total objective, none of them used yet.
  void OrderSamples() {
    TrSamples& samples = state_.samples;
    const long n = static_cast<long>(samples.points.size());
    dvector totals(n);
    for (long m = 1; m <= n; ++m) {
      samples.totals.push_back(RankingValue(samples.objectives[m - 1][0]));
      totals[m] = samples.totals.back();
    }
    samples.used.assign(static_cast<size_t>(n), false);
    const ivector order = indexx(n, totals);
    for (long x = 1; x <= n; ++x) samples.order.push_back(order[x]);
  }

  // The start of the next CT run; false when no sample is left to start it from. After a
  // failed run the next one goes on from the parameters that run left, as the start of a
  // fresh search whose objective is not known.
  bool NextStart(CtStart& start) {
    if (state_.last_run_failed) {
      start.point = state_.left;
      start.objectives.assign(static_cast<size_t>(record_.NOBSGP) + 1,
                              std::numeric_limits<double>::quiet_NaN());
      return true;
    }
    TrSamples& samples = state_.samples;
    const long m = ChooseStartSample(record_, samples, state_.trajectory);
    if (m == 0) return false;
    samples.used[m - 1] = true;
    start.sample = m;
    start.point = samples.points[m - 1];
    start.objectives = samples.objectives[m - 1];
    state_.trajectory.Add(start.point);
    return true;
  }

  SearchOutcome CtRun(const CtStart& start) {
    SearchOutcome outcome = RunLocalSearch(problem_, start.point, &state_.trajectory);
    state_.status = outcome.status;
    state_.model_calls += outcome.model_calls;
    state_.last_run_failed = outcome.status != 0;
    state_.left = outcome.end;
    ++state_.runs;
    return outcome;
  }

  // ---- Reports ----------------------------------------------------------------------------

  // The control section and the title row follow the first sample; every sample gets its row.
  void ReportSample(const SampleRun& run) {
    if (run.number == 1) {
      const TrSettings& s = settings_;
      WriteControlSection(
          rec_, "CT_MS2", s.seed,
          {ControlValue::Count("Number of pre-inversion runs to carry out                   : ",
                               s.Npre),
           ControlValue::Count("Maximum number of CT inversions to carry out                : ",
                               s.Nct),
           ControlValue::Count("Number of CT runs with no objective function improvement    : ",
                               s.Nstall),
           ControlValue::Real("Improvement fraction judged to be negligible                : ",
                              s.f)},
          problem_.names.base);
      WriteSampleRunsHeading(rec_, record_);
    }
    WriteValuesRow(rec_, record_, run.point, run.objectives, Digits::kScientific);
  }

  void PrintStartAfterFailure(long r) {
    std::printf("\nCT run %ld goes on from the parameters the failed run left; their "
                "objective function is not known.\n",
                r);
  }

  // Said on the screen and in the record when CT run r has no sample left to start from.
  void WriteNoStartLeft(long r) {
    char line[200];
    if (settings_.Npre == 0) {
      std::snprintf(line, sizeof line,
                    "There are no pre-inversion samples to start CT run %ld from; the method "
                    "ends.\n",
                    r);
    } else {
      std::snprintf(line, sizeof line,
                    "No sample is left to start CT run %ld from: each of the %ld samples has "
                    "started a run; the method ends.\n",
                    r, settings_.Npre);
    }
    std::printf("\n%s", line);
    std::fprintf(rec_, "%s", line);
  }

  void ReportCtRun(long r, const CtStart& start, const SearchOutcome& outcome) {
    if (outcome.status != 0) {
      // A failed run has no result: it ranks as infinite.
      std::printf("\nCT run %ld failed; its objective function is taken as infinite.\n", r);
    }
    WriteCtRunResults(rec_, r, record_,
                      {start.point, outcome.end, start.objectives, outcome.objectives},
                      Digits::kScientific);
    WriteModelCalls(rec_, "CT run", outcome.model_calls, state_.model_calls);
  }

  // The best value and its run; before any CT run they are the marker -999.999 and run 0,
  // and a line follows that says so.
  void WriteFinalLines() {
    WriteGlobalResultsHeading(rec_);
    std::fprintf(rec_,
                 "The global search process yielded a total objective function value of %lf\n",
                 state_.progress.Kbest);
    std::fprintf(rec_, "This value was obtained from inversion run number %ld\n\n",
                 state_.progress.best_run);
    if (state_.runs == 0) {
      std::fprintf(rec_, "No CT run was made, so there is no best objective function value.\n\n");
    }
    std::fflush(rec_);
  }

  void PrintSummary() {
    if (state_.runs == 0) {
      std::printf("\nNo CT run was made, so there is no best objective function value.\n");
    } else {
      PrintBestResult("CT run", state_.progress.best_run, state_.progress.Kbest);
    }
  }

  TrState state_;
};

}  // namespace

long ChooseStartSample(const ProblemRecord& record, const TrSamples& samples,
                       const Trajectory& trajectory) {
  // The first pass leaves out samples whose run failed; the second takes them too.
  for (int pass = 0; pass < 2; ++pass) {
    long chosen = 0;
    double best_score = -1.0;
    for (long m : samples.order) {
      if (samples.used[m - 1]) continue;
      if (pass == 0 && !std::isfinite(samples.totals[m - 1])) continue;
      if (trajectory.size() == 0) return m;
      for (int t = 1; t <= trajectory.size(); ++t) {
        const double score =
            NormalisedSquaredDistance(record, samples.points[m - 1], trajectory.point(t));
        if (score > best_score) {
          best_score = score;
          chosen = m;
        }
      }
    }
    if (chosen != 0) return chosen;
  }
  return 0;
}

bool AfterCtRun(TrProgress& progress, long r, double F, const TrSettings& settings) {
  CountResult(F, r, settings.f, progress.Kbest, progress.best_run, progress.s);
  return CtRunsStalled(progress, settings) || CtRunLimitReached(r, settings);
}

short RunTrajectoryRepulsion(tarne::mpi_setup* partition, int argc, char** argv) {
  return RunSeededMethod<TrajectoryRepulsion, TrSettings>(kNames, partition, argc, argv,
                                                          ReadTrInput);
}
