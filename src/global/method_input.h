// What the three global methods share around their own files: opening a method file with a
// clear line when it cannot be opened, and the checked reading of the method's input file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "modellib/file_handle.h"
#include "modellib/token_reader.h"
#include "pest/problem.h"

using MethodFile = FileHandle;

// Opens a file of a method; when it cannot be opened, one line names it and the reason and
// the result is empty. Only a regular file is read, and only a regular file is written over
// (a pipe or device could block the method for ever).
MethodFile OpenMethodFile(const char* name, const char* mode);
// Whether a method may create the file name: nothing, or a regular file, stands there;
// otherwise one line says what does.
bool CanCreateMethodFile(const char* name);

// The method input file's layer over the token reader: the whitespace-separated values of
// the file, each checked as it is read; a missing, malformed or out-of-range value is
// reported with the file, its line, the value's name and the text found.
class InputReader {
 public:
  InputReader(std::FILE* file, const char* name) : in_(name, file) {}

  bool Word(const char* what, std::string& word) { return in_.Word(what, word); }
  // A whole number of at least minimum.
  bool Count(const char* what, long minimum, long& value);
  // A finite number; valid, when given, says whether it is in range, and requirement how.
  bool Real(const char* what, double& value, bool (*valid)(double) = nullptr,
            const char* requirement = "");
  // An unsigned 32-bit seed, read as "%lu" would take it (a leading minus sign wraps around).
  bool Seed(const char* what, std::uint32_t& seed);

 private:
  // "<what> is \"<word>\", not <kind>", reported; false.
  bool NotA(const char* what, const std::string& word, const char* kind) const;

  tarne::TokenReader in_;
};
