// Text helpers of tarne-plot: reading a file into lines, splitting words, strict number
// parsing, the one form of every file-error message, and writing a file under a temporary
// name that is renamed into place, so that no half-written file is ever left behind.
#pragma once

#include <string>
#include <vector>

namespace tarne_plot {

// "cannot <verb> <file> (line N): <reason>"; line <= 0 leaves out the line part.
std::string FileError(const std::string& verb, const std::string& file, long line,
                      const std::string& reason);

// Reads a regular text file into lines without their line ends (a trailing '\r' is dropped).
// Returns false with a FileError message in *error when the file is missing, is not a
// regular file or cannot be read.
bool ReadLines(const std::string& path, std::vector<std::string>* lines, std::string* error);

// Words of a line separated by blanks and tabs.
std::vector<std::string> SplitWords(const std::string& line);
// Fields of a line separated by single tabs (empty fields kept; a trailing tab adds none).
std::vector<std::string> SplitTabs(const std::string& line);

// Parses the whole word as a number (inf and nan accepted as the C library writes them).
bool ParseNumber(const std::string& word, double* value);
// Parses the whole word as a whole number.
bool ParseInteger(const std::string& word, long* value);

// Writes content to path through "<path>.tmp" and a rename.
bool WriteFileAtomically(const std::string& path, const std::string& content,
                         std::string* error);

// A word that is safe in file names and shell commands: letters, digits, '-', '_' and '.'
// are kept, everything else becomes '_'.
std::string SafeFileWord(const std::string& text);

// Quotes text for a POSIX shell command line.
std::string ShellQuote(const std::string& text);

// Quotes text as a gnuplot single-quoted string (a quote is doubled).
std::string GnuplotQuote(const std::string& text);

// The shortest "%g" form (at least 6 significant digits) that reads back as the same double.
std::string ExactNumber(double value);
// "%.6g": a number for a title.
std::string ShortNumber(double value);

}  // namespace tarne_plot
