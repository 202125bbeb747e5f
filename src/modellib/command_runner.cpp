#include "modellib/command_runner.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "modellib/text_util.h"

extern char** environ;

namespace tarne {

namespace {

// Characters with a meaning to the shell. '=' and '~' count only where the shell gives them
// one (an assignment before the command, a tilde at the start of a word).
constexpr const char* kShellCharacters = "|&;<>()$`\\\"'*?[]#{}!\n\r";

// Words that only the shell can carry out, or that change how it reads the line.
constexpr const char* kShellWords[] = {
    "if",     "then",  "else",   "elif",    "fi",       "case",   "esac",    "for",
    "while",  "until", "do",     "done",    "in",       "select", "function", "time",
    "cd",     "export", "exit",  "set",     "unset",    ".",      "source",  "eval",
    "exec",   "alias", "unalias", "ulimit", "umask",    "read",   "shift",   "trap",
    "wait",   "return", "break", "continue", "readonly", "local", "command", "type",
    "hash",   "getopts", "jobs", "fg",      "bg",       "let",    "declare", "typeset"};

bool IsShellWord(const std::string& word) {
  for (const char* shell_word : kShellWords) {
    if (word == shell_word) return true;
  }
  return false;
}

int WaitFor(pid_t child) {
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return status;
}

}  // namespace

bool NeedsShell(const std::string& command) {
  if (command.find_first_of(kShellCharacters) != std::string::npos) return true;
  const std::vector<std::string> words = SplitWords(command);
  if (words.empty()) return true;
  if (IsShellWord(words[0]) || words[0].find('=') != std::string::npos) return true;
  for (const std::string& word : words) {
    if (word[0] == '~') return true;
  }
  return false;
}

int RunCommandLine(const std::string& command, std::string* start_error) {
  std::fflush(nullptr);
  if (NeedsShell(command)) {
    const int status = std::system(command.c_str());
    if (status == -1 && start_error != nullptr) *start_error = std::strerror(errno);
    return status;
  }
  const std::vector<std::string> words = SplitWords(command);
  std::vector<char*> argv;
  for (const std::string& word : words) argv.push_back(const_cast<char*>(word.c_str()));
  argv.push_back(nullptr);
  pid_t child = 0;
  // posix_spawnp searches PATH for a name without '/' as the shell would, and reports a
  // program that cannot be started (missing, not executable) as its result.
  const int error = posix_spawnp(&child, argv[0], nullptr, nullptr, argv.data(), environ);
  if (error != 0) {
    if (start_error != nullptr) *start_error = std::strerror(error);
    return -1;
  }
  const int status = WaitFor(child);
  if (status == -1 && start_error != nullptr) *start_error = std::strerror(errno);
  return status;
}

}  // namespace tarne
