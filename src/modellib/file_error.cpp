#include "file_error.h"

#include <cstdio>

std::string FileErrorMessage(const char* verb, const char* file, long line, const char* reason) {
  std::string message = "cannot ";
  message += verb;
  message += ' ';
  // A message must say which file it is about; an empty name is said to be one.
  message += file[0] != '\0' ? file : "\"\" (an empty file name)";
  if (line > 0) {
    message += " (line ";
    message += std::to_string(line);
    message += ')';
  }
  if (reason != nullptr && reason[0] != '\0') {
    message += ": ";
    message += reason;
  }
  return message;
}

void ReportFileError(const char* verb, const std::string& file, long line,
                     const std::string& reason) {
  std::printf("%s\n", FileErrorMessage(verb, file.c_str(), line, reason.c_str()).c_str());
}
