// The SCE-UA calibration run of the "-c" mode: input file, objective evaluation, the
// evaluation log and the result files around the search. Called by the driver.
#pragma once

#include "modellib/tarne_lib.h"
#include "sce/sce_run.h"

// The whole SCE run on the input file. Returns 0 after a run whose log and result file were
// written, 1 after a failure (reported by its messages): the input or the observations
// cannot be read, the output file cannot be created, the search fails, or the log or the
// result file cannot be written. The output file is created only once the input and the
// observations were read, so a refused input leaves the files of an earlier run as they
// were.
int run_sce(tarne::mpi_setup* partition, const char* input_file);

// The same run on a run object made by the caller (which may have set an objective hook).
int run_sce_on(SceRun& run, const char* input_file);
