#include "global/multistart.h"

#include <cstdio>

short RunMultistart(tarne::mpi_setup*, int, char**) {
  std::printf("\nThis method is not built yet.\n");
  return 1;
}
