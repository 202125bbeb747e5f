#include "modellib/replacement.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "modellib/text_util.h"

namespace tarne {

// Longest formatted value accepted; far more than any sensible width.
constexpr std::size_t kMaxFormattedValue = 128;
constexpr std::size_t kMaxFormatLength = 64;

bool IsSafeNumberFormat(const std::string& format) {
  if (format.size() > kMaxFormatLength) return false;
  int conversions = 0;
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%') continue;
    ++i;
    if (i < format.size() && format[i] == '%') continue;
    while (i < format.size() && std::strchr("-+ #0", format[i]) != nullptr) ++i;
    std::size_t digits = 0;
    while (i < format.size() && std::isdigit(static_cast<unsigned char>(format[i]))) ++i, ++digits;
    if (digits > 2) return false;
    if (i < format.size() && format[i] == '.') {
      ++i;
      digits = 0;
      while (i < format.size() && std::isdigit(static_cast<unsigned char>(format[i]))) ++i, ++digits;
      if (digits > 2) return false;
    }
    if (i < format.size() && format[i] == 'l') ++i;
    if (i >= format.size() || std::strchr("eEfFgG", format[i]) == nullptr) return false;
    ++conversions;
  }
  return conversions == 1;
}

bool FormatValue(const std::string& format, double value, std::string* text) {
  if (!IsSafeNumberFormat(format)) return false;
  char buffer[kMaxFormattedValue];
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
  const int length = std::snprintf(buffer, sizeof buffer, format.c_str(), value);
#pragma GCC diagnostic pop
  if (length < 0 || static_cast<std::size_t>(length) >= sizeof buffer) return false;
  text->assign(buffer, static_cast<std::size_t>(length));
  return true;
}

// Parses one list line "[name] "format""; false with a reason when it is malformed.
static bool ParseListEntry(const std::string& line, ReplacementEntry* entry,
                           std::string* reason) {
  std::size_t i = 0;
  while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i]))) ++i;
  const std::size_t close = line.find(']', i);
  if (i >= line.size() || line[i] != '[' || close == std::string::npos || close == i + 1) {
    *reason = "expected [name] \"format\"";
    return false;
  }
  entry->name = line.substr(i + 1, close - i - 1);
  const std::size_t open_quote = line.find('"', close);
  const std::size_t close_quote =
      open_quote == std::string::npos ? std::string::npos : line.find('"', open_quote + 1);
  if (close_quote == std::string::npos) {
    *reason = "expected a format in double quotes after [" + entry->name + "]";
    return false;
  }
  entry->format = line.substr(open_quote + 1, close_quote - open_quote - 1);
  if (!IsSafeNumberFormat(entry->format)) {
    *reason = "format \"" + entry->format + "\" is not one conversion of a number";
    return false;
  }
  if (!SplitWords(line.substr(close_quote + 1)).empty()) {
    *reason = "unexpected text after the format";
    return false;
  }
  return true;
}

// Reads the count line; an empty file is a list of no parameters.
static int ReadListCount(std::FILE* file, const std::string& path, long* count,
                         long* line_number) {
  std::string line;
  *count = 0;
  while (ReadTextLine(file, &line)) {
    ++*line_number;
    if (LineTooLong(line)) {
      ReportFileError("read", path, *line_number, LineTooLongReason());
      return 1;
    }
    const std::vector<std::string> words = SplitWords(line);
    if (words.empty()) continue;
    if (words.size() != 1 || !ParseLong(words[0], count) || *count < 0) {
      ReportFileError("read", path, *line_number, "expected the number of parameters");
      return 1;
    }
    return 0;
  }
  return 0;
}

// Opens an input of the list or value reader; the reason goes to not_opened when it fails.
static std::FILE* OpenListInput(const std::string& path, std::string* not_opened) {
  std::string reason;
  std::FILE* file = OpenInputFile(path, "r", kMaxInputFileBytes, &reason);
  if (file == nullptr && not_opened != nullptr) *not_opened = reason;
  return file;
}

int ReadReplacementList(const std::string& path, std::vector<ReplacementEntry>* list,
                        std::string* not_opened) {
  list->clear();
  std::FILE* file = OpenListInput(path, not_opened);
  if (file == nullptr) {
    return kNotOpened;
  }
  long count = 0;
  long line_number = 0;
  int status = ReadListCount(file, path, &count, &line_number);
  std::string line;
  while (status == 0 && static_cast<long>(list->size()) < count) {
    if (!ReadTextLine(file, &line)) {
      ReportFileError("read", path, line_number + 1,
                      "the list ends before its " + std::to_string(count) + " parameters");
      status = 1;
      break;
    }
    ++line_number;
    ReplacementEntry entry;
    std::string reason = LineTooLong(line) ? LineTooLongReason() : "";
    if (!reason.empty() || !ParseListEntry(line, &entry, &reason)) {
      ReportFileError("read", path, line_number, reason);
      status = 1;
      break;
    }
    list->push_back(entry);
  }
  std::fclose(file);
  return status;
}

int ReadValueLine(const std::string& path, long line_index, std::vector<double>* values,
                  std::string* not_opened) {
  values->clear();
  std::FILE* file = OpenListInput(path, not_opened);
  if (file == nullptr) {
    return kNotOpened;
  }
  std::string line;
  long line_number = 0;
  bool found = false;
  while (ReadTextLine(file, &line)) {
    if (line_number++ == line_index) {
      found = true;
      break;
    }
  }
  std::fclose(file);
  if (!found) {
    ReportFileError("read", path, line_index + 1, "the value file has no such line");
    return 1;
  }
  if (LineTooLong(line)) {
    ReportFileError("read", path, line_number, LineTooLongReason());
    return 1;
  }
  for (const std::string& word : SplitWords(line)) {
    double value = 0.0;
    if (!ParseDouble(word, &value)) {
      ReportFileError("read", path, line_number, "'" + word + "' is not a number");
      return 1;
    }
    values->push_back(value);
  }
  return 0;
}

int BuildSubstitutions(const std::string& list_path, const std::vector<ReplacementEntry>& list,
                       const double* values, long count,
                       std::vector<Substitution>* substitutions) {
  if (static_cast<long>(list.size()) != count) {
    ReportFileError("use", list_path, 0,
                    "the list names " + std::to_string(list.size()) + " parameters but " +
                        std::to_string(count) + " values were given");
    return 1;
  }
  for (std::size_t i = 0; i < list.size(); ++i) {
    Substitution substitution;
    substitution.name = list[i].name;
    substitution.value = values[i];
    if (!FormatValue(list[i].format, values[i], &substitution.text)) {
      ReportFileError("use", list_path, 0, "cannot format the value of " + list[i].name);
      return 1;
    }
    substitutions->push_back(substitution);
  }
  return 0;
}

static bool SameNameIgnoringCase(const std::string& a, const char* b, std::size_t b_length) {
  if (a.size() != b_length) return false;
  for (std::size_t i = 0; i < b_length; ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

bool SubstituteNames(const std::string& text, const std::vector<Substitution>& substitutions,
                     std::string* result, std::string* problem) {
  result->clear();
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t open = text.find('[', i);
    if (open == std::string::npos) break;
    result->append(text, i, open - i);
    const std::size_t close = text.find(']', open);
    if (close == std::string::npos) {
      *problem = text.substr(open);
      return false;
    }
    const char* name = text.c_str() + open + 1;
    const std::size_t length = close - open - 1;
    const Substitution* match = nullptr;
    for (const Substitution& s : substitutions) {
      if (SameNameIgnoringCase(s.name, name, length)) {
        match = &s;
        break;
      }
    }
    if (match == nullptr) {
      *problem = text.substr(open, length + 2);
      return false;
    }
    result->append(match->text);
    i = close + 1;
  }
  if (i < text.size()) result->append(text, i, std::string::npos);
  return true;
}

}  // namespace tarne
