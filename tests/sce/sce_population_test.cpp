// Sorting, statistics and complex reduction of the SCE population.
#include "sce/sce_population.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "sce/sce_random.h"

namespace {

// A table of count points of n parameters; point k holds k * 100 + j in column j.
ScePointTable Numbered(int count, int n) {
  ScePointTable x;
  EXPECT_TRUE(x.Allocate(count, n, "x"));
  for (int k = 1; k <= count; ++k) {
    for (int j = 1; j <= n; ++j) x.row(k)[j] = k * 100 + j;
  }
  return x;
}

TEST(ScePopulation, SortCarriesRowsWithTheirValues) {
  SceRun run(nullptr);
  run.settings.seed = 5;
  seed_sce_generator(run);
  for (int count : {2, 3, 7, 40}) {
    ScePointTable x = Numbered(count, 3);
    std::vector<double> xf(count + 1);
    for (int k = 1; k <= count; ++k) {
      // Few distinct values, so there are many ties.
      xf[k] = std::floor(ran_uniform(run) * 5);
    }
    std::vector<double> original = xf;
    sort_population(x, xf.data(), count, 3);
    std::vector<int> seen(count + 1, 0);
    for (int k = 1; k <= count; ++k) {
      if (k > 1) {
        EXPECT_LE(xf[k - 1], xf[k]);
      }
      int from = static_cast<int>(x.row(k)[1]) / 100;
      ASSERT_GE(from, 1);
      ASSERT_LE(from, count);
      ++seen[from];
      EXPECT_EQ(xf[k], original[from]);
      EXPECT_EQ(x.row(k)[3], from * 100 + 3);
    }
    for (int k = 1; k <= count; ++k) EXPECT_EQ(seen[k], 1);
  }
}

TEST(ScePopulation, SortOfAReversedPopulation) {
  ScePointTable x = Numbered(5, 1);
  std::vector<double> xf = {0, 5, 4, 3, 2, 1};
  sort_population(x, xf.data(), 5, 1);
  for (int k = 1; k <= 5; ++k) {
    EXPECT_EQ(xf[k], k);
    EXPECT_EQ(x.row(k)[1], (6 - k) * 100 + 1);
  }
}

TEST(ScePopulation, StatisticsOfACollapsedParameter) {
  SceRun run(nullptr);
  run.settings.nparam = 2;
  ScePointTable x;
  ASSERT_TRUE(x.Allocate(2, 2, "x"));
  x.row(1)[1] = 1.0;
  x.row(1)[2] = 5.0;
  x.row(2)[1] = 3.0;
  x.row(2)[2] = 5.0;
  double bound[3] = {0, 10.0, 10.0};
  double xnstd[3] = {};
  ScePopulationStats stats;
  ASSERT_TRUE(compute_population_stats(run, x, 2, bound, xnstd, &stats));
  // Column 1: mean 2, variance (1 + 9) / 2 - 4 = 1. Column 2: variance 0, floored at 1e-20.
  EXPECT_DOUBLE_EQ(xnstd[1], 0.1);
  EXPECT_DOUBLE_EQ(xnstd[2], 1e-11);
  // exp((ln 0.2 + ln 1e-20) / 2) = sqrt(0.2e-20).
  EXPECT_NEAR(stats.geo_range / std::sqrt(0.2e-20), 1.0, 1e-12);
  EXPECT_TRUE(stats.converged);
  EXPECT_EQ(run.xmean[1], 2.0);
  EXPECT_EQ(run.xmax[1], 3.0);
  EXPECT_EQ(run.xmin[2], 5.0);
}

TEST(ScePopulation, GeometricRangeAtTheConvergenceThreshold) {
  SceRun run(nullptr);
  run.settings.nparam = 2;
  ScePointTable x;
  ASSERT_TRUE(x.Allocate(2, 2, "x"));
  // Spans 1e-2 and 1e-4 of the bound ranges: geometric mean 1e-3.
  x.row(1)[1] = 0.0;
  x.row(2)[1] = 0.02;
  x.row(1)[2] = 1.0;
  x.row(2)[2] = 1.0004;
  double bound[3] = {0, 2.0, 4.0};
  double xnstd[3] = {};
  ScePopulationStats stats;
  ASSERT_TRUE(compute_population_stats(run, x, 2, bound, xnstd, &stats));
  EXPECT_NEAR(stats.geo_range, 1e-3, 1e-12);
  x.row(2)[1] = 0.03;
  ASSERT_TRUE(compute_population_stats(run, x, 2, bound, xnstd, &stats));
  EXPECT_FALSE(stats.converged);
  EXPECT_NEAR(stats.geo_range, std::sqrt(0.015 * 1e-4), 1e-12);
}

TEST(ScePopulation, ThreeComplexesOfFiveReduceToTwo) {
  ScePointTable x = Numbered(15, 2);
  ScePointTable cx;
  ASSERT_TRUE(cx.Allocate(16, 2, "cx"));
  std::vector<double> xf(17), cf(17);
  for (int k = 1; k <= 15; ++k) xf[k] = k;
  reduce_complexes(x, xf.data(), cx, cf.data(), 3, 5, 2);
  const int expected[10] = {1, 2, 4, 5, 7, 8, 10, 11, 13, 14};
  for (int k = 1; k <= 10; ++k) {
    EXPECT_EQ(xf[k], expected[k - 1]);
    EXPECT_EQ(x.row(k)[1], expected[k - 1] * 100 + 1);
    EXPECT_EQ(x.row(k)[2], expected[k - 1] * 100 + 2);
  }
}

}  // namespace
