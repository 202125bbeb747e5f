// The tarne binary from the outside: banners, usage, exit codes, refused arguments, the
// modes that run nothing, and the web start with form data on standard input.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "support/test_support.h"

namespace {

using testing_support::RunProgram;
using testing_support::RunResult;
using testing_support::RunTarne;
using testing_support::TempDir;

const char* const kStartBanner =
    "Parallel version of TARNE \\(8\\.0\\.016 Release, Sep 16 2024\\) "
    "with SCE \\(OpenMP\\), 64 bit, [0-9]+ total threads\\.\n";

bool Matches(const std::string& text, const std::string& pattern) {
  return std::regex_match(text, std::regex(pattern));
}

std::string UsageText() {
  return "\nUsage: tarne [-option] [inputfile]\n\n where -option is one of:\n"
         "      -c = SCE calibration mode (input file is the calibration control file)\n"
         "      -m = Monte Carlo calibration mode (input file is the calibration control file)\n"
         "      -b = batch mode (input file is the batch control file)\n"
         "      -s = sensitivity mode (input file is the sensitivity control file)\n"
         "      -v = display version information (no project will be run)\n"
         "  The c, m, b, v, and f commands are optional and if not present the input file is\n"
         " treated as the project file\n\n"
         "  For the -b option, the command line should be:\n"
         "      tarne -b[num_batch] tarne_inputfile\n\n"
         "  For the -c option, the command line should be:\n"
         "      tarne -c sce_inputfile\n\n"
         "  For the -m option, the command line should be:\n"
         "      tarne -m[num_batch] mc_inputfile\n\n"
         "  For the -s option, the command line should be:\n"
         "      tarne -s sen_inputfile\n\n"
         "  where [num_batch] is the number of batch runs to make, sce_inputfile is the SCE "
         "input file, mc_intputfile is\n"
         "  the Monte Carlo input file, and sen_inputfile is the sensitivity input file.\n\n\n";
}

// The start banner followed by exactly rest.
void ExpectBannerThen(const RunResult& r, const std::string& rest) {
  const std::size_t line_end = r.out.find('\n');
  ASSERT_NE(line_end, std::string::npos) << r.out;
  EXPECT_TRUE(Matches(r.out.substr(0, line_end + 1), kStartBanner)) << r.out;
  EXPECT_EQ(r.out.substr(line_end + 1), rest);
}

TEST(DriverBinary, HelpPrintsOnlyTheStartBanner) {
  TempDir dir;
  RunResult r = RunTarne({"-h", "proj.prj"});
  EXPECT_EQ(r.exit_code, 0);
  ExpectBannerThen(r, "");
  EXPECT_EQ(r.err, "");
}

TEST(DriverBinary, VersionWithASecondWordPrintsTheVersionBanner) {
  TempDir dir;
  RunResult r = RunTarne({"-v", "anything"});
  EXPECT_EQ(r.exit_code, 0);
  const std::size_t line_end = r.out.find('\n');
  const std::string banner = r.out.substr(line_end + 1);
  EXPECT_TRUE(Matches(banner,
                      "\n    -- TARNE version 8\\.0\\.016outlet Release, Sep 16 2024 --\n \n"
                      "(    [^\n]+\n)+\n \n"))
      << banner;
  // The dates of the two banners are the same build date.
  const std::string date = r.out.substr(r.out.find("Release, ") + 9, 11);
  EXPECT_NE(banner.find("Release, " + date + " --"), std::string::npos);
}

TEST(DriverBinary, UsageForNoArgumentUnknownOptionOrTwoNames) {
  TempDir dir;
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{}, {"-x", "proj.prj"}, {"proj.prj", "second.prj"}}) {
    RunResult r = RunTarne(args);
    EXPECT_EQ(r.exit_code, 0);
    ExpectBannerThen(r, UsageText());
  }
}

TEST(DriverBinary, OverlongInputFileNameIsRefusedWithAFailingStatus) {
  TempDir dir;
  const std::string name(3000, 'p');
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{name}, {"-b2", name}, {"-c", name}}) {
    RunResult r = RunTarne(args);
    EXPECT_NE(r.exit_code, 0);
    ExpectBannerThen(r, "tarne: the input file name is 3000 characters long; at most 2055 are "
                        "accepted\n");
  }
}

TEST(DriverBinary, BatchOfZeroPrintsTheMessageAndRunsNothing) {
  TempDir dir;
  RunResult r = RunTarne({"-b0", "missing.prj"});
  EXPECT_EQ(r.exit_code, 0);
  ExpectBannerThen(r, "TARNE is running in batch mode, and is running 0 runs...\n");
}

// Each tool is reached, and fails (status 1) since there is no control file "case".
TEST(DriverBinary, ToolOptionsReachTheirToolAndFailWithoutAControlFile) {
  TempDir dir;
  const std::pair<const char*, const char*> cases[] = {
      {"-slm", "-slm"}, {"-ms", "-ms"}, {"-trx", "-tr"}, {"-mlslx", "-mlsl"}};
  for (const auto& [option, tool] : cases) {
    RunResult r = RunTarne({option, "case"});
    EXPECT_EQ(r.exit_code, 1) << option;
    // A tool not built into this program says so in one line naming the tool's option.
    if (r.out.find("not available") != std::string::npos) {
      EXPECT_NE(r.out.find(std::string(" tool (") + tool + ") is not available in this build\n"),
                std::string::npos)
          << r.out;
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Web start, run directly with the variables a web server would set.

const std::string kWebHead =
    std::string("Content-Type:text/text;charset=iso-8859-1\r\n\n") +
    "<title>TARNE Test Case</title><body><P> Web version of TARNE (8.0.016) with SCE "
    "starting...</P><P>";

RunResult RunWeb(const std::string& form_data, const std::string& content_length) {
  return RunProgram(TARNE_WEB_BINARY, {"-h", "proj.prj"}, form_data,
                    {{"CONTENT_LENGTH", content_length}});
}

TEST(DriverWebStart, EchoesDecodedFormDataWithoutTheStartBanner) {
  TempDir dir;
  RunResult r = RunWeb("a%41b+c", "7");
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out, kWebHead + "aAb c" + "</P></body>\n");
  EXPECT_EQ(RunWeb("%zz", "3").out, kWebHead + "?</P></body>\n");
  EXPECT_EQ(RunWeb("ab%4", "4").out, kWebHead + "ab?</P></body>\n");
}

TEST(DriverWebStart, MissingOrBadContentLengthIsReported) {
  TempDir dir;
  const std::string error = kWebHead + "<P>Error in invocation - wrong FORM probably.</P></body>\n";
  EXPECT_EQ(RunWeb("abc", "\x01unset").out, error);
  EXPECT_EQ(RunWeb("abc", "abc").out, error);
  EXPECT_EQ(RunWeb(std::string(1025, 'x'), "1025").out, error);
}

TEST(DriverWebStart, WebStartStillFollowsTheCommandLine) {
  TempDir dir;
  RunResult r = RunProgram(TARNE_WEB_BINARY, {"-b0", "proj.prj"}, "x", {{"CONTENT_LENGTH", "1"}});
  EXPECT_EQ(r.out, kWebHead + "x" +
                       "TARNE is running in batch mode, and is running 0 runs...\n</P></body>\n");
}

}  // namespace
