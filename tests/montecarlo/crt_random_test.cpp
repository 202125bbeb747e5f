#include "montecarlo/crt_random.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<int> Draw(std::uint32_t seed, int count) {
  crt_srand(seed);
  std::vector<int> values;
  for (int i = 0; i < count; ++i) values.push_back(crt_rand());
  return values;
}

// Expected sequences computed independently with a short script of the recurrence
// state = state * 214013 + 2531011 (mod 2^32), value = (state >> 16) & 0x7fff.
TEST(CrtRandom, ReproducesTheRuntimeSequenceForKnownSeeds) {
  EXPECT_EQ(Draw(1, 5), (std::vector<int>{41, 18467, 6334, 26500, 19169}));
  EXPECT_EQ(Draw(0, 3), (std::vector<int>{38, 7719, 21238}));
  EXPECT_EQ(Draw(12345, 3), (std::vector<int>{7584, 19164, 25795}));
  // The state wraps modulo 2^32 rather than overflowing.
  EXPECT_EQ(Draw(0xFFFFFFFFu, 3), (std::vector<int>{35, 29739, 3374}));
}

TEST(CrtRandom, FractionIsTheValueInStepsOfTwoToTheMinusFifteen) {
  crt_srand(1);
  EXPECT_DOUBLE_EQ(crt_fraction(), 41.0 / 32768.0);
  EXPECT_DOUBLE_EQ(crt_fraction(), 18467.0 / 32768.0);
  crt_srand(99);
  int smallest = kCrtRandMax;
  int largest = 0;
  for (int i = 0; i < 200000; ++i) {
    const double r = crt_fraction();
    ASSERT_GE(r, 0.0);
    ASSERT_LT(r, 1.0);
    const double steps = r * 32768.0;
    ASSERT_EQ(steps, static_cast<double>(static_cast<int>(steps)));
    smallest = std::min(smallest, static_cast<int>(steps));
    largest = std::max(largest, static_cast<int>(steps));
  }
  // The whole range 0..32767 is reached, so the fraction is not confined to part of [0, 1).
  EXPECT_EQ(smallest, 0);
  EXPECT_EQ(largest, kCrtRandMax);
}

}  // namespace
