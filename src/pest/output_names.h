// The names of a case's output files, derived from the control name given on the command
// line. Made by the tool drivers once at their start and used by every writer of the case.
#pragma once

#include "pest/problem.h"

struct OutputNames {
  char base[kTextField] = {};
  char rec[kTextField] = {};
  char sen[kTextField] = {};
  char mtt[kTextField] = {};
  char par[kTextField] = {};
  char rst[kTextField] = {};
};

// The control name up to its first "." is the base of the ".rec", ".sen", ".mtt", ".par"
// and ".rst" names. Returns 0, or 1 after a message when the names would not fit.
short FilesNamesForWrite(const char* control_name, OutputNames& names);
