#include "global/mlsl.h"

#include <cstdio>

short RunMlsl(tarne::mpi_setup*, int, char**) {
  std::printf("\nThis method is not built yet.\n");
  return 1;
}
