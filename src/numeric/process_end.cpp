// Kept alone in this file: a fuzz harness that defines EndProcess itself then never links it.
#include "numeric/process_end.h"

#include <cstdlib>

void EndProcess(int status) {
  RunProcessEndAction(status);
  std::exit(status);
}
