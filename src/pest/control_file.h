// Reads a PEST control file into the problem record and writes the replacement list
// "tarne.in"; counts the parameter kinds and links tied parameters to their parents.
// Called by the Levenberg-Marquardt driver and by every global method at their start.
#pragma once

#include "problem.h"

// Returns 0 on success and 1 after a reported failure. "tarne.in" is replaced (through a
// temporary file and a rename) only after the whole control file was read, so a failed read
// leaves an existing list as it was.
short ReadControlFile(ProblemRecord& record, const char* control_name);
// Sets NUMADJ, NUMFIXED, NUMTIED, NUMIW and the iw fields.
void CountParameterTypes(ProblemRecord& record);
// Sets the parent index and tie ratio of every parameter. Returns 0, or 1 after a message
// when a tied parameter would follow a parent whose value is zero.
short SetTiedParameters(ProblemRecord& record);
