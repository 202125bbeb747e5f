// From a standard control file to a finished calibration: tarne-pst import, then tarne -slm
// on the case it wrote, with a compiled model that reads a file written from its template.
// The problem is y = a exp(-b x) at x = 1 .. 10 with a = 2.5 and b = 0.4, started from a = 1
// and b = 0.1 with a negative RLAMFAC and a one-word model command.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace {

using testing_support::FileExists;
using testing_support::ReadFile;
using testing_support::RunProgram;
using testing_support::RunResult;
using testing_support::RunTarne;
using testing_support::SplitLines;
using testing_support::TempDir;
using testing_support::WriteFile;

RunResult RunImport(const std::vector<std::string>& args) {
  std::vector<std::string> all = {"import"};
  all.insert(all.end(), args.begin(), args.end());
  return RunProgram(TARNE_PST_BINARY, all);
}

// The ten observations, a line each written by format from x, y and x (which it may skip).
std::string Observations(const char* format) {
  std::string text;
  char line[96];
  for (int x = 1; x <= 10; ++x) {
    std::snprintf(line, sizeof line, format, x, 2.5 * std::exp(-0.4 * x), x);
    text += line;
  }
  return text;
}

// The model under the name the control file's one-word command gives it.
void InstallModel() {
  std::filesystem::copy_file(TARNE_PST_EXP_MODEL, "model");
  std::filesystem::permissions("model", std::filesystem::perms::owner_all);
}

std::string InstructionFile(int first, int last) {
  std::string text = "pif #\n";
  for (int x = first; x <= last; ++x) text += "l1 w !y" + std::to_string(x) + "!\n";
  return text;
}

// Runs tarne -slm on the case and checks the best parameters it keeps in the .par file.
void ExpectCalibrated(const std::string& case_name) {
  const RunResult run = RunTarne({"-slm", case_name});
  ASSERT_EQ(run.exit_code, 0) << run.out << run.err;
  const std::vector<std::string> values = SplitLines(ReadFile(case_name + ".par"));
  ASSERT_GE(values.size(), 2u) << ReadFile(case_name + ".par");
  EXPECT_NEAR(std::stod(values[0]), 2.5, 1e-4);
  EXPECT_NEAR(std::stod(values[1]), 0.4, 1e-4);
}

TEST(ImportEndToEnd, OneTemplateAndANegativeLambdaFactor) {
  TempDir dir;
  InstallModel();
  WriteFile("exp.pst",
            "pcf\n* control data\nrestart estimation\n2 10 1 0 1\n1 1 single point 1 0 0\n"
            "10.0 -3.0 0.3 0.01 10 lamforgive\n10.0 10.0 0.001\n0.1 noaui\n"
            "30 1.0e-6 4 4 1.0e-6 4\n1 1 1\n* singular value decomposition\n1\n2 5.0e-7\n0\n"
            "* parameter groups\nab relative 0.01 0.0 switch 2.0 parabolic\n"
            "* parameter data\na none relative 1.0 0.1 10.0 ab 1.0 0.0 1\n"
            "b none relative 0.1 0.01 2.0 ab 1.0 0.0 1\n* observation groups\nobs\n"
            "* observation data\n" + Observations("y%d %.10f 1.0 obs\n") +
            "* model command line\n./model\n* model input/output\nmodel.tpl model.in\n"
            "model.ins model.out\n* prior information\n++ max_run_fail(2)\n");
  WriteFile("model.tpl", "ptf ~\na = ~a                 ~\nb = ~    b             ~\n");
  WriteFile("model.ins", InstructionFile(1, 10));
  const RunResult import = RunImport({"exp.pst"});
  ASSERT_EQ(import.exit_code, 0) << import.err;
  EXPECT_NE(import.out.find("exp.pst (line 6): RLAMFAC -3.0: a lambda found by a rule is not "
                            "available; the case multiplies and divides lambda by 3.0"),
            std::string::npos) << import.out;
  EXPECT_NE(import.out.find("++max_run_fail(2): an option of another engine"), std::string::npos)
      << import.out;
  ASSERT_TRUE(FileExists("exp_tarne.pst") && FileExists("exp_tarne.prj"));
  ExpectCalibrated("exp_tarne");
  // The final run left the model's input written from the template with the best values.
  const std::vector<std::string> input = SplitLines(ReadFile("model.in"));
  ASSERT_EQ(input.size(), 2u);
  EXPECT_EQ(input[0].size(), 24u);
  EXPECT_NEAR(std::stod(input[0].substr(4)), 2.5, 1e-4);
}

// The same problem in the second layout, its sections in CSV files, with two template files
// and two instruction files.
TEST(ImportEndToEnd, TwoTemplatesAndTwoInstructionFilesFromCsv) {
  TempDir dir;
  InstallModel();
  WriteFile("obs.csv", "obsnme,obsval,weight,obgnme,time\n" +
                           Observations("\"y%d\",%.10f,1.0,obs,%d\n"));
  WriteFile("par.csv", "parnme,partrans,parchglim,parval1,parlbnd,parubnd,pargp\n"
                       "a,none,relative,1.0,0.1,10.0,ab\nb,none,relative,0.1,0.01,2.0,ab\n");
  WriteFile("tpl.csv", "pest_file,model_file\na.tpl,a.in\nb.tpl,b.in\n");
  WriteFile("ins.csv", "pest_file,model_file\nout1.ins,out1.txt\nout2.ins,out2.txt\n");
  WriteFile("exp2.pst", "pcf version=2\n* control data keyword\npestmode estimation\n"
                        "rlamfac -3\nnoptmax 30\nphiredstp 1.0e-6\nrelparstp 1.0e-6\n"
                        "* parameter data external\npar.csv\n* observation data external\n"
                        "obs.csv\n* model command line\n./model\n* model input external\n"
                        "tpl.csv\n* model output external\nins.csv\n");
  WriteFile("a.tpl", "ptf $\na = $a             $\n");
  WriteFile("b.tpl", "ptf %\nb = %b             %\n");
  WriteFile("out1.ins", InstructionFile(1, 5));
  WriteFile("out2.ins", InstructionFile(6, 10));
  const RunResult import = RunImport({"exp2.pst", "fit"});
  ASSERT_EQ(import.exit_code, 0) << import.err;
  EXPECT_NE(import.out.find("obs.csv (line 1): column 'time': not carried over"), std::string::npos)
      << import.out;
  ExpectCalibrated("fit");
  EXPECT_FALSE(FileExists("model.in"));
  EXPECT_NE(ReadFile("b.in").find("b = "), std::string::npos);
}

// Bad input: one line naming the file, line and token, status 1, and nothing written (an
// earlier case stays as it was).
TEST(ImportEndToEnd, BadInputIsOneLineAndWritesNothing) {
  TempDir dir;
  const std::string valid = ReadFile(std::string(TARNE_TEST_DATA) + "/pst/import/v1_minimal.pst");
  std::string text = valid;
  WriteFile("bad.pst", text.replace(text.find("2 3 1 0 1"), 9, "2 x 1 0 1"));
  WriteFile("bad_tarne.pst", "an earlier case\n");
  RunResult run = RunImport({"bad.pst"});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.err, "cannot read bad.pst (line 4): 'x' is not a whole number (NOBS)\n");
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(ReadFile("bad_tarne.pst"), "an earlier case\n");
  EXPECT_FALSE(FileExists("bad_tarne.prj"));
  // A file the importer reads but whose case tarne would refuse: the reader's line, then one
  // line of the importer's, and still nothing written.
  text = valid;
  WriteFile("bad.pst", text.replace(text.find("30 0.01 3 3"), 11, "30 0.01 0 3"));
  run = RunImport({"bad.pst"});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.out, "cannot read bad_tarne.pst.check (line 9): NPHISTP is 0; the phi reduction "
                     "test needs at least 1 iteration\n");
  EXPECT_EQ(run.err, "tarne-pst: the case made from bad.pst breaks a rule of tarne's control file "
                     "(the line above names it); nothing was written\n");
  EXPECT_EQ(ReadFile("bad_tarne.pst"), "an earlier case\n");
  EXPECT_FALSE(FileExists("bad_tarne.prj") || FileExists("bad_tarne.pst.check"));
  run = RunImport({"bad.pst", "sub/case"});
  EXPECT_EQ(run.exit_code, 2);
  EXPECT_NE(run.err.find("the case 'sub/case' must be a plain name"), std::string::npos);
  run = RunImport({"--slmmode", "2", "bad.pst"});
  EXPECT_EQ(run.exit_code, 2);
  EXPECT_NE(run.err.find("--slmmode takes 0 or 1"), std::string::npos);
  run = RunProgram(TARNE_PST_BINARY, {"export", "bad.pst"});
  EXPECT_EQ(run.exit_code, 2);
  EXPECT_NE(run.err.find("usage: tarne-pst import"), std::string::npos);
}

}  // namespace
