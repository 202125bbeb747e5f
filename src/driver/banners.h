// The version pieces of this build and the two banners built from them: the start banner
// every console start prints and the version banner of the -v mode. Called by main and by
// the run modes.
#pragma once

// Version "8.0." "016", build kind " Release", and the release's build date.
extern const char* const kVersionMajor;
extern const char* const kVersionNumber;
extern const char* const kBuildKind;
extern const char* const kBuildDate;

// "Parallel version of TARNE (...)" with the thread count of the partition object; flushes
// standard output.
void print_start_banner(long total_threads);

// The version line, the credits block and the closing blank lines, on standard output.
void print_version_banner();
