// Measures the SCE-UA calibration on the function and hydro models of the library:
//  1. success table: default settings, 4 complexes, 20000 calls, kstop 5, 0.01 percent, on
//     five test functions from seeds 1..20 (or 1..N); prints how often the best value lies
//     within 1e-3 of the minimum 0, the mean number of evaluations, and which stop test ended
//     the failed runs (criterion change over kstop loops, population convergence, limit);
//  2. evaluations per second of a whole SCE run next to the rate of its model evaluations
//     alone (fresh model run object, model run, progress line), timed inside the same run,
//     on the function model and on the hydro example; the ratio is the search's whole cost
//     over its evaluations.
// Usage: bench_sce [--seeds N] [source directory]
//   --seeds N: run the success table over seeds 1..N (default 20)
//   source directory: default the tree this file was compiled from
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "quiet_stdout.h"
#include "sce/sce_driver.h"
#include "sce/sce_objective.h"
#include "sce/sce_random.h"

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

// The process's partition object, as the driver keeps it.
tarne::mpi_setup g_partition;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

void Write(const std::string& name, const std::string& text) {
  std::FILE* file = std::fopen(name.c_str(), "w");
  if (file == nullptr) {
    std::perror(name.c_str());
    std::exit(1);
  }
  std::fputs(text.c_str(), file);
  std::fclose(file);
}

std::vector<std::string> Lines(const std::string& name) {
  std::vector<std::string> lines;
  std::FILE* file = std::fopen(name.c_str(), "r");
  if (file == nullptr) return lines;
  char buffer[4096];
  while (std::fgets(buffer, sizeof buffer, file) != nullptr) lines.emplace_back(buffer);
  std::fclose(file);
  return lines;
}

struct Bounds {
  double lower;
  double upper;
};

struct FunctionCase {
  const char* name;
  std::vector<Bounds> bounds;
};

// Writes the project, replacement list, observation file and SCE input of a function case.
void WriteFunctionCase(const FunctionCase& c, int seed, int max_calls) {
  std::string project = std::string("kind function\nfunction ") + c.name + "\n";
  std::string list = std::to_string(c.bounds.size()) + "\n";
  std::string input = "f.prj\nf.lst\nf.obs\n" + std::to_string(max_calls) + " 5 0.01 4 " +
                      std::to_string(seed) + " 0 " + std::to_string(c.bounds.size()) +
                      "\n0 0 0 0 0 0\n";
  for (std::size_t i = 1; i <= c.bounds.size(); ++i) {
    std::string name = "x" + std::to_string(i);
    project += "parameter " + name + " [" + name + "]\n";
    list += "[" + name + "] \"%24.16le\"\n";
    const Bounds& b = c.bounds[i - 1];
    input += std::to_string(0.5 * (b.lower + b.upper)) + " " + std::to_string(b.lower) + " " +
             std::to_string(b.upper) + "\n";
  }
  Write("f.prj", project);
  Write("f.lst", list);
  Write("f.obs", "");
  Write("sce.in", input);
}

// Which stop test ended a search.
enum class StopTest { kCriterion, kConverged, kLimit };

// Result of one SCE run as its files report it.
struct RunSummary {
  double best = 1e300;  // best value of the final report
  long evaluations = 0;
  // The evaluation limit leaves no line in the output file; the other two tests do.
  StopTest stop = StopTest::kLimit;
};

RunSummary RunSce(const char* input) {
  {
    QuietStdout quiet;
    SceRun run(&g_partition);
    if (ran_gauss_has_spare()) ran_gauss(run);  // every run starts like a fresh process
    run_sce(&g_partition, input);
  }
  RunSummary summary;
  std::vector<std::string> out = Lines("sce_output.out");
  if (!out.empty()) summary.best = std::atof(out.back().c_str());
  for (const std::string& line : out) {
    if (line.find("CRITERION VALUE HAS NOT") != std::string::npos) {
      summary.stop = StopTest::kCriterion;
    } else if (line.find("POPULATION HAS CONVERGED") != std::string::npos) {
      summary.stop = StopTest::kConverged;
    }
  }
  std::vector<std::string> best = Lines("sce_best.out");
  if (!best.empty()) {
    std::sscanf(best[0].c_str(), "The best results of the SCE calibration %ld",
                &summary.evaluations);
    summary.evaluations -= 1;
  }
  return summary;
}

void SuccessTable(const std::vector<FunctionCase>& cases, int seeds) {
  std::printf("Success table: default settings, ngs 4, max_calls 20000, kstop 5, 0.01 %%, "
              "seeds 1..%d\n",
              seeds);
  std::printf("%-16s %-10s %16s   %s\n", "function", "success", "mean evaluations",
              "failed runs ended by criterion/converged/limit");
  for (const FunctionCase& c : cases) {
    int successes = 0;
    long evaluations = 0;
    int failed_by[3] = {0, 0, 0};
    for (int seed = 1; seed <= seeds; ++seed) {
      WriteFunctionCase(c, seed, 20000);
      RunSummary s = RunSce("sce.in");
      if (s.best <= 1e-3) {
        ++successes;
      } else {
        ++failed_by[static_cast<int>(s.stop)];
      }
      evaluations += s.evaluations;
    }
    std::printf("%-16s %5d/%-4d %16.1f   %d/%d/%d\n", c.name, successes, seeds,
                static_cast<double>(evaluations) / seeds, failed_by[0], failed_by[1],
                failed_by[2]);
    std::fflush(stdout);
  }
}

// Times whole SCE runs of the input and, inside each run, the model evaluations the search
// asks for (fresh model run object, model run, progress line). Both figures come from the
// same run, so a busy or throttled machine slows them alike; the ratio of the two is the
// search's whole cost over its evaluations. Five runs; the line shows the run with the
// median ratio.
void SpeedLine(const char* label, const char* input) {
  struct Timing {
    long evaluations;
    double whole;
    double evaluating;
  };
  std::vector<Timing> timings;
  for (int repeat = 0; repeat < 5; ++repeat) {
    double evaluating = 0.0;
    long evaluations = 0;
    Clock::time_point start;
    {
      QuietStdout quiet;
      SceRun run(&g_partition);
      if (ran_gauss_has_spare()) ran_gauss(run);  // every run starts like a fresh process
      run.objective_hook = [&run, &evaluating, &evaluations](const double* point, int) {
        Clock::time_point begin = Clock::now();
        double value = model_objective(run, point);
        evaluating += SecondsSince(begin);
        ++evaluations;
        return value;
      };
      start = Clock::now();
      run_sce_on(run, input);
    }
    timings.push_back({evaluations, SecondsSince(start), evaluating});
  }
  std::sort(timings.begin(), timings.end(), [](const Timing& a, const Timing& b) {
    return a.whole / a.evaluating < b.whole / b.evaluating;
  });
  const Timing& t = timings[timings.size() / 2];
  std::printf("%-28s %8ld %14.0f %14.0f %8.3f\n", label, t.evaluations, t.evaluations / t.whole,
              t.evaluations / t.evaluating, t.whole / t.evaluating);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  int seeds = 20;
  fs::path source = fs::path(__FILE__).parent_path().parent_path();
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--seeds") == 0 && i + 1 < argc) {
      seeds = std::atoi(argv[++i]);
      if (seeds < 1) {
        std::fprintf(stderr, "bench_sce: --seeds needs a count of at least 1\n");
        return 1;
      }
    } else {
      source = argv[i];
    }
  }
  source = fs::absolute(source);
  fs::path work = fs::temp_directory_path() / ("sce_bench_" + std::to_string(getpid()));
  fs::create_directories(work);
  fs::current_path(work);

  const std::vector<FunctionCase> cases = {
      {"goldstein-price", {{-2, 2}, {-2, 2}}},
      {"six-hump-camel", {{-3, 3}, {-2, 2}}},
      {"branin", {{-5, 10}, {0, 15}}},
      {"hartman3", {{0, 1}, {0, 1}, {0, 1}}},
      {"hartman6", {{0, 1}, {0, 1}, {0, 1}, {0, 1}, {0, 1}, {0, 1}}},
  };
  SuccessTable(cases, seeds);

  std::printf("\nSpeed: whole SCE run against its model evaluations alone\n");
  std::printf("%-28s %8s %14s %14s %8s\n", "case", "evals", "search eval/s", "model eval/s",
              "ratio");
  WriteFunctionCase(cases[4], 1, 20000);
  SpeedLine("function hartman6", "sce.in");
  fs::path hydro = work / "hydro";
  fs::copy(source / "examples" / "hydro", hydro, fs::copy_options::recursive);
  fs::current_path(hydro);
  SpeedLine("hydro example (sce.in)", "sce.in");

  fs::current_path(fs::temp_directory_path());
  fs::remove_all(work);
  return 0;
}
