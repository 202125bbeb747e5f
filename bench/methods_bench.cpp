// Which calibration method when: the six methods of tarne ("-m", "-c", "-slm", "-ms",
// "-mlsl", "-tr") on the same problems with several residuals and several minima, 30 seeds
// each. Every problem is written both as a model-library objective (Monte Carlo, SCE) and as
// a PEST-format case (the Levenberg-Marquardt tools) with the same bounds and the same
// objective, phi (see methods_problems.h); the settings of each method are fixed once for
// all problems (methods_runs.cpp). Every method run is a "tarne" process in a temporary
// directory; the model counts and records the phi of every model run it makes, so that
// every method is measured alike:
//
//   reached          seeds whose lowest phi lies within 1e-3 relative of the global minimum
//   runs median/p90  model runs until the method stopped (p90: nearest rank, 27th of 30)
//   first reach      median runs until phi first came within the tolerance, over the seeds
//                    that reached it
//   in B runs        within the problem's fixed budget B (250 runs per parameter): seeds that
//                    reached the global minimum, and the median lowest phi
//
// and a line per problem tells whether one of -ms, -mlsl, -tr reaches the global minimum in
// at least 27 of 30 seeds with fewer median runs than SCE-UA at SCE's own success of 27 or
// more, or reaches it within the budget in more seeds than SCE-UA.
//
//   bench_methods [--tarne PATH] [--seeds N] [--jobs N] [--timeout SECONDS]
//                 [--problem LABEL]... [--method OPTION]... [--nist DIR] [--plot FILE]
//                 [--keep] [--verbose]
//
// Problems: sine, hydro, BoxBOD, Eckerle4, MGH10, MGH17 (default all). --plot writes one
// tab-separated row per method and problem for bench/methods_plot.gp. Run it under nice: a
// full run makes about a million model runs, each a process start.
#include <sys/utsname.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "methods_problems.h"
#include "methods_runs.h"
#include "methods_stats.h"

namespace {

namespace fs = std::filesystem;
using methods::Method;

constexpr double kTolerance = 1e-3;   // reached: phi <= global minimum x (1 + kTolerance)
constexpr double kNeededShare = 0.9;  // 27 of 30 seeds, for the comparison with SCE-UA

struct Options {
  fs::path tarne;
  int seeds = 30;
  int jobs = 2;
  double timeout = 1800.0;
  std::vector<std::string> problems;
  std::vector<Method> methods;
  fs::path nist = "/work/shared/reference/nist-strd";
  fs::path plot;
  bool keep = false;
  bool verbose = false;
};

int Usage() {
  std::fprintf(stderr,
               "usage: bench_methods [--tarne PATH] [--seeds N] [--jobs N] [--timeout SECONDS]\n"
               "                     [--problem LABEL]... [--method OPTION]... [--nist DIR]\n"
               "                     [--plot FILE] [--keep] [--verbose]\n");
  return 2;
}

bool ParseOptions(int argc, char** argv, const fs::path& self, Options& o) {
  o.tarne = self.parent_path() / ".." / "src" / "driver" / "tarne";
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    const bool has_value = i + 1 < argc;
    if (word == "--keep") {
      o.keep = true;
    } else if (word == "--verbose") {
      o.verbose = true;
    } else if (!has_value) {
      return false;
    } else if (word == "--tarne") {
      o.tarne = argv[++i];
    } else if (word == "--seeds") {
      o.seeds = std::atoi(argv[++i]);
    } else if (word == "--jobs") {
      o.jobs = std::atoi(argv[++i]);
    } else if (word == "--timeout") {
      o.timeout = std::atof(argv[++i]);
    } else if (word == "--problem") {
      o.problems.push_back(argv[++i]);
    } else if (word == "--method") {
      Method m;
      if (!methods::ParseMethod(argv[++i], m)) return false;
      o.methods.push_back(m);
    } else if (word == "--nist") {
      o.nist = argv[++i];
    } else if (word == "--plot") {
      o.plot = argv[++i];
    } else {
      return false;
    }
  }
  if (o.problems.empty()) {
    o.problems = {"sine", "hydro"};
    for (const std::string& name : methods::NistProblemNames()) o.problems.push_back(name);
  }
  if (o.methods.empty()) o.methods = methods::AllMethods();
  return o.seeds >= 1 && o.jobs >= 1 && o.timeout > 0.0;
}

// The date, and what kind of machine: processor count and memory.
void PrintMachine(int seeds) {
  char date[32];
  const std::time_t now = std::time(nullptr);
  std::strftime(date, sizeof date, "%Y-%m-%d %H:%M", std::localtime(&now));
  long kib = 0;
  std::ifstream meminfo("/proc/meminfo");
  std::string key;
  meminfo >> key >> kib;
  utsname host{};
  uname(&host);
  std::printf(
      "methods: %s, %s %s, %ld processors, %.0f GiB memory; %d seeds per method and "
      "problem\n",
      date, host.sysname, host.machine, sysconf(_SC_NPROCESSORS_ONLN),
      static_cast<double>(kib) / 1048576.0, seeds);
}

std::string Share(int count, int of) { return std::to_string(count) + "/" + std::to_string(of); }

std::string Runs(double runs) {
  if (runs < 0.0) return "-";
  char text[32];
  std::snprintf(text, sizeof text, "%.0f", runs);
  return text;
}

void PrintProblemHead(const methods::Problem& p) {
  std::printf(
      "\n%s: %zu parameters, %zu observations; global minimum phi %.8g (%s); reached: "
      "phi <= %.8g; budget %ld runs\n",
      p.label.c_str(), p.names.size(), p.observed.size(), p.global_phi, p.global_source.c_str(),
      p.global_phi * (1.0 + kTolerance), p.budget);
  std::printf("%-6s %8s %8s %8s %8s | %-13s %8s %14s\n", "method", "reached", "median", "p90",
              "first", "in budget:", "reached", "median phi");
}

void PrintRow(Method m, const methods::MethodSummary& s) {
  std::printf("%-6s %8s %8s %8ld %8s | %-13s %8s %14.6g", methods::MethodLabel(m),
              Share(s.reached, s.seeds).c_str(), Runs(s.median_runs).c_str(), s.p90_runs,
              Runs(s.median_reach).c_str(), "", Share(s.reached_in_budget, s.seeds).c_str(),
              s.median_best_in_budget);
  if (s.ended_badly > 0) std::printf("  (%d ended badly)", s.ended_badly);
  std::printf("\n");
}

// The comparison line of one problem; returns whether the target holds there.
bool PrintVerdict(const std::map<Method, methods::MethodSummary>& summaries) {
  const auto sce = summaries.find(Method::kSce);
  if (sce == summaries.end()) return false;
  const int needed = static_cast<int>(std::ceil(kNeededShare * sce->second.seeds - 1e-9));
  std::string met, closest;
  int closest_reached = -1;
  for (const auto& [m, s] : summaries) {
    if (!methods::IsGlobalLm(m)) continue;
    if (methods::BeatsSce(s, sce->second, needed)) {
      met += std::string(met.empty() ? "" : ", ") + methods::MethodLabel(m);
    }
    if (s.reached > closest_reached) {
      closest_reached = s.reached;
      closest = methods::MethodLabel(m);
    }
  }
  if (!met.empty()) {
    std::printf("target met by %s\n", met.c_str());
  } else {
    std::printf("target NOT met; closest %s with %d of %d\n", closest.c_str(), closest_reached,
                sce->second.seeds);
  }
  return !met.empty();
}

struct ProblemResult {
  std::map<Method, std::vector<methods::SeedOutcome>> outcomes;
  double lowest = HUGE_VAL;  // of every run, to check the global minimum
};

// Runs every method on one problem and prints its block of the table; returns whether the
// comparison target holds on it.
bool RunProblem(const methods::Problem& p, const methods::Sources& sources, const Options& o,
                const fs::path& work, std::FILE* plot) {
  std::vector<methods::Job> jobs;
  for (Method m : o.methods) {
    if (m == Method::kMonteCarlo) {
      jobs.push_back(methods::PrepareJob(p, sources, m, 0, o.seeds, o.tarne, work));
      continue;
    }
    for (int seed = 1; seed <= o.seeds; ++seed) {
      jobs.push_back(methods::PrepareJob(p, sources, m, seed, o.seeds, o.tarne, work));
    }
  }
  ProblemResult r;
  const double threshold = p.global_phi * (1.0 + kTolerance);
  methods::RunJobs(
      jobs, o.jobs, o.timeout, o.keep,
      [&](const methods::Job& job, const methods::JobResult& result) {
        std::vector<std::vector<double>> traces = {result.phi};
        if (job.method == Method::kMonteCarlo)
          traces = methods::SplitIntoBlocks(result.phi, o.seeds, p.budget);
        for (const std::vector<double>& trace : traces) {
          methods::SeedOutcome outcome = methods::ScoreTrace(trace, threshold, p.budget);
          outcome.ended_badly = !result.ended_well;
          r.lowest = std::min(r.lowest, outcome.best);
          r.outcomes[job.method].push_back(outcome);
          if (o.verbose) {
            std::fprintf(stderr, "%s %s seed %d: %ld runs, lowest phi %.10g%s%s%s\n",
                         p.label.c_str(), methods::MethodLabel(job.method), job.seed, outcome.runs,
                         outcome.best, outcome.reached ? " (reached)" : "",
                         result.ended_well ? "" : ", ended badly",
                         o.keep ? (", in " + job.dir.string()).c_str() : "");
          }
        }
      });
  PrintProblemHead(p);
  std::map<Method, methods::MethodSummary> summaries;
  for (Method m : o.methods) {
    summaries[m] = methods::Summarise(r.outcomes[m]);
    PrintRow(m, summaries[m]);
    if (plot != nullptr) {
      const methods::MethodSummary& s = summaries[m];
      std::fprintf(plot, "%s\t%s\t%d\t%d\t%.1f\t%ld\t%d\n", p.label.c_str(),
                   methods::MethodLabel(m), s.reached, s.seeds, s.median_runs, s.p90_runs,
                   s.reached_in_budget);
    }
  }
  const bool met = PrintVerdict(summaries);
  if (r.lowest < p.global_phi * (1.0 - 1e-6)) {
    std::printf("note: a run found phi %.10g, below the global minimum given above\n", r.lowest);
  }
  std::fflush(stdout);
  return met;
}

}  // namespace

int main(int argc, char** argv) {
  if (fs::path(argv[0]).filename() == methods::kModelLink) return methods::RunModelCommand();
  std::error_code error;
  const fs::path self = fs::read_symlink("/proc/self/exe", error);
  if (error) {
    std::fprintf(stderr, "bench_methods: cannot find this program's path\n");
    return 2;
  }
  Options o;
  if (!ParseOptions(argc, argv, self, o)) return Usage();
  o.tarne = fs::absolute(o.tarne).lexically_normal();
  if (access(o.tarne.c_str(), X_OK) != 0) {
    std::fprintf(stderr, "bench_methods: %s is not an executable program (build tarne first)\n",
                 o.tarne.c_str());
    return 2;
  }
  methods::Sources sources{self, fs::path(TARNE_SOURCE_DIR) / "examples", fs::absolute(o.nist)};
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = (fs::path(tmp != nullptr ? tmp : "/tmp") / "bench_methods.XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    std::perror("bench_methods: mkdtemp");
    return 2;
  }
  const fs::path work = pattern;
  std::FILE* plot = nullptr;
  if (!o.plot.empty() && (plot = std::fopen(o.plot.c_str(), "w")) == nullptr) {
    std::fprintf(stderr, "bench_methods: cannot create %s\n", o.plot.c_str());
    return 2;
  }
  if (plot != nullptr)
    std::fprintf(plot,
                 "problem\tmethod\treached\tseeds\tmedian_runs\tp90_runs\treached_in_budget\n");
  const auto started = std::chrono::steady_clock::now();
  PrintMachine(o.seeds);
  std::printf(
      "methods: reached = lowest phi within %g relative of the global minimum; runs = "
      "model runs until the method stopped (median, 90th percentile by nearest rank); "
      "first = median runs until first reached\n",
      kTolerance);
  for (const std::string& line : methods::SettingsLines())
    std::printf("settings %s\n", line.c_str());
  std::string met, not_met;
  for (const std::string& label : o.problems) {
    methods::Problem problem;
    std::string reason;
    if (!methods::MakeProblem(label, sources, problem, reason)) {
      std::fprintf(stderr, "bench_methods: %s\n", reason.c_str());
      return 2;
    }
    std::string& list = RunProblem(problem, sources, o, work, plot) ? met : not_met;
    list += " " + label;
  }
  std::printf("\ntarget met on:%s\ntarget not met on:%s\n", met.empty() ? " -" : met.c_str(),
              not_met.empty() ? " -" : not_met.c_str());
  if (plot != nullptr) std::fclose(plot);
  if (!o.keep) fs::remove_all(work, error);
  std::printf("\nmethods: %.0f seconds\n",
              std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
  return 0;
}
