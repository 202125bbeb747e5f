#include "file_error.h"

std::string FileErrorMessage(const char* verb, const char* file, long line, const char* reason) {
  std::string message = "cannot ";
  message += verb;
  message += ' ';
  message += file;
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
