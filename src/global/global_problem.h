// The case of a global method and the start-up and close every method shares: the argument
// checks, the banner, the method's input file, the case loaded as the "-slm" tool loads it
// (with the method's own "prediction" lines), the method's restart file after "/r", and only
// then, once every input has been read and checked, the output files. Used by multistart,
// MLSL and trajectory repulsion.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "global/method_input.h"
#include "global/method_restart.h"
#include "global/sampling.h"
#include "lm/case_loader.h"
#include "lm/lm_engine.h"
#include "modellib/tarne_lib.h"

struct GlobalProblem : LoadedCase {
  tarne::mpi_setup* partition = nullptr;
  double control_lambda = 0.0;  // RLAMBDA1 as the control file gives it
  MethodRestart method_restart;

  // A context for a search of this problem; resume continues it from the restart file.
  LmContext Context(bool resume) { return SearchContext(*this, partition, resume); }
};

// What sets one method apart at its start.
struct MethodNames {
  const char* method_line;   // the banner's first line, which names the method
  const char* search_line;   // the banner's third line, which names its local search
  const char* input_file;    // "ms.in"
  const char* record_file;   // "slm_kor_ms1.rec"
  const char* tool;          // "slm_kor_ms1", as the lines refusing "prediction" name it
  const char* restart_file;  // "slm_kor_ms1.rst"
  const char* sample_file;   // "parameters.prn" (multistart); nullptr for none
};

// The method's own output files and its seeds file, opened at its start.
struct MethodFiles {
  MethodFile rec;
  MethodFile sample_file;
  SeedsFile seeds;
};

// Reads the method's values from its input file and sets how the method uses the seeds
// file; false after the line naming what is wrong.
using MethodInputReader = std::function<bool(InputReader&, SeedsFile::Mode&)>;

// The start of a method: the lines for a command line without words, the banner, the lines
// for a missing control name; then every input, read and checked: the method's input file
// (read_input), the seeds file when it is read, the case (ReadCase) and, after "/r", the
// method's restart file (MethodRestart::Prepare); only then the outputs: the method's
// record file (emptied), the case's output files, the sample file and the seeds file when
// written, and the restart file's start (MethodRestart::Begin). A refusal leaves every file
// as it was.
StartUp StartGlobalMethod(const MethodNames& names, tarne::mpi_setup* partition, int argc,
                          char** argv, const MethodInputReader& read_input,
                          GlobalProblem& problem, MethodFiles& files);

// Loads the case named by argv[2] as a fresh run of a method does (ReadCase, refusing
// "prediction" with lines naming tool), opens the case's output files and remembers
// RLAMBDA1.
StartUp LoadGlobalProblem(tarne::mpi_setup* partition, int argc, char** argv, const char* tool,
                          GlobalProblem& problem);

// Values that MLSL and trajectory repulsion read alike from their input files: the seeds mode
// ("Y" writes the seeds file, "N" reads it, any other word leaves it alone) with the user
// seed, and the improvement fraction f judged negligible by the stall counts.
bool ReadSeedSettings(InputReader& in, std::string& seeds_word, std::uint32_t& seed);
bool ReadImprovementFraction(InputReader& in, double& f);

// The end of a method whose last step gave status. A method halted by its restart file
// (MethodRestart::halted) ends with 1 and keeps that file; otherwise the file is removed, a
// failure is returned as it is and, after a success, the template and instruction files are
// closed and the status of closing them is returned.
short FinishGlobalMethod(GlobalProblem& problem, short status);
