#include "global/method_input.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "modellib/file_error.h"
#include "modellib/input_file.h"
#include "modellib/text_util.h"

namespace {

// Reads an unsigned 32-bit seed from a word as "%lu" would take it (a leading minus sign
// wraps around); false when the word holds no number.
bool ParseUserSeed(const std::string& word, std::uint32_t& seed) {
  errno = 0;
  char* end = nullptr;
  const unsigned long value = std::strtoul(word.c_str(), &end, 10);
  if (end == word.c_str() || *end != '\0' || errno == ERANGE) return false;
  seed = static_cast<std::uint32_t>(value);
  return true;
}

}  // namespace

MethodFile OpenMethodFile(const char* name, const char* mode) {
  if (mode[0] == 'r') {
    // An input file must be a regular file: a device or pipe could never end.
    std::string reason;
    MethodFile file(tarne::OpenInputFile(name, mode, tarne::kMaxInputFileBytes, &reason));
    if (!file) ReportFileError("open", name, 0, reason);
    return file;
  }
  if (!CanCreateMethodFile(name)) return nullptr;
  MethodFile file(std::fopen(name, mode));
  if (!file) ReportFileError("create", name, 0, std::strerror(errno));
  return file;
}

bool CanCreateMethodFile(const char* name) {
  const std::string kind = tarne::FileKindOf(name);
  if (kind.empty()) return true;
  ReportFileError("create", name, 0,
                  kind == "not a regular file" ? "it is not a regular file"
                                               : "it is " + kind + ", not a regular file");
  return false;
}

bool InputReader::Count(const char* what, long minimum, long& value) {
  std::string word;
  if (!Word(what, word)) return false;
  if (!tarne::ParseLong(word, &value)) return NotA(what, word, "a whole number");
  if (value < minimum) {
    return in_.Fail(std::string(what) + " is " + word + "; it must be at least " +
                    std::to_string(minimum));
  }
  return true;
}

bool InputReader::Real(const char* what, double& value, bool (*valid)(double),
                       const char* requirement) {
  std::string word;
  if (!Word(what, word)) return false;
  if (!tarne::ParseDouble(word, &value)) return NotA(what, word, "a number");
  if (valid != nullptr && !valid(value)) {
    return in_.Fail(std::string(what) + " is " + word + "; " + requirement);
  }
  return true;
}

bool InputReader::Seed(const char* what, std::uint32_t& seed) {
  std::string word;
  if (!Word(what, word)) return false;
  return ParseUserSeed(word, seed) || NotA(what, word, "a whole number");
}

bool InputReader::NotA(const char* what, const std::string& word, const char* kind) const {
  return in_.Fail(std::string(what) + " is \"" + word + "\", not " + kind);
}
