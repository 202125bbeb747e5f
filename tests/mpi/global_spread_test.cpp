// -ms, -mlsl and -tr under mpirun with 2, 3 and 4 processes on the example examples/global:
// the files they write and rank 0's screen text equal those of one process byte for byte,
// while every process makes sample runs and, for multistart, whole local searches; searches
// that fail at a point of the model go on as on one process; and a run or a search that fails
// on one process only ends every process with one clear line. In a build without MPI every
// test is skipped and says why.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "mpi/mpi_test_support.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;
using mpi_testing::CountOf;
using mpi_testing::Describe;
using mpi_testing::ExpectSameFiles;
using mpi_testing::TarneIn;
using testing_support::FileExists;
using testing_support::ReadFile;
using testing_support::RunResult;
using testing_support::SplitLines;
using testing_support::WriteFile;

using GlobalSpread = mpi_testing::MpiTest;

// The model of the example, y = amplitude sin(frequency t) + offset, after the shell lines
// before (which may end the run without output).
std::string ModelScript(const std::string& before) {
  return "#!/bin/sh\nrm -f model.out\n" + before +
         "awk '{ for (i = 1; i <= 30; i++) printf \"%.15e\\n\", $1 * sin($2 * 0.2 * i) + $3 }' "
         "values.in > model.out\n";
}

// The example in dir with the model script.
void WriteExample(const std::string& dir, const std::string& script) {
  mpi_testing::CopyExample("global", dir);
  WriteFile(dir + "/model.sh", script);
  fs::permissions(dir + "/model.sh", fs::perms::owner_all);
}

// Runs the method in dir alone (processes 0) or under mpirun, from inside dir.
RunResult RunMethod(const std::string& dir, int processes, const char* option) {
  return TarneIn(dir, processes, {option, "sine"});
}

// The screen text without the start banner, which every process prints.
std::string WithoutBanners(const std::string& screen) {
  std::string text;
  for (const std::string& line : SplitLines(screen)) {
    if (line.find("Parallel version of TARNE") == std::string::npos) text += line + "\n";
  }
  return text;
}

TEST_F(GlobalSpread, WriteTheFilesAndScreenOfOneProcessWhileEveryProcessRunsModels) {
  const std::string log = fs::absolute("ran_in.txt").string();
  const std::string script = ModelScript("echo \"$PWD\" >> " + log + "\n");
  const struct {
    const char* option;
    long samples;  // the sample runs of the example's input file
  } methods[] = {{"-ms", 8}, {"-mlsl", 60}, {"-tr", 40}};
  for (const auto& method : methods) {
    WriteExample("one", script);
    const RunResult alone = RunMethod("one", 0, method.option);
    ASSERT_EQ(alone.exit_code, 0) << Describe(alone);
    for (int processes : {2, 3, 4}) {
      fs::remove(log);
      WriteExample("many", script);
      const RunResult spread = RunMethod("many", processes, method.option);
      ASSERT_EQ(spread.exit_code, 0) << method.option << " " << Describe(spread);
      EXPECT_EQ(spread.err, "") << method.option << " " << processes;
      // The case's record, sensitivity, .par and .mtt files, "jac.txt", the method's record,
      // "parameters.prn", "RandomNumberSeeds.prn", "values.in", "tarne.in" and the model's
      // output: the same files, the same bytes, and no working copy left.
      ExpectSameFiles("one", "many");
      EXPECT_EQ(WithoutBanners(spread.out), WithoutBanners(alone.out))
          << method.option << " " << processes;
      // Every other process made sample runs; under multistart each made more runs than all
      // the samples, so it made a whole search.
      const std::string ran = ReadFile(log);
      for (int p = 1; p < processes; ++p) {
        const long runs = CountOf(ran, "/many/tarne_copies/process_" + std::to_string(p) + "\n");
        EXPECT_GT(runs, 0) << method.option << " " << processes << ": " << p;
        if (method.option == std::string("-ms")) {
          EXPECT_GT(runs, method.samples) << p;
        }
      }
    }
  }
}

TEST_F(GlobalSpread, SearchesThatFailAtAPointOfTheModelGoOnAsOnOneProcess) {
  // No output near frequency 3: search 3 fails on its way there, and every later search
  // starts where the one before failed, so it fails at once; the last one fails the method.
  const std::string script = ModelScript("awk '$2 > 2.99 && $2 < 3.01 { exit 1 }' values.in "
                                         "|| exit 0\n");
  WriteExample("one", script);
  const RunResult alone = RunMethod("one", 0, "-ms");
  ASSERT_EQ(CountOf(alone.out, "Local search 3 failed"), 1) << alone.out;
  ASSERT_EQ(CountOf(alone.out, "Local search 8 starts from the parameters the failed"), 1);
  for (int processes : {2, 3}) {
    WriteExample("many", script);
    const RunResult spread = RunMethod("many", processes, "-ms");
    EXPECT_EQ(spread.exit_code, 1) << Describe(spread);
    EXPECT_EQ(CountOf(spread.err, "tarne: "), 1) << spread.err;
    EXPECT_EQ(CountOf(spread.err, "tarne: the working copies of the processes stay in "), 1);
    EXPECT_EQ(WithoutBanners(spread.out), WithoutBanners(alone.out)) << processes;
    fs::remove_all("many/tarne_copies");
    ExpectSameFiles("one", "many");
  }
}

// What a finished multistart run leaves that an interruption must not change: the records
// without the marks of a resumption, the sensitivity, best-parameter, sample and seeds files.
std::map<std::string, std::string> MultistartResults(const std::string& dir) {
  const std::string mark = "\n\n                             .....RESTART.....\n\n";
  std::map<std::string, std::string> results;
  for (const char* file : {"slm_kor_ms1.rec", "sine.rec", "sine.sen", "sine.par",
                           "parameters.prn", "RandomNumberSeeds.prn"}) {
    std::string text = ReadFile(dir + "/" + file);
    for (auto at = text.find(mark); at != std::string::npos; at = text.find(mark, at)) {
      text.erase(at, mark.size());
    }
    results[file] = text;
  }
  return results;
}

// The example with RSTFLE "restart" and four starts.
void WriteRestartExample(const std::string& dir, const std::string& script) {
  WriteExample(dir, script);
  std::string pst = ReadFile(dir + "/sine.pst");
  pst.replace(pst.find("norestart"), 9, "restart");
  WriteFile(dir + "/sine.pst", pst);
  WriteFile(dir + "/ms.in", "1\n4\n");
}

// Multistart killed in the middle of a search, on another process under mpirun or on one
// process alone, and resumed with "/r" under mpirun: the searches finished before the kill
// are taken from the method's restart file in their order, the others made again at once.
TEST_F(GlobalSpread, MultistartKilledInASearchResumesExactlyUnderMpirun) {
  WriteRestartExample("one", ModelScript(""));
  ASSERT_EQ(RunMethod("one", 0, "-ms").exit_code, 0);
  const auto reference = MultistartResults("one");
  const struct {
    int processes;  // of the interrupted run; 0: one process alone
    std::string where;
    int run;  // the interrupted run's model run (counted where it was made) that is killed
    int resumed_on;
    std::string taken;  // what the resumed run takes from the method's restart file
  } cases[] = {
      // Process 1 makes two of the four sample runs, then search 1.
      {2, "*/tarne_copies/process_1", 8, 2, "4 finished model runs and searches are taken "
                                            "from it.\n"},
      // Alone, the fourth sample run is the last; search 1 has saved its first iteration.
      {0, "*/many", 12, 3, "4 finished model runs and searches are taken from it, and the "
                           "local search under way goes on"},
  };
  for (const auto& c : cases) {
    WriteRestartExample("many", ModelScript(mpi_testing::KillTarneWhen(
                                    c.where, "[ \"$n\" = " + std::to_string(c.run) + " ]")));
    const RunResult killed = RunMethod("many", c.processes, "-ms");
    EXPECT_NE(killed.exit_code, 0) << Describe(killed);
    ASSERT_TRUE(FileExists("many/slm_kor_ms1.rst")) << c.processes;
    const RunResult resumed = TarneIn("many", c.resumed_on, {"-ms", "sine", "/r"});
    ASSERT_EQ(resumed.exit_code, 0) << Describe(resumed);
    EXPECT_EQ(CountOf(resumed.out, "Going on from slm_kor_ms1.rst: " + c.taken), 1)
        << resumed.out;
    EXPECT_EQ(MultistartResults("many"), reference) << c.processes;
    EXPECT_FALSE(FileExists("many/slm_kor_ms1.rst"));
    EXPECT_FALSE(fs::exists("many/tarne_copies"));
  }
}

// A model run or a search that fails in the working copy of process 1 only, where the same
// run succeeds on rank 0: every process ends with status 1 after the failure's message and
// one line from rank 0; the copies stay.
TEST_F(GlobalSpread, AFailureOnOneProcessOnlyEndsEveryProcessWithOneLine) {
  const std::string here = fs::current_path().string();
  const struct {
    const char* option;
    int processes;
    const char* from_run;  // the first run in process 1's copy that has no output
    std::string line;
  } cases[] = {
      // Process 1 makes four of the eight sample runs, then local search 1.
      {"-ms", 2, "5",
       "tarne: local search 1 failed on process 1, in its working copy " + here +
           "/many/tarne_copies/process_1, and its failed model run does not fail on process "
           "0\n"},
      {"-mlsl", 3, "1",
       "tarne: the model run failed on process 1, in its working copy " + here +
           "/many/tarne_copies/process_1, and not when process 0 made it again\n"},
  };
  for (const auto& c : cases) {
    WriteExample("many", ModelScript(std::string("n=$(cat runs 2>/dev/null || echo 0); "
                                                 "n=$((n + 1)); echo $n > runs\n"
                                                 "case \"$PWD\" in */process_1) [ $n -ge ") +
                                     c.from_run + " ] && exit 0;; esac\n"));
    const RunResult r = RunMethod("many", c.processes, c.option);
    EXPECT_EQ(r.exit_code, 1) << Describe(r);
    EXPECT_EQ(CountOf(r.out, "cannot open model.out"), 1) << r.out;
    EXPECT_EQ(CountOf(r.err, "tarne: "), 1) << r.err;
    EXPECT_EQ(CountOf(r.err, c.line), 1) << r.err;
    EXPECT_TRUE(fs::is_directory("many/tarne_copies/process_1")) << c.option;
  }
}

}  // namespace
