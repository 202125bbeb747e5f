#include "global/method_run.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace global_test {

using testing_support::FileExists;
using testing_support::ReadFile;
using testing_support::SourcePath;
using testing_support::SplitLines;
using testing_support::TempDir;
using testing_support::WriteFile;

lm_test::PestCase LinearCase() {
  lm_test::PestCase c;
  c.parameters = {{"a", "none", 0.005, 0.0, 0.01}, {"b", "none", 0.005, 0.0, 0.01},
                  {"c", "fixed", 2.0, 2.0, 2.0}};
  c.observation_groups = {"g1", "g2"};
  c.observations = {{"$1 + $2 + 0 * $3", 0.007, 100.0, "g1"},
                    {"$1 - $2", -0.001, 100.0, "g2"},
                    {"$1 + $2", 0.008, 100.0, "g1"},
                    {"$1 - $2", -0.002, 100.0, "g2"}};
  c.noptmax = 1;
  return c;
}

MethodRun RunMethod(const MethodTool& tool, const std::vector<std::string>& extra,
                    const char* control) {
  std::vector<std::string> words = {"tarne", tool.option, control};
  words.insert(words.end(), extra.begin(), extra.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  tarne::mpi_setup partition;
  MethodRun run;
  ::testing::internal::CaptureStdout();
  run.status = tool.entry(&partition, static_cast<int>(words.size()), argv.data());
  run.screen = ::testing::internal::GetCapturedStdout();
  if (FileExists(tool.record_name)) run.rec = ReadFile(tool.record_name);
  if (FileExists("runs.txt")) {
    for (const std::string& line : SplitLines(ReadFile("runs.txt"))) {
      run.model_runs += !line.empty();
    }
  }
  return run;
}

void ExpectRefusedBeforeAnyModelRun(const MethodTool& tool,
                                    const std::vector<RefusalCase>& cases) {
  for (const RefusalCase& c : cases) {
    TempDir dir;
    LinearCase().Write();
    if (c.input != nullptr) WriteFile(tool.input_name, c.input);
    c.prepare();
    const MethodRun run = RunMethod(tool, c.extra);
    EXPECT_EQ(run.status, c.status) << c.name;
    EXPECT_NE(run.screen.find(c.message), std::string::npos) << c.name << "\n" << run.screen;
    EXPECT_EQ(run.model_runs, 0) << c.name;
  }
}

void ExpectPredictionRefused(const MethodTool& tool, const char* input) {
  TempDir dir;
  lm_test::PestCase c = LinearCase();
  c.mode = "prediction";
  c.Write();
  WriteFile(tool.input_name, input);
  const MethodRun run = RunMethod(tool);
  EXPECT_EQ(run.status, 1);
  const std::string name = tool.tool_name;
  EXPECT_NE(run.screen.find("\nCurrently, the " + name +
                            " does not support prediction capabilities.\nPlease change the "
                            "PESTMODE parameter in the input control\nfile to 'estimation' "
                            "and recommence execution of " +
                            name + ".\n\n"),
            std::string::npos)
      << run.screen;
  EXPECT_EQ(run.model_runs, 0);
}

void ExpectSeedsWithoutTheThirdSample() {
  const std::vector<std::string> written = SplitLines(ReadFile("RandomNumberSeeds.prn"));
  const std::vector<std::string> all =
      SplitLines(ReadFile(SourcePath("tests/data/global/mlsl/RandomNumberSeeds.prn")));
  ASSERT_EQ(all.size(), 5u);
  EXPECT_EQ(written, (std::vector<std::string>{all[0], all[1], all[3], all[4]}));
}

void ExpectReplayWritesTheSameRecord(const MethodTool& tool, const char* input,
                                     const MethodRun& written) {
  const std::string seeds = ReadFile("RandomNumberSeeds.prn");
  WriteFile(tool.input_name, input);
  const MethodRun replay = RunMethod(tool);
  EXPECT_EQ(replay.status, written.status);
  EXPECT_EQ(replay.rec, written.rec);
  EXPECT_EQ(ReadFile("RandomNumberSeeds.prn"), seeds);
}

}  // namespace global_test
