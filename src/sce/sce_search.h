// The Shuffled Complex Evolution (SCE-UA) search: initial population, shuffling loops of
// complex evolution, the three stop tests, complex reduction and the progress report in the
// output file. Called once per SCE run by run_sce.
#pragma once

#include "sce/sce_run.h"

// Runs the search on run's settings and leaves the best point in run.bestx. Returns the
// number of the next evaluation (one more than the evaluations made), or -1 when the
// search could not start.
int run_sceua(SceRun& run);
