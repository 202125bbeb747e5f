// Text helpers of the tarne-pst readers: whole files as numbered lines, words, numbers in the
// forms PEST-format files use (Fortran "D" exponents too), and the one way a bad input is
// refused. Used by the control-file and CSV readers.
#pragma once

#include <string>
#include <vector>

#include "standard_problem.h"

namespace pst {

struct TextLine {
  std::string text;  // without the line end
  long number = 0;
};

// The whole of the file at path. A file that cannot be read (missing, not a regular file,
// beyond the size and line limits of every input) is refused with its reason.
std::string ReadWholeText(const std::string& path);

// Every line of the file at path. A file that cannot be read is refused with its reason.
std::vector<TextLine> ReadLines(const std::string& path);

// Throws the ImportError that tarne-pst prints as its one line.
[[noreturn]] void Fail(const Origin& at, const std::string& reason);

std::vector<std::string> Words(const std::string& text);
std::string Lower(const std::string& text);
std::string Upper(std::string text);
std::string Trim(const std::string& text);

// The number token as this toolbox reads it ("1.5D-3" becomes "1.5E-3"); false when the
// token is not a finite number.
bool NumberText(const std::string& token, std::string* text, double* value = nullptr);
// The same, refusing anything else with a message that names what was expected.
std::string RequireNumber(const std::string& token, const Origin& at, const std::string& what);
double RequireValue(const std::string& token, const Origin& at, const std::string& what);
long RequireInteger(const std::string& token, const Origin& at, const std::string& what);

// The directory part of path, with its trailing '/', or empty.
std::string DirectoryOf(const std::string& path);

}  // namespace pst
