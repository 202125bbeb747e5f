#include "pest/stop_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include "support/test_support.h"

namespace {

using testing_support::FileExists;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

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

// The code is read as an integer conversion reads it, however long its run of digits.
TEST(CheckStopFileDeathTest, CodesOneToThreeEndTheRun) {
  TempDir dir;
  const std::string pausing = "\n\nThe toolbox does not currently support pausing execution.\n\n";
  const struct {
    std::string content, said;
  } cases[] = {
      {"1\n", ""},
      {"\n+1x", ""},
      {"2",
       "\n\nThe toolbox does not currently support\n"
       "ceasing execution with a full parameter statistics printout.\n\n"},
      {"  3 please\n", pausing},
      {std::string(80, '0') + "3\n", pausing},
  };
  for (const auto& c : cases) EXPECT_EQ(StopFileOutputOfEndedRun(c.content), c.said) << c.content;
}

TEST(CheckStopFile, OtherContentIsRemovedAndTheRunGoesOn) {
  TempDir dir;
  CheckStopFile();
  for (const char* content : {"7\n", "", "stop\n", "99999999999999999999999\n", "-1"}) {
    WriteFile("pest.stp", content);
    testing::internal::CaptureStdout();
    CheckStopFile();
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
    CheckStopFile();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.message);
    EXPECT_TRUE(FileExists("pest.stp")) << c.message;
    std::filesystem::remove("pest.stp");
  }
}

TEST(DeleteStaleStopFile, DeletesAFileButNeverADirectory) {
  TempDir dir;
  testing::internal::CaptureStdout();
  DeleteStaleStopFile();
  WriteFile("pest.stp", "1\n");
  DeleteStaleStopFile();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_FALSE(FileExists("pest.stp"));
  ASSERT_EQ(mkdir("pest.stp", 0755), 0);
  testing::internal::CaptureStdout();
  DeleteStaleStopFile();
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "cannot delete pest.stp: it is a directory; it is left in place\n");
  EXPECT_TRUE(FileExists("pest.stp"));
}

}  // namespace
