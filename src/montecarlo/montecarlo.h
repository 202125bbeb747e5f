// Monte Carlo calibration: uniform sampling of parameter sets between bounds, one model
// objective per sample, per-partition logs and the best set in "best.out". Called by the
// driver for the "-m" and "-s" modes.
#pragma once

#include "modellib/tarne_lib.h"

// Runs total_samples samples (split over the partitions of partition) as described by the
// Monte Carlo input file. Returns 1 when the run loop ran and 0 when the input file could
// not be read.
int run_monte_carlo(tarne::mpi_setup* partition, long total_samples, const char* input_file);
