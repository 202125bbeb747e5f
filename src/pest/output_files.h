// The case's output file names, the restart file and the stop file "pest.stp" of the
// Levenberg-Marquardt family. Called by the tool drivers, the engine and the Jacobian runs.
#pragma once

#include "problem.h"
#include "numeric/numeric.h"

struct OutputNames {
  char base[kTextField] = {};
  char rec[kTextField] = {};
  char sen[kTextField] = {};
  char mtt[kTextField] = {};
  char par[kTextField] = {};
  char rst[kTextField] = {};
};

short FilesNamesForWrite(const char* control_name, OutputNames& names);
// Returns 0 when the calibration may go on; a stop request ends the process.
short CheckStopFile();
