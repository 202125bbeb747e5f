// Shared by the benchmarks of the Levenberg-Marquardt tool: a case loaded as the -slm driver
// loads it (control, template and instruction files, parameter types and ties, output
// names), and one whole search from the case's start values, timed.
#pragma once

#include "bench_steps.h"
#include "lm/lm_engine.h"
#include "lm/slm_driver.h"
#include "pest/control_file.h"
#include "pest/instruction_files.h"
#include "pest/template_files.h"
#include "quiet_stdout.h"

namespace bench_steps {

struct LoadedCase {
  ProblemRecord record;
  FileHandleTable templates, instructions;
  OutputNames names;
  dvector start_values;
  double lambda = 0.0;
};

// Loads the case (its control file without ".pst"); the benchmark ends when it cannot.
inline void LoadCase(const char* name, LoadedCase* loaded) {
  {
    QuietStdout quiet;
    Check(ReadControlFile(loaded->record, name) == 0 &&
              OpenTemplateFiles(loaded->record, loaded->templates) == 0 &&
              CheckTemplateFiles(loaded->record, loaded->templates) == 0 &&
              OpenInstructionFiles(loaded->record, loaded->instructions) == 0,
          "loading the case");
  }
  CountParameterTypes(loaded->record);
  SetTiedParameters(loaded->record);
  FilesNamesForWrite(name, loaded->names);
  loaded->start_values = CurrentParameterValues(loaded->record);
  loaded->lambda = loaded->record.RLAMBDA1;
}

struct SearchTiming {
  double seconds = 0.0;          // the whole search
  double command_seconds = 0.0;  // of which inside the post-run command
  long runs = 0;                 // model runs, the final one included
};

// One whole search from the case's start values, its progress lines silenced.
inline SearchTiming TimeSearch(LoadedCase& loaded, tarne::mpi_setup* partition) {
  char option[] = "-slm";
  CaseFileHolder files;
  Check(files.Open(loaded.names, false), "case files");
  LmContext context{loaded.record, loaded.names, files.files(), loaded.templates,
                    loaded.instructions, partition, option, false};
  LmState state = PrepareLocalSearch(loaded.record, loaded.start_values, loaded.lambda);
  const Clock::time_point start = Clock::now();
  {
    QuietStdout quiet;
    Check(RunLevenbergMarquardt(context, state) == 0, "calibration");
  }
  SearchTiming timing;
  timing.seconds = SecondsSince(start);
  timing.command_seconds = state.command_seconds;
  timing.runs = state.model_calls + 1;
  return timing;
}

}  // namespace bench_steps
