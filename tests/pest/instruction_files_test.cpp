// Instruction files: every instruction against small output files, the choice of the
// simulated-value slot, name matching, the semi-fixed stop and the refusals of bad input.
#include "pest/instruction_files.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "pest/name_index.h"
#include "support/test_support.h"

namespace {

using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

constexpr double kUnset = -999.0;

ProblemRecord RecordWithObservations(const std::vector<std::string>& names) {
  ProblemRecord record;
  record.NOBS = static_cast<int>(names.size());
  record.observations.resize(names.size() + 1);
  for (size_t k = 0; k < names.size(); ++k) {
    Observation& observation = record.observations[k + 1];
    snprintf(observation.OBSNME, kObsNameField, "%s", names[k].c_str());
    for (double& value : observation.simulated) value = kUnset;
  }
  return record;
}

// Instruction file i is ins<i>.ins over out<i>.txt.
void AddInstructionFiles(ProblemRecord& record, int count) {
  record.NINSFLE = count;
  record.instructions.resize(count + 1);
  for (int i = 1; i <= count; ++i) {
    snprintf(record.instructions[i].INSFLE, kTextField, "ins%d.ins", i);
    snprintf(record.instructions[i].OUTFLE, kTextField, "out%d.txt", i);
  }
}

// Reads one output through one instruction file into the chosen slot.
struct OneRead {
  short status = -1;
  std::string out;  // what the reader printed
};

OneRead ReadOnce(ProblemRecord& record, const std::string& instructions,
                 const std::string& output, int slot = kBaseSlot) {
  AddInstructionFiles(record, 1);
  WriteFile("ins1.ins", instructions);
  WriteFile("out1.txt", output);
  FileHandleTable handles;
  OneRead result;
  testing::internal::CaptureStdout();
  result.status = OpenInstructionFiles(record, handles);
  if (result.status == 0) result.status = ReadModelOutput(record, 1, slot, handles);
  result.out = testing::internal::GetCapturedStdout();
  return result;
}

double Base(const ProblemRecord& record, int k) { return record.observations[k].simulated[0]; }

TEST(InstructionFiles, LineAdvanceReadsConsecutiveLines) {
  TempDir dir;
  ProblemRecord record = RecordWithObservations({"o1", "o2"});
  OneRead read = ReadOnce(record, "pif #\nl1 !o1!\nl1 !o2!\n", "1.0\n2.0\n");
  ASSERT_EQ(read.status, 0) << read.out;
  EXPECT_EQ(read.out, "");
  EXPECT_EQ(Base(record, 1), 1.0);
  EXPECT_EQ(Base(record, 2), 2.0);

  ProblemRecord second = RecordWithObservations({"o1"});
  read = ReadOnce(second, "pif #\nl2 !o1!\n", "1.0\n2.0\n");
  ASSERT_EQ(read.status, 0) << read.out;
  EXPECT_EQ(Base(second, 1), 2.0);
}

TEST(InstructionFiles, MarkerStopsJustAfterItsTextThenLineAdvanceCounts) {
  TempDir dir;
  const std::string output = "a\nb\nRESULT\n5.5\n";
  ProblemRecord record = RecordWithObservations({"q"});
  OneRead read = ReadOnce(record, "pif #\n#RESULT# l2 !q!\n", output);
  ASSERT_EQ(read.status, 0) << read.out;
  EXPECT_EQ(Base(record, 1), 5.5);
  // With l1 the value is sought in the rest of the marker's line; here there is none, which
  // is refused rather than taken as 0.
  read = ReadOnce(record, "pif #\n#RESULT# l1 !q!\n", output);
  EXPECT_EQ(read.status, 1);
  EXPECT_EQ(read.out,
            "cannot read out1.txt (line 3): the value of observation q is not a finite number: "
            "found the end of the line (instruction file ins1.ins, line 2)\n");
  EXPECT_EQ(Base(record, 1), 5.5);
  read = ReadOnce(record, "pif #\n#RESULT# l1 !q!\n", "a\nRESULT  7.25 x\n5.5\n");
  ASSERT_EQ(read.status, 0) << read.out;
  EXPECT_EQ(Base(record, 1), 7.25);
  // The search starts at the current position, not at the top of the file.
  read = ReadOnce(record, "pif #\nl2 #RESULT# !q!\n", "RESULT 1\nRESULT 2\n");
  ASSERT_EQ(read.status, 0) << read.out;
  EXPECT_EQ(Base(record, 1), 2.0);
}

TEST(InstructionFiles, FixedReadSkipsBlanksAndStartsOneColumnEarly) {
  TempDir dir;
  ProblemRecord record = RecordWithObservations({"h1", "h2", "h3"});
  OneRead read = ReadOnce(record, "pif #\nl1 [h1]1:10\nl1 [h2]3:8\nl1 [h3]0:5\n",
                          "  3.25\n12345678\n-4.5e2\n");
  ASSERT_EQ(read.status, 0) << read.out;
  EXPECT_EQ(Base(record, 1), 3.25);
  EXPECT_EQ(Base(record, 2), 2345678.0);  // first column 3 reads from column 2
  EXPECT_EQ(Base(record, 3), -450.0);     // column 0 steps back over the line end
}

TEST(InstructionFiles, FixedReadNeverReadsAValueTwice) {
  TempDir dir;
  // Another instruction on the same line continues after the value; a new instruction line
  // continues on the next output line even when text follows the value.
  ProblemRecord record = RecordWithObservations({"a", "b", "c"});
  OneRead read =
      ReadOnce(record, "pif #\nl1 [a]1:3 !b!\nl1 [c]1:3\n", "1.5 2.5 tail\n3.5 junk\n");
  ASSERT_EQ(read.status, 0) << read.out;
  EXPECT_EQ(Base(record, 1), 1.5);
  EXPECT_EQ(Base(record, 2), 2.5);
  EXPECT_EQ(Base(record, 3), 3.5);

  read = ReadOnce(record, "pif #\nl1 [a]1:3\nl1 [b]1:3\n", "1.0 junk\n2.0\n");
  ASSERT_EQ(read.status, 0) << read.out;
  EXPECT_EQ(Base(record, 1), 1.0);
  EXPECT_EQ(Base(record, 2), 2.0);
}

TEST(InstructionFiles, CrLfInstructionLinesEndLikePlainOnes) {
  TempDir dir;
  ProblemRecord record = RecordWithObservations({"h1", "h2", "o3"});
  OneRead read = ReadOnce(record, "pif #\r\nl1 [h1]1:3\r\nl1 [h2]1:3\r\nl1 !o3!\r\n",
                          "1.0\r\n2.0\r\n3.0\r\n");
  ASSERT_EQ(read.status, 0) << read.out;
  EXPECT_EQ(Base(record, 1), 1.0);
  EXPECT_EQ(Base(record, 2), 2.0);
  EXPECT_EQ(Base(record, 3), 3.0);
}

TEST(InstructionFiles, TabWordAndAmpersand) {
  TempDir dir;
  ProblemRecord record = RecordWithObservations({"o1", "o2", "o3"});
  OneRead read = ReadOnce(record, "jif %\nl1 t3 !o1! w !o2!\n& l1 w w !o3!\n",
                          "1234.5   7e1\nname  is 8 \n");
  ASSERT_EQ(read.status, 0) << read.out;
  EXPECT_EQ(Base(record, 1), 4.5);
  EXPECT_EQ(Base(record, 2), 70.0);
  EXPECT_EQ(Base(record, 3), 8.0);
}

TEST(InstructionFiles, NonFixedRunKeepsItsLeadingValidPart) {
  TempDir dir;
  ProblemRecord record = RecordWithObservations({"a", "b"});
  OneRead read = ReadOnce(record, "pif #\nl1 !a! w !b!\n", "  1.25e-1-3 7.5.1\n");
  ASSERT_EQ(read.status, 0) << read.out;
  EXPECT_EQ(Base(record, 1), 0.125);
  EXPECT_EQ(Base(record, 2), 7.5);
}

// Values at the edges of the range are numbers like any other: only NaN, infinities and
// text without a number are refused.
TEST(InstructionFiles, FiniteExtremesAreRead) {
  TempDir dir;
  ProblemRecord record = RecordWithObservations({"a", "b", "c", "d", "e", "f"});
  OneRead read = ReadOnce(record, "pif #\nl1 !a! !b! !c!\nl1 [d]1:30\nl1 [e]1:30\nl1 [f]1:30\n",
                          "1e-300 -0 1e-400\n-1.7976931348623157e308\n4.9e-324\n-0.0\n");
  ASSERT_EQ(read.status, 0) << read.out;
  EXPECT_EQ(Base(record, 1), 1e-300);
  EXPECT_EQ(Base(record, 2), 0.0);
  EXPECT_TRUE(std::signbit(Base(record, 2)));
  EXPECT_EQ(Base(record, 3), 0.0);  // below the smallest double: it underflows to zero
  EXPECT_EQ(Base(record, 4), -1.7976931348623157e308);
  EXPECT_EQ(Base(record, 5), 4.9e-324);
  EXPECT_TRUE(std::signbit(Base(record, 6)));
}

TEST(InstructionFiles, NamesMatchAsWrittenInLowerOrUpperCaseFirstOneWins) {
  TempDir dir;
  ProblemRecord single = RecordWithObservations({"head1"});
  OneRead read = ReadOnce(single, "pif #\nl1 !HEAD1!\n", "1.5\n");
  ASSERT_EQ(read.status, 0) << read.out;
  EXPECT_EQ(Base(single, 1), 1.5);

  // Observations are tried in order; each may equal any of the three forms of the name.
  ProblemRecord record = RecordWithObservations({"Head1", "head1", "HEAD1", "Other"});
  read = ReadOnce(record, "pif #\nl1 !HEAD1!\nl1 !Head1!\n", "1\n2\n");
  ASSERT_EQ(read.status, 0) << read.out;
  EXPECT_EQ(Base(record, 1), 2.0);
  EXPECT_EQ(Base(record, 2), 1.0);
  EXPECT_EQ(Base(record, 3), kUnset);
  EXPECT_EQ(Base(record, 4), kUnset);

  const char* names[] = {"", "ab", "AB", "Ab", "ab"};
  NameIndex index(std::vector<const char*>(names, names + 5));
  EXPECT_EQ(index.FindFirst({"aB", "ab", "AB"}), 1);
  EXPECT_EQ(index.FindFirst({"Ab"}), 3);
  EXPECT_EQ(index.FindFirst({"aB"}), 0);
  EXPECT_EQ(index.FindFirst({"zz"}), 0);
}

TEST(InstructionFiles, ValuesGoToTheChosenSlotOnly) {
  TempDir dir;
  ProblemRecord record = RecordWithObservations({"o1"});
  OneRead read = ReadOnce(record, "pif #\nl1 !o1!\n", "4.0\n", kSecondPerturbedSlot);
  ASSERT_EQ(read.status, 0) << read.out;
  EXPECT_EQ(record.observations[1].simulated[kBaseSlot], kUnset);
  EXPECT_EQ(record.observations[1].simulated[kFirstPerturbedSlot], kUnset);
  EXPECT_EQ(record.observations[1].simulated[kSecondPerturbedSlot], 4.0);
}

TEST(InstructionFiles, InstructionFileIsRewoundForEveryRead) {
  TempDir dir;
  ProblemRecord record = RecordWithObservations({"o1"});
  AddInstructionFiles(record, 2);
  WriteFile("ins1.ins", "pif #\nl2 !o1!\n");
  WriteFile("out1.txt", "1\n2\n");
  WriteFile("ins2.ins", "pif #\nl1 !o1!\n");
  WriteFile("out2.txt", "9\n");
  FileHandleTable handles;
  ASSERT_EQ(OpenInstructionFiles(record, handles), 0);
  ASSERT_EQ(ReadModelOutput(record, 1, kBaseSlot, handles), 0);
  ASSERT_EQ(ReadModelOutput(record, 2, kFirstPerturbedSlot, handles), 0);
  WriteFile("out1.txt", "1\n6\n");
  ASSERT_EQ(ReadModelOutput(record, 1, kSecondPerturbedSlot, handles), 0);
  EXPECT_EQ(record.observations[1].simulated[0], 2.0);
  EXPECT_EQ(record.observations[1].simulated[1], 9.0);
  EXPECT_EQ(record.observations[1].simulated[2], 6.0);
  EXPECT_EQ(CloseInstructionFiles(record, handles), 0);
  EXPECT_EQ(handles.slot[1], nullptr);
  EXPECT_EQ(handles.slot[2], nullptr);
}

TEST(InstructionFiles, SemiFixedObservationEndsTheProcessWithStatusOne) {
  TempDir dir;
  ProblemRecord record = RecordWithObservations({"o1", "o2"});
  AddInstructionFiles(record, 1);
  WriteFile("ins1.ins", "pif #\nl1 !o1!\nl1 (o2)1:5\n");
  WriteFile("out1.txt", "1.0\n2.0\n");
  FileHandleTable handles;
  ASSERT_EQ(OpenInstructionFiles(record, handles), 0);
  EXPECT_EXIT(
      {
        if (std::freopen("stdout.txt", "w", stdout) == nullptr) std::abort();
        ReadModelOutput(record, 1, kBaseSlot, handles);
        std::fprintf(stderr, "returned");
        std::abort();
      },
      testing::ExitedWithCode(1), "");
  EXPECT_EQ(ReadFile("stdout.txt"),
            "Semi-fixed observations are currently not supported with the calibration toolbox.\n"
            "Modify the instruction file(s) accordingly and rerun the toolbox.\n");
}

TEST(InstructionFiles, TwentySixFilesAreRefusedBeforeAnyOpen) {
  TempDir dir;
  ProblemRecord record = RecordWithObservations({"o1"});
  AddInstructionFiles(record, 26);
  for (int i = 1; i <= 26; ++i) WriteFile(record.instructions[i].INSFLE, "pif #\n");
  FileHandleTable handles;
  testing::internal::CaptureStdout();
  EXPECT_EQ(OpenInstructionFiles(record, handles), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "\nCurrently, the Toolbox does not support more than 25 instruction files.\n"
            "Please recompile the code to accomodate the unusually large number of instruction "
            "files.\n\n");
  for (int i = 1; i <= 25; ++i) EXPECT_EQ(handles.slot[i], nullptr);

  record.NINSFLE = 25;
  ASSERT_EQ(OpenInstructionFiles(record, handles), 0);
  for (int i = 1; i <= 25; ++i) EXPECT_NE(handles.slot[i], nullptr);
}

struct BadInput {
  const char* what;
  std::string instructions;
  std::string output;
  std::string message;
};

TEST(InstructionFiles, BadInputIsReportedAndNothingIsStored) {
  const std::string long_name(15000, 'n');
  const std::vector<BadInput> cases = {
      {"bad header", "ptf #\nl1 !o1!\n", "1\n",
       "cannot read ins1.ins (line 1): the header line must be \"pif\" or \"jif\", a blank and the "
       "marker character\n"},
      {"no marker", "pif\nl1 !o1!\n", "1\n",
       "cannot read ins1.ins (line 1): the header line must be \"pif\" or \"jif\", a blank and the "
       "marker character\n"},
      {"unknown name", "pif #\nl1 !o1!\nl1 !o9!\n", "1\n2\n",
       "cannot read ins1.ins (line 3): observation o9 is not in the problem\n"},
      {"marker never found", "pif #\n#END# !o1!\n", "1\n2\n",
       "cannot read out1.txt: marker text \"END\" is not found from line 1 to the end of the "
       "file (instruction file ins1.ins, line 2)\n"},
      {"output ends before a non-fixed value", "pif #\nl1 !o1!\nl1 !o2!\n", "1\n",
       "cannot read out1.txt (line 2): the file ends before the lines that \"l1\" asks for "
       "(instruction file ins1.ins, line 3)\n"},
      {"output ends before a fixed value", "pif #\nl1 [o1]1:3 [o2]1:3\n", "1\n",
       "cannot read out1.txt (line 2): the file ends before the value of o2 (instruction file "
       "ins1.ins, line 2)\n"},
      {"no number in a fixed read", "pif #\nl1 [o1]1:3\nl1 [o2]1:3\n", "1\nabc\n",
       "cannot read out1.txt (line 2): the value of observation o2 is not a finite number: "
       "found \"abc\" (instruction file ins1.ins, line 3)\n"},
      {"not a number in a fixed read", "pif #\nl1 [o1]1:3\nl1 [o2]1:3\n", "1\n  nan\n",
       "cannot read out1.txt (line 2): the value of observation o2 is not a finite number: "
       "found \"nan\" (instruction file ins1.ins, line 3)\n"},
      {"infinity in a fixed read", "pif #\nl1 [o1]1:3\nl1 [o2]1:3\n", "1\n-inf\n",
       "cannot read out1.txt (line 2): the value of observation o2 is not a finite number: "
       "found \"-inf\" (instruction file ins1.ins, line 3)\n"},
      {"overflow in a fixed read", "pif #\nl1 [o1]1:3\nl1 [o2]1:3\n", "1\n1e999\n",
       "cannot read out1.txt (line 2): the value of observation o2 is not a finite number: "
       "found \"1e999\" (instruction file ins1.ins, line 3)\n"},
      {"text in a non-fixed read", "pif #\nl1 !o1! !o2!\n", "1 abc\n",
       "cannot read out1.txt (line 1): the value of observation o2 is not a finite number: "
       "found \"abc\" (instruction file ins1.ins, line 2)\n"},
      {"not a number in a non-fixed read", "pif #\nl1 !o1! !o2!\n", "1 nan\n",
       "cannot read out1.txt (line 1): the value of observation o2 is not a finite number: "
       "found \"nan\" (instruction file ins1.ins, line 2)\n"},
      {"infinity in a non-fixed read", "pif #\nl1 !o1! !o2!\n", "1 inf\n",
       "cannot read out1.txt (line 1): the value of observation o2 is not a finite number: "
       "found \"inf\" (instruction file ins1.ins, line 2)\n"},
      {"a lone sign in a non-fixed read", "pif #\nl1 !o1! !o2!\n", "1 -\n",
       "cannot read out1.txt (line 1): the value of observation o2 is not a finite number: "
       "found \"-\" (instruction file ins1.ins, line 2)\n"},
      {"overflow in a non-fixed read", "pif #\nl1 !o1! !o2!\n", "1 1e999\n",
       "cannot read out1.txt (line 1): the value of observation o2 is not a finite number: "
       "found \"1e999\" (instruction file ins1.ins, line 2)\n"},
      {"unclosed name", "pif #\nl1 !o1\n", "1\n",
       "cannot read ins1.ins (line 2): observation name is not closed by \"!\" on its line\n"},
      {"name too long", "pif #\n!" + long_name + "!\n", "1\n",
       "cannot read ins1.ins (line 2): observation name longer than 14999 characters\n"},
      {"bad count", "pif #\nl0 !o1!\n", "1\n",
       "cannot read ins1.ins (line 2): \"l0\" does not give a count of at least 1\n"},
      {"bad first column", "pif #\nl1 [o1]x:3\n", "1\n",
       "cannot read ins1.ins (line 2): first column \"x\" is not an integer\n"},
      {"missing output", "pif #\nl1 !o1!\n", "",
       "cannot open out1.txt: No such file or directory\n"},
  };
  for (const BadInput& bad : cases) {
    SCOPED_TRACE(bad.what);
    TempDir dir;
    ProblemRecord record = RecordWithObservations({"o1", "o2"});
    OneRead read = ReadOnce(record, bad.instructions, bad.output);
    if (bad.output.empty()) {
      std::remove("out1.txt");
      FileHandleTable handles;
      testing::internal::CaptureStdout();
      ASSERT_EQ(OpenInstructionFiles(record, handles), 0);
      read.status = ReadModelOutput(record, 1, kBaseSlot, handles);
      read.out = testing::internal::GetCapturedStdout();
    }
    EXPECT_EQ(read.status, 1);
    EXPECT_EQ(read.out, bad.message);
    EXPECT_EQ(Base(record, 2), kUnset);
  }
}

// A directory, device or pipe where an instruction or output file belongs is refused at once
// with what it is; nothing is read from it and nothing is stored.
TEST(InstructionFiles, WhatIsNotARegularFileIsRefused) {
  TempDir dir;
  ProblemRecord record = RecordWithObservations({"o1"});
  AddInstructionFiles(record, 1);
  ASSERT_EQ(mkdir("ins1.ins", 0755), 0);
  FileHandleTable handles;
  testing::internal::CaptureStdout();
  EXPECT_EQ(OpenInstructionFiles(record, handles), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "cannot open ins1.ins: it is a directory, not a regular file\n");

  ASSERT_EQ(rmdir("ins1.ins"), 0);
  WriteFile("ins1.ins", "pif #\nl1 !o1!\n");
  for (const char* output : {"/dev/zero", "fifo.out"}) {
    if (output[0] != '/') {
      ASSERT_EQ(mkfifo(output, 0644), 0);
    }
    snprintf(record.instructions[1].OUTFLE, kTextField, "%s", output);
    testing::internal::CaptureStdout();
    ASSERT_EQ(OpenInstructionFiles(record, handles), 0);
    EXPECT_EQ(ReadModelOutput(record, 1, kBaseSlot, handles), 1);
    const std::string kind = output[0] == '/' ? "a character device" : "a pipe";
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "cannot open " + std::string(output) + ": it is " + kind + ", not a regular file\n");
    EXPECT_EQ(Base(record, 1), kUnset);
  }
}

TEST(InstructionFiles, MissingInstructionFileIsReportedByOpen) {
  TempDir dir;
  ProblemRecord record = RecordWithObservations({"o1"});
  AddInstructionFiles(record, 1);
  FileHandleTable handles;
  testing::internal::CaptureStdout();
  EXPECT_EQ(OpenInstructionFiles(record, handles), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "cannot open ins1.ins: No such file or directory\n");
  testing::internal::CaptureStdout();
  EXPECT_EQ(ReadModelOutput(record, 2, kBaseSlot, handles), 1);
  EXPECT_EQ(ReadModelOutput(record, 1, 3, handles), 1);
  EXPECT_NE(testing::internal::GetCapturedStdout(), "");
}

}  // namespace

namespace {

// Later runs reuse the matches of earlier ones; a changed instruction file or changed
// observation names are matched afresh.
TEST(InstructionFiles, RepeatedReadsFollowChangedInstructionsAndNames) {
  TempDir dir;
  ProblemRecord record = RecordWithObservations({"a", "b"});
  AddInstructionFiles(record, 1);
  WriteFile("ins1.ins", "pif #\nl1 !a!\nl1 !b!\n");
  WriteFile("out1.txt", "1.0\n2.0\n");
  FileHandleTable handles;
  testing::internal::CaptureStdout();
  ASSERT_EQ(OpenInstructionFiles(record, handles), 0);
  EXPECT_EQ(ReadModelOutput(record, 1, kBaseSlot, handles), 0);
  WriteFile("out1.txt", "3.0\n4.0\n");
  EXPECT_EQ(ReadModelOutput(record, 1, kBaseSlot, handles), 0);
  EXPECT_EQ(Base(record, 1), 3.0);
  EXPECT_EQ(Base(record, 2), 4.0);
  WriteFile("ins1.ins", "pif #\nl1 !b!\nl1 !a!\n");  // the same open file, new text
  EXPECT_EQ(ReadModelOutput(record, 1, kBaseSlot, handles), 0);
  EXPECT_EQ(Base(record, 1), 4.0);
  EXPECT_EQ(Base(record, 2), 3.0);
  std::snprintf(record.observations[1].OBSNME, kObsNameField, "c");
  EXPECT_EQ(ReadModelOutput(record, 1, kBaseSlot, handles), 1);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("observation a is not in the problem"), std::string::npos) << out;
}

}  // namespace
