// Posterior statistics of a finished Levenberg-Marquardt search: covariance and correlation
// of the adjustable parameters, the eigen decomposition of the covariance (Jacobi rotations,
// sorted descending) and the two-sided 95 percent Student t quantile. Used by the results
// section of the record file.
#pragma once

#include "numeric/numeric.h"
#include "pest/problem.h"

// Why a covariance matrix could not be estimated.
enum class CovarianceOutcome {
  kEstimated,
  kSingular,       // the normal matrix J'QJ cannot be inverted
  kTooFewWeighted  // no more weighted observations and prior items than parameters
};

// C = phi / (n+ - NUMADJ) (J'QJ)^-1 over the rows the mode uses. weights holds WEIGHT^2 of
// every row 1..NOBS+NPRIOR (the diagonal of the weight matrix). covariance must be
// NUMADJ x NUMADJ; it is left untouched unless the outcome is kEstimated.
CovarianceOutcome ComputeCovariance(const matrix& jacobian, const dvector& weights, double phi,
                                    const ProblemRecord& record, matrix& covariance);

// R(i, j) = C(i, j) / sqrt(C(i, i) C(j, j)) for i, j in 1..n.
void ComputeCorrelation(const matrix& covariance, int n, matrix& correlation);

// Sorts the eigenvalues into descending order, exchanging the columns of v with them.
void SortEigenpairs(dvector& d, matrix& v, int n);

// The two-sided 95 percent quantile of Student's t for df degrees of freedom, from the table
// and its linear interpolation; false (t untouched) for df outside 1..9999999.
bool StudentTQuantile(long df, double& t);

// Observations with WEIGHT > 0 plus prior-information items with WEIGHT > 0 (all of them,
// whatever the mode): the n+ of the covariance factor.
long CountWeightedItems(const ProblemRecord& record);

// What the results section reports beyond the problem record. Unless the outcome is
// kEstimated the matrices and eigenvalues carry no information.
struct PosteriorStatistics {
  CovarianceOutcome outcome = CovarianceOutcome::kEstimated;
  matrix covariance;    // NUMADJ x NUMADJ, by rank among the adjustable parameters
  matrix correlation;   // NUMADJ x NUMADJ
  matrix eigenvectors;  // NUMADJ x NUMADJ, one eigenvector per column
  dvector eigenvalues;  // NUMADJ, in descending order
};

// The covariance and, when it could be estimated, the correlation and the sorted eigen
// decomposition of a copy of it.
PosteriorStatistics ComputePosteriorStatistics(const matrix& jacobian, const dvector& weights,
                                               double phi, const ProblemRecord& record);
