#include "numeric/decompositions.h"

#include <cmath>

namespace {

// One Jacobi rotation of the pair (i, j) and (k, l) of a.
inline void Rotate(matrix& a, int i, int j, int k, int l, double s, double tau) {
  const double g = a(i, j);
  const double h = a(k, l);
  a(i, j) = g - s * (h + tau * g);
  a(k, l) = h + s * (g - h * tau);
}

}  // namespace

void choldc(matrix& a, int n, dvector& p) {
  for (int i = 1; i <= n; ++i) {
    for (int j = i; j <= n; ++j) {
      double sum = a[i][j];
      for (int k = i - 1; k >= 1; --k) sum -= a[i][k] * a[j][k];
      if (i == j) {
        if (sum <= 0.0) nr_error("choldc failed");
        p[i] = std::sqrt(sum);
      } else {
        a[j][i] = sum / p[i];
      }
    }
  }
}

void cholsl(const matrix& a, int n, const dvector& p, const dvector& b, dvector& x) {
  for (int i = 1; i <= n; ++i) {
    double sum = b[i];
    for (int k = i - 1; k >= 1; --k) sum -= a[i][k] * x[k];
    x[i] = sum / p[i];
  }
  for (int i = n; i >= 1; --i) {
    double sum = x[i];
    for (int k = i + 1; k <= n; ++k) sum -= a[k][i] * x[k];
    x[i] = sum / p[i];
  }
}

void jacobi(matrix& a, int n, dvector& d, matrix& v, int& nrot) {
  constexpr int kMaxSweeps = 50;
  dvector b(n);  // diagonal at the start of the sweep
  dvector z(n);  // diagonal changes accumulated during the sweep
  for (int p = 1; p <= n; ++p) {
    for (int q = 1; q <= n; ++q) v(p, q) = 0.0;
    v(p, p) = 1.0;
    b[p] = d[p] = a(p, p);
    z[p] = 0.0;
  }
  nrot = 0;
  for (int sweep = 1; sweep <= kMaxSweeps; ++sweep) {
    double off_diagonal = 0.0;
    for (int p = 1; p < n; ++p)
      for (int q = p + 1; q <= n; ++q) off_diagonal += std::fabs(a(p, q));
    if (off_diagonal == 0.0) return;
    // Early sweeps rotate only the larger elements; from the fourth sweep on, all of them.
    const double threshold =
        sweep < 4 ? 0.2 * off_diagonal / (static_cast<double>(n) * n) : 0.0;
    for (int p = 1; p < n; ++p) {
      for (int q = p + 1; q <= n; ++q) {
        const double g = 100.0 * std::fabs(a(p, q));
        // After four sweeps an element too small to change either diagonal entry is dropped.
        if (sweep > 4 && std::fabs(d[p]) + g == std::fabs(d[p]) &&
            std::fabs(d[q]) + g == std::fabs(d[q])) {
          a(p, q) = 0.0;
        } else if (std::fabs(a(p, q)) > threshold) {
          double h = d[q] - d[p];
          double t;
          if (std::fabs(h) + g == std::fabs(h)) {
            t = a(p, q) / h;  // tan of the angle, for a very large h
          } else {
            const double theta = 0.5 * h / a(p, q);
            t = 1.0 / (std::fabs(theta) + std::sqrt(1.0 + theta * theta));
            if (theta < 0.0) t = -t;
          }
          const double c = 1.0 / std::sqrt(1.0 + t * t);
          const double s = t * c;
          const double tau = s / (1.0 + c);
          h = t * a(p, q);
          z[p] -= h;
          z[q] += h;
          d[p] -= h;
          d[q] += h;
          a(p, q) = 0.0;
          for (int j = 1; j < p; ++j) Rotate(a, j, p, j, q, s, tau);
          for (int j = p + 1; j < q; ++j) Rotate(a, p, j, j, q, s, tau);
          for (int j = q + 1; j <= n; ++j) Rotate(a, p, j, q, j, s, tau);
          for (int j = 1; j <= n; ++j) Rotate(v, j, p, j, q, s, tau);
          ++nrot;
        }
      }
    }
    // The diagonal is refreshed from the sums of the sweep to limit rounding.
    for (int p = 1; p <= n; ++p) {
      b[p] += z[p];
      d[p] = b[p];
      z[p] = 0.0;
    }
  }
  nr_error("Too many iterations in routine jacobi");
}
