// What each run mode calls: partition set-up, project runs with their batch numbers, the
// calibration entries with their sample counts, the tools with the whole command line, and
// the exit code. The entries are replaced by recorders; the partition object records its
// set-up calls.
#include "driver/run_modes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pest/run_messages.h"

namespace {

// Records its set-up calls. The other processes of the pretended run answer at once: when
// rank 0 ends the work each acknowledges it, and a process other than rank 0 that waits for
// work is told to end with status 0.
class RecordingPartition : public tarne::mpi_setup {
 public:
  void SetupPartitions(long count) override { setups.push_back(count); }
  void post_message(long to, int tag, const std::string&) override {
    posted.push_back(tag);
    if (tag == kEndWork) inbox.push_back({to, kWorkEnded, std::string()});
  }
  bool take_message(long* from, int* tag, std::string* bytes) override {
    if (inbox.empty() && process_rank != 0) {
      MessageWriter end;
      end.Long(0);
      end.Long(1);
      inbox.push_back({0, kEndWork, end.bytes()});
    }
    if (inbox.empty()) return false;
    *from = inbox.front().from;
    *tag = inbox.front().tag;
    *bytes = inbox.front().bytes;
    inbox.erase(inbox.begin());
    return true;
  }
  std::vector<long> setups;
  std::vector<int> posted;
  std::vector<Message> inbox;
};

// What the recorders saw, one text line per call.
std::vector<std::string> calls;
int project_result = 0;

int RecordProjectRun(tarne::mpi_setup*, const char* input_file, const char* argument,
                     long batch_index) {
  calls.push_back("project " + std::string(input_file) + " " + argument + " " +
                  std::to_string(batch_index));
  return project_result;
}
// What the calibration entries return: Monte Carlo 1 after a good run, SCE and the tools 0.
int monte_carlo_result = 1;
int sce_result = 0;
int tool_status = 0;

int RecordMonteCarlo(tarne::mpi_setup*, long total_samples, const char* input_file) {
  calls.push_back("montecarlo " + std::to_string(total_samples) + " " + input_file);
  return monte_carlo_result;
}
int RecordSce(tarne::mpi_setup*, const char* input_file) {
  calls.push_back(std::string("sce ") + input_file);
  return sce_result;
}
int RecordTool(tarne::mpi_setup*, int argc, char** argv) {
  std::string line = "tool";
  for (int i = 0; i < argc; ++i) line += std::string(" ") + argv[i];
  calls.push_back(line);
  return tool_status;
}

ModeEntries Recorders() {
  ModeEntries entries{};
  entries.project_run = RecordProjectRun;
  entries.monte_carlo = RecordMonteCarlo;
  entries.sce = RecordSce;
  entries.secant_lm = RecordTool;
  entries.multistart = RecordTool;
  entries.trajectory_repulsion = RecordTool;
  entries.mlsl = RecordTool;
  return entries;
}

struct Outcome {
  int exit_code = 0;
  std::vector<long> setups;
  std::vector<int> posted;  // tags of the messages rank 0 posted
  std::vector<std::string> calls;
  std::string out;
};

Outcome Dispatch(std::vector<std::string> words, const ModeEntries& entries = Recorders(),
            bool web = false, long total_threads = 4, long process_rank = 0) {
  calls.clear();
  words.insert(words.begin(), "tarne");
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  const int argc = static_cast<int>(words.size());
  RecordingPartition partition;
  partition.total_threads = total_threads;
  partition.process_rank = process_rank;
  RunRequest request;
  Outcome outcome;
  testing::internal::CaptureStdout();
  parse_command_line(argc, argv.data(), request);
  if (request.mode != kNoMode)
    outcome.exit_code = run_mode(partition, request, argc, argv.data(), web, entries);
  outcome.out = testing::internal::GetCapturedStdout();
  outcome.setups = partition.setups;
  outcome.posted = partition.posted;
  outcome.calls = calls;
  return outcome;
}

using Lines = std::vector<std::string>;
using Counts = std::vector<long>;

TEST(RunModes, SingleProjectRunUsesAllThreadsAndReturnsTheModelResult) {
  project_result = 3;
  Outcome o = Dispatch({"proj.prj"});
  EXPECT_EQ(o.setups, Counts{4});
  EXPECT_EQ(o.calls, Lines{"project proj.prj proj.prj -1"});
  EXPECT_EQ(o.exit_code, 3);
  project_result = 0;
  EXPECT_EQ(Dispatch({"-v"}).calls, Lines{"project -v -v -1"});
  EXPECT_EQ(Dispatch({"-v"}).exit_code, 0);
}

TEST(RunModes, AWebStartRunsTheProjectOnOnePartition) {
  Outcome o = Dispatch({"proj.prj"}, Recorders(), true);
  EXPECT_EQ(o.setups, Counts{1});
}

TEST(RunModes, AFailureWhoseLowByteIsZeroStillFailsTheProcess) {
  project_result = 256;
  EXPECT_EQ(Dispatch({"proj.prj"}).exit_code, 1);
  project_result = -1;
  EXPECT_EQ(Dispatch({"proj.prj"}).exit_code, -1);
  project_result = 0;
}

TEST(RunModes, BatchRunsAreNumberedFromZero) {
  project_result = 9;  // results of batch runs are ignored
  Outcome o = Dispatch({"-b3", "batch.prj"});
  project_result = 0;
  EXPECT_EQ(o.setups, Counts{1});
  EXPECT_EQ(o.out, "TARNE is running in batch mode, and is running 3 runs...\n");
  EXPECT_EQ(o.calls, (Lines{"project batch.prj -b3 0", "project batch.prj -b3 1",
                            "project batch.prj -b3 2"}));
  EXPECT_EQ(o.exit_code, 0);

  EXPECT_EQ(Dispatch({"-b", "batch.prj"}).calls, Lines{"project batch.prj -b 0"});
  Outcome none = Dispatch({"-b0", "batch.prj"});
  EXPECT_EQ(none.out, "TARNE is running in batch mode, and is running 0 runs...\n");
  EXPECT_TRUE(none.calls.empty());
  Outcome negative = Dispatch({"-b-2", "batch.prj"});
  EXPECT_EQ(negative.out, "TARNE is running in batch mode, and is running -2 runs...\n");
  EXPECT_TRUE(negative.calls.empty());
}

TEST(RunModes, CalibrationsGetTheirSampleCountsAndPartitionSetUp) {
  Outcome m = Dispatch({"-m", "mc.in"});
  EXPECT_EQ(m.calls, Lines{"montecarlo 1 mc.in"});
  EXPECT_EQ(m.setups, Counts{1});
  EXPECT_EQ(Dispatch({"-m250", "mc.in"}).calls, Lines{"montecarlo 250 mc.in"});
  EXPECT_EQ(Dispatch({"-ms2", "mc.in"}).calls, Lines{"montecarlo 1 mc.in"});

  Outcome s = Dispatch({"-s", "sens.in"});
  EXPECT_EQ(s.calls, Lines{"montecarlo 500 sens.in"});
  EXPECT_TRUE(s.setups.empty());

  Outcome c = Dispatch({"-c", "sce.in"});
  EXPECT_EQ(c.calls, Lines{"sce sce.in"});
  EXPECT_EQ(c.setups, Counts{1});
  EXPECT_EQ(c.exit_code, 0);
}

// A calibration that fails ends the process with a non-zero status: Monte Carlo's 0 becomes
// 1, SCE's and a tool's status is the exit code (one whose low byte is 0 becomes 1, which a
// shell would otherwise read as success), on one process as on several.
TEST(RunModes, AFailedCalibrationEndsWithANonZeroStatus) {
  monte_carlo_result = 0;
  EXPECT_EQ(Dispatch({"-m5", "mc.in"}).exit_code, 1);
  EXPECT_EQ(Dispatch({"-s", "mc.in"}).exit_code, 1);
  monte_carlo_result = 1;
  sce_result = 1;
  EXPECT_EQ(Dispatch({"-c", "sce.in"}).exit_code, 1);
  sce_result = 0;
  for (int status : {1, 2, 256}) {
    tool_status = status;
    for (const char* option : {"-slm", "-ms", "-tr", "-mlsl"}) {
      for (long processes : {1L, 4L}) {
        EXPECT_EQ(Dispatch({option, "case"}, Recorders(), false, processes).exit_code,
                  status == 256 ? 1 : status)
            << option << " on " << processes << " processes";
      }
    }
  }
  tool_status = 0;
}

TEST(RunModes, ToolsReceiveTheWholeCommandLine) {
  for (const char* option : {"-slm", "-ms", "-trx", "-mlslx"}) {
    for (long processes : {1L, 4L}) {
      Outcome o = Dispatch({option, "case", "extra"}, Recorders(), false, processes);
      EXPECT_EQ(o.calls, Lines{std::string("tool tarne ") + option + " case extra"}) << option;
      EXPECT_EQ(o.exit_code, 0) << option;
      EXPECT_TRUE(o.setups.empty()) << option;
      EXPECT_EQ(o.posted, std::vector<int>(static_cast<std::size_t>(processes - 1), kEndWork));
    }
  }
}

TEST(RunModes, ToolsNotBuiltSayTheyAreNotAvailable) {
  ModeEntries entries = Recorders();
  entries.secant_lm = entries.multistart = entries.trajectory_repulsion = entries.mlsl = nullptr;
  const std::pair<const char*, const char*> cases[] = {
      {"-slm",
       "tarne: the secant Levenberg-Marquardt tool (-slm) is not available in this build\n"},
      {"-ms", "tarne: the multistart tool (-ms) is not available in this build\n"},
      {"-tr", "tarne: the trajectory repulsion tool (-tr) is not available in this build\n"},
      {"-mlsl", "tarne: the MLSL tool (-mlsl) is not available in this build\n"}};
  for (const auto& [option, message] : cases) {
    Outcome o = Dispatch({option, "case"}, entries);
    EXPECT_EQ(o.out, message);
    EXPECT_EQ(o.exit_code, 1);
    EXPECT_TRUE(o.calls.empty());
  }
}

// On a process other than rank 0 the modes without a partitioned form (batch runs, SCE, the
// tools and a web start's run) run nothing and print nothing, though each sets up the same
// partitions as on rank 0 (the tools' processes wait for model runs until rank 0 ends them);
// Monte Carlo and the single project run go on every process.
TEST(RunModes, OnlyRankZeroRunsTheModesWithoutAPartitionedForm) {
  const std::vector<std::pair<Lines, Counts>> idle = {
      {{"-b3", "batch.prj"}, {1}}, {{"-c", "sce.in"}, {1}}, {{"-slm", "case"}, {}},
      {{"-ms", "case"}, {}},       {{"-tr", "case"}, {}},   {{"-mlsl", "case"}, {}}};
  for (const auto& [words, setups] : idle) {
    Outcome o = Dispatch(words, Recorders(), false, 2, 1);
    EXPECT_TRUE(o.calls.empty()) << words[0];
    EXPECT_EQ(o.setups, setups) << words[0];
    EXPECT_EQ(o.out, "") << words[0];
    EXPECT_EQ(o.exit_code, 0) << words[0];
  }
  Outcome web = Dispatch({"proj.prj"}, Recorders(), true, 2, 1);
  EXPECT_TRUE(web.calls.empty());
  EXPECT_EQ(web.setups, Counts{1});

  project_result = 2;
  Outcome single = Dispatch({"proj.prj"}, Recorders(), false, 2, 1);
  project_result = 0;
  EXPECT_EQ(single.calls, Lines{"project proj.prj proj.prj -1"});
  EXPECT_EQ(single.setups, Counts{2});
  EXPECT_EQ(single.exit_code, 2);
  EXPECT_EQ(Dispatch({"-m9", "mc.in"}, Recorders(), false, 2, 1).calls,
            Lines{"montecarlo 9 mc.in"});
  EXPECT_EQ(Dispatch({"-s", "mc.in"}, Recorders(), false, 2, 1).calls,
            Lines{"montecarlo 500 mc.in"});
}

TEST(RunModes, VersionAndHelpRunNothing) {
  Outcome v = Dispatch({"-v", "x"});
  EXPECT_TRUE(v.calls.empty());
  EXPECT_TRUE(v.setups.empty());
  EXPECT_NE(v.out.find("-- TARNE version 8.0.016outlet Release, "), std::string::npos);
  Outcome h = Dispatch({"-h", "x"});
  EXPECT_TRUE(h.calls.empty());
  EXPECT_TRUE(h.setups.empty());
  EXPECT_EQ(h.out, "");
  EXPECT_EQ(h.exit_code, 0);
}

}  // namespace
