// Refusals that must lose nothing and report failure, run through the real program: restart
// files that are missing, damaged or written by another run, settings the search cannot
// work with, control files whose counts or sections disagree, Monte Carlo and SCE inputs
// refused before their files are touched, and the exit status of failed and finished runs.
// Each row checks the status, the lines printed and that every file an earlier run left (its
// record, sensitivity and parameter files, "tarne.in", a stop request, the Monte Carlo and
// SCE results) is unchanged byte for byte (see refusal_table.h).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "driver/refusal_table.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;
using namespace refusal_table;
using testing_support::ReadFile;
using testing_support::RunTarne;
using testing_support::WriteFile;

// ---- fixtures ---------------------------------------------------------------------------

// The files an earlier run of the case left, and a stop request a refused run must not
// clear either.
void WriteEarlierRun() {
  WriteFile("case.rec", "record of an earlier run\n");
  WriteFile("case.sen", "sensitivities of an earlier run\n");
  WriteFile("case.mtt", "earlier\n");
  WriteFile("case.par", "1.5\n");
  WriteFile("pest.stp", "1\n");
}

// The PEST case with the control text given, after an earlier run.
void EarlierCase(const std::string& control) {
  WritePestCase("", control);
  WriteEarlierRun();
}

std::string Control(const std::string& from, const std::string& to) {
  return Replaced(ControlText(), from, to);
}

// A case that resumes: RSTFLE "restart", an earlier run, and the restart file given.
void Resumable(const std::string& restart) {
  EarlierCase(ControlText("restart"));
  WriteFile("case.rst", restart);
}

// A run of the case with RSTFLE "restart" killed during its final model run: the final run
// has deleted the restart file, and the earlier files hold that run's results. (The
// observations do not fit exactly, so that the search goes on after its first iteration.)
void KilledDuringTheFinalRun() {
  WritePestCase(
      "if [ -f case.rst ]; then touch seen; elif [ -f seen ]; then\n" +
          testing_support::KillTarneAboveLines() + "fi\n",
      Replaced(ControlText("restart"), "o2 6.0", "o2 7.0"));
  ASSERT_EQ(RunTarne({"-slm", "case"}).exit_code, 128 + 9);
  ASSERT_FALSE(fs::exists("case.rst"));
  ASSERT_NE(ReadFile("case.par"), "");
}

// The Monte Carlo input with these bounds, after an earlier run.
void EarlierMonteCarlo(const std::string& bounds) {
  WriteMcInput("no_observations.obs", bounds);
  WriteFile("best.out", "earlier best\n");
  WriteFile("log_file_p0.log", "earlier log\n");
}

// The SCE input with these records, after an earlier run.
void EarlierSce(const std::string& records) {
  WriteSceInput(records);
  WriteFile("sce_output.out", "earlier output\n");
  WriteFile("sce_log_file.txt", "earlier log\n");
  WriteFile("sce_best.out", "earlier best\n");
}

const std::string kSceRecords = "200 5 0.1 2 1969 0 2\n0 0 0 0 0 0\n-1.2 -2.0 2.0\n1.0 -1.0 3.0\n";
const std::string kMonteCarloError = "Error: unable to read the input monte carlo file.\n";
const std::string kNoRestartFile = "\n\nError opening the restart file.\n"
                                   "Possibly previous run was not halted prematurely.\n\n";
const std::string kAnotherSize = ": the restart file was written for a problem of another size";
const std::string kAnotherRun = ": the restart file belongs to a run of another mode or settings";

// ---- the table --------------------------------------------------------------------------

std::vector<Row> RestartRows() {
  const std::string good = RestartText("4");
  return {
      {"restart file is missing", [] { EarlierCase(ControlText("restart")); }, kResume,
       {"cannot open case.rst: No such file or directory\n" + kNoRestartFile}, 1},
      {"restart file is missing after a kill during the final run",
       [] {
         KilledDuringTheFinalRun();
         WriteFile("pest.stp", "1\n");
       },
       kResume, {"cannot open case.rst: No such file or directory\n" + kNoRestartFile}, 1},
      {"restart file is empty", [] { Resumable(""); }, kResume,
       {"cannot read case.rst (line 1): the file ends before SLMMODE\n"}, 1},
      {"restart file is cut short", [good] { Resumable(good.substr(0, good.find("2.02"))); },
       kResume,
       {"cannot read case.rst (line 23): the file ends before the perturbed simulated values\n"},
       1},
      {"restart file holds NaN", [] { Resumable(RestartText("nan")); }, kResume,
       {"cannot read case.rst (line 11): \"nan\" is not a finite number for phi\n"}, 1},
      {"restart file is a directory",
       [] { EarlierCase(ControlText("restart")); fs::create_directory("case.rst"); }, kResume,
       {"cannot open case.rst: it is a directory, not a regular file\n"}, 1,
       {"Error opening the restart file"}, {}, {}, "",
       [] { EXPECT_TRUE(fs::is_directory("case.rst")); }},
      {"restart file is a pipe",
       [] { EarlierCase(ControlText("restart")); mkfifo("case.rst", 0644); }, kResume,
       {"cannot open case.rst: it is a pipe, not a regular file\n"}, 1},
      {"restart file of the secant mode for a plain control file",
       [good] { Resumable(Replaced(good, "0\n0\n0.9\n", "1\n0\n0.9\n")); }, kResume,
       {"cannot read case.rst (line 1): SLMMODE is 1 in the restart file but 0 in the control "
        "file" + kAnotherRun + "\n"},
       1},
      {"restart file with another column count",
       [good] { Resumable(Replaced(good, "0.9\n1\ninf", "0.9\n3\ninf")); }, kResume,
       {"cannot read case.rst (line 4): SLMNCOL is 3 in the restart file but 1 in the control "
        "file" + kAnotherRun + "\n"},
       1},
      {"restart file of a problem with two adjustable parameters",
       [good] { Resumable(Replaced(good, "1\t\n2\t\n", "1\t5\t\n2\t6\t\n")); }, kResume,
       {"cannot read case.rst (line 6): row 1 of the Jacobian holds more values than the 1 "
        "adjustable parameter of the control file" + kAnotherSize + "\n"},
       1},
      {"restart file with more after its last item", [good] { Resumable(good + "7\n"); }, kResume,
       {"cannot read case.rst (line 34): something follows the cyclic position, the last "
        "item" + kAnotherSize + "\n"},
       1},
      {"restart file of no completed iteration",
       [good] { Resumable(Replaced(good, "2\t\n2\n4\n", "2\t\n1\n4\n")); }, kResume,
       {"cannot read case.rst (line 10): the iteration number 1 cannot follow a completed "
        "iteration\n"},
       1},
  };
}

std::vector<Row> ControlRows() {
  const auto earlier = [](const std::string& control) {
    return [control] { EarlierCase(control); };
  };
  return {
      {"NOPTMAX below -1", earlier(Control("\n2 0.001 3", "\n-2 0.001 3")), kSlm,
       {"cannot read case.pst (line 9): NOPTMAX is -2; it must be -1, 0 or a number of "
        "iterations\n"},
       1},
      {"NOPTMAX beyond the phi history", earlier(Control("\n2 0.001 3", "\n2000000000 0.001 3")),
       kSlm,
       {"cannot read case.pst (line 9): NOPTMAX is 2000000000; the phi history holds at most "
        "10000000 iterations\n"},
       1},
      {"NPHISTP 0", earlier(Control("0.001 3 3 0.001", "0.001 0 3 0.001")), kSlm,
       {"cannot read case.pst (line 9): NPHISTP is 0; the phi reduction test needs at least 1 "
        "iteration\n"},
       1},
      {"NUMLAM beyond the lambdas of an iteration",
       earlier(Control("0.01 10\n", "0.01 2000000000\n")), kSlm,
       {"cannot read case.pst (line 6): NUMLAM is 2000000000; at most 1000 lambdas can be "
        "tried in one iteration\n"},
       1},
      {"SLMMODE 5", earlier(Control("0 0 0.9 1", "5 0 0.9 1")), kSlm,
       {"cannot read case.pst (line 11): SLMMODE is 5; it must be 0 (Levenberg-Marquardt) or 1 "
        "(secant updates)\n"},
       1},
      {"SLMNCOL beyond the adjustable parameters", earlier(Control("0 0 0.9 1", "1 0 0.9 2")), kSlm,
       {"cannot read case.pst (line 11): SLMNCOL is 2, but the problem has 1 adjustable "
        "parameter; the secant mode refreshes at most one column per adjustable parameter in an "
        "iteration\n"},
       1},
      {"NOBS smaller than the observations listed", earlier(Control("1 2 1 0 1", "1 1 1 0 1")),
       kSlm,
       {"cannot read case.pst (line 21): \"o2 6.0 1.0 obs\" stands where the section \"* model "
        "command line\" should begin: the observation data section holds more lines than NOBS "
        "(1)\n"},
       1, {"cannot open *"}},
      {"no model command line section",
       earlier(Control("* model command line\nnone ./post.sh\n", "")), kSlm,
       {"cannot read case.pst (line 22): the section \"* model command line\" is missing: "
        "\"* model input/output\" stands in its place\n"},
       1, {"cannot open *"}},
      {"no model input/output section",
       earlier(Control("* model input/output\nmodel.tpl model.prj\nmodel.ins model.out\n", "")),
       kSlm,
       {"cannot read case.pst (line 24): the section \"* model input/output\" is missing: "
        "\"* prior information\" stands in its place\n"},
       1, {"cannot open *"}},
      {"NTPLFLE 26", earlier(Control("1 1 single", "26 1 single")), kSlm,
       {"cannot read case.pst (line 5): NTPLFLE is 26; at most 25 files are supported\n",
        "\nCurrently, slm_kor does not support more than 25 template files.\n"},
       1, {"template pair"}},
      {"NINSFLE 26", earlier(Control("1 1 single", "1 26 single")), kSlm,
       {"cannot read case.pst (line 5): NINSFLE is 26; at most 25 files are supported\n",
        "\nCurrently, the Toolbox does not support more than 25 instruction files.\n"},
       1, {"instruction pair"}},
      {"PARTRANS that is no transform", earlier(Control("p1 none", "p1 Log")), kSlm,
       {"cannot read case.pst (line 16): PARTRANS \"Log\" of parameter 1 is not one of none, "
        "log, fixed and tied (written in lower case)\n"},
       1},
      {"no adjustable parameter", earlier(Control("p1 none", "p1 fixed")), kSlm,
       {"The number of adjustable model parameters is zero. \n"}, 1},
      {"initial value outside its bounds",
       earlier(Control("factor 1.0 -10.0", "factor 11.0 -10.0")), kSlm,
       {"\nThe intial value for the following parameter is outside of its specified bounds: p1"
        "\nModify the input control file and try again."},
       1},
      {"prediction mode", earlier(Control("norestart estimation", "norestart prediction")), kSlm,
       {"Currently, slm_kor does not support prediction capabilities"}, 1},
      {"template file missing", [] { EarlierCase(ControlText()); fs::remove("model.tpl"); },
       kSlm, {"cannot open model.tpl: No such file or directory\n"}, 1},
      {"sensitivity file that cannot be opened",
       [] {
         EarlierCase(ControlText());
         fs::remove("case.sen");
         fs::create_directory("case.sen");
       },
       kSlm, {"cannot create case.sen: Is a directory\n"}, 1},
      {"third word that is not /r", [] { EarlierCase(ControlText("restart")); },
       {"-slm", "case", "/x"},
       {"\nThe word \"/x\" after the control file name is not the restart switch /r"}, 1},
  };
}

std::vector<Row> MonteCarloAndSceRows() {
  std::vector<Row> rows;
  for (const char* upper : {"1.0x", "abc", "1e999", "inf", "nan"}) {
    rows.push_back({"Monte Carlo upper bound that is not a finite number",
                    [upper] { EarlierMonteCarlo("-2 2\n-1 " + std::string(upper) + " # y\n"); },
                    {"-m5", "mc.in"},
                    {"cannot read mc.in (line 6): the upper bound of parameter 2 is not a finite "
                     "number: \"" + std::string(upper) + "\"\n" + kMonteCarloError},
                    1});
  }
  std::vector<Row> more = {
      {"Monte Carlo bounds whose range overflows",
       [] { EarlierMonteCarlo("-1e308 1e308\n-1 3\n"); }, {"-m5", "mc.in"},
       {"cannot read mc.in (line 5): the bounds of parameter 1 are too far apart\n" +
        kMonteCarloError},
       1},
      {"Monte Carlo input missing", [] { EarlierMonteCarlo(""); fs::remove("mc.in"); },
       {"-m5", "mc.in"}, {"cannot open mc.in: No such file or directory\n" + kMonteCarloError},
       1},
      {"Monte Carlo best.out that cannot be written",
       [] {
         EarlierMonteCarlo("-2 2\n0.5 # fixed\n");
         fs::remove("best.out");
         fs::create_directory("best.out");
       },
       {"-m3", "mc.in"},
       {"Warning: Unable to open the best.out file. Only printing results to stdout.\n"}, 1, {},
       {"log_file_p0.log"}},
      {"Monte Carlo run with a fixed parameter",
       [] { EarlierMonteCarlo("-2 2\n0.5 # fixed\n"); }, {"-m3", "mc.in"},
       {"Best objective function value:"}, 0, {}, {"best.out", "log_file_p0.log"}, {}, "",
       [] { EXPECT_EQ(ReadFile("best.out").find(" 5.000000e-01 \n") != std::string::npos, true); }},
      {"SCE input missing", [] { EarlierSce(kSceRecords); fs::remove("sce.in"); },
       {"-c", "sce.in"},
       {"cannot open sce.in: No such file or directory\nCan't open SCE input file sce.in\n"
        "Error: unable to open the observation file for reading or problem while reading it.\n"
        "Attempted to read file: \n"},
       1, {"SCE-UA"}, {}, {}, "", nullptr, true},
      {"SCE first record with a word", [] { EarlierSce("5000 5 0.1 two 1969 0 2\n"); },
       {"-c", "sce.in"},
       {"cannot read sce.in (line 4): record 1 needs 7 numbers (max_calls kstop conv_pct ngs "
        "seed custom nparam); at ngs \"two\" is not an integer\n"
        "Error in your input file. The first line must have 7 parameters.\n" + kNoSetup},
       1},
      {"SCE observation file missing",
       [] { EarlierSce(kSceRecords); fs::remove("no_observations.obs"); }, {"-c", "sce.in"},
       {"Attempted to read file: no_observations.obs\n"}, 1},
      {"SCE result file that cannot be written",
       [] {
         EarlierSce(kSceRecords);
         fs::remove("sce_best.out");
         fs::create_directory("sce_best.out");
       },
       {"-c", "sce.in"}, {"cannot create sce_best.out: Is a directory\n"}, 1, {},
       {"sce_output.out", "sce_log_file.txt"}},
  };
  rows.insert(rows.end(), more.begin(), more.end());
  return rows;
}

// The exit status of runs that start: a failure during the run is non-zero, a finished run
// and a stop requested through "pest.stp" are 0.
std::vector<Row> RunStatusRows() {
  return {
      {"semi-fixed observation", [] {
         WritePestCase();
         WriteFile("model.ins", "pif #\nl1 (o1)1:5\nl1 !o2!\n");
       },
       kSlm, {"Semi-fixed observations are currently not supported with the calibration "
              "toolbox.\n"},
       1, {}, {"tarne.in"}},
      {"record file on a full disk",
       [] {
         WritePestCase();
         fs::create_symlink("/dev/full", "case.rec");
       },
       kSlm, {"cannot write case.rec: "}, 1, {}, {"tarne.in"}},
      {"model run without its output", [] { WritePestCase("rm -f model.out\n"); }, kSlm,
       {"cannot open model.out: No such file or directory\n"}, 1,
       {"Running model one last time"}, {"tarne.in"}},
      {"stop requested through pest.stp", [] { WritePestCase("echo 1 > pest.stp\n"); }, kSlm,
       {}, 0, {"Running model one last time"}, {"tarne.in"}},
      {"finished run", [] { WritePestCase(); }, kSlm, {"Running model one last time"}, 0, {},
       {"tarne.in"}},
      {"resumed run",
       [] {
         WritePestCase("", ControlText("restart"));
         WriteFile("case.rst", RestartText("4"));
       },
       kResume, {"Running model one last time"}, 0, {}, {"tarne.in", "case.rst"},
       {}, "", [] {
         EXPECT_FALSE(fs::exists("case.rst"));
         EXPECT_NE(ReadFile("case.rec").find(".....RESTART....."), std::string::npos);
       }},
  };
}

TEST(Refusals, NothingIsLostAndEveryFailureEndsNonZero) {
  std::vector<Row> rows = RestartRows();
  for (auto part : {ControlRows, MonteCarloAndSceRows, RunStatusRows}) {
    const std::vector<Row> more = part();
    rows.insert(rows.end(), more.begin(), more.end());
  }
  ASSERT_GE(rows.size(), 40u);
  RunRows(rows);
}

}  // namespace
