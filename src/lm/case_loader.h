// The start-up every Levenberg-Marquardt tool shares: reading and checking the case named on
// the command line (control, template and instruction files, "prediction", parameter counts,
// bounds and ties, output names, and on request the restart file) and then, as a step of
// its own after every read, writing "tarne.in", clearing a stale stop file and opening the
// case's output files. Used by the "-slm" tool and the global methods.
#pragma once

#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "lm/lm_engine.h"
#include "lm/lm_report.h"
#include "modellib/file_handle.h"
#include "modellib/tarne_lib.h"
#include "pest/output_names.h"
#include "pest/problem.h"
#include "pest/restart_file.h"

// The case's four output files, closed when the holder goes.
class CaseFileHolder {
 public:
  // The record and sensitivity files are appended to on a restart; the others are emptied.
  // Returns false after naming a file that could not be opened.
  bool Open(const OutputNames& names, bool restart);
  // Open in two steps: all four files without emptying any (false after naming one that
  // could not be opened), then the emptying of those a run starts afresh.
  bool OpenWithoutEmptying(const OutputNames& names, bool restart);
  bool EmptyFreshFiles();
  CaseFiles files() const;
  // Closes the files; false after naming the first whose writes failed (a full disk, say).
  bool Close();

 private:
  FileHandle rec_, sen_, mtt_, par_;
  std::string names_[4];  // of rec_, sen_, mtt_ and par_, for messages
  bool restart_ = false;   // the record and sensitivity files are appended to
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
  std::string replacement_list;   // the text of "tarne.in", written by OpenCaseFiles
  // The restart file as ReadCaseRestartFile read it, until a search takes it.
  std::unique_ptr<RestartRecord> resume_record;
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
// the control file, the template files (opened and checked) and the instruction files;
// "prediction" is refused with the lines refuse_prediction prints (each tool words them its
// own way) and status 1; the parameters are counted, and no adjustable parameter or an
// initial value outside its bounds ends the tool with status 1; the ties are set and the
// output names made. Writes, deletes and opens for writing nothing, so a refusal leaves
// every file as it was.
StartUp ReadCase(int argc, char** argv, const std::function<void()>& refuse_prediction,
                 LoadedCase& loaded);

// Reads the case's restart file (its name made by ReadCase) and checks it against the
// loaded problem (see ReadRestartFile) into loaded.resume_record, which the next search
// context made with resume takes. A missing or refused file ends the tool with status 1
// after its lines; nothing is written. "-slm" calls it after "/r"; a global method when it
// resumes a search that was interrupted.
StartUp ReadCaseRestartFile(LoadedCase& loaded);

// The first writes of a tool, once every input is read and checked: "tarne.in", the
// removal of a stop file left by an earlier run (a stop request that is no longer meant),
// and the case's output files (the record and sensitivity files for appending after "/r").
// A file that cannot be written or opened ends the tool with status 1.
StartUp OpenCaseFiles(LoadedCase& loaded);

// The context in which the engine runs a search of the case; resume continues the search
// saved in the restart file, taking loaded.resume_record when ReadCaseRestartFile read it.
LmContext SearchContext(LoadedCase& loaded, tarne::mpi_setup* partition, bool resume);

// Closes the template and instruction files; returns the status of closing them.
short CloseCaseInputs(LoadedCase& loaded);
