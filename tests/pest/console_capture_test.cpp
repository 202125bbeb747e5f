// The capture of the console: what this process prints and what a command it starts writes,
// on both streams, comes back in order, and the console is the console again afterwards.
#include "pest/console_capture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

namespace {

TEST(ConsoleCapture, TakesThisProcessAndItsCommandsOnBothStreams) {
  ConsoleCapture capture;
  ASSERT_TRUE(capture.usable());
  testing::internal::CaptureStdout();
  std::printf("before ");
  capture.Begin();
  std::printf("one ");
  std::fprintf(stderr, "warning\n");
  std::fflush(nullptr);  // as the post-run command does before it starts
  ASSERT_EQ(std::system("echo two; echo failed >&2"), 0);
  const ConsoleText first = capture.End();
  std::printf("after\n");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "before after\n");
  EXPECT_EQ(first.out, "one two\n");
  EXPECT_EQ(first.err, "warning\nfailed\n");
  // A second capture starts empty; ending one that is off gives nothing.
  capture.Begin();
  std::printf("three\n");
  EXPECT_EQ(capture.End().out, "three\n");
  EXPECT_EQ(capture.End().out, "");
  testing::internal::CaptureStdout();
  PrintConsoleText({"replayed\n", ""});
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "replayed\n");
}

}  // namespace
