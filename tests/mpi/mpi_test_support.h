// Shared by the tests that run tarne under mpirun: their fixture, the mpirun line for this one
// machine, the runs of tarne under it in a copy of an example, and comparing the files two
// runs leave.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace mpi_testing {

#ifdef TARNE_MPIEXEC
constexpr bool kBuiltWithMpi = true;
#else
constexpr bool kBuiltWithMpi = false;
#endif
// Why the tests of a build without MPI are skipped.
constexpr const char* kNoMpi =
    "this build has no MPI: install OpenMPI (libopenmpi-dev, openmpi-bin) and configure with "
    "TARNE_MPI on to run the tests under mpirun";

// Each test in a fresh temporary directory; in a build without MPI the test is skipped.
class MpiTest : public testing::Test {
 protected:
  void SetUp() override {
    if (!kBuiltWithMpi) GTEST_SKIP() << kNoMpi;
  }
  testing_support::TempDir dir_;
};

// mpirun on this machine alone: shared memory between the processes (no network needed,
// no fixed ports, no probing for cluster interconnects), more processes than cores allowed,
// no binding to cores, and a time limit that turns a process left waiting into a failure
// instead of a hang. Each app is one "-np N [-wdir D] program args" group; several make an
// MPMD job.
testing_support::RunResult Mpirun(const std::vector<std::vector<std::string>>& apps);
// tarne with the arguments on `processes` processes.
testing_support::RunResult TarneOn(int processes, const std::vector<std::string>& args);

// tarne with the arguments, from inside dir: alone when processes is 0, else under mpirun.
testing_support::RunResult TarneIn(const std::string& dir, int processes,
                                   const std::vector<std::string>& args);
// tarne with the arguments on one process in each directory, as on machines that share no
// disk: process p starts in dirs[p].
testing_support::RunResult TarneInEach(const std::vector<std::string>& dirs,
                                       const std::vector<std::string>& args);

// dir made afresh with a copy of the files of examples/<example>.
void CopyExample(const std::string& example, const std::string& dir);
// Shell lines for a model script that count the runs made in each directory in "$n"; a run
// made in a directory matching the case pattern `where`, when the shell condition `when`
// holds, kills the tarne process above it.
std::string KillTarneWhen(const std::string& where, const std::string& when);

long CountOf(const std::string& text, const std::string& part);
std::string Describe(const testing_support::RunResult& r);

// Expects the same file names under both directories, each with the same bytes.
void ExpectSameFiles(const std::string& expected_dir, const std::string& actual_dir);

}  // namespace mpi_testing
