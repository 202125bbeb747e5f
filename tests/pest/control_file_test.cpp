#include "pest/control_file.h"
#include "pest/parameters.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace {

using testing_support::ReadFile;
using testing_support::SourcePath;
using testing_support::TempDir;
using testing_support::WriteFile;

// The complete small problem under tests/data: three parameters (log, none, tied), four
// observations in three groups, one template and one instruction pair, one prior item.
std::string Fixture() { return ReadFile(SourcePath("tests/data/pest/control/case.pst")); }

// The fixture with the first occurrence of `from` replaced; the test fails when absent.
std::string Edited(const std::string& text, const std::string& from, const std::string& to) {
  std::string result = text;
  size_t at = result.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) result.replace(at, from.size(), to);
  return result;
}

// Writes the text as case.pst, reads it and returns the status with standard output.
short ReadText(const std::string& text, ProblemRecord& record, std::string* out = nullptr) {
  WriteFile("case.pst", text);
  testing::internal::CaptureStdout();
  short status = ReadControlFile(record, "case");
  std::string printed = testing::internal::GetCapturedStdout();
  if (out != nullptr) *out = printed;
  return status;
}

// A control file with the given parameter lines (and tie lines) and no prior information.
std::string WithParameters(int npar, const std::string& parameter_lines) {
  std::string text = Edited(Fixture(), "3 4 3 1 3", std::to_string(npar) + " 4 3 0 3");
  size_t begin = text.find("k1 log factor");
  size_t end = text.find("* observation groups");
  text.replace(begin, end - begin, parameter_lines);
  return text.substr(0, text.find("pi1 "));
}

TEST(ReadControlFile, ReadsEveryFieldOfTheFixture) {
  TempDir dir;
  ProblemRecord r;
  ASSERT_EQ(ReadText(Fixture(), r), 0);
  EXPECT_STREQ(r.first_line, "pcf\n");
  EXPECT_STREQ(r.second_line, "* control data\n");
  EXPECT_STREQ(r.RSTFLE, "restart");
  EXPECT_STREQ(r.PESTMODE, "estimation");
  EXPECT_EQ(r.NPAR, 3);
  EXPECT_EQ(r.NOBS, 4);
  EXPECT_EQ(r.NPARGP, 3);
  EXPECT_EQ(r.NPRIOR, 1);
  EXPECT_EQ(r.NOBSGP, 3);
  EXPECT_EQ(r.NTPLFLE, 1);
  EXPECT_EQ(r.NINSFLE, 1);
  EXPECT_STREQ(r.PRECIS, "single");
  EXPECT_STREQ(r.DPOINT, "point");
  EXPECT_EQ(r.RLAMBDA1, 5.0);
  EXPECT_EQ(r.RLAMFAC, 2.0);
  EXPECT_EQ(r.PHIRATSUF, 0.3);
  EXPECT_EQ(r.PHIREDLAM, 0.03);
  EXPECT_EQ(r.NUMLAM, 10);
  EXPECT_EQ(r.FACORIG, 0.001);
  EXPECT_EQ(r.PHIREDSWH, 0.1);
  EXPECT_STREQ(r.ignored_word, "noaui");
  EXPECT_EQ(r.NOPTMAX, 30);
  EXPECT_EQ(r.PHIREDSTP, 0.01);
  EXPECT_EQ(r.NPHISTP, 3);
  EXPECT_EQ(r.NPHINORED, 3);
  EXPECT_EQ(r.RELPARSTP, 0.01);
  EXPECT_EQ(r.NRELPAR, 3);
  EXPECT_EQ(r.SLMMODE, 0);
  EXPECT_EQ(r.SLMFULLUPD, 0);
  EXPECT_EQ(r.SLMFULLRAT, 1.1);
  EXPECT_EQ(r.SLMNCOL, 1);
  EXPECT_EQ(r.LSDISTMIN, 0.001);
  EXPECT_STREQ(r.PROJFLE, "catchment.prj");

  ASSERT_EQ(r.groups.size(), 4u);
  EXPECT_STREQ(r.groups[1].FORCEN, "switch");
  EXPECT_STREQ(r.groups[2].DERMTHD, "outside_pts");
  EXPECT_STREQ(r.groups[3].PARGPNME, "g3");
  EXPECT_EQ(r.groups[3].DERINC, 0.5);

  ASSERT_EQ(r.parameters.size(), 4u);
  EXPECT_STREQ(r.parameters[2].PARNME, "k2");
  EXPECT_STREQ(r.parameters[2].PARTRANS, "none");
  EXPECT_EQ(r.parameters[2].value, 0.5);
  EXPECT_EQ(r.parameters[2].PARLBND, 0.1);
  EXPECT_STREQ(r.parameters[2].PARGP, "g2");
  EXPECT_EQ(r.parameters[3].DERCOM, 1);
  EXPECT_STREQ(r.parameters[3].tie_line_name, "k3");
  EXPECT_STREQ(r.parameters[3].PARTIED, "k1");

  ASSERT_EQ(r.observation_groups.size(), 4u);
  EXPECT_STREQ(r.observation_groups[3].OBGNME, "regul");
  ASSERT_EQ(r.observations.size(), 5u);
  EXPECT_STREQ(r.observations[3].OBSNME, "q1");
  EXPECT_EQ(r.observations[3].OBSVAL, 0.35);
  EXPECT_EQ(r.observations[3].WEIGHT, 2.0);
  EXPECT_STREQ(r.observations[3].OBGNME, "flows");

  EXPECT_STREQ(r.PREBATCH, "prebatch.bat");
  EXPECT_STREQ(r.POSTBATCH, "true");
  ASSERT_EQ(r.templates.size(), 2u);
  EXPECT_STREQ(r.templates[1].TEMPFLE, "model.tpl");
  EXPECT_STREQ(r.templates[1].INFLE, "model.in");
  ASSERT_EQ(r.instructions.size(), 2u);
  EXPECT_STREQ(r.instructions[1].INSFLE, "out.ins");
  EXPECT_STREQ(r.instructions[1].OUTFLE, "model.out");
}

// Read for a caller that writes the list itself (once every other input is checked):
// nothing is written, and the list is the one the plain read writes.
TEST(ReadControlFile, CanHandTheReplacementListBackUnwritten) {
  TempDir dir;
  ProblemRecord r;
  WriteFile("case.pst", Fixture());
  std::string list;
  ASSERT_EQ(ReadControlFile(r, "case", list), 0);
  EXPECT_FALSE(testing_support::FileExists("tarne.in"));
  ASSERT_TRUE(WriteReplacementList(list));
  EXPECT_EQ(ReadFile("tarne.in"),
            "3\n[k1] \"%16.8lf\"\n[k2] \"%16.8lf\"\n[k3] \"%16.8lf\"\n");
}

// Header texts are free, but a header where another line stands, or the header of another
// known section, shows a count or a section that is wrong.
TEST(ReadControlFile, ChecksWhatStandsWhereASectionBegins) {
  TempDir dir;
  const struct {
    std::string text;
    std::string message;  // empty: the file is read
  } cases[] = {
      {Edited(Fixture(), "* observation data", "*   OBSERVATION   Data"), ""},
      {Edited(Fixture(), "* model command line", "* commands"), ""},
      {Edited(Fixture(), "3 4 3 1 3", "3 4 3 0 3").substr(0, Fixture().find("* prior")), ""},
      {Edited(Fixture(), "heads\nflows\nregul\n", "heads\nflows\nregul\n\n"),
       "(line 27): an empty line stands where the section \"* observation data\" should "
       "begin: the observation groups section holds more lines than NOBSGP (3)"},
      {Edited(Fixture(), "k3 k1\n", ""),
       "(line 22): the tie line of k3 is missing: a section header stands in its place"},
      {Edited(Fixture(), "* prior information\n", ""),
       "(line 38): \"pi1 1.0 * k1 - 2.5 * log(k2) = 3.0 1.0 regul\" stands where the section "
       "\"* prior information\" should begin: the model input/output section holds more lines "
       "than NTPLFLE + NINSFLE (2)"},
  };
  for (const auto& c : cases) {
    ProblemRecord r;
    std::string out;
    const short status = ReadText(c.text, r, &out);
    if (c.message.empty()) {
      EXPECT_EQ(status, 0) << out;
    } else {
      EXPECT_EQ(status, 1);
      EXPECT_NE(out.find("cannot read case.pst " + c.message), std::string::npos) << out;
    }
  }
}

TEST(ReadControlFile, WithoutParametersTheReplacementListIsEmpty) {
  TempDir dir;
  ProblemRecord r;
  std::string text = WithParameters(0, "");
  text = Edited(text, "0 4 3 0 3", "0 4 0 0 3");
  size_t begin = text.find("g1 relative");
  text.erase(begin, text.find("* parameter data") - begin);
  ASSERT_EQ(ReadText(text, r), 0);
  EXPECT_TRUE(testing_support::FileExists("tarne.in"));
  EXPECT_EQ(ReadFile("tarne.in"), "");
  // The empty sections do not shift the sections after them.
  EXPECT_STREQ(r.observation_groups[1].OBGNME, "heads");
  EXPECT_STREQ(r.observations[4].OBSNME, "q2");
  EXPECT_STREQ(r.instructions[1].OUTFLE, "model.out");
}

TEST(ReadControlFile, AddsTheExtensionOnlyToANameWithoutAPoint) {
  TempDir dir;
  ProblemRecord r;
  WriteFile("case.dat", Fixture());
  testing::internal::CaptureStdout();
  EXPECT_EQ(ReadControlFile(r, "case.dat"), 0);
  ASSERT_EQ(mkdir("run.1", 0755), 0);
  WriteFile("run.1/case", Fixture());
  EXPECT_EQ(ReadControlFile(r, "run.1/case"), 0);
  testing::internal::GetCapturedStdout();

  // "case" means case.pst, which does not exist here even though case.dat does.
  testing::internal::CaptureStderr();
  EXPECT_EQ(ReadControlFile(r, "case"), 1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "cannot open case.pst: No such file or directory\nCannot open case.pst \n");
  WriteFile("case.pst", Fixture());
  EXPECT_EQ(ReadControlFile(r, "case"), 0);
}

TEST(ReadControlFile, StoresLogParametersAsLogarithms) {
  TempDir dir;
  ProblemRecord r;
  ASSERT_EQ(ReadText(Fixture(), r), 0);
  const Parameter& k1 = r.parameters[1];
  EXPECT_DOUBLE_EQ(k1.value, std::log10(2.0));
  EXPECT_DOUBLE_EQ(k1.PARLBND, std::log10(0.5));
  EXPECT_DOUBLE_EQ(k1.PARUBND, 1.0);
}

TEST(ReadControlFile, FlagsValuesOnTheirBounds) {
  TempDir dir;
  ProblemRecord r;
  // k1 sits on its upper bound after the logarithm, k2 on its upper bound, k3 on its lower.
  std::string text = WithParameters(3,
                                    "k1 log factor 10.0 0.5 10.0 g1 1.0 0.0 1\n"
                                    "k2 none relative 0.5 0.1 0.5 g2 1.0 0.0 1\n"
                                    "k3 none relative 1.0 1.0 8.0 g3 1.0 0.0 1\n");
  ASSERT_EQ(ReadText(text, r), 0);
  EXPECT_EQ(r.parameters[1].at_upper, 1);
  EXPECT_EQ(r.parameters[1].at_lower, 0);
  EXPECT_EQ(r.parameters[2].at_upper, 1);
  EXPECT_EQ(r.parameters[2].at_lower, 0);
  EXPECT_EQ(r.parameters[3].at_upper, 0);
  EXPECT_EQ(r.parameters[3].at_lower, 1);
}

TEST(ReadControlFile, ReadsTheSingularValueSectionOnlyUnderItsHeader) {
  TempDir dir;
  ProblemRecord r;
  std::string text = Edited(Fixture(), "* parameter groups\n",
                            "* singular value decomposition\n1\n5 5e-7\n0\n* parameter groups\n");
  ASSERT_EQ(ReadText(text, r), 0);
  EXPECT_EQ(r.SVDMODE, 1);
  EXPECT_EQ(r.MAXSING, 5);
  EXPECT_EQ(r.EIGTHRESH, 5e-7);
  EXPECT_EQ(r.EIGWRITE, 0);
  EXPECT_STREQ(r.groups[1].PARGPNME, "g1");

  // Any other header is the parameter-groups header itself.
  ProblemRecord plain;
  ASSERT_EQ(ReadText(Edited(Fixture(), "* parameter groups", "* groups of parameters"), plain), 0);
  EXPECT_EQ(plain.SVDMODE, 0);
  EXPECT_STREQ(plain.groups[1].PARGPNME, "g1");
}

TEST(ReadControlFile, ReadsPriorItemsTermByTerm) {
  TempDir dir;
  ProblemRecord r;
  std::string text = Edited(Fixture(), "3 4 3 1 3", "3 4 3 2 3") +
                     "pi2 -1.5 * k3 + 4 * k2 + 0.5 * log(k1) = -2 0.5 heads\n";
  ASSERT_EQ(ReadText(text, r), 0);
  const PriorItem& pi1 = r.priors[1];
  EXPECT_STREQ(pi1.PILBL, "pi1");
  ASSERT_EQ(pi1.num_terms, 2);
  EXPECT_EQ(pi1.factors[1], 1.0);
  EXPECT_EQ(pi1.factors[2], -2.5);
  EXPECT_STREQ(pi1.term_names[1], "k1");
  EXPECT_STREQ(pi1.term_names[2], "k2");
  EXPECT_EQ(pi1.PIVAL, 3.0);
  EXPECT_EQ(pi1.WEIGHT, 1.0);
  EXPECT_STREQ(pi1.OBGNME, "regul");

  const PriorItem& pi2 = r.priors[2];
  ASSERT_EQ(pi2.num_terms, 3);
  EXPECT_EQ(pi2.factors[1], -1.5);
  EXPECT_EQ(pi2.factors[2], 4.0);
  EXPECT_EQ(pi2.factors[3], 0.5);
  EXPECT_STREQ(pi2.term_names[3], "k1");
  EXPECT_EQ(pi2.PIVAL, -2.0);
  EXPECT_STREQ(pi2.OBGNME, "heads");
}

TEST(ReadControlFile, ReadsATokenThatFillsItsField) {
  TempDir dir;
  ProblemRecord r;
  std::string fits(kTextField - 1, 'p');
  ASSERT_EQ(ReadText(Edited(Fixture(), "k2 none", fits + " none"), r), 0);
  EXPECT_EQ(std::string(r.parameters[2].PARNME), fits);

  // Observation names have room for 103 characters (prior labels for 23: see the refusals).
  std::string name103(kObsNameField - 1, 'h');
  ASSERT_EQ(ReadText(Edited(Fixture(), "h2 12.5", name103 + " 12.5"), r), 0);
  EXPECT_EQ(std::string(r.observations[2].OBSNME), name103);
}

// A file that cannot be read is refused with its line and what is wrong: a number that is no
// number, not finite or out of range, a prior item that is not a sum of terms, a file that
// ends early, a token longer than its field, a line beyond the limit. Numbers at the edges of the range are read like any other.
TEST(ReadControlFile, RefusesBadItemsAndKeepsFiniteExtremes) {
  TempDir dir;
  ProblemRecord r;
  std::string out;
  const std::string pi1 = "pi1 1.0 * k1 - 2.5 * log(k2) = 3.0 1.0 regul";
  std::string eleven = "pi4";
  for (int k = 1; k <= 11; ++k) eleven += std::string(k == 1 ? "" : " +") + " 1 * k1";
  const struct {
    std::string text;
    std::string whole;               // the whole output, or
    std::vector<std::string> parts;  // parts of it
  } refused[] = {
      {Edited(Fixture(), "k2 none relative 0.5", "k2 none relative nan"),
       "cannot read case.pst (line 20): \"nan\" is not a finite number (PARVAL1 of parameter 2)\n",
       {}},
      {Edited(Fixture(), "0.5 0.1 0.5 g2", "0.5 0.1 inf g2"),
       "cannot read case.pst (line 20): \"inf\" is not a finite number (PARUBND of parameter 2)\n",
       {}},
      {Edited(Fixture(), "h2 12.5", "h2 -1e999"),
       "cannot read case.pst (line 29): \"-1e999\" is not a finite number (OBSVAL of "
       "observation 2)\n",
       {}},
      {Edited(Fixture(), "5.0 2.0 0.3", "NAN 2.0 0.3"),
       "cannot read case.pst (line 6): \"NAN\" is not a finite number (RLAMBDA1)\n", {}},
      {Edited(Fixture(), "h2 12.5", "h2 12,5"),
       "cannot read case.pst (line 29): \"12,5\" is not a number (OBSVAL of observation 2)\n",
       {}},
      {Edited(Fixture(), "30 0.01", "3.5 0.01"), "", {"\"3.5\" is not an integer (NOPTMAX)"}},
      {Edited(Fixture(), "3 4 3 1 3", "3 -4 3 1 3"), "", {"NOBS is -4"}},
      // A count no file of this size can hold is refused before storage is taken for it.
      {Edited(Fixture(), "3 4 3 1 3", "3 2000000000 3 1 3"), "", {"NOBS is 2000000000"}},
      {Edited(Fixture(), "k1 log factor 2.0 0.5 10.0", "k1 log factor 2.0 0.0 10.0"),
       "\nThe log transformed parameter k1 has an input value less than zero!"
       "\nProgram terminating.\n",
       {}},
      {Edited(Fixture(), pi1, "pi3 2.0 k1 * k2 = 0 1 g"), "Error reading prior information", {}},
      {Edited(Fixture(), pi1, eleven + " = 0 1 g"), "", {"case.pst (line 39)", "11 terms"}},
      // A missing "=" would otherwise shift PIVAL and WEIGHT onto the wrong tokens.
      {Edited(Fixture(), "= 3.0 1.0 regul", "3.0 1.0 regul"), "", {"\"=\""}},
      {Edited(Fixture(), "log(k2)", "log(k2"), "", {"log(k2"}},
      {Fixture().substr(0, Fixture().find("q1 0.35")),
       "cannot read case.pst (line 30): the file ends before OBSNME of observation 3\n", {}},
      {Fixture().substr(0, Fixture().find("5.0 2.0 0.3")), "",
       {"the file ends before RLAMBDA1"}},
      // Regularisation mode needs its settings.
      {Edited(Fixture(), "restart estimation", "norestart regularization"), "",
       {"the file ends before PHIMLIM"}},
      {Edited(Fixture(), "k2 none", std::string(kTextField, 'p') + " none"), "",
       {"cannot read case.pst (line 20): the token \"ppp", "PARNME of parameter 2"}},
      {Edited(Fixture(), "pi1 ", std::string(kPriorLabelField, 'l') + " "), "",
       {"PILBL of prior item 1"}},
      {Edited(Fixture(), "catchment.prj", std::string(1 << 20, 'c') + "x"),
       "cannot read case.pst (line 13): the line is longer than 1048576 characters\n", {}},
  };
  for (const auto& c : refused) {
    EXPECT_EQ(ReadText(c.text, r, &out), 1) << out;
    if (!c.whole.empty()) {
      EXPECT_EQ(out, c.whole);
    }
    for (const std::string& part : c.parts) EXPECT_NE(out.find(part), std::string::npos) << out;
  }
  std::string extremes = Edited(Fixture(), "k2 none relative 0.5 0.1 0.5",
                                "k2 none relative -0 -1e-300 1e-400");
  ASSERT_EQ(ReadText(Edited(extremes, "h2 12.5", "h2 1e-320"), r, &out), 0) << out;
  EXPECT_EQ(r.parameters[2].value, 0.0);
  EXPECT_EQ(r.parameters[2].PARLBND, -1e-300);
  EXPECT_EQ(r.parameters[2].PARUBND, 0.0);  // below the smallest double: zero
  EXPECT_EQ(r.observations[2].OBSVAL, 1e-320);
}

// "tarne.in" is replaced only after a complete read, through a temporary file and a rename:
// a missing or malformed control file leaves the earlier list as it was.
TEST(ReadControlFile, AFailedReadLeavesTheReplacementListAsItWas) {
  TempDir dir;
  ProblemRecord r;
  WriteFile("tarne.in", "earlier list\n");
  testing::internal::CaptureStderr();
  EXPECT_EQ(ReadControlFile(r, "absent"), 1);
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(ReadFile("tarne.in"), "earlier list\n");
  std::string out;
  const std::string after_parameters = Fixture().substr(0, Fixture().find("h2 12.5"));
  EXPECT_EQ(ReadText(after_parameters, r, &out), 1);
  EXPECT_EQ(ReadFile("tarne.in"), "earlier list\n");
  ASSERT_EQ(ReadText(Fixture(), r, &out), 0) << out;
  EXPECT_EQ(ReadFile("tarne.in"), "3\n[k1] \"%16.8lf\"\n[k2] \"%16.8lf\"\n[k3] \"%16.8lf\"\n");
  EXPECT_FALSE(testing_support::FileExists("tarne.in.tmp"));

  // A list that cannot be put in place is reported, and no temporary file stays behind.
  std::remove("tarne.in");
  ASSERT_EQ(mkdir("tarne.in", 0755), 0);
  EXPECT_EQ(ReadText(Fixture(), r, &out), 1);
  EXPECT_EQ(out, "cannot write tarne.in: Is a directory\n");
  EXPECT_FALSE(testing_support::FileExists("tarne.in.tmp"));
}

// A directory, device or pipe named as the control file is refused at once with what it is,
// on the line before the fixed message.
TEST(ReadControlFile, RefusesWhatIsNotARegularFile) {
  TempDir dir;
  ProblemRecord r;
  ASSERT_EQ(mkdir("dir.pst", 0755), 0);
  ASSERT_EQ(mkfifo("pipe.pst", 0644), 0);  // opening it for reading must not wait for a writer
  testing::internal::CaptureStderr();
  EXPECT_EQ(ReadControlFile(r, "dir"), 1);
  EXPECT_EQ(ReadControlFile(r, "pipe"), 1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "cannot open dir.pst: it is a directory, not a regular file\n"
            "Cannot open dir.pst \n"
            "cannot open pipe.pst: it is a pipe, not a regular file\n"
            "Cannot open pipe.pst \n");
}

TEST(ReadControlFile, RegularisationSettingsAreNeededOnlyInThatMode) {
  TempDir dir;
  ProblemRecord r;
  std::string settings = "* regularisation\n1e-10 1.05e-10 0.1\n1.0 1e-10 1e10\n1.3 1e-2\n";
  ASSERT_EQ(ReadText(Fixture() + settings, r), 0);
  EXPECT_EQ(r.PHIMLIM, 1e-10);
  EXPECT_EQ(r.PHIMACCEPT, 1.05e-10);
  EXPECT_EQ(r.WFINIT, 1.0);
  EXPECT_EQ(r.WFCUR, 1.0);
  EXPECT_EQ(r.WFTOL, 1e-2);

  std::string regularisation = Edited(Fixture(), "restart estimation", "norestart regularization");
  ASSERT_EQ(ReadText(regularisation + settings, r), 0);
  EXPECT_EQ(r.WFMAX, 1e10);  // without the settings: see the refusals
}

TEST(CountParameterTypes, CountsKindsAndAdjustableIwParameters) {
  TempDir dir;
  ProblemRecord r;
  std::string text = WithParameters(4,
                                    "iw_soil none relative 1.0 0.5 2.0 g1 1.0 0.0 1\n"
                                    "iw_rock fixed relative 1.0 0.5 2.0 g1 1.0 0.0 1\n"
                                    "k1 log factor 2.0 0.5 10.0 g1 1.0 0.0 1\n"
                                    "k3 tied relative 4.0 1.0 8.0 g3 1.0 0.0 1\n"
                                    "k3 k1\n");
  ASSERT_EQ(ReadText(text, r), 0);
  r.frozen_count = 5;
  r.no_effect_count = 6;
  CountParameterTypes(r);
  EXPECT_EQ(r.NUMADJ, 2);
  EXPECT_EQ(r.NUMFIXED, 1);
  EXPECT_EQ(r.NUMTIED, 1);
  EXPECT_EQ(r.NUMIW, 1);
  EXPECT_EQ(r.frozen_count, 0);
  EXPECT_EQ(r.no_effect_count, 0);
  EXPECT_EQ(r.parameters[1].iw_flag, 1);
  EXPECT_STREQ(r.parameters[1].iw_name, "soil");
  EXPECT_EQ(r.parameters[2].iw_flag, 0);
  EXPECT_STREQ(r.parameters[2].iw_name, "");

  // The same name on a fixed parameter gets neither the flag nor the name.
  SetParameterTransform(r.parameters[1], "fixed");
  CountParameterTypes(r);
  EXPECT_EQ(r.parameters[1].iw_flag, 0);
  EXPECT_STREQ(r.parameters[1].iw_name, "");
  EXPECT_EQ(r.NUMIW, 0);
  EXPECT_EQ(r.NUMFIXED, 2);
}

TEST(SetTiedParameters, RatioInNaturalUnitsOfALogParent) {
  TempDir dir;
  ProblemRecord r;
  std::string text = WithParameters(3,
                                    "k1 log factor 1.0 0.5 10.0 g1 1.0 0.0 1\n"
                                    "k2 none relative 0.5 0.1 0.5 g2 1.0 0.0 1\n"
                                    "k3 tied relative 2.0 1.0 8.0 g3 1.0 0.0 1\n"
                                    "k3 k1\n");
  ASSERT_EQ(ReadText(text, r), 0);
  ASSERT_EQ(r.parameters[1].value, 0.0);
  CountParameterTypes(r);
  EXPECT_EQ(SetTiedParameters(r), 0);
  EXPECT_EQ(r.parameters[3].parent_index, 1);
  EXPECT_DOUBLE_EQ(r.parameters[3].tie_ratio, 2.0);
  EXPECT_EQ(r.parameters[2].parent_index, 0);
  EXPECT_EQ(r.parameters[2].tie_ratio, 1.0);

  // A parent name that matches nothing leaves the parameter untied.
  std::strcpy(r.parameters[3].PARTIED, "k9");
  EXPECT_EQ(SetTiedParameters(r), 0);
  EXPECT_EQ(r.parameters[3].parent_index, 0);
  EXPECT_EQ(r.parameters[3].tie_ratio, 1.0);
}

TEST(SetTiedParameters, RefusesAParentAtZero) {
  TempDir dir;
  ProblemRecord r;
  std::string text = WithParameters(2,
                                    "k2 none relative 0.0 -1.0 1.0 g2 1.0 0.0 1\n"
                                    "k3 tied relative 2.0 1.0 8.0 g3 1.0 0.0 1\n"
                                    "k3 k2\n");
  ASSERT_EQ(ReadText(text, r), 0);
  CountParameterTypes(r);
  testing::internal::CaptureStdout();
  EXPECT_EQ(SetTiedParameters(r), 1);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("k3 cannot follow k2"), std::string::npos);
}

}  // namespace
