#include "global/trajectory_repulsion.h"

#include <cstdio>

short RunTrajectoryRepulsion(tarne::mpi_setup*, int, char**) {
  std::printf("\nThis method is not built yet.\n");
  return 1;
}
