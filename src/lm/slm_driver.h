// The "-slm" tool, slm_kor: loads the PEST-format problem named on the command line, refuses
// what the engine cannot do, opens the case's output files, writes the record-file header
// and runs one Levenberg-Marquardt search. Also the start-up checks the global methods share.
#pragma once

#include <cstdio>
#include <memory>

#include "lm/lm_report.h"
#include "modellib/tarne_lib.h"
#include "pest/output_files.h"
#include "pest/problem.h"

// argv: word 1 the option, word 2 the control name, optional word 3 "/r" to resume from the
// restart file. Returns the tool's status: 0, or the first failing status.
short slm_kor(tarne::mpi_setup* partition, int argc, char** argv);

// The optional restart word: true for "/r". Any other third word is refused with one line
// and *refused set, since a run that skips its initial model run without resuming would
// start from nothing.
bool RestartRequested(int argc, char** argv, bool* refused);

// Start-up checks after the counting of the parameter kinds, in the order the tools make
// them. NoAdjustableParameters and OutOfBounds print their lines and return true when the
// tool must stop (with status 0).
bool NoAdjustableParameters(const ProblemRecord& record);
bool InitialValuesOutOfBounds(const ProblemRecord& record);

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
