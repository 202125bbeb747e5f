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

// What the recorders saw, one text line per call, and what every entry returns.
std::vector<std::string> calls;
int entry_result = 0;

int RecordProjectRun(tarne::mpi_setup*, const char* input_file, const char* argument,
                     long batch_index) {
  calls.push_back("project " + std::string(input_file) + " " + argument + " " +
                  std::to_string(batch_index));
  return entry_result;
}
int RecordMonteCarlo(tarne::mpi_setup*, long total_samples, const char* input_file) {
  calls.push_back("montecarlo " + std::to_string(total_samples) + " " + input_file);
  return entry_result;
}
int RecordSce(tarne::mpi_setup*, const char* input_file) {
  calls.push_back(std::string("sce ") + input_file);
  return entry_result;
}
int RecordTool(tarne::mpi_setup*, int argc, char** argv) {
  std::string line = "tool";
  for (int i = 0; i < argc; ++i) line += std::string(" ") + argv[i];
  calls.push_back(line);
  return entry_result;
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

struct Case {
  Lines words;
  int result;  // what the entry called returns
  int exit_code;
  Counts setups;
  Lines calls;
  const char* out = nullptr;  // the whole standard output, when given
  long threads = 4, rank = 0;
  bool web = false;
};

// The single project run uses all threads (one partition on a web start) and returns the
// model's result, where a failure whose low byte is 0 still fails the process; batch runs are
// numbered from 0 and their results ignored; the calibrations get their sample counts and
// partition set-up, and a failed one ends non-zero (Monte Carlo's 0 becomes 1). On a process
// other than rank 0 the modes without a partitioned form (batch runs, SCE, the tools and a web
// start's run) run nothing and print nothing, though each sets up the same partitions as on
// rank 0; Monte Carlo and the single project run go on every process. Version and help run
// nothing.
TEST(RunModes, EachModeCallsItsEntryWithItsPartitionsAndEndsWithItsStatus) {
  const Case cases[] = {
      {{"proj.prj"}, 3, 3, {4}, {"project proj.prj proj.prj -1"}},
      {{"-v"}, 0, 0, {4}, {"project -v -v -1"}},
      {{"proj.prj"}, 0, 0, {1}, {"project proj.prj proj.prj -1"}, nullptr, 4, 0, true},
      {{"proj.prj"}, 256, 1, {4}, {"project proj.prj proj.prj -1"}},
      {{"proj.prj"}, -1, -1, {4}, {"project proj.prj proj.prj -1"}},
      {{"-b3", "batch.prj"}, 9, 0, {1},
       {"project batch.prj -b3 0", "project batch.prj -b3 1", "project batch.prj -b3 2"},
       "TARNE is running in batch mode, and is running 3 runs...\n"},
      {{"-b", "batch.prj"}, 0, 0, {1}, {"project batch.prj -b 0"}},
      {{"-b0", "batch.prj"}, 0, 0, {1}, {},
       "TARNE is running in batch mode, and is running 0 runs...\n"},
      {{"-b-2", "batch.prj"}, 0, 0, {1}, {},
       "TARNE is running in batch mode, and is running -2 runs...\n"},
      {{"-m", "mc.in"}, 1, 0, {1}, {"montecarlo 1 mc.in"}},
      {{"-m250", "mc.in"}, 1, 0, {1}, {"montecarlo 250 mc.in"}},
      {{"-ms2", "mc.in"}, 1, 0, {1}, {"montecarlo 1 mc.in"}},
      {{"-s", "sens.in"}, 1, 0, {}, {"montecarlo 500 sens.in"}},
      {{"-c", "sce.in"}, 0, 0, {1}, {"sce sce.in"}},
      {{"-m5", "mc.in"}, 0, 1, {1}, {"montecarlo 5 mc.in"}},
      {{"-s", "mc.in"}, 0, 1, {}, {"montecarlo 500 mc.in"}},
      {{"-c", "sce.in"}, 1, 1, {1}, {"sce sce.in"}},
      {{"-b3", "batch.prj"}, 0, 0, {1}, {}, "", 2, 1},
      {{"-c", "sce.in"}, 0, 0, {1}, {}, "", 2, 1},
      {{"-slm", "case"}, 0, 0, {}, {}, "", 2, 1},
      {{"-ms", "case"}, 0, 0, {}, {}, "", 2, 1},
      {{"-tr", "case"}, 0, 0, {}, {}, "", 2, 1},
      {{"-mlsl", "case"}, 0, 0, {}, {}, "", 2, 1},
      {{"proj.prj"}, 0, 0, {1}, {}, nullptr, 2, 1, true},
      {{"proj.prj"}, 2, 2, {2}, {"project proj.prj proj.prj -1"}, nullptr, 2, 1},
      {{"-m9", "mc.in"}, 1, 0, {1}, {"montecarlo 9 mc.in"}, nullptr, 2, 1},
      {{"-s", "mc.in"}, 1, 0, {}, {"montecarlo 500 mc.in"}, nullptr, 2, 1},
      {{"-h", "x"}, 0, 0, {}, {}, ""},
      {{"-v", "x"}, 0, 0, {}, {}},
  };
  for (const Case& c : cases) {
    entry_result = c.result;
    const Outcome o = Dispatch(c.words, Recorders(), c.web, c.threads, c.rank);
    const std::string trace = c.words[0] + " returning " + std::to_string(c.result) +
                              " on rank " + std::to_string(c.rank) + (c.web ? " (web)" : "");
    EXPECT_EQ(o.exit_code, c.exit_code) << trace;
    EXPECT_EQ(o.setups, c.setups) << trace;
    EXPECT_EQ(o.calls, c.calls) << trace;
    if (c.out != nullptr) {
      EXPECT_EQ(o.out, c.out) << trace;
    }
  }
  entry_result = 0;
  EXPECT_NE(Dispatch({"-v", "x"}).out.find("-- TARNE version 8.0.016outlet Release, "),
            std::string::npos);
}

// The tools receive the whole command line, set up no partition, and on rank 0 end the other
// processes' wait; a tool's status is the exit code (one whose low byte is 0 becomes 1, which
// a shell would otherwise read as success), on one process as on several.
TEST(RunModes, ToolsReceiveTheWholeCommandLineAndEndWithTheirStatus) {
  for (int status : {0, 1, 2, 256}) {
    entry_result = status;
    for (const char* option : {"-slm", "-ms", "-tr", "-trx", "-mlsl", "-mlslx"}) {
      for (long processes : {1L, 4L}) {
        const Outcome o = Dispatch({option, "case", "extra"}, Recorders(), false, processes);
        const std::string trace = std::string(option) + " returning " + std::to_string(status) +
                                  " on " + std::to_string(processes) + " processes";
        EXPECT_EQ(o.calls, Lines{std::string("tool tarne ") + option + " case extra"}) << trace;
        EXPECT_EQ(o.exit_code, status == 256 ? 1 : status) << trace;
        EXPECT_TRUE(o.setups.empty()) << trace;
        EXPECT_EQ(o.posted, std::vector<int>(static_cast<std::size_t>(processes - 1), kEndWork))
            << trace;
      }
    }
  }
  entry_result = 0;
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

}  // namespace
