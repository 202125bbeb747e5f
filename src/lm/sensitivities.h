// Composite parameter sensitivities: computed after every Jacobian of a Levenberg-Marquardt
// search (a parameter without effect is set aside for the rest of the iteration) and written
// to the case's sensitivity file per iteration and once at the end. Called by the engine.
#pragma once

#include <cstdio>

#include "numeric/numeric.h"
#include "pest/output_names.h"
#include "pest/problem.h"

// The Jacobian has rows 1..NOBS (observations) and NOBS+1..NOBS+NPRIOR (prior items) and one
// column per adjustable parameter in control-file order; the prior matrix has NPRIOR rows
// and the same columns (it may be empty when NPRIOR is 0).

// Stores every adjustable parameter's composite sensitivity over all rows and marks the ones
// below 1e-8 as without effect (flag, no-effect count, and a line on the screen and in the
// record file). Returns 0.
short ComputeSensitivities(ProblemRecord& record, const matrix& jacobian,
                           const matrix& prior_matrix, std::FILE* record_file);

// final_selector 0: the section of iteration n. 1: the closing sections (per observation
// group and for all observations) computed with the Jacobian passed, the best one.
// Returns 0.
short WriteSensitivityFile(ProblemRecord& record, const matrix& jacobian,
                           const matrix& prior_matrix, const OutputNames& names, int n,
                           std::FILE* sensitivity_file, int final_selector);
