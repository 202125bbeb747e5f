// Which files a working copy holds, and the making of one: named files strictly (present,
// and the same bytes rank 0 sees), the other files of the run directory as they are.
#include "pest/working_copy.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;
using testing_support::ReadFile;
using testing_support::SourcePath;
using testing_support::TempDir;
using testing_support::WriteFile;

// A hydro project in sub/ whose replacement list and value file lie in the run directory,
// with a template and an instruction file, and a note nothing names.
ProblemRecord WriteProblem() {
  fs::create_directories("sub");
  fs::copy_file(SourcePath("examples/hydro/forcing.txt"), "sub/forcing.txt");
  std::string project = ReadFile(SourcePath("examples/hydro/catchment.prj"));
  project.replace(project.find("replace catchment.lst"), 21, "replace ../tarne.in");
  project.replace(project.find("values catchment.val"), 20, "values ../values.in");
  WriteFile("sub/model.prj", project);
  for (const char* name : {"tarne.in", "values.in", "model.tpl", "model.ins", "notes.txt"}) {
    WriteFile(name, std::string(name) + "\n");
  }
  ProblemRecord record;
  std::strcpy(record.PROJFLE, "sub/model.prj");
  record.NTPLFLE = record.NINSFLE = 1;
  record.templates.resize(2);
  std::strcpy(record.templates[1].TEMPFLE, "model.tpl");
  std::strcpy(record.templates[1].INFLE, "sub/model.prj");
  record.instructions.resize(2);
  std::strcpy(record.instructions[1].INSFLE, "model.ins");
  std::strcpy(record.instructions[1].OUTFLE, "sub/hydrograph.out");
  return record;
}

TEST(WorkingCopyFiles, NamedFilesFirstThenWhatACommandMayRead) {
  TempDir dir;
  ProblemRecord record = WriteProblem();
  std::vector<std::string> files;
  std::size_t named = 0;
  std::string reason;
  ASSERT_TRUE(WorkingCopyFiles(record, &files, &named, &reason)) << reason;
  const std::vector<std::string> expected = {"tarne.in",  "sub/model.prj",   "model.tpl",
                                             "model.ins", "sub/forcing.txt", "values.in"};
  EXPECT_EQ(files, expected);
  EXPECT_EQ(named, expected.size());
  // A post-run command may read anything: the other files at the top come too, once each.
  std::strcpy(record.POSTBATCH, "./post.sh");
  WriteFile("post.sh", "true\n");
  ASSERT_TRUE(WorkingCopyFiles(record, &files, &named, &reason));
  EXPECT_EQ(named, expected.size());
  std::vector<std::string> extra(files.begin() + static_cast<long>(named), files.end());
  std::sort(extra.begin(), extra.end());
  EXPECT_EQ(extra, (std::vector<std::string>{"notes.txt", "post.sh"}));
  // A name that leads out of the run directory would name another file from a copy.
  std::strcpy(record.instructions[1].INSFLE, "sub/../../model.ins");
  EXPECT_FALSE(WorkingCopyFiles(record, &files, &named, &reason));
  EXPECT_EQ(reason, "cannot copy sub/../../model.ins: the path leads out of the run directory; "
                    "name the file by its absolute path or move it into the run directory");
}

TEST(MakeWorkingCopy, CopiesChecksAndRefuses) {
  TempDir dir;
  WriteProblem();
  WriteFile("post.sh", "#!/bin/sh\n");
  fs::permissions("post.sh", fs::perms::owner_all);
  const std::vector<std::string> files = {"sub/forcing.txt", "post.sh", "gone.log"};
  const std::vector<std::string> prints = {CopyFingerprint("sub/forcing.txt"),
                                           CopyFingerprint("post.sh")};
  ASSERT_EQ(CopyFingerprint("gone.log"), "");
  const std::string folder = WorkingCopyFolder(2);
  EXPECT_EQ(folder, "tarne_copies/process_2");
  std::string reason;
  // A file that is not named and is not there (a log) is left out.
  ASSERT_TRUE(MakeWorkingCopy(folder, files, prints, &reason)) << reason;
  EXPECT_EQ(ReadFile(folder + "/sub/forcing.txt"), ReadFile("sub/forcing.txt"));
  EXPECT_NE(fs::status(folder + "/post.sh").permissions() & fs::perms::owner_exec,
            fs::perms::none);
  EXPECT_FALSE(fs::exists(folder + "/gone.log"));

  const struct {
    std::vector<std::string> files, prints;
    const char* reason;
  } refused[] = {
      {{"post.sh"}, {"1:0000000000000000"},
       "cannot copy post.sh: it is not the file process 0 reads (every process must see the "
       "same run directory)"},
      {{"gone.log"}, {""}, "cannot copy gone.log: No such file or directory"},
      {{"sub"}, {""}, "cannot copy sub: it is not a regular file"},
  };
  for (const auto& c : refused) {
    EXPECT_FALSE(MakeWorkingCopy(folder, c.files, c.prints, &reason));
    EXPECT_EQ(reason, c.reason);
  }
  RemoveWorkingCopy(kWorkingCopiesFolder);
  WriteFile(kWorkingCopiesFolder, "the user's\n");
  EXPECT_FALSE(MakeWorkingCopy(folder, files, prints, &reason));
  EXPECT_EQ(reason, "cannot make tarne_copies: it is not a directory");
  EXPECT_EQ(ReadFile(kWorkingCopiesFolder), "the user's\n");
}

}  // namespace
