// The analytic functions: zero at their published minimisers after the shift, and values
// at other points worked out by hand.
#include "modellib/test_functions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace tarne {
namespace {

constexpr double kPi = 3.14159265358979323846;

double Evaluate(const char* name, std::vector<double> x) {
  const TestFunction* function = FindTestFunction(name);
  EXPECT_NE(function, nullptr) << name;
  if (function == nullptr) return NAN;
  return function->evaluate(x.data(), static_cast<int>(x.size()));
}

TEST(TestFunctions, AreZeroAtTheirPublishedMinimisers) {
  // Exact minimisers: the shift must cancel the minimum to rounding.
  EXPECT_NEAR(Evaluate("rosenbrock", {1, 1}), 0.0, 1e-15);
  EXPECT_NEAR(Evaluate("rosenbrock", {1, 1, 1, 1, 1}), 0.0, 1e-15);
  EXPECT_NEAR(Evaluate("goldstein-price", {0, -1}), 0.0, 1e-12);
  EXPECT_NEAR(Evaluate("branin", {-kPi, 12.275}), 0.0, 1e-12);
  EXPECT_NEAR(Evaluate("branin", {kPi, 2.275}), 0.0, 1e-12);
  EXPECT_NEAR(Evaluate("griewank", {0, 0, 0}), 0.0, 1e-15);
  // Minimisers known to four to six digits: the value is zero to about the square of that.
  EXPECT_NEAR(Evaluate("branin", {9.42478, 2.475}), 0.0, 1e-9);
  EXPECT_NEAR(Evaluate("six-hump-camel", {0.0898, -0.7126}), 0.0, 1e-6);
  EXPECT_NEAR(Evaluate("six-hump-camel", {-0.0898, 0.7126}), 0.0, 1e-6);
  EXPECT_NEAR(Evaluate("hartman3", {0.114614, 0.555649, 0.852547}), 0.0, 1e-9);
  EXPECT_NEAR(Evaluate("hartman6", {0.20169, 0.150011, 0.476874, 0.275332, 0.311652, 0.6573}),
              0.0, 1e-8);
  EXPECT_NEAR(Evaluate("shekel5", {4.00004, 4.00013, 4.00004, 4.00013}), 0.0, 1e-8);
  EXPECT_NEAR(Evaluate("shekel7", {4.00057, 4.00069, 3.99949, 3.99961}), 0.0, 1e-8);
  EXPECT_NEAR(Evaluate("shekel10", {4.00075, 4.00059, 3.99966, 3.99951}), 0.0, 1e-8);
}

TEST(TestFunctions, NeverFallBelowZeroNearTheirMinimum) {
  // A coarse grid around each minimiser: no value may be meaningfully negative.
  const std::vector<std::pair<const char*, std::vector<double>>> minima = {
      {"six-hump-camel", {0.0898, -0.7126}},
      {"hartman3", {0.114614, 0.555649, 0.852547}},
      {"shekel10", {4.0, 4.0, 4.0, 4.0}}};
  for (const auto& entry : minima) {
    for (int step = -5; step <= 5; ++step) {
      std::vector<double> x = entry.second;
      for (double& xi : x) xi += step * 1e-3;
      EXPECT_GT(Evaluate(entry.first, x), -1e-12) << entry.first << " step " << step;
    }
  }
}

TEST(TestFunctions, MatchHandComputedValuesAwayFromTheMinimum) {
  // 100 (1 - 1.44)^2 + 2.2^2.
  EXPECT_NEAR(Evaluate("rosenbrock", {-1.2, 1.0}), 24.2, 1e-12);
  // [1 + 1 * 19] [30 + 0] - 3.
  EXPECT_NEAR(Evaluate("goldstein-price", {0, 0}), 597.0, 1e-9);
  // (-6)^2 + 10 (1 - 1/(8 pi)) + 10 - 5/(4 pi) = 56 - 5/(2 pi).
  EXPECT_NEAR(Evaluate("branin", {0, 0}), 56.0 - 5.0 / (2.0 * kPi), 1e-12);
  // 0 + 1.0316284534898772 (the shift).
  EXPECT_NEAR(Evaluate("six-hump-camel", {0, 0}), 1.0316284534898772, 1e-12);
  // One dimension at 2 pi: 1 + 4 pi^2 / 4000 - cos(2 pi).
  EXPECT_NEAR(Evaluate("griewank", {2 * kPi}), 4 * kPi * kPi / 4000.0, 1e-15);
  // Far from every well the exponentials vanish and only the shift remains.
  EXPECT_NEAR(Evaluate("hartman3", {10, 10, 10}), 3.8627821478207514, 1e-12);
  // Shekel 5 at the origin: sum of 1 / (|c_i|^2 + beta_i) over the first five wells.
  const double origin_sum = 1 / 64.1 + 1 / 4.2 + 1 / 256.2 + 1 / 144.4 + 1 / 116.4;
  EXPECT_NEAR(Evaluate("shekel5", {0, 0, 0, 0}), 10.153199679058226 - origin_sum, 1e-12);
}

TEST(TestFunctions, LookUpByNameAndKnowTheirSizes) {
  EXPECT_EQ(FindTestFunction("nonesuch"), nullptr);
  EXPECT_EQ(FindTestFunction("Rosenbrock"), nullptr);  // names are lower case
  EXPECT_EQ(FindTestFunction("hartman6")->min_dimension, 6);
  EXPECT_EQ(FindTestFunction("shekel7")->max_dimension, 4);
  EXPECT_EQ(FindTestFunction("rosenbrock")->min_dimension, 2);
  EXPECT_NE(TestFunctionNames().find("goldstein-price"), std::string::npos);
}

}  // namespace
}  // namespace tarne
