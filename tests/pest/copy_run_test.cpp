// One run in a working copy, as every process makes the runs of a spread batch: the value
// file goes into the copy, the outputs are read there, observations no instruction reads
// stay NaN, and a failed reading or a process end during the run become the outcome, with
// the console text that one process would have printed.
#include "pest/copy_run.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "pest/working_copy.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;
using testing_support::FileExists;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

// An external project with one parameter a; post.sh writes o1 = 2 a to model.out.
RunSetup WriteModel(const std::string& post_command, const std::string& instructions) {
  WriteFile("tarne.in", "1\n[a] \"%16.8lf\"\n");
  WriteFile("model.prj", "kind external\nreplace tarne.in\nvalues values.in\n"
                         "output parameters.txt\nparameter a [a]\n");
  WriteFile("post.sh", "awk '{ printf \"%.17g\\n\", 2 * $1 }' values.in > model.out\necho ran\n");
  WriteFile("model.ins", instructions);
  RunSetup setup;
  setup.project = "model.prj";
  setup.post_command = post_command;
  setup.first_argument = "-slm";
  setup.instructions = {{"model.ins", "model.out"}};
  setup.observations = {"o1", "o2"};
  setup.files = {"tarne.in", "model.prj", "post.sh", "model.ins"};
  return setup;
}

TEST(CopyRunner, RunsInTheCopyAndTurnsEveryEndIntoAnOutcome) {
  const struct {
    const char* name;
    const char* post;
    const char* instructions;
    int status, ended;
    const char* said_after;  // in the console text of the reading
  } cases[] = {
      {"read", "sh post.sh", "pif #\nl1 !o1!\n", 0, -1, ""},
      {"output gone", "sh post.sh; rm model.out", "pif #\nl1 !o1!\n", 1, -1,
       "cannot open model.out"},
      {"semi-fixed", "sh post.sh", "pif #\nl1 (o1)1:5\n", 1, 1,
       "Semi-fixed observations are currently not supported"},
  };
  for (const auto& c : cases) {
    TempDir dir;
    tarne::mpi_setup partition;
    const RunSetup setup = WriteModel(c.post, c.instructions);
    const std::string folder = WorkingCopyFolder(1);
    std::string reason;
    ASSERT_TRUE(MakeWorkingCopy(folder, setup.files, {}, &reason)) << reason;
    CopyRunner runner(&partition);
    ASSERT_TRUE(runner.Open(setup, folder, &reason)) << reason;
    const RunOutcome outcome = runner.Run("3.0000000E+00 ");
    EXPECT_TRUE(outcome.model_ran) << c.name;
    EXPECT_EQ(outcome.status, c.status) << c.name;
    EXPECT_EQ(outcome.ended, c.ended) << c.name;
    EXPECT_EQ(outcome.before.out, "ran\n") << c.name;
    EXPECT_NE(outcome.after.out.find(c.said_after), std::string::npos) << outcome.after.out;
    EXPECT_EQ(ReadFile(folder + "/values.in"), "3.0000000E+00 ") << c.name;
    EXPECT_FALSE(FileExists("values.in")) << c.name;
    ASSERT_EQ(outcome.simulated.size(), 2u);
    EXPECT_TRUE(std::isnan(outcome.simulated[1])) << c.name;
    if (c.status != 0) continue;
    EXPECT_EQ(outcome.simulated[0], 6.0);
    // The last run of a batch is made in the run directory itself.
    EXPECT_EQ(runner.Run("5.0000000E+00 ", true).simulated[0], 10.0);
    EXPECT_EQ(ReadFile("values.in"), "5.0000000E+00 ");
  }
}

TEST(CopyRunner, OpeningACopyWithoutItsInstructionFileFails) {
  TempDir dir;
  tarne::mpi_setup partition;
  const RunSetup setup = WriteModel("sh post.sh", "pif #\nl1 !o1!\n");
  std::string reason;
  ASSERT_TRUE(MakeWorkingCopy(WorkingCopyFolder(1), {"tarne.in"}, {}, &reason));
  CopyRunner runner(&partition);
  EXPECT_FALSE(runner.Open(setup, WorkingCopyFolder(1), &reason));
  EXPECT_NE(reason.find("cannot open model.ins"), std::string::npos) << reason;
  EXPECT_EQ(fs::current_path().filename().string().rfind("tarne_test_", 0), 0u);
}

}  // namespace
