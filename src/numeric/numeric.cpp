#include "numeric/numeric.h"

#include <cassert>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <new>
#include <stdexcept>
#include <utility>

#include "numeric/process_end.h"

void nr_error(const char* message) {
  std::fprintf(stderr, "Numerical Recipes run-time error...\n");
  std::fprintf(stderr, "%s\n", message);
  std::fprintf(stderr, "...now exiting to system...\n");
  EndProcess(1);
}

namespace {

// Allocates count + 1 zeroed slots, ending the process with the given message when the
// memory cannot be had (or the size makes no sense).
template <typename T>
void AllocateSlots(std::vector<T>& slots, long count, const char* failure_message) {
  if (count < 0) nr_error(failure_message);
  try {
    slots.assign(static_cast<std::size_t>(count) + 1, T{});
  } catch (const std::bad_alloc&) {
    nr_error(failure_message);
  } catch (const std::length_error&) {
    nr_error(failure_message);
  }
}

// The one exit of dmmult when the inner dimensions of a product differ.
[[noreturn]] void DimensionMismatchExit(long a_cols, long b_rows) {
  std::fprintf(stderr, "a_cols <> b_rows (%ld,%ld): dmmult\n", a_cols, b_rows);
  EndProcess(1);
}

// A zero pivot is replaced by this value so that the factors stay finite.
constexpr double kTinyPivot = 1.0e-20;

}  // namespace

// ---------------------------------------------------------------------------------------------
// Vectors

dvector::dvector(long n) : n_(n) { AllocateSlots(v_, n, "allocation failure in dvector()"); }

double& dvector::operator[](long i) {
  assert(i >= 0 && i <= n_);
  return v_[static_cast<std::size_t>(i)];
}

const double& dvector::operator[](long i) const {
  assert(i >= 0 && i <= n_);
  return v_[static_cast<std::size_t>(i)];
}

ivector::ivector(long n) : n_(n) { AllocateSlots(v_, n, "allocation failure in ivector()"); }

std::int32_t& ivector::operator[](long i) {
  assert(i >= 0 && i <= n_);
  return v_[static_cast<std::size_t>(i)];
}

const std::int32_t& ivector::operator[](long i) const {
  assert(i >= 0 && i <= n_);
  return v_[static_cast<std::size_t>(i)];
}

// ---------------------------------------------------------------------------------------------
// Matrix

matrix::matrix(long rl, long rh, long cl, long ch) : rl_(rl), rh_(rh), cl_(cl), ch_(ch) {
  // An empty range on either side makes an empty matrix (no element may be addressed).
  const long rows = rh >= rl ? rh - rl + 1 : 0;
  const long cols = ch >= cl ? ch - cl + 1 : 0;
  if (cols > 0 && rows > std::numeric_limits<long>::max() / cols)
    nr_error("allocation failure 2 in matrix()");
  AllocateSlots(block_, rows * cols, "allocation failure 2 in matrix()");
}

long matrix::offset(long i, long j) const {
  return 1 + (i - rl_) * (ch_ - cl_ + 1) + (j - cl_);
}

double* matrix::operator[](long i) {
  assert(i >= rl_ && i <= rh_);
  // Element (i, j) is row_start[j]; the spare slot in front keeps row_start inside the block
  // for the usual column start of 1.
  return block_.data() + offset(i, cl_) - cl_;
}

const double* matrix::operator[](long i) const {
  assert(i >= rl_ && i <= rh_);
  return block_.data() + offset(i, cl_) - cl_;
}

double& matrix::operator()(long i, long j) {
  assert(i >= rl_ && i <= rh_ && j >= cl_ && j <= ch_);
  return block_[static_cast<std::size_t>(offset(i, j))];
}

double matrix::operator()(long i, long j) const {
  assert(i >= rl_ && i <= rh_ && j >= cl_ && j <= ch_);
  return block_[static_cast<std::size_t>(offset(i, j))];
}

// ---------------------------------------------------------------------------------------------
// Matrix operations

bool SameValues(const dvector& a, const dvector& b) {
  if (a.size() != b.size()) return false;
  for (long i = 1; i <= a.size(); ++i) {
    if (a[i] != b[i]) return false;
  }
  return true;
}

void dmmult(const matrix& a, long a_rows, long a_cols, const matrix& b, long b_rows,
            long b_cols, matrix& y) {
  if (a_cols != b_rows) DimensionMismatchExit(a_cols, b_rows);
  for (long i = 1; i <= a_rows; ++i) {
    for (long j = 1; j <= b_cols; ++j) {
      double sum = 0.0;
      for (long k = 1; k <= a_cols; ++k) sum += a(i, k) * b(k, j);
      y(i, j) = sum;
    }
  }
}

void mat_vec_mult(const matrix& a, long rows, long cols, const dvector& x, long /*n*/,
                  dvector& y) {
  for (long i = 1; i <= rows; ++i) {
    double sum = 0.0;
    for (long k = 1; k <= cols; ++k) sum += a(i, k) * x[k];
    y[i] = sum;
  }
}

void mat_transpose(const matrix& a, long rows, long cols, matrix& t) {
  for (long i = 1; i <= rows; ++i)
    for (long j = 1; j <= cols; ++j) t(j, i) = a(i, j);
}

void mat_scale(const matrix& a, long rows, long cols, double s, matrix& y) {
  for (long i = 1; i <= rows; ++i)
    for (long j = 1; j <= cols; ++j) y(i, j) = s * a(i, j);
}

void mat_add(const matrix& a, long rows, long cols, const matrix& b, matrix& y) {
  for (long i = 1; i <= rows; ++i)
    for (long j = 1; j <= cols; ++j) y(i, j) = a(i, j) + b(i, j);
}

// ---------------------------------------------------------------------------------------------
// LU decomposition, solution and inverse

namespace {

// Implicit scaling: 1 / (largest magnitude) of each row. Returns false for an all-zero row.
bool RowScales(const matrix& a, long n, dvector& scale) {
  for (long i = 1; i <= n; ++i) {
    double largest = 0.0;
    for (long j = 1; j <= n; ++j) largest = std::fmax(largest, std::fabs(a(i, j)));
    if (largest == 0.0) return false;
    scale[i] = 1.0 / largest;
  }
  return true;
}

// Completes column j (Crout order) and returns the row of the largest scaled candidate on or
// below the diagonal; on a tie the later row wins.
long CompleteColumn(matrix& a, long n, long j, const dvector& scale) {
  for (long i = 1; i < j; ++i) {
    double sum = a(i, j);
    for (long k = 1; k < i; ++k) sum -= a(i, k) * a(k, j);
    a(i, j) = sum;
  }
  double largest = 0.0;
  long pivot_row = j;  // kept when every candidate is NaN
  for (long i = j; i <= n; ++i) {
    double sum = a(i, j);
    for (long k = 1; k < j; ++k) sum -= a(i, k) * a(k, j);
    a(i, j) = sum;
    const double scaled = scale[i] * std::fabs(sum);
    if (scaled >= largest) {
      largest = scaled;
      pivot_row = i;
    }
  }
  return pivot_row;
}

void SwapRows(matrix& a, long n, long r1, long r2) {
  for (long k = 1; k <= n; ++k) std::swap(a(r1, k), a(r2, k));
}

}  // namespace

void lu_decompose(matrix& a, long n, ivector& indx, double& sign, int& singular) {
  sign = 1.0;
  if (n <= 0) return;
  dvector scale(n);
  if (!RowScales(a, n, scale)) {
    singular = 1;
    return;
  }
  for (long j = 1; j <= n; ++j) {
    const long pivot_row = CompleteColumn(a, n, j, scale);
    if (pivot_row != j) {
      SwapRows(a, n, pivot_row, j);
      sign = -sign;
      scale[pivot_row] = scale[j];
    }
    indx[j] = static_cast<std::int32_t>(pivot_row);
    if (a(j, j) == 0.0) a(j, j) = kTinyPivot;
    if (j != n) {
      const double inverse_pivot = 1.0 / a(j, j);
      for (long i = j + 1; i <= n; ++i) a(i, j) *= inverse_pivot;
    }
  }
}

void lu_solve(const matrix& a, long n, const ivector& indx, dvector& b) {
  long first_nonzero = 0;  // 0 while every right-hand element so far has been zero
  for (long i = 1; i <= n; ++i) {
    const long ip = indx[i];
    double sum = b[ip];
    b[ip] = b[i];
    if (first_nonzero != 0) {
      for (long j = first_nonzero; j < i; ++j) sum -= a(i, j) * b[j];
    } else if (sum != 0.0) {
      first_nonzero = i;
    }
    b[i] = sum;
  }
  for (long i = n; i >= 1; --i) {
    double sum = b[i];
    for (long j = i + 1; j <= n; ++j) sum -= a(i, j) * b[j];
    b[i] = sum / a(i, i);
  }
}

void mat_inverse(matrix& a, long n, matrix& r, int& singular) {
  if (n <= 0) return;
  ivector indx(n);
  dvector column(n);
  double sign = 1.0;
  lu_decompose(a, n, indx, sign, singular);
  if (singular != 0) return;
  for (long i = 1; i <= n; ++i) {
    for (long k = 1; k <= n; ++k) column[k] = 0.0;
    column[i] = 1.0;
    lu_solve(a, n, indx, column);
    for (long k = 1; k <= n; ++k) r(k, i) = column[k];
  }
}
