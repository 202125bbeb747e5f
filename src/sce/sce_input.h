// Reading of the SCE input file into the run's settings and the check that repairs the
// algorithm settings with warnings. Called by run_sce before the search starts.
#pragma once

#include "sce/sce_run.h"

// Largest number of parameters accepted; keeps every array size within range.
constexpr int kSceMaxParameters = 100000;

// Reads the three name lines, the two records of settings and the parameter records from
// input (already open; file_name is used in messages). Records the project's location in
// run.io_settings. Returns 0 on success (the file is then closed) and -1 after a message.
int read_sce_input(SceRun& run, tarne::gFILE& input, const char* file_name);

// Applies the defaults (custom != 1) and repairs invalid algorithm settings, printing one
// warning per repair. Returns the number of warnings, or -1 for an invalid number of
// complexes.
int check_sce_settings(SceSettings& settings);

// Largest nspl accepted: the larger of npg and max_calls / ngs (rounded up), so that one
// shuffling loop of ngs complexes stays near the evaluation limit.
long MostEvolutionSteps(const SceSettings& settings);
