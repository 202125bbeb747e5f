#include "plot_text.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

namespace fs = std::filesystem;

namespace tarne_plot {

namespace {

// No file tarne writes comes near this; a bigger one is not a run's output.
constexpr std::uintmax_t kLargestReadableFile = std::uintmax_t{1} << 30;

}  // namespace

std::string FileError(const std::string& verb, const std::string& file, long line,
                      const std::string& reason) {
  std::string message =
      "cannot " + verb + " " + (file.empty() ? "\"\" (an empty file name)" : file);
  if (line > 0) message += " (line " + std::to_string(line) + ")";
  if (!reason.empty()) message += ": " + reason;
  return message;
}

bool ReadLines(const std::string& path, std::vector<std::string>* lines, std::string* error) {
  std::error_code code;
  const fs::file_status status = fs::status(path, code);
  if (code || !fs::exists(status)) {
    *error = FileError("open", path, 0, "No such file or directory");
    return false;
  }
  if (fs::is_directory(status)) {
    *error = FileError("read", path, 0, "it is a directory, not a regular file");
    return false;
  }
  if (!fs::is_regular_file(status)) {
    *error = FileError("read", path, 0, "it is not a regular file");
    return false;
  }
  if (fs::file_size(path, code) > kLargestReadableFile) {
    *error = FileError("read", path, 0, "it is larger than 1 GiB");
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = FileError("open", path, 0, std::strerror(errno));
    return false;
  }
  lines->clear();
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines->push_back(line);
  }
  if (in.bad()) {
    *error = FileError("read", path, 0, std::strerror(errno));
    return false;
  }
  return true;
}

std::vector<std::string> SplitWords(const std::string& line) {
  std::vector<std::string> words;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    const std::size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    if (i > start) words.push_back(line.substr(start, i - start));
  }
  return words;
}

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  while (start < line.size()) {
    const std::size_t tab = line.find('\t', start);
    if (tab == std::string::npos) {
      fields.push_back(line.substr(start));
      break;
    }
    fields.push_back(line.substr(start, tab - start));
    start = tab + 1;
  }
  return fields;
}

bool ParseNumber(const std::string& word, double* value) {
  if (word.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const double parsed = std::strtod(word.c_str(), &end);
  if (end != word.c_str() + word.size()) return false;
  // Overflow gives inf, which is what the writer meant by a number that large.
  *value = parsed;
  return true;
}

bool ParseInteger(const std::string& word, long* value) {
  if (word.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const long parsed = std::strtol(word.c_str(), &end, 10);
  if (end != word.c_str() + word.size() || errno == ERANGE) return false;
  *value = parsed;
  return true;
}

bool WriteFileAtomically(const std::string& path, const std::string& content,
                         std::string* error) {
  const std::string temporary = path + ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out) {
      *error = FileError("create", temporary, 0, std::strerror(errno));
      return false;
    }
    out << content;
    out.flush();
    if (!out) {
      const int saved = errno;
      out.close();
      std::remove(temporary.c_str());
      *error = FileError("write", temporary, 0, std::strerror(saved));
      return false;
    }
  }
  std::error_code code;
  fs::rename(temporary, path, code);
  if (code) {
    std::remove(temporary.c_str());
    *error = FileError("write", path, 0, code.message());
    return false;
  }
  return true;
}

std::string SafeFileWord(const std::string& text) {
  std::string word;
  for (char c : text) {
    const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                      (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.';
    word += keep ? c : '_';
  }
  return word.empty() ? "_" : word;
}

std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') quoted += "'\\''";
    else quoted += c;
  }
  return quoted + "'";
}

std::string GnuplotQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') quoted += "''";
    else if (c != '\n' && c != '\r') quoted += c;
  }
  return quoted + "'";
}

std::string ExactNumber(double value) {
  char buffer[40];
  for (int precision = 6; precision <= 17; ++precision) {
    std::snprintf(buffer, sizeof buffer, "%.*g", precision, value);
    if (std::strtod(buffer, nullptr) == value || !std::isfinite(value)) break;
  }
  return buffer;
}

std::string ShortNumber(double value) {
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%.6g", value);
  return buffer;
}

}  // namespace tarne_plot
