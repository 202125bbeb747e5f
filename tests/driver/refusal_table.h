// The table runner shared by the end-to-end tables of malformed inputs and of refusals: each
// row gives the files, the command, the lines the run must print (naming file and line),
// the exit status, the text that must not appear and the files a run may change; every
// other file must be left as it was, byte for byte, and no temporary file may stay behind.
// Also the small fixture problems the rows are built on.
#pragma once

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace refusal_table {

struct Row {
  const char* name;
  std::function<void()> setup;
  std::vector<std::string> args;  // after the program name
  // Lines the run prints, each found in standard output or standard error, in this order
  // within each stream (a library message on standard error precedes the driver's own).
  std::vector<std::string> expected;
  int exit_code = 0;
  std::vector<std::string> absent = {};    // must not appear in the output
  std::set<std::string> may_change = {};   // existing files the run may rewrite
  std::map<std::string, std::string> env = {};  // set for a web start
  std::string stdin_text = "";
  std::function<void()> check = nullptr;   // further checks after the run
  // The observation error line of SCE names the empty file name as it is specified.
  bool names_an_empty_file = false;
};

// Runs every row in a fresh directory (a run that does not end within a minute is killed
// and fails its row) and checks it.
void RunRows(const std::vector<Row>& rows);

// ---- fixtures -------------------------------------------------------------------------

// The text with the first occurrence of from replaced (the test fails when it is absent).
std::string Replaced(std::string text, const std::string& from, const std::string& to);
void Executable(const std::string& path, const std::string& content);
// Copies the files of examples/<directory> into the working directory.
void CopyExample(const std::string& directory);

// A small PEST case: one parameter p1, observations o1 = p1 and o2 = 2 p1 computed by the
// post-run script from "values.in", an external-kind model project and its template.
std::string ControlText(const std::string& restart = "norestart");
// Writes the case with control as case.pst, the post-run script with post_lines appended,
// and a "tarne.in" from an earlier run.
void WritePestCase(const std::string& post_lines = "", const std::string& control = ControlText());
// A restart file of the PEST case after one iteration, with phi as given.
std::string RestartText(const std::string& phi);

void WriteHydroProject(const std::string& forcing);
void WriteSceInput(const std::string& records);
void WriteMcInput(const std::string& observations, const std::string& bounds);

// The words of a run of the PEST case, and of its resumption.
extern const std::vector<std::string> kSlm;
extern const std::vector<std::string> kResume;
// A line longer than every reader's limit.
extern const std::string kLongLine;
// What an SCE run prints when its search was not set up.
extern const std::string kNoSetup;
extern const std::string kFormError;

}  // namespace refusal_table
