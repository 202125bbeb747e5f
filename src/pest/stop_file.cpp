#include "pest/stop_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "modellib/file_error.h"
#include "modellib/input_file.h"
#include "numeric/process_end.h"

namespace {

constexpr const char* kStopFileName = "pest.stp";
// Code of a stop file that holds no number.
constexpr long kNoStopCode = 999;
// Largest stop file read: a code and a note about it fit many times over.
constexpr std::uint64_t kMaxStopFileBytes = 65536;

// The one way out of the process for a stop request: codes 2 and 3 explain why the request
// cannot be obeyed as asked, code 1 ends quietly. The run ends with status 0 and leaves the
// restart file of the last completed iteration for a later restart.
[[noreturn]] void EndOnStopRequest(long code) {
  if (code == 2) {
    std::printf("\n\nThe toolbox does not currently support\n");
    std::printf("ceasing execution with a full parameter statistics printout.\n\n");
  } else if (code == 3) {
    std::printf("\n\nThe toolbox does not currently support pausing execution.\n\n");
  }
  std::fflush(stdout);
  EndProcess(0);
}

// The integer at the start of the stop file, as a "%ld" conversion takes it: white space,
// an optional sign, then digits. Digits are read one by one, so however many leading zeros a
// code has it still counts; a value beyond the range of long, like no digits at all, counts
// as no code.
long ReadStopCode(std::FILE* file) {
  int c = std::getc(file);
  while (c != EOF && std::isspace(c)) c = std::getc(file);
  const bool negative = c == '-';
  if (c == '+' || c == '-') c = std::getc(file);
  bool any_digit = false;
  bool out_of_range = false;
  long magnitude = 0;
  for (; c != EOF && std::isdigit(c); c = std::getc(file)) {
    any_digit = true;
    const long digit = c - '0';
    if (magnitude > (LONG_MAX - digit) / 10) out_of_range = true;
    if (!out_of_range) magnitude = magnitude * 10 + digit;
  }
  if (!any_digit || out_of_range) return kNoStopCode;
  return negative ? -magnitude : magnitude;
}

}  // namespace

void CheckStopFile() {
  struct stat status;
  if (stat(kStopFileName, &status) != 0 && errno == ENOENT) return;
  // Whatever else stands under the name and cannot be read as a stop file (a directory, a
  // device, a file too large or unreadable) is reported and left alone; the run goes on.
  std::string reason;
  std::FILE* file = tarne::OpenInputFile(kStopFileName, "r", kMaxStopFileBytes, &reason);
  if (file == nullptr) {
    ReportFileError("read", kStopFileName, 0, reason);
    return;
  }
  long code = ReadStopCode(file);
  std::fclose(file);
  if (code == 1 || code == 2 || code == 3) EndOnStopRequest(code);
  // unlink, unlike remove, never takes away a directory put there in the meantime.
  unlink(kStopFileName);
}

void DeleteStaleStopFile() {
  struct stat status;
  if (lstat(kStopFileName, &status) != 0) return;
  if (S_ISDIR(status.st_mode)) {
    ReportFileError("delete", kStopFileName, 0, "it is a directory; it is left in place");
    return;
  }
  if (unlink(kStopFileName) != 0) {
    ReportFileError("delete", kStopFileName, 0, std::strerror(errno));
  }
}
