// Opening input files (only regular files, never blocking on a pipe, within a size) and
// reading them whole within the size and line limits.
#include "modellib/input_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "support/test_support.h"

namespace {

using testing_support::TempDir;
using testing_support::WriteFile;

struct Opened {
  bool open = false;
  std::string reason;
  int system_error = -1;
};

Opened Open(const std::string& path, std::uint64_t max_bytes = 1000) {
  Opened result;
  std::FILE* file = tarne::OpenInputFile(path, "r", max_bytes, &result.reason, &result.system_error);
  result.open = file != nullptr;
  if (file != nullptr) std::fclose(file);
  return result;
}

TEST(OpenInputFile, OpensRegularFilesWithinTheSizeAndSaysWhatAnythingElseIs) {
  TempDir dir;
  WriteFile("plain.txt", std::string(1000, 'x'));
  ASSERT_EQ(mkdir("folder", 0755), 0);
  ASSERT_EQ(mkfifo("pipe", 0644), 0);
  ASSERT_EQ(symlink("plain.txt", "link"), 0);
  struct Case {
    std::string path;
    bool open;
    std::string reason;
    bool system_error;
  } cases[] = {
      {"plain.txt", true, "", false},
      {"link", true, "", false},  // a link to a regular file is that file
      {"missing.txt", false, "No such file or directory", true},
      {"folder", false, "it is a directory, not a regular file", false},
      {"pipe", false, "it is a pipe, not a regular file", false},
      {"/dev/zero", false, "it is a character device, not a regular file", false},
      {"plain.txt/x", false, "Not a directory", true},
  };
  for (const Case& c : cases) {
    Opened opened = Open(c.path);
    EXPECT_EQ(opened.open, c.open) << c.path;
    EXPECT_EQ(opened.reason, c.reason) << c.path;
    EXPECT_EQ(opened.system_error != 0, c.system_error) << c.path;
  }
  Opened large = Open("plain.txt", 999);
  EXPECT_FALSE(large.open);
  EXPECT_EQ(large.reason, "the file holds 1000 bytes, more than the 999 a reader takes");
  EXPECT_EQ(tarne::FileKindOf("folder"), "a directory");
  EXPECT_EQ(tarne::FileKindOf("plain.txt"), "");
}

struct Read {
  bool ok = false;
  std::string text;
  tarne::TextFault fault;
};

Read ReadText(const std::string& content, std::uint64_t max_bytes, std::size_t max_line) {
  WriteFile("text.txt", content);
  Read result;
  std::string reason;
  std::FILE* file = tarne::OpenInputFile("text.txt", "rb", UINT64_MAX, &reason);
  EXPECT_NE(file, nullptr) << reason;
  if (file == nullptr) return result;
  result.ok = tarne::ReadInputText(file, max_bytes, max_line, &result.text, &result.fault);
  std::fclose(file);
  return result;
}

TEST(ReadInputText, ReadsWithinTheLimitsAndNamesTheLineBeyondThem) {
  TempDir dir;
  Read read = ReadText("ab\ncde\n\nf", 9, 3);
  ASSERT_TRUE(read.ok) << read.fault.reason;
  EXPECT_EQ(read.text, "ab\ncde\n\nf");

  read = ReadText("ab\ncde\nfghi\nj\n", 100, 3);
  EXPECT_FALSE(read.ok);
  EXPECT_EQ(read.fault.line, 3);
  EXPECT_EQ(read.fault.reason, "the line is longer than 3 characters");

  // A line split over two reads of the underlying buffer is measured whole.
  const std::string head(65530, '\n');
  read = ReadText(head + std::string(20, 'y') + "\n", 1 << 20, 15);
  EXPECT_FALSE(read.ok);
  EXPECT_EQ(read.fault.line, 65531);

  read = ReadText(std::string(70000, 'z'), 65536, 1 << 20);
  EXPECT_FALSE(read.ok);
  EXPECT_EQ(read.fault.line, 0);
  EXPECT_EQ(read.fault.reason, "the file holds more than the 65536 bytes a reader takes");
}

}  // namespace
