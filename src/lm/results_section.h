// The "OPTIMISATION RESULTS" section that closes the record file of a Levenberg-Marquardt
// search: parameter estimates with confidence limits, tied and fixed parameters, observed
// against calculated values, prior information, phi by group, and the covariance,
// correlation and eigen decomposition. Called by the engine after its final model run.
#pragma once

#include <cstdio>

#include "lm/statistics.h"
#include "numeric/numeric.h"
#include "pest/problem.h"

// Computes the posterior statistics from the best Jacobian (rows 1..NOBS+NPRIOR, one column
// per adjustable parameter), weights (WEIGHT^2 of every row) and phi, and writes the section
// to the record file. With NOPTMAX 0 no Jacobian was ever computed: nothing is computed and
// the section says so. The simulated values printed are those of the base slot. Returns 0.
short WriteFinalStatistics(std::FILE* record_file, const matrix& best_jacobian,
                           const dvector& weights, double phi, const ProblemRecord& record,
                           const matrix& prior_matrix);

// Writes the section from statistics already computed. With NOPTMAX 0 the statistics are not
// looked at unless their outcome is kSingular. Returns 0.
short WriteResultsSection(std::FILE* record_file, double phi,
                          const PosteriorStatistics& statistics, const ProblemRecord& record,
                          const matrix& prior_matrix);
