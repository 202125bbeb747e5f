// The command-line grammar: which mode each first argument selects, the counts read after
// -b and -m, the usage cases, and the refusal of names and counts that do not fit.
#include "driver/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Parsed {
  int returned = 0;
  RunRequest request;
  std::string out;
};

Parsed Parse(std::vector<std::string> words) {
  words.insert(words.begin(), "tarne");
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  Parsed parsed;
  // Dirty the request first: the parser must clear the name buffer itself.
  parsed.request.input_file[0] = 'X';
  parsed.request.input_file[kInputFileSize - 1] = 'Y';
  parsed.request.count = 77;
  testing::internal::CaptureStdout();
  parsed.returned = parse_command_line(static_cast<int>(words.size()), argv.data(), parsed.request);
  parsed.out = testing::internal::GetCapturedStdout();
  return parsed;
}

std::string UsageText() {
  testing::internal::CaptureStdout();
  print_usage();
  return testing::internal::GetCapturedStdout();
}

TEST(CommandLine, UsageTextIsExactlyTheDocumentedLines) {
  const std::string expected =
      "\n"
      "Usage: tarne [-option] [inputfile]\n"
      "\n"
      " where -option is one of:\n"
      "      -c = SCE calibration mode (input file is the calibration control file)\n"
      "      -m = Monte Carlo calibration mode (input file is the calibration control file)\n"
      "      -b = batch mode (input file is the batch control file)\n"
      "      -s = sensitivity mode (input file is the sensitivity control file)\n"
      "      -v = display version information (no project will be run)\n"
      "  The c, m, b, v, and f commands are optional and if not present the input file is\n"
      " treated as the project file\n"
      "\n"
      "  For the -b option, the command line should be:\n"
      "      tarne -b[num_batch] tarne_inputfile\n"
      "\n"
      "  For the -c option, the command line should be:\n"
      "      tarne -c sce_inputfile\n"
      "\n"
      "  For the -m option, the command line should be:\n"
      "      tarne -m[num_batch] mc_inputfile\n"
      "\n"
      "  For the -s option, the command line should be:\n"
      "      tarne -s sen_inputfile\n"
      "\n"
      "  where [num_batch] is the number of batch runs to make, sce_inputfile is the SCE input "
      "file, mc_intputfile is\n"
      "  the Monte Carlo input file, and sen_inputfile is the sensitivity input file.\n"
      "\n"
      "\n";
  EXPECT_EQ(UsageText(), expected);
}

TEST(CommandLine, NoArgumentPrintsUsageAndRunsNothing) {
  Parsed p = Parse({});
  EXPECT_EQ(p.returned, -1);
  EXPECT_EQ(p.request.mode, kNoMode);
  EXPECT_EQ(p.request.status, 0);
  EXPECT_EQ(p.out, UsageText());
}

TEST(CommandLine, ASingleArgumentIsAlwaysAProjectFile) {
  for (const char* word : {"proj.prj", "-v", "-h", "-b3", "-x"}) {
    Parsed p = Parse({word});
    EXPECT_EQ(p.returned, 1) << word;
    EXPECT_EQ(p.request.mode, kProjectRun) << word;
    EXPECT_EQ(p.request.count, 1) << word;
    EXPECT_STREQ(p.request.input_file, word);
    EXPECT_EQ(p.request.input_file[kInputFileSize - 1], '\0') << "buffer not cleared";
    EXPECT_EQ(p.out, "");
  }
}

TEST(CommandLine, FirstArgumentSelectsTheModeInTableOrder) {
  struct Case {
    const char* option;
    std::int32_t mode;
  };
  const Case cases[] = {
      {"-slm", kSecantLm},           {"-slmx", kSecantLm},       {"-ms", kMultistart},
      {"-tr", kTrajectoryRepulsion}, {"-trx", kTrajectoryRepulsion},
      {"-t", kTrajectoryRepulsion},  {"-mlsl", kMlsl},           {"-mlslx", kMlsl},
      {"-mls", kMlsl},               {"-s", kSensitivity},       {"-sl", kSensitivity},
      {"-c", kSceCalibration},       {"-calib", kSceCalibration}, {"-b", kBatchRuns},
      {"-b3", kBatchRuns},           {"-m", kMonteCarlo},        {"-ms2", kMonteCarlo},
      {"-ml", kMonteCarlo},          {"-h", kHelp},              {"-help", kHelp},
      {"-v", kVersionBanner},        {"-version", kVersionBanner},
  };
  for (const Case& c : cases) {
    Parsed p = Parse({c.option, "control.in", "ignored"});
    EXPECT_EQ(p.request.mode, c.mode) << c.option;
    EXPECT_STREQ(p.request.input_file, "control.in") << c.option;
    EXPECT_EQ(p.out, "") << c.option;
  }
}

TEST(CommandLine, CountsAfterBatchAndMonteCarloLetters) {
  struct Case {
    const char* option;
    std::int32_t count;
  };
  const Case cases[] = {
      {"-b3", 3},   {"-b", 1},     {"-b0", 0},      {"-m", 1},  {"-m250", 250},
      {"-ms2", 1},  {"-b5x", 5},   {"-bx5", 1},     {"-b-2", -2}, {"-m+7", 7},
      {"-b2147483647", 2147483647},
  };
  for (const Case& c : cases) {
    Parsed p = Parse({c.option, "f"});
    EXPECT_EQ(p.request.count, c.count) << c.option;
    EXPECT_EQ(p.returned, c.count) << c.option;
  }
  // Counts are read only for -b and -m.
  EXPECT_EQ(Parse({"-c9", "f"}).request.count, 1);
  EXPECT_EQ(Parse({"-s9", "f"}).request.count, 1);
}

TEST(CommandLine, ANegativeCountIsNotMistakenForTheUsageCase) {
  Parsed p = Parse({"-b-1", "f"});
  EXPECT_EQ(p.returned, -1);
  EXPECT_EQ(p.request.mode, kBatchRuns);
  EXPECT_EQ(p.out, "");
}

TEST(CommandLine, UnknownOptionsPrintUsage) {
  for (const std::vector<std::string>& words :
       {std::vector<std::string>{"-x", "f"}, {"proj.prj", "second.prj"}, {"-", "f"},
        {"--b3", "f"}, {"x-b3", "f"}}) {
    Parsed p = Parse(words);
    EXPECT_EQ(p.returned, -1) << words[0];
    EXPECT_EQ(p.request.mode, kNoMode) << words[0];
    EXPECT_EQ(p.request.status, 0) << words[0];
    EXPECT_EQ(p.out, UsageText()) << words[0];
  }
}

TEST(CommandLine, NamesThatDoNotFitTheBufferAreRefusedNotCut) {
  const std::string fits(kInputFileSize - 1, 'a');
  Parsed ok = Parse({"-c", fits});
  EXPECT_EQ(ok.request.mode, kSceCalibration);
  EXPECT_EQ(std::string(ok.request.input_file), fits);

  const std::string too_long(kInputFileSize, 'a');
  for (const std::vector<std::string>& words :
       {std::vector<std::string>{too_long}, {"-c", too_long}, {"-b2", too_long}}) {
    Parsed p = Parse(words);
    EXPECT_EQ(p.returned, -1);
    EXPECT_EQ(p.request.mode, kNoMode);
    EXPECT_EQ(p.request.status, 1);
    EXPECT_EQ(p.out, "tarne: the input file name is 2056 characters long; at most 2055 are "
                     "accepted\n");
  }
}

TEST(CommandLine, CountsBeyondThirtyTwoBitsAreRefused) {
  for (const char* option : {"-b2147483648", "-m99999999999999999999999", "-b-2147483649"}) {
    Parsed p = Parse({option, "f"});
    EXPECT_EQ(p.returned, -1) << option;
    EXPECT_EQ(p.request.mode, kNoMode) << option;
    EXPECT_EQ(p.request.status, 1) << option;
    EXPECT_NE(p.out.find("out of range"), std::string::npos) << option;
    EXPECT_NE(p.out.find(option), std::string::npos) << option;
  }
}

}  // namespace
