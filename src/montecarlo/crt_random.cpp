#include "montecarlo/crt_random.h"

namespace {

// The generator state; unsigned arithmetic gives the modulo 2^32 wrap for free.
std::uint32_t g_crt_state = 1;

}  // namespace

void crt_srand(std::uint32_t seed) { g_crt_state = seed; }

int crt_rand() {
  g_crt_state = g_crt_state * 214013u + 2531011u;
  return static_cast<int>((g_crt_state >> 16) & 0x7fffu);
}

double crt_fraction() { return crt_rand() * (1.0 / 32768.0); }
