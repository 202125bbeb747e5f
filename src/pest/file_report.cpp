#include "pest/file_report.h"

#include <cstdio>

#include "modellib/file_error.h"

void ReportFileError(const char* verb, const std::string& file, long line,
                     const std::string& reason) {
  std::printf("%s\n", FileErrorMessage(verb, file.c_str(), line, reason.c_str()).c_str());
}
