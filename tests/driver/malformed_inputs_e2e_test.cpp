// Malformed and unusual inputs for every reader, run through the real program: web form
// data, project, list, value and forcing files, Monte Carlo and SCE input files, control,
// template, instruction and model output files, and stop files (restart files, and inputs
// missing beside an earlier run's results, are in refusals_e2e_test.cpp). Each row gives the
// files, the command, the lines the run must print (naming file and line), the exit status,
// the text that must not appear and the files a run may change; every other file must be
// left as it was, and no temporary file may stay behind (see refusal_table.h).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "driver/refusal_table.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;
using namespace refusal_table;
using testing_support::ReadFile;
using testing_support::WriteFile;

// The post-run script writes first and then 2 as the two lines of the model output.
void PestCaseWithOutput(const std::string& first) {
  WritePestCase("printf '%s\\n' '" + first + "' 2 > model.out\n");
}

// What an SCE run prints when it has no observation file name to read.
const std::string kNoObservations =
    "Error: unable to open the observation file for reading or problem while reading it.\n"
    "Attempted to read file: \n";

std::vector<Row> Rows() {
  std::vector<Row> rows = {
      // Web form data (run under a name holding "web").
      {"form data shorter than CONTENT_LENGTH", [] {}, {"-h", "x"},
       {"<P>cannot read the form data on standard input: CONTENT_LENGTH announces 20 bytes "
        "but the input ended after 5" + kFormError},
       0, {"aAb"}, {}, {{"CONTENT_LENGTH", "20"}}, "a%41b"},
      {"CONTENT_LENGTH that is no number", [] {}, {"-h", "x"}, {kFormError}, 0, {}, {},
       {{"CONTENT_LENGTH", "12abc"}}, "abc"},

      // Project, replacement list, value and forcing files of the model library.
      {"project is a character device", [] {}, {"/dev/zero"},
       {"cannot open /dev/zero: it is a character device, not a regular file\n"}, 1},
      {"project is a directory", [] { fs::create_directory("project.d"); }, {"project.d"},
       {"cannot open project.d: it is a directory, not a regular file\n"}, 1,
       {"model 'kind'"}},
      {"project is a pipe", [] { mkfifo("project.fifo", 0644); }, {"project.fifo"},
       {"cannot open project.fifo: it is a pipe, not a regular file\n"}, 1},
      {"project is missing", [] {}, {"absent.prj"},
       {"cannot open absent.prj: No such file or directory\n"}, 1},
      {"project line beyond the limit",
       [] { WriteFile("long.prj", "kind function\n" + kLongLine + "\n"); }, {"long.prj"},
       {"cannot read long.prj (line 2): the line is longer than 1048576 characters\n"}, 1},
      {"project parameter that is not a number",
       [] {
         CopyExample("function");
         WriteFile("rosenbrock.prj",
                   Replaced(ReadFile("rosenbrock.prj"), "parameter x2 [x2]", "parameter x2 nan"));
       },
       {"rosenbrock.prj"},
       {"cannot read rosenbrock.prj (line 8): value 'nan' of x2 is not a number\n"}, 1},
      {"forcing is a character device", [] { WriteHydroProject("/dev/zero"); }, {"catchment.prj"},
       {"cannot read catchment.prj (line 13): cannot open the forcing file /dev/zero: it is a "
        "character device, not a regular file\n"},
       1},
      {"forcing is a directory", [] { WriteHydroProject("forcing.d"); fs::create_directory("forcing.d"); },
       {"catchment.prj"},
       {"cannot read catchment.prj (line 13): cannot open the forcing file forcing.d: it is a "
        "directory, not a regular file\n"},
       1},
      {"forcing line beyond the limit",
       [] {
         WriteHydroProject("forcing.txt");
         WriteFile("forcing.txt", "1 1 1\n2 1 1\n" + kLongLine + "\n");
       },
       {"catchment.prj"},
       {"cannot read forcing.txt (line 3): the line is longer than 1048576 characters\n"}, 1},
      {"replacement list is a directory",
       [] {
         CopyExample("function");
         fs::remove("rosenbrock.lst");
         fs::create_directory("rosenbrock.lst");
       },
       {"rosenbrock.prj"},
       {"cannot read rosenbrock.prj (line 9): cannot open the replace file rosenbrock.lst: it "
        "is a directory, not a regular file\n"},
       1},
      {"value file is a character device",
       [] {
         CopyExample("function");
         WriteFile("rosenbrock.prj",
                   Replaced(ReadFile("rosenbrock.prj"), "values rosenbrock.val", "values /dev/zero"));
       },
       {"rosenbrock.prj"},
       {"cannot read rosenbrock.prj (line 10): cannot open the values file /dev/zero: it is a "
        "character device, not a regular file\n"},
       1},

      // Monte Carlo input.
      {"Monte Carlo input is a character device", [] {}, {"-m2", "/dev/zero"},
       {"cannot open /dev/zero: it is a character device, not a regular file\n"
        "Error: unable to read the input monte carlo file.\n"}, 1},
      {"Monte Carlo input is a directory", [] { fs::create_directory("mc.d"); }, {"-s", "mc.d"},
       {"cannot open mc.d: it is a directory, not a regular file\n"
        "Error: unable to read the input monte carlo file.\n"}, 1},
      {"Monte Carlo observation file is a character device",
       [] { WriteMcInput("/dev/zero", "-2 2\n-1 3\n"); }, {"-m2", "mc.in"},
       {"cannot open /dev/zero: it is a character device, not a regular file\n",
        "Best objective function value:"},
       0, {}, {}, {}, "", [] { EXPECT_TRUE(fs::exists("best.out")); }},

      // SCE input and settings.
      {"SCE input is a character device", [] {}, {"-c", "/dev/zero"},
       {"cannot open /dev/zero: it is a character device, not a regular file\n"
        "Can't open SCE input file /dev/zero\n" + kNoObservations}, 1, {"SCE-UA"}, {}, {}, "",
       nullptr, true},
      {"SCE input is a directory", [] { fs::create_directory("sce.d"); }, {"-c", "sce.d"},
       {"cannot open sce.d: it is a directory, not a regular file\n"
        "Can't open SCE input file sce.d\n" + kNoObservations}, 1, {"SCE-UA"}, {}, {}, "",
       nullptr, true},
      {"SCE bounds in the wrong order",
       [] { WriteSceInput("5000 5 0.1 2 1969 0 2\n0 0 0 0 0 0\n-1.2 2.0 -2.0\n1 -1 3\n"); },
       {"-c", "sce.in"},
       {"cannot read sce.in (line 6): the lower bound of parameter 1 is not below its upper "
        "bound\nERROR:  Lower bound is greater than upper bound for varialbe 1\n" + kNoSetup}, 1},
      {"SCE input without an observation file",
       [] {
         CopyExample("function");
         WriteFile("sce.in", "rosenbrock.prj\nrosenbrock.lst\n\n5000 5 0.1 2 1969 0 2\n0 0 0 0 0 0\n"
                             "-1.2 -2.0 2.0\n1.0 -1.0 3.0\n");
       },
       {"-c", "sce.in"},
       {"cannot read sce.in (line 3): no observation file is named\n" + kNoObservations}, 1,
       {"SCE-UA"}, {}, {}, "", nullptr, true},
      {"SCE observation file is a directory",
       [] {
         WriteSceInput("5000 5 0.1 2 1969 0 2\n0 0 0 0 0 0\n-1.2 -2.0 2.0\n1.0 -1.0 3.0\n");
         fs::remove("no_observations.obs");
         fs::create_directory("no_observations.obs");
       },
       {"-c", "sce.in"},
       {"cannot open no_observations.obs: it is a directory, not a regular file\n",
        "Error: unable to open the observation file for reading or problem while reading it.\n"
        "Attempted to read file: no_observations.obs\n"}, 1, {}, {}, {}, "",
       [] { EXPECT_FALSE(fs::exists("sce_output.out")); }},
      {"SCE evolution steps far beyond the call limit",
       [] { WriteSceInput("200 5 0.1 2 1969 1 2\n5 3 2000000000 2 0 0\n-1.2 -2.0 2.0\n1.0 -1.0 3.0\n"); },
       {"-c", "sce.in"},
       {" BEFORE SHUFFLING 2000000000 EXCEEDS 100, THE LARGER OF NPG AND MAX_CALLS / NGS,\n"
        " SET IT TO DEFAULT\n",
        "The best results of the SCE calibration after"},
       0, {}, {}, {}, "",
       [] {
         // One loop of 2 complexes with nspl = npg = 5 makes at most 3 evaluations per step.
         const auto lines = testing_support::SplitLines(ReadFile("sce_log_file.txt"));
         EXPECT_LE(lines.size(), 1u + 200 + 2 * 5 * 3);
       }},

      // Control file.
      {"control file is missing", [] { WritePestCase(); fs::remove("case.pst"); }, kSlm,
       {"cannot open case.pst: No such file or directory\nCannot open case.pst \n"}, 1},
      {"control file is a directory",
       [] { WritePestCase(); fs::remove("case.pst"); fs::create_directory("case.pst"); }, kSlm,
       {"cannot open case.pst: it is a directory, not a regular file\nCannot open case.pst \n"}, 1},
      {"control file is a pipe",
       [] { WritePestCase(); fs::remove("case.pst"); mkfifo("case.pst", 0644); }, kSlm,
       {"cannot open case.pst: it is a pipe, not a regular file\nCannot open case.pst \n"}, 1},
      {"control file with a parameter value nan",
       [] { WritePestCase("", Replaced(ControlText(), "factor 1.0", "factor nan")); }, kSlm,
       {"cannot read case.pst (line 16): \"nan\" is not a finite number (PARVAL1 of "
        "parameter 1)\n"}, 1},
      {"control file with an observation value 1e999",
       [] { WritePestCase("", Replaced(ControlText(), "o2 6.0", "o2 1e999")); }, kSlm,
       {"cannot read case.pst (line 21): \"1e999\" is not a finite number (OBSVAL of "
        "observation 2)\n"}, 1},
      {"control file that ends early",
       [] { WritePestCase("", ControlText().substr(0, ControlText().find("o2 6.0"))); }, kSlm,
       {"cannot read case.pst (line 21): the file ends before OBSNME of observation 2\n"}, 1},
      {"control file line beyond the limit",
       [] { WritePestCase("", Replaced(ControlText(), "model.prj\n", kLongLine + "\n")); }, kSlm,
       {"cannot read case.pst (line 12): the line is longer than 1048576 characters\n"}, 1},

      // Template files.
      {"template is a directory",
       [] { WritePestCase(); fs::remove("model.tpl"); fs::create_directory("model.tpl"); }, kSlm,
       {"cannot open model.tpl: it is a directory, not a regular file\n"}, 1},
      {"template is a character device",
       [] { WritePestCase("", Replaced(ControlText(), "model.tpl model.prj", "/dev/zero model.prj")); },
       kSlm, {"cannot open /dev/zero: it is a character device, not a regular file\n"}, 1},
      {"template line beyond the limit",
       [] { WritePestCase(); WriteFile("model.tpl", "ptf $\n" + kLongLine + "\n"); }, kSlm,
       {"cannot read model.tpl (line 2): the line is longer than 1048576 characters\n"}, 1},

      // Instruction files and model output.
      {"instruction file is a directory",
       [] { WritePestCase(); fs::remove("model.ins"); fs::create_directory("model.ins"); }, kSlm,
       {"cannot open model.ins: it is a directory, not a regular file\n"}, 1},
      {"instruction file is a character device",
       [] { WritePestCase("", Replaced(ControlText(), "model.ins model.out", "/dev/zero model.out")); },
       kSlm, {"cannot open /dev/zero: it is a character device, not a regular file\n"}, 1},
      {"model output is a character device",
       [] { WritePestCase("rm -f model.out; ln -s /dev/zero model.out\n"); }, kSlm,
       {"cannot open model.out: it is a character device, not a regular file\n"}, 1, {},
       {"tarne.in"}},
      {"model output is a directory",
       [] { WritePestCase("rm -f model.out; mkdir -p model.out\n"); }, kSlm,
       {"cannot open model.out: it is a directory, not a regular file\n"}, 1, {}, {"tarne.in"}},
      {"model output line beyond the limit",
       [] { WritePestCase("head -c 1100000 /dev/zero | tr '\\\\0' x > model.out\n"); }, kSlm,
       {"cannot read model.out (line 1): the line is longer than 1048576 characters\n"}, 1, {},
       {"tarne.in"}},

      // Stop files.
      {"stop file is a directory", [] { WritePestCase("mkdir -p pest.stp\n"); }, kSlm,
       {"cannot read pest.stp: it is a directory, not a regular file\n", "Running model one last time"}, 0, {},
       {"tarne.in"}, {}, "", [] { EXPECT_TRUE(fs::is_directory("pest.stp")); }},
      {"stop file is a pipe", [] { WritePestCase("[ -p pest.stp ] || mkfifo pest.stp\n"); }, kSlm,
       {"cannot read pest.stp: it is a pipe, not a regular file\n", "Running model one last time"}, 0, {},
       {"tarne.in"}},
  };
  // A model output that holds no finite number where an instruction reads one.
  for (const char* found : {"abc", "nan", "inf", "-", "1e999"}) {
    rows.push_back({"model output holds a value that is not a finite number",
                    [found] { PestCaseWithOutput(found); }, kSlm,
                    {"cannot read model.out (line 1): the value of observation o1 is not a "
                     "finite number: found \"" + std::string(found) +
                     "\" (instruction file model.ins, line 2)\n"},
                    1, {"Running model one last time"}, {"tarne.in"}});
  }
  return rows;
}

TEST(MalformedInputs, EveryReaderRefusesClearlyOrRepairs) {
  const std::vector<Row> rows = Rows();
  ASSERT_GE(rows.size(), 40u);
  RunRows(rows);
}

}  // namespace
