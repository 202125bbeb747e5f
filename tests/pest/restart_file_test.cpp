#include "pest/restart_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
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

// Everything a restart file holds, with the problem it belongs to: NOBS 2, NPRIOR 1, three
// parameters of which two are adjustable, two observation groups, the secant mode with full
// updates above the ratio 1.5 and two columns.
struct EngineState {
  ProblemRecord record;
  RestartRecord items;

  EngineState() {
    record.NOBS = 2;
    record.NPRIOR = 1;
    record.NPAR = 3;
    record.NUMADJ = 2;
    record.NOBSGP = 2;
    record.SLMMODE = 1;
    record.SLMFULLUPD = 1;
    record.SLMFULLRAT = 1.5;
    record.SLMNCOL = 2;
    items.SLMFULLRAT = 1.5;
    items.jacobian = matrix(1, 3, 1, 2);
    items.best_jacobian = matrix(1, 3, 1, 2);
    items.history = dvector(10);
    items.best_parameters = dvector(3);
    items.best_simulated = dvector(2);
    items.base_simulated = dvector(2);
    items.perturbed_simulated = dvector(2);
    items.parameter_values = dvector(3);
    items.group_phi = dvector(2);
    items.start_values = dvector(2);
  }

  // Every real item in a fixed order, so that tests can fill and compare them all.
  std::vector<double*> Reals() {
    RestartRecord& r = items;
    std::vector<double*> reals = {&r.phi, &r.starting_phi, &r.lowest_phi, &r.RLAMBDA1,
                                  &r.largest_change, &r.last_change};
    for (long i = 1; i <= 3; ++i) {
      for (long j = 1; j <= 2; ++j) {
        reals.push_back(&r.jacobian(i, j));
        reals.push_back(&r.best_jacobian(i, j));
      }
    }
    for (long i = 1; i <= 3; ++i) reals.push_back(&r.history[i]);
    for (long i = 1; i <= 3; ++i) reals.push_back(&r.best_parameters[i]);
    for (long i = 1; i <= 2; ++i) reals.push_back(&r.best_simulated[i]);
    for (long i = 1; i <= 2; ++i) reals.push_back(&r.start_values[i]);
    for (long i = 1; i <= 2; ++i) {
      reals.push_back(&r.base_simulated[i]);
      reals.push_back(&r.perturbed_simulated[i]);
      reals.push_back(&r.group_phi[i]);
    }
    for (long i = 1; i <= 3; ++i) reals.push_back(&r.parameter_values[i]);
    return reals;
  }

  void SetIntegers() {
    items.SLMMODE = 1;
    items.SLMFULLUPD = 1;
    items.SLMNCOL = 2;
    items.n = 3;
    items.best_iteration = 2;
    items.switch_flag = 1;
    items.small_change_count = 4;
    items.model_calls = 1234567;
    items.cyclic_position = 3;
  }
};

short Write(EngineState& s, const OutputNames& names) {
  return WriteRestartFile(s.items, s.record, names);
}

short Read(EngineState& s, const OutputNames& names) {
  return ReadRestartFile(s.items, s.record, names);
}

OutputNames CaseNames() {
  OutputNames names;
  FilesNamesForWrite("case", names);
  return names;
}

void ExpectIntegersRestored(const EngineState& read) {
  EXPECT_EQ(read.items.SLMMODE, 1);
  EXPECT_EQ(read.items.SLMFULLUPD, 1);
  EXPECT_EQ(read.items.SLMNCOL, 2);
  EXPECT_EQ(read.items.n, 3);
  EXPECT_EQ(read.items.best_iteration, 2);
  EXPECT_EQ(read.items.switch_flag, 1);
  EXPECT_EQ(read.items.small_change_count, 4);
  EXPECT_EQ(read.items.model_calls, 1234567);
  EXPECT_EQ(read.items.cyclic_position, 3);
}

// The layout of a file written after iteration three, then every item read back, the reals
// bit for bit over extremes, subnormals and random magnitudes.
TEST(RestartFile, RoundTripAfterIterationThreeBitIdentical) {
  TempDir dir;
  OutputNames names = CaseNames();
  EngineState saved;
  saved.SetIntegers();
  std::vector<double*> reals = saved.Reals();
  for (double* real : reals) *real = 1.5;
  saved.items.phi = 12.0;
  saved.items.starting_phi = 48.0;
  saved.items.PHIRATIO = 7.0;
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
  ASSERT_EQ(Read(read, names), 0);
  ExpectIntegersRestored(read);
  EXPECT_EQ(read.items.PHIRATIO, 0.25);

  std::vector<double> values = {1e-300, -1e-300, 1e300, -1e300, -0.0, 0.0, 1.234e-12, 1e-19,
                                0.1, 1.0 / 3.0, 4.9406564584124654e-324, 1.7976931348623157e308,
                                2.2250738585072014e-308, -1.7976931348623157e308};
  std::mt19937_64 generator(20240611);
  std::uniform_real_distribution<double> exponent(-300.0, 300.0);
  std::uniform_real_distribution<double> mantissa(-10.0, 10.0);
  for (int k = 0; k < 400; ++k) {
    values.push_back(mantissa(generator) * std::pow(10.0, exponent(generator)));
  }
  for (size_t first = 0; first < values.size(); first += reals.size()) {
    for (size_t k = 0; k < reals.size(); ++k) *reals[k] = values[(first + k) % values.size()];
    ASSERT_EQ(Write(saved, names), 0);
    EngineState again;
    std::vector<double*> targets = again.Reals();
    ASSERT_EQ(Read(again, names), 0);
    for (size_t k = 0; k < reals.size(); ++k) {
      EXPECT_EQ(Bits(*targets[k]), Bits(*reals[k])) << "real " << k << ": " << *reals[k];
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
  saved.items.PHIRATIO = HUGE_VAL;
  saved.items.largest_change = HUGE_VAL;
  saved.items.last_change = -HUGE_VAL;
  ASSERT_EQ(Write(saved, names), 0);
  EngineState read;
  ASSERT_EQ(Read(read, names), 0);
  EXPECT_EQ(read.items.largest_change, HUGE_VAL);
  EXPECT_EQ(read.items.last_change, -HUGE_VAL);
  EXPECT_EQ(read.items.PHIRATIO, 1.0);  // phi / starting phi replaces the saved ratio

  std::string out;
  const struct {
    double RestartRecord::*field;
    double value;
    const char* message;
  } refused[] = {
      {&RestartRecord::phi, HUGE_VAL,
       "cannot read case.rst (line 13): \"inf\" is not a finite number for phi\n"},
      {&RestartRecord::lowest_phi, -HUGE_VAL,
       "cannot read case.rst (line 23): \"-inf\" is not a finite number for the lowest phi\n"},
      {&RestartRecord::largest_change, std::nan(""),
       "cannot read case.rst (line 36): \"nan\" is not a finite number for the largest "
       "relative change\n"},
  };
  for (const auto& bad : refused) {
    EngineState state = saved;
    state.items.*bad.field = bad.value;
    ASSERT_EQ(Write(state, names), 0);
    EXPECT_EQ(ReadCaptured(out), 1) << bad.message;
    EXPECT_EQ(out, bad.message);
  }
  // PHIRATIO may even be NaN (0 / 0): the reader replaces it whatever the file holds.
  EngineState state = saved;
  state.items.PHIRATIO = std::nan("");
  ASSERT_EQ(Write(state, names), 0);
  EXPECT_EQ(ReadCaptured(out), 0) << out;
  EXPECT_EQ(out, "");
}

// A restart file in the fixed-point form with 18 decimals, as older runs wrote it.
std::string FixedPointRestartFile() {
  std::string text = "1\n1\n1.500000000000000000\n2\n0.750000000000000000\n";
  for (int row = 1; row <= 6; ++row) text += "0.250000000000000000\t-1.125000000000000000\t\n";
  text += "3\n6.000000000000000000\n8.000000000000000000\n";
  for (const char* item : {"10.0", "8.0", "6.0", "1.0", "2.0", "3.0", "4.5", "5.5", "6.0",
                           "1", "0", "7.0", "8.0", "9.0", "10.0", "0.1", "0.2", "0.3",
                           "2.0", "3.0", "0.01", "0.2", "1", "0.05", "1.0", "2.0", "42", "2"}) {
    text += std::string(item) + "\n";
  }
  return text;
}

// Read into engine vectors too small for the file, which grow to hold it.
TEST(RestartFile, ReadsTheFixedPointFormGrowingTheEngineVectors) {
  TempDir dir;
  WriteFile("case.rst", FixedPointRestartFile());
  EngineState read;
  read.items.history = dvector(1);
  read.items.jacobian = matrix();
  ASSERT_EQ(Read(read, CaseNames()), 0);
  EXPECT_EQ(read.items.SLMFULLUPD, 1);
  EXPECT_EQ(read.items.SLMFULLRAT, 1.5);
  EXPECT_EQ(read.items.jacobian(3, 2), -1.125);
  EXPECT_EQ(read.items.jacobian(3, 1), 0.25);
  EXPECT_EQ(read.items.best_jacobian(1, 1), 0.25);
  EXPECT_EQ(read.items.PHIRATIO, 0.75);
  ASSERT_GE(read.items.history.size(), 3);
  EXPECT_EQ(read.items.history[1], 10.0);
  EXPECT_EQ(read.items.history[3], 6.0);
  EXPECT_EQ(read.items.best_simulated[2], 5.5);
  EXPECT_EQ(read.items.perturbed_simulated[2], 10.0);
  EXPECT_EQ(read.items.parameter_values[3], 0.3);
  EXPECT_EQ(read.items.group_phi[2], 3.0);
  EXPECT_EQ(read.items.RLAMBDA1, 0.01);
  EXPECT_EQ(read.items.start_values[2], 2.0);
  EXPECT_EQ(read.items.model_calls, 42);
  EXPECT_EQ(read.items.cyclic_position, 2);
}

// Reads the restart file of the case into a fresh state; returns the status and the output.
short ReadCaptured(std::string& out) {
  EngineState read;
  testing::internal::CaptureStdout();
  short status = Read(read, CaseNames());
  out = testing::internal::GetCapturedStdout();
  return status;
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
  saved.items.history = dvector(2);
  testing::internal::CaptureStdout();
  EXPECT_EQ(Write(saved, names), 1);
  testing::internal::GetCapturedStdout();
}

// A restart without a restart file is refused with the file named and the lines that say
// why there may be none; a directory under the name is refused, not taken for a missing
// file, and stays. The run it belongs to ends with a failure.
TEST(RestartFile, AMissingFileOrADirectoryIsRefused) {
  TempDir dir;
  std::string out;
  EXPECT_EQ(ReadCaptured(out), 1);
  EXPECT_EQ(out,
            "cannot open case.rst: No such file or directory\n"
            "\n\nError opening the restart file.\n"
            "Possibly previous run was not halted prematurely.\n\n");
  ASSERT_EQ(mkdir("case.rst", 0755), 0);
  EXPECT_EQ(ReadCaptured(out), 1);
  EXPECT_EQ(out, "cannot open case.rst: it is a directory, not a regular file\n");
  EXPECT_TRUE(std::filesystem::is_directory("case.rst"));
}

// A restart file belongs to the run that wrote it: a file of another mode, other settings or
// another size, with more after its last item, cut short, or with a bad or overlong item, is
// refused with the item and its line.
TEST(RestartFile, RefusesAFileOfAnotherRunModeOrSizeOrABadItem) {
  TempDir dir;
  const std::string full = FixedPointRestartFile();
  const std::string row = "0.250000000000000000\t-1.125000000000000000\t\n";
  auto replaced = [&full](const std::string& from, const std::string& to) {
    std::string text = full;
    text.replace(text.find(from), from.size(), to);
    return text;
  };
  const struct {
    std::string text;
    std::string message;
  } refused[] = {
      {replaced("1\n1\n1.5", "0\n1\n1.5"),
       "(line 1): SLMMODE is 0 in the restart file but 1 in the control file"},
      {replaced("1\n1\n1.5", "1\n0\n1.5"),
       "(line 2): SLMFULLUPD is 0 in the restart file but 1 in the control file"},
      {replaced("1.500000000000000000", "1.25"),
       "(line 3): SLMFULLRAT is 1.25 in the restart file but 1.5 in the control file"},
      {replaced("\n2\n0.75", "\n1\n0.75"),
       "(line 4): SLMNCOL is 1 in the restart file but 2 in the control file"},
      {replaced(row, "0.25\t\n"),
       "(line 6): row 1 of the Jacobian holds fewer values than the 2 adjustable parameters"},
      {replaced(row, "0.25\t1\t2\t\n"),
       "(line 6): row 1 of the Jacobian holds more values than the 2 adjustable parameters"},
      {replaced(row, row + row),
       "(line 12): the best Jacobian has more rows than the 3 observations and prior items"},
      {replaced("\n3\n6.0", "\n1\n6.0"),
       "(line 12): the iteration number 1 cannot follow a completed iteration"},
      {replaced("\n7.0\n", "\n7.0 8.0\n"),
       "(line 26): the line of the simulated values holds more than one item"},
      {replaced("\n0\n7.0", "\n2\n7.0"),
       "(line 25): the switch flag is 2; it lies from 0 to 1 in a file the engine wrote"},
      {replaced("\n42\n2\n", "\n42\n4\n"),
       "(line 42): the cyclic position is 4; it lies from 0 to 3"},
      {full + "0\n", "(line 43): something follows the cyclic position, the last item"},
      {full.substr(0, full.rfind("42")),
       "(line 41): the file ends before the model calls\n"},
      {replaced("6.000000", "x.000000"),
       "(line 13): \"x.000000000000000000\" is not a valid value for phi"},
      // An iteration number the file cannot hold is refused before storage is taken for it.
      {replaced("\n3\n6.0", "\n2000000000\n6.0"),
       "(line 12): the iteration number 2000000000 does not fit the file"},
      {replaced("1.5000", std::string(100000, '1') + ".5000"),
       "(line 3): the item where SLMFULLRAT stands is longer than 400 characters\n"},
  };
  for (const auto& bad : refused) {
    WriteFile("case.rst", bad.text);
    std::string out;
    EXPECT_EQ(ReadCaptured(out), 1) << bad.message;
    EXPECT_EQ(out.rfind("cannot read case.rst " + bad.message, 0), 0u) << out;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out;
  }
}

}  // namespace
