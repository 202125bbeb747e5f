// The case of a global method and the start-up and close every method shares: the argument
// checks, the banner, the method's input and record files, the case loaded as the "-slm"
// tool loads it (with the method's own "prediction" lines and, after "/r", the restart file
// checked before any model run). Used by multistart, MLSL and trajectory repulsion.
#pragma once

#include <cstdint>
#include <string>

#include "global/method_input.h"
#include "lm/case_loader.h"
#include "lm/lm_engine.h"
#include "modellib/tarne_lib.h"

struct GlobalProblem : LoadedCase {
  tarne::mpi_setup* partition = nullptr;
  double control_lambda = 0.0;  // RLAMBDA1 as the control file gives it

  // A context for a search of this problem; resume continues it from the restart file.
  LmContext Context(bool resume) { return SearchContext(*this, partition, resume); }
};

// What sets one method apart at its start.
struct MethodNames {
  const char* method_line;  // the banner's first line, which names the method
  const char* search_line;  // the banner's third line, which names its local search
  const char* input_file;   // "ms.in"
  const char* record_file;  // "slm_kor_ms1.rec"
  const char* tool;         // "slm_kor_ms1", as the lines refusing "prediction" name it
};

// The method's own files, opened at its start.
struct MethodFiles {
  MethodFile input;
  MethodFile rec;
};

// The start of a method: the lines for a command line without words, the banner, the lines
// for a missing control name (before the method's files are opened, so a forgotten name
// empties no record), the method's input file (read) and record file (emptied), then the case
// (LoadGlobalProblem).
StartUp StartGlobalMethod(const MethodNames& names, tarne::mpi_setup* partition, int argc,
                          char** argv, GlobalProblem& problem, MethodFiles& files);

// Loads the case named by argv[2] as ReadCase does, refusing "prediction" with lines naming
// tool; after "/r" a missing restart file ends the method (status 0) before any model run;
// then the case's output files are opened and RLAMBDA1 remembered.
StartUp LoadGlobalProblem(tarne::mpi_setup* partition, int argc, char** argv, const char* tool,
                          GlobalProblem& problem);

// Values that MLSL and trajectory repulsion read alike from their input files: the seeds mode
// ("Y" writes the seeds file, "N" reads it, any other word leaves it alone) with the user
// seed, and the improvement fraction f judged negligible by the stall counts.
bool ReadSeedSettings(InputReader& in, std::string& seeds_word, std::uint32_t& seed);
bool ReadImprovementFraction(InputReader& in, double& f);

// The end of a method whose last step gave status: a failure is returned as it is; after a
// success the template and instruction files are closed and the status of closing them is
// returned.
short FinishGlobalMethod(GlobalProblem& problem, short status);
