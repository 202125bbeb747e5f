// The hydro model: the water balance closes, one cell step and the routing delay match hand
// computation, and the forcing reader and objective behave as documented.
#include "modellib/hydro_model.h"

#include <gtest/gtest.h>

#include <cmath>
#include <utility>

#include "modellib/replacement.h"
#include "modellib/tarne_lib.h"
#include "support/test_support.h"

namespace tarne {
namespace {

using testing_support::TempDir;
using testing_support::WriteFile;

// A forcing series of showers and dry spells from a fixed linear congruential sequence.
Forcing MakeForcing(int steps, unsigned seed) {
  Forcing forcing;
  unsigned state = seed;
  for (int t = 0; t < steps; ++t) {
    state = state * 1664525u + 1013904223u;
    const double u = static_cast<double>(state >> 8) / 16777216.0;
    forcing.time.push_back(t + 1);
    forcing.precipitation.push_back(u < 0.4 ? 30.0 * u : 0.0);
    forcing.evaporation.push_back(1.0 + 3.0 * u);
  }
  return forcing;
}

HydroParameters Parameters(double capacity, double shape, double fast, double slow,
                           double split, double velocity) {
  HydroParameters p;
  p.soil_capacity = capacity;
  p.shape = shape;
  p.fast_k = fast;
  p.slow_k = slow;
  p.split = split;
  p.velocity = velocity;
  return p;
}

TEST(HydroModel, WaterBalanceClosesForVariedCatchments) {
  struct Case {
    long columns, rows, outlet_column, outlet_row;
    double gradient, initial;
    HydroParameters p;
  };
  const Case cases[] = {
      {10, 10, 10, 10, 0.3, 0.5, Parameters(120, 2.5, 48, 720, 0.6, 0.05)},
      {7, 3, 4, 2, -0.8, 0.0, Parameters(20, 0.2, 5, 50, 1.0, 2.0)},
      {5, 5, 1, 1, 1.0, 1.0, Parameters(500, 8.0, 1000, 1e5, 0.0, 1e-4)},  // slow drainage
      {1, 1, 1, 1, 0.0, 0.3, Parameters(1, 1.0, 1e-9, 1e-9, 0.5, 1.0)},    // instant release
  };
  const Forcing forcing = MakeForcing(400, 42);
  for (const Case& c : cases) {
    HydroGrid grid;
    grid.columns = c.columns;
    grid.rows = c.rows;
    grid.outlet_column = c.outlet_column;
    grid.outlet_row = c.outlet_row;
    grid.rain_gradient = c.gradient;
    grid.initial_soil = c.initial;
    HydroResult result;
    SimulateHydro(grid, c.p, forcing, &result);
    const WaterBalance& b = result.balance;
    const double residual = b.precipitation - b.evaporation - b.outflow -
                            (b.storage_end - b.storage_start);
    EXPECT_GT(b.precipitation, 0.0);
    EXPECT_LE(std::fabs(residual), 1e-9 * b.precipitation) << "columns " << c.columns;
    // The outflow seen at the outlet is the discharge series, converted back to mm.
    double discharge_mm = 0.0;
    for (double q : result.discharge) discharge_mm += q * grid.time_step * 3600.0 / 1000.0;
    EXPECT_NEAR(discharge_mm, b.outflow, 1e-9 * b.precipitation);
    for (double q : result.discharge) EXPECT_GE(q, 0.0);
  }
}

TEST(HydroModel, OneCellStepMatchesHandComputation) {
  HydroGrid grid;  // one 1 km cell, daily step, initial soil half full
  Forcing forcing;
  forcing.time = {1};
  forcing.precipitation = {10};
  forcing.evaporation = {2};
  HydroResult result;
  SimulateHydro(grid, Parameters(100, 1.0, 24, 240, 0.5, 1.0), forcing, &result);
  // x = 0.5, runoff 10 * 0.5 / (0.5 + 0.5) = 5, soil 55, evaporation 2 * 55 / 100 = 1.1.
  const double fast = 2.5 * (1.0 - std::exp(-1.0));
  const double slow = 2.5 * (1.0 - std::exp(-0.1));
  ASSERT_EQ(result.discharge.size(), 1u);
  EXPECT_NEAR(result.discharge[0], (fast + slow) * 1000.0 / 86400.0, 1e-12);
  EXPECT_NEAR(result.balance.evaporation, 1.1, 1e-12);
  EXPECT_NEAR(result.balance.storage_end, 53.9 + 5.0 - fast - slow, 1e-12);
}

TEST(HydroModel, ReleaseOfADistantCellArrivesSplitBetweenTwoSteps) {
  HydroGrid grid;
  grid.columns = 2;
  grid.time_step = 1.0;
  grid.initial_soil = 1.0;  // saturated: all rain runs off
  Forcing forcing;
  forcing.time = {1, 2, 3, 4};
  forcing.precipitation = {4, 0, 0, 0};
  forcing.evaporation = {0, 0, 0, 0};
  HydroResult result;
  // 1000 m at 1000 / 5400 m/s takes 1.5 one-hour steps; the fast reservoir empties at once.
  SimulateHydro(grid, Parameters(50, 1.0, 1e-12, 1.0, 1.0, 1000.0 / 5400.0), forcing, &result);
  const double mm_to_discharge = 1e-3 * 1e6 / 3600.0;
  ASSERT_EQ(result.discharge.size(), 4u);
  EXPECT_NEAR(result.discharge[0], 4.0 * mm_to_discharge, 1e-9);
  EXPECT_NEAR(result.discharge[1], 2.0 * mm_to_discharge, 1e-9);
  EXPECT_NEAR(result.discharge[2], 2.0 * mm_to_discharge, 1e-9);
  EXPECT_NEAR(result.discharge[3], 0.0, 1e-9);
}

// Shares of the cells, as the members of a partition route them, add up to the whole grid:
// every cell is routed by exactly one share, whatever the number of shares (more shares than
// cells leaves some empty), and the sum equals the single run to rounding.
TEST(HydroModel, SharesOfTheCellsAddUpToTheWholeGrid) {
  HydroGrid grid;
  grid.columns = 7;
  grid.rows = 5;
  grid.outlet_column = 7;
  grid.outlet_row = 3;
  grid.rain_gradient = 0.4;
  const HydroParameters p = Parameters(120, 2.5, 48, 720, 0.6, 0.05);
  const Forcing forcing = MakeForcing(300, 7);
  HydroResult whole;
  SimulateHydro(grid, p, forcing, &whole);
  for (long members : {1L, 2L, 3L, 6L, 40L}) {
    RoutedWater sum;
    for (long member = 0; member < members; ++member) {
      RoutedWater share;
      RouteHydroCells(grid, p, forcing, CellShare{member, members}, &share);
      if (member == 0) {
        sum = share;
        continue;
      }
      ASSERT_EQ(share.routed.size(), sum.routed.size());
      for (std::size_t i = 0; i < share.routed.size(); ++i) sum.routed[i] += share.routed[i];
      sum.balance.precipitation += share.balance.precipitation;
      sum.balance.evaporation += share.balance.evaporation;
      sum.balance.storage_start += share.balance.storage_start;
      sum.balance.storage_end += share.balance.storage_end;
    }
    HydroResult combined;
    FinishHydro(grid, forcing, sum, &combined);
    ASSERT_EQ(combined.discharge.size(), whole.discharge.size());
    for (std::size_t t = 0; t < whole.discharge.size(); ++t) {
      EXPECT_NEAR(combined.discharge[t], whole.discharge[t], 1e-12 * whole.discharge[t] + 1e-300)
          << members << " shares, step " << t;
    }
    const WaterBalance& a = combined.balance;
    const WaterBalance& b = whole.balance;
    for (auto [x, y] : {std::pair{a.precipitation, b.precipitation}, {a.evaporation, b.evaporation},
                        {a.outflow, b.outflow}, {a.storage_start, b.storage_start},
                        {a.storage_end, b.storage_end}}) {
      EXPECT_NEAR(x, y, 1e-12 * b.precipitation) << members << " shares";
    }
  }
}

TEST(HydroModel, ParameterRanges) {
  std::string problem;
  EXPECT_TRUE(CheckHydroParameters(Parameters(1, 1, 1, 1, 0, 1), &problem));
  EXPECT_TRUE(CheckHydroParameters(Parameters(1, 1, 1, 1, 1, 1), &problem));
  EXPECT_FALSE(CheckHydroParameters(Parameters(1, 1, 1, 1, 1.5, 1), &problem));
  EXPECT_NE(problem.find("split"), std::string::npos);
  EXPECT_FALSE(CheckHydroParameters(Parameters(0, 1, 1, 1, 0.5, 1), &problem));
  EXPECT_FALSE(CheckHydroParameters(Parameters(1, 1, 1, 1, 0.5, -1), &problem));
  EXPECT_FALSE(CheckHydroParameters(Parameters(1, NAN, 1, 1, 0.5, 1), &problem));
}

TEST(Forcing, ReadsRowsAndRefusesBadOnes) {
  TempDir dir;
  WriteFile("good.txt", "# day p e\n1 2.5 1\n\n2 0 1.5 # dry\n");
  WriteFile("short.txt", "1 2.5 1\n2 1\n");
  WriteFile("negative.txt", "1 -2.5 1\n");
  WriteFile("order.txt", "1 0 0\n1 0 0\n");
  WriteFile("text.txt", "1 0 0\n2 rain 0\n");
  WriteFile("empty.txt", "# nothing\n");
  Forcing forcing;
  ASSERT_EQ(ReadForcing("good.txt", &forcing), 0);
  ASSERT_EQ(forcing.time.size(), 2u);
  EXPECT_DOUBLE_EQ(forcing.evaporation[1], 1.5);
  testing::internal::CaptureStderr();
  EXPECT_EQ(ReadForcing("short.txt", &forcing), 1);
  EXPECT_EQ(ReadForcing("negative.txt", &forcing), 1);
  EXPECT_EQ(ReadForcing("order.txt", &forcing), 1);
  EXPECT_EQ(ReadForcing("text.txt", &forcing), 1);
  EXPECT_EQ(ReadForcing("empty.txt", &forcing), 1);
  EXPECT_EQ(ReadForcing("missing.txt", &forcing), kNotOpened);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("short.txt (line 2)"), std::string::npos) << err;
  EXPECT_NE(err.find("negative.txt (line 1)"), std::string::npos) << err;
  EXPECT_NE(err.find("order.txt (line 2): time does not increase"), std::string::npos) << err;
  EXPECT_NE(err.find("text.txt (line 2)"), std::string::npos) << err;
  EXPECT_NE(err.find("empty.txt: the file holds no forcing rows"), std::string::npos) << err;
}

TEST(Forcing, RefusesMoreRowsThanAllowed) {
  TempDir dir;
  WriteFile("long.txt", "1 0 0\n2 0 0\n3 0 0\n4 0 0\n");
  Forcing forcing;
  EXPECT_EQ(ReadForcing("long.txt", &forcing, 4), 0);
  testing::internal::CaptureStderr();
  EXPECT_EQ(ReadForcing("long.txt", &forcing, 3), 1);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("long.txt (line 4): the file holds more than 3 forcing rows"),
            std::string::npos) << err;
}

TEST(HydroObjectiveTest, WeightedErrorWithPeakAndVolumeTerms) {
  TempDir dir;
  WriteFile("obs.txt", "1 1.5 1\n3 2 3\n");
  WriteFile("off.txt", "2.5 1 1\n");
  observed_data observed;
  ASSERT_EQ(observed.read_observed_weighted_peakvol("obs.txt"), 2);
  Forcing forcing;
  forcing.time = {1, 2, 3};
  const std::vector<double> discharge = {1, 2, 3};
  double objective = 0.0;
  std::string problem;
  // (1 * 0.25 + 3 * 1) / 4 = 0.8125; peak (3 - 2)^2; volume ((4 - 3.5) / 2)^2 = 0.0625.
  ASSERT_TRUE(HydroObjective(forcing, discharge, observed, 0, 0, &objective, &problem));
  EXPECT_DOUBLE_EQ(objective, 0.8125);
  ASSERT_TRUE(HydroObjective(forcing, discharge, observed, 2, 4, &objective, &problem));
  EXPECT_DOUBLE_EQ(objective, 0.8125 + 2.0 + 0.25);
  ASSERT_EQ(observed.read_observed_weighted_peakvol("off.txt"), 1);
  EXPECT_FALSE(HydroObjective(forcing, discharge, observed, 0, 0, &objective, &problem));
  EXPECT_NE(problem.find("2.5 is not a forcing time"), std::string::npos) << problem;
  observed_data none;
  EXPECT_FALSE(HydroObjective(forcing, discharge, none, 0, 0, &objective, &problem));
}

}  // namespace
}  // namespace tarne
