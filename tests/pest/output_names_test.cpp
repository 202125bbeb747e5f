#include "pest/output_names.h"

#include <gtest/gtest.h>

#include <string>

namespace {

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

}  // namespace
