// Tests of the classic decompositions: the Cholesky solve, and the fatal ends of both
// routines (a pivot that is not positive, a Jacobi sweep that cannot converge). Their results,
// with their sort, are tested with the posterior statistics.
#include "numeric/decompositions.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

TEST(CholeskySolve, SolvesASymmetricPositiveDefiniteSystem) {
  // A = [[4, 2, 0], [2, 5, 1], [0, 1, 3]], x = (1, -2, 3) gives b = (0, -5, 7).
  const double values[3][3] = {{4, 2, 0}, {2, 5, 1}, {0, 1, 3}};
  const double rhs[3] = {0, -5, 7}, solution[3] = {1, -2, 3};
  matrix a(1, 3, 1, 3);
  dvector p(3), b(3), x(3);
  for (int i = 1; i <= 3; ++i) {
    b[i] = rhs[i - 1];
    for (int j = 1; j <= 3; ++j) a[i][j] = values[i - 1][j - 1];
  }
  choldc(a, 3, p);
  cholsl(a, 3, p, b, x);
  for (int i = 1; i <= 3; ++i) EXPECT_NEAR(x[i], solution[i - 1], 1e-14);
}

TEST(CholeskySolveDeathTest, APivotThatIsNotPositiveEndsTheProcess) {
  matrix a(1, 2, 1, 2);  // [[1, 2], [2, 1]] is indefinite: the second pivot is -3
  a(1, 1) = a(2, 2) = 1.0;
  a(1, 2) = a(2, 1) = 2.0;
  dvector p(2);
  EXPECT_EXIT(choldc(a, 2, p), testing::ExitedWithCode(1),
              "^Numerical Recipes run-time error\\.\\.\\.\ncholdc failed\n");
}

TEST(JacobiDeathTest, NoConvergenceEndsTheProcess) {
  matrix a(1, 2, 1, 2), v(1, 2, 1, 2);
  a(1, 1) = a(2, 2) = 1.0;
  a(1, 2) = std::numeric_limits<double>::quiet_NaN();
  dvector d(2);
  int rotations = 0;
  EXPECT_EXIT(jacobi(a, 2, d, v, rotations), testing::ExitedWithCode(1),
              "Too many iterations in routine jacobi");
}

}  // namespace
