#include "lm/statistics.h"

#include <cassert>
#include <cmath>
#include <cstring>
#include <utility>

#include "numeric/decompositions.h"
#include "pest/parameters.h"

namespace {

// Number of rows of the Jacobian that enter the normal matrix: prior-information equations
// count only in "estimation" mode; in the regularisation modes they steer the search but are
// not part of the measurement model.
long RowsInNormalMatrix(const ProblemRecord& record) {
  const bool estimation = std::strcmp(record.PESTMODE, "estimation") == 0;
  if (estimation && record.NPRIOR > 0) return static_cast<long>(record.NOBS) + record.NPRIOR;
  return record.NOBS;
}

// J'QJ with Q = diag(weights), accumulated row by row: for each row k the upper triangle gains
// (J(k, a) w(k)) J(k, b). This touches the Jacobian once, in storage order, and never forms Q
// or the transpose of J, which for many observations would be far larger than the result.
// Rows of zero weight add nothing and are skipped. The lower triangle is mirrored.
void FormNormalMatrix(const matrix& jacobian, const dvector& weights, long rows, int n,
                      matrix& normal) {
  for (long k = 1; k <= rows; ++k) {
    const double weight = weights[k];
    if (weight == 0.0) continue;
    const double* row = jacobian[k];
    for (int a = 1; a <= n; ++a) {
      const double weighted = row[a] * weight;
      double* sums = normal[a];
      for (int b = a; b <= n; ++b) sums[b] += weighted * row[b];
    }
  }
  for (int a = 2; a <= n; ++a)
    for (int b = 1; b < a; ++b) normal(a, b) = normal(b, a);
}

// An inverse with a non-finite element or a negative variance comes from a normal matrix so
// close to singular that rounding decides the result; it is reported as singular rather than
// printed as a covariance.
bool UsableCovariance(const matrix& covariance, int n) {
  for (int i = 1; i <= n; ++i) {
    if (!(covariance(i, i) >= 0.0)) return false;
    for (int j = 1; j <= n; ++j)
      if (!std::isfinite(covariance(i, j))) return false;
  }
  return true;
}

}  // namespace

long CountWeightedItems(const ProblemRecord& record) {
  long count = 0;
  for (int i = 1; i <= record.NOBS; ++i) count += record.observations[i].WEIGHT > 0.0;
  for (int k = 1; k <= record.NPRIOR; ++k) count += record.priors[k].WEIGHT > 0.0;
  return count;
}

CovarianceOutcome ComputeCovariance(const matrix& jacobian, const dvector& weights, double phi,
                                    const ProblemRecord& record, matrix& covariance) {
  const int n = record.NUMADJ;
  // phi / (n+ - NUMADJ) has no meaning without more weighted items than parameters.
  const long weighted = CountWeightedItems(record);
  if (weighted <= n) return CovarianceOutcome::kTooFewWeighted;
  if (n <= 0) return CovarianceOutcome::kEstimated;

  const long rows = RowsInNormalMatrix(record);
  assert(jacobian.row_high() >= rows && jacobian.col_high() >= n && weights.size() >= rows);
  matrix normal(1, n, 1, n);
  FormNormalMatrix(jacobian, weights, rows, n, normal);

  matrix inverse(1, n, 1, n);
  int singular = 0;
  mat_inverse(normal, n, inverse, singular);
  if (singular != 0) return CovarianceOutcome::kSingular;

  const double factor = phi / static_cast<double>(weighted - n);
  mat_scale(inverse, n, n, factor, inverse);
  if (!UsableCovariance(inverse, n)) return CovarianceOutcome::kSingular;
  for (int i = 1; i <= n; ++i)
    for (int j = 1; j <= n; ++j) covariance(i, j) = inverse(i, j);
  return CovarianceOutcome::kEstimated;
}

// A parameter without variance (phi 0, for instance) has no defined correlation with any
// parameter, itself included: its row and column are written as 0 instead of 0 / 0. The
// diagonal of every other parameter is exactly 1.
void ComputeCorrelation(const matrix& covariance, int n, matrix& correlation) {
  for (int i = 1; i <= n; ++i) {
    for (int j = 1; j <= n; ++j) {
      const double variance_i = covariance(i, i);
      const double variance_j = covariance(j, j);
      if (!(variance_i > 0.0 && variance_j > 0.0)) {
        correlation(i, j) = 0.0;
      } else if (i == j) {
        correlation(i, j) = 1.0;
      } else {
        // The square roots are taken apart so that the product cannot overflow.
        correlation(i, j) = covariance(i, j) / (std::sqrt(variance_i) * std::sqrt(variance_j));
      }
    }
  }
}

void SortEigenpairs(dvector& d, matrix& v, int n) {
  for (int i = 1; i < n; ++i) {
    int largest = i;
    for (int j = i + 1; j <= n; ++j)
      if (d[j] >= d[largest]) largest = j;  // a later equal value wins
    if (largest == i) continue;
    std::swap(d[i], d[largest]);
    for (int row = 1; row <= n; ++row) std::swap(v(row, i), v(row, largest));
  }
}

bool StudentTQuantile(long df, double& t) {
  // t at 0.975 for 1..30 degrees of freedom.
  static const double kTable[31] = {0.0,   12.706, 4.303, 3.182, 2.776, 2.571, 2.447, 2.365,
                                    2.306, 2.262,  2.228, 2.201, 2.179, 2.16,  2.145, 2.131,
                                    2.12,  2.11,   2.101, 2.093, 2.086, 2.08,  2.074, 2.069,
                                    2.064, 2.06,   2.056, 2.052, 2.048, 2.045, 2.042};
  // Beyond 30, linear interpolation between these anchors.
  struct Anchor {
    long df;
    double t;
  };
  static const Anchor kAnchors[] = {{30, 2.042}, {40, 2.021}, {60, 2.0}, {120, 1.98},
                                    {9999999, 1.96}};
  if (df < 1 || df > 9999999) return false;
  if (df <= 30) {
    t = kTable[df];
    return true;
  }
  for (size_t i = 1; i < sizeof kAnchors / sizeof kAnchors[0]; ++i) {
    const Anchor& low = kAnchors[i - 1];
    const Anchor& high = kAnchors[i];
    if (df > high.df) continue;
    if (df == high.df) {
      t = high.t;
    } else {
      const double step = (low.t - high.t) / static_cast<double>(high.df - low.df);
      t = low.t - static_cast<double>(df - low.df) * step;
    }
    return true;
  }
  return false;  // not reached: 9999999 is the last anchor
}

PosteriorStatistics ComputePosteriorStatistics(const matrix& jacobian, const dvector& weights,
                                               double phi, const ProblemRecord& record) {
  const int n = record.NUMADJ;
  PosteriorStatistics statistics;
  statistics.covariance = matrix(1, n, 1, n);
  statistics.correlation = matrix(1, n, 1, n);
  statistics.eigenvectors = matrix(1, n, 1, n);
  statistics.eigenvalues = dvector(n);
  statistics.outcome = ComputeCovariance(jacobian, weights, phi, record, statistics.covariance);
  if (statistics.outcome != CovarianceOutcome::kEstimated) return statistics;

  // The eigen routine destroys its matrix above the diagonal: it works on a copy.
  matrix copy = statistics.covariance;
  ComputeCorrelation(copy, n, statistics.correlation);
  int rotations = 0;
  jacobi(copy, n, statistics.eigenvalues, statistics.eigenvectors, rotations);
  SortEigenpairs(statistics.eigenvalues, statistics.eigenvectors, n);
  return statistics;
}
