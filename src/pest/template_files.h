// Opens and checks the PEST template files of the problem: header, delimiter positions and
// the map from each field to its parameter. Called by the tool drivers after the control
// file is read.
#pragma once

#include "problem.h"

// False, after the lines that give the limit of 25 template files, when count is beyond it.
// OpenTemplateFiles starts with it; the control-file reader asks it where NTPLFLE is read.
bool TemplateCountSupported(int count);

// Each returns 0 on success and 1 after a reported failure.
short OpenTemplateFiles(ProblemRecord& record, FileHandleTable& handles);
short CheckTemplateFiles(ProblemRecord& record, FileHandleTable& handles);
short CloseTemplateFiles(ProblemRecord& record, FileHandleTable& handles);
