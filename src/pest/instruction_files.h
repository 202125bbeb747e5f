// Reads the model's output files through PEST instruction files into the simulated values
// of the observations. Called after every model run of the Levenberg-Marquardt family.
#pragma once

#include "problem.h"

// False, after the lines that give the limit of 25 instruction files, when count is beyond
// it. OpenInstructionFiles starts with it; the control-file reader asks it where NINSFLE is
// read.
bool InstructionCountSupported(int count);
short OpenInstructionFiles(ProblemRecord& record, FileHandleTable& handles);
short CloseInstructionFiles(ProblemRecord& record, FileHandleTable& handles);
// Interprets instruction file i (1..NINSFLE) against its output file and stores the values
// in the chosen slot. Returns 0, or 1 after a reported failure (missing file, a directory or
// device or oversized file, bad header, unknown observation, marker not found, output ended
// before a value, or a value that is not a finite number, which is then not stored).
short ReadModelOutput(ProblemRecord& record, int i, int slot, FileHandleTable& handles);

// Ends the process with exit status 1 after telling the user that semi-fixed observations
// are not supported; the interpreter calls it when it reaches a "(" instruction.
[[noreturn]] void StopOnSemiFixedObservation();
