// Runs under mpirun with 2, 3 and 4 processes on this one machine: the partition object's
// layouts, exchanges and refusals (through partition_probe), Monte Carlo spread over the
// processes, a single hydro run shared by them, the modes that rank 0 runs alone, and runs in
// which one process cannot read its files. In a build without MPI every test is skipped and
// says why.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "mpi/mpi_test_support.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;
using testing_support::CopyIntoCwd;
using testing_support::FileExists;
using testing_support::ReadFile;
using testing_support::RegularFiles;
using testing_support::RunResult;
using testing_support::RunTarne;
using testing_support::SourcePath;
using testing_support::SplitLines;
using testing_support::TabFields;
using testing_support::WriteFile;
using testing_support::WriteRosenbrockInput;

using mpi_testing::CopyExample;
using mpi_testing::CountOf;
using mpi_testing::Describe;
using mpi_testing::ExpectSameFiles;
using mpi_testing::Mpirun;
using mpi_testing::TarneIn;
using mpi_testing::TarneInEach;
using mpi_testing::TarneOn;

using MpiRuns = mpi_testing::MpiTest;

// ---- The partition object ------------------------------------------------------------------

RunResult Probe(int processes, long count) {
  return Mpirun({{"-np", std::to_string(processes), TARNE_PARTITION_PROBE, std::to_string(count)}});
}

// What process `rank` of a run of `processes` must report with partitions of `count`.
std::string ExpectedProbe(long rank, long processes, long count) {
  const long id = rank / count, member = rank % count, partitions = processes / count;
  char text[512];
  std::string report;
  std::snprintf(text, sizeof text,
                "constructed: rank %ld of %ld: partition %ld of %ld, member 0 of 1\n"
                "set up: rank %ld of %ld: partition %ld of %ld, member %ld of %ld\n"
                "across: %ld %ld %ld\n",
                rank, processes, rank, processes, rank, processes, id, partitions, member, count,
                100 * id + 1, 100 * id + 2, 100 * id + 3);
  report = text;
  if (member == 0) {
    report += "through:";
    for (long p = 0; p < partitions; ++p) {
      report += " " + std::to_string(p) + " " + std::to_string(p * count);
    }
    report += "\n";
  }
  long rank_sum = 0;
  for (long r = id * count; r < (id + 1) * count; ++r) rank_sum += r;
  std::snprintf(text, sizeof text, "members: %ld, sum %ld %ld, max %ld\n", count, count,
                rank_sum, (id + 1) * count - 1);
  return report + text;
}

TEST_F(MpiRuns, PartitionLayoutsAndExchangesFollowTheCount) {
  // Every process its own partition, one partition of all, and two partitions of two.
  const struct { int processes; long count; } cases[] = {{3, 1}, {3, 3}, {4, 2}};
  for (const auto& c : cases) {
    for (const auto& entry : fs::directory_iterator(".")) fs::remove(entry.path());
    const RunResult result = Probe(c.processes, c.count);
    ASSERT_EQ(result.exit_code, 0) << Describe(result);
    for (long rank = 0; rank < c.processes; ++rank) {
      EXPECT_EQ(ReadFile("probe_" + std::to_string(rank) + ".txt"),
                ExpectedProbe(rank, c.processes, c.count))
          << c.processes << " processes, count " << c.count;
    }
  }
}

// A count that does not divide the processes, or counts that differ between processes, end
// every process with status 1 after one line from rank 0; nothing is left waiting.
TEST_F(MpiRuns, PartitionCountsThatCannotBeMetEndEveryProcess) {
  RunResult result = Probe(3, 2);
  EXPECT_EQ(result.exit_code, 1) << Describe(result);
  EXPECT_EQ(CountOf(result.err, "tarne: cannot set up partitions of 2 processes each: that does "
                                "not divide the 3 processes of this run\n"), 1)
      << result.err;
  EXPECT_FALSE(FileExists("probe_0.txt"));

  result = Probe(2, 0);
  EXPECT_EQ(result.exit_code, 1) << Describe(result);
  EXPECT_EQ(CountOf(result.err, "cannot set up partitions of 0 processes each"), 1) << result.err;

  result = Mpirun({{"-np", "1", TARNE_PARTITION_PROBE, "1"},
                   {"-np", "1", TARNE_PARTITION_PROBE, "2"}});
  EXPECT_EQ(result.exit_code, 1) << Describe(result);
  EXPECT_EQ(CountOf(result.err, "tarne: cannot set up partitions: the processes asked for "
                                "partitions of 1 to 2 processes\n"), 1)
      << result.err;
  EXPECT_FALSE(FileExists("probe_1.txt"));
}

// ---- Monte Carlo ---------------------------------------------------------------------------

// Each of the partitions' logs holds its header and `samples` lines; "best.out" is a logged
// line of the smallest cost magnitude over all logs, and only rank 0 reports it.
void ExpectLogsAndGatheredBest(const RunResult& result, int partitions, std::size_t samples,
                               const std::string& header) {
  ASSERT_EQ(result.exit_code, 0) << Describe(result);
  std::vector<std::vector<std::string>> logged;
  for (int p = 0; p < partitions; ++p) {
    const auto lines = SplitLines(ReadFile("log_file_p" + std::to_string(p) + ".log"));
    ASSERT_EQ(lines.size(), samples + 1) << "partition " << p;
    EXPECT_EQ(lines[0], header);
    for (std::size_t i = 1; i < lines.size(); ++i) logged.push_back(TabFields(lines[i]));
  }
  EXPECT_FALSE(FileExists("log_file_p" + std::to_string(partitions) + ".log"));
  double smallest = HUGE_VAL;
  for (const auto& fields : logged) smallest = std::min(smallest, std::fabs(std::stod(fields[0])));
  const std::string best = ReadFile("best.out");
  bool found = false;
  for (const auto& fields : logged) {
    if (std::fabs(std::stod(fields[0])) != smallest) continue;
    std::string line = fields[0] + ":  ";
    for (std::size_t k = 1; k < fields.size(); ++k) line += fields[k] + " ";
    found = found || best == line + "\n";
  }
  EXPECT_TRUE(found) << "best.out: " << best;
  EXPECT_EQ(CountOf(result.out, "Best objective function value: "), 1) << result.out;
}

TEST_F(MpiRuns, MonteCarloSplitsTheSamplesAndGathersTheBest) {
  WriteRosenbrockInput();
  // 7 samples over 2 partitions: 3 each.
  ExpectLogsAndGatheredBest(TarneOn(2, {"-m7", "mc.in"}), 2, 3, "Cost  \tx1\tx2\t");
  // The sensitivity mode keeps every process its own partition: 500 / 3 = 166 each.
  for (const auto& entry : fs::directory_iterator(".")) {
    if (entry.path().extension() == ".log") fs::remove(entry.path());
  }
  ExpectLogsAndGatheredBest(TarneOn(3, {"-s", "mc.in"}), 3, 166, "Cost  \tx1\tx2\t");
}

TEST_F(MpiRuns, MonteCarloOnTheHydroExampleWithThreeProcesses) {
  CopyIntoCwd(SourcePath("examples/hydro"));
  fs::current_path("hydro");
  // 10 samples over 3 partitions: 3 each, 9 in all.
  ExpectLogsAndGatheredBest(TarneOn(3, {"-m10", "mc.in"}), 3, 3,
                            "Cost  \tsoil_capacity\tshape\tfast_k\tslow_k\tsplit\tvelocity\t");
}

// A process that cannot read the input, its forcing or its observation file (its working
// directory lacks it, as on a machine without the shared disk) would fail or leave the others
// waiting at the gather: before the first sample the processes compare, and every one of them
// ends with status 1, each of the two saying why in one line.
TEST_F(MpiRuns, MonteCarloFilesMissingOnOneProcessStopEveryProcess) {
  const std::string files = "Error: unable to read the observation file or the model's input "
                            "files; no sample was run.\n";
  const std::string others_files = "Error: another process of the run could not read its "
                                   "observation file or the model's input files; no sample "
                                   "was run.\n";
  const struct {
    const char* missing;
    const char* reason;
    std::string own_line, others_line;
  } cases[] = {
      {"mc.in", "", "Error: unable to read the input monte carlo file.\n",
       "Error: another process of the run could not read the input monte carlo file; no sample "
       "was run.\n"},
      {"forcing.txt", "cannot read catchment.prj", files, others_files},
      {"observed.obs", "cannot open observed.obs", files, others_files},
  };
  for (const auto& c : cases) {
    for (const char* where : {"a", "b"}) CopyExample("hydro", where);
    fs::remove(std::string("b/") + c.missing);
    const RunResult result = TarneInEach({"a", "b"}, {"-m10", "mc.in"});
    EXPECT_EQ(result.exit_code, 1) << c.missing << Describe(result);
    EXPECT_NE((result.out + result.err).find(c.reason), std::string::npos) << Describe(result);
    EXPECT_EQ(CountOf(result.out, c.own_line), 1) << c.missing;
    EXPECT_EQ(CountOf(result.out, c.others_line), 1) << c.missing;
    for (const char* where : {"a", "b"}) {
      EXPECT_FALSE(FileExists(std::string(where) + "/log_file_p0.log")) << c.missing;
      EXPECT_FALSE(FileExists(std::string(where) + "/best.out")) << c.missing;
    }
  }
}

// ---- A single project run ------------------------------------------------------------------

// The hydrograph of a run shared by several processes equals the one of a single process
// to rounding: the shares' sums are added in another order, which may change the last bits
// of a value, never more than 1e-9 of it (the file's ten significant digits).
void ExpectSameHydrograph(const std::string& expected, const std::string& actual) {
  const auto want = SplitLines(expected), got = SplitLines(actual);
  ASSERT_EQ(got.size(), want.size());
  ASSERT_GT(want.size(), 100u);
  for (std::size_t i = 0; i < want.size(); ++i) {
    double t1 = 0, q1 = 0, t2 = 0, q2 = 0;
    ASSERT_EQ(std::sscanf(want[i].c_str(), "%lf %lf", &t1, &q1), 2);
    ASSERT_EQ(std::sscanf(got[i].c_str(), "%lf %lf", &t2, &q2), 2);
    EXPECT_EQ(t2, t1);
    EXPECT_LE(std::fabs(q2 - q1), 1e-9 * std::max(std::fabs(q1), std::fabs(q2)) + 1e-300)
        << "line " << i + 1 << ": " << got[i] << " against " << want[i];
  }
}

TEST_F(MpiRuns, SharedHydroRunMatchesTheSingleProcessRun) {
  CopyIntoCwd(SourcePath("examples/hydro"));
  fs::current_path("hydro");
  const RunResult alone = RunTarne({"catchment.prj"});
  ASSERT_EQ(alone.exit_code, 0) << Describe(alone);
  const std::string expected = ReadFile("hydrograph.out");
  // 100 cells over 2 processes, and over 3 (34, 33 and 33 cells).
  for (int processes : {2, 3}) {
    fs::remove("hydrograph.out");
    const RunResult shared = TarneOn(processes, {"catchment.prj"});
    ASSERT_EQ(shared.exit_code, 0) << Describe(shared);
    EXPECT_EQ(shared.err, "");
    ExpectSameHydrograph(expected, ReadFile("hydrograph.out"));
  }
}

// The other model kinds have no cells to share: the partition leader runs them alone, so an
// external model's command runs once, and every process ends with the leader's status.
TEST_F(MpiRuns, OtherModelKindsRunOnceOnTheLeader) {
  WriteFile("count.prj", "kind external\nparameter a 1\noutput params.out\n"
                         "command echo run >> runs.txt\n");
  RunResult result = TarneOn(2, {"count.prj"});
  EXPECT_EQ(result.exit_code, 0) << Describe(result);
  EXPECT_EQ(ReadFile("runs.txt"), "run\n");

  WriteFile("fails.prj", "kind external\nparameter a 1\noutput params.out\ncommand exit 3\n");
  result = TarneOn(2, {"fails.prj"});
  EXPECT_EQ(result.exit_code, 1) << Describe(result);
}

// When one process cannot read what the others can (here its forcing file), every process
// ends with the single run's failure status 1, and the leader says why.
TEST_F(MpiRuns, HydroRunWithAFileMissingOnOneProcessFailsEverywhere) {
  for (const char* where : {"a", "b"}) CopyExample("hydro", where);
  fs::remove("b/forcing.txt");
  const RunResult result = TarneInEach({"a", "b"}, {"catchment.prj"});
  EXPECT_EQ(result.exit_code, 1) << Describe(result);
  EXPECT_NE(result.err.find("cannot open the forcing file"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("cannot run catchment.prj: another process of its partition could "
                            "not prepare the run"),
            std::string::npos)
      << result.err;
  EXPECT_FALSE(FileExists("a/hydrograph.out"));
}

// ---- Modes that rank 0 runs alone ----------------------------------------------------------

// Batch runs and SCE under two processes leave exactly the files of one process: a second
// process writing them too would double the SCE log or race on the outputs.
TEST_F(MpiRuns, BatchAndSceLeaveTheFilesOfOneProcess) {
  const std::vector<std::vector<std::string>> runs = {{"-b3", "rosenbrock.prj"},
                                                      {"-c", "sce.in"}};
  for (const auto& args : runs) {
    for (const char* where : {"one", "two"}) {
      CopyExample("function", where);
      const RunResult result = TarneIn(where, where == std::string("one") ? 0 : 2, args);
      EXPECT_EQ(result.exit_code, 0) << Describe(result);
      const char* mark = args[0] == "-b3" ? "TARNE is running in batch mode"
                                          : "ENTER THE SCEUA SUBROUTINE";
      EXPECT_EQ(CountOf(result.out, mark), 1) << result.out;
    }
    EXPECT_GT(RegularFiles("one").size(), 6u);
    ExpectSameFiles("one", "two");
  }
}

// A tool that ends with a failure (here -slm asked to resume without a restart file, which
// it refuses with status 1) ends the whole run with that status: the other process is not
// left waiting for rank 0.
TEST_F(MpiRuns, AToolThatEndsTheProcessEndsTheRun) {
  CopyExample("global", "global");
  const RunResult result = TarneIn("global", 2, {"-slm", "sine.pst", "/r"});
  EXPECT_EQ(result.exit_code, 1) << Describe(result);
  EXPECT_EQ(CountOf(result.out, "Using the (Secant) Levenberg-Marquardt local search method"), 1)
      << result.out;
  EXPECT_EQ(CountOf(result.out, "Error opening the restart file."), 1) << result.out;
}

}  // namespace
