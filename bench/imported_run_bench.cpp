// Own cost of a model run of an imported problem, with and without the shell for the model
// command. The problem is the exponential fit y = a exp(-b x) at ten points, imported from a
// standard control file by the tarne-pst library; its model is the compiled model of the
// import tests, which reads the file written from the template and writes ten values.
//
// Whole -slm searches run in-process, as bench_lm measures its per-run cost: the elapsed time
// of a search less the time in the post-run command, divided by the model runs. From that the
// model's own time is taken away too (the same program started directly, without the
// toolbox), which leaves what the toolbox adds to every run: value file, project, templates,
// starting the command, instruction reading, phi and record lines. The command is run once as
// imported ("<model>", started without a shell) and once as the shell runs it
// ("exec <model>", the cheapest command the shell can be given).
//
//   bench_imported_run
#include <spawn.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "case_writer.h"
#include "bench_steps.h"
#include "lm_search_timing.h"
#include "standard_reader.h"

extern char** environ;

namespace {

using bench_steps::Check;
using bench_steps::Clock;
using bench_steps::Median;
using bench_steps::SecondsSince;
using bench_steps::WriteText;

std::string StandardControlFile(const std::string& command) {
  std::string text =
      "pcf\n* control data\nrestart estimation\n2 10 1 0 1\n1 1 single point\n"
      "10.0 -3.0 0.3 0.01 10\n10.0 10.0 0.001\n0.1\n30 1e-9 4 6 1e-9 4\n1 1 1\n"
      "* parameter groups\nab relative 0.01 0.0 switch 2.0 parabolic\n* parameter data\n"
      "a none relative 1.0 0.1 10.0 ab 1.0 0.0 1\nb none relative 0.1 0.01 2.0 ab 1.0 0.0 1\n"
      "* observation groups\nobs\n* observation data\n";
  char line[96];
  for (int x = 1; x <= 10; ++x) {
    std::snprintf(line, sizeof line, "y%d %.10f 1.0 obs\n", x, 2.5 * std::exp(-0.4 * x));
    text += line;
  }
  return text + "* model command line\n" + command + "\n* model input/output\n"
                "model.tpl model.in\nmodel.ins model.out\n* prior information\n";
}

// Imports the standard file into case.pst and case.prj, with the model command as given.
void ImportCase(const std::string& command) {
  WriteText("exp.pst", StandardControlFile(command));
  const pst::ImportedCase imported =
      pst::BuildCase(pst::ReadStandardControlFile("exp.pst"), "case.prj", pst::CaseOptions());
  WriteText("case.pst", imported.control_text);
  WriteText("case.prj", imported.project_text);
}

// Median wall time of starting the model directly and waiting for it.
double ModelAloneSeconds(const std::string& model) {
  std::vector<double> samples;
  char* argv[] = {const_cast<char*>(model.c_str()), nullptr};
  for (int k = 0; k < 21; ++k) {
    const Clock::time_point start = Clock::now();
    pid_t child = 0;
    int status = 0;
    Check(posix_spawn(&child, argv[0], nullptr, nullptr, argv, environ) == 0, "model start");
    Check(waitpid(child, &status, 0) == child && status == 0, "model run");
    samples.push_back(SecondsSince(start));
  }
  return Median(samples);
}

struct SearchCost {
  long runs = 0;
  double per_run = 0.0;       // all of a search, per model run
  double post_command = 0.0;  // the post-run command, per model run
  double own = 0.0;           // less the post-run command, per model run
};

// One whole search from the start values of the case the standard file was imported into,
// timed as bench_lm times it.
SearchCost TimeSearch(const std::string& command) {
  ImportCase(command);
  bench_steps::LoadedCase loaded;
  bench_steps::LoadCase("case", &loaded);
  tarne::mpi_setup partition;
  const bench_steps::SearchTiming search = bench_steps::TimeSearch(loaded, &partition);
  CloseTemplateFiles(loaded.record, loaded.templates);
  CloseInstructionFiles(loaded.record, loaded.instructions);
  SearchCost cost;
  cost.runs = search.runs;
  cost.per_run = search.seconds / cost.runs;
  cost.post_command = search.command_seconds / cost.runs;
  cost.own = (search.seconds - search.command_seconds) / cost.runs;
  return cost;
}

// Medians over the searches of one variant.
SearchCost MedianCost(const std::vector<SearchCost>& searches) {
  std::vector<double> per_run, post, own;
  for (const SearchCost& s : searches) {
    per_run.push_back(s.per_run);
    post.push_back(s.post_command);
    own.push_back(s.own);
  }
  SearchCost median = searches.front();
  median.per_run = Median(per_run);
  median.post_command = Median(post);
  median.own = Median(own);
  return median;
}

void Report(const char* label, const SearchCost& cost, double model) {
  std::printf("%s: %ld model runs per search; %.3f ms per run in all, post-run command %.3f ms, "
              "model %.3f ms: own cost %.3f ms per model run\n",
              label, cost.runs, cost.per_run * 1e3, cost.post_command * 1e3, model * 1e3,
              (cost.own - model) * 1e3);
}

}  // namespace

int main() {
  const std::string model_path = TARNE_BENCH_EXP_MODEL;
  bench_steps::EnterFreshDirectory("tarne_bench_imported_run");
  WriteText("model.tpl", "ptf ~\na = ~a                 ~\nb = ~b                 ~\n");
  std::string instructions = "pif #\n";
  for (int x = 1; x <= 10; ++x) instructions += "l1 w !y" + std::to_string(x) + "!\n";
  WriteText("model.ins", instructions);
  WriteText("model.in", "a = 2.5\nb = 0.4\n");
  // The two variants and the model alone take turns, so that the load of a shared machine
  // falls on all three alike; each figure is the median of 9 turns.
  std::vector<SearchCost> direct_searches, shell_searches;
  std::vector<double> model_samples;
  for (int turn = 0; turn < 9; ++turn) {
    model_samples.push_back(ModelAloneSeconds(model_path));
    direct_searches.push_back(TimeSearch(model_path));
    shell_searches.push_back(TimeSearch("exec " + model_path));
  }
  const double model = Median(model_samples);
  const SearchCost direct = MedianCost(direct_searches), shell = MedianCost(shell_searches);
  std::printf("imported run: the model alone (started directly) %.3f ms per run\n", model * 1e3);
  Report("imported run, command without a shell", direct, model);
  Report("imported run, command through the shell", shell, model);
  std::printf("imported run: the shell costs %.3f ms per model run; without it the toolbox adds "
              "%.3f ms to a model of %.3f ms\n",
              (shell.own - direct.own) * 1e3, (direct.own - model) * 1e3, model * 1e3);
  return 0;
}
