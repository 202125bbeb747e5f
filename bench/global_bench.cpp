// Success and cost of the global methods MLSL ("-mlsl") and trajectory repulsion ("-tr") on the
// standard test functions of the "function" model kind: Shekel 5, 7 and 10 on [0, 10]^4,
// Hartman 3 and 6 on [0, 1]^n, Goldstein-Price on [-2, 2]^2 and Branin on [-5, 10] x [0, 15].
// Each function is a PEST-format case with one observation 0 of weight 1 whose simulated value
// is the function value (the model's output line "objective <value>", read by an instruction
// file), so phi is the function squared. The functions are shifted so that their minimum is 0.
//
// For every function and seed the method runs once, with the settings below (the same for
// every function). A seed succeeds when the function value at the best result's reported end
// point, evaluated afresh, is at most 1e-4 (sqrt(phi) <= 1e-4). The table gives the share of
// seeds that succeed and the median and mean model runs, with the median runs of another
// library's MLSL on the same functions beside them.
//
//   bench_global [--seeds N] [--function LABEL] [--verbose] [mlsl] [tr]
//     (default: 30 seeds, every function, both methods side by side; --function runs one
//     function, such as Hartman6; --verbose lists every seed on standard error)
//   bench_global --reach LABEL
//     the local search alone ("-slm"): from 12 starts at each of several distances from the
//     function's global minimiser, in directions drawn at random, the share that reaches the
//     minimum (function value at most 1e-4). This is the region from which the global
//     methods' local searches can succeed.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "global/mlsl.h"
#include "global/trajectory_repulsion.h"
#include "lm/slm_driver.h"
#include "modellib/tarne_lib.h"
#include "modellib/test_functions.h"
#include "quiet_stdout.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct BenchFunction {
  const char* label;
  const char* name;  // the "function" keyword of the project file
  int n;
  double lower[6];
  double upper[6];
  double reference_median;  // model runs of the other library's MLSL
  double minimiser[6];      // a global minimiser, as the literature gives it
};

const BenchFunction kFunctions[] = {
    {"Shekel5", "shekel5", 4, {0, 0, 0, 0}, {10, 10, 10, 10}, 77,
     {4.00004, 4.00013, 4.00004, 4.00013}},
    {"Shekel7", "shekel7", 4, {0, 0, 0, 0}, {10, 10, 10, 10}, 70,
     {4.00057, 4.00069, 3.99949, 3.99961}},
    {"Shekel10", "shekel10", 4, {0, 0, 0, 0}, {10, 10, 10, 10}, 291,
     {4.00075, 4.00059, 3.99966, 3.99951}},
    {"Hartman3", "hartman3", 3, {0, 0, 0}, {1, 1, 1}, 21, {0.114614, 0.555649, 0.852547}},
    {"Hartman6", "hartman6", 6, {0, 0, 0, 0, 0, 0}, {1, 1, 1, 1, 1, 1}, 438,
     {0.20169, 0.150011, 0.476874, 0.275332, 0.311652, 0.6573}},
    {"Goldstein-Price", "goldstein-price", 2, {-2, -2}, {2, 2}, 60, {0, -1}},
    {"Branin", "branin", 2, {-5, 0}, {10, 15}, 32, {3.14159265, 2.275}},
};

// The settings of both methods, the same for every function.
//   Local search (control file): three-point derivatives throughout (FORCEN "always_3"; the
//   engine perturbs by fixed fractions of 1 % and 2 % of a value), at most 120 iterations,
//   stop when phi or the parameters change by less than a relative 1e-5 over 4 iterations or
//   phi has not fallen for 15, repulsion distance LSDISTMIN 0.001; lambda settings as in
//   examples/global/sine.pst. A single residual makes the search a Gauss-Newton root finder
//   along the gradient, which needs many iterations to bring the function below 1e-4 in flat
//   valleys (Hartman 3), hence the generous limits.
//   MLSL ("mlsl.in"): N 50, gamma 0.1, sigma 4, dmin 0.001, no seeds file, Kmax 5, Lmax 5,
//   Lstall 2, Kstall 2, f 0.0001.
//   Trajectory repulsion ("tr.in"): no seeds file, Npre 100, Nct 8, Nstall 3, f 0.0001.
constexpr const char* kControlIterations = "120 0.00001 4 15 0.00001 4";
constexpr const char* kDerivatives = "g relative 0.01 0.0 always_3 2.0 parabolic";
constexpr const char* kLsdistmin = "0.001";
constexpr const char* kMlslInput = "50 0.1 4.0 0.001\nnone %u\n5 5 2 2 0.0001\n";
constexpr const char* kTrInput = "none %u\n100 8 3 0.0001\n";
constexpr double kSuccess = 1e-4;
constexpr int kDefaultSeeds = 30;

void Check(bool ok, const std::string& what) {
  if (ok) return;
  std::fprintf(stderr, "benchmark step failed: %s\n", what.c_str());
  std::exit(1);
}

void WriteText(const std::string& path, const std::string& text) {
  std::FILE* file = std::fopen(path.c_str(), "w");
  Check(file != nullptr, path);
  std::fputs(text.c_str(), file);
  std::fclose(file);
}

std::string ReadText(const std::string& path) {
  std::string text;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return text;
  char buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, n);
  std::fclose(file);
  return text;
}

// The case of one function in the current directory: the project file takes the values
// through the replacement list and value file the PEST tools write, so no template is needed.
// The local search starts from start, or from the middle of the bounds when it is null.
void WriteCase(const BenchFunction& f, const double* start = nullptr) {
  std::string project = "kind function\nfunction " + std::string(f.name) +
                        "\noutput model.out\nreplace tarne.in\nvalues values.in\n";
  std::string control =
      "pcf\n* control data\nnorestart estimation\n" + std::to_string(f.n) +
      " 1 1 0 1\n0 1 single point 1 0 0\n0.01 2.0 0.3 0.01 10\n5.0 5.0 0.001 0\n0.1 noaui\n" +
      kControlIterations + "\n0 0 0\n0 0 0.9 1 " + kLsdistmin +
      "\ncase.prj\n* parameter groups\n" + kDerivatives + "\n* parameter data\n";
  char line[160];
  for (int k = 0; k < f.n; ++k) {
    std::snprintf(line, sizeof line, "x%d none relative %.17g %.17g %.17g g 1.0 0.0 1\n", k + 1,
                  start != nullptr ? start[k] : 0.5 * (f.lower[k] + f.upper[k]), f.lower[k],
                  f.upper[k]);
    control += line;
    project += "parameter x" + std::to_string(k + 1) + " [x" + std::to_string(k + 1) + "]\n";
  }
  control += "* observation groups\nfunction\n* observation data\nobjective 0.0 1.0 function\n"
             "* model command line\nnone true\n* model input/output\ncase.ins model.out\n"
             "* prior information\n";
  WriteText("case.pst", control);
  WriteText("case.prj", project);
  WriteText("case.ins", "pif #\nl1 w !objective!\n");
}

struct Outcome {
  double value = -1.0;  // the function afresh at the best result's end point
  bool success = false;
  bool fatal = false;  // the run ended through the numerical error exit
  long model_runs = 0;
};

// The numbers after the last "<label>" in text, or -1.
double NumberAfterLast(const std::string& text, const std::string& label) {
  const size_t at = text.rfind(label);
  if (at == std::string::npos) return -1.0;
  return std::strtod(text.c_str() + at + label.size(), nullptr);
}

// The optimised values of the parameter table that follows position at.
std::vector<double> OptimisedValues(const std::string& text, size_t at, int n) {
  std::vector<double> values;
  const std::string head = "         name                value               value\n";
  size_t pos = text.find(head, at);
  if (pos == std::string::npos) return values;
  pos += head.size();
  for (int k = 0; k < n; ++k) {
    const size_t end = text.find('\n', pos);
    char name[64];
    double start = 0.0, optimised = 0.0;
    if (std::sscanf(text.substr(pos, end - pos).c_str(), "\t%63s\t%lf\t%lf", name, &start,
                    &optimised) != 3) {
      return {};
    }
    values.push_back(optimised);
    pos = end + 1;
  }
  return values;
}

// The best result's end point: the parameter table of the local search with the given
// number, counting the searches' result headers in order.
std::vector<double> BestEndPoint(const std::string& text, const std::string& header,
                                 long run, int n) {
  size_t at = std::string::npos;
  size_t from = 0;
  for (long r = 1; r <= run; ++r) {
    at = text.find(header, from);
    if (at == std::string::npos) return {};
    from = at + header.size();
  }
  return OptimisedValues(text, at, n);
}

// Runs a tool entry on "case" in a process of its own, its screen and error lines dropped:
// a fatal numerical error of a local search ends the process (nr_error), and it then counts
// as a failure of that run, not of the benchmark. Returns whether the process ended well.
bool RunToolAlone(short (*entry)(tarne::mpi_setup*, int, char**), const char* option) {
  std::vector<std::string> words = {"tarne", option, "case"};
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  std::fflush(nullptr);
  const pid_t child = fork();
  Check(child >= 0, "fork");
  if (child == 0) {
    tarne::mpi_setup partition;
    QuietStdout quiet;
    const int null_fd = open("/dev/null", O_WRONLY);
    dup2(null_fd, 2);
    entry(&partition, 3, argv.data());
    std::fflush(nullptr);
    _exit(0);
  }
  int wait_status = 0;
  waitpid(child, &wait_status, 0);
  return WIFEXITED(wait_status) && WEXITSTATUS(wait_status) == 0;
}

Outcome RunOnce(const BenchFunction& f, bool mlsl, unsigned seed) {
  char input[128];
  std::snprintf(input, sizeof input, mlsl ? kMlslInput : kTrInput, seed);
  WriteText(mlsl ? "mlsl.in" : "tr.in", input);
  Outcome outcome;
  if (!RunToolAlone(mlsl ? RunMlsl : RunTrajectoryRepulsion, mlsl ? "-mlsl" : "-tr")) {
    outcome.fatal = true;
    return outcome;
  }
  const std::string rec = ReadText(mlsl ? "slm_kor_mlsl.rec" : "slm_kor_ms2.rec");
  long best_run = 0;
  std::vector<double> end;
  if (mlsl) {
    outcome.model_runs = static_cast<long>(NumberAfterLast(rec, "Total model calls    = "));
    best_run = static_cast<long>(
        NumberAfterLast(rec, "This value was obtained from reported inversion run number "));
    end = BestEndPoint(rec, "Results of MLSL supervised local search", best_run, f.n);
  } else {
    outcome.model_runs =
        static_cast<long>(NumberAfterLast(rec, "Total number of model calls so far       = "));
    best_run = static_cast<long>(
        NumberAfterLast(rec, "This value was obtained from inversion run number "));
    end = BestEndPoint(rec, " Results of CT inversion run number ", best_run, f.n);
  }
  Check(outcome.model_runs > 0 && best_run >= 1 && static_cast<int>(end.size()) == f.n,
        std::string("reading the record file of ") + f.label);
  // The function afresh at the reported point: its value is sqrt(phi) of that point.
  const tarne::TestFunction* function = tarne::FindTestFunction(f.name);
  Check(function != nullptr, f.name);
  outcome.value = function->evaluate(end.data(), f.n);
  outcome.success = std::fabs(outcome.value) <= kSuccess;
  return outcome;
}

struct Summary {
  int successes = 0;
  int fatal = 0;  // runs ended by the numerical error exit (failures, without a run count)
  int seeds = 0;
  double median = 0.0;
  double mean = 0.0;
};

Summary RunSeeds(const BenchFunction& f, bool mlsl, int seeds, bool verbose) {
  const fs::path dir =
      fs::temp_directory_path() / "tarne_bench_global" / (mlsl ? "mlsl" : "tr") / f.name;
  fs::remove_all(dir);
  fs::create_directories(dir);
  fs::current_path(dir);
  WriteCase(f);
  Summary summary;
  std::vector<double> runs;
  for (int s = 1; s <= seeds; ++s) {
    const unsigned seed = 1000u + 7919u * static_cast<unsigned>(s);
    const Outcome outcome = RunOnce(f, mlsl, seed);
    if (verbose) {
      std::fprintf(stderr, "%s %s seed %u: %s, %ld model runs, function value %.3e\n",
                   mlsl ? "mlsl" : "tr", f.label, seed,
                   outcome.fatal ? "fatal" : outcome.success ? "success" : "failure",
                   outcome.model_runs, outcome.value);
    }
    summary.successes += outcome.success;
    summary.fatal += outcome.fatal;
    if (!outcome.fatal) runs.push_back(static_cast<double>(outcome.model_runs));
  }
  summary.seeds = seeds;
  std::sort(runs.begin(), runs.end());
  const size_t n = runs.size();
  if (n == 0) return summary;
  summary.median = n % 2 == 1 ? runs[n / 2] : 0.5 * (runs[n / 2 - 1] + runs[n / 2]);
  for (double r : runs) summary.mean += r / static_cast<double>(n);
  return summary;
}

// RunSeeds in a process of its own, so that the two methods run side by side on two cores;
// the summary comes back through a file. Returns the process id.
pid_t StartSeeds(const BenchFunction& f, bool mlsl, int seeds, bool verbose,
                 const fs::path& result) {
  std::fflush(nullptr);
  const pid_t child = fork();
  Check(child >= 0, "fork");
  if (child != 0) return child;
  const Summary s = RunSeeds(f, mlsl, seeds, verbose);
  std::FILE* out = std::fopen(result.c_str(), "w");
  if (out != nullptr) {
    std::fprintf(out, "%d %d %d %.17g %.17g\n", s.successes, s.fatal, s.seeds, s.median,
                 s.mean);
    std::fclose(out);
  }
  std::fflush(nullptr);
  _exit(0);
}

Summary FinishSeeds(pid_t child, const fs::path& result) {
  int wait_status = 0;
  waitpid(child, &wait_status, 0);
  Summary s;
  std::FILE* in = std::fopen(result.c_str(), "r");
  Check(in != nullptr && std::fscanf(in, "%d %d %d %lf %lf", &s.successes, &s.fatal, &s.seeds,
                                     &s.median, &s.mean) == 5,
        "the summary " + result.string());
  std::fclose(in);
  return s;
}

// "successes/seeds", then the fatal runs in brackets when there were any.
std::string Share(const Summary& s) {
  char text[48];
  if (s.seeds == 0) return "-";
  if (s.fatal > 0) {
    std::snprintf(text, sizeof text, "%d/%d (%d fatal)", s.successes, s.seeds, s.fatal);
  } else {
    std::snprintf(text, sizeof text, "%d/%d", s.successes, s.seeds);
  }
  return text;
}

// The local search alone from starts at several distances from f's minimiser: prints the
// share of starts per distance from which it reaches the minimum.
void RunReach(const BenchFunction& f) {
  const fs::path dir = fs::temp_directory_path() / "tarne_bench_global" / "reach" / f.name;
  fs::remove_all(dir);
  fs::create_directories(dir);
  const fs::path home = fs::current_path();
  fs::current_path(dir);
  const tarne::TestFunction* function = tarne::FindTestFunction(f.name);
  Check(function != nullptr, f.name);
  // Distances as fractions of the bound range (the same in every direction here).
  const double range = f.upper[0] - f.lower[0];
  constexpr int kStarts = 12;
  std::printf("reach: %s, -slm from %d starts per distance; control file \"%s\", \"%s\"\n",
              f.label, kStarts, kControlIterations, kDerivatives);
  std::printf("%-24s %s\n", "distance (range share)", "reached the minimum");
  unsigned state = 12345u;
  auto gauss = [&state]() {  // Box-Muller on a small linear congruential generator
    auto uniform = [&state]() {
      state = state * 1664525u + 1013904223u;
      return (static_cast<double>(state >> 8) + 0.5) / 16777216.0;
    };
    const double u = uniform(), v = uniform();
    return std::sqrt(-2.0 * std::log(u)) * std::cos(6.283185307179586 * v);
  };
  for (double share : {0.01, 0.02, 0.03, 0.05, 0.06, 0.08, 0.12, 0.2}) {
    int reached = 0, tried = 0;
    for (int s = 0; s < kStarts; ++s) {
      double direction[6], start[6], norm = 0.0;
      for (int k = 0; k < f.n; ++k) {
        direction[k] = gauss();
        norm += direction[k] * direction[k];
      }
      bool inside = true;
      for (int k = 0; k < f.n; ++k) {
        start[k] = f.minimiser[k] + share * range * direction[k] / std::sqrt(norm);
        inside = inside && start[k] >= f.lower[k] && start[k] <= f.upper[k];
      }
      if (!inside) continue;
      WriteCase(f, start);
      fs::remove("case.par");
      ++tried;
      // A search ended through the numerical error exit counts as not reaching the minimum.
      if (!RunToolAlone(slm_kor, "-slm")) continue;
      // The best parameters, as the final run left them in the ".par" file.
      std::vector<double> end;
      const std::string par = ReadText("case.par");
      const char* at = par.c_str();
      char* next = nullptr;
      for (int k = 0; k < f.n; ++k, at = next) end.push_back(std::strtod(at, &next));
      if (static_cast<int>(end.size()) == f.n &&
          std::fabs(function->evaluate(end.data(), f.n)) <= kSuccess) {
        ++reached;
      }
    }
    char label[32];
    std::snprintf(label, sizeof label, "%g (%g)", share * range, share);
    std::printf("%-24s %d/%d\n", label, reached, tried);
    std::fflush(stdout);
  }
  fs::current_path(home);
}

}  // namespace

int main(int argc, char** argv) {
  int seeds = kDefaultSeeds;
  bool run_mlsl = false, run_tr = false, verbose = false;
  std::string only;   // one function's label, or every function
  std::string reach;  // the function whose local-search reach is measured
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--seeds") == 0 && i + 1 < argc) {
      seeds = std::atoi(argv[++i]);
    } else if (std::strcmp(argv[i], "--function") == 0 && i + 1 < argc) {
      only = argv[++i];
    } else if (std::strcmp(argv[i], "--reach") == 0 && i + 1 < argc) {
      reach = argv[++i];
    } else if (std::strcmp(argv[i], "--verbose") == 0) {
      verbose = true;
    } else if (std::strcmp(argv[i], "mlsl") == 0) {
      run_mlsl = true;
    } else if (std::strcmp(argv[i], "tr") == 0) {
      run_tr = true;
    } else {
      std::fprintf(stderr,
                   "usage: bench_global [--seeds N] [--function LABEL] [--verbose] [mlsl] [tr]\n"
                   "       bench_global --reach LABEL\n");
      return 1;
    }
  }
  if (!reach.empty()) {
    for (const BenchFunction& f : kFunctions) {
      if (reach == f.label) {
        RunReach(f);
        return 0;
      }
    }
    std::fprintf(stderr, "bench_global: no function is called %s\n", reach.c_str());
    return 1;
  }
  if (seeds < 1) seeds = 1;
  if (!run_mlsl && !run_tr) run_mlsl = run_tr = true;
  const fs::path home = fs::current_path();
  // The input files on one line each, the seed shown as "<seed>".
  auto one_line = [](std::string text) {
    for (char& c : text) c = c == '\n' ? ' ' : c;
    const size_t at = text.find("%u");
    if (at != std::string::npos) text.replace(at, 2, "<seed>");
    return text;
  };
  std::printf("global: %d seeds per function; a seed succeeds when the function value at the "
              "best result is at most %g\n",
              seeds, kSuccess);
  std::printf("global: control file \"%s\", \"%s\", LSDISTMIN %s\n", kControlIterations,
              kDerivatives, kLsdistmin);
  std::printf("global: mlsl.in \"%s\"; tr.in \"%s\"\n", one_line(kMlslInput).c_str(),
              one_line(kTrInput).c_str());
  std::printf("global: a fatal run ended through the numerical error exit and counts as a "
              "failure without a run count\n");
  std::printf("\n%-16s | %-29s | %-29s | %s\n", "", "MLSL", "trajectory repulsion",
              "other MLSL");
  std::printf("%-16s | %-15s %6s %6s | %-15s %6s %6s | %10s %8s\n", "function", "success",
              "median", "mean", "success", "median", "mean", "median", "seconds");
  for (const BenchFunction& f : kFunctions) {
    if (!only.empty() && only != f.label) continue;
    const Clock::time_point start = Clock::now();
    const fs::path results = fs::temp_directory_path() / "tarne_bench_global";
    fs::create_directories(results);
    const fs::path mlsl_result = results / (std::string("mlsl_") + f.name + ".txt");
    const fs::path tr_result = results / (std::string("tr_") + f.name + ".txt");
    const pid_t mlsl_child = run_mlsl ? StartSeeds(f, true, seeds, verbose, mlsl_result) : 0;
    const pid_t tr_child = run_tr ? StartSeeds(f, false, seeds, verbose, tr_result) : 0;
    Summary m, t;
    if (run_mlsl) m = FinishSeeds(mlsl_child, mlsl_result);
    if (run_tr) t = FinishSeeds(tr_child, tr_result);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("%-16s | %-15s %6.0f %6.0f | %-15s %6.0f %6.0f | %10.0f %8.1f\n", f.label,
                Share(m).c_str(), m.median, m.mean, Share(t).c_str(), t.median, t.mean,
                f.reference_median, seconds);
    std::fflush(stdout);
  }
  fs::current_path(home);
  return 0;
}
