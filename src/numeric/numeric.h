// One-based vectors and index-ranged matrices of the Levenberg-Marquardt family, the small
// matrix operations on them, LU decomposition and inversion, and the fatal numerical error
// exit. Used by the model coupling (parabola fit) and every later numerical routine.
#pragma once

#include <cstdint>
#include <vector>

// Writes the message on standard error and ends the process with exit code 1.
[[noreturn]] void nr_error(const char* message);

// n doubles addressed 1..n; slot 0 exists and is not used. Contents start at 0.
class dvector {
 public:
  dvector() = default;
  explicit dvector(long n);
  double& operator[](long i);
  const double& operator[](long i) const;
  long size() const { return n_; }
  double* data() { return v_.data(); }  // slot 0

 private:
  std::vector<double> v_;
  long n_ = 0;
};

// n 32-bit integers addressed 1..n; slot 0 exists and is not used. Contents start at 0.
class ivector {
 public:
  ivector() = default;
  explicit ivector(long n);
  std::int32_t& operator[](long i);
  const std::int32_t& operator[](long i) const;
  long size() const { return n_; }

 private:
  std::vector<std::int32_t> v_;
  long n_ = 0;
};

// Matrix of doubles with rows rl..rh and columns cl..ch, stored row after row in one block.
// m[i][j] and m(i, j) address row i, column j. Contents start at 0.
class matrix {
 public:
  matrix() = default;
  matrix(long rl, long rh, long cl, long ch);
  double* operator[](long i);
  const double* operator[](long i) const;
  double& operator()(long i, long j);
  double operator()(long i, long j) const;
  long row_low() const { return rl_; }
  long row_high() const { return rh_; }
  long col_low() const { return cl_; }
  long col_high() const { return ch_; }

 private:
  long offset(long i, long j) const;
  std::vector<double> block_;  // one spare slot in front, then the rows
  long rl_ = 1, rh_ = 0, cl_ = 1, ch_ = 0;
};

// Whether a and b hold the same number of entries with equal values.
bool SameValues(const dvector& a, const dvector& b);

// Y = A x B. Ends the process with the dimension message when a_cols differs from b_rows.
void dmmult(const matrix& a, long a_rows, long a_cols, const matrix& b, long b_rows,
            long b_cols, matrix& y);
// y = A x (x has n entries; n is not checked against the columns of A).
void mat_vec_mult(const matrix& a, long rows, long cols, const dvector& x, long n,
                  dvector& y);
void mat_transpose(const matrix& a, long rows, long cols, matrix& t);
// Y = s A; Y may be A.
void mat_scale(const matrix& a, long rows, long cols, double s, matrix& y);
// Y = A + B; Y may be A.
void mat_add(const matrix& a, long rows, long cols, const matrix& b, matrix& y);

// LU decomposition in place (Crout, partial pivoting with implicit row scaling). Sets
// singular to 1 for an all-zero row (never clears it).
void lu_decompose(matrix& a, long n, ivector& indx, double& sign, int& singular);
// Solves with the factors of lu_decompose; b is overwritten by the solution.
void lu_solve(const matrix& a, long n, const ivector& indx, dvector& b);
// R = A^-1 unless A is singular (then singular is set and R is left untouched). A is
// overwritten by its factors.
void mat_inverse(matrix& a, long n, matrix& r, int& singular);
