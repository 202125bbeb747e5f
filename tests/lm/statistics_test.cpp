// Tests of the posterior statistics: the covariance over the rows each mode uses and its
// guards, the correlation, the Jacobi eigen routine with its sort, and the Student t quantile.
// Expected covariances are worked out by hand from small normal matrices.
#include "lm/statistics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "numeric/decompositions.h"

namespace {

using Rows = std::vector<std::vector<double>>;
const double kNaN = std::numeric_limits<double>::quiet_NaN();

matrix FromRows(const Rows& rows) {
  matrix m(1, static_cast<long>(rows.size()), 1, static_cast<long>(rows[0].size()));
  for (size_t i = 0; i < rows.size(); ++i)
    for (size_t j = 0; j < rows[i].size(); ++j) m(i + 1, j + 1) = rows[i][j];
  return m;
}

void ExpectMatrixNear(const matrix& actual, const Rows& expected, double tolerance) {
  for (size_t i = 0; i < expected.size(); ++i)
    for (size_t j = 0; j < expected[i].size(); ++j)
      EXPECT_NEAR(actual(i + 1, j + 1), expected[i][j], tolerance) << i + 1 << "," << j + 1;
}

// numadj adjustable parameters and rows with the given WEIGHTs; weights gets WEIGHT^2.
ProblemRecord MakeRecord(int numadj, const std::vector<double>& observation_weights,
                         const std::vector<double>& prior_weights, const char* mode,
                         dvector& weights) {
  ProblemRecord record;
  std::strcpy(record.PESTMODE, mode);
  record.NPAR = record.NUMADJ = numadj;
  record.parameters.resize(numadj + 1);
  record.NOBS = static_cast<int>(observation_weights.size());
  record.NPRIOR = static_cast<int>(prior_weights.size());
  record.observations.resize(record.NOBS + 1);
  record.priors.resize(record.NPRIOR + 1);
  weights = dvector(record.NOBS + record.NPRIOR);
  for (int i = 1; i <= record.NOBS + record.NPRIOR; ++i) {
    const bool prior = i > record.NOBS;
    double& weight = prior ? record.priors[i - record.NOBS].WEIGHT : record.observations[i].WEIGHT;
    weight = prior ? prior_weights[i - record.NOBS - 1] : observation_weights[i - 1];
    weights[i] = weight * weight;
  }
  return record;
}

// Observation rows weighted 1, 2, 1 give J'QJ = [[2, 1], [1, 5]]; the prior row weighted 0.5
// adds [[0.25, -0.25], [-0.25, 0.25]].
const Rows kJacobian = {{1, 0}, {0, 1}, {1, 1}, {1, -1}};

TEST(Covariance, RowsAndWeightedCountFollowTheMode) {
  struct Case {
    const char* mode;
    std::vector<double> prior_weights;
    Rows expected;  // 4.5 / (n+ - 2) x inverse
  } cases[] = {
      {"estimation", {0.5}, {{1.05, -0.15}, {-0.15, 0.45}}},  // n+ = 4, prior row used
      // The prior row is left out of J'QJ, but the weighted item still counts: n+ = 4.
      {"regularisation", {0.5}, {{1.25, -0.25}, {-0.25, 0.5}}},
      {"regularisation", {0.0}, {{2.5, -0.5}, {-0.5, 1.0}}},  // n+ = 3
      {"estimation", {}, {{2.5, -0.5}, {-0.5, 1.0}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.mode) + ", priors: " + std::to_string(c.prior_weights.size()));
    dvector weights;
    const ProblemRecord record = MakeRecord(2, {1, 2, 1}, c.prior_weights, c.mode, weights);
    matrix covariance(1, 2, 1, 2);
    ASSERT_EQ(ComputeCovariance(FromRows(kJacobian), weights, 4.5, record, covariance),
              CovarianceOutcome::kEstimated);
    ExpectMatrixNear(covariance, c.expected, 1e-14);
  }
}

TEST(Covariance, UndeterminedCasesLeaveTheMatrixUntouched) {
  struct Case {
    std::vector<double> observation_weights;
    Rows jacobian;
    CovarianceOutcome expected;
  } cases[] = {
      {{1, 1, 0}, kJacobian, CovarianceOutcome::kTooFewWeighted},  // n+ = NUMADJ
      // Too few weighted items is found before the singular matrix is inverted.
      {{1, 1, 0}, {{1, 0}, {1, 0}, {1, 0}}, CovarianceOutcome::kTooFewWeighted},
      {{1, 1, 1}, {{1, 0}, {2, 0}, {3, 0}}, CovarianceOutcome::kSingular},
      {{1, 1, 1}, {{1, 0}, {0, kNaN}, {1, 1}}, CovarianceOutcome::kSingular},  // never nan
  };
  for (const Case& c : cases) {
    dvector weights;
    const ProblemRecord record = MakeRecord(2, c.observation_weights, {}, "estimation", weights);
    matrix covariance = FromRows({{42, 42}, {42, 42}});
    EXPECT_EQ(ComputeCovariance(FromRows(c.jacobian), weights, 4.5, record, covariance),
              c.expected);
    ExpectMatrixNear(covariance, {{42, 42}, {42, 42}}, 0.0);
  }
}

// J'J = [[2, 1, 0], [1, 2, 1], [0, 1, 2]], whose inverse is [[3, -2, 1], [-2, 4, -2],
// [1, -2, 3]] / 4; n+ = 4 and phi = 4 leave the inverse times 4.
TEST(Covariance, ThreeParametersByHand) {
  dvector weights;
  const ProblemRecord record = MakeRecord(3, {1, 1, 1, 1}, {}, "estimation", weights);
  matrix covariance(1, 3, 1, 3);
  ASSERT_EQ(ComputeCovariance(FromRows({{1, 1, 0}, {0, 1, 1}, {1, 0, 0}, {0, 0, 1}}), weights,
                              4.0, record, covariance),
            CovarianceOutcome::kEstimated);
  ExpectMatrixNear(covariance, {{3, -2, 1}, {-2, 4, -2}, {1, -2, 3}}, 1e-14);
}

TEST(Correlation, UnitDiagonalAndZeroForParametersWithoutVariance) {
  matrix correlation(1, 3, 1, 3);
  ComputeCorrelation(FromRows({{4, 2, 0}, {2, 9, 0}, {0, 0, 0}}), 3, correlation);
  ExpectMatrixNear(correlation, {{1, 1.0 / 3, 0}, {1.0 / 3, 1, 0}, {0, 0, 0}}, 1e-15);
  EXPECT_EQ(correlation(2, 2), 1.0);
}

// V D V' gives back the matrix, V'V is the identity, the eigenvalues come out descending,
// and the matrix on and below its diagonal is left as it was.
TEST(Jacobi, RandomSymmetricPositiveDefiniteMatrices) {
  for (int n : {1, 2, 3, 5, 10, 25, 50}) {
    SCOPED_TRACE("n = " + std::to_string(n));
    std::mt19937 generator(1000 + n);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    matrix b(1, n, 1, n), a(1, n, 1, n), v(1, n, 1, n);
    for (int i = 1; i <= n; ++i)
      for (int j = 1; j <= n; ++j) b(i, j) = uniform(generator);
    double largest = 0.0;
    for (int i = 1; i <= n; ++i) {
      for (int j = 1; j <= n; ++j) {
        for (int k = 1; k <= n; ++k) a(i, j) += b(i, k) * b(j, k);
        a(i, j) += i == j ? 1e-3 : 0.0;
        largest = std::fmax(largest, std::fabs(a(i, j)));
      }
    }
    matrix work = a;
    dvector d(n);
    int rotations = -1;
    jacobi(work, n, d, v, rotations);
    SortEigenpairs(d, v, n);
    EXPECT_EQ(rotations == 0, n == 1);
    for (int i = 1; i <= n; ++i) {
      EXPECT_TRUE(i == 1 || d[i - 1] >= d[i]);
      for (int j = 1; j <= i; ++j) EXPECT_EQ(work(i, j), a(i, j));
      for (int j = 1; j <= n; ++j) {
        double reconstructed = 0.0, gram = 0.0;
        for (int k = 1; k <= n; ++k) {
          reconstructed += v(i, k) * d[k] * v(j, k);
          gram += v(k, i) * v(k, j);
        }
        EXPECT_NEAR(reconstructed, a(i, j), 1e-12 * largest);
        EXPECT_NEAR(gram, i == j ? 1.0 : 0.0, 1e-12);
      }
    }
  }
}

TEST(Jacobi, DiagonalMatrixAndSortWithEqualEigenvalues) {
  matrix a = FromRows({{1, 0, 0}, {0, 3, 0}, {0, 0, 3}}), v(1, 3, 1, 3);
  dvector d(3);
  int rotations = -1;
  jacobi(a, 3, d, v, rotations);
  EXPECT_EQ(rotations, 0);
  // Of two equal eigenvalues the later one moves to the front; the eigenvectors follow.
  SortEigenpairs(d, v, 3);
  EXPECT_EQ(std::vector<double>({d[1], d[2], d[3]}), std::vector<double>({3, 3, 1}));
  ExpectMatrixNear(v, {{0, 0, 1}, {0, 1, 0}, {1, 0, 0}}, 0.0);
}

TEST(StudentTQuantile, TableInterpolationAndRange) {
  // Steps between the anchors 30, 40, 60, 120 and 9999999, to the bit; NaN: no quantile.
  const double s30 = 0.0020999999999999908, s40 = 0.0010499999999999954,
               s60 = 0.00033333333333333365, s120 = 2.0000242002928252e-9;
  const std::pair<long, double> cases[] = {
      {1, 12.706}, {17, 2.11}, {30, 2.042}, {31, 2.042 - s30}, {35, 2.042 - 5 * s30},
      {40, 2.021}, {59, 2.021 - 19 * s40}, {60, 2.0}, {61, 2.0 - s60}, {120, 1.98},
      {121, 1.98 - s120}, {9999998, 1.98 - 9999878 * s120}, {9999999, 1.96},
      {0, kNaN}, {-4, kNaN}, {10000000, kNaN}};
  for (const auto& [df, expected] : cases) {
    double t = -7.0;
    EXPECT_EQ(StudentTQuantile(df, t), !std::isnan(expected)) << df;
    EXPECT_EQ(t, std::isnan(expected) ? -7.0 : expected) << df;
  }
  double t = 0.0;
  StudentTQuantile(35, t);
  EXPECT_NEAR(t, 2.0315, 1e-15);
}

}  // namespace
