// The PEST-format readers and writers report a file that cannot be opened, read or written
// through the program's one file-error path, ReportFileError: "cannot <verb> <file>
// (line N): <reason>" on standard output.
#pragma once

#include "modellib/file_error.h"
