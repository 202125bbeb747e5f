// Placeholder until the Monte Carlo calibration is written.
#include "montecarlo/montecarlo.h"

#include <cstdio>

int run_monte_carlo(tarne::mpi_setup*, long, const char*) {
  std::printf("Monte Carlo calibration is not available in this build.\n");
  return 0;
}
