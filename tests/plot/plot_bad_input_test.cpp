// tarne-plot on bad input: every case gives one clear error line that names the file (and
// the line where there is one), a non-zero status, and no picture of what could not be read;
// a gnuplot that fails or writes an incomplete picture leaves no picture behind either.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "plot_test_util.h"

namespace fs = std::filesystem;

namespace {

using plot_test::ErrorLines;
using plot_test::ExpectNoTemporaryFiles;
using plot_test::FilesEndingWith;
using plot_test::RunPlot;
using testing_support::TempDir;
using testing_support::WriteFile;

const char* const kLog = "Cost  \tx1\tx2\t\n0.5\t1.0e+00\t2.0e+00\t\n0.25\t1.5e+00\t2.5e+00\t\n";
const char* const kBest = "0.250000:  1.500000e+00 2.500000e+00 \n";

// The start of a record file up to the middle of its second iteration, as a run that was
// stopped leaves it.
const char* const kStoppedRecord =
    "\n                            RECORD FILE \n\n"
    "                            OPTIMIZATION RECORD\n\n"
    "INITIAL CONDITIONS:\n"
    "   Sum of squared weighted residuals = 3.867627E+00\n"
    "   Contribution to phi from observation group 'discharge' = 3.867627E+00\n\n"
    "OPTIMIZATION ITERATION NO.\t\t\t\t: 1\n"
    "Model Calls so far\t\t\t\t\t: 1\n"
    "Starting objective function value for this iteration\t: 3.867627E+00\n\n\n"
    "\tLambda = 5.000000E+00 ----->\n"
    "\trunning model ...\n"
    "\tPhi =\t3.680233E-01\t\t(9.515482E-02 of starting phi)\n\n"
    "OPTIMIZATION ITERATION NO.\t\t\t\t: 2\n"
    "Model Calls so far\t\t\t\t\t: 6\n"
    "Starting objective function value for this iteration\t: 3.680233E-01\n\n\n"
    "\tLambda = 2.500000E+00 ----->\n"
    "\trunning model ...\n";

struct BadInput {
  const char* what;
  std::vector<std::pair<std::string, std::string>> files;  // written before the run
  std::vector<std::string> args;
  const char* message;                 // part of the one error line
  std::vector<std::string> forbidden;  // pictures that must not exist
};

const BadInput kBadInputs[] = {
    {"an empty Monte Carlo log", {{"log_file_p0.log", ""}, {"best.out", kBest}}, {"."},
     "cannot read ./log_file_p0.log: the file is empty", {"mc_dotty_1_x1"}},
    {"a Monte Carlo log without samples",
     {{"log_file_p0.log", "Cost  \tx1\tx2\t\n"}, {"best.out", kBest}}, {"."},
     "cannot read ./log_file_p0.log: no samples after the header line", {"mc_dotty_1_x1"}},
    {"a log line that does not read as numbers",
     {{"log_file_p0.log", "Cost  \tx1\tx2\t\n0.5\t1.0\t2.0\t\n0.5\tabc\t2.0\t\n"},
      {"best.out", kBest}},
     {"."}, "cannot read ./log_file_p0.log (line 3): \"abc\" is not a number",
     {"mc_dotty_1_x1"}},
    {"a missing best.out", {{"log_file_p0.log", kLog}}, {"."},
     "cannot open ./best.out: No such file or directory", {"mc_dotty_1_x1"}},
    {"a best.out with too few values", {{"log_file_p0.log", kLog}, {"best.out", "0.25:  1.5\n"}},
     {"."}, "cannot read ./best.out (line 1): expected 2 parameter values, found 1",
     {"mc_dotty_1_x1"}},
    {"an empty SCE log", {{"sce_log_file.txt", ""}}, {"."},
     "cannot read ./sce_log_file.txt: the file is empty", {"sce_convergence"}},
    {"an SCE log line without its colon",
     {{"sce_log_file.txt", "Sim No.   Cost     Minimum Cost:  Parameter Values\n"
                           "1         0.4248    0.4248  :  1.0e+00\n"
                           "2         0.8175    0.4248  1.0e+00\n"},
      {"sce_best.out", "The best results of the SCE calibration 3 runs:\n1.0e+00\n"}},
     {"."}, "cannot read ./sce_log_file.txt (line 3): expected", {"sce_convergence"}},
    {"an SCE run asked for where there is none", {{"log_file_p0.log", kLog}},
     {"--kind", "sce", "."}, "cannot open ./sce_log_file.txt: No such file or directory",
     {"sce_convergence"}},
    {"the record file of a run that stopped early",
     {{"case.pst", "pcf\n"}, {"case.rec", kStoppedRecord}}, {"."},
     "cannot read ./case.rec: the run has not finished: no OPTIMISATION RESULTS section after "
     "line 6",
     {"lm_fit", "lm_residuals"}},
    {"an empty record file", {{"case.pst", "pcf\n"}, {"case.rec", ""}}, {"."},
     "cannot read ./case.rec: the file is empty", {"lm_phi", "lm_fit"}},
    {"a missing run directory", {}, {"no-such-run"},
     "cannot open no-such-run: No such directory", {}},
    {"a directory without calibration output", {{"notes.txt", "nothing\n"}}, {"."},
     "cannot plot .: no calibration output in it", {}},
};

TEST(PlotBadInputTest, GivesOneClearLineAndNoPictureOfWhatCouldNotBeRead) {
  for (const BadInput& bad : kBadInputs) {
    SCOPED_TRACE(bad.what);
    TempDir temp;
    for (const auto& [name, content] : bad.files) WriteFile(name, content);
    const auto run = RunPlot(bad.args);
    EXPECT_EQ(run.exit_code, 1) << run.out << run.err;
    const auto errors = ErrorLines(run.err);
    ASSERT_EQ(errors.size(), 1u) << run.err;
    EXPECT_NE(("cannot " + errors[0]).find(bad.message), std::string::npos) << run.err;
    for (const std::string& picture : bad.forbidden) {
      EXPECT_FALSE(fs::exists("plots/" + picture + ".png")) << picture;
      EXPECT_FALSE(fs::exists("plots/" + picture + ".svg")) << picture;
      EXPECT_FALSE(fs::exists("plots/" + picture + ".gp")) << picture;
    }
    if (fs::exists("plots")) ExpectNoTemporaryFiles("plots");
  }
}

// Stand-ins for gnuplot: one that fails with a message, one that writes the beginning of a
// PNG and an empty SVG and claims success. tarne-plot passes out='<name>.tmp' with -e.
struct BrokenGnuplot {
  const char* what;
  const char* script;
  const char* message;
};

const BrokenGnuplot kBrokenGnuplots[] = {
    {"gnuplot that fails",
     "#!/bin/sh\necho \"\\\"$3\\\" line 12: undefined variable: nothing\" >&2\nexit 1\n",
     "line 12: undefined variable: nothing"},
    {"gnuplot that writes incomplete pictures",
     "#!/bin/sh\neval \"$2\"\nprintf '\\211PNG\\r\\n\\032\\n' > \"$out.png\"\n"
     "printf '<svg>' > \"$out.svg\"\nexit 0\n",
     "the pictures it wrote are empty or incomplete"},
};

TEST(PlotBadInputTest, APictureThatGnuplotDoesNotFinishIsNotLeftBehind) {
  for (const BrokenGnuplot& broken : kBrokenGnuplots) {
    SCOPED_TRACE(broken.what);
    TempDir temp;
    WriteFile("log_file_p0.log", kLog);
    WriteFile("best.out", kBest);
    WriteFile("fake_gnuplot", broken.script);
    fs::permissions("fake_gnuplot", fs::perms::owner_all);
    const auto run = RunPlot({"--gnuplot", (fs::current_path() / "fake_gnuplot").string(), "."});
    EXPECT_EQ(run.exit_code, 1) << run.out << run.err;
    const auto errors = ErrorLines(run.err);
    ASSERT_EQ(errors.size(), 2u) << run.err;  // one per dotty plot
    EXPECT_NE(errors[0].find("draw ./plots/mc_dotty_1_x1.gp: gnuplot: "), std::string::npos)
        << errors[0];
    EXPECT_NE(errors[0].find(broken.message), std::string::npos) << errors[0];
    EXPECT_TRUE(FilesEndingWith("plots", {".png", ".svg"}).empty());
    ExpectNoTemporaryFiles("plots");
    EXPECT_TRUE(fs::exists("plots/mc_samples.dat")) << "the data stay";
  }
}

}  // namespace
