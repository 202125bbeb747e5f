// Classic decompositions on the one-based matrices: the Cholesky factorisation with its
// solve, used by the upgrade vector of the Levenberg-Marquardt engine, and the eigen
// decomposition of a symmetric matrix by Jacobi rotations, used by the posterior statistics.
#pragma once

#include "numeric/numeric.h"

// A'x = b by the lower triangle of A: choldc replaces A's lower triangle by the Cholesky
// factor (diagonal in p) and ends the process with "choldc failed" on a pivot that is not
// positive; cholsl solves with that factor.
void choldc(matrix& a, int n, dvector& p);
void cholsl(const matrix& a, int n, const dvector& p, const dvector& b, dvector& x);

// Eigenvalues d and eigenvectors v (one per column) of the symmetric n x n matrix a by cyclic
// Jacobi rotations; a is destroyed above its diagonal. nrot counts the rotations. More than
// 50 sweeps end the process through nr_error.
void jacobi(matrix& a, int n, dvector& d, matrix& v, int& nrot);
