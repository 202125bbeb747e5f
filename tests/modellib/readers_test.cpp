// The library's small services: line and item readers, allocation, file name resolution
// with batch numbers, observation reading and the single-process partition object.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "modellib/hydro_model.h"
#include "modellib/replacement.h"
#include "modellib/tarne_lib.h"
#include "modellib/text_util.h"
#include "support/test_support.h"

namespace {

using testing_support::TempDir;
using testing_support::WriteFile;

TEST(LineReader, ReadsLinesWithoutTheirEndsAndCutsLongOnes) {
  TempDir dir;
  WriteFile("lines.txt", "first\r\nabcdefghij\n\nlast");
  tarne::gFILE file;
  ASSERT_TRUE(file.open("lines.txt", "r"));
  char line[6];
  ASSERT_EQ(daGetLine_noreplace(line, sizeof line, &file), 1);
  EXPECT_STREQ(line, "first");  // the carriage return is dropped
  ASSERT_EQ(daGetLine_noreplace(line, sizeof line, &file), kLineCut);
  EXPECT_STREQ(line, "abcde");  // cut at size - 1; the rest of that line is skipped
  ASSERT_EQ(daGetLine_noreplace(line, sizeof line, &file), 1);
  EXPECT_STREQ(line, "");
  ASSERT_EQ(daGetLine_noreplace(line, sizeof line, &file), 1);
  EXPECT_STREQ(line, "last");  // a last line without a line end
  EXPECT_EQ(daGetLine_noreplace(line, sizeof line, &file), 0);
  EXPECT_STREQ(line, "");
}

TEST(LineReader, RefusesAClosedFileAndATinyBuffer) {
  TempDir dir;
  WriteFile("one.txt", "x\n");
  tarne::gFILE closed;
  char line[8] = "junk";
  EXPECT_EQ(daGetLine_noreplace(line, sizeof line, &closed), 0);
  EXPECT_EQ(daGetLine_noreplace(line, sizeof line, nullptr), 0);
  tarne::gFILE file;
  ASSERT_TRUE(file.open("one.txt", "r"));
  char one[1];
  EXPECT_EQ(daGetLine_noreplace(one, 1, &file), kLineCut);  // a line is consumed, not stored
  EXPECT_EQ(one[0], '\0');
  EXPECT_EQ(daGetLine_noreplace(one, 1, &file), 0);  // and the file then ends
}

TEST(ItemReaders, TakeItemsOffTheFrontOfTheLine) {
  char line[] = "  project.prj  42 -3.5e2 0.5# note";
  char word[32];
  int count = 0;
  double value = 0.0;
  ASSERT_EQ(daReadString(line, word, sizeof word), 1);
  EXPECT_STREQ(word, "project.prj");
  ASSERT_EQ(daReadInt(line, &count), 1);
  EXPECT_EQ(count, 42);
  ASSERT_EQ(daReadDouble(line, &value), 1);
  EXPECT_DOUBLE_EQ(value, -350.0);
  ASSERT_EQ(daReadDouble(line, &value), 1);  // a comment may follow a number directly
  EXPECT_DOUBLE_EQ(value, 0.5);
  EXPECT_STREQ(line, "# note");
  EXPECT_EQ(daReadDouble(line, &value), 0);  // a comment is not a number
  EXPECT_STREQ(line, "# note");
}

TEST(ItemReaders, RefuseWhatDoesNotFitAndLeaveTheLineAlone) {
  char line[] = "12.5 abc 99999999999 toolongword";
  int count = 7;
  double value = 0.0;
  char word[5];
  EXPECT_EQ(daReadInt(line, &count), 0);  // not a whole number
  EXPECT_EQ(count, 7);
  EXPECT_STREQ(line, "12.5 abc 99999999999 toolongword");
  ASSERT_EQ(daReadDouble(line, &value), 1);
  EXPECT_EQ(daReadDouble(line, &value), 0);
  ASSERT_EQ(daReadString(line, word, sizeof word), 1);
  EXPECT_STREQ(word, "abc");
  EXPECT_EQ(daReadInt(line, &count), 0);  // beyond 32 bits
  ASSERT_EQ(daReadString(line, word, sizeof word), 0);  // would overflow word
  EXPECT_STREQ(line, " 99999999999 toolongword");
  char empty[] = "   ";
  EXPECT_EQ(daReadString(empty, word, sizeof word), 0);
}

TEST(Allocation, GivesZeroFilledArraysAndReportsImpossibleSizes) {
  double* d = nullptr;
  d_alloc(&d, 5, "d");
  ASSERT_NE(d, nullptr);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(d[i], 0.0);
  delete[] d;
  int* l = nullptr;
  l_alloc(&l, 3, "l");
  ASSERT_NE(l, nullptr);
  EXPECT_EQ(l[2], 0);
  delete[] l;
  l_alloc(&l, 0, "empty");
  EXPECT_NE(l, nullptr);  // still something the caller can delete[]
  delete[] l;
  testing::internal::CaptureStderr();
  d_alloc(&d, -1, "negative");
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(d, nullptr);
  EXPECT_NE(err.find("negative"), std::string::npos);
}

TEST(Allocation, MatrixRowsAreSeparateAndFreeable) {
  double** m = nullptr;
  d2_alloc(3, 4, &m, "m");
  ASSERT_NE(m, nullptr);
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 4; ++c) m[r][c] = r * 10 + c;
  EXPECT_EQ(m[2][3], 23.0);
  EXPECT_EQ(m[1][0], 10.0);
  d2_free(m);
  d2_alloc(0, 0, &m, "empty");
  EXPECT_NE(m, nullptr);
  d2_free(m);
  d2_free(nullptr);
}

TEST(GopenName, ResolvesRelativeToTheProjectAndNumbersBatchOutputs) {
  tarne::replace_io io;
  caReadVARNOKProjectPath("examples/hydro/catchment.prj", &io);
  EXPECT_STREQ(io.ProjectPath(), "examples/hydro/");
  char out[64];
  ASSERT_TRUE(io.getGopenName("forcing.txt", "r", out, sizeof out, true));
  EXPECT_STREQ(out, "examples/hydro/forcing.txt");
  ASSERT_TRUE(io.getGopenName("/tmp/abs.txt", "r", out, sizeof out, true));
  EXPECT_STREQ(out, "/tmp/abs.txt");
  ASSERT_TRUE(io.getGopenName("forcing.txt", "r", out, sizeof out, false));
  EXPECT_STREQ(out, "forcing.txt");

  io.SetBatchMode(1);
  io.SetBatchNum(2);
  ASSERT_TRUE(io.getGopenName("out.txt", "w", out, sizeof out, true));
  EXPECT_STREQ(out, "examples/hydro/out_b2.txt");
  ASSERT_TRUE(io.getGopenName("sub.d/hydrograph", "a", out, sizeof out, false));
  EXPECT_STREQ(out, "sub.d/hydrograph_b2");  // a dot in a directory is no extension
  ASSERT_TRUE(io.getGopenName("forcing.txt", "r", out, sizeof out, false));
  EXPECT_STREQ(out, "forcing.txt");  // files that are read keep their names

  char small[10];
  EXPECT_FALSE(io.getGopenName("forcing.txt", "r", small, sizeof small, true));
}

TEST(GopenName, ProjectInTheWorkingDirectoryAndOverlongLocations) {
  tarne::replace_io io;
  caReadVARNOKProjectPath("catchment.prj", &io);
  EXPECT_STREQ(io.ProjectPath(), "");
  caReadVARNOKProjectPath("/abs/dir/catchment.prj", &io);
  EXPECT_STREQ(io.ProjectPath(), "/abs/dir/");
  const std::string long_dir(tarne::kPathMax + 10, 'd');
  caReadVARNOKProjectPath((long_dir + "/p.prj").c_str(), &io);
  char out[64];
  EXPECT_FALSE(io.getGopenName("forcing.txt", "r", out, sizeof out, true));
  EXPECT_TRUE(io.getGopenName("/abs/forcing.txt", "r", out, sizeof out, true));
}

TEST(GFile, OpensThroughItsSettings) {
  TempDir dir;
  WriteFile("data.txt", "content\n");
  tarne::replace_io io;
  caReadVARNOKProjectPath((dir.path() + "/p.prj").c_str(), &io);
  tarne::gFILE file(&io);
  EXPECT_EQ(file.fp, nullptr);
  ASSERT_TRUE(file.open("data.txt", "r"));
  EXPECT_NE(file.fp, nullptr);
  file.close();
  EXPECT_EQ(file.fp, nullptr);
  EXPECT_FALSE(file.open("missing.txt", "r"));
}

TEST(ObservedData, ReadsRowsSkipsCommentsAndRefusesMalformedRows) {
  TempDir dir;
  WriteFile("good.obs", "# time value weight\n1 2.5 1\n\n  2 3.5 0.5  # peak\n");
  WriteFile("empty.obs", "# nothing here\n\n");
  WriteFile("two.obs", "1 2.5 1\n2 3.5\n");
  WriteFile("text.obs", "1 x 1\n");
  WriteFile("negative.obs", "1 2 -1\n");
  tarne::observed_data observed;
  ASSERT_EQ(observed.read_observed_weighted_peakvol("good.obs"), 2);
  EXPECT_EQ(observed.count(), 2);
  EXPECT_DOUBLE_EQ(observed.times()[1], 2.0);
  EXPECT_DOUBLE_EQ(observed.values()[1], 3.5);
  EXPECT_DOUBLE_EQ(observed.weights()[1], 0.5);
  EXPECT_EQ(observed.read_observed_weighted_peakvol("empty.obs"), 0);
  EXPECT_EQ(observed.count(), 0);
  testing::internal::CaptureStderr();
  EXPECT_EQ(observed.read_observed_weighted_peakvol("two.obs"), -1);
  EXPECT_EQ(observed.count(), 0);  // nothing of a bad file is kept
  EXPECT_EQ(observed.read_observed_weighted_peakvol("text.obs"), -1);
  EXPECT_EQ(observed.read_observed_weighted_peakvol("negative.obs"), -1);
  EXPECT_EQ(observed.read_observed_weighted_peakvol("missing.obs"), -1);
  EXPECT_EQ(observed.read_observed_weighted_peakvol(""), -1);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("two.obs (line 2)"), std::string::npos) << err;
  EXPECT_NE(err.find("text.obs (line 1)"), std::string::npos) << err;
}

// Every line reader of the library refuses a line of more than a mebibyte, naming the file
// and line, instead of holding it whole or cutting it silently.
TEST(LineReaders, EveryReaderRefusesAnOverlongLine) {
  TempDir dir;
  const std::string huge(tarne::kMaxTextLine + 1, '1');
  WriteFile("obs.txt", "1 2 1\n" + huge + " 2 1\n");
  WriteFile("forcing.txt", "1 0 0\n2 " + huge + " 0\n");
  WriteFile("list.in", "1\n[a] \"%f\"" + std::string(tarne::kMaxTextLine, ' ') + "\n");
  WriteFile("values.in", "1\n" + huge + "\n");
  testing::internal::CaptureStderr();
  tarne::observed_data observed;
  EXPECT_EQ(observed.read_observed_weighted_peakvol("obs.txt"), -1);
  tarne::Forcing forcing;
  EXPECT_EQ(tarne::ReadForcing("forcing.txt", &forcing), 1);
  std::vector<tarne::ReplacementEntry> list;
  EXPECT_EQ(tarne::ReadReplacementList("list.in", &list), 1);
  std::vector<double> values;
  EXPECT_EQ(tarne::ReadValueLine("values.in", 0, &values), 0);  // the long line is not read
  EXPECT_EQ(tarne::ReadValueLine("values.in", 1, &values), 1);
  const std::string err = testing::internal::GetCapturedStderr();
  for (const char* where : {"obs.txt (line 2)", "forcing.txt (line 2)", "list.in (line 2)",
                            "values.in (line 2)"}) {
    EXPECT_NE(err.find(std::string(where) + ": the line is longer than 1048576 characters"),
              std::string::npos) << where << "\n" << err.substr(0, 400);
  }
}

TEST(ObservedData, PrintsOneShortLinePerEvaluation) {
  tarne::observed_data observed;
  testing::internal::CaptureStdout();
  observed.print_results(0, 0, 0, 1, 1, 5, 5, nullptr);
  observed.print_results(0, 0, 0, 1, 1, 1, 1, nullptr);
  observed.print_results(1, 0, 1, 2, 1, 1, 1, nullptr);  // not a partition leader: silent
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out, "evaluation 1 of 5: objective 0\nevaluation 2: objective 0\n");
}

TEST(Partition, OneProcessIsOnePartitionFromTheStart) {
  tarne::mpi_setup partition;
  EXPECT_EQ(partition.process_rank, 0);
  EXPECT_EQ(partition.partition_count, 1);
  EXPECT_GE(partition.total_threads, 1);
  partition.SetupPartitions(4);
  EXPECT_EQ(partition.partition_count, 1);
  double values[3] = {1.0, 2.0, 3.0};
  partition.communicate_across_partition(3, values);
  EXPECT_EQ(values[2], 3.0);
  double* gathered = partition.communicate_through_partitions(3, values);
  ASSERT_NE(gathered, nullptr);
  EXPECT_EQ(gathered[0], 1.0);
  EXPECT_EQ(gathered[2], 3.0);
  delete[] gathered;
}

}  // namespace
