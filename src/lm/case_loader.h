// The start-up every Levenberg-Marquardt tool shares: reading and checking the case named on
// the command line (control, template and instruction files, stale stop file, "prediction",
// parameter counts, bounds and ties, output names) and then, as a step of its own after every
// read, opening the case's output files. Used by the "-slm" tool and the global methods.
#pragma once

#include <cstdio>
#include <functional>
#include <memory>

#include "lm/lm_engine.h"
#include "lm/lm_report.h"
#include "modellib/tarne_lib.h"
#include "pest/output_files.h"
#include "pest/problem.h"

// The case's four output files, closed when the holder goes.
class CaseFileHolder {
 public:
  // The record and sensitivity files are appended to on a restart; the others are emptied.
  // Returns false after naming a file that could not be opened.
  bool Open(const OutputNames& names, bool restart);
  CaseFiles files() const;
  void Close();

 private:
  struct Closer {
    void operator()(std::FILE* file) const { std::fclose(file); }
  };
  std::unique_ptr<std::FILE, Closer> rec_, sen_, mtt_, par_;
};

// A case as a tool runs it.
struct LoadedCase {
  ProblemRecord record;
  FileHandleTable templates;
  FileHandleTable instructions;
  OutputNames names;
  CaseFileHolder files;
  const char* option = "";        // the tool's option word, handed to the model with every run
  const char* control_name = "";  // the control file's name as typed
  bool restart = false;           // "/r" followed the control file name
};

// What a start-up step came to: go on, or end the tool with status (the lines that say why
// are printed).
struct StartUp {
  bool go_on = true;
  short status = 0;

  static StartUp GoOn() { return {true, 0}; }
  static StartUp End(short status) { return {false, status}; }
};

// Says that no control file was named after the option when argv holds no third word; true
// when it said so.
bool RefuseMissingControlName(int argc, char** argv);

// Reads the case named by argv[2] (argv[1] is the option, an optional argv[3] must be "/r"):
// the control file, the template files (opened and checked) and the instruction files; the
// stale stop file is deleted; "prediction" is refused with the lines refuse_prediction
// prints (each tool words them its own way) and status 1; the parameters are counted, and no
// adjustable parameter or an initial value outside its bounds ends the tool with status 0;
// the ties are set and the output names made. Opens no output file.
StartUp ReadCase(int argc, char** argv, const std::function<void()>& refuse_prediction,
                 LoadedCase& loaded);

// Opens the case's output files (the record and sensitivity files for appending after "/r");
// a file that cannot be opened ends the tool with status 1.
StartUp OpenCaseFiles(LoadedCase& loaded);

// The context in which the engine runs a search of the case; resume continues the search
// saved in the restart file.
LmContext SearchContext(LoadedCase& loaded, tarne::mpi_setup* partition, bool resume);

// Closes the template and instruction files; returns the status of closing them.
short CloseCaseInputs(LoadedCase& loaded);
