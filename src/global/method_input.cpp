#include "global/method_input.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "global/sampling.h"
#include "modellib/input_file.h"
#include "pest/file_report.h"

MethodFile OpenMethodFile(const char* name, const char* mode) {
  if (mode[0] == 'r') {
    // An input file must be a regular file: a device or pipe could never end.
    std::string reason;
    MethodFile file(tarne::OpenInputFile(name, mode, tarne::kMaxInputFileBytes, &reason));
    if (!file) ReportFileError("open", name, 0, reason);
    return file;
  }
  MethodFile file(std::fopen(name, mode));
  if (!file) ReportFileError("create", name, 0, std::strerror(errno));
  return file;
}

bool InputReader::Word(const char* what, std::string& word) {
  errno = 0;
  int c = std::fgetc(file_);
  for (; c != EOF && std::isspace(c); c = std::fgetc(file_)) {
    if (c == '\n') ++line_;
  }
  if (c == EOF) {
    // A directory opens for reading but cannot be read: say why instead of "ends early".
    if (std::ferror(file_)) return Fail(std::strerror(errno != 0 ? errno : EIO));
    return Fail(std::string("the file ends before ") + what);
  }
  word.clear();
  for (; c != EOF && !std::isspace(c); c = std::fgetc(file_)) word += static_cast<char>(c);
  if (c != EOF) std::ungetc(c, file_);
  return true;
}

bool InputReader::Count(const char* what, long minimum, long& value) {
  std::string word;
  if (!Word(what, word)) return false;
  errno = 0;
  char* end = nullptr;
  value = std::strtol(word.c_str(), &end, 10);
  if (end == word.c_str() || *end != '\0' || errno == ERANGE) {
    return Fail(std::string(what) + " is \"" + word + "\", not a whole number");
  }
  if (value < minimum) {
    return Fail(std::string(what) + " is " + word + "; it must be at least " +
                std::to_string(minimum));
  }
  return true;
}

bool InputReader::Real(const char* what, double& value, bool (*valid)(double),
                       const char* requirement) {
  std::string word;
  if (!Word(what, word)) return false;
  char* end = nullptr;
  value = std::strtod(word.c_str(), &end);
  if (end == word.c_str() || *end != '\0' || !std::isfinite(value)) {
    return Fail(std::string(what) + " is \"" + word + "\", not a number");
  }
  if (valid != nullptr && !valid(value)) {
    return Fail(std::string(what) + " is " + word + "; " + requirement);
  }
  return true;
}

bool InputReader::Seed(const char* what, std::uint32_t& seed) {
  std::string word;
  if (!Word(what, word)) return false;
  if (!ParseUserSeed(word, seed)) {
    return Fail(std::string(what) + " is \"" + word + "\", not a whole number");
  }
  return true;
}

bool InputReader::Fail(const std::string& reason) {
  ReportFileError("read", name_, line_, reason);
  return false;
}
