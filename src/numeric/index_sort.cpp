#include "numeric/index_sort.h"

#include <cstdint>
#include <utility>

namespace {

// The stack limit of the index sort and the size below which a partition is sorted by
// straight insertion.
constexpr int kSortStack = 50;
constexpr long kInsertionLimit = 7;

}  // namespace

ivector indexx(long n, const dvector& values) {
  ivector x(n);
  for (long j = 1; j <= n; ++j) x[j] = static_cast<std::int32_t>(j);
  if (n < 1) return x;
  ivector stack(kSortStack);
  auto a = [&values, &x](long j) { return values[x[j]]; };
  auto swap = [&x](long i, long j) { std::swap(x[i], x[j]); };
  long l = 1, ir = n, top = 0;
  for (;;) {
    if (ir - l < kInsertionLimit) {
      for (long j = l + 1; j <= ir; ++j) {
        const std::int32_t index = x[j];
        const double value = values[index];
        long i = j - 1;
        for (; i >= l; --i) {
          if (a(i) <= value) break;
          x[i + 1] = x[i];
        }
        x[i + 1] = index;
      }
      if (top == 0) break;
      ir = stack[top--];
      l = stack[top--];
      continue;
    }
    const long k = (l + ir) >> 1;
    swap(k, l + 1);
    if (a(l) > a(ir)) swap(l, ir);
    if (a(l + 1) > a(ir)) swap(l + 1, ir);
    if (a(l) > a(l + 1)) swap(l, l + 1);
    long i = l + 1, j = ir;
    const std::int32_t index = x[l + 1];
    const double pivot = values[index];
    for (;;) {
      do ++i; while (a(i) < pivot);
      do --j; while (a(j) > pivot);
      if (j < i) break;
      swap(i, j);
    }
    x[l + 1] = x[j];
    x[j] = index;
    top += 2;
    if (top > kSortStack) nr_error("NSTACK too small in indexx.");
    if (ir - i + 1 >= j - l) {
      stack[top] = ir;
      stack[top - 1] = i;
      ir = j - 1;
    } else {
      stack[top] = j - 1;
      stack[top - 1] = l;
      l = i;
    }
  }
  return x;
}
