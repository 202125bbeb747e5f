// The uniform and Gaussian generators of the SCE search and random points in the bounds.
#include "sce/sce_random.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

void Seed(SceRun& run, int seed, int n = 1) {
  run.settings.seed = seed;
  run.settings.nparam = n;
  run.settings.bl = AllocateSceArray(n + 1, "bl");
  run.settings.bu = AllocateSceArray(n + 1, "bu");
  seed_sce_generator(run);
}

std::vector<double> Uniforms(SceRun& run, int count) {
  std::vector<double> values;
  for (int i = 0; i < count; ++i) values.push_back(ran_uniform(run));
  return values;
}

// Leaves the Gaussian generator without a spare value.
void DropSpare(SceRun& run) {
  if (ran_gauss_has_spare()) ran_gauss(run);
}

TEST(SceRandom, FirstTenUniformsWithSeed3737) {
  // Computed with a short Python script written from the generator's description (Schrage
  // steps of 16807 mod 2^31 - 1 from 3737, 8 warm-up steps, 32-entry shuffle table, iy / M),
  // independently of this code.
  const double expected[10] = {
      0.3340743045946929, 0.3492514394918696, 0.5895965521175398, 0.4696260911736759,
      0.1256698305372474, 0.6113030480273548, 0.14508654882436922, 0.6271445791363458,
      0.7894416068631418, 0.7861301613907005};
  SceRun run(nullptr);
  Seed(run, 3737);
  std::vector<double> values = Uniforms(run, 10);
  for (int i = 0; i < 10; ++i) EXPECT_DOUBLE_EQ(values[i], expected[i]) << i;
}

TEST(SceRandom, ReseedingRestartsTheStreamAndTheSignOfTheSeedDoesNotMatter) {
  SceRun first(nullptr);
  Seed(first, 12345);
  std::vector<double> a = Uniforms(first, 50);
  SceRun second(nullptr);
  Seed(second, -12345);
  EXPECT_EQ(Uniforms(second, 50), a);
  seed_sce_generator(first);
  EXPECT_EQ(Uniforms(first, 50), a);
}

TEST(SceRandom, UniformsStayInRangeForEveryKindOfSeed) {
  for (int seed : {1, 3737, 2147483646, 2147483647, -2147483647 - 1}) {
    SceRun run(nullptr);
  Seed(run, seed);
    std::vector<double> values = Uniforms(run, 2000);
    double sum = 0.0;
    for (double v : values) {
      ASSERT_GT(v, 0.0) << seed;
      ASSERT_LE(v, 0.99999988) << seed;
      sum += v;
    }
    // A stalled generator repeats one value; a working one averages about 1/2.
    EXPECT_NEAR(sum / values.size(), 0.5, 0.05) << seed;
  }
}

TEST(SceRandom, GaussReturnsItsSpareOnEverySecondCall) {
  SceRun run(nullptr);
  Seed(run, 99);
  DropSpare(run);
  seed_sce_generator(run);
  std::vector<double> u = Uniforms(run, 40);
  seed_sce_generator(run);
  // Polar method on the same uniforms: pairs (a, b) until 0 < a^2 + b^2 < 1.
  std::vector<double> expected;
  for (std::size_t i = 0; i + 1 < u.size() && expected.size() < 6; i += 2) {
    double a = 2 * u[i] - 1;
    double b = 2 * u[i + 1] - 1;
    double rsq = a * a + b * b;
    if (rsq >= 1 || rsq == 0) continue;
    double fac = std::sqrt(-2 * std::log(rsq) / rsq);
    expected.push_back(b * fac);
    expected.push_back(a * fac);
  }
  ASSERT_EQ(expected.size(), 6u);
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(ran_gauss_has_spare(), i % 2 == 1);
    EXPECT_DOUBLE_EQ(ran_gauss(run), expected[i]) << i;
  }
}

TEST(SceRandom, GaussHasUnitSpread) {
  SceRun run(nullptr);
  Seed(run, 4242);
  double sum = 0.0;
  double squares = 0.0;
  const int count = 20000;
  for (int i = 0; i < count; ++i) {
    double g = ran_gauss(run);
    sum += g;
    squares += g * g;
  }
  EXPECT_NEAR(sum / count, 0.0, 0.03);
  EXPECT_NEAR(squares / count, 1.0, 0.05);
}

TEST(SceRandom, UniformPointSpansTheBounds) {
  SceRun run(nullptr);
  Seed(run, 7, 3);
  double bl[4] = {0, -1, 10, 0};
  double bu[4] = {0, 1, 20, 1e-6};
  double unit[4] = {0, 1, 1, 1};
  for (int j = 1; j <= 3; ++j) {
    run.settings.bl[j] = bl[j];
    run.settings.bu[j] = bu[j];
  }
  std::vector<double> u = Uniforms(run, 3);
  seed_sce_generator(run);
  double point[4] = {};
  get_point(run, kSceUniformPoint, point, unit, bl);
  for (int j = 1; j <= 3; ++j) EXPECT_DOUBLE_EQ(point[j], bl[j] + u[j - 1] * (bu[j] - bl[j]));
}

TEST(SceRandom, GaussianPointsNearABoundStayInside) {
  SceRun run(nullptr);
  Seed(run, 11, 2);
  run.settings.bl[1] = 0.0;
  run.settings.bu[1] = 1.0;
  run.settings.bl[2] = 5.0;
  run.settings.bu[2] = 6.0;
  double focal[3] = {0, 0.0, 6.0};  // on a bound: about half of the draws fall outside
  double spread[3] = {0, 0.5, 0.5};
  double tiny[3] = {0, std::sqrt(1e-20) / 1.0, std::sqrt(1e-20) / 1.0};
  for (int i = 0; i < 500; ++i) {
    double point[3] = {};
    get_point(run, kSceGaussianPoint, point, spread, focal);
    ASSERT_GE(point[1], 0.0);
    ASSERT_LE(point[1], 1.0);
    ASSERT_GE(point[2], 5.0);
    ASSERT_LE(point[2], 6.0);
    get_point(run, kSceGaussianPoint, point, tiny, focal);
    EXPECT_LT(point[1], 1e-8);  // a collapsed spread keeps points at the focus
    EXPECT_GT(point[2], 6.0 - 1e-8);
  }
}

}  // namespace
