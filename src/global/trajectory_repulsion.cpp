#include "global/trajectory_repulsion.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>

#include "global/global_problem.h"
#include "global/method_input.h"
#include "global/sampling.h"
#include "lm/lm_state.h"
#include "pest/file_report.h"
#include "pest/instruction_files.h"
#include "pest/parameters.h"
#include "pest/template_files.h"

namespace {

constexpr const char* kInputFileName = "tr.in";
constexpr const char* kRecordFileName = "slm_kor_ms2.rec";
constexpr double kInfinite = std::numeric_limits<double>::infinity();

bool ReadSettings(InputReader& in, TrSettings& s) {
  return in.Word("the seeds mode (Y or N)", s.seeds_word) &&
         in.Seed("the random seed", s.seed) &&
         in.Count("Npre (the number of pre-inversion runs)", 0, s.Npre) &&
         in.Count("Nct (the maximum number of CT runs)", 0, s.Nct) &&
         in.Count("Nstall (the CT runs without improvement that stop the method)", 0,
                  s.Nstall) &&
         in.Real("f (the improvement fraction judged negligible)", s.f);
}

// One trajectory repulsion run from the first sample to the final lines.
class TrajectoryRepulsion {
 public:
  TrajectoryRepulsion(GlobalProblem& problem, const TrSettings& settings, std::FILE* rec,
                      SeedsFile& seeds)
      : problem_(problem),
        record_(problem.record),
        settings_(settings),
        rec_(rec),
        seeds_(seeds),
        chain_(settings.seed),
        trajectory_(false),
        model_calls_(settings.Npre) {}

  short Run() {
    SamplingPhase();
    OrderSamples();
    std::fprintf(rec_, "\n\n                   RESULTS OF CT OPTIMIZATION RUNS\n\n\n");
    std::fflush(rec_);
    for (long r = 1; r <= settings_.Nct; ++r) {
      if (!CtRun(r)) break;
      ++runs_;
      if (AfterCtRun(progress_, r, last_total_, settings_)) break;
    }
    WriteFinalLines();
    if (runs_ == 0) {
      std::printf("\nNo CT run was made, so there is no best objective function value.\n");
    } else {
      std::printf("\nBest result: CT run %ld, with a total objective function value of %lf.\n",
                  progress_.best_run, progress_.Kbest);
    }
    return status_;
  }

 private:
  // ---- Pre-inversion runs ----------------------------------------------------------------

  void SamplingPhase() {
    for (long i = 1; i <= settings_.Npre; ++i) {
      // A sample that follows a failed run leaves the seeds file alone.
      DrawSample(record_, chain_, seeds_, status_ == 0);
      samples_.points.push_back(CurrentValues(record_));
      objectives_.emplace_back();
      status_ = RunSample(problem_, i, objectives_.back());
      const double total = objectives_.back()[0];
      samples_.totals.push_back(std::isnan(total) ? kInfinite : total);
      samples_.used.push_back(false);
      if (i == 1) WriteControlSection();
      const std::vector<double>& point = samples_.points.back();
      for (int k = 1; k <= record_.NPAR; ++k) {
        const Parameter& p = record_.parameters[k];
        if (IsAdjustableParameter(p)) std::fprintf(rec_, "%.10E\t", NaturalValue(p, point[k - 1]));
      }
      for (double value : objectives_.back()) std::fprintf(rec_, "%lf\t", value);
      std::fprintf(rec_, "\n");
      std::fflush(rec_);
    }
  }

  void WriteControlSection() {
    const TrSettings& s = settings_;
    std::fprintf(rec_, "                        CT_MS2 CONTROL INFORMATION\n\n");
    std::fprintf(rec_, "Input unsigned long random seed                             : %u\n",
                 s.seed);
    std::fprintf(rec_, "Number of pre-inversion runs to carry out                   : %ld\n",
                 s.Npre);
    std::fprintf(rec_, "Maximum number of CT inversions to carry out                : %ld\n",
                 s.Nct);
    std::fprintf(rec_, "Number of CT runs with no objective function improvement    : %ld\n",
                 s.Nstall);
    std::fprintf(rec_, "Improvement fraction judged to be negligible                : %lf\n",
                 s.f);
    std::fprintf(rec_, "Name of existing control file : %s\n\n", problem_.names.base);
    std::fprintf(rec_, "                   RESULTS OF PRE-INVERSION SAMPLE RUNS\n\n");
    for (int k = 1; k <= record_.NPAR; ++k) {
      if (IsAdjustableParameter(record_.parameters[k])) {
        std::fprintf(rec_, "%s\t", record_.parameters[k].PARNME);
      }
    }
    std::fprintf(rec_, "Total\t");
    for (int g = 1; g <= record_.NOBSGP; ++g) {
      std::fprintf(rec_, "%s\t", record_.observation_groups[g].OBGNME);
    }
    std::fprintf(rec_, "\n");
  }

  void OrderSamples() {
    const long n = settings_.Npre;
    dvector totals(n);
    for (long m = 1; m <= n; ++m) totals[m] = samples_.totals[m - 1];
    const ivector order = indexx(n, totals);
    for (long x = 1; x <= n; ++x) samples_.order.push_back(order[x]);
  }

  // ---- CT runs ---------------------------------------------------------------------------

  // Runs CT run r and writes its results; false when no sample is left to start it from.
  bool CtRun(long r) {
    std::vector<double> start;
    std::vector<double> start_objectives;
    if (r == 1 || !last_run_failed_) {
      const long m = ChooseStartSample(record_, samples_, trajectory_);
      if (m == 0) {
        WriteNoStartLeft(r);
        return false;
      }
      samples_.used[m - 1] = true;
      start = samples_.points[m - 1];
      start_objectives = objectives_[m - 1];
      for (int k = 1; k <= record_.NPAR; ++k) record_.parameters[k].value = start[k - 1];
      trajectory_.Add(record_);
    } else {
      // After a failed run the next one goes on from the parameters that run left, as the
      // start of a fresh search; their objective is not known.
      start = CurrentValues(record_);
      start_objectives.assign(static_cast<size_t>(record_.NOBSGP) + 1,
                              std::numeric_limits<double>::quiet_NaN());
      std::printf("\nCT run %ld goes on from the parameters the failed run left; their "
                  "objective function is not known.\n",
                  r);
    }
    dvector start_values(record_.NPAR);
    for (int k = 1; k <= record_.NPAR; ++k) start_values[k] = start[k - 1];
    // Only the first CT run of a method started with "/r" resumes from the restart file: it is
    // the run that was interrupted; every later one starts afresh.
    LmContext context = problem_.Context(problem_.restart && r == 1);
    LmState state = PrepareLocalSearch(record_, start_values, problem_.control_lambda);
    long calls = 0;
    status_ = RunRecordingSearch(context, state, trajectory_, calls);
    model_calls_ += calls;
    last_run_failed_ = status_ != 0;
    std::vector<double> optimised = GroupObjectives(record_);
    if (last_run_failed_) {
      // A failed run has no result: it ranks as infinite.
      std::fill(optimised.begin(), optimised.end(), kInfinite);
      std::printf("\nCT run %ld failed; its objective function is taken as infinite.\n", r);
    }
    last_total_ = optimised[0];
    WriteRunResults(r, start, start_objectives, optimised, calls);
    return true;
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

  void WriteRunResults(long r, const std::vector<double>& start,
                       const std::vector<double>& start_objectives,
                       const std::vector<double>& optimised, long calls) {
    std::fprintf(rec_, " Results of CT inversion run number %ld --->\n\n", r);
    std::fprintf(rec_, "     Parameter values:-\n\n");
    std::fprintf(rec_, "         Parameter           Starting parameter  Optimised parameter\n");
    std::fprintf(rec_, "         name                value               value\n");
    for (int k = 1; k <= record_.NPAR; ++k) {
      const Parameter& p = record_.parameters[k];
      if (!IsAdjustableParameter(p)) continue;
      std::fprintf(rec_, "\t%s\t%.10E\t%.10E\n", p.PARNME, NaturalValue(p, start[k - 1]),
                   NaturalValue(p));
    }
    std::fprintf(rec_, "\n\n     Objective function(s):-\n\n");
    std::fprintf(rec_, "         Observation         Starting objective  Optimised objective\n");
    std::fprintf(rec_, "         group name          function value      function value\n");
    for (int g = 0; g <= record_.NOBSGP; ++g) {
      std::fprintf(rec_, "\t%s\t%lE\t%lE\n",
                   g == 0 ? "total" : record_.observation_groups[g].OBGNME,
                   start_objectives[g], optimised[g]);
    }
    std::fprintf(rec_, "\n\n");
    std::fprintf(rec_, " Number of model runs for latest CT run   = %ld\n", calls);
    std::fprintf(rec_, " Total number of model calls so far       = %ld\n", model_calls_);
    std::fprintf(rec_, "\n\n");
    std::fprintf(rec_, "\n\n");
    std::fflush(rec_);
  }

  void WriteFinalLines() {
    std::fprintf(rec_, "\n\n\n\n                   RESULTS OF GLOBAL SEARCH PROCESS\n\n");
    if (runs_ == 0) {
      std::fprintf(rec_, "No CT run was made, so there is no best objective function value.\n\n");
    } else {
      std::fprintf(rec_,
                   "The global search process yielded a total objective function value of "
                   "%lf\n",
                   progress_.Kbest);
      std::fprintf(rec_, "This value was obtained from inversion run number %ld\n\n",
                   progress_.best_run);
    }
    std::fflush(rec_);
  }

  GlobalProblem& problem_;
  ProblemRecord& record_;
  const TrSettings& settings_;
  std::FILE* rec_;
  SeedsFile& seeds_;
  SeedChain chain_;
  Trajectory trajectory_;
  TrProgress progress_;
  TrSamples samples_;
  std::vector<std::vector<double>> objectives_;  // [m - 1][g]: total (g = 0) and groups
  long model_calls_;
  long runs_ = 0;  // CT runs made
  double last_total_ = 0.0;
  bool last_run_failed_ = false;
  short status_ = 0;  // the status of the last sample run or CT run
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
  if (r == 1) {
    if (progress.Kbest == kTrNoObjective) {
      progress.Kbest = F;
      progress.best_run = 1;
    }
  } else {
    progress.s = F < (1.0 - settings.f) * progress.Kbest ? 0 : progress.s + 1;
    if (F < progress.Kbest) {
      progress.Kbest = F;
      progress.best_run = r;
    }
  }
  if (progress.s == settings.Nstall) return true;
  return r + 1 > settings.Nct;
}

short RunTrajectoryRepulsion(tarne::mpi_setup* partition, int argc, char** argv) {
  if (RefuseMissingArguments(argc)) return 1;
  std::printf("\nUsing the trajectory repulsion stochastic global optimization method,\n");
  std::printf("as implemented directly in TARNE, to calibrate the current TARNE model.\n");
  std::printf("Trajectory repulsion uses the (Secant) Levenberg-Marquardt local search "
              "method,\n");
  std::printf("as implemented directly in TARNE, for local search.\n\n");

  const MethodFile input = OpenMethodFile(kInputFileName, "r");
  if (!input) return 1;
  const MethodFile rec = OpenMethodFile(kRecordFileName, "w");
  if (!rec) return 1;
  GlobalProblem problem;
  bool stop = true;
  const short loaded = LoadGlobalProblem(partition, argc, argv, "slm_kor_ms2", problem, &stop);
  if (stop) return loaded;

  PrintSeedsNote();
  TrSettings settings;
  InputReader in(input.get(), kInputFileName);
  if (!ReadSettings(in, settings)) return 1;
  SeedsFile seeds;
  if (!seeds.Open(SeedsFile::ModeOfWord(settings.seeds_word))) return 1;

  TrajectoryRepulsion method(problem, settings, rec.get(), seeds);
  const short status = method.Run();
  if (status != 0) return status;
  return CloseGlobalProblem(problem);
}
