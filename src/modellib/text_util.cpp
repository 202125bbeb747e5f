#include "modellib/text_util.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "modellib/file_error.h"

namespace tarne {

bool ReadTextLine(std::FILE* file, std::string* line) {
  line->clear();
  char buffer[512];
  bool read_any = false;
  while (std::fgets(buffer, sizeof buffer, file) != nullptr) {
    read_any = true;
    std::size_t length = std::strlen(buffer);
    const bool ended = length > 0 && buffer[length - 1] == '\n';
    if (ended) --length;
    if (line->size() <= kMaxTextLine) {
      line->append(buffer, std::min(length, kMaxTextLine + 1 - line->size()));
    }
    if (ended) break;
  }
  if (!read_any) return false;
  if (!LineTooLong(*line) && !line->empty() && line->back() == '\r') line->pop_back();
  return true;
}

std::string LineTooLongReason() { return LineLimitReason(kMaxTextLine); }

std::vector<std::string> SplitWords(const std::string& text) {
  std::vector<std::string> words;
  std::size_t i = 0;
  const std::size_t n = text.size();
  while (i < n) {
    while (i < n && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    if (i >= n || text[i] == '#') break;
    std::size_t start = i;
    while (i < n && !std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    words.push_back(text.substr(start, i - start));
  }
  return words;
}

static bool OnlyBlanksFrom(const char* p) {
  while (*p != '\0' && std::isspace(static_cast<unsigned char>(*p))) ++p;
  return *p == '\0';
}

bool ParseDouble(const std::string& text, double* value) {
  const char* start = text.c_str();
  char* end = nullptr;
  errno = 0;
  double parsed = std::strtod(start, &end);
  if (end == start || !OnlyBlanksFrom(end) || !std::isfinite(parsed)) return false;
  if (errno == ERANGE && std::fabs(parsed) > 1.0) return false;
  *value = parsed;
  return true;
}

bool ParseLong(const std::string& text, long* value) {
  const char* start = text.c_str();
  char* end = nullptr;
  errno = 0;
  long parsed = std::strtol(start, &end, 10);
  if (end == start || !OnlyBlanksFrom(end) || errno == ERANGE) return false;
  *value = parsed;
  return true;
}

std::string ToLower(const std::string& text) {
  std::string lower = text;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

void ReportFileError(const char* verb, const std::string& file, long line,
                     const std::string& reason) {
  std::fprintf(stderr, "%s\n", FileErrorMessage(verb, file.c_str(), line, reason.c_str()).c_str());
}

}  // namespace tarne
