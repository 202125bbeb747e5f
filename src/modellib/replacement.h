// Parameter replacement: the replacement list ("[name] "format"" lines after a count line),
// the value file (numbers in list order, one run per line), and putting the formatted values
// in place of "[name]" in a project's parameter values. Called by the model run object.
#pragma once

#include <string>
#include <vector>

namespace tarne {

struct ReplacementEntry {
  std::string name;    // the text between the brackets
  std::string format;  // a printf conversion for one double, for example "%16.8lf"
};

// Name, value and formatted value of every replaced parameter.
struct Substitution {
  std::string name;
  std::string text;
  double value = 0.0;
};

// True when format holds exactly one conversion of a double (flags, width, precision, an
// optional 'l', and one of e E f F g G) and otherwise only plain text and "%%".
bool IsSafeNumberFormat(const std::string& format);

// Status of a reader that could not open its file, or found that it is not a regular file
// or too large; it prints nothing then, so that the caller can say where the file was named,
// and gives the reason in its not_opened argument (when that is not null).
constexpr int kNotOpened = 2;

// Reads a replacement list. Returns 0, kNotOpened, or 1 after printing a message naming
// file and line.
int ReadReplacementList(const std::string& path, std::vector<ReplacementEntry>* list,
                        std::string* not_opened = nullptr);

// Reads the numbers of line line_index (counted from 0) of a value file into values.
// Returns 0, kNotOpened, or 1 after printing a message naming file and line.
int ReadValueLine(const std::string& path, long line_index, std::vector<double>* values,
                  std::string* not_opened = nullptr);

// Formats value with the entry's format into text. False when the format is refused or the
// text does not fit.
bool FormatValue(const std::string& format, double value, std::string* text);

// Pairs the list with the values (same count, else a message naming the list and 1) and
// appends the formatted values to substitutions.
int BuildSubstitutions(const std::string& list_path, const std::vector<ReplacementEntry>& list,
                       const double* values, long count,
                       std::vector<Substitution>* substitutions);

// Replaces every "[name]" in text by its substitution (names compare without regard to
// case). False, with the unknown or unterminated name in problem, when one cannot be
// replaced.
bool SubstituteNames(const std::string& text, const std::vector<Substitution>& substitutions,
                     std::string* result, std::string* problem);

}  // namespace tarne
