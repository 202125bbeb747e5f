// The command line of tarne: the run request it is read into, the grammar that selects one
// run mode, and the usage text. Called once by main before the chosen mode is dispatched.
#pragma once

#include <cstddef>
#include <cstdint>

// The run modes, numbered as the program has always numbered them.
enum RunMode : std::int32_t {
  kNoMode = 0,               // nothing to run (usage text printed or an argument refused)
  kProjectRun = 1,           // single argument: one run of a project file
  kSceCalibration = 2,       // -c
  kBatchRuns = 3,            // -b[num_batch]
  kVersionBanner = 4,        // -v
  kHelp = 5,                 // -h
  kMonteCarlo = 6,           // -m[num_batch]
  kSensitivity = 7,          // -s
  kSecantLm = 8,             // -slm
  kMultistart = 9,           // -ms
  kTrajectoryRepulsion = 10, // -tr
  kMlsl = 11,                // -mlsl
};

// Size of the input file name buffer, terminator included.
constexpr std::size_t kInputFileSize = 2056;

struct RunRequest {
  std::int32_t mode = kNoMode;
  char input_file[kInputFileSize] = {};
  std::int32_t count = 1;
  // Exit status when mode is kNoMode: 0 after the usage text, 1 after a refused argument.
  int status = 0;
};

// Fills request from the command line. Returns request.count, or -1 when nothing is to run
// (usage text printed, or an over-long file name or out-of-range count refused with a
// message); request.mode tells the two apart from a count of -1 written after -b or -m.
int parse_command_line(int argc, char** argv, RunRequest& request);

// The usage text on standard output.
void print_usage();
