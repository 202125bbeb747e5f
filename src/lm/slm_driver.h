// The "-slm" tool, slm_kor: loads the PEST-format case named on the command line (through
// the case loader it shares with the global methods), writes the record-file header and runs
// one Levenberg-Marquardt search. Started through the driver's mode table.
#pragma once

#include "lm/case_loader.h"
#include "modellib/tarne_lib.h"

// argv: word 1 the option, word 2 the control name, optional word 3 "/r" to resume from the
// restart file. Returns the tool's status: 0, or the first failing status.
short slm_kor(tarne::mpi_setup* partition, int argc, char** argv);
