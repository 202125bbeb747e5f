#include "modellib/test_functions.h"

#include <climits>
#include <cmath>

namespace tarne {

namespace {

// Global minima of the unshifted functions. Branin's is exactly 5 / (4 pi); the others were
// found by Newton steps from the published minimisers and agree with the published values.
constexpr double kPi = 3.14159265358979323846;
constexpr double kGoldsteinPriceMin = 3.0;
constexpr double kSixHumpCamelMin = -1.0316284534898772;
constexpr double kBraninMin = 5.0 / (4.0 * kPi);
constexpr double kHartman3Min = -3.8627821478207514;
constexpr double kHartman6Min = -3.3223680114155143;
constexpr double kShekel5Min = -10.153199679058226;
constexpr double kShekel7Min = -10.402940566818662;
constexpr double kShekel10Min = -10.536409816692041;

double Rosenbrock(const double* x, int n) {
  double sum = 0.0;
  for (int i = 0; i + 1 < n; ++i) {
    const double a = x[i + 1] - x[i] * x[i];
    const double b = 1.0 - x[i];
    sum += 100.0 * a * a + b * b;
  }
  return sum;
}

double GoldsteinPrice(const double* x, int) {
  const double a = x[0], b = x[1];
  const double s = a + b + 1.0;
  const double t = 2.0 * a - 3.0 * b;
  const double first =
      1.0 + s * s * (19.0 - 14.0 * a + 3.0 * a * a - 14.0 * b + 6.0 * a * b + 3.0 * b * b);
  const double second =
      30.0 + t * t * (18.0 - 32.0 * a + 12.0 * a * a + 48.0 * b - 36.0 * a * b + 27.0 * b * b);
  return first * second - kGoldsteinPriceMin;
}

double SixHumpCamel(const double* x, int) {
  const double a = x[0], b = x[1];
  const double a2 = a * a, b2 = b * b;
  return (4.0 - 2.1 * a2 + a2 * a2 / 3.0) * a2 + a * b + (-4.0 + 4.0 * b2) * b2 -
         kSixHumpCamelMin;
}

double Branin(const double* x, int) {
  const double b = 5.1 / (4.0 * kPi * kPi), c = 5.0 / kPi, t = 1.0 / (8.0 * kPi);
  const double u = x[1] - b * x[0] * x[0] + c * x[0] - 6.0;
  return u * u + 10.0 * (1.0 - t) * std::cos(x[0]) + 10.0 - kBraninMin;
}

const double kHartmanAlpha[4] = {1.0, 1.2, 3.0, 3.2};

double Hartman3(const double* x, int) {
  static const double a[4][3] = {{3, 10, 30}, {0.1, 10, 35}, {3, 10, 30}, {0.1, 10, 35}};
  static const double p[4][3] = {{0.3689, 0.1170, 0.2673},
                                 {0.4699, 0.4387, 0.7470},
                                 {0.1091, 0.8732, 0.5547},
                                 {0.03815, 0.5743, 0.8828}};
  double sum = 0.0;
  for (int i = 0; i < 4; ++i) {
    double inner = 0.0;
    for (int j = 0; j < 3; ++j) inner += a[i][j] * (x[j] - p[i][j]) * (x[j] - p[i][j]);
    sum += kHartmanAlpha[i] * std::exp(-inner);
  }
  return -sum - kHartman3Min;
}

double Hartman6(const double* x, int) {
  static const double a[4][6] = {{10, 3, 17, 3.5, 1.7, 8},
                                 {0.05, 10, 17, 0.1, 8, 14},
                                 {3, 3.5, 1.7, 10, 17, 8},
                                 {17, 8, 0.05, 10, 0.1, 14}};
  static const double p[4][6] = {{0.1312, 0.1696, 0.5569, 0.0124, 0.8283, 0.5886},
                                 {0.2329, 0.4135, 0.8307, 0.3736, 0.1004, 0.9991},
                                 {0.2348, 0.1451, 0.3522, 0.2883, 0.3047, 0.6650},
                                 {0.4047, 0.8828, 0.8732, 0.5743, 0.1091, 0.0381}};
  double sum = 0.0;
  for (int i = 0; i < 4; ++i) {
    double inner = 0.0;
    for (int j = 0; j < 6; ++j) inner += a[i][j] * (x[j] - p[i][j]) * (x[j] - p[i][j]);
    sum += kHartmanAlpha[i] * std::exp(-inner);
  }
  return -sum - kHartman6Min;
}

double Shekel(const double* x, int terms) {
  static const double c[10][4] = {{4, 4, 4, 4}, {1, 1, 1, 1}, {8, 8, 8, 8}, {6, 6, 6, 6},
                                  {3, 7, 3, 7}, {2, 9, 2, 9}, {5, 5, 3, 3}, {8, 1, 8, 1},
                                  {6, 2, 6, 2}, {7, 3.6, 7, 3.6}};
  static const double beta[10] = {0.1, 0.2, 0.2, 0.4, 0.4, 0.6, 0.3, 0.7, 0.5, 0.5};
  double sum = 0.0;
  for (int i = 0; i < terms; ++i) {
    double distance = beta[i];
    for (int j = 0; j < 4; ++j) distance += (x[j] - c[i][j]) * (x[j] - c[i][j]);
    sum += 1.0 / distance;
  }
  return -sum;
}

double Shekel5(const double* x, int) { return Shekel(x, 5) - kShekel5Min; }
double Shekel7(const double* x, int) { return Shekel(x, 7) - kShekel7Min; }
double Shekel10(const double* x, int) { return Shekel(x, 10) - kShekel10Min; }

double Griewank(const double* x, int n) {
  double sum = 0.0, product = 1.0;
  for (int i = 0; i < n; ++i) {
    sum += x[i] * x[i] / 4000.0;
    product *= std::cos(x[i] / std::sqrt(static_cast<double>(i + 1)));
  }
  return 1.0 + sum - product;
}

const TestFunction kFunctions[] = {
    {"rosenbrock", 2, INT_MAX, Rosenbrock},  {"goldstein-price", 2, 2, GoldsteinPrice},
    {"six-hump-camel", 2, 2, SixHumpCamel},  {"branin", 2, 2, Branin},
    {"hartman3", 3, 3, Hartman3},            {"hartman6", 6, 6, Hartman6},
    {"shekel5", 4, 4, Shekel5},              {"shekel7", 4, 4, Shekel7},
    {"shekel10", 4, 4, Shekel10},            {"griewank", 1, INT_MAX, Griewank},
};

}  // namespace

const TestFunction* FindTestFunction(const std::string& name) {
  for (const TestFunction& function : kFunctions) {
    if (name == function.name) return &function;
  }
  return nullptr;
}

std::string TestFunctionNames() {
  std::string names;
  for (const TestFunction& function : kFunctions) {
    if (!names.empty()) names += ' ';
    names += function.name;
  }
  return names;
}

}  // namespace tarne
