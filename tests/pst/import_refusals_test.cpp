// Input the importer cannot read: each is refused with one line naming the file, the line and
// the token or value at fault.
#include <gtest/gtest.h>

#include <string>

#include "case_writer.h"
#include "modellib/file_error.h"
#include "standard_reader.h"
#include "support/test_support.h"

namespace {

using testing_support::TempDir;
using testing_support::WriteFile;

// A valid version 1 file; each case replaces one piece of it.
const std::string kValid =
    "pcf\n* control data\nrestart estimation\n2 3 1 0 1\n1 1 single point\n"
    "10.0 -3.0 0.3 0.01 10\n10.0 10.0 0.001\n0.1\n30 0.01 3 3 0.01 3\n1 1 1\n"
    "* parameter groups\ng relative 0.01 0.0 switch 2.0 parabolic\n* parameter data\n"
    "a none factor 1.0 0.1 10.0 g 1.0 0.0 1\nb log factor 0.1 0.01 2.0 g 1.0 0.0 1\n"
    "* observation groups\nheads\n* observation data\ny1 2.0 1.0 heads\ny2 1.5 1.0 heads\n"
    "y3 1.1 0.5 heads\n* model command line\n./model\n* model input/output\n"
    "model.tpl model.in\nmodel.ins model.out\n* prior information\n";

std::string Replaced(const std::string& from, const std::string& to) {
  std::string text = kValid;
  const std::size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

// The one line tarne-pst prints for the file, or "" when it is accepted.
std::string Refusal(const std::string& path) {
  try {
    pst::BuildCase(pst::ReadStandardControlFile(path), "case.prj", pst::CaseOptions());
  } catch (const pst::ImportError& error) {
    return FileErrorMessage("read", error.at.file.c_str(), error.at.line, error.reason.c_str());
  }
  return "";
}

TEST(ImportRefusals, EachBadFileGetsOneLine) {
  TempDir dir;
  ASSERT_EQ(Refusal((WriteFile("ok.pst", kValid), "ok.pst")), "");
  const std::string prior_terms =
      "p 1 * a + 1 * a + 1 * a + 1 * a + 1 * a + 1 * a + 1 * a + 1 * a + 1 * a + 1 * a + 1 * b = 1 1 heads\n";
  struct Case {
    std::string text;
    std::string line;
  };
  const Case cases[] = {
      {Replaced("pcf\n", "pst\n"), " (line 1): a PEST control file begins with 'pcf', not 'pst'"},
      {Replaced("pcf\n", "pcf version=3\n"), " (line 1): unknown layout 'pcf version=3'"},
      {Replaced("* prior information\n", "* model stuff\n"), " (line 27): unknown section '* model stuff'"},
      {Replaced("2 3 1 0 1\n", "3 3 1 0 1\n"), " (line 4): NPAR is 3 but the file holds 2 parameters"},
      {Replaced("a none factor 1.0", "a none factor x1"), " (line 14): 'x1' is not a number (PARVAL1)"},
      {Replaced("1 1 1\n", ""), " (line 2): the section '* control data' holds 7 lines; 8 are needed"},
      {Replaced("0.01 10\n", "0.01 10 bogus\n"), " (line 6): 'bogus' is not a whole number (JACUPDATE)"},
      {Replaced("0.01 10\n", "0.01 10 999 lamforgive noderforgive 7\n"), " (line 6): unexpected '7' after NUMLAM"},
      {Replaced("30 0.01 3 3 0.01 3", "30 0.01 3.5 3 0.01 3"), " (line 9): '3.5' is not a whole number (NPHISTP)"},
      {Replaced("10.0 -3.0", "-1.0 -3.0"), " (line 6): RLAMBDA1 -1.0 is negative; the initial lambda must be 0 or more"},
      {Replaced("restart estimation", "restart prediction"),
       " (line 3): PESTMODE 'prediction' is not supported: the case can estimate or regularise only"},
      {Replaced("1 1 single point", "1 1 singel point"), " (line 5): PRECIS 'singel' is not single or double"},
      {Replaced("1 1 single point", "1 1 single dot"), " (line 5): DPOINT 'dot' is not point or nopoint"},
      {Replaced("b log factor 0.1 0.01", "b log factor 0.1 0.0"),
       " (line 15): the log parameter b has the value or bound 0.0; its value and bounds must be above 0"},
      {Replaced("a none", "a square"), " (line 14): PARTRANS 'square' of a is not none, log, fixed or tied"},
      {Replaced("2 3 1 0 1", "2 3 1 1 1") + "p 1 * a x 2 * b = 1 1 heads\n",
       " (line 28): 'x' stands where '+', '-' or '=' should follow a prior term"},
      {Replaced("2 3 1 0 1", "2 3 1 1 1") + "p 1.0 a = 1 1 heads\n",
       " (line 28): 'a' stands where '*' should follow a prior factor"},
      {Replaced("2 3 1 0 1", "2 3 1 1 1") + prior_terms, " (line 28): the prior item p has 11 terms; the case takes at most 10"},
      {Replaced("2 3 1 0 1", "2 3 1 1 1") + "p 1 * c = 1 1 heads\n",
       " (line 28): the prior item p names 'c', which is no parameter"},
      {Replaced("b log factor 0.1 0.01 2.0 g 1.0 0.0 1\n", "b log factor 0.1 0.01 2.0 g 1.0 0.0 1\nb a\n"),
       " (line 16): the tie line names b, which is not tied"},
      {Replaced("a none factor 1.0 0.1 10.0 g", "a none factor 1.0 0.1 10.0 q"), " (line 14): the parameter group 'q' is not defined"},
      {Replaced("a none", std::string(100, 'p') + " none"),
       " (line 14): the parameter name '" + std::string(100, 'p') + "' is longer than the 99 characters the case can hold"},
      {Replaced("./model\n", ""), ": the file names no model command"},
      {kValid + "++ lambdas(0.1\n", " (line 28): the option 'lambdas(0.1' is not written name(value)"},
      {kValid + "* observation groups\nheads\n", " (line 28): the section '* observation groups' is given twice"},
      {Replaced("restart estimation\n", "restart estimation\nextra words\n"),
       " (line 2): the section '* control data' holds 9 lines; 8 are needed"},
  };
  for (const Case& c : cases) {
    WriteFile("bad.pst", c.text);
    EXPECT_EQ(Refusal("bad.pst"), "cannot read bad.pst" + c.line);
  }
  EXPECT_EQ(Refusal("missing.pst"), "cannot read missing.pst: No such file or directory");
}

TEST(ImportRefusals, BadCsvFilesOfTheSecondLayout) {
  TempDir dir;
  const std::string control =
      "pcf version=2\n* control data keyword\nnoptmax 3\n* parameter data external\np.csv\n"
      "* observation data external\no.csv\n* model command line\n./model\n";
  WriteFile("c.pst", control);
  WriteFile("o.csv", "obsnme,obsval,weight,obgnme\ny1,1,1,heads\n");
  struct Case {
    std::string csv;
    std::string line;
  };
  const Case cases[] = {
      {"parnme,partrans,parval1,parlbnd,parubnd\na,none,1,0,2\n",
       "cannot read p.csv (line 1): the header row has no column 'pargp'"},
      {"parnme,partrans,parval1,parlbnd,parubnd,pargp\na,none,1,0,2,g,extra\n",
       "cannot read p.csv (line 2): the row has 7 fields but the header names 6 columns"},
      {"parnme,partrans,parval1,parlbnd,parubnd,pargp\n\"a,none,1,0,2,g\n",
       "cannot read p.csv (line 2): a quoted field is not closed"},
      {"parnme,partrans,parval1,parlbnd,parubnd,pargp\na,none,one,0,2,g\n",
       "cannot read p.csv (line 2): 'one' is not a number (PARVAL1)"},
      {"parnme,partrans,parval1,parlbnd,parubnd,pargp\n\"a b\",none,1,0,2,g\n",
       "cannot read p.csv (line 2): the parameter name 'a b' is not one word of visible "
       "characters, as the case's control file needs"},
  };
  for (const Case& c : cases) {
    WriteFile("p.csv", c.csv);
    EXPECT_EQ(Refusal("c.pst"), c.line);
  }
  WriteFile("p.csv", "parnme,partrans,parval1,parlbnd,parubnd,pargp\na,none,1,0,2,g\n");
  WriteFile("c.pst", control + "* prior information external\nmissing.csv\n");
  EXPECT_EQ(Refusal("c.pst"), "cannot read missing.csv: No such file or directory");
  WriteFile("c.pst", "pcf version=2\n* control data keyword\nnoptmax\n");
  EXPECT_EQ(Refusal("c.pst"), "cannot read c.pst (line 3): the keyword 'noptmax' has no value");
}

}  // namespace
