// tarne_nist as the secant benchmark (bench/secant_table.sh) drives it: "make --set" gives a
// control setting its own value in the made control file, and "reach" counts the model calls
// of a screen output until phi came near a target.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace {

using testing_support::ReadFile;
using testing_support::RunProgram;
using testing_support::SplitLines;
using testing_support::TempDir;
using testing_support::WriteFile;

constexpr const char* kBoxBod = "/work/shared/reference/nist-strd/BoxBOD.dat";

TEST(NistSettings, SetGivesAControlSettingItsOwnValue) {
  if (!std::filesystem::exists(kBoxBod)) GTEST_SKIP() << "no NIST data at " << kBoxBod;
  TempDir dir;
  ASSERT_EQ(RunProgram(TARNE_NIST_BINARY, {"make", kBoxBod, "1", "p", "--secant", "--set",
                                           "SLMNCOL=2", "--set", "SLMFULLUPD=0"})
                .exit_code,
            0);
  // SLMMODE SLMFULLUPD SLMFULLRAT SLMNCOL LSDISTMIN: the secant variant with two changes.
  EXPECT_EQ(SplitLines(ReadFile("p/BoxBOD.pst"))[10], "1 0 0.9 2 0.01");
  for (const char* bad : {"NOSUCH=1", "SLMNCOL", "SLMNCOL="}) {
    EXPECT_EQ(RunProgram(TARNE_NIST_BINARY, {"make", kBoxBod, "1", "q", "--set", bad}).exit_code, 2)
        << bad;
  }
}

TEST(NistSettings, ReachCountsTheJacobianRunsAndTheTrials) {
  TempDir dir;
  WriteFile("run.log",
            "Calculating Jacobian matrix: running model 2 times ...\n"
            "\tPhi =\t5.000000E+00\t\n\tPhi =\t1.000000E+00\t\n");
  // The initial run, two Jacobian runs, then the trials: phi 1 is the fifth call.
  const auto reached = RunProgram(TARNE_NIST_BINARY, {"reach", "run.log", "1.0"});
  EXPECT_EQ(reached.exit_code, 0);
  EXPECT_EQ(reached.out, "5\n");
  const auto never = RunProgram(TARNE_NIST_BINARY, {"reach", "run.log", "0.5"});
  EXPECT_EQ(never.exit_code, 1);
  EXPECT_EQ(never.out, "-1\n");
}

}  // namespace
