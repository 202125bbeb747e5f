// One-based vectors and matrices, the small matrix operations, LU decomposition, solution and
// inverse, and the fatal exits. Expected values are worked out by hand or are exact inverses.
#include "numeric/numeric.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <initializer_list>
#include <random>

namespace {

// A 1-based matrix from rows written out in the test.
matrix Make(std::initializer_list<std::initializer_list<double>> rows) {
  const long n_rows = static_cast<long>(rows.size());
  const long n_cols = static_cast<long>(rows.begin()->size());
  matrix m(1, n_rows, 1, n_cols);
  long i = 1;
  for (const auto& row : rows) {
    long j = 1;
    for (double value : row) m(i, j++) = value;
    ++i;
  }
  return m;
}

matrix Filled(long rows, long cols, double value) {
  matrix m(1, rows, 1, cols);
  for (long i = 1; i <= rows; ++i)
    for (long j = 1; j <= cols; ++j) m(i, j) = value;
  return m;
}

void ExpectMatrixNear(const matrix& expected, const matrix& actual, long rows, long cols,
                      double relative) {
  for (long i = 1; i <= rows; ++i)
    for (long j = 1; j <= cols; ++j)
      EXPECT_NEAR(actual(i, j), expected(i, j), relative * std::fabs(expected(i, j)) + 1e-300)
          << "at (" << i << ", " << j << ")";
}

TEST(NumericStorage, VectorsAreOneBasedWithSlotZeroAndStartAtZero) {
  dvector d(3);
  ivector v(2);
  EXPECT_EQ(d.size(), 3);
  EXPECT_EQ(v.size(), 2);
  for (long i = 0; i <= 3; ++i) EXPECT_EQ(d[i], 0.0);
  d[3] = 2.5;
  v[2] = -7;
  EXPECT_EQ(d.data()[3], 2.5);
  EXPECT_EQ(v[2], -7);
  dvector empty(0);
  EXPECT_EQ(empty.size(), 0);
}

TEST(NumericStorage, MatrixRowsAreContiguousAndBothAddressingFormsAgree) {
  matrix m(1, 2, 1, 3);
  EXPECT_EQ(m.row_low(), 1);
  EXPECT_EQ(m.row_high(), 2);
  EXPECT_EQ(m.col_low(), 1);
  EXPECT_EQ(m.col_high(), 3);
  for (long i = 1; i <= 2; ++i)
    for (long j = 1; j <= 3; ++j) m[i][j] = 10.0 * i + j;
  EXPECT_EQ(m(2, 3), 23.0);
  // Row i + 1 starts three elements after row i.
  EXPECT_EQ(&m[2][1], &m[1][1] + 3);
  EXPECT_EQ(m[1][4], 21.0);
}

TEST(NumericDeathTest, NrErrorWritesTheThreeLinesAndExitsWithOne) {
  EXPECT_EXIT(nr_error("choldc failed"), testing::ExitedWithCode(1),
              "^Numerical Recipes run-time error\\.\\.\\.\ncholdc failed\n"
              "\\.\\.\\.now exiting to system\\.\\.\\.\n$");
}

TEST(NumericDeathTest, ImpossibleAllocationsEndThroughNrError) {
  EXPECT_EXIT(dvector(LONG_MAX), testing::ExitedWithCode(1), "allocation failure in dvector\\(\\)");
  EXPECT_EXIT(ivector(-5), testing::ExitedWithCode(1), "allocation failure in ivector\\(\\)");
  EXPECT_EXIT(matrix(1, 1L << 40, 1, 1L << 40), testing::ExitedWithCode(1),
              "allocation failure 2 in matrix\\(\\)");
}

TEST(NumericDeathTest, DmmultWithMismatchedInnerDimensionsNamesBothCounts) {
  matrix a = Filled(2, 3, 1.0), b = Filled(2, 2, 1.0), y = Filled(2, 2, 0.0);
  EXPECT_EXIT(dmmult(a, 2, 3, b, 2, 2, y), testing::ExitedWithCode(1),
              "^a_cols <> b_rows \\(3,2\\): dmmult\n$");
}

TEST(NumericOperations, ProductsTransposeScaleAndSum) {
  matrix a = Make({{1, 2, 3}, {4, 5, 6}});
  matrix b = Make({{7, 8}, {9, 10}, {11, 12}});
  matrix y = Filled(2, 2, -1.0);
  dmmult(a, 2, 3, b, 3, 2, y);
  ExpectMatrixNear(Make({{58, 64}, {139, 154}}), y, 2, 2, 0.0);

  dvector x(3), r(2);
  x[1] = 1; x[2] = -1; x[3] = 2;
  mat_vec_mult(a, 2, 3, x, 3, r);
  EXPECT_EQ(r[1], 5.0);
  EXPECT_EQ(r[2], 11.0);

  matrix t = Filled(3, 2, 0.0);
  mat_transpose(a, 2, 3, t);
  ExpectMatrixNear(Make({{1, 4}, {2, 5}, {3, 6}}), t, 3, 2, 0.0);

  mat_scale(a, 2, 3, -2.0, a);  // the result may be the operand itself
  ExpectMatrixNear(Make({{-2, -4, -6}, {-8, -10, -12}}), a, 2, 3, 0.0);
  matrix c = Make({{1, 1, 1}, {2, 2, 2}});
  mat_add(a, 2, 3, c, a);
  ExpectMatrixNear(Make({{-1, -3, -5}, {-6, -8, -10}}), a, 2, 3, 0.0);
}

TEST(NumericOperations, OneByOneWorksAndEmptyRangesTouchNothing) {
  matrix a = Make({{3}}), b = Make({{-2}}), y = Make({{0}});
  dmmult(a, 1, 1, b, 1, 1, y);
  EXPECT_EQ(y(1, 1), -6.0);
  matrix r = Make({{0}});
  int singular = 0;
  matrix four = Make({{4}});
  mat_inverse(four, 1, r, singular);
  EXPECT_EQ(singular, 0);
  EXPECT_EQ(r(1, 1), 0.25);

  matrix untouched = Filled(2, 2, 99.0);
  matrix full = Filled(2, 2, 1.0);
  dmmult(full, 0, 2, full, 2, 2, untouched);
  dmmult(full, 2, 2, full, 2, 0, untouched);
  mat_transpose(full, 0, 2, untouched);
  mat_transpose(full, 2, 0, untouched);
  mat_scale(full, 0, 2, 5.0, untouched);
  mat_add(full, 2, 0, full, untouched);
  mat_inverse(full, 0, untouched, singular);
  dvector x(2), out(2);
  out[1] = out[2] = 99.0;
  mat_vec_mult(full, 0, 2, x, 2, out);
  ExpectMatrixNear(Filled(2, 2, 99.0), untouched, 2, 2, 0.0);
  EXPECT_EQ(out[1], 99.0);
  EXPECT_EQ(singular, 0);
}

TEST(NumericLu, InverseWithAnAllZeroRowSetsTheFlagAndLeavesTheResultAlone) {
  matrix a = Make({{1, 2, 3}, {0, 0, 0}, {4, 5, 6}});
  matrix r = Filled(3, 3, 7.0);
  int singular = 0;
  mat_inverse(a, 3, r, singular);
  EXPECT_EQ(singular, 1);
  ExpectMatrixNear(Filled(3, 3, 7.0), r, 3, 3, 0.0);
}

TEST(NumericLu, SingularFlagIsNeverClearedByTheDecomposition) {
  matrix a = Make({{2, 0}, {0, 2}});
  ivector indx(2);
  double sign = 0.0;
  int singular = 1;
  lu_decompose(a, 2, indx, sign, singular);
  EXPECT_EQ(singular, 1);
  EXPECT_EQ(sign, 1.0);
}

TEST(NumericLu, HilbertFourInverseIsTheExactIntegerMatrix) {
  matrix h(1, 4, 1, 4);
  for (long i = 1; i <= 4; ++i)
    for (long j = 1; j <= 4; ++j) h(i, j) = 1.0 / static_cast<double>(i + j - 1);
  matrix r = Filled(4, 4, 0.0);
  int singular = 0;
  mat_inverse(h, 4, r, singular);
  EXPECT_EQ(singular, 0);
  ExpectMatrixNear(Make({{16, -120, 240, -140},
                         {-120, 1200, -2700, 1680},
                         {240, -2700, 6480, -4200},
                         {-140, 1680, -4200, 2800}}),
                   r, 4, 4, 1e-9);
}

TEST(NumericLu, SolveNeedsPivotingAndSkipsLeadingZerosOfTheRightHandSide) {
  // 2x + y + z = 5, 4x - 6y = -2, -2x + 7y + 2z = 9 has the solution (1, 1, 2).
  matrix a = Make({{2, 1, 1}, {4, -6, 0}, {-2, 7, 2}});
  ivector indx(3);
  double sign = 0.0;
  int singular = 0;
  lu_decompose(a, 3, indx, sign, singular);
  ASSERT_EQ(singular, 0);
  dvector b(3);
  b[1] = 5; b[2] = -2; b[3] = 9;
  lu_solve(a, 3, indx, b);
  EXPECT_NEAR(b[1], 1.0, 1e-12);
  EXPECT_NEAR(b[2], 1.0, 1e-12);
  EXPECT_NEAR(b[3], 2.0, 1e-12);
  // A right-hand side that starts with zeros: the solution is checked by substitution.
  dvector e(3);
  e[3] = 16.0;
  lu_solve(a, 3, indx, e);
  matrix original = Make({{2, 1, 1}, {4, -6, 0}, {-2, 7, 2}});
  for (long i = 1; i <= 3; ++i) {
    double row = 0.0;
    for (long j = 1; j <= 3; ++j) row += original(i, j) * e[j];
    EXPECT_NEAR(row, i == 3 ? 16.0 : 0.0, 1e-12) << "row " << i;
  }
}

TEST(NumericLu, TiesInThePivotChoiceTakeTheLaterRow) {
  // Both rows have scale 1 and candidates of equal magnitude: row 2 becomes the pivot.
  matrix a = Make({{1, 1}, {-1, 1}});
  ivector indx(2);
  double sign = 0.0;
  int singular = 0;
  lu_decompose(a, 2, indx, sign, singular);
  EXPECT_EQ(indx[1], 2);
  EXPECT_EQ(indx[2], 2);
  EXPECT_EQ(sign, -1.0);
  // L = [1 0; -1 1], U = [-1 1; 0 2] for the rows in the order (row 2, row 1).
  ExpectMatrixNear(Make({{-1, 1}, {-1, 2}}), a, 2, 2, 0.0);
}

TEST(NumericLu, AZeroPivotIsReplacedAndDoesNotMarkTheMatrixSingular) {
  matrix a = Make({{1, 1}, {1, 1}});
  ivector indx(2);
  double sign = 0.0;
  int singular = 0;
  lu_decompose(a, 2, indx, sign, singular);
  EXPECT_EQ(singular, 0);
  EXPECT_EQ(indx[1], 2);
  EXPECT_EQ(a(2, 1), 1.0);
  EXPECT_EQ(a(2, 2), 1.0e-20);
}

TEST(NumericLu, AColumnOfNaNCandidatesKeepsTheDiagonalRowAsPivot) {
  // No candidate compares as largest, so the pivot row must fall back to the current row;
  // the permutation then stays inside the matrix and the solve stays in bounds.
  const double nan = std::nan("");
  matrix a = Make({{nan, 1}, {nan, 2}});
  ivector indx(2);
  indx[1] = indx[2] = -99;
  double sign = 0.0;
  int singular = 0;
  lu_decompose(a, 2, indx, sign, singular);
  EXPECT_EQ(singular, 0);
  EXPECT_EQ(indx[1], 1);
  EXPECT_EQ(indx[2], 2);
  EXPECT_EQ(sign, 1.0);
  dvector b(2);
  b[1] = 1.0;
  b[2] = 1.0;
  lu_solve(a, 2, indx, b);
  EXPECT_TRUE(std::isnan(b[1]));
}

TEST(NumericLu, RandomMatricesTimesTheirInverseGiveTheIdentity) {
  std::mt19937 generator(20240916);
  std::uniform_real_distribution<double> value(-10.0, 10.0);
  for (int trial = 0; trial < 20; ++trial) {
    const long n = 1 + trial % 7;
    matrix a(1, n, 1, n), copy(1, n, 1, n), inverse(1, n, 1, n), product(1, n, 1, n);
    for (long i = 1; i <= n; ++i)
      for (long j = 1; j <= n; ++j) copy(i, j) = a(i, j) = value(generator);
    int singular = 0;
    mat_inverse(a, n, inverse, singular);
    ASSERT_EQ(singular, 0);
    dmmult(copy, n, n, inverse, n, n, product);
    for (long i = 1; i <= n; ++i)
      for (long j = 1; j <= n; ++j)
        EXPECT_NEAR(product(i, j), i == j ? 1.0 : 0.0, 1e-9) << "trial " << trial;
  }
}

}  // namespace
