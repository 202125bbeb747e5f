#include "pest/output_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace {

using testing_support::FileExists;
using testing_support::ReadFile;
using testing_support::SplitLines;
using testing_support::TempDir;
using testing_support::WriteFile;

std::uint64_t Bits(double value) {
  std::uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

TEST(FilesNamesForWrite, CutsTheControlNameAtItsFirstPoint) {
  OutputNames names;
  ASSERT_EQ(FilesNamesForWrite("case", names), 0);
  EXPECT_STREQ(names.base, "case");
  EXPECT_STREQ(names.rec, "case.rec");
  EXPECT_STREQ(names.sen, "case.sen");
  EXPECT_STREQ(names.mtt, "case.mtt");
  EXPECT_STREQ(names.par, "case.par");
  EXPECT_STREQ(names.rst, "case.rst");

  OutputNames with_extension;
  ASSERT_EQ(FilesNamesForWrite("case.pst", with_extension), 0);
  EXPECT_STREQ(with_extension.base, "case");
  EXPECT_STREQ(with_extension.rst, "case.rst");

  OutputNames in_directory;
  ASSERT_EQ(FilesNamesForWrite("run.1/case", in_directory), 0);
  EXPECT_STREQ(in_directory.base, "run");
  EXPECT_STREQ(in_directory.rec, "run.rec");
  EXPECT_STREQ(in_directory.par, "run.par");
}

TEST(FilesNamesForWrite, RefusesANameTheFieldsCannotHold) {
  OutputNames names;
  std::string longest(kTextField - 5, 'c');
  ASSERT_EQ(FilesNamesForWrite(longest.c_str(), names), 0);
  EXPECT_EQ(std::string(names.sen), longest + ".sen");

  std::string too_long(kTextField - 4, 'c');
  testing::internal::CaptureStdout();
  EXPECT_EQ(FilesNamesForWrite((too_long + ".pst").c_str(), names), 1);
  EXPECT_NE(testing::internal::GetCapturedStdout().find(too_long), std::string::npos);
}

// Everything a restart file holds, with the problem it belongs to: NOBS 2, NPRIOR 1, three
// parameters of which two are adjustable, two observation groups.
struct EngineState {
  matrix jacobian{1, 3, 1, 2};
  matrix best_jacobian{1, 3, 1, 2};
  int n = 0;
  double phi = 0.0;
  double starting_phi = 0.0;
  dvector history{10};
  dvector best_parameters{3};
  dvector best_simulated{2};
  double lowest_phi = 0.0;
  int best_iteration = 0;
  int switch_flag = 0;
  ProblemRecord record;
  double largest_change = 0.0;
  int small_change_count = 0;
  double last_change = 0.0;
  dvector start_values{2};
  long model_calls = 0;
  int cyclic_position = 0;

  EngineState() {
    record.NOBS = 2;
    record.NPRIOR = 1;
    record.NPAR = 3;
    record.NUMADJ = 2;
    record.NOBSGP = 2;
    record.observations.resize(3);
    record.parameters.resize(4);
    record.observation_groups.resize(3);
  }

  // Every real item in a fixed order, so that tests can fill and compare them all.
  std::vector<double*> Reals() {
    std::vector<double*> reals = {&record.SLMFULLRAT, &phi, &starting_phi, &lowest_phi,
                                  &record.RLAMBDA1, &largest_change, &last_change};
    for (long i = 1; i <= 3; ++i) {
      for (long j = 1; j <= 2; ++j) {
        reals.push_back(&jacobian(i, j));
        reals.push_back(&best_jacobian(i, j));
      }
    }
    for (long i = 1; i <= 3; ++i) reals.push_back(&history[i]);
    for (long i = 1; i <= 3; ++i) reals.push_back(&best_parameters[i]);
    for (long i = 1; i <= 2; ++i) reals.push_back(&best_simulated[i]);
    for (long i = 1; i <= 2; ++i) reals.push_back(&start_values[i]);
    for (int i = 1; i <= 2; ++i) {
      reals.push_back(&record.observations[i].simulated[kBaseSlot]);
      reals.push_back(&record.observations[i].simulated[kFirstPerturbedSlot]);
      reals.push_back(&record.observation_groups[i].phi);
    }
    for (int i = 1; i <= 3; ++i) reals.push_back(&record.parameters[i].value);
    return reals;
  }

  void SetIntegers() {
    record.SLMMODE = 1;
    record.SLMFULLUPD = 1;
    record.SLMNCOL = 2;
    n = 3;
    best_iteration = 2;
    switch_flag = 1;
    small_change_count = 4;
    model_calls = 1234567;
    cyclic_position = 3;
  }
};

short Write(EngineState& s, const OutputNames& names) {
  return WriteRestartFile(s.jacobian, s.best_jacobian, s.n, s.phi, s.starting_phi, s.history,
                          s.best_parameters, s.best_simulated, s.lowest_phi, s.best_iteration,
                          s.switch_flag, s.record, names, s.largest_change,
                          s.small_change_count, s.last_change, s.start_values, s.model_calls,
                          s.cyclic_position);
}

short Read(EngineState& s, const OutputNames& names) {
  return ReadRestartFile(s.jacobian, s.best_jacobian, s.n, s.phi, s.starting_phi, s.history,
                         s.best_parameters, s.best_simulated, s.lowest_phi, s.best_iteration,
                         s.switch_flag, s.record, names, s.largest_change,
                         s.small_change_count, s.last_change, s.start_values, s.model_calls,
                         s.cyclic_position);
}

OutputNames CaseNames() {
  OutputNames names;
  FilesNamesForWrite("case", names);
  return names;
}

void ExpectIntegersRestored(const EngineState& read) {
  EXPECT_EQ(read.record.SLMMODE, 1);
  EXPECT_EQ(read.record.SLMFULLUPD, 1);
  EXPECT_EQ(read.record.SLMNCOL, 2);
  EXPECT_EQ(read.n, 3);
  EXPECT_EQ(read.best_iteration, 2);
  EXPECT_EQ(read.switch_flag, 1);
  EXPECT_EQ(read.small_change_count, 4);
  EXPECT_EQ(read.model_calls, 1234567);
  EXPECT_EQ(read.cyclic_position, 3);
}

TEST(RestartFile, RoundTripAfterIterationThree) {
  TempDir dir;
  OutputNames names = CaseNames();
  EngineState saved;
  saved.SetIntegers();
  std::vector<double*> reals = saved.Reals();
  for (size_t k = 0; k < reals.size(); ++k) *reals[k] = 0.5 + static_cast<double>(k);
  saved.phi = 12.0;
  saved.starting_phi = 48.0;
  saved.record.PHIRATIO = 7.0;
  ASSERT_EQ(Write(saved, names), 0);
  EXPECT_FALSE(FileExists("case.rst.tmp"));

  // 5 settings, 3 + 3 Jacobian rows, n, phi, starting phi, 3 history entries, 3 best
  // parameters, 2 best simulated, lowest phi, best iteration, switch flag, 2 + 2 simulated,
  // 3 values, 2 group phis, lambda, 3 change items, 2 start values, calls, position.
  std::vector<std::string> lines = SplitLines(ReadFile("case.rst"));
  ASSERT_EQ(lines.size(), 5u + 6 + 3 + 3 + 3 + 2 + 3 + 4 + 3 + 2 + 1 + 3 + 2 + 2);
  EXPECT_EQ(lines[0], "1");
  EXPECT_EQ(lines[4], "7");
  for (int row = 5; row < 11; ++row) {
    EXPECT_EQ(std::count(lines[row].begin(), lines[row].end(), '\t'), 2) << lines[row];
  }
  EXPECT_EQ(lines[11], "3");
  EXPECT_EQ(lines[12], "12");
  EXPECT_EQ(lines[13], "48");
  EXPECT_EQ(lines.back(), "3");

  EngineState read;
  std::vector<double*> targets = read.Reals();
  ASSERT_EQ(Read(read, names), 0);
  ExpectIntegersRestored(read);
  for (size_t k = 0; k < reals.size(); ++k) EXPECT_EQ(*targets[k], *reals[k]) << "real " << k;
  EXPECT_EQ(read.record.PHIRATIO, 0.25);
}

TEST(RestartFile, EveryValueReadsBackBitIdentical) {
  TempDir dir;
  OutputNames names = CaseNames();
  std::vector<double> values = {1e-300, -1e-300, 1e300, -1e300, -0.0, 0.0, 1.234e-12, 1e-19,
                                0.1, 1.0 / 3.0, 4.9406564584124654e-324, 1.7976931348623157e308,
                                2.2250738585072014e-308, -1.7976931348623157e308};
  std::mt19937_64 generator(20240611);
  std::uniform_real_distribution<double> exponent(-300.0, 300.0);
  std::uniform_real_distribution<double> mantissa(-10.0, 10.0);
  for (int k = 0; k < 400; ++k) {
    values.push_back(mantissa(generator) * std::pow(10.0, exponent(generator)));
  }

  EngineState saved;
  saved.SetIntegers();
  std::vector<double*> reals = saved.Reals();
  for (size_t first = 0; first < values.size(); first += reals.size()) {
    for (size_t k = 0; k < reals.size(); ++k) *reals[k] = values[(first + k) % values.size()];
    ASSERT_EQ(Write(saved, names), 0);
    EngineState read;
    std::vector<double*> targets = read.Reals();
    ASSERT_EQ(Read(read, names), 0);
    for (size_t k = 0; k < reals.size(); ++k) {
      EXPECT_EQ(Bits(*targets[k]), Bits(*reals[k])) << "value " << *reals[k];
    }
  }
}

short ReadCaptured(std::string& out);

// The engine writes infinities in three items: PHIRATIO after the first iteration and the
// largest and last relative parameter changes. They read back; an infinity in any other item,
// and NaN in any item, is refused with the item named.
TEST(RestartFile, InfinitiesOnlyWhereTheEngineWritesThem) {
  TempDir dir;
  OutputNames names = CaseNames();
  EngineState saved;
  saved.SetIntegers();
  for (double* real : saved.Reals()) *real = 1.5;
  saved.record.PHIRATIO = HUGE_VAL;
  saved.largest_change = HUGE_VAL;
  saved.last_change = -HUGE_VAL;
  ASSERT_EQ(Write(saved, names), 0);
  EngineState read;
  ASSERT_EQ(Read(read, names), 0);
  EXPECT_EQ(read.largest_change, HUGE_VAL);
  EXPECT_EQ(read.last_change, -HUGE_VAL);
  EXPECT_EQ(read.record.PHIRATIO, 1.0);  // phi / starting phi replaces the saved ratio

  std::string out;
  const struct {
    double EngineState::*field;
    double value;
    const char* message;
  } refused[] = {
      {&EngineState::phi, HUGE_VAL,
       "cannot read case.rst (line 13): \"inf\" is not a finite number for phi\n"},
      {&EngineState::lowest_phi, -HUGE_VAL,
       "cannot read case.rst (line 23): \"-inf\" is not a finite number for the lowest phi\n"},
      {&EngineState::largest_change, std::nan(""),
       "cannot read case.rst (line 36): \"nan\" is not a finite number for the largest "
       "relative change\n"},
  };
  for (const auto& bad : refused) {
    EngineState state = saved;
    state.*bad.field = bad.value;
    ASSERT_EQ(Write(state, names), 0);
    EXPECT_EQ(ReadCaptured(out), 1) << bad.message;
    EXPECT_EQ(out, bad.message);
  }
  // PHIRATIO may even be NaN (0 / 0): the reader replaces it whatever the file holds.
  EngineState state = saved;
  state.record.PHIRATIO = std::nan("");
  ASSERT_EQ(Write(state, names), 0);
  EXPECT_EQ(ReadCaptured(out), 0) << out;
  EXPECT_EQ(out, "");
}

// A restart file in the fixed-point form with 18 decimals, as older runs wrote it.
std::string FixedPointRestartFile() {
  std::string text = "0\n1\n1.500000000000000000\n2\n0.750000000000000000\n";
  for (int row = 1; row <= 6; ++row) text += "0.250000000000000000\t-1.125000000000000000\t\n";
  text += "3\n6.000000000000000000\n8.000000000000000000\n";
  for (const char* item : {"10.0", "8.0", "6.0", "1.0", "2.0", "3.0", "4.5", "5.5", "6.0",
                           "1", "0", "7.0", "8.0", "9.0", "10.0", "0.1", "0.2", "0.3",
                           "2.0", "3.0", "0.01", "0.2", "1", "0.05", "1.0", "2.0", "42", "2"}) {
    text += std::string(item) + "\n";
  }
  return text;
}

TEST(RestartFile, ReadsTheFixedPointForm) {
  TempDir dir;
  WriteFile("case.rst", FixedPointRestartFile());
  EngineState read;
  ASSERT_EQ(Read(read, CaseNames()), 0);
  EXPECT_EQ(read.record.SLMFULLUPD, 1);
  EXPECT_EQ(read.record.SLMFULLRAT, 1.5);
  EXPECT_EQ(read.jacobian(3, 2), -1.125);
  EXPECT_EQ(read.best_jacobian(1, 1), 0.25);
  EXPECT_EQ(read.record.PHIRATIO, 0.75);
  EXPECT_EQ(read.history[3], 6.0);
  EXPECT_EQ(read.best_simulated[2], 5.5);
  EXPECT_EQ(read.record.observations[2].simulated[kFirstPerturbedSlot], 10.0);
  EXPECT_EQ(read.record.parameters[3].value, 0.3);
  EXPECT_EQ(read.record.observation_groups[2].phi, 3.0);
  EXPECT_EQ(read.record.RLAMBDA1, 0.01);
  EXPECT_EQ(read.start_values[2], 2.0);
  EXPECT_EQ(read.model_calls, 42);
  EXPECT_EQ(read.cyclic_position, 2);
}

TEST(RestartFile, GrowsEngineVectorsThatAreTooSmall) {
  TempDir dir;
  WriteFile("case.rst", FixedPointRestartFile());
  EngineState read;
  read.history = dvector(1);
  read.jacobian = matrix();
  ASSERT_EQ(Read(read, CaseNames()), 0);
  ASSERT_GE(read.history.size(), 3);
  EXPECT_EQ(read.history[1], 10.0);
  EXPECT_EQ(read.jacobian(3, 1), 0.25);
}

// Reads the restart file of the case into a fresh state; returns the status and the output.
short ReadCaptured(std::string& out) {
  EngineState read;
  testing::internal::CaptureStdout();
  short status = Read(read, CaseNames());
  out = testing::internal::GetCapturedStdout();
  return status;
}

TEST(RestartFile, ReportsAFileThatEndsEarlyOrHoldsABadValue) {
  TempDir dir;
  std::string full = FixedPointRestartFile();
  std::string out;

  WriteFile("case.rst", full.substr(0, full.rfind("42")));
  EXPECT_EQ(ReadCaptured(out), 1);
  EXPECT_EQ(out, "cannot read case.rst (line 41): the file ends before the model calls\n");

  std::string bad = full;
  WriteFile("case.rst", bad.replace(bad.find("6.000000"), 1, "x"));
  EXPECT_EQ(ReadCaptured(out), 1);
  EXPECT_NE(out.find("(line 13): \"x.000000000000000000\" is not a valid value for phi"),
            std::string::npos) << out;

  // An iteration number the file cannot hold is refused before storage is taken for it.
  std::string huge = full;
  huge.replace(huge.find("\n3\n") + 1, 1, "2000000000");
  WriteFile("case.rst", huge);
  EXPECT_EQ(ReadCaptured(out), 1) << out;
  EXPECT_NE(out.find("2000000000"), std::string::npos) << out;
}

TEST(RestartFile, AFailedWriteKeepsThePreviousFile) {
  TempDir dir;
  OutputNames names = CaseNames();
  EngineState saved;
  saved.SetIntegers();
  WriteFile("case.rst", "previous");
  ASSERT_EQ(mkdir("case.rst.tmp", 0755), 0);
  testing::internal::CaptureStdout();
  EXPECT_EQ(Write(saved, names), 1);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("cannot create case.rst.tmp"),
            std::string::npos);
  EXPECT_EQ(ReadFile("case.rst"), "previous");

  // A history shorter than the iteration number is refused, not read past its end.
  saved.history = dvector(2);
  testing::internal::CaptureStdout();
  EXPECT_EQ(Write(saved, names), 1);
  testing::internal::GetCapturedStdout();
}

// A directory under the restart name is refused, not taken for a missing file: the run ends
// with a failure and the directory stays. An item longer than any number is refused too.
TEST(RestartFile, RefusesADirectoryAndOverlongItems) {
  TempDir dir;
  std::string out;
  ASSERT_EQ(mkdir("case.rst", 0755), 0);
  EXPECT_EQ(ReadCaptured(out), 1);
  EXPECT_EQ(out, "cannot open case.rst: it is a directory, not a regular file\n");
  ASSERT_EQ(rmdir("case.rst"), 0);
  std::string text = FixedPointRestartFile();
  WriteFile("case.rst", text.replace(text.find("1.5000"), 1, std::string(100000, '1')));
  EXPECT_EQ(ReadCaptured(out), 1);
  EXPECT_EQ(out, "cannot read case.rst (line 3): the item where SLMFULLRAT stands is longer than "
                 "400 characters\n");
}

TEST(RestartFileDeathTest, AMissingFileEndsTheRunQuietlySuccessful) {
  TempDir dir;
  EngineState read;
  EXPECT_EXIT(
      {
        std::freopen("stdout.txt", "w", stdout);
        Read(read, CaseNames());
        std::exit(99);
      },
      testing::ExitedWithCode(0), "");
  EXPECT_EQ(ReadFile("stdout.txt"),
            "cannot open case.rst: No such file or directory\n"
            "\n\nError opening the restart file.\n"
            "Possibly previous run was not halted prematurely.\n\n");
}

// Runs CheckStopFile in a child with standard output in a file; returns what it printed.
std::string StopFileOutputOfEndedRun(const std::string& content) {
  WriteFile("pest.stp", content);
  EXPECT_EXIT(
      {
        std::freopen("stdout.txt", "w", stdout);
        CheckStopFile();
        std::exit(99);
      },
      testing::ExitedWithCode(0), "");
  return ReadFile("stdout.txt");
}

TEST(CheckStopFileDeathTest, CodesOneToThreeEndTheRun) {
  TempDir dir;
  EXPECT_EQ(StopFileOutputOfEndedRun("1\n"), "");
  EXPECT_EQ(StopFileOutputOfEndedRun("2"),
            "\n\nThe toolbox does not currently support\n"
            "ceasing execution with a full parameter statistics printout.\n\n");
  EXPECT_EQ(StopFileOutputOfEndedRun("  3 please\n"),
            "\n\nThe toolbox does not currently support pausing execution.\n\n");
}

// The code is read as an integer conversion reads it, however long its run of digits.
TEST(CheckStopFileDeathTest, ACodeWithManyLeadingZerosStillCounts) {
  TempDir dir;
  EXPECT_EQ(StopFileOutputOfEndedRun(std::string(80, '0') + "3\n"),
            "\n\nThe toolbox does not currently support pausing execution.\n\n");
  EXPECT_EQ(StopFileOutputOfEndedRun("\n+1x"), "");
}

TEST(CheckStopFile, OtherContentIsRemovedAndTheRunGoesOn) {
  TempDir dir;
  EXPECT_EQ(CheckStopFile(), 0);
  for (const char* content : {"7\n", "", "stop\n", "99999999999999999999999\n", "-1"}) {
    WriteFile("pest.stp", content);
    testing::internal::CaptureStdout();
    EXPECT_EQ(CheckStopFile(), 0) << content;
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_FALSE(FileExists("pest.stp")) << content;
  }
}

// Only a file is read and deleted as a stop file. A directory, pipe or oversized file under
// the name is reported with what it is and left in place (a directory is never removed), and
// the calibration goes on.
TEST(CheckStopFile, WhatIsNotAStopFileIsReportedAndLeftInPlace) {
  TempDir dir;
  const struct {
    const char* message;
    std::function<void()> make;
  } cases[] = {
      {"cannot read pest.stp: it is a directory, not a regular file\n",
       [] { ASSERT_EQ(mkdir("pest.stp", 0755), 0); }},
      {"cannot read pest.stp: it is a pipe, not a regular file\n",
       [] { ASSERT_EQ(mkfifo("pest.stp", 0644), 0); }},
      {"cannot read pest.stp: the file holds 70000 bytes, more than the 65536 a reader takes\n",
       [] { WriteFile("pest.stp", "1" + std::string(69999, ' ')); }},
  };
  for (const auto& c : cases) {
    c.make();
    testing::internal::CaptureStdout();
    EXPECT_EQ(CheckStopFile(), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.message);
    EXPECT_TRUE(FileExists("pest.stp")) << c.message;
    std::filesystem::remove("pest.stp");
  }
}

TEST(DeleteStaleStopFile, DeletesAFileButNeverADirectory) {
  TempDir dir;
  testing::internal::CaptureStdout();
  EXPECT_EQ(DeleteStaleStopFile(), 0);
  WriteFile("pest.stp", "1\n");
  EXPECT_EQ(DeleteStaleStopFile(), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_FALSE(FileExists("pest.stp"));
  ASSERT_EQ(mkdir("pest.stp", 0755), 0);
  testing::internal::CaptureStdout();
  EXPECT_EQ(DeleteStaleStopFile(), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "cannot delete pest.stp: it is a directory; it is left in place\n");
  EXPECT_TRUE(FileExists("pest.stp"));
}

}  // namespace
