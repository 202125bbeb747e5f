// -slm under mpirun with 2, 3 and 4 processes on the PEST-format example: the files it
// writes equal those of one process byte for byte, in plain mode (with its switch to
// three-point derivatives) and in secant mode, while every process makes model runs; a run
// resumed after a process other than rank 0 was killed during a Jacobian ends exactly as the
// uninterrupted run of one process; a working copy that cannot be made and a model run that
// fails on one process only end every process with one clear line. In a build without MPI
// every test is skipped and says why.
#include <gtest/gtest.h>

#include <filesystem>
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
using testing_support::WriteFile;

using SlmSpread = mpi_testing::MpiTest;

constexpr const char* kPlainMode = "0 0 0.9 2 0.01";
constexpr const char* kSecantMode = "1 0 0.9 2 0.01";

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  const auto at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

// The example in dir with the SLM settings line slm_line and post.sh as its post-run command.
void WriteCase(const std::string& dir, const char* slm_line, const std::string& post_script) {
  mpi_testing::CopyExample("pest", dir);
  const std::string control = ReadFile(dir + "/catchment.pst");
  WriteFile(dir + "/catchment.pst",
            Replaced(Replaced(control, std::string("\n") + kPlainMode + "\n",
                              std::string("\n") + slm_line + "\n"),
                     "\nnone true\n", "\nnone ./post.sh\n"));
  WriteFile(dir + "/post.sh", "#!/bin/sh\n" + post_script);
  fs::permissions(dir + "/post.sh", fs::perms::owner_all);
}

TEST_F(SlmSpread, WritesTheFilesOfOneProcessWhileEveryProcessRunsModels) {
  // The post-run command notes where each run was made, outside the run directory.
  const std::string log = fs::absolute("ran_in.txt").string();
  const std::string post = "echo \"$PWD\" >> " + log + "\n";
  const struct {
    const char* slm_line;
    const char* mark;  // a Jacobian of the mode, in the console text of one process
  } modes[] = {{kPlainMode, "running model 8 times"}, {kSecantMode, "running model 2 times"}};
  for (const auto& mode : modes) {
    WriteCase("one", mode.slm_line, post);
    const RunResult alone = TarneIn("one", 0, {"-slm", "catchment"});
    ASSERT_EQ(alone.exit_code, 0) << Describe(alone);
    ASSERT_NE(alone.out.find(mode.mark), std::string::npos) << alone.out;
    for (int processes : {2, 3, 4}) {
      fs::remove(log);
      WriteCase("many", mode.slm_line, post);
      const RunResult spread = TarneIn("many", processes, {"-slm", "catchment"});
      ASSERT_EQ(spread.exit_code, 0) << Describe(spread);
      EXPECT_EQ(spread.err, "") << processes;
      // The record, sensitivity, .par and .mtt files, "jac.txt", "values.in", "tarne.in" and
      // the model's output: the same files, the same bytes, and no working copy left.
      ExpectSameFiles("one", "many");
      // Every process makes runs in its working copy; rank 0 makes the last run of every
      // Jacobian in the run directory, and in secant mode on 4 processes that is all it has.
      const std::string ran = ReadFile(log);
      for (int p = mode.slm_line == kPlainMode ? 0 : 1; p < processes; ++p) {
        EXPECT_NE(ran.find("/many/tarne_copies/process_" + std::to_string(p) + "\n"),
                  std::string::npos)
            << mode.slm_line << ", " << processes << " processes: " << p;
      }
      fs::remove_all("many");
    }
    fs::remove_all("one");
  }
}

// The best parameters and the record from the final results on (the final phi with them).
struct Ending {
  std::string par, results;
};

Ending EndingOf(const std::string& dir) {
  const std::string rec = ReadFile(dir + "/catchment.rec");
  const auto at = rec.rfind("OPTIMISATION RESULTS");
  return {ReadFile(dir + "/catchment.par"), at == std::string::npos ? "" : rec.substr(at)};
}

TEST_F(SlmSpread, ResumesExactlyAfterAProcessIsKilledDuringAJacobian) {
  WriteCase("one", kPlainMode, "true\n");
  ASSERT_EQ(TarneIn("one", 0, {"-slm", "catchment"}).exit_code, 0);
  const Ending reference = EndingOf("one");
  ASSERT_NE(reference.results.find("Sum of squared weighted residuals (ie phi)"),
            std::string::npos);

  // Process 1 makes two runs of the first Jacobian (four parameters over two processes); its
  // third run, in the Jacobian of iteration 2, kills it once, after the restart file of
  // iteration 1 was written.
  WriteCase("many", kPlainMode,
            mpi_testing::KillTarneWhen("*/tarne_copies/process_1",
                                       "[ \"$n\" = 3 ] && [ ! -e ../../killed ] && "
                                       "touch ../../killed"));
  const RunResult killed = TarneIn("many", 2, {"-slm", "catchment"});
  EXPECT_NE(killed.exit_code, 0) << Describe(killed);
  ASSERT_TRUE(FileExists("many/killed"));
  ASSERT_TRUE(FileExists("many/catchment.rst"));

  const RunResult resumed = TarneIn("many", 2, {"-slm", "catchment", "/r"});
  ASSERT_EQ(resumed.exit_code, 0) << Describe(resumed);
  EXPECT_NE(ReadFile("many/catchment.rec").find(".....RESTART....."), std::string::npos);
  const Ending ending = EndingOf("many");
  EXPECT_EQ(ending.par, reference.par);
  EXPECT_EQ(ending.results, reference.results);
  EXPECT_FALSE(FileExists("many/tarne_copies"));
}

// Each failure ends every process with a non-zero status, rank 0 saying what failed in one
// line of its own; a failure to make a copy comes before any model run.
TEST_F(SlmSpread, FailuresEndEveryProcessWithOneLine) {
  const std::string here = fs::current_path().string();
  // The folder of the copies is taken by a file of the user's.
  WriteCase("blocked", kPlainMode, "true\n");
  WriteFile("blocked/tarne_copies", "mine\n");
  RunResult r = TarneIn("blocked", 2, {"-slm", "catchment"});
  EXPECT_EQ(r.exit_code, 1) << Describe(r);
  EXPECT_EQ(CountOf(r.err, "tarne: "), 1) << r.err;
  EXPECT_EQ(CountOf(r.err, "tarne: cannot make the working copy of process 0 (" + here +
                               "/blocked/tarne_copies/process_0): cannot make tarne_copies: it "
                               "is not a directory\n"),
            1)
      << r.err;
  EXPECT_FALSE(FileExists("blocked/values.in"));
  EXPECT_EQ(ReadFile("blocked/tarne_copies"), "mine\n");

  // Process 1 starts in a directory of its own (as on a machine without the shared disk):
  // first without the replacement list rank 0 writes, then with an instruction file that
  // differs from rank 0's.
  WriteCase("a", kPlainMode, "true\n");
  WriteCase("b", kPlainMode, "true\n");
  for (const char* reason : {"cannot copy tarne.in: No such file or directory",
                             "cannot copy catchment.ins: it is not the file process 0 reads "
                             "(every process must see the same run directory)"}) {
    r = mpi_testing::TarneInEach({"a", "b"}, {"-slm", "catchment"});
    EXPECT_EQ(r.exit_code, 1) << Describe(r);
    EXPECT_EQ(CountOf(r.err, "tarne: "), 1) << r.err;
    EXPECT_EQ(CountOf(r.err, "tarne: cannot make the working copy of process 1 (" + here +
                                 "/b/tarne_copies/process_1): " + reason + "\n"),
              1)
        << r.err;
    EXPECT_FALSE(FileExists("a/values.in"));
    EXPECT_FALSE(FileExists("a/tarne_copies"));
    fs::copy_file("a/tarne.in", "b/tarne.in", fs::copy_options::overwrite_existing);
    WriteFile("b/catchment.ins", ReadFile("b/catchment.ins") + "l1\n");
  }

  // The model's output goes missing on process 1 only: its first run fails there with the
  // message of one process, while the same run made again on rank 0 succeeds, so the tool
  // cannot give one process's result; the copies stay for a look.
  WriteCase("fails", kPlainMode,
            "case \"$PWD\" in */process_1) rm -f hydrograph.out;; esac\n");
  r = TarneIn("fails", 3, {"-slm", "catchment"});
  EXPECT_EQ(r.exit_code, 1) << Describe(r);
  EXPECT_EQ(CountOf(r.out, "cannot open hydrograph.out"), 1) << r.out;
  EXPECT_EQ(CountOf(r.err, "tarne: "), 1) << r.err;
  EXPECT_EQ(CountOf(r.err, "tarne: the model run failed on process 1, in its working copy " +
                               here + "/fails/tarne_copies/process_1, and not when process 0 "
                               "made it again\n"),
            1)
      << r.err;
  EXPECT_TRUE(fs::is_directory("fails/tarne_copies/process_1"));
  EXPECT_EQ(CountOf(ReadFile("fails/catchment.rec"), "OPTIMISATION RESULTS"), 0);
}

}  // namespace
