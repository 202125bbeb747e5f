#include "pest/output_names.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(FilesNamesForWrite, CutsTheControlNameAtItsFirstPoint) {
  for (const char* control : {"case", "case.pst", "run.1/case"}) {
    OutputNames names;
    ASSERT_EQ(FilesNamesForWrite(control, names), 0);
    const std::string base = control[0] == 'r' ? "run" : "case";
    EXPECT_EQ(names.base, base) << control;
    EXPECT_EQ(names.rec, base + ".rec");
    EXPECT_EQ(names.sen, base + ".sen");
    EXPECT_EQ(names.mtt, base + ".mtt");
    EXPECT_EQ(names.par, base + ".par");
    EXPECT_EQ(names.rst, base + ".rst");
  }
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
