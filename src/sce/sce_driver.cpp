// Placeholder until the SCE-UA calibration is written.
#include "sce/sce_driver.h"

#include <cstdio>

void run_sce(tarne::mpi_setup*, const char*) {
  std::printf("SCE calibration is not available in this build.\n");
}
