// Builds the one form of every file-error message of the program:
// "cannot <verb> <file> (line N): <reason>". Readers of every subsystem report through it so
// that a user sees the same shape whatever file was wrong.
#pragma once

#include <string>

// line <= 0 leaves out the "(line N)" part; an empty reason leaves out ": <reason>".
std::string FileErrorMessage(const char* verb, const char* file, long line, const char* reason);

// Prints FileErrorMessage(verb, file, line, reason) and a line end on standard output, where
// the calibration tools report a file that cannot be opened, read or written.
void ReportFileError(const char* verb, const std::string& file, long line,
                     const std::string& reason);
