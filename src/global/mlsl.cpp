#include "global/mlsl.h"

#include "global/global_method.h"
#include "global/global_problem.h"
#include "global/local_search.h"
#include "global/method_input.h"
#include "global/method_report.h"
#include "global/recording_search.h"
#include "global/sample_runs.h"
#include "global/sampling.h"
#include "pest/parameters.h"

namespace {

const MethodNames kNames = {
    "\nUsing the Multi Level Single Linkage (MLSL) stochastic global optimization method,\n",
    "MLSL uses the (Secant) Levenberg-Marquardt local search method,\n",
    "mlsl.in",
    "slm_kor_mlsl.rec",
    "slm_kor_mlsl",
    "slm_kor_mlsl.rst",
    nullptr,
};

// Values 1 to 4 of "mlsl.in".
bool ReadSampleValues(InputReader& in, MlslSettings& s) {
  return in.Count("N (the uniform sample size per iteration)", 1, s.N) &&
         in.Real("gamma (the reduction value)", s.gamma,
                 [](double v) { return v > 0.0 && v <= 1.0; },
                 "it must be above 0 and at most 1") &&
         in.Real("sigma (the factor of the critical distance)", s.sigma,
                 [](double v) { return v > 0.0; }, "it must be above 0") &&
         in.Real("dmin (the least distance from an earlier end point)", s.dmin);
}

// Values 5 to 11 of "mlsl.in": the limits are at least 1, while a stall limit of 0 stops the
// method at its first local search or iteration.
bool ReadStopValues(InputReader& in, MlslSettings& s) {
  if (!ReadSeedSettings(in, s.seeds_word, s.seed)) return false;
  return in.Count("Kmax (the maximum number of MLSL iterations)", 1, s.Kmax) &&
         in.Count("Lmax (the maximum number of local searches)", 1, s.Lmax) &&
         in.Count("Lstall (the local searches without improvement that stop the method)", 0,
                  s.Lstall) &&
         in.Count("Kstall (the iterations without improvement that stop the method)", 0,
                  s.Kstall) &&
         ReadImprovementFraction(in, s.f);
}

// All of "mlsl.in", with the note on the seeds between values 4 and 5.
bool ReadMlslInput(InputReader& in, MlslSettings& s) {
  if (!ReadSampleValues(in, s)) return false;
  PrintSeedsNote();
  return ReadStopValues(in, s);
}

void WriteControlSection(std::FILE* rec, const MlslSettings& s, const char* case_name) {
  WriteControlSection(
      rec, "CT_MLSL", s.seed,
      {ControlValue::Count("Uniform random sample size at step k                        : ", s.N),
       ControlValue::Real("Value for reduction of the sample                           : ",
                          s.gamma),
       ControlValue::Real("Value for sigma                                             : ",
                          s.sigma),
       ControlValue::Count("Maximum MLSL iterations to carry out                        : ",
                           s.Kmax),
       ControlValue::Count("Maximum number of local search inversions to carry out      : ",
                           s.Lmax),
       ControlValue::Count(
           "Maximum number of CT runs with no objective function improvement    : ", s.Lstall),
       ControlValue::Count(
           "Maximum number of MLSL iterations with no objective function improvement    : ",
           s.Kstall),
       ControlValue::Real("Improvement fraction judged to be negligible                : ",
                          s.f)},
      case_name);
}

// The product of the adjustable parameters' bound ranges, in stored units.
double AdjustableVolume(const ProblemRecord& record) {
  double volume = 1.0;
  for (int k = 1; k <= record.NPAR; ++k) {
    const Parameter& p = record.parameters[k];
    if (IsAdjustableParameter(p)) volume *= p.PARUBND - p.PARLBND;
  }
  return volume;
}

// How a local search ended, as the record tells it.
enum class SearchEnd { kFailed, kKnownMinimum, kNewMinimum };

// Everything an MLSL run keeps from its first iteration to its final report.
struct MlslState {
  MlslProgress progress;
  SampleTable samples;
  MlslPoints points;
  std::vector<long> reduced_samples;  // [x - 1]: the sample at position x
  Trajectory trajectory{true};
  double alpha = 0.0;
  bool alpha_known = false;
  long model_calls = 0;
  short status = 0;  // the status of the last sample run or local search
};

// One MLSL run from the first iteration to the final report.
class MlslMethod : GlobalMethod<MlslSettings> {
 public:
  using GlobalMethod::GlobalMethod;

  short Run() {
    MlslProgress& progress = state_.progress;
    int rule = kMlslNoStop;
    while (rule == kMlslNoStop) {
      SamplingPhase();
      if (Halted()) return 1;
      const long M = progress.k * settings_.N;
      const long R = static_cast<long>(static_cast<double>(M) * settings_.gamma);
      ReduceSample(M, R);
      WriteReducedSample();
      UpdateCriticalDistance(M);
      WriteCriticalDistance();
      progress.kbest = 1e300;
      const int scan_rule = ScanCandidates(R);
      if (Halted()) return 1;
      rule = AfterIteration(progress, M, settings_, scan_rule);
      if (rule == kMlslNoStop) ++progress.k;
    }
    WriteFinalReport(rule);
    PrintSummary();
    return state_.status;
  }

 private:
  // ---- Steps ------------------------------------------------------------------------------

  // The N samples of the iteration and their model runs, one row each.
  void SamplingPhase() {
    std::fprintf(rec_, "\nSampling Phase: Iteration %ld\n\n", state_.progress.k);
    WriteTitleRow(rec_, record_, true);
    state_.status = RunSamples(
        settings_.N, state_.status, state_.samples, [this](const SampleRun& run) {
          WriteValuesRow(rec_, record_, run.point, run.objectives, Digits::kFixed);
        });
    std::fprintf(rec_, "\n");
    state_.model_calls += settings_.N;
  }

  // The R samples of lowest total objective among all M, in ascending order.
  void ReduceSample(long M, long R) {
    dvector totals(M);
    for (long m = 1; m <= M; ++m) {
      totals[m] = RankingValue(state_.samples.objectives[m - 1][0]);
    }
    const ivector order = indexx(M, totals);
    MlslPoints& points = state_.points;
    points.reduced.clear();
    points.reduced_objectives.clear();
    state_.reduced_samples.clear();
    for (long x = 1; x <= R; ++x) {
      const long m = order[x];
      state_.reduced_samples.push_back(m);
      points.reduced.push_back(state_.samples.points[m - 1]);
      points.reduced_objectives.push_back(totals[m]);
    }
  }

  void UpdateCriticalDistance(long M) {
    // After a failed step the distance keeps its previous value; the first one is always
    // computed, so that there is one to keep.
    if (state_.status == 0 || !state_.alpha_known) {
      state_.alpha = CriticalDistance(record_.NUMADJ, volume_, settings_.sigma, M);
      state_.alpha_known = true;
    }
  }

  // Runs a local search from every reduced-sample point the start rules accept, until a
  // stop rule fires; returns that rule or kMlslNoStop.
  int ScanCandidates(long R) {
    for (long x = 1; x <= R; ++x) {
      const StartVerdict verdict =
          JudgeStartCandidate(state_.points, x, state_.alpha, settings_.dmin);
      WriteRejections(rec_, x, settings_.dmin, verdict);
      if (!verdict.accepted()) continue;
      const int rule = LocalSearch(x);
      if (rule != kMlslNoStop || Halted()) return rule;
    }
    return kMlslNoStop;
  }

  int LocalSearch(long x) {
    MlslProgress& progress = state_.progress;
    const long m = state_.reduced_samples[x - 1];
    const dvector& start = state_.samples.points[m - 1];
    WriteSearchStart(x);
    ++progress.L;
    ++progress.D;
    // The start column carries the sample's objective until the search's initial run
    // replaces it (a resumed search makes no initial run).
    const int start_column = state_.trajectory.Add(start, state_.samples.objectives[m - 1][0]);
    state_.points.start_points.push_back(start);
    const SearchOutcome outcome = RunLocalSearch(problem_, start, &state_.trajectory);
    if (Halted()) return kMlslNoStop;
    state_.status = outcome.status;
    state_.model_calls += outcome.model_calls;
    // A failed search has no result: it yields no end point and ranks as infinite.
    SearchEnd end = SearchEnd::kNewMinimum;
    if (outcome.status != 0) end = SearchEnd::kFailed;
    else if (IsKnownMinimum(state_.points, outcome.end)) end = SearchEnd::kKnownMinimum;
    const double F = outcome.objectives[0];
    if (end == SearchEnd::kNewMinimum) {
      state_.points.end_points.push_back(outcome.end);
      state_.points.end_objectives.push_back(F);
    } else {
      --progress.D;
    }
    ReportLocalSearch(end, m, outcome, start_column);
    return AfterLocalSearch(progress, F, settings_);
  }

  // ---- Reports ----------------------------------------------------------------------------

  void WriteReducedSample() {
    if (state_.reduced_samples.empty()) return;
    std::fprintf(rec_, "Reduced Sample Set: Iteration %ld\n\n", state_.progress.k);
    WriteTitleRow(rec_, record_, false);
    for (long m : state_.reduced_samples) {
      const Objectives total = {state_.samples.objectives[m - 1][0]};
      WriteValuesRow(rec_, record_, state_.samples.points[m - 1], total, Digits::kFixed);
    }
  }

  void WriteCriticalDistance() {
    std::fprintf(rec_, "\n\nFor iteration %ld, alpha equals %lf\n\n", state_.progress.k,
                 state_.alpha);
    std::fflush(rec_);
  }

  void WriteSearchStart(long x) {
    std::fprintf(rec_,
                 "\nA LS will be performed from vector %ld of the reduced sample in iteration "
                 "%ld\n",
                 x, state_.progress.k);
    std::fflush(rec_);
  }

  // The lines of the local search from sample m, by how it ended.
  void ReportLocalSearch(SearchEnd end, long m, const SearchOutcome& outcome, int start_column) {
    const long k = state_.progress.k;
    if (end == SearchEnd::kFailed) {
      std::printf("\nLocal search %ld failed; its objective function is taken as infinite.\n",
                  state_.progress.L);
      std::fprintf(rec_, "\n THIS LOCAL SEARCH FAILED AND YIELDED NO LOCAL MINIMUM\n");
    } else if (end == SearchEnd::kKnownMinimum) {
      std::fprintf(rec_, "\n THIS LOCAL SEARCH DID NOT RESULT IN A NEW LOCAL MINIMUM\n");
    }
    if (end != SearchEnd::kNewMinimum) {
      std::fprintf(rec_,
                   "\n Results of MLSL supervised local search which occured in step %ld "
                   "--->\n\n",
                   k);
      WriteResultTables(m, outcome);
    } else {
      std::fprintf(rec_,
                   "\n Results of MLSL supervised local search %ld which occured in step %ld "
                   "--->\n\n",
                   state_.progress.D, k);
      WriteResultTables(m, outcome);
      WriteUpgradeVectors(start_column);
    }
    std::fflush(rec_);
  }

  void WriteResultTables(long m, const SearchOutcome& outcome) {
    const SampleTable& samples = state_.samples;
    WriteSearchTables(rec_, record_,
                      {samples.points[m - 1], outcome.end, samples.objectives[m - 1],
                       outcome.objectives},
                      Digits::kFixed);
    WriteModelCalls(rec_, "Local Search", outcome.model_calls, state_.model_calls);
  }

  // Every point the search recorded from its start column on, with its phi; the groups'
  // columns hold the marker.
  void WriteUpgradeVectors(int start_column) {
    std::fprintf(rec_,
                 "Upgrade vectors for Local Search %ld which occured during step %ld of MLSL\n\n",
                 state_.progress.D, state_.progress.k);
    const Trajectory& trajectory = state_.trajectory;
    Objectives values(static_cast<size_t>(record_.NOBSGP) + 1, kNoObjective);
    for (int c = start_column; c <= trajectory.size(); ++c) {
      values[0] = trajectory.objective(c);
      WriteValuesRow(rec_, record_, trajectory.point(c), values, Digits::kFixed);
    }
    std::fprintf(rec_, "\n\n");
  }

  void WriteFinalReport(int rule) {
    const MlslProgress& progress = state_.progress;
    WriteGlobalResultsHeading(rec_);
    std::fprintf(rec_, "Actual number of local searches performed is: %ld\n", progress.L);
    std::fprintf(rec_, "The number of local searches that yielded distinct local minima: %ld\n",
                 progress.D);
    std::fprintf(rec_, "The number of MLSL iterations is: %ld\n", progress.k);
    std::fprintf(rec_,
                 "The global search process yielded a total objective function value of %lf\n",
                 progress.Fbest);
    std::fprintf(rec_, "This value was obtained from reported inversion run number %ld\n\n",
                 progress.best_run);
    std::fprintf(rec_, "Total model calls    = %ld\n", state_.model_calls);
    switch (rule) {
      case kMlslLocalStall:
        std::fprintf(rec_,
                     "Stopped because there have been %ld actual local searches with no "
                     "objective function improvement.\n\n",
                     progress.s_L.count);
        break;
      case kMlslLocalLimit:
        std::fprintf(rec_,
                     "Stopped because there have been %ld local searches, the maximum set "
                     "with input.\n\n",
                     progress.L);
        break;
      case kMlslBayesian:
        std::fprintf(rec_, "Stopped because Bayesian stopping criteria were satisfied.\n\n");
        break;
      case kMlslIterationLimit:
        std::fprintf(rec_,
                     "Stopped because the maximum MLSL iterations, %ld, to carry out were "
                     "carried out\n\n",
                     settings_.Kmax);
        break;
      default:
        std::fprintf(rec_,
                     "Stopped because there have been %ld MLSL iterations with no objective "
                     "function improvement.\n\n",
                     progress.s_K.count);
        break;
    }
    std::fflush(rec_);
  }

  void PrintSummary() {
    if (state_.progress.L == 0) {
      std::printf("\nMLSL ran no local search, so it found no best objective function value.\n");
    } else {
      PrintBestResult("local search", state_.progress.best_run, state_.progress.Fbest);
    }
  }

  MlslState state_;
  const double volume_ = AdjustableVolume(record_);
};

}  // namespace

void WriteRejections(std::FILE* rec, long x, double dmin, const StartVerdict& verdict) {
  for (const StartRejection& rejection : verdict.rejections) {
    switch (rejection.rule) {
      case StartRejection::kBetterNeighbour:
        std::fprintf(rec,
                     "No LS for vector %ld of the reduced sample. It is within an alpha "
                     "distance of the vector %ld with a lower obj. function value\n",
                     x, rejection.neighbour);
        break;
      case StartRejection::kBetterEndPoint:
        std::fprintf(rec,
                     "No LS for vector %ld of the reduced sample. It is within an alpha "
                     "distance of a previous LS end point\n",
                     x);
        break;
      case StartRejection::kNearEndPoint:
        std::fprintf(rec,
                     "No LS for vector %ld of the reduced sample. It is within a distance %lf "
                     "of a previous LS end point\n",
                     x, dmin);
        break;
      case StartRejection::kNearStart:
        std::fprintf(rec,
                     "No LS for vector %ld of the reduced sample. It is too close to a previous "
                     "LS start point\n",
                     x);
        break;
    }
  }
}

short RunMlsl(tarne::mpi_setup* partition, int argc, char** argv) {
  return RunSeededMethod<MlslMethod, MlslSettings>(kNames, partition, argc, argv,
                                                   ReadMlslInput, WriteControlSection);
}
