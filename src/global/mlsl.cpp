#include "global/mlsl.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>

#include "global/global_problem.h"
#include "global/method_input.h"
#include "global/recording_search.h"
#include "global/sampling.h"
#include "lm/lm_state.h"
#include "pest/file_report.h"
#include "pest/instruction_files.h"
#include "pest/parameters.h"
#include "pest/template_files.h"

namespace {

constexpr const char* kInputFileName = "mlsl.in";
constexpr const char* kRecordFileName = "slm_kor_mlsl.rec";
constexpr double kInfinite = std::numeric_limits<double>::infinity();
constexpr double kPi = 3.14159265358979323846;
// An end point nearer than this to an earlier one is the same minimum.
constexpr double kSameMinimum = 1e-6;
// A candidate nearer than this to an earlier start would repeat that search.
constexpr double kSameStart = 1e-8;

bool ReadSampleValues(InputReader& in, MlslSettings& s) {
  return in.Count("N (the uniform sample size per iteration)", 1, s.N) &&
         in.Real("gamma (the reduction value)", s.gamma,
                 [](double v) { return v > 0.0 && v <= 1.0; },
                 "it must be above 0 and at most 1") &&
         in.Real("sigma (the factor of the critical distance)", s.sigma,
                 [](double v) { return v > 0.0; }, "it must be above 0") &&
         in.Real("dmin (the least distance from an earlier end point)", s.dmin);
}

// Values 5 to 11 of "mlsl.in".
bool ReadStopValues(InputReader& in, MlslSettings& s) {
  return in.Word("the seeds mode (Y or N)", s.seeds_word) &&
         in.Seed("the random seed", s.seed) &&
         in.Count("Kmax (the maximum number of MLSL iterations)", 1, s.Kmax) &&
         in.Count("Lmax (the maximum number of local searches)", 1, s.Lmax) &&
         in.Count("Lstall (the local searches without improvement that stop the method)", 0,
                  s.Lstall) &&
         in.Count("Kstall (the iterations without improvement that stop the method)", 0,
                  s.Kstall) &&
         in.Real("f (the improvement fraction judged negligible)", s.f);
}

void WriteControlSection(std::FILE* rec, const MlslSettings& s, const char* case_name) {
  std::fprintf(rec, "                        CT_MLSL CONTROL INFORMATION\n\n");
  std::fprintf(rec, "Input unsigned long random seed                             : %u\n", s.seed);
  std::fprintf(rec, "Uniform random sample size at step k                        : %ld\n", s.N);
  std::fprintf(rec, "Value for reduction of the sample                           : %lf\n",
               s.gamma);
  std::fprintf(rec, "Value for sigma                                             : %lf\n",
               s.sigma);
  std::fprintf(rec, "Maximum MLSL iterations to carry out                        : %ld\n",
               s.Kmax);
  std::fprintf(rec, "Maximum number of local search inversions to carry out      : %ld\n",
               s.Lmax);
  std::fprintf(rec,
               "Maximum number of CT runs with no objective function improvement    : %ld\n",
               s.Lstall);
  std::fprintf(rec,
               "Maximum number of MLSL iterations with no objective function improvement    "
               ": %ld\n",
               s.Kstall);
  std::fprintf(rec, "Improvement fraction judged to be negligible                : %lf\n", s.f);
  std::fprintf(rec, "Name of existing control file : %s\n\n", case_name);
  std::fflush(rec);
}

// The order of the samples: a total that is not a number ranks with the failed runs.
double SortKey(double total) { return std::isnan(total) ? kInfinite : total; }

// One MLSL run from the first iteration to the final report.
class MlslMethod {
 public:
  MlslMethod(GlobalProblem& problem, const MlslSettings& settings, std::FILE* rec,
             SeedsFile& seeds)
      : problem_(problem),
        record_(problem.record),
        settings_(settings),
        rec_(rec),
        seeds_(seeds),
        chain_(settings.seed),
        trajectory_(true) {
    for (int k = 1; k <= record_.NPAR; ++k) {
      const Parameter& p = record_.parameters[k];
      if (IsAdjustableParameter(p)) volume_ *= p.PARUBND - p.PARLBND;
    }
  }

  short Run() {
    int rule = kMlslNoStop;
    while (rule == kMlslNoStop) {
      SamplingPhase();
      const long M = progress_.k * settings_.N;
      const long R = static_cast<long>(static_cast<double>(M) * settings_.gamma);
      ReducedSample(M, R);
      UpdateCriticalDistance(M);
      progress_.kbest = 1e300;
      const int scan_rule = ScanCandidates(R);
      rule = AfterIteration(progress_, M, settings_, scan_rule);
      if (rule == kMlslNoStop) ++progress_.k;
    }
    WriteFinalReport(rule);
    if (progress_.L == 0) {
      std::printf("\nMLSL ran no local search, so it found no best objective function value.\n");
    } else {
      std::printf("\nBest result: local search %ld, with a total objective function value of "
                  "%lf.\n",
                  progress_.best_run, progress_.Fbest);
    }
    return status_;
  }

 private:
  // ---- Sampling --------------------------------------------------------------------------

  void SamplingPhase() {
    for (long s = 1; s <= settings_.N; ++s) {
      // A sample that follows a failed step leaves the seeds file alone.
      DrawSample(record_, chain_, seeds_, status_ == 0);
      samples_.push_back(CurrentValues(record_));
      const long m = static_cast<long>(samples_.size());
      if (s == 1) {
        std::fprintf(rec_, "\nSampling Phase: Iteration %ld\n\n", progress_.k);
        WriteTitleRow(true);
      }
      objectives_.emplace_back();
      status_ = RunSample(problem_, m, objectives_.back());
      WriteAdjustableValues(samples_.back());
      for (double value : objectives_.back()) std::fprintf(rec_, "%lf\t", value);
      std::fprintf(rec_, "\n");
      std::fflush(rec_);
    }
    std::fprintf(rec_, "\n");
    model_calls_ += settings_.N;
  }

  void WriteTitleRow(bool with_groups) {
    for (int k = 1; k <= record_.NPAR; ++k) {
      if (IsAdjustableParameter(record_.parameters[k])) {
        std::fprintf(rec_, "%s\t", record_.parameters[k].PARNME);
      }
    }
    std::fprintf(rec_, "Total\t");
    if (with_groups) {
      for (int g = 1; g <= record_.NOBSGP; ++g) {
        std::fprintf(rec_, "%s\t", record_.observation_groups[g].OBGNME);
      }
    }
    std::fprintf(rec_, "\n");
  }

  void WriteAdjustableValues(const std::vector<double>& point) {
    for (int k = 1; k <= record_.NPAR; ++k) {
      const Parameter& p = record_.parameters[k];
      if (IsAdjustableParameter(p)) std::fprintf(rec_, "%lf\t", NaturalValue(p, point[k - 1]));
    }
  }

  // ---- Reduced sample and critical distance ----------------------------------------------

  void ReducedSample(long M, long R) {
    dvector totals(M);
    for (long m = 1; m <= M; ++m) totals[m] = SortKey(objectives_[m - 1][0]);
    const ivector order = indexx(M, totals);
    points_.reduced.clear();
    points_.reduced_objectives.clear();
    reduced_samples_.clear();
    for (long x = 1; x <= R; ++x) {
      const long m = order[x];
      reduced_samples_.push_back(m);
      points_.reduced.push_back(samples_[m - 1]);
      points_.reduced_objectives.push_back(totals[m]);
    }
    if (R < 1) return;
    std::fprintf(rec_, "Reduced Sample Set: Iteration %ld\n\n", progress_.k);
    WriteTitleRow(false);
    for (long m : reduced_samples_) {
      WriteAdjustableValues(samples_[m - 1]);
      std::fprintf(rec_, "%lf\t", objectives_[m - 1][0]);
      std::fprintf(rec_, "\n");
    }
  }

  void UpdateCriticalDistance(long M) {
    // After a failed step the distance keeps its previous value; the first one is always
    // computed, so that there is one to keep.
    if (status_ == 0 || !alpha_known_) {
      alpha_ = CriticalDistance(record_.NUMADJ, volume_, settings_.sigma, M);
      alpha_known_ = true;
    }
    std::fprintf(rec_, "\n\nFor iteration %ld, alpha equals %lf\n\n", progress_.k, alpha_);
    std::fflush(rec_);
  }

  // ---- Candidates and local searches -----------------------------------------------------

  int ScanCandidates(long R) {
    for (long x = 1; x <= R; ++x) {
      if (!IsStartCandidate(points_, x, alpha_, settings_.dmin, rec_)) continue;
      const int rule = LocalSearch(x);
      if (rule != kMlslNoStop) return rule;
    }
    return kMlslNoStop;
  }

  int LocalSearch(long x) {
    const long k = progress_.k;
    const long m = reduced_samples_[x - 1];
    const std::vector<double>& start = samples_[m - 1];
    std::fprintf(rec_,
                 "\nA LS will be performed from vector %ld of the reduced sample in iteration "
                 "%ld\n",
                 x, k);
    std::fflush(rec_);
    ++progress_.L;
    ++progress_.D;
    dvector start_values(record_.NPAR);
    for (int j = 1; j <= record_.NPAR; ++j) {
      record_.parameters[j].value = start[j - 1];
      start_values[j] = start[j - 1];
    }
    // The start column carries the sample's objective until the search's initial run
    // replaces it (a resumed search makes no initial run).
    const int start_column = trajectory_.Add(record_, objectives_[m - 1][0]);
    points_.start_points.push_back(start);

    // Only the first search of a run started with "/r" resumes from the restart file: it is
    // the search that was interrupted; every later one starts afresh.
    LmContext context = problem_.Context(problem_.restart && progress_.L == 1);
    LmState state = PrepareLocalSearch(record_, start_values, problem_.control_lambda);
    long calls = 0;
    status_ = RunRecordingSearch(context, state, trajectory_, calls);
    model_calls_ += calls;

    const std::vector<double> end = CurrentValues(record_);
    std::vector<double> optimised = GroupObjectives(record_);
    if (status_ != 0) {
      // A failed search has no result: it yields no end point and ranks as infinite.
      std::fill(optimised.begin(), optimised.end(), kInfinite);
      std::printf("\nLocal search %ld failed; its objective function is taken as infinite.\n",
                  progress_.L);
    }
    const double F = optimised[0];
    if (status_ != 0 || IsKnownMinimum(points_, end)) {
      --progress_.D;
      if (status_ != 0) {
        std::fprintf(rec_, "\n THIS LOCAL SEARCH FAILED AND YIELDED NO LOCAL MINIMUM\n");
      } else {
        std::fprintf(rec_, "\n THIS LOCAL SEARCH DID NOT RESULT IN A NEW LOCAL MINIMUM\n");
      }
      std::fprintf(rec_,
                   "\n Results of MLSL supervised local search which occured in step %ld "
                   "--->\n\n",
                   k);
      WriteResultTables(m, optimised, calls);
    } else {
      points_.end_points.push_back(end);
      points_.end_objectives.push_back(F);
      std::fprintf(rec_,
                   "\n Results of MLSL supervised local search %ld which occured in step %ld "
                   "--->\n\n",
                   progress_.D, k);
      WriteResultTables(m, optimised, calls);
      WriteUpgradeVectors(start_column);
    }
    std::fflush(rec_);
    return AfterLocalSearch(progress_, F, settings_);
  }

  // The parameter and objective tables of one local search from sample m, and its calls.
  void WriteResultTables(long m, const std::vector<double>& optimised, long calls) {
    std::fprintf(rec_, "     Parameter values:-\n\n");
    std::fprintf(rec_, "         Parameter           Starting parameter  Optimised parameter\n");
    std::fprintf(rec_, "         name                value               value\n");
    for (int k = 1; k <= record_.NPAR; ++k) {
      const Parameter& p = record_.parameters[k];
      if (!IsAdjustableParameter(p)) continue;
      std::fprintf(rec_, "\t%s\t%lf\t%lf\n", p.PARNME, NaturalValue(p, samples_[m - 1][k - 1]),
                   NaturalValue(p));
    }
    std::fprintf(rec_, "\n\n     Objective function(s):-\n\n");
    std::fprintf(rec_, "         Observation         Starting objective  Optimised objective\n");
    std::fprintf(rec_, "         group name          function value      function value\n");
    for (int g = 0; g <= record_.NOBSGP; ++g) {
      std::fprintf(rec_, "\t%s\t%lf\t%lf\n",
                   g == 0 ? "total" : record_.observation_groups[g].OBGNME,
                   objectives_[m - 1][g], optimised[g]);
    }
    std::fprintf(rec_, "\n\n");
    std::fprintf(rec_, " Number of model runs for latest Local Search   = %ld\n", calls);
    std::fprintf(rec_, " Total number of model calls so far       = %ld\n", model_calls_);
    std::fprintf(rec_, "\n\n");
    std::fprintf(rec_, "\n\n");
  }

  void WriteUpgradeVectors(int start_column) {
    std::fprintf(rec_,
                 "Upgrade vectors for Local Search %ld which occured during step %ld of MLSL\n\n",
                 progress_.D, progress_.k);
    for (int c = start_column; c <= trajectory_.size(); ++c) {
      WriteAdjustableValues(trajectory_.point(c));
      std::fprintf(rec_, "%lf\t", trajectory_.objective(c));
      for (int g = 1; g <= record_.NOBSGP; ++g) std::fprintf(rec_, "%lf\t", kMlslNoObjective);
      std::fprintf(rec_, "\n");
    }
    std::fprintf(rec_, "\n\n");
  }

  // ---- Final report ----------------------------------------------------------------------

  void WriteFinalReport(int rule) {
    std::fprintf(rec_, "\n\n\n\n                   RESULTS OF GLOBAL SEARCH PROCESS\n\n");
    std::fprintf(rec_, "Actual number of local searches performed is: %ld\n", progress_.L);
    std::fprintf(rec_, "The number of local searches that yielded distinct local minima: %ld\n",
                 progress_.D);
    std::fprintf(rec_, "The number of MLSL iterations is: %ld\n", progress_.k);
    std::fprintf(rec_,
                 "The global search process yielded a total objective function value of %lf\n",
                 progress_.Fbest);
    std::fprintf(rec_, "This value was obtained from reported inversion run number %ld\n\n",
                 progress_.best_run);
    std::fprintf(rec_, "Total model calls    = %ld\n", model_calls_);
    switch (rule) {
      case kMlslLocalStall:
        std::fprintf(rec_,
                     "Stopped because there have been %ld actual local searches with no "
                     "objective function improvement.\n\n",
                     progress_.s_L);
        break;
      case kMlslLocalLimit:
        std::fprintf(rec_,
                     "Stopped because there have been %ld local searches, the maximum set "
                     "with input.\n\n",
                     progress_.L);
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
                     progress_.s_K);
        break;
    }
    std::fflush(rec_);
  }

  GlobalProblem& problem_;
  ProblemRecord& record_;
  const MlslSettings& settings_;
  std::FILE* rec_;
  SeedsFile& seeds_;
  SeedChain chain_;
  Trajectory trajectory_;
  MlslProgress progress_;
  MlslPoints points_;
  std::vector<std::vector<double>> samples_;     // [m - 1]: every parameter of sample m
  std::vector<std::vector<double>> objectives_;  // [m - 1][g]: total (g = 0) and groups
  std::vector<long> reduced_samples_;            // [x - 1]: the sample at position x
  double volume_ = 1.0;
  double alpha_ = 0.0;
  bool alpha_known_ = false;
  long model_calls_ = 0;
  short status_ = 0;  // the status of the last sample run or local search
};

// The logarithm of the gamma function by the Lanczos series.
double LogGamma(double x) {
  static const double kCoefficients[6] = {76.18009172947146,     -86.50532032941678,
                                          24.01409824083091,     -1.231739572450155,
                                          0.001208650973866179,  -5.395239384953e-6};
  double y = x;
  double tmp = x + 5.5;
  tmp -= (x + 0.5) * std::log(tmp);
  double series = 1.000000000190015;
  for (double c : kCoefficients) series += c / ++y;
  return -tmp + std::log(2.5066282746310005 * series / x);
}

}  // namespace

double CriticalDistance(int n, double volume, double sigma, long m) {
  const double M = static_cast<double>(m);
  const double inner = std::exp(LogGamma(1.0 + n / 2.0)) * volume * sigma * std::log(M) / M;
  return std::pow(inner, 1.0 / n) / std::sqrt(kPi);
}

double EuclideanDistance(const std::vector<double>& a, const std::vector<double>& b) {
  double sum = 0.0;
  for (size_t i = 0; i < a.size(); ++i) sum += (a[i] - b[i]) * (a[i] - b[i]);
  return std::sqrt(sum);
}

bool IsStartCandidate(const MlslPoints& points, long x, double alpha, double dmin,
                      std::FILE* rec) {
  const std::vector<double>& p = points.reduced[x - 1];
  const double objective = points.reduced_objectives[x - 1];
  bool rejected = false;
  const long R = static_cast<long>(points.reduced.size());
  for (long y = 1; y <= R; ++y) {
    if (y == x) continue;
    if (EuclideanDistance(p, points.reduced[y - 1]) <= alpha &&
        objective > points.reduced_objectives[y - 1]) {
      std::fprintf(rec,
                   "No LS for vector %ld of the reduced sample. It is within an alpha distance "
                   "of the vector %ld with a lower obj. function value\n",
                   x, y);
      rejected = true;
    }
  }
  const size_t D = points.end_points.size();
  if (D >= 1 && !rejected) {
    for (size_t i = 0; i < D; ++i) {
      if (EuclideanDistance(p, points.end_points[i]) <= alpha &&
          objective > points.end_objectives[i]) {
        std::fprintf(rec,
                     "No LS for vector %ld of the reduced sample. It is within an alpha "
                     "distance of a previous LS end point\n",
                     x);
        rejected = true;
      }
    }
  }
  if (D >= 1 && !rejected) {
    for (size_t i = 0; i < D; ++i) {
      if (EuclideanDistance(p, points.end_points[i]) < dmin) {
        std::fprintf(rec,
                     "No LS for vector %ld of the reduced sample. It is within a distance %lf "
                     "of a previous LS end point\n",
                     x, dmin);
        rejected = true;
      }
    }
  }
  if (!points.start_points.empty() && !rejected) {
    for (const std::vector<double>& start : points.start_points) {
      if (EuclideanDistance(p, start) < kSameStart) {
        std::fprintf(rec,
                     "No LS for vector %ld of the reduced sample. It is too close to a previous "
                     "LS start point\n",
                     x);
        rejected = true;
      }
    }
  }
  return !rejected;
}

bool IsKnownMinimum(const MlslPoints& points, const std::vector<double>& end) {
  for (const std::vector<double>& earlier : points.end_points) {
    if (EuclideanDistance(end, earlier) < kSameMinimum) return true;
  }
  return false;
}

int AfterLocalSearch(MlslProgress& progress, double F, const MlslSettings& settings) {
  if (progress.L >= 2) {
    progress.s_L = F < (1.0 - settings.f) * progress.Fbest ? 0 : progress.s_L + 1;
  }
  if (progress.L == 1 && progress.Fbest == kMlslNoObjective) {
    progress.Fbest = F;
    progress.best_run = 1;
  } else if (progress.L > 1 && F < progress.Fbest) {
    progress.Fbest = F;
    progress.best_run = progress.L;
  }
  progress.kbest = std::min(progress.kbest, F);
  if (progress.s_L == settings.Lstall) return kMlslLocalStall;
  if (progress.L >= settings.Lmax) return kMlslLocalLimit;
  return kMlslNoStop;
}

int AfterIteration(MlslProgress& progress, long M, const MlslSettings& settings,
                   int scan_rule) {
  if (progress.Kbest == kMlslNoObjective) {
    // No local search has given a result before this iteration: the iteration cannot be one
    // without improvement, and Kbest takes the first result there is.
    if (progress.L >= 1) progress.Kbest = progress.Fbest;
  } else {
    progress.s_K = progress.kbest < (1.0 - settings.f) * progress.Kbest ? 0 : progress.s_K + 1;
    progress.Kbest = std::min(progress.kbest, progress.Kbest);
  }
  int rule = scan_rule;
  const double reduced = static_cast<double>(M) * settings.gamma;
  const double D = static_cast<double>(progress.D);
  if (reduced > D + 2.0 && D + 0.5 >= (reduced - 1.0) * D / (reduced - D - 2.0)) {
    rule = kMlslBayesian;
  }
  if (progress.k >= settings.Kmax) rule = kMlslIterationLimit;
  if (progress.s_K == settings.Kstall) rule = kMlslIterationStall;
  return rule;
}

short RunMlsl(tarne::mpi_setup* partition, int argc, char** argv) {
  if (RefuseMissingArguments(argc)) return 1;
  std::printf("\nUsing the Multi Level Single Linkage (MLSL) stochastic global optimization "
              "method,\n");
  std::printf("as implemented directly in TARNE, to calibrate the current TARNE model.\n");
  std::printf("MLSL uses the (Secant) Levenberg-Marquardt local search method,\n");
  std::printf("as implemented directly in TARNE, for local search.\n\n");

  const MethodFile input = OpenMethodFile(kInputFileName, "r");
  if (!input) return 1;
  const MethodFile rec = OpenMethodFile(kRecordFileName, "w");
  if (!rec) return 1;
  GlobalProblem problem;
  bool stop = true;
  const short loaded = LoadGlobalProblem(partition, argc, argv, "slm_kor_mlsl", problem, &stop);
  if (stop) return loaded;

  MlslSettings settings;
  InputReader in(input.get(), kInputFileName);
  if (!ReadSampleValues(in, settings)) return 1;
  PrintSeedsNote();
  if (!ReadStopValues(in, settings)) return 1;
  SeedsFile seeds;
  if (!seeds.Open(SeedsFile::ModeOfWord(settings.seeds_word))) return 1;
  WriteControlSection(rec.get(), settings, problem.names.base);

  MlslMethod method(problem, settings, rec.get(), seeds);
  const short status = method.Run();
  if (status != 0) return status;
  return CloseGlobalProblem(problem);
}
