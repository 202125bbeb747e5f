// Shared test support: a fresh temporary working directory per test, running the tarne
// binary with arguments, standard input and environment, and reading files back.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace testing_support {

// Creates a fresh directory under the system's temporary directory and makes it the working
// directory; restores the previous working directory and removes the tree on destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  std::string previous_;
};

struct RunResult {
  int exit_code = -1;  // the process's exit status, or 128 + signal when it was killed
  std::string out;     // standard output
  std::string err;     // standard error
};

// Runs program with the arguments (argv[0] is the program path) in the current working
// directory, feeding stdin_text on standard input. env entries are set ("NAME" -> value);
// an entry whose value is "\x01unset" removes the variable.
RunResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::string& stdin_text = "",
                     const std::map<std::string, std::string>& env = {});
// Runs the tarne binary of this build.
RunResult RunTarne(const std::vector<std::string>& args, const std::string& stdin_text = "");

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& content);
bool FileExists(const std::string& path);
// Lines of text without their line ends.
std::vector<std::string> SplitLines(const std::string& text);
// The fields of a line in which every field is closed by a tab (a Monte Carlo log line);
// text after the last tab is not a field.
std::vector<std::string> TabFields(const std::string& line);
// Absolute path of a file in the source tree (for example "examples/hydro/catchment.prj").
std::string SourcePath(const std::string& relative);
// Copies a file or a directory tree into the current working directory.
void CopyIntoCwd(const std::string& source);
// Every regular file under dir (symbolic links not followed) with its content, by its path
// relative to dir.
std::map<std::string, std::string> RegularFiles(const std::string& dir = ".");
// Shell lines for a model script that kill the nearest tarne process above it with SIGKILL,
// as a crash or a power cut would end the run.
std::string KillTarneAboveLines();
// Writes the Monte Carlo input "mc.in" of a two-parameter Rosenbrock "function" project
// (rosen.prj, names.lst, an empty obs.txt), both parameters between -2 and 2.
void WriteRosenbrockInput();

}  // namespace testing_support
