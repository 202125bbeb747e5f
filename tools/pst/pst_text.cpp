#include "pst_text.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "modellib/input_file.h"
#include "modellib/text_util.h"

namespace pst {

std::string ReadWholeText(const std::string& path) {
  std::string reason;
  std::FILE* file = tarne::OpenInputFile(path, "rb", tarne::kMaxInputFileBytes, &reason);
  if (file == nullptr) Fail({path, 0}, reason);
  std::string text;
  tarne::TextFault fault;
  const bool read =
      tarne::ReadInputText(file, tarne::kMaxInputFileBytes, tarne::kMaxInputLine, &text, &fault);
  std::fclose(file);
  if (!read) Fail({path, fault.line}, fault.reason);
  return text;
}

std::vector<TextLine> ReadLines(const std::string& path) {
  const std::string text = ReadWholeText(path);
  std::vector<TextLine> lines;
  std::size_t start = 0;
  long number = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back({line, ++number});
    start = end + 1;
  }
  return lines;
}

void Fail(const Origin& at, const std::string& reason) { throw ImportError{at, reason}; }

std::vector<std::string> Words(const std::string& text) {
  std::vector<std::string> words;
  std::size_t k = 0;
  while (k < text.size()) {
    while (k < text.size() && std::isspace(static_cast<unsigned char>(text[k]))) ++k;
    const std::size_t start = k;
    while (k < text.size() && !std::isspace(static_cast<unsigned char>(text[k]))) ++k;
    if (k > start) words.push_back(text.substr(start, k - start));
  }
  return words;
}

std::string Lower(const std::string& text) { return tarne::ToLower(text); }

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

std::string Trim(const std::string& text) {
  std::size_t start = 0, end = text.size();
  while (start < end && std::isspace(static_cast<unsigned char>(text[start]))) ++start;
  while (end > start && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
  return text.substr(start, end - start);
}

bool NumberText(const std::string& token, std::string* text, double* value) {
  std::string normal = token;
  for (char& c : normal) {
    if (c == 'd' || c == 'D') c = 'E';
  }
  if (normal.empty()) return false;
  const char* begin = normal.c_str();
  char* end = nullptr;
  errno = 0;
  const double parsed = std::strtod(begin, &end);
  // Only decimal numbers: strtod would also take "inf", "nan" and hexadecimal forms.
  for (char c : normal) {
    if (!std::isdigit(static_cast<unsigned char>(c)) && c != '.' && c != '+' && c != '-' &&
        c != 'e' && c != 'E') {
      return false;
    }
  }
  if (end == begin || *end != '\0' || !std::isfinite(parsed) || errno == ERANGE) return false;
  *text = normal;
  if (value != nullptr) *value = parsed;
  return true;
}

std::string RequireNumber(const std::string& token, const Origin& at, const std::string& what) {
  std::string text;
  if (!NumberText(token, &text)) Fail(at, "'" + token + "' is not a number (" + what + ")");
  return text;
}

double RequireValue(const std::string& token, const Origin& at, const std::string& what) {
  std::string text;
  double value = 0.0;
  if (!NumberText(token, &text, &value)) Fail(at, "'" + token + "' is not a number (" + what + ")");
  return value;
}

long RequireInteger(const std::string& token, const Origin& at, const std::string& what) {
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(token.c_str(), &end, 10);
  if (token.empty() || *end != '\0' || errno == ERANGE || value < INT_MIN || value > INT_MAX) {
    Fail(at, "'" + token + "' is not a whole number (" + what + ")");
  }
  return value;
}

std::string DirectoryOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

}  // namespace pst
