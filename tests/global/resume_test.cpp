// Interrupted runs of the global methods, through the tarne binary on the bundled example
// with RSTFLE "restart": each method killed with SIGKILL (or stopped through the stop file) at
// several model runs and resumed with "/r" ends with the best point, records, sensitivity,
// best-parameter, sample and seeds files of the uninterrupted run (the restart marks left
// out); and a resume that cannot go on is refused without changing any file.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "global/method_run.h"
#include "global/mlsl.h"
#include "global/multistart.h"
#include "global/trajectory_repulsion.h"
#include "lm/pest_case.h"
#include "pest/control_file.h"
#include "support/test_support.h"

namespace {

using testing_support::CopyIntoCwd;
using testing_support::FileExists;
using testing_support::ReadFile;
using testing_support::RegularFiles;
using testing_support::RunResult;
using testing_support::RunTarne;
using testing_support::SourcePath;
using testing_support::SplitLines;
using testing_support::TempDir;
using testing_support::WriteFile;

const std::string kMark = "\n\n                             .....RESTART.....\n\n";

const global_test::MethodTool kMsTool = {RunMultistart, "-ms", "ms.in", "slm_kor_ms1.rec",
                                         "slm_kor_ms1"};
const global_test::MethodTool kMlslTool = {RunMlsl, "-mlsl", "mlsl.in", "slm_kor_mlsl.rec",
                                           "slm_kor_mlsl"};
const global_test::MethodTool kTrTool = {RunTrajectoryRepulsion, "-tr", "tr.in",
                                         "slm_kor_ms2.rec", "slm_kor_ms2"};

struct Method {
  const global_test::MethodTool& tool;
  const char* input;              // the method's input; nullptr: the example's
  std::vector<const char*> kept;  // further files that must come out as uninterrupted
};

// Multistart and trajectory repulsion with fewer searches than the example makes, to keep the
// runs short; MLSL as the example has it.
const Method kMultistart = {kMsTool, "1\n4\n", {"parameters.prn", "RandomNumberSeeds.prn"}};
const Method kMlsl = {kMlslTool, nullptr, {"RandomNumberSeeds.prn"}};
const Method kTr = {kTrTool, "Y 9\n40 3 5 0.001\n", {"RandomNumberSeeds.prn"}};

// The example in the working directory, with RSTFLE "restart" and a model that counts its
// runs, logs for each whether the engine's restart file exists, and on each run whose number
// "interrupt" lists (one line, numbers separated by blanks) kills the tarne process above it,
// or, for "stopN", asks it to stop. Shell builtins only, so that the runs stay cheap.
void WriteExample(const Method& method) {
  for (const char* file : {"sine.pst", "sine.tpl", "sine.ins", "sine.prj", "mlsl.in"}) {
    CopyIntoCwd(SourcePath(std::string("examples/global/") + file));
  }
  std::string pst = ReadFile("sine.pst");
  pst.replace(pst.find("norestart"), 9, "restart");
  WriteFile("sine.pst", pst);
  if (method.input != nullptr) WriteFile(method.tool.input_name, method.input);
  const std::string model = ReadFile(SourcePath("examples/global/model.sh"));
  WriteFile("model.sh",
            model +
                "n=0; [ -e count ] && read -r n < count; n=$((n + 1)); echo $n > count\n"
                "if [ -e sine.rst ]; then echo 1 >> runlog; else echo 0 >> runlog; fi\n"
                "list=; [ -e interrupt ] && read -r list < interrupt\n"
                "case \" $list \" in *\" stop$n \"*) echo 1 > pest.stp ;; esac\n"
                "case \" $list \" in *\" $n \"*)\n" +
                testing_support::KillTarneAboveLines() + ";;\nesac\n");
  std::filesystem::permissions("model.sh", std::filesystem::perms::owner_all);
}

std::string WithoutMarks(std::string text) {
  for (size_t at = text.find(kMark); at != std::string::npos; at = text.find(kMark, at)) {
    text.erase(at, kMark.size());
  }
  return text;
}

// What a finished run leaves that an interruption must not change.
std::map<std::string, std::string> Results(const Method& method, const RunResult& run) {
  std::map<std::string, std::string> results;
  for (const char* file : {method.tool.record_name, "sine.rec"}) {
    results[file] = WithoutMarks(ReadFile(file));
  }
  for (const char* file : {"sine.sen", "sine.par"}) results[file] = ReadFile(file);
  for (const char* file : method.kept) results[file] = ReadFile(file);
  const std::vector<std::string> screen = SplitLines(run.out);
  results["screen's best line"] = screen.empty() ? "" : screen.back();
  return results;
}

// Runs the method uninterrupted; rst_present[r - 1] says whether the engine's restart file
// existed at model run r.
std::map<std::string, std::string> Uninterrupted(const Method& method,
                                                 std::vector<bool>& rst_present) {
  TempDir dir;
  WriteExample(method);
  const RunResult run = RunTarne({method.tool.option, "sine"});
  EXPECT_EQ(run.exit_code, 0) << run.out;
  for (const std::string& line : SplitLines(ReadFile("runlog"))) rst_present.push_back(line == "1");
  return Results(method, run);
}

// Runs at which to interrupt: during the sample runs, in the middle of the first local search
// (its engine has saved an iteration), during its final run, and at the run after it (the
// first of the next search, or a sample).
std::vector<std::string> InterruptionPoints(const std::vector<bool>& rst_present) {
  size_t first_saved = 0;
  while (first_saved < rst_present.size() && !rst_present[first_saved]) ++first_saved;
  size_t final_run = first_saved;
  while (final_run < rst_present.size() && rst_present[final_run]) ++final_run;
  // Runs are numbered from 1: index i is run i + 1.
  return {"3", std::to_string(first_saved + 3), std::to_string(final_run + 1),
          std::to_string(final_run + 2)};
}

void ExpectResumedRunsEndAsTheUninterruptedOne(const Method& method,
                                               std::vector<std::string> extra_rows) {
  std::vector<bool> rst_present;
  const std::map<std::string, std::string> reference = Uninterrupted(method, rst_present);
  ASSERT_GT(rst_present.size(), 40u);
  std::vector<std::string> rows = InterruptionPoints(rst_present);
  rows.insert(rows.end(), extra_rows.begin(), extra_rows.end());
  for (std::string& row : rows) {
    if (row == "last") row = std::to_string(rst_present.size());
    TempDir dir;
    WriteExample(method);
    // A row may list several interruptions: the run is resumed after each.
    WriteFile("interrupt", row + "\n");
    std::istringstream listed(row);
    size_t interruptions = 0;
    for (std::string point; listed >> point;) ++interruptions;
    RunResult run;
    for (size_t i = 0; i <= interruptions; ++i) {
      std::vector<std::string> words = {method.tool.option, "sine"};
      if (i > 0) words.push_back("/r");
      run = RunTarne(words);
      const bool last = i == interruptions;
      const bool stopped = !last && row.find("stop") != std::string::npos;
      EXPECT_EQ(run.exit_code, last || stopped ? 0 : 128 + 9) << row << "\n" << run.out;
      EXPECT_EQ(FileExists(std::string(method.tool.tool_name) + ".rst"), !last) << row;
    }
    const std::map<std::string, std::string> results = Results(method, run);
    for (const auto& [file, content] : reference) {
      EXPECT_EQ(results.at(file), content) << method.tool.option << " interrupted at " << row
                                           << ": " << file;
    }
    EXPECT_NE(ReadFile(method.tool.record_name).find(kMark), std::string::npos) << row;
  }
}

TEST(GlobalResume, MultistartKilledAnywhereEndsAsTheUninterruptedRun) {
  ExpectResumedRunsEndAsTheUninterruptedOne(kMultistart, {"last"});
}

TEST(GlobalResume, MlslKilledAnywhereAndTwiceEndsAsTheUninterruptedRun) {
  ExpectResumedRunsEndAsTheUninterruptedOne(kMlsl, {"30 100"});
}

TEST(GlobalResume, TrajectoryRepulsionKilledOrStoppedEndsAsTheUninterruptedRun) {
  ExpectResumedRunsEndAsTheUninterruptedOne(kTr, {"stop60"});
}

// ---- Refusals -----------------------------------------------------------------------------

// Runs the method in this process and expects it refused: status 1, a screen line holding
// message, and every file of the working directory as it was.
global_test::MethodRun ExpectRefusedChangingNoFile(const char* name,
                                                   const global_test::MethodTool& tool,
                                                   const std::vector<std::string>& extra,
                                                   const char* control,
                                                   const std::string& message) {
  const std::map<std::string, std::string> before = RegularFiles();
  const global_test::MethodRun run = global_test::RunMethod(tool, extra, control);
  EXPECT_EQ(run.status, 1) << name;
  EXPECT_NE(run.screen.find(message), std::string::npos) << name << "\n" << run.screen;
  EXPECT_EQ(RegularFiles(), before) << name;
  return run;
}

struct Refusal {
  const char* name;
  const global_test::MethodTool& tool;
  const char* input;  // the method's input file
  void (*prepare)();  // after the earlier run's files are in place
  const char* message;
  std::vector<std::string> extra = {};
};

void Pipe(const char* name) {
  std::filesystem::remove(name);
  ASSERT_EQ(mkfifo(name, 0600), 0);
}

// Each row in a fresh directory holding the files an earlier run left: the status 1, a line
// holding the message, no model run, and every earlier file as it was.
TEST(GlobalRefusals, BadInputOrANonRegularFileChangesNoEarlierFile) {
  const char* const kMlslInput = "5 0.4 2 0.001 Y 7 1 2 5 3 0.001";
  const Refusal rows[] = {
      {"empty ms.in", kMsTool, "", [] {},
       "cannot read ms.in (line 1): the file ends before the random seed"},
      {"short ms.in", kMsTool, "7\n", [] {},
       "cannot read ms.in (line 2): the file ends before the number of pre-inversion runs"},
      {"ms.in not a number", kMsTool, "7 x", [] {},
       "the number of pre-inversion runs is \"x\", not a whole number"},
      {"negative ms.in", kMsTool, "7 -2", [] {},
       "the number of pre-inversion runs is -2; it must be at least 0"},
      {"empty mlsl.in", kMlslTool, "", [] {},
       "cannot read mlsl.in (line 1): the file ends before N"},
      {"short mlsl.in", kMlslTool, "5 0.4 2 0.001 Y 7 1 2 5 3", [] {},
       "cannot read mlsl.in (line 1): the file ends before f"},
      {"mlsl.in not a number", kMlslTool, "5 0.4 two 0.001 Y 7 1 2 5 3 0.001", [] {},
       "sigma (the factor of the critical distance) is \"two\", not a number"},
      {"negative mlsl.in", kMlslTool, "5 0.4 2 0.001 Y 7 1 -2 5 3 0.001", [] {},
       "Lmax (the maximum number of local searches) is -2; it must be at least 1"},
      {"empty tr.in", kTrTool, "", [] {},
       "cannot read tr.in (line 1): the file ends before the seeds mode (Y or N)"},
      {"short tr.in", kTrTool, "Y 3 4 2 5", [] {},
       "cannot read tr.in (line 1): the file ends before f"},
      {"tr.in not a number", kTrTool, "Y 3 four 2 5 0.001", [] {},
       "Npre (the number of pre-inversion runs) is \"four\", not a whole number"},
      {"negative tr.in", kTrTool, "Y 3 -4 2 5 0.001", [] {},
       "Npre (the number of pre-inversion runs) is -4; it must be at least 0"},
      {"no seeds file to read", kMlslTool, "5 0.4 2 0.001 N 7 1 2 5 3 0.001",
       [] { std::filesystem::remove("RandomNumberSeeds.prn"); },
       "cannot open RandomNumberSeeds.prn: No such file or directory"},
      {"seeds file to read is a directory", kTrTool, "N 3 4 2 5 0.001",
       [] {
         std::filesystem::remove("RandomNumberSeeds.prn");
         std::filesystem::create_directory("RandomNumberSeeds.prn");
       },
       "cannot open RandomNumberSeeds.prn: it is a directory, not a regular file"},
      {"seeds file to read is a pipe", kMlslTool, "5 0.4 2 0.001 N 7 1 2 5 3 0.001",
       [] { Pipe("RandomNumberSeeds.prn"); },
       "cannot open RandomNumberSeeds.prn: it is a pipe, not a regular file"},
      {"seeds file to write is a pipe", kTrTool, "Y 3 4 2 5 0.001",
       [] { Pipe("RandomNumberSeeds.prn"); },
       "cannot create RandomNumberSeeds.prn: it is a pipe, not a regular file"},
      {"sample file is a pipe", kMsTool, "7 2", [] { Pipe("parameters.prn"); },
       "cannot create parameters.prn: it is a pipe, not a regular file"},
      {"best-parameter file is a pipe", kTrTool, "Y 3 4 2 5 0.001", [] { Pipe("case.par"); },
       "cannot create case.par: it is a pipe, not a regular file"},
      {"resume without a restart file", kMsTool, "7 2", [] {},
       "cannot open slm_kor_ms1.rst: No such file or directory; there is no interrupted run "
       "to go on with",
       {"/r"}},
      {"resume from a directory", kMlslTool, kMlslInput,
       [] { std::filesystem::create_directory("slm_kor_mlsl.rst"); },
       "cannot open slm_kor_mlsl.rst: it is a directory, not a regular file", {"/r"}},
  };
  for (const Refusal& row : rows) {
    TempDir dir;
    global_test::LinearCase().Write();
    WriteFile(row.tool.input_name, row.input);
    for (const char* file : {"case.rec", "case.sen", "case.par", "case.mtt", "parameters.prn",
                             "RandomNumberSeeds.prn", "slm_kor_ms1.rec", "slm_kor_mlsl.rec",
                             "slm_kor_ms2.rec"}) {
      WriteFile(file, std::string("earlier ") + file + "\n");
    }
    // The replacement list an earlier run of the case left (the control-file reader writes
    // it anew, with the same content, whenever it reads the case).
    ProblemRecord record;
    ASSERT_EQ(ReadControlFile(record, "case"), 0);
    row.prepare();
    EXPECT_EQ(ExpectRefusedChangingNoFile(row.name, row.tool, row.extra, "case", row.message)
                  .model_runs,
              0)
        << row.name;
  }
}

// A run killed in its first local search, then resumed from inputs or files that are not
// those it left: each resume is refused with status 1 and one line, and changes no file.
TEST(GlobalRefusals, AResumeThatCannotGoOnChangesNoFile) {
  TempDir dir;
  WriteExample(kMlsl);
  WriteFile("interrupt", "40\n");
  ASSERT_EQ(RunTarne({"-mlsl", "sine"}).exit_code, 128 + 9);
  const std::map<std::string, std::string> killed = RegularFiles();
  const auto change = [](const char* file, size_t at, const std::string& text) {
    std::string content = ReadFile(file);
    content.replace(at, std::string::npos, text);
    WriteFile(file, content);
  };
  const struct {
    const char* name;
    std::function<void()> prepare;
    std::string message;
  } rows[] = {
      {"input changed", [&] { change("mlsl.in", 0, "20 0.2 4.0 0.01 Y 12345 5 10 5 2 0.01"); },
       "cannot resume from slm_kor_mlsl.rst: mlsl.in has changed since the interrupted run "
       "started; it goes on only with the inputs it started with"},
      {"control file changed", [&] { change("sine.pst", killed.at("sine.pst").size(), "\n"); },
       "cannot resume from slm_kor_mlsl.rst: sine.pst has changed since the interrupted run "
       "started"},
      {"record cut short", [&] { change("sine.rec", 100, ""); },
       "cannot resume from slm_kor_mlsl.rst: sine.rec holds 100 bytes, fewer than the "},
      {"restart file changed",
       [&] {
         std::string content = ReadFile("slm_kor_mlsl.rst");
         const size_t at = content.find("lengths ") + 8;
         content[at] = content[at] == '9' ? '8' : '9';
         WriteFile("slm_kor_mlsl.rst", content);
       },
       "cannot read slm_kor_mlsl.rst: its checksum does not match its content; the file was "
       "changed"},
      {"restart file cut short", [&] { change("slm_kor_mlsl.rst", 500, ""); },
       "cannot read slm_kor_mlsl.rst: the file has no checksum line at its end; it was cut "
       "short"},
  };
  for (const auto& row : rows) {
    for (const auto& [name, content] : killed) WriteFile(name, content);
    row.prepare();
    ExpectRefusedChangingNoFile(row.name, kMlslTool, {"/r"}, "sine", row.message);
  }
}

}  // namespace
