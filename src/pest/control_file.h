// Reads a PEST control file into the problem record and writes the replacement list
// "tarne.in"; counts the parameter kinds and links tied parameters to their parents.
// Called by the Levenberg-Marquardt driver and by every global method at their start.
#pragma once

#include <string>

#include "problem.h"

// The file a control name stands for: the name as given when it holds a ".", otherwise with
// ".pst" appended.
std::string ControlFileName(const std::string& control_name);

// Returns 0 on success and 1 after a reported failure. "tarne.in" is replaced (through a
// temporary file and a rename) only after the whole control file was read, so a failed read
// leaves an existing list as it was.
short ReadControlFile(ProblemRecord& record, const char* control_name);
// The same read without writing anything: replacement_list receives the text of "tarne.in",
// for a caller that writes it once every other input of the run has been checked.
short ReadControlFile(ProblemRecord& record, const char* control_name,
                      std::string& replacement_list);
// Writes "tarne.in" through a temporary file and a rename, so that a failure leaves the
// previous list as it was and no reader ever sees half a list. False after a reported
// failure.
bool WriteReplacementList(const std::string& content);
// Sets NUMADJ, NUMFIXED, NUMTIED, NUMIW and the iw fields.
void CountParameterTypes(ProblemRecord& record);
// Sets the parent index and tie ratio of every parameter. Returns 0, or 1 after a message
// when a tied parameter would follow a parent whose value is zero.
short SetTiedParameters(ProblemRecord& record);
