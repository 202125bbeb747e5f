// The one way the PEST-format readers and writers report a file that cannot be opened,
// read or written: "cannot <verb> <file> (line N): <reason>" on standard output.
#pragma once

#include <string>

// line <= 0 leaves out the line; an empty reason leaves out ": <reason>".
void ReportFileError(const char* verb, const std::string& file, long line,
                     const std::string& reason);
