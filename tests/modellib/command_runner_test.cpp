// The user's command line: which commands need the shell, and the status of a command run
// with and without it.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <string>

#include "modellib/command_runner.h"
#include "support/test_support.h"

namespace {

using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

TEST(NeedsShell, TellsPlainCommandsFromShellSyntax) {
  const char* const plain[] = {"./model", "model --input=run.in", "python3 run.py 1.5",
                               "/usr/bin/true", "a.out x,y:z+1"};
  for (const char* command : plain) EXPECT_FALSE(tarne::NeedsShell(command)) << command;
  const char* const shell[] = {"model > log",     "a | b",          "a; b",     "a && b",
                               "echo $HOME",      "echo 'x y'",     "ls *.in",  "X=1 model",
                               "cd run",          "export A=1",     "~/model",  "model # note",
                               "(model)",         "echo `date`",    "a\nb",     "",
                               "if true",         "model 2>&1",     "source env.sh"};
  for (const char* command : shell) EXPECT_TRUE(tarne::NeedsShell(command)) << command;
}

TEST(RunCommandLine, RunsWithOrWithoutTheShellAndReportsTheStatus) {
  TempDir dir;
  WriteFile("write.sh", "#!/bin/sh\necho \"$1 $2\" >> out.txt\nexit $3\n");
  std::string error;
  EXPECT_EQ(tarne::RunCommandLine("sh write.sh first  run 0", &error), 0);
  const int status = tarne::RunCommandLine("sh write.sh second run 3", &error);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 3);
  EXPECT_EQ(ReadFile("out.txt"), "first run\nsecond run\n");
  // Through the shell, as before: redirection and lists work.
  EXPECT_EQ(tarne::RunCommandLine("echo shell > shell.txt && exit 0", &error), 0);
  EXPECT_EQ(ReadFile("shell.txt"), "shell\n");
  EXPECT_EQ(tarne::RunCommandLine("exit 2", &error), 2 << 8);
  // A program that cannot start is reported with the reason.
  EXPECT_EQ(tarne::RunCommandLine("./no-such-model arg", &error), -1);
  EXPECT_EQ(error, "No such file or directory");
  error.clear();
  EXPECT_EQ(tarne::RunCommandLine("no-such-program-anywhere", &error), -1);
  EXPECT_FALSE(error.empty());
}

}  // namespace
