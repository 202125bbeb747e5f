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

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "case_writer.h"
#include "lm/lm_engine.h"
#include "lm/slm_driver.h"
#include "pest/control_file.h"
#include "pest/instruction_files.h"
#include "pest/template_files.h"
#include "quiet_stdout.h"
#include "standard_reader.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

double MedianOf(std::vector<double> samples) {
  std::sort(samples.begin(), samples.end());
  return samples[samples.size() / 2];
}

void Require(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "benchmark step failed: %s\n", what);
  std::exit(1);
}

void Write(const std::string& path, const std::string& text) {
  std::FILE* file = std::fopen(path.c_str(), "w");
  Require(file != nullptr, path.c_str());
  std::fputs(text.c_str(), file);
  std::fclose(file);
}

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
  Write("exp.pst", StandardControlFile(command));
  const pst::ImportedCase imported =
      pst::BuildCase(pst::ReadStandardControlFile("exp.pst"), "case.prj", pst::CaseOptions());
  Write("case.pst", imported.control_text);
  Write("case.prj", imported.project_text);
}

// Median wall time of starting the model directly and waiting for it.
double ModelAloneSeconds(const std::string& model) {
  std::vector<double> samples;
  char* argv[] = {const_cast<char*>(model.c_str()), nullptr};
  for (int k = 0; k < 21; ++k) {
    const Clock::time_point start = Clock::now();
    pid_t child = 0;
    int status = 0;
    Require(posix_spawn(&child, argv[0], nullptr, nullptr, argv, environ) == 0, "model start");
    Require(waitpid(child, &status, 0) == child && status == 0, "model run");
    samples.push_back(Seconds(start));
  }
  return MedianOf(samples);
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
  ProblemRecord record;
  FileHandleTable templates, instructions;
  OutputNames names;
  {
    QuietStdout quiet;
    Require(ReadControlFile(record, "case") == 0 && OpenTemplateFiles(record, templates) == 0 &&
                CheckTemplateFiles(record, templates) == 0 &&
                OpenInstructionFiles(record, instructions) == 0,
            "loading the case");
  }
  CountParameterTypes(record);
  SetTiedParameters(record);
  FilesNamesForWrite("case", names);
  tarne::mpi_setup partition;
  char option[] = "-slm";
  CaseFileHolder files;
  Require(files.Open(names, false), "case files");
  LmContext context{record, names, files.files(), templates, instructions, &partition, option,
                    false};
  LmState state = PrepareLocalSearch(record, CurrentParameterValues(record), record.RLAMBDA1);
  const Clock::time_point start = Clock::now();
  {
    QuietStdout quiet;
    Require(RunLevenbergMarquardt(context, state) == 0, "calibration");
  }
  const double seconds = Seconds(start);
  CloseTemplateFiles(record, templates);
  CloseInstructionFiles(record, instructions);
  SearchCost cost;
  cost.runs = state.model_calls + 1;  // and the final run
  cost.per_run = seconds / cost.runs;
  cost.post_command = state.command_seconds / cost.runs;
  cost.own = (seconds - state.command_seconds) / cost.runs;
  return cost;
}

// Medians over the searches of one variant.
SearchCost Median(const std::vector<SearchCost>& searches) {
  std::vector<double> per_run, post, own;
  for (const SearchCost& s : searches) {
    per_run.push_back(s.per_run);
    post.push_back(s.post_command);
    own.push_back(s.own);
  }
  SearchCost median = searches.front();
  median.per_run = MedianOf(per_run);
  median.post_command = MedianOf(post);
  median.own = MedianOf(own);
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
  const fs::path dir = fs::temp_directory_path() / "tarne_bench_imported_run";
  fs::remove_all(dir);
  fs::create_directories(dir);
  fs::current_path(dir);
  Write("model.tpl", "ptf ~\na = ~a                 ~\nb = ~b                 ~\n");
  std::string instructions = "pif #\n";
  for (int x = 1; x <= 10; ++x) instructions += "l1 w !y" + std::to_string(x) + "!\n";
  Write("model.ins", instructions);
  Write("model.in", "a = 2.5\nb = 0.4\n");
  // The two variants and the model alone take turns, so that the load of a shared machine
  // falls on all three alike; each figure is the median of 9 turns.
  std::vector<SearchCost> direct_searches, shell_searches;
  std::vector<double> model_samples;
  for (int turn = 0; turn < 9; ++turn) {
    model_samples.push_back(ModelAloneSeconds(model_path));
    direct_searches.push_back(TimeSearch(model_path));
    shell_searches.push_back(TimeSearch("exec " + model_path));
  }
  const double model = MedianOf(model_samples);
  const SearchCost direct = Median(direct_searches), shell = Median(shell_searches);
  std::printf("imported run: the model alone (started directly) %.3f ms per run\n", model * 1e3);
  Report("imported run, command without a shell", direct, model);
  Report("imported run, command through the shell", shell, model);
  std::printf("imported run: the shell costs %.3f ms per model run; without it the toolbox adds "
              "%.3f ms to a model of %.3f ms\n",
              (shell.own - direct.own) * 1e3, (direct.own - model) * 1e3, model * 1e3);
  return 0;
}
