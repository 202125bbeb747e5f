// Minimal standard generator (multiplier 16807, modulus 2^31 - 1, Schrage's factorisation)
// with a 32-entry shuffle table, and the polar Box-Muller method on top of it.
#include "sce/sce_random.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace {

constexpr std::int32_t kModulus = 2147483647;
constexpr std::int32_t kMultiplier = 16807;
constexpr std::int32_t kSchrageQ = 127773;  // kModulus / kMultiplier
constexpr std::int32_t kSchrageR = 2836;    // kModulus % kMultiplier
constexpr int kTableSize = 32;
constexpr std::int32_t kTableDivisor = 67108864;  // 1 + (kModulus - 1) / kTableSize
constexpr double kLargestUniform = 0.99999988;

// Process-wide generator tables: they outlive each search and are not reset.
std::int32_t g_iy = 0;
std::int32_t g_iv[kTableSize] = {};
bool g_has_spare = false;
double g_spare = 0.0;

// One step of idum -> 16807 * idum mod (2^31 - 1) without overflow.
std::int32_t Advance(std::int32_t idum) {
  std::int32_t k = idum / kSchrageQ;
  idum = kMultiplier * (idum - k * kSchrageQ) - kSchrageR * k;
  if (idum < 0) idum += kModulus;
  return idum;
}

// Fills the shuffle table after eight warm-up steps.
void FillTable(std::int32_t& idum) {
  idum = std::max(-idum, static_cast<std::int32_t>(1));
  for (int j = kTableSize + 7; j >= 0; --j) {
    idum = Advance(idum);
    if (j < kTableSize) g_iv[j] = idum;
  }
  g_iy = g_iv[0];
}

}  // namespace

void seed_sce_generator(SceRun& run) {
  // The magnitude of the seed, negated. Magnitudes are taken modulo 2^31 - 1: the seeds
  // +-(2^31 - 1) would otherwise stall the generator at 0 and -2^31 has no 32-bit magnitude.
  long long magnitude = std::llabs(static_cast<long long>(run.settings.seed)) % kModulus;
  run.idum = -static_cast<std::int32_t>(magnitude);
}

double ran_uniform(SceRun& run) {
  if (run.idum <= 0 || g_iy == 0) FillTable(run.idum);
  run.idum = Advance(run.idum);
  int j = g_iy / kTableDivisor;
  g_iy = g_iv[j];
  g_iv[j] = run.idum;
  return std::min(g_iy / static_cast<double>(kModulus), kLargestUniform);
}

double ran_gauss(SceRun& run) {
  if (g_has_spare) {
    g_has_spare = false;
    return g_spare;
  }
  double a = 0.0;
  double b = 0.0;
  double rsq = 0.0;
  do {
    a = 2.0 * ran_uniform(run) - 1.0;
    b = 2.0 * ran_uniform(run) - 1.0;
    rsq = a * a + b * b;
  } while (rsq >= 1.0 || rsq == 0.0);
  double fac = std::sqrt(-2.0 * std::log(rsq) / rsq);
  g_spare = a * fac;
  g_has_spare = true;
  return b * fac;
}

bool ran_gauss_has_spare() { return g_has_spare; }

void get_point(SceRun& run, int kind, double* out, const double* spread, const double* focal) {
  const SceSettings& s = run.settings;
  for (int j = 1; j <= s.nparam; ++j) {
    do {
      double r = kind == kSceUniformPoint ? ran_uniform(run) : ran_gauss(run);
      out[j] = focal[j] + spread[j] * r * (s.bu[j] - s.bl[j]);
    } while (out[j] < s.bl[j] || out[j] > s.bu[j]);
  }
}
