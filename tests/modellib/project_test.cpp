// The project file reader: keywords, values, kinds, and the file-and-line message of every
// fault.
#include "modellib/project.h"

#include <gtest/gtest.h>

#include "modellib/text_util.h"
#include "support/test_support.h"

namespace tarne {
namespace {

using testing_support::TempDir;
using testing_support::WriteFile;

// Reads text as a project; returns the status and keeps the message in *err.
int Read(const std::string& text, Project* project, std::string* err) {
  WriteFile("p.prj", text);
  testing::internal::CaptureStderr();
  const int status = ReadProject("p.prj", project);
  *err = testing::internal::GetCapturedStderr();
  return status;
}

const char kHydro[] =
    "kind hydro\ngrid 3 2\nforcing f.txt\noutput q.out\noutlet 3 2\ntime_step 1\n"
    "parameter soil_capacity 100\nparameter shape 2\nparameter fast_k 10\n"
    "parameter slow_k 100\nparameter split 0.5\nparameter velocity 1\n";

TEST(Project, ReadsAFunctionProjectWithCommentsAndReplacement) {
  TempDir dir;
  Project p;
  std::string err;
  ASSERT_EQ(Read("# test\n\nkind function   # kind\nfunction branin\n"
                 "parameter x1 [x1]\nparameter x2 2.5\nreplace l.in\nvalues v.in\noutput o.txt\n",
                 &p, &err), 0) << err;
  EXPECT_EQ(p.kind, ModelKind::kFunction);
  EXPECT_EQ(p.function_name, "branin");
  ASSERT_EQ(p.parameters.size(), 2u);
  EXPECT_EQ(p.parameters[0].value_text, "[x1]");
  EXPECT_EQ(p.parameters[1].line, 6);
  EXPECT_EQ(p.replace_list, "l.in");
  EXPECT_EQ(KeywordLine(p, "output"), 9);
  EXPECT_EQ(FindParameter(p, "X2"), 1);
  EXPECT_TRUE(err.empty());
}

TEST(Project, ReadsAHydroProjectAndItsDefaults) {
  TempDir dir;
  Project p;
  std::string err;
  ASSERT_EQ(Read(kHydro, &p, &err), 0) << err;
  EXPECT_EQ(p.grid_columns, 3);
  EXPECT_EQ(p.grid_rows, 2);
  EXPECT_EQ(p.outlet_column, 3);
  EXPECT_DOUBLE_EQ(p.time_step, 1.0);
  EXPECT_DOUBLE_EQ(p.cell_size, 1000.0);
  EXPECT_DOUBLE_EQ(p.initial_soil, 0.5);
}

TEST(Project, ExternalCommandTakesTheRestOfTheLine) {
  TempDir dir;
  Project p;
  std::string err;
  ASSERT_EQ(Read("kind external\ncommand  sh run.sh a  b > log # shell comment \n", &p, &err), 0)
      << err;
  ASSERT_EQ(p.commands.size(), 1u);
  EXPECT_EQ(p.commands[0].text, "sh run.sh a  b > log # shell comment");
}

// Commands and templates may be given on several lines; they are kept in order with their
// lines, and a template line needs both of its files.
TEST(Project, ExternalCommandsAndTemplatesRepeat) {
  TempDir dir;
  Project p;
  std::string err;
  ASSERT_EQ(Read("kind external\ntemplate a.tpl a.in\ncommand ./first\ntemplate b.tpl b.in\n"
                 "command ./second x\n", &p, &err), 0) << err;
  ASSERT_EQ(p.commands.size(), 2u);
  EXPECT_EQ(p.commands[1].text, "./second x");
  EXPECT_EQ(p.commands[1].line, 5);
  ASSERT_EQ(p.templates.size(), 2u);
  EXPECT_EQ(p.templates[1].template_file, "b.tpl");
  EXPECT_EQ(p.templates[1].input_file, "b.in");
  EXPECT_EQ(p.templates[1].line, 4);
  EXPECT_EQ(Read("kind external\ntemplate a.tpl\n", &p, &err), 1);
  EXPECT_NE(err.find("p.prj (line 2): missing value after 'template'"), std::string::npos) << err;
  EXPECT_EQ(Read("kind function\nfunction griewank\nparameter x 1\ntemplate a.tpl a.in\n", &p,
                 &err), 1);
  EXPECT_NE(err.find("p.prj (line 4): 'template' is not used by a function model"),
            std::string::npos) << err;
}

struct BadProject {
  const char* text;
  const char* message;  // expected part of the message, with file and line
};

TEST(Project, ReportsEveryFaultWithFileAndLine) {
  TempDir dir;
  const BadProject cases[] = {
      {"kind function\nfuncton rosenbrock\n", "p.prj (line 2): unknown keyword 'funct"},
      {"kind function\nfunction\n", "p.prj (line 2): missing value after 'function'"},
      {"kind function\nparameter x1\n", "p.prj (line 2): missing value after 'parameter'"},
      {"kind function\noutput a b\n", "p.prj (line 2): unexpected text"},
      {"kind function\nkind hydro\n", "p.prj (line 2): 'kind' given twice (first on line 1)"},
      {"kind river\n", "p.prj (line 1): unknown model kind 'river'"},
      {"function rosenbrock\n", "p.prj: the project names no model 'kind'"},
      {"kind function\nfunction rosenbrock\nparameter a 1\nparameter A 2\n",
       "p.prj (line 4): parameter A given twice"},
      {"kind function\nfunction sphere\nparameter a 1\n", "p.prj (line 2): unknown function"},
      {"kind function\nfunction branin\nparameter a 1\n",
       "p.prj (line 2): branin takes 2 parameters, the project gives 1"},
      {"kind function\nfunction rosenbrock\ngrid 2 2\nparameter a 1\nparameter b 1\n",
       "p.prj (line 3): 'grid' is not used by a function model"},
      {"kind external\nreplace l.in\n", "p.prj (line 2): 'replace' and 'values'"},
      {"kind external\nparameter a[1] 2\n", "p.prj (line 2): a parameter name may not"},
      {"kind hydro\ngrid 0 2\n", "p.prj (line 2): '0' is not a whole number"},
      {"kind hydro\ncell_size big\n", "p.prj (line 2): 'big' is not a number"},
  };
  for (const BadProject& c : cases) {
    Project p;
    std::string err;
    EXPECT_EQ(Read(c.text, &p, &err), 1) << c.text;
    EXPECT_NE(err.find(c.message), std::string::npos) << c.text << "\ngot: " << err;
    EXPECT_EQ(err.rfind("cannot ", 0), 0u) << err;
  }
}

TEST(Project, HydroNeedsItsFilesGridAndExactlyItsSixParameters) {
  TempDir dir;
  const std::string hydro = kHydro;
  Project p;
  std::string err;
  std::string text = hydro;
  text.replace(text.find("forcing f.txt\n"), 14, "");
  EXPECT_EQ(Read(text, &p, &err), 1);
  EXPECT_NE(err.find("needs 'forcing'"), std::string::npos) << err;
  text = hydro;
  text.replace(text.find("parameter split 0.5\n"), 20, "");
  EXPECT_EQ(Read(text, &p, &err), 1);
  EXPECT_NE(err.find("parameter split is missing"), std::string::npos) << err;
  EXPECT_EQ(Read(hydro + "parameter porosity 0.3\n", &p, &err), 1);
  EXPECT_NE(err.find("(line 13): the hydro model has no parameter 'porosity'"),
            std::string::npos) << err;
  EXPECT_EQ(Read(hydro + "initial_soil 1.5\n", &p, &err), 1);
  EXPECT_NE(err.find("(line 13): initial_soil"), std::string::npos) << err;
  text = hydro;
  text.replace(text.find("outlet 3 2"), 10, "outlet 4 1");
  EXPECT_EQ(Read(text, &p, &err), 1);
  EXPECT_NE(err.find("(line 5): the outlet lies outside the grid"), std::string::npos) << err;
}

// A grid whose cells would not fit in memory, or whose cell count overflows, and a rain
// gradient that would give a row negative rain are refused on their line.
TEST(Project, RefusesOversizeGridsAndRainGradientsThatMakeRainNegative) {
  TempDir dir;
  const BadProject cases[] = {
      {"kind hydro\ngrid 1001 1000\n", "p.prj (line 2): the grid has more than 1000000 cells"},
      {"kind hydro\ngrid 4294967296 4294967296\n", "p.prj (line 2): the grid has more than"},
      {"kind hydro\nrain_gradient 2.5\n", "p.prj (line 2): value 2.5 is too large"},
      {"kind hydro\nrain_gradient -2.5\n", "p.prj (line 2): value -2.5 is too small"},
  };
  for (const BadProject& c : cases) {
    Project p;
    std::string err;
    EXPECT_EQ(Read(c.text, &p, &err), 1) << c.text;
    EXPECT_NE(err.find(c.message), std::string::npos) << c.text << "\ngot: " << err;
  }
  Project p;
  std::string err;
  EXPECT_EQ(Read(std::string(kHydro) + "rain_gradient -2\n", &p, &err), 0) << err;
  std::string largest = kHydro;
  largest.replace(largest.find("grid 3 2"), 8, "grid 1000 1000");
  EXPECT_EQ(Read(largest, &p, &err), 0) << err;
}

// A line of more than a mebibyte is refused with its line number instead of being held whole.
TEST(Project, RefusesAnOverlongLine) {
  TempDir dir;
  Project p;
  std::string err;
  const std::string text =
      "kind external\ncommand echo " + std::string(kMaxTextLine, 'x') + "\noutput o.txt\n";
  EXPECT_EQ(Read(text, &p, &err), 1);
  EXPECT_NE(err.find("p.prj (line 2): the line is longer than 1048576 characters"),
            std::string::npos) << err.substr(0, 200);
  // A line just within the limit is read whole.
  EXPECT_EQ(Read("kind external\ncommand " + std::string(kMaxTextLine - 8, 'x') + "\n", &p,
                 &err), 0) << err.substr(0, 200);
  ASSERT_EQ(p.commands.size(), 1u);
  EXPECT_EQ(p.commands[0].text.size(), kMaxTextLine - 8);
}

TEST(Project, MissingFileIsReported) {
  TempDir dir;
  Project p;
  testing::internal::CaptureStderr();
  EXPECT_EQ(ReadProject("absent.prj", &p), 1);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("cannot open absent.prj"), std::string::npos) << err;
}

}  // namespace
}  // namespace tarne
