#include "pest/template_files.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "modellib/file_error.h"
#include "modellib/input_file.h"
#include "modellib/template_text.h"
#include "pest/name_index.h"

namespace {

// Longest header line and longest field text (delimiters included) a template may hold.
constexpr long kMaxTemplateText = 14999;

// The number of template entries that can be used: NTPLFLE, bounded by the table and the
// entries the record actually holds.
int UsableTemplateCount(const ProblemRecord& record) {
  const int held = static_cast<int>(record.templates.size()) - 1;
  return std::max(0, std::min({record.NTPLFLE, kMaxModelFiles, held}));
}

// Reads everything from the file's start; the offsets of the result are file offsets. A file
// or a line beyond the limits of every input is refused with its line.
bool ReadWholeFile(const TemplateEntry& entry, std::FILE* file, std::string& content) {
  std::rewind(file);
  content.clear();
  tarne::TextFault fault;
  if (!tarne::ReadInputText(file, tarne::kMaxInputFileBytes, tarne::kMaxInputLine, &content,
                            &fault)) {
    ReportFileError("read", entry.TEMPFLE, fault.line, fault.reason);
    return false;
  }
  return true;
}

// Checks "ptf"/"jtf" and finds the delimiter, the fifth character of the header line.
bool ReadHeader(const TemplateEntry& entry, const std::string& content, char& delimiter) {
  const tarne::TemplateHeader header = tarne::ReadTemplateHeader(content);
  if (!header.is_template) {
    std::printf("\n");
    std::printf("%s is not a valid PEST template file.\n", entry.TEMPFLE);
    std::printf("\n");
    return false;
  }
  if (header.length > static_cast<size_t>(kMaxTemplateText)) {
    ReportFileError("read", entry.TEMPFLE, 1, "header line longer than 14999 characters");
    return false;
  }
  if (header.delimiter == '\0') {
    ReportFileError("read", entry.TEMPFLE, 1, "the header line names no delimiter character");
    return false;
  }
  delimiter = header.delimiter;
  return true;
}

// Stores the offset just past every delimiter after the header line; refuses more than
// the entry can hold.
bool FindDelimiters(TemplateEntry& entry, const std::string& content, char delimiter) {
  entry.delimiter_positions.clear();
  std::vector<size_t> offsets;
  const bool all = tarne::FindTemplateDelimiters(content, delimiter, kMaxTemplateDelimiters,
                                                 &offsets);
  if (!all) {
    ReportFileError("read", entry.TEMPFLE, tarne::LineOfOffset(content, offsets.back()),
                    "more than 10000 parameter delimiters");
    return false;
  }
  for (size_t offset : offsets) entry.delimiter_positions.push_back(static_cast<long>(offset) + 1);
  return true;
}

// Maps field l (1..n) to its parameter: the field's text without delimiters and blanks.
// Its upper-case form is sought first over all parameters; only when no parameter carries
// it is the lower-case form sought.
bool MapFields(TemplateEntry& entry, const std::string& content, char delimiter,
               const NameIndex& parameters) {
  const int n = static_cast<int>(entry.delimiter_positions.size() / 2);
  try {
    entry.field_map.assign(static_cast<size_t>(n) + 1, 0);
  } catch (const std::bad_alloc&) {
    std::printf("Not enough memory to allocate buffer");
    std::printf("\n");
    return false;
  }
  for (int l = 1; l <= n; ++l) {
    const long g = entry.delimiter_positions[2 * l - 2];
    const long f = entry.delimiter_positions[2 * l - 1];
    if (f - g + 1 > kMaxTemplateText) {
      ReportFileError("read", entry.TEMPFLE, tarne::LineOfOffset(content, g - 1),
                      "parameter field longer than 14999 characters");
      return false;
    }
    const std::string name = tarne::TemplateFieldName(content, delimiter, g - 1, f - 1);
    int parameter = parameters.FindFirst({UpperCase(name)});
    if (parameter == 0) parameter = parameters.FindFirst({LowerCase(name)});
    entry.field_map[l] = parameter;
  }
  entry.field_count = n;
  return true;
}

NameIndex IndexParameters(const ProblemRecord& record) {
  const int held = static_cast<int>(record.parameters.size()) - 1;
  const int count = std::max(0, std::min(record.NPAR, held));
  std::vector<const char*> names(static_cast<size_t>(count) + 1, "");
  for (int k = 1; k <= count; ++k) names[k] = record.parameters[k].PARNME;
  return NameIndex(std::move(names));
}

}  // namespace

bool TemplateCountSupported(int count) {
  if (count < kMaxModelFiles + 1) return true;
  std::printf("\n");
  std::printf("Currently, slm_kor does not support more than 25 template files.\n");
  std::printf("Please modify and recompile the code to accomodate the unusually large number of template files.\n");
  std::printf("\n");
  return false;
}

short OpenTemplateFiles(ProblemRecord& record, FileHandleTable& handles) {
  if (!TemplateCountSupported(record.NTPLFLE)) return 1;
  if (UsableTemplateCount(record) < record.NTPLFLE) {
    std::printf("The problem holds fewer template entries than NTPLFLE = %d.\n", record.NTPLFLE);
    return 1;
  }
  for (int i = 1; i <= record.NTPLFLE; ++i) {
    if (handles.slot[i] != nullptr) std::fclose(handles.slot[i]);
    std::string reason;
    handles.slot[i] = tarne::OpenInputFile(record.templates[i].TEMPFLE, "rb",
                                           tarne::kMaxInputFileBytes, &reason);
    if (handles.slot[i] == nullptr) {
      ReportFileError("open", record.templates[i].TEMPFLE, 0, reason);
      return 1;
    }
  }
  return 0;
}

short CheckTemplateFiles(ProblemRecord& record, FileHandleTable& handles) {
  if (UsableTemplateCount(record) < record.NTPLFLE) {
    std::printf("The problem holds fewer template entries than NTPLFLE = %d.\n", record.NTPLFLE);
    return 1;
  }
  const NameIndex parameters = IndexParameters(record);
  for (int i = 1; i <= record.NTPLFLE; ++i) {
    TemplateEntry& entry = record.templates[i];
    std::string content;
    if (handles.slot[i] == nullptr) {
      ReportFileError("read", entry.TEMPFLE, 0, "the file is not open");
      return 1;
    }
    if (!ReadWholeFile(entry, handles.slot[i], content)) return 1;
    char delimiter = '\0';
    if (!ReadHeader(entry, content, delimiter) || !FindDelimiters(entry, content, delimiter) ||
        !MapFields(entry, content, delimiter, parameters)) {
      return 1;
    }
  }
  return 0;
}

short CloseTemplateFiles(ProblemRecord& record, FileHandleTable& handles) {
  const int count = std::max(0, std::min(record.NTPLFLE, kMaxModelFiles));
  for (int i = 1; i <= count; ++i) {
    if (handles.slot[i] != nullptr) {
      std::fclose(handles.slot[i]);
      handles.slot[i] = nullptr;
    }
  }
  return 0;
}
