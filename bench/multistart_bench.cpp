// How often multistart ("-ms") finds the global minimum, and at what cost in model runs.
// For each problem and each seed 1..20 the whole method runs in this process with N starting
// points; the benchmark reads the optimised values of every local search from
// "slm_kor_ms1.rec", evaluates the objective itself at the reported points, and prints the
// share of seeds whose best local search lies within 1e-4 of the global minimum, the share
// of single local searches that do, and the model runs used per seed (sample runs included).
//
//   sine     the bundled example examples/global (three parameters, 30 observations; the
//            objective is phi); its global minimum is found here independently: for every
//            frequency on a grid of step 1e-4 the amplitude and offset follow from a 2 x 2
//            least-squares problem, then a golden-section search refines the best frequency;
//   camel    the six-hump camel function of the "function" model kind on [-3, 3] x [-2, 2]
//            (six minima, two of them global);
//   branin   the Branin function on [-5, 10] x [0, 15] (three global minima).
//
// The functions are shifted by the model library so that their minimum is 0; each is a PEST
// case with one observation 0 of weight 1 whose simulated value the instruction file reads
// from the model's "objective <value>" line, so phi is the function squared; the criterion is
// on the function value itself. Settings: N = 8 starting points; every search as in
// examples/global/sine.pst (RLAMBDA1 0.01, RLAMFAC 2, NUMLAM 10, NOPTMAX 30, PHIREDSTP 0.001
// over 3 iterations, RELPARSTP 0.001 over 3); derivatives with relative increments 0.01
// (at least 1e-4 for the functions), switching to three-point parabolic ones.
//
//   bench_multistart [sine|camel|branin]... [--seeds N] [--starts N] [--source DIR]
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "global/multistart.h"
#include "quiet_stdout.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr double kPi = 3.14159265358979323846;
constexpr double kTolerance = 1e-4;

// The process's partition object, as the driver keeps it.
tarne::mpi_setup g_partition;

void Check(bool ok, const std::string& what) {
  if (ok) return;
  std::fprintf(stderr, "benchmark step failed: %s\n", what.c_str());
  std::exit(1);
}

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
  Check(static_cast<bool>(out), "writing " + path);
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteScript(const std::string& path, const std::string& text) {
  WriteText(path, "#!/bin/sh\n" + text);
  fs::permissions(path, fs::perms::owner_all);
}

void EnterFreshDirectory(const std::string& name) {
  const fs::path dir = fs::temp_directory_path() / name;
  fs::remove_all(dir);
  fs::create_directories(dir);
  fs::current_path(dir);
}

// ---- problems -----------------------------------------------------------------------------

struct Problem {
  std::string name;
  std::vector<std::string> parameters;
  // Writes the case "case.pst" and its files into the working directory; the post-run
  // command appends a line to "runs.txt" for every model run.
  std::function<void(const fs::path& source)> write_case;
  // The distance of the objective at the given natural parameter values from the global
  // minimum.
  std::function<double(const std::vector<double>&)> gap;
  std::string minimum;  // the global minimum as printed
};

// The sine example: observations t = 0.2 i, i = 1..30, read from sine.pst.
std::vector<double> g_sine_observations;

double SinePhi(double amplitude, double frequency, double offset) {
  double phi = 0.0;
  for (int i = 1; i <= 30; ++i) {
    const double simulated = amplitude * std::sin(frequency * 0.2 * i) + offset;
    const double r = g_sine_observations[i - 1] - simulated;
    phi += r * r;
  }
  return phi;
}

// The lowest phi over amplitude and offset at one frequency (both enter linearly).
double SineProfile(double frequency, double* amplitude = nullptr, double* offset = nullptr) {
  double ss = 0, s = 0, sy = 0, y = 0;
  for (int i = 1; i <= 30; ++i) {
    const double v = std::sin(frequency * 0.2 * i);
    ss += v * v;
    s += v;
    sy += v * g_sine_observations[i - 1];
    y += g_sine_observations[i - 1];
  }
  const double det = 30.0 * ss - s * s;
  const double a = (30.0 * sy - s * y) / det, c = (ss * y - s * sy) / det;
  if (amplitude != nullptr) *amplitude = a;
  if (offset != nullptr) *offset = c;
  return SinePhi(a, frequency, c);
}

double g_sine_minimum = 0.0;

void FindSineMinimum(std::string& printed) {
  double best_frequency = 0.5, best = SineProfile(0.5);
  for (double w = 0.5; w <= 6.0; w += 1e-4) {
    const double phi = SineProfile(w);
    if (phi < best) best = phi, best_frequency = w;
  }
  double lo = best_frequency - 1e-4, hi = best_frequency + 1e-4;
  const double ratio = (std::sqrt(5.0) - 1.0) / 2.0;
  for (int k = 0; k < 100; ++k) {
    const double a = hi - ratio * (hi - lo), b = lo + ratio * (hi - lo);
    if (SineProfile(a) < SineProfile(b)) hi = b; else lo = a;
  }
  double amplitude = 0, offset = 0;
  g_sine_minimum = SineProfile(0.5 * (lo + hi), &amplitude, &offset);
  char text[160];
  std::snprintf(text, sizeof text, "phi %.6f at amplitude %.4f, frequency %.4f, offset %.4f",
                g_sine_minimum, amplitude, 0.5 * (lo + hi), offset);
  printed = text;
}

void WriteSineCase(const fs::path& source) {
  for (const char* file : {"sine.prj", "sine.tpl", "sine.ins", "model.sh"}) {
    fs::copy_file(source / "examples/global" / file, file);
  }
  std::string control = ReadText((source / "examples/global/sine.pst").string());
  const std::string command = "none ./model.sh";
  const size_t at = control.find(command);
  Check(at != std::string::npos, "the model command of sine.pst");
  control.replace(at, command.size(), "none ./counted.sh");
  WriteText("case.pst", control);
  WriteScript("counted.sh", "./model.sh\necho >> runs.txt\n");
  g_sine_observations.clear();
  std::istringstream in(control.substr(control.find("* observation data")));
  std::string line, name;
  std::getline(in, line);
  for (int i = 1; i <= 30 && std::getline(in, line); ++i) {
    double value = 0.0;
    std::istringstream words(line);
    words >> name >> value;
    g_sine_observations.push_back(value);
  }
  Check(g_sine_observations.size() == 30, "the observations of sine.pst");
}

// A two-parameter function of the "function" model kind as a PEST case.
void WriteFunctionCase(const std::string& function, double lower1, double upper1, double start1,
                       double lower2, double upper2, double start2) {
  char parameters[256];
  std::snprintf(parameters, sizeof parameters,
                "x1 none relative %.17g %.17g %.17g g 1.0 0.0 1\n"
                "x2 none relative %.17g %.17g %.17g g 1.0 0.0 1\n",
                start1, lower1, upper1, start2, lower2, upper2);
  WriteText("case.pst",
            "pcf\n* control data\nnorestart estimation\n2 1 1 0 1\n1 1 single point 1 0 0\n"
            "0.01 2.0 0.3 0.01 10\n5.0 5.0 0.001 0\n0.1 noaui\n30 0.001 3 3 0.001 3\n0 0 0\n"
            "0 0 0.9 1 0.05\ncase.prj\n* parameter groups\n"
            "g relative 0.01 0.0001 switch 2.0 parabolic\n* parameter data\n" +
                std::string(parameters) +
                "* observation groups\nf\n* observation data\nobjective 0.0 1.0 f\n"
                "* model command line\nnone ./counted.sh\n* model input/output\n"
                "case.tpl case.prj\ncase.ins model.out\n* prior information\n");
  // The model library takes the values from "values.in" through the replacement list
  // "tarne.in"; the template, checked at start-up, stands for the same project.
  const std::string head = "kind function\nfunction " + function + "\noutput model.out\n";
  const std::string tail = "replace tarne.in\nvalues values.in\n";
  WriteText("case.prj", head + "parameter x1 [x1]\nparameter x2 [x2]\n" + tail);
  WriteText("case.tpl", "ptf $\n" + head + "parameter x1 $x1      $\nparameter x2 $x2      $\n" +
                            tail);
  WriteText("case.ins", "pif #\nl1 w !objective!\n");
  WriteScript("counted.sh", "echo >> runs.txt\n");
}

double SixHumpCamel(const std::vector<double>& x) {
  const double a2 = x[0] * x[0], b2 = x[1] * x[1];
  return (4.0 - 2.1 * a2 + a2 * a2 / 3.0) * a2 + x[0] * x[1] + (-4.0 + 4.0 * b2) * b2 +
         1.0316284534898772;  // the published minimum -1.0316284535
}

double Branin(const std::vector<double>& x) {
  const double b = 5.1 / (4.0 * kPi * kPi), c = 5.0 / kPi, t = 1.0 / (8.0 * kPi);
  const double u = x[1] - b * x[0] * x[0] + c * x[0] - 6.0;
  return u * u + 10.0 * (1.0 - t) * std::cos(x[0]) + 10.0 - 5.0 / (4.0 * kPi);
}

std::vector<Problem> Problems() {
  return {
      {"sine", {"amplitude", "frequency", "offset"}, WriteSineCase,
       [](const std::vector<double>& p) { return SinePhi(p[0], p[1], p[2]) - g_sine_minimum; },
       ""},
      {"camel", {"x1", "x2"},
       [](const fs::path&) { WriteFunctionCase("six-hump-camel", -3, 3, 1, -2, 2, 1); },
       [](const std::vector<double>& x) { return std::fabs(SixHumpCamel(x)); },
       "f 0 at (0.0898, -0.7127) and (-0.0898, 0.7127)"},
      {"branin", {"x1", "x2"},
       [](const fs::path&) { WriteFunctionCase("branin", -5, 10, 0, 0, 15, 0); },
       [](const std::vector<double>& x) { return std::fabs(Branin(x)); },
       "f 0 at (-pi, 12.275), (pi, 2.275) and (9.42478, 2.475)"},
  };
}

// ---- one run of the method -----------------------------------------------------------------

struct Outcome {
  std::vector<double> gaps;  // per local search, at its optimised values
  long model_runs = 0;
};

Outcome RunOnce(const Problem& problem, unsigned seed, int starts) {
  fs::remove("runs.txt");
  WriteText("ms.in", std::to_string(seed) + " " + std::to_string(starts) + "\n");
  char option[] = "-ms", control[] = "case";
  char* argv[] = {option, option, control, nullptr};
  short status = 0;
  {
    QuietStdout quiet;
    status = RunMultistart(&g_partition, 3, argv);
  }
  Check(status == 0, problem.name + ": the method failed for seed " + std::to_string(seed));
  Outcome outcome;
  const std::string rec = ReadText("slm_kor_ms1.rec");
  const std::string title = " Results of CT inversion run number";
  for (size_t at = rec.find(title); at != std::string::npos; at = rec.find(title, at + 1)) {
    std::vector<double> values;
    for (const std::string& name : problem.parameters) {
      const size_t line = rec.find("\t" + name + "\t", at);
      Check(line != std::string::npos, "the optimised value of " + name);
      double start = 0.0, optimised = 0.0;
      std::sscanf(rec.c_str() + line + name.size() + 2, "%lf\t%lf", &start, &optimised);
      values.push_back(optimised);
    }
    outcome.gaps.push_back(problem.gap(values));
  }
  Check(static_cast<int>(outcome.gaps.size()) == starts, "the local-search results");
  std::ifstream runs("runs.txt");
  std::string line;
  while (std::getline(runs, line)) ++outcome.model_runs;
  return outcome;
}

void Measure(const Problem& problem, const fs::path& source, int seeds, int starts) {
  EnterFreshDirectory("tarne_bench_multistart_" + problem.name);
  problem.write_case(source);
  std::string minimum = problem.minimum;
  if (problem.name == "sine") FindSineMinimum(minimum);
  const Clock::time_point started = Clock::now();
  int seeds_found = 0, searches_found = 0;
  long runs = 0, fewest = -1, most = 0;
  double worst_best_gap = 0.0;
  for (int seed = 1; seed <= seeds; ++seed) {
    const Outcome outcome = RunOnce(problem, static_cast<unsigned>(seed), starts);
    double best = INFINITY;
    for (double gap : outcome.gaps) {
      searches_found += gap <= kTolerance;
      best = std::fmin(best, gap);
    }
    seeds_found += best <= kTolerance;
    worst_best_gap = std::fmax(worst_best_gap, best);
    runs += outcome.model_runs;
    fewest = fewest < 0 ? outcome.model_runs : std::min(fewest, outcome.model_runs);
    most = std::max(most, outcome.model_runs);
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
  std::printf("%s: global minimum %s\n", problem.name.c_str(), minimum.c_str());
  std::printf("%s: %d of %d seeds (%.0f %%) reach it within %g with N = %d; %d of %d local "
              "searches (%.0f %%); largest best gap %.3g\n",
              problem.name.c_str(), seeds_found, seeds, 100.0 * seeds_found / seeds, kTolerance,
              starts, searches_found, seeds * starts, 100.0 * searches_found / (seeds * starts),
              worst_best_gap);
  std::printf("%s: model runs per seed: mean %.1f (fewest %ld, most %ld); %.1f s in all\n",
              problem.name.c_str(), static_cast<double>(runs) / seeds, fewest, most, seconds);
}

}  // namespace

int main(int argc, char** argv) {
  fs::path source = fs::path(__FILE__).parent_path().parent_path();
  int seeds = 20, starts = 8;
  std::vector<std::string> chosen;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--seeds") == 0 && i + 1 < argc) {
      seeds = std::atoi(argv[++i]);
    } else if (std::strcmp(argv[i], "--starts") == 0 && i + 1 < argc) {
      starts = std::atoi(argv[++i]);
    } else if (std::strcmp(argv[i], "--source") == 0 && i + 1 < argc) {
      source = fs::absolute(argv[++i]);
    } else {
      chosen.push_back(argv[i]);
    }
  }
  Check(seeds > 0 && starts > 0, "--seeds and --starts must be positive");
  for (const Problem& problem : Problems()) {
    bool wanted = chosen.empty();
    for (const std::string& name : chosen) wanted = wanted || name == problem.name;
    if (wanted) Measure(problem, source, seeds, starts);
  }
  return 0;
}
