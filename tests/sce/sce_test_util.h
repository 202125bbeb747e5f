// Helpers of the SCE tests: building input files, running a whole SCE run on an objective
// hook with standard output captured, and reading the evaluation log back.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "sce/sce_driver.h"
#include "sce/sce_random.h"
#include "sce/sce_run.h"
#include "support/test_support.h"

namespace sce_test {

// Record 1 and record 2 of an input file, with fields named as in the file.
struct InputFields {
  int max_calls = 1000;
  int kstop = 5;
  double pct = 0.01;
  int ngs = 2;
  int seed = 3737;
  int custom = 0;
  int npg = 0, nps = 0, nspl = 0, min_ngs = 0, start_flag = 0, pop_print = 0;
  // One "start lower upper" triple per parameter.
  std::vector<std::vector<double>> params = {{0.5, 0.0, 1.0}, {0.5, 0.0, 1.0}};
};

inline std::string InputText(const InputFields& in) {
  char buffer[512];
  std::string text = "project.prj\nreplace.txt\nobs.txt\n";
  std::snprintf(buffer, sizeof buffer, "%d %d %g %d %d %d %d\n", in.max_calls, in.kstop,
                in.pct, in.ngs, in.seed, in.custom, static_cast<int>(in.params.size()));
  text += buffer;
  std::snprintf(buffer, sizeof buffer, "%d %d %d %d %d %d\n", in.npg, in.nps, in.nspl,
                in.min_ngs, in.start_flag, in.pop_print);
  text += buffer;
  for (const auto& p : in.params) {
    std::snprintf(buffer, sizeof buffer, "%.17g %.17g %.17g\n", p[0], p[1], p[2]);
    text += buffer;
  }
  return text;
}

// What a whole run printed; the files it wrote stay in the working directory.
struct RunOutput {
  std::string out;
};

// Runs a whole SCE run on the input text (written to "sce.in" with an empty observation
// file) with hook as the objective. Call inside a TempDir. The Gaussian generator's spare
// value outlives a run within one process; it is used up first so that every run here
// starts like the first run of a process.
inline RunOutput RunWithHook(const std::string& input_text, SceObjectiveHook hook) {
  testing_support::WriteFile("sce.in", input_text);
  testing_support::WriteFile("obs.txt", "");
  SceRun run(nullptr);
  if (ran_gauss_has_spare()) ran_gauss(run);
  run.objective_hook = std::move(hook);
  testing::internal::CaptureStdout();
  run_sce_on(run, "sce.in");
  std::fflush(stdout);
  RunOutput result;
  result.out = testing::internal::GetCapturedStdout();
  return result;
}

// One evaluation line of the log.
struct LogLine {
  int number = 0;
  double value = 0.0;
  double fmin = 0.0;
  std::vector<double> point;
};

inline std::vector<LogLine> ReadLog(int n) {
  std::vector<std::string> lines =
      testing_support::SplitLines(testing_support::ReadFile("sce_log_file.txt"));
  std::vector<LogLine> log;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    LogLine line;
    int used = 0;
    std::sscanf(lines[i].c_str(), "%d %lf %lf : %n", &line.number, &line.value, &line.fmin,
                &used);
    const char* rest = lines[i].c_str() + used;
    for (int j = 0; j < n; ++j) {
      double v = 0.0;
      int more = 0;
      std::sscanf(rest, "%lf%n", &v, &more);
      rest += more;
      line.point.push_back(v);
    }
    log.push_back(line);
  }
  return log;
}

}  // namespace sce_test
