// Small text helpers shared by the readers of the model library: reading whole lines of any
// length, splitting a line into blank-separated words, and strict number conversion.
// Used by the project, replacement-list, value-file, forcing and observation readers.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

#include "modellib/input_file.h"

namespace tarne {

// Longest line the readers accept. No sensible project, list, value, forcing or observation
// line comes near it; a longer one is refused rather than held in memory whole.
constexpr std::size_t kMaxTextLine = kMaxInputLine;

// Reads the next line of file into line without its line end ("\n" or "\r\n").
// Returns false at end of file when nothing was read. A line longer than kMaxTextLine is
// kept only to kMaxTextLine + 1 characters (the rest of it is skipped), so that
// LineTooLong tells the reader to refuse it.
bool ReadTextLine(std::FILE* file, std::string* line);
inline bool LineTooLong(const std::string& line) { return line.size() > kMaxTextLine; }
// The reason given for such a line.
std::string LineTooLongReason();

// Splits text into blank-separated words. A word that begins with '#' starts a comment:
// it and the rest of the text are dropped.
std::vector<std::string> SplitWords(const std::string& text);

// Converts the whole of text (leading and trailing blanks allowed) to a finite double.
bool ParseDouble(const std::string& text, double* value);
// Converts the whole of text to a long integer.
bool ParseLong(const std::string& text, long* value);

// Lower-case copy of text (ASCII).
std::string ToLower(const std::string& text);

// Prints FileErrorMessage(verb, file, line, reason) and a line end on standard error.
void ReportFileError(const char* verb, const std::string& file, long line,
                     const std::string& reason);

}  // namespace tarne
