// Runs a user's command line in the working directory. A command that holds no shell syntax
// is split into words and started directly (no shell is started for it, which matters to a
// model of a few milliseconds run thousands of times); any other goes to the shell as before.
// Called by the external model kind for the project's commands.
#pragma once

#include <string>

namespace tarne {

// True when command needs the shell: it holds quoting, redirection, pipes, lists, variables,
// globbing, comments or line ends, a variable assignment, or starts with a word that only
// the shell can carry out (a reserved word or a builtin such as cd or export).
bool NeedsShell(const std::string& command);

// Runs command and waits for it. Returns the wait status in the form std::system gives it
// (0 for a command that exited with status 0), or -1 when the program could not be started,
// with the reason in start_error. Standard output and error are flushed first, so that what
// this process printed comes before what the command prints.
int RunCommandLine(const std::string& command, std::string* start_error);

}  // namespace tarne
