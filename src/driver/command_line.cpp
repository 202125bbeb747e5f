#include "driver/command_line.h"

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

void print_usage() {
  std::printf(
      "\n"
      "Usage: tarne [-option] [inputfile]\n"
      "\n"
      " where -option is one of:\n"
      "      -c = SCE calibration mode (input file is the calibration control file)\n"
      "      -m = Monte Carlo calibration mode (input file is the calibration control file)\n"
      "      -b = batch mode (input file is the batch control file)\n"
      "      -s = sensitivity mode (input file is the sensitivity control file)\n"
      "      -v = display version information (no project will be run)\n"
      "  The c, m, b, v, and f commands are optional and if not present the input file is\n"
      " treated as the project file\n"
      "\n"
      "  For the -b option, the command line should be:\n"
      "      tarne -b[num_batch] tarne_inputfile\n"
      "\n"
      "  For the -c option, the command line should be:\n"
      "      tarne -c sce_inputfile\n"
      "\n"
      "  For the -m option, the command line should be:\n"
      "      tarne -m[num_batch] mc_inputfile\n"
      "\n"
      "  For the -s option, the command line should be:\n"
      "      tarne -s sen_inputfile\n"
      "\n"
      "  where [num_batch] is the number of batch runs to make, sce_inputfile is the SCE "
      "input file, mc_intputfile is\n"
      "  the Monte Carlo input file, and sen_inputfile is the sensitivity input file.\n"
      "\n"
      "\n");
}

namespace {

bool StartsWith(const char* text, const char* prefix) {
  return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

// The mode selected by the first of two or more arguments; kNoMode for an unknown option.
// The tests run in this order and the first match wins, so "-ms" alone is the multistart
// tool while "-ms2" falls through to "-m".
RunMode ModeOfOption(const char* option) {
  if (StartsWith(option, "-slm")) return kSecantLm;
  if (std::strcmp(option, "-ms") == 0) return kMultistart;
  if (StartsWith(option, "-t")) return kTrajectoryRepulsion;
  if (StartsWith(option, "-mls")) return kMlsl;
  if (StartsWith(option, "-s")) return kSensitivity;
  if (StartsWith(option, "-c")) return kSceCalibration;
  if (StartsWith(option, "-b")) return kBatchRuns;
  if (StartsWith(option, "-m")) return kMonteCarlo;
  if (StartsWith(option, "-h")) return kHelp;
  if (StartsWith(option, "-v")) return kVersionBanner;
  return kNoMode;
}

enum class CountText { kNoNumber, kNumber, kOutOfRange };

// Reads the decimal number written straight after the option letters, as a formatted read
// of one long integer would: leading blanks and a sign are allowed and reading stops at the
// first character that is not a digit. Numbers beyond the 32-bit count are reported.
CountText ReadCount(const char* text, std::int32_t& count) {
  const char* p = text;
  while (std::isspace(static_cast<unsigned char>(*p))) ++p;
  if (*p == '+' || *p == '-') ++p;
  if (!std::isdigit(static_cast<unsigned char>(*p))) return CountText::kNoNumber;
  errno = 0;
  const long value = std::strtol(text, nullptr, 10);
  if (errno == ERANGE || value > INT32_MAX || value < INT32_MIN) return CountText::kOutOfRange;
  count = static_cast<std::int32_t>(value);
  return CountText::kNumber;
}

// Copies name into the request, or refuses it with a message when it does not fit.
bool CopyInputFile(const char* name, RunRequest& request) {
  const std::size_t length = std::strlen(name);
  if (length >= kInputFileSize) {
    std::printf("tarne: the input file name is %zu characters long; at most %zu are accepted\n",
                length, kInputFileSize - 1);
    return false;
  }
  std::memcpy(request.input_file, name, length + 1);
  return true;
}

int NothingToRun(RunRequest& request, int status) {
  request.mode = kNoMode;
  request.status = status;
  return -1;
}

}  // namespace

int parse_command_line(int argc, char** argv, RunRequest& request) {
  std::memset(request.input_file, 0, sizeof request.input_file);
  request.mode = kNoMode;
  request.status = 0;
  if (argc < 2) {
    print_usage();
    return NothingToRun(request, 0);
  }
  request.count = 1;
  if (argc == 2) {
    if (!CopyInputFile(argv[1], request)) return NothingToRun(request, 1);
    request.mode = kProjectRun;
    return request.count;
  }
  const RunMode mode = ModeOfOption(argv[1]);
  if (mode == kNoMode) {
    print_usage();
    return NothingToRun(request, 0);
  }
  if (mode == kBatchRuns || mode == kMonteCarlo) {
    if (ReadCount(argv[1] + 2, request.count) == CountText::kOutOfRange) {
      std::printf("tarne: the count in \"%s\" is out of range (at most %ld)\n", argv[1],
                  static_cast<long>(INT32_MAX));
      return NothingToRun(request, 1);
    }
  }
  if (!CopyInputFile(argv[2], request)) return NothingToRun(request, 1);
  request.mode = mode;
  return request.count;
}
