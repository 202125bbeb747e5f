// Sorting, statistics and complex reduction of the SCE population.
#include "sce/sce_population.h"

#include <cmath>
#include <cstring>
#include <vector>

namespace {

// Heap-orders the index array indx[1..k] by xf: the build phase sifts from k / 2 downward,
// then the largest is repeatedly swapped to the end. A right child is taken only when it is
// strictly larger than the left one, and the sifted entry moves down only when it is
// strictly smaller than that child.
void IndexHeapSort(const double* xf, int k, std::vector<int>& indx) {
  for (int j = 1; j <= k; ++j) indx[j] = j;
  if (k < 2) return;
  int l = k / 2 + 1;
  int ir = k;
  for (;;) {
    int indxt = 0;
    if (l > 1) {
      indxt = indx[--l];
    } else {
      indxt = indx[ir];
      indx[ir] = indx[1];
      if (--ir == 1) {
        indx[1] = indxt;
        return;
      }
    }
    double q = xf[indxt];
    int i = l;
    int j = l + l;
    while (j <= ir) {
      if (j < ir && xf[indx[j]] < xf[indx[j + 1]]) ++j;
      if (q < xf[indx[j]]) {
        indx[i] = indx[j];
        i = j;
        j += j;
      } else {
        j = ir + 1;
      }
    }
    indx[i] = indxt;
  }
}

void CopyPoint(const double* from, double* to, int n) {
  std::memcpy(to + 1, from + 1, sizeof(double) * static_cast<std::size_t>(n));
}

bool EnsureScratch(SceArray& array, long size, const char* label) {
  if (!array) array = AllocateSceArray(size, label);
  return array != nullptr;
}

}  // namespace

void sort_population(ScePointTable& x, double* xf, int k, int n) {
  std::vector<int> indx(static_cast<std::size_t>(k) + 1);
  IndexHeapSort(xf, k, indx);
  std::vector<double> values(static_cast<std::size_t>(k) + 1);
  std::vector<double> rows((static_cast<std::size_t>(k) + 1) * (n + 1));
  for (int i = 1; i <= k; ++i) {
    values[i] = xf[indx[i]];
    CopyPoint(x.row(indx[i]), rows.data() + static_cast<std::size_t>(i) * (n + 1), n);
  }
  for (int i = 1; i <= k; ++i) {
    xf[i] = values[i];
    CopyPoint(rows.data() + static_cast<std::size_t>(i) * (n + 1), x.row(i), n);
  }
}

bool compute_population_stats(SceRun& run, const ScePointTable& x, int npop,
                              const double* bound, double* xnstd, ScePopulationStats* stats) {
  const int n = run.settings.nparam;
  if (!EnsureScratch(run.xmax, n + 1L, "xmax") || !EnsureScratch(run.xmin, n + 1L, "xmin") ||
      !EnsureScratch(run.xmean, n + 1L, "xmean")) {
    return false;
  }
  double log_sum = 0.0;
  for (int i = 1; i <= n; ++i) {
    double xmax = -1.0e20;
    double xmin = 1.0e20;
    double sum = 0.0;
    double sum_squares = 0.0;
    for (int k = 1; k <= npop; ++k) {
      double v = x.row(k)[i];
      if (v > xmax) xmax = v;
      if (v < xmin) xmin = v;
      sum += v;
      sum_squares += v * v;
    }
    double mean = sum / npop;
    double variance = sum_squares / npop - mean * mean;
    if (variance <= 1.0e-20) variance = 1.0e-20;
    run.xmax[i] = xmax;
    run.xmin[i] = xmin;
    run.xmean[i] = mean;
    xnstd[i] = std::sqrt(variance) / bound[i];
    log_sum += std::log((xmax - xmin) / bound[i] + 1.0e-20);
  }
  stats->geo_range = std::exp(log_sum / n);
  stats->converged = stats->geo_range <= 0.001;
  return true;
}

void reduce_complexes(ScePointTable& x, double* xf, ScePointTable& cx, double* cf, int ngs,
                      int npg, int n) {
  for (int c = 1; c <= ngs - 1; ++c) {
    for (int k = 1; k <= npg; ++k) {
      int from = (k - 1) * ngs + c;
      int to = (k - 1) * (ngs - 1) + c;
      CopyPoint(x.row(from), cx.row(to), n);
      cf[to] = xf[from];
    }
  }
  int npop = npg * (ngs - 1);
  for (int k = 1; k <= npop; ++k) {
    CopyPoint(cx.row(k), x.row(k), n);
    xf[k] = cf[k];
  }
}
