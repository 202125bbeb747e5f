#include "pest/control_reader.h"

#include <cstring>

#include "modellib/file_error.h"
#include "modellib/text_util.h"
#include "pest/control_checks.h"

namespace {

// One line read takes at most this many characters, its line end included.
constexpr size_t kLineReadLimit = kTextField - 1;
// Longest part of a token quoted in a message.
constexpr size_t kShownTokenLimit = 60;

std::string Shown(const std::string& word) {
  if (word.size() <= kShownTokenLimit) return word;
  return word.substr(0, kShownTokenLimit) + "...";
}

}  // namespace

void ControlReader::Line(char (&out)[kTextField]) { in_.Line(out, kLineReadLimit + 1); }

void ControlReader::SectionHeader(char (&out)[kTextField]) {
  if (!in_.AtLineStart()) Line(out);
  Line(out);
}

bool ControlReader::SectionHeader(char (&out)[kTextField], const char* expected,
                                  const std::string& count_hint, const char* also_allowed) {
  if (!in_.AtLineStart()) Line(out);
  const long header_line = in_.line();
  Line(out);
  if (Remaining() == 0 && out[std::strspn(out, " \t\r\n")] == '\0') return true;
  if (*also_allowed != '\0' && SectionHeaderProblem(out, also_allowed, "").empty()) return true;
  return Check(SectionHeaderProblem(out, expected, count_hint), header_line);
}

bool ControlReader::Check(const std::string& problem, long line) const {
  if (problem.empty()) return true;
  ReportFileError("read", in_.file(), line > 0 ? line : in_.token_line(), problem);
  return false;
}

bool ControlReader::Word(const char* field, std::string& out) {
  return in_.Next(out) == tarne::TokenReader::Token::kRead ||
         in_.ReportEnd((field + context_).c_str());
}

bool ControlReader::Text(const char* field, char* out, size_t width) {
  std::string word;
  if (!Word(field, word)) return false;
  if (word.size() >= width) {
    return Fail("the token \"" + Shown(word) + "\" is longer than the " +
                std::to_string(width - 1) + " characters of " + field + context_);
  }
  std::memcpy(out, word.c_str(), word.size() + 1);
  return true;
}

bool ControlReader::Int(const char* field, int& out) {
  std::string word;
  if (!Word(field, word)) return false;
  if (!tarne::ParseInt(word, out)) {
    return Fail("\"" + Shown(word) + "\" is not an integer (" + field + context_ + ")");
  }
  return true;
}

bool ControlReader::Real(const char* field, double& out) {
  std::string word;
  if (!Word(field, word)) return false;
  if (!tarne::ParseDouble(word, &out)) {
    double any = 0.0;
    const char* what = tarne::ParseNumber(word, any) ? "a finite number" : "a number";
    return Fail("\"" + Shown(word) + "\" is not " + what + " (" + field + context_ + ")");
  }
  return true;
}

bool ControlReader::TryReal(double& out) {
  std::string word;
  return in_.Next(word) == tarne::TokenReader::Token::kRead && tarne::ParseDouble(word, &out);
}
