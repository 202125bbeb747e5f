#include "driver/refusal_table.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/test_support.h"

namespace refusal_table {

namespace fs = std::filesystem;
using testing_support::ReadFile;
using testing_support::RunProgram;
using testing_support::RunResult;
using testing_support::SourcePath;
using testing_support::TempDir;
using testing_support::WriteFile;

const std::vector<std::string> kSlm = {"-slm", "case"};
const std::vector<std::string> kResume = {"-slm", "case", "/r"};
const std::string kLongLine(1100000, 'x');
const std::string kNoSetup = "Error: unable to successufully setup SCE-UA. Unable to run.\n"
                             "Error: unable to successfully run the SCE method\n";
const std::string kFormError = "<P>Error in invocation - wrong FORM probably.";

namespace {

// No message may name an empty file or print a line without its file.
const std::vector<std::string> kNoEmptyName = {"cannot open :", "(an empty file name)",
                                               "Attempted to read file: \n"};

// Each expected text in standard output or standard error, in order within each stream.
void ExpectInOrder(const Row& row, const RunResult& run) {
  const std::string output = run.out + run.err;
  size_t from_out = 0, from_err = 0;
  for (const std::string& text : row.expected) {
    const size_t in_out = run.out.find(text, from_out);
    const size_t in_err = in_out == std::string::npos ? run.err.find(text, from_err)
                                                      : std::string::npos;
    EXPECT_TRUE(in_out != std::string::npos || in_err != std::string::npos)
        << "missing: " << text << "\nin:\n" << output.substr(0, 4000);
    if (in_out != std::string::npos) from_out = in_out + text.size();
    if (in_err != std::string::npos) from_err = in_err + text.size();
  }
  std::vector<std::string> absent = row.absent;
  if (!row.names_an_empty_file) {
    absent.insert(absent.end(), kNoEmptyName.begin(), kNoEmptyName.end());
  }
  for (const std::string& text : absent) {
    EXPECT_EQ(output.find(text), std::string::npos) << "unexpected: " << text;
  }
}

}  // namespace

void RunRows(const std::vector<Row>& rows) {
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TempDir dir;
    row.setup();
    const std::map<std::string, std::string> before = testing_support::RegularFiles();
    const bool web = !row.env.empty();
    std::vector<std::string> args = {"-s", "KILL", "60", web ? TARNE_WEB_BINARY : TARNE_BINARY};
    args.insert(args.end(), row.args.begin(), row.args.end());
    const RunResult run = RunProgram("/usr/bin/timeout", args, row.stdin_text, row.env);
    EXPECT_EQ(run.exit_code, row.exit_code) << (run.out + run.err).substr(0, 2000);
    ExpectInOrder(row, run);
    const std::map<std::string, std::string> after = testing_support::RegularFiles();
    for (const auto& [name, content] : before) {
      if (row.may_change.count(name.substr(name.rfind('/') + 1)) != 0) continue;
      const auto found = after.find(name);
      EXPECT_TRUE(found != after.end() && found->second == content) << "changed: " << name;
    }
    for (const auto& [name, content] : after) {
      EXPECT_EQ(name.find(".tmp"), std::string::npos) << "left behind: " << name;
    }
    if (row.check) row.check();
  }
}

void Executable(const std::string& path, const std::string& content) {
  WriteFile(path, content);
  fs::permissions(path, fs::perms::owner_all);
}

void CopyExample(const std::string& directory) {
  for (const auto& entry : fs::directory_iterator(SourcePath("examples/" + directory))) {
    testing_support::CopyIntoCwd(entry.path().string());
  }
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  const size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

// A small PEST case: one parameter p1, observations o1 = p1 and o2 = 2 p1 computed by the
// post-run script from "values.in", an external-kind model project and its template.
std::string ControlText(const std::string& restart) {
  return "pcf\n* control data\n" + restart + " estimation\n1 2 1 0 1\n"
         "1 1 single point 1 0 0\n0.01 2.0 0.3 0.01 10\n5.0 5.0 0.001 0\n0.1 noaui\n"
         "2 0.001 3 3 0.001 3\n0 0 0\n0 0 0.9 1 0.01\nmodel.prj\n"
         "* parameter groups\npg relative 0.01 0.0 always_2 2.0 outside_pts\n"
         "* parameter data\np1 none factor 1.0 -10.0 10.0 pg 1.0 0.0 1\n"
         "* observation groups\nobs\n"
         "* observation data\no1 3.0 1.0 obs\no2 6.0 1.0 obs\n"
         "* model command line\nnone ./post.sh\n"
         "* model input/output\nmodel.tpl model.prj\nmodel.ins model.out\n"
         "* prior information\n";
}

void WritePestCase(const std::string& post_lines, const std::string& control) {
  WriteFile("case.pst", control);
  const std::string project =
      "kind external\noutput parameters.txt\nreplace tarne.in\nvalues values.in\n";
  WriteFile("model.prj", project + "parameter p1 [p1]\n");
  WriteFile("model.tpl", "ptf $\n" + project + "parameter p1 $p1   $\n");
  WriteFile("model.ins", "pif #\nl1 !o1!\nl1 !o2!\n");
  Executable("post.sh",
             "#!/bin/sh\nawk '{ printf \"%.17g\\n%.17g\\n\", $1, 2 * $1 }' values.in > model.out\n" +
                 post_lines);
  // A list from an earlier run, which a failed read must leave as it was.
  WriteFile("tarne.in", "1\n[p1] \"%16.8lf\"\n# earlier run\n");
}

// A restart file of the PEST case (two observations, one adjustable parameter) written at the
// end of iteration 1, with phi as given.
std::string RestartText(const std::string& phi) {
  return "0\n0\n0.9\n1\ninf\n1\t\n2\t\n1\t\n2\t\n2\n" + phi +
         "\n5\n5\n5\n2\n2\n4\n1\n0\n0\n2\n4\n2.02\n4.04\n2\n1\n0.01\ninf\n0\ninf\n1\n4\n1\n";
}

void WriteHydroProject(const std::string& forcing) {
  CopyExample("hydro");
  WriteFile("catchment.prj", Replaced(ReadFile("catchment.prj"), "forcing forcing.txt",
                                      "forcing " + forcing));
}

void WriteSceInput(const std::string& records) {
  CopyExample("function");
  WriteFile("sce.in", "rosenbrock.prj\nrosenbrock.lst\nno_observations.obs\n" + records);
}

void WriteMcInput(const std::string& observations, const std::string& bounds) {
  CopyExample("function");
  WriteFile("mc.in", "rosenbrock.prj\nrosenbrock.lst\n" + observations + "\n2\n" + bounds);
}


}  // namespace refusal_table
