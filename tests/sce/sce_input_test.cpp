// Reading the SCE input file and the settings check with its warnings.
#include "sce/sce_input.h"

#include <gtest/gtest.h>

#include <string>

#include "sce_test_util.h"
#include "support/test_support.h"

namespace {

using sce_test::InputFields;
using sce_test::InputText;
using testing_support::TempDir;
using testing_support::WriteFile;

struct ReadResult {
  int status = 0;
  std::string out;
};

// Reads text as an input file into run.
ReadResult Read(SceRun& run, const std::string& text) {
  WriteFile("sce.in", text);
  tarne::gFILE input(nullptr);
  EXPECT_TRUE(input.open("sce.in", "r"));
  testing::internal::CaptureStdout();
  ReadResult result;
  result.status = read_sce_input(run, input, "sce.in");
  result.out = testing::internal::GetCapturedStdout();
  return result;
}

ReadResult Check(SceSettings& settings) {
  testing::internal::CaptureStdout();
  ReadResult result;
  result.status = check_sce_settings(settings);
  result.out = testing::internal::GetCapturedStdout();
  return result;
}

// Settings as the reader leaves them for a customised run with n parameters.
SceSettings Custom(int n, int ngs, int npg, int nps, int nspl, int min_ngs) {
  SceSettings s;
  s.nparam = n;
  s.custom = 1;
  s.kstop = 5;
  s.ngs = ngs;
  s.npg = npg;
  s.nps = nps;
  s.nspl = nspl;
  s.min_ngs = min_ngs;
  return s;
}

TEST(SceInput, ReadsNamesRecordsAndParameters) {
  TempDir dir;
  SceRun run(nullptr);
  std::string text =
      "model/catchment.prj  trailing words\n"
      "replace.txt\n"
      "  observed.obs\n"
      "500 3\n0.1 4\n   0 1 2\n"
      "9 3 5 2 1 1\n"
      "0.5 0 1\n-2 -3 -1\n";
  ReadResult r = Read(run, text);
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.out, " ENTER THE SCEIN SUBROUTINE --- \n");
  const SceSettings& s = run.settings;
  EXPECT_STREQ(s.project_file, "model/catchment.prj");
  EXPECT_STREQ(s.second_path, "replace.txt");
  EXPECT_STREQ(s.observation_file, "observed.obs");
  EXPECT_EQ(s.max_calls, 500);
  EXPECT_EQ(s.kstop, 3);
  EXPECT_DOUBLE_EQ(s.conv_pct, 0.001);  // a percentage of 0.1
  EXPECT_EQ(s.ngs, 4);
  EXPECT_EQ(s.seed, 3737);  // seed 0
  EXPECT_EQ(s.custom, 1);
  EXPECT_EQ(s.nparam, 2);
  EXPECT_EQ(s.npg, 9);
  EXPECT_EQ(s.nps, 3);
  EXPECT_EQ(s.nspl, 5);
  EXPECT_EQ(s.min_ngs, 2);
  EXPECT_EQ(s.start_flag, 1);
  EXPECT_EQ(s.pop_print, 1);
  EXPECT_DOUBLE_EQ(s.a[2], -2.0);
  EXPECT_DOUBLE_EQ(s.bl[2], -3.0);
  EXPECT_DOUBLE_EQ(s.bu[2], -1.0);
  EXPECT_EQ(run.io_settings.ProjectPath(), std::string("model/"));
}

TEST(SceInput, SecondRecordIsReadButIgnoredWithoutCustom) {
  TempDir dir;
  SceRun run(nullptr);
  InputFields in;
  in.seed = -17;
  in.npg = 9;
  in.nps = 3;
  ReadResult r = Read(run, InputText(in));
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(run.settings.npg, 0);
  EXPECT_EQ(run.settings.nps, 0);
  EXPECT_EQ(run.settings.seed, -17);  // a negative seed is kept
}

TEST(SceInput, RefusesBadRecords) {
  TempDir dir;
  const std::string names = "p.prj\nr.txt\no.txt\n";
  struct Case {
    std::string body;
    std::string message;
  } cases[] = {
      // A bad first record is named, with the item that failed, before the fixed message.
      {"100 5 0.01 2 1 0\n",
       "cannot read sce.in (line 4): record 1 needs 7 numbers (max_calls kstop conv_pct ngs "
       "seed custom nparam); at nparam the file ends before it\n"
       "Error in your input file. The first line must have 7 parameters.\n"},
      {"100 5 0.01 2\nx 0 1\n",
       "cannot read sce.in (line 5): record 1 needs 7 numbers (max_calls kstop conv_pct ngs "
       "seed custom nparam); at seed \"x\" is not an integer\n"
       "Error in your input file. The first line must have 7 parameters.\n"},
      {"100 5.5 0.01 2 1 0 1\n",
       "cannot read sce.in (line 4): record 1 needs 7 numbers (max_calls kstop conv_pct ngs "
       "seed custom nparam); at kstop \"5.5\" is not an integer\n"
       "Error in your input file. The first line must have 7 parameters.\n"},
      {"100 5 nan 2 1 0 1\n",
       "cannot read sce.in (line 4): record 1 needs 7 numbers (max_calls kstop conv_pct ngs "
       "seed custom nparam); at conv_pct \"nan\" is not a finite number\n"
       "Error in your input file. The first line must have 7 parameters.\n"},
      {"100 5 0.01 2 1 0 1\n7 4 7\n", "cannot read sce.in (line 5): the second record must "
                                      "have 6 integers (npg nps nspl min_ngs start_flag "
                                      "pop_print)\n"},
      {"100 5 0.01 2 1 0 0\n", "cannot read sce.in (line 4): the number of parameters 0 is "
                               "not between 1 and 100000\n"},
      {"100 5 0.01 2 1 0 2\n0 0 0 0 0 0\n0.5 0 1\n0.5 1 1\n",
       "cannot read sce.in (line 7): the lower bound of parameter 2 is not below its upper "
       "bound\nERROR:  Lower bound is greater than upper bound for varialbe 2\n"},
      {"100 5 0.01 2 1 0 1\n0 0 0 0 0 0\n0.5 2 1\n",
       "cannot read sce.in (line 6): the lower bound of parameter 1 is not below its upper "
       "bound\nERROR:  Lower bound is greater than upper bound for varialbe 1\n"},
      {"100 5 0.01 2 1 0 2\n0 0 0 0 0 0\n0.5 0 1\n0.5 0\n",
       "cannot read sce.in (line 7): parameter 2 needs a start value, a lower and an upper "
       "bound (finite numbers)\n"},
      {"100 5 0.01 2 1 0 1\n0 0 0 0 0 0\nnan 0 1\n",
       "cannot read sce.in (line 6): parameter 1 needs a start value, a lower and an upper "
       "bound (finite numbers)\n"},
      {"100 5 0.01 2 1 0 1\n0 0 0 0 0 0\n0 -1e308 1e308\n",
       "cannot read sce.in (line 6): the bounds of parameter 1 are too far apart\n"},
      {"100 5 0.01 2 1 1 1\n5 2 5 2 1 0\n2 0 1\n",
       "cannot read sce.in (line 6): the start value of parameter 1 lies outside its bounds\n"},
  };
  for (const Case& c : cases) {
    SceRun run(nullptr);
    ReadResult r = Read(run, names + c.body);
    EXPECT_EQ(r.status, -1) << c.body;
    EXPECT_EQ(r.out, " ENTER THE SCEIN SUBROUTINE --- \n" + c.message) << c.body;
  }
}

// Gaussian points spread at least 1e-10 (and about 1e-8 of the magnitude) around a collapsed
// population; bounds far closer than that were redrawn for minutes on end.
TEST(SceInput, RefusesBoundsTooCloseForRandomPoints) {
  TempDir dir;
  const std::string head = "p.prj\nr.txt\no.txt\n100 5 0.01 2 1 0 1\n0 0 0 0 0 0\n";
  const std::string message =
      "cannot read sce.in (line 6): the bounds of parameter 1 must lie at least 1e-14 times "
      "the larger of 1 and their magnitude apart\n";
  for (const char* bounds : {"0 0 1e-17\n", "1e16 1e16 10000000000000002\n"}) {
    SceRun run(nullptr);
    ReadResult r = Read(run, head + bounds);
    EXPECT_EQ(r.status, -1) << bounds;
    EXPECT_EQ(r.out, " ENTER THE SCEIN SUBROUTINE --- \n" + message) << bounds;
  }
  for (const char* bounds : {"0 0 1e-14\n", "1e14 1e14 100000000000002\n"}) {
    SceRun run(nullptr);
    EXPECT_EQ(Read(run, head + bounds).status, 0) << bounds;
  }
}

TEST(SceInput, RefusesANameLongerThanItsField) {
  TempDir dir;
  SceRun run(nullptr);
  ReadResult r = Read(run, std::string(1024, 'p') + "\nr\no\n1 1 1 1 1 1 1\n");
  EXPECT_EQ(r.status, -1);
  EXPECT_NE(r.out.find("cannot read sce.in (line 1): the project file name is longer than "
                       "1023 characters"), std::string::npos) << r.out;
}

TEST(SceInput, RefusesAMissingObservationFileAndOverlongLines) {
  TempDir dir;
  const std::string records = "100 5 0.01 2 1 0 1\n0 0 0 0 0 0\n0.5 0 1\n";
  SceRun run(nullptr);
  ReadResult r = Read(run, "p.prj\nr.txt\n   \n" + records);
  EXPECT_EQ(r.status, -1);
  EXPECT_EQ(r.out, " ENTER THE SCEIN SUBROUTINE --- \n"
                   "cannot read sce.in (line 3): no observation file is named\n");
  SceRun second(nullptr);
  r = Read(second, "p.prj\n" + std::string(5000, 'r') + "\no.txt\n" + records);
  EXPECT_EQ(r.status, -1);
  EXPECT_EQ(r.out, " ENTER THE SCEIN SUBROUTINE --- \n"
                   "cannot read sce.in (line 2): the line is longer than 4095 characters\n");
}

// One shuffling loop makes at least ngs * nspl evaluations and the limit is looked at once
// per loop, so nspl beyond the larger of npg and max_calls / ngs is repaired.
TEST(SceCheck, EvolutionStepsFarBeyondTheCallLimitAreRepaired) {
  SceSettings s = Custom(3, 2, 7, 4, 2000000000, 2);
  s.max_calls = 200;
  ReadResult r = Check(s);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out,
            " **WARNING** THE NUMBER OF EVOLUTION STEPS TAKEN IN EACH COMPLEX\n"
            " BEFORE SHUFFLING 2000000000 EXCEEDS 100, THE LARGER OF NPG AND MAX_CALLS / NGS,\n"
            " SET IT TO DEFAULT\n"
            " *** TOTAL NUMBER OF WARNING MESSAGES IS 1\n");
  EXPECT_EQ(s.nspl, 7);
  // At the bound, and below npg, nothing is repaired; max_calls / ngs is rounded up.
  for (int nspl : {100, 6}) {
    SceSettings kept = Custom(3, 2, 7, 4, nspl, 2);
    kept.max_calls = 200;
    EXPECT_EQ(Check(kept).status, 0);
    EXPECT_EQ(kept.nspl, nspl);
  }
  SceSettings odd = Custom(3, 3, 7, 4, 34, 3);
  odd.max_calls = 100;
  EXPECT_EQ(Check(odd).status, 0);
  odd.nspl = 35;
  EXPECT_EQ(Check(odd).status, 1);
  EXPECT_EQ(odd.nspl, 7);
}

TEST(SceCheck, DefaultsWithoutCustom) {
  SceSettings s;
  s.nparam = 3;
  s.ngs = 2;
  s.kstop = 5;
  s.npg = 99;  // record 2 values are replaced by the defaults
  s.start_flag = 1;
  s.pop_print = 1;
  ReadResult r = Check(s);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(s.npg, 7);
  EXPECT_EQ(s.nps, 4);
  EXPECT_EQ(s.nspl, 7);
  EXPECT_EQ(s.min_ngs, 2);
  EXPECT_EQ(s.start_flag, 0);
  EXPECT_EQ(s.pop_print, 0);
}

TEST(SceCheck, InvalidNumberOfComplexesFails) {
  for (int ngs : {0, -3, 1320}) {
    SceSettings s = Custom(3, ngs, 7, 4, 7, 1);
    ReadResult r = Check(s);
    EXPECT_EQ(r.status, -1);
    EXPECT_EQ(r.out, " **ERROR** NUMBER OF COMPLEXES IN INITIAL POPULATION " +
                         std::to_string(ngs) + " IS NOT A VALID CHOICE\n");
  }
  SceSettings s = Custom(3, 1319, 1, 4, 7, 1);
  EXPECT_GE(Check(s).status, 0);
}

TEST(SceCheck, KstopRange) {
  for (int kstop : {0, 19}) {
    SceSettings s = Custom(3, 2, 7, 4, 7, 2);
    s.kstop = kstop;
    ReadResult r = Check(s);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(s.kstop, kstop);
  }
  for (int kstop : {20, -1}) {
    SceSettings s = Custom(3, 2, 7, 4, 7, 2);
    s.kstop = kstop;
    ReadResult r = Check(s);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(s.kstop, 5);
    EXPECT_EQ(r.out,
              " **WARNING** THE NUMBER OF SHUFFLING LOOPS IN WHICH THE CRITERION VALUE\n"
              " MUST CHANGE SHOULD BE GREATER THAN 0 AND LESS THAN 10. kstop = " +
                  std::to_string(kstop) +
                  " WAS\n"
                  " WAS SPECIFIED.  BUT kstop = 5 WILL BE USED INSTEAD.\n"
                  " *** TOTAL NUMBER OF WARNING MESSAGES IS 1\n");
  }
}

TEST(SceCheck, ManyComplexesRepairComplexSizeThenPopulation) {
  // At most 1320 / 200 = 6 points fit a complex, so npg 7 is repaired to 2n + 1 = 7 and the
  // population 1400 then exceeds the limit.
  SceSettings s = Custom(3, 200, 7, 4, 7, 200);
  ReadResult r = Check(s);
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out,
            " **WARNING** THE NUMBER OF POINTS IN A COMPLEX 7 IS NOT\n"
            " A VALID CHOICE, SET IT TO DEFAULT\n"
            " **WARNING** THE NUMBER OF POINTS IN INITIAL POPULATION 1400 EXCEED\n"
            " THE POPULATION LIMIT.  SET NGS TO 2, AND NPG, NPS AND NSPL TO DEFAULTS\n"
            " *** TOTAL NUMBER OF WARNING MESSAGES IS 2\n");
  EXPECT_EQ(s.ngs, 2);
  EXPECT_EQ(s.npg, 7);
  EXPECT_EQ(s.nps, 4);
  EXPECT_EQ(s.nspl, 7);
}

TEST(SceCheck, SubComplexAndStepRepairs) {
  SceSettings s = Custom(60, 2, 120, 51, 0, 3);
  ReadResult r = Check(s);
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(r.out,
            " **WARNING** THE MINIMUM NUMBER OF COMPLEXES 3 IS NOT A VALID CHOICE.\n"
            " SET IT TO DEFAULT\n"
            " **WARNING** THE NUMBER OF POINTS IN A SUB-COMPLEX 51 IS NOT\n"
            " A VALID CHOICE, SET IT TO DEFAULT\n"
            " **WARNING** THE NUMBER OF EVOLUTION STEPS TAKEN IN EACH COMPLEX\n"
            " BEFORE SHUFFLING 0 IS NOT A VALID CHOICE, SET IT TO DEFAULT\n"
            " *** TOTAL NUMBER OF WARNING MESSAGES IS 3\n");
  EXPECT_EQ(s.min_ngs, 2);
  EXPECT_EQ(s.nps, 61);  // 51 is repaired even though npg 120 is larger
  EXPECT_EQ(s.nspl, 120);
}

TEST(SceCheck, RepairedSubComplexNeverExceedsItsComplex) {
  // The default n + 1 = 6 would not fit a complex of 3 points and could never be drawn.
  SceSettings s = Custom(5, 2, 3, 1, 3, 2);
  ReadResult r = Check(s);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(s.nps, 3);
}

}  // namespace
