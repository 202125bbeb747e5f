// Template files: the file limit, header check, delimiter positions, field names and their
// match to parameters, and the refusals of files that would not fit the entry.
#include "pest/template_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "support/test_support.h"

namespace {

using testing_support::TempDir;
using testing_support::WriteFile;

ProblemRecord RecordWithParameters(const std::vector<std::string>& names) {
  ProblemRecord record;
  record.NPAR = static_cast<int>(names.size());
  record.parameters.resize(names.size() + 1);
  for (size_t k = 0; k < names.size(); ++k) {
    snprintf(record.parameters[k + 1].PARNME, kTextField, "%s", names[k].c_str());
  }
  return record;
}

// Adds template files tpl<i>.tpl with the given contents.
void AddTemplates(ProblemRecord& record, const std::vector<std::string>& contents) {
  record.NTPLFLE = static_cast<int>(contents.size());
  record.templates.resize(contents.size() + 1);
  for (size_t i = 1; i <= contents.size(); ++i) {
    snprintf(record.templates[i].TEMPFLE, kTextField, "tpl%zu.tpl", i);
    snprintf(record.templates[i].INFLE, kTextField, "model%zu.in", i);
    WriteFile(record.templates[i].TEMPFLE, contents[i - 1]);
  }
}

// Opens and checks; returns the status of the first call that fails, and the output.
short OpenAndCheck(ProblemRecord& record, FileHandleTable& handles, std::string& out) {
  testing::internal::CaptureStdout();
  short status = OpenTemplateFiles(record, handles);
  if (status == 0) status = CheckTemplateFiles(record, handles);
  out = testing::internal::GetCapturedStdout();
  return status;
}

TEST(TemplateFiles, FieldNameDropsBlanksAndMatchesLowerCaseParameter) {
  TempDir dir;
  ProblemRecord record = RecordWithParameters({"other", "k1"});
  AddTemplates(record, {"ptf $\nvalue = $ K1   $\n"});
  FileHandleTable handles;
  std::string out;
  ASSERT_EQ(OpenAndCheck(record, handles, out), 0) << out;
  EXPECT_EQ(out, "");
  const TemplateEntry& entry = record.templates[1];
  EXPECT_EQ(entry.field_count, 1);
  ASSERT_EQ(entry.field_map.size(), 2u);
  EXPECT_EQ(entry.field_map[1], 2);
  // "ptf $\n" is 6 bytes, "value = " 8 more: the delimiters stand at offsets 14 and 21.
  EXPECT_EQ(entry.delimiter_positions, (std::vector<long>{15, 22}));
}

TEST(TemplateFiles, UpperCaseFormIsTriedAndFirstParameterWins) {
  TempDir dir;
  // The field k1 has the forms K1 and k1; parameter 2 is the first named K1.
  // A mixed-case parameter name matches no field.
  ProblemRecord record = RecordWithParameters({"Kx", "K1", "k1", "kx"});
  AddTemplates(record, {"ptf @\na=@k1@ b=@Kx@ c=@ nothing @\n"});
  FileHandleTable handles;
  std::string out;
  ASSERT_EQ(OpenAndCheck(record, handles, out), 0) << out;
  const TemplateEntry& entry = record.templates[1];
  ASSERT_EQ(entry.field_count, 3);
  EXPECT_EQ(entry.field_map[1], 2);
  EXPECT_EQ(entry.field_map[2], 4);  // "Kx" in the file becomes KX or kx; only kx exists
  EXPECT_EQ(entry.field_map[3], 0);  // no parameter: kept as 0, not reported
}

TEST(TemplateFiles, UpperCaseFormWinsOverAnEarlierLowerCaseParameter) {
  TempDir dir;
  // The lower-case form is sought only when no parameter carries the upper-case form.
  ProblemRecord record = RecordWithParameters({"k1", "K1", "k2"});
  AddTemplates(record, {"ptf $\n$k1$ $K1$ $K2$\n"});
  FileHandleTable handles;
  std::string out;
  ASSERT_EQ(OpenAndCheck(record, handles, out), 0) << out;
  const TemplateEntry& entry = record.templates[1];
  ASSERT_EQ(entry.field_count, 3);
  EXPECT_EQ(entry.field_map[1], 2);
  EXPECT_EQ(entry.field_map[2], 2);
  EXPECT_EQ(entry.field_map[3], 3);
}

TEST(TemplateFiles, JtfHeaderIsAcceptedAndBlanksAndTabsAreDropped) {
  TempDir dir;
  ProblemRecord record = RecordWithParameters({"alpha", "beta"});
  AddTemplates(record, {"jtf #\n#alpha  #\nx\n  # \t BETA#  \n"});
  FileHandleTable handles;
  std::string out;
  ASSERT_EQ(OpenAndCheck(record, handles, out), 0) << out;
  EXPECT_EQ(record.templates[1].field_count, 2);
  EXPECT_EQ(record.templates[1].field_map[1], 1);
  EXPECT_EQ(record.templates[1].field_map[2], 2);
}

TEST(TemplateFiles, PifHeaderIsRejectedNamingTheFileAndLaterFilesAreNotChecked) {
  TempDir dir;
  ProblemRecord record = RecordWithParameters({"k1"});
  AddTemplates(record, {"ptf $\n$k1$\n", "pif #\n#k1#\n", "ptf $\n$k1$\n"});
  FileHandleTable handles;
  std::string out;
  EXPECT_EQ(OpenAndCheck(record, handles, out), 1);
  EXPECT_EQ(out, "\ntpl2.tpl is not a valid PEST template file.\n\n");
  EXPECT_EQ(record.templates[1].field_count, 1);
  EXPECT_EQ(record.templates[3].field_count, 0);
  EXPECT_TRUE(record.templates[3].field_map.empty());
}

TEST(TemplateFiles, UnpairedDelimiterIsIgnoredAndNoFieldGivesCountZero) {
  TempDir dir;
  ProblemRecord record = RecordWithParameters({"k1"});
  AddTemplates(record, {"ptf $\n$k1$ and a lone $ here\n", "ptf $\nno fields at all\n", "ptf $"});
  FileHandleTable handles;
  std::string out;
  ASSERT_EQ(OpenAndCheck(record, handles, out), 0) << out;
  EXPECT_EQ(record.templates[1].delimiter_positions.size(), 3u);
  EXPECT_EQ(record.templates[1].field_count, 1);
  EXPECT_EQ(record.templates[1].field_map[1], 1);
  EXPECT_EQ(record.templates[2].field_count, 0);
  EXPECT_EQ(record.templates[3].field_count, 0);
}

TEST(TemplateFiles, TwentyFiveAreOpenedTwentySixAreRefusedBeforeAnyOpen) {
  TempDir dir;
  ProblemRecord record = RecordWithParameters({"k1"});
  AddTemplates(record, std::vector<std::string>(25, "ptf $\n$k1$\n"));
  FileHandleTable handles;
  std::string out;
  ASSERT_EQ(OpenAndCheck(record, handles, out), 0) << out;
  for (int i = 1; i <= 25; ++i) EXPECT_NE(handles.slot[i], nullptr) << i;
  EXPECT_EQ(CloseTemplateFiles(record, handles), 0);
  for (int i = 1; i <= 25; ++i) EXPECT_EQ(handles.slot[i], nullptr) << i;

  ProblemRecord too_many = RecordWithParameters({"k1"});
  AddTemplates(too_many, std::vector<std::string>(26, "ptf $\n$k1$\n"));
  FileHandleTable none;
  testing::internal::CaptureStdout();
  EXPECT_EQ(OpenTemplateFiles(too_many, none), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "\nCurrently, slm_kor does not support more than 25 template files.\n"
            "Please modify and recompile the code to accomodate the unusually large number of "
            "template files.\n\n");
  for (int i = 1; i <= 25; ++i) EXPECT_EQ(none.slot[i], nullptr) << i;
}

TEST(TemplateFiles, MissingFileIsReportedByOpen) {
  TempDir dir;
  ProblemRecord record = RecordWithParameters({"k1"});
  AddTemplates(record, {"ptf $\n$k1$\n"});
  snprintf(record.templates[1].TEMPFLE, kTextField, "%s", "absent.tpl");
  FileHandleTable handles;
  testing::internal::CaptureStdout();
  EXPECT_EQ(OpenTemplateFiles(record, handles), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "cannot open absent.tpl: No such file or directory\n");
}

// A directory or device named as a template is refused by the open, which says what it is;
// a line beyond the limit of every input is refused by the check, with its number.
TEST(TemplateFiles, WhatIsNotARegularFileAndOverlongLinesAreRefused) {
  TempDir dir;
  ASSERT_EQ(mkdir("folder.tpl", 0755), 0);
  for (const char* name : {"folder.tpl", "/dev/zero"}) {
    ProblemRecord record = RecordWithParameters({"k1"});
    AddTemplates(record, {"ptf $\n$k1$\n"});
    snprintf(record.templates[1].TEMPFLE, kTextField, "%s", name);
    FileHandleTable handles;
    testing::internal::CaptureStdout();
    EXPECT_EQ(OpenTemplateFiles(record, handles), 1);
    const std::string kind = name[0] == '/' ? "a character device" : "a directory";
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "cannot open " + std::string(name) + ": it is " + kind + ", not a regular file\n");
  }
  ProblemRecord record = RecordWithParameters({"k1"});
  AddTemplates(record, {"ptf $\n$k1$\n" + std::string((1 << 20) + 1, ' ') + "\n"});
  FileHandleTable handles;
  std::string out;
  EXPECT_EQ(OpenAndCheck(record, handles, out), 1);
  EXPECT_EQ(out, "cannot read tpl1.tpl (line 3): the line is longer than 1048576 characters\n");
}

TEST(TemplateFiles, HeaderWithoutDelimiterIsRefused) {
  TempDir dir;
  ProblemRecord record = RecordWithParameters({"k1"});
  AddTemplates(record, {"ptf\n$k1$\n"});
  FileHandleTable handles;
  std::string out;
  EXPECT_EQ(OpenAndCheck(record, handles, out), 1);
  EXPECT_EQ(out, "cannot read tpl1.tpl (line 1): the header line names no delimiter character\n");
}

TEST(TemplateFiles, MoreThanTenThousandDelimitersAreRefusedAtTheirLine) {
  TempDir dir;
  std::string exactly_full = "ptf $\n";
  for (int k = 0; k < 5000; ++k) exactly_full += "$k1$\n";
  ProblemRecord record = RecordWithParameters({"k1"});
  AddTemplates(record, {exactly_full, exactly_full + "one more $\n"});
  FileHandleTable handles;
  std::string out;
  EXPECT_EQ(OpenAndCheck(record, handles, out), 1);
  EXPECT_EQ(record.templates[1].field_count, 5000);
  EXPECT_EQ(record.templates[1].field_map[5000], 1);
  EXPECT_EQ(out, "cannot read tpl2.tpl (line 5002): more than 10000 parameter delimiters\n");
}

TEST(TemplateFiles, FieldLongerThanTheNameBufferIsRefused) {
  TempDir dir;
  // Field text counts both delimiters: 14997 characters between them still fit.
  ProblemRecord record = RecordWithParameters({"k1"});
  AddTemplates(record, {"ptf $\n$" + std::string(14997, 'a') + "$\n",
                        "ptf $\nx\n$" + std::string(14998, 'a') + "$\n"});
  FileHandleTable handles;
  std::string out;
  EXPECT_EQ(OpenAndCheck(record, handles, out), 1);
  EXPECT_EQ(record.templates[1].field_count, 1);
  EXPECT_EQ(record.templates[1].field_map[1], 0);
  EXPECT_EQ(out, "cannot read tpl2.tpl (line 3): parameter field longer than 14999 characters\n");
}

}  // namespace
