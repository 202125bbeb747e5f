// The SCE-UA calibration run of the "-c" mode: input file, objective evaluation, the
// evaluation log and the result files around the search. Called by the driver.
#pragma once

#include "modellib/tarne_lib.h"
#include "sce/sce_run.h"

// The whole SCE run on the input file; reports by messages only.
void run_sce(tarne::mpi_setup* partition, const char* input_file);

// The same run on a run object made by the caller (which may have set an objective hook).
void run_sce_on(SceRun& run, const char* input_file);
