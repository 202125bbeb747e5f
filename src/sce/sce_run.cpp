// Storage helpers of the SCE run object: arrays come from the model library's allocator so
// that a failed allocation is reported under the array's name.
#include "sce/sce_run.h"

SceArray AllocateSceArray(long n, const char* label) {
  double* raw = nullptr;
  d_alloc(&raw, n, label);
  return SceArray(raw);
}

bool ScePointTable::Allocate(long rows, long n, const char* label) {
  width_ = n + 1;
  data_ = AllocateSceArray((rows + 1) * width_, label);
  return data_ != nullptr;
}
