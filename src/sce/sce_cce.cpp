// Sub-complex selection and the reflection / contraction / mutation step of the SCE search.
#include "sce/sce_cce.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

#include "sce/sce_objective.h"
#include "sce/sce_population.h"
#include "sce/sce_random.h"

namespace {

void CopyPoint(const double* from, double* to, int n) {
  std::memcpy(to + 1, from + 1, sizeof(double) * static_cast<std::size_t>(n));
}

bool OutsideBounds(const SceSettings& s, const double* point) {
  for (int j = 1; j <= s.nparam; ++j) {
    if (point[j] < s.bl[j] || point[j] > s.bu[j]) return true;
  }
  return false;
}

// One position 1..m; position 1 is the most likely, position m the least.
int DrawPosition(SceRun& run, int m) {
  double r = ran_uniform(run);
  double half_up = m + 0.5;
  return 1 + static_cast<int>(half_up - std::sqrt(half_up * half_up - m * (m + 1.0) * r));
}

}  // namespace

bool SceStepWork::Allocate(int n) {
  sb = AllocateSceArray(n + 1L, "sb");
  sw = AllocateSceArray(n + 1L, "sw");
  ce = AllocateSceArray(n + 1L, "ce");
  snew = AllocateSceArray(n + 1L, "snew");
  return sb && sw && ce && snew;
}

void draw_subcomplex(SceRun& run, int m, int q, int* lcs) {
  if (q == m) {
    for (int k = 1; k <= q; ++k) lcs[k] = k;
    return;
  }
  for (int k = 1; k <= q; ++k) {
    int position = 0;
    do {
      position = DrawPosition(run, m);
    } while (std::find(lcs + 1, lcs + k, position) != lcs + k);
    lcs[k] = position;
  }
  // The positions are distinct, so every sort gives the same ascending order.
  std::sort(lcs + 1, lcs + q + 1);
}

double cce_step(SceRun& run, ScePointTable& s, double* sf, int q, const double* xnstd,
                SceStepWork& work, int& eval_no, double fmin) {
  const SceSettings& settings = run.settings;
  const int n = settings.nparam;
  double* sb = work.sb.get();
  double* sw = work.sw.get();
  double* ce = work.ce.get();
  double* snew = work.snew.get();
  CopyPoint(s.row(1), sb, n);
  CopyPoint(s.row(q), sw, n);
  const double fw = sf[q];
  for (int j = 1; j <= n; ++j) {
    double sum = 0.0;
    for (int i = 1; i <= q - 1; ++i) sum += s.row(i)[j];
    ce[j] = sum / (q - 1);
  }

  for (int j = 1; j <= n; ++j) snew[j] = ce[j] + 1.0 * (ce[j] - sw[j]);
  if (OutsideBounds(settings, snew)) get_point(run, kSceGaussianPoint, snew, xnstd, sb);
  double fnew = evaluate_point(run, snew, eval_no, fmin);

  if (fnew > fw) {
    for (int j = 1; j <= n; ++j) snew[j] = ce[j] - 0.5 * (ce[j] - sw[j]);
    fnew = evaluate_point(run, snew, eval_no, fmin);
  }
  if (fnew > fw) {
    get_point(run, kSceGaussianPoint, snew, xnstd, sb);
    fnew = evaluate_point(run, snew, eval_no, fmin);
  }
  CopyPoint(snew, s.row(q), n);
  sf[q] = fnew;
  return fmin;
}

int evolve_complex(SceRun& run, int c, int ngs, ScePointTable& x, double* xf,
                   const double* xnstd, int& eval_no, double& fmin) {
  const SceSettings& settings = run.settings;
  const int n = settings.nparam;
  const int m = settings.npg;
  const int q = settings.nps;
  ScePointTable cx;
  ScePointTable s;
  SceArray cf = AllocateSceArray(m + 1L, "cf");
  SceArray sf = AllocateSceArray(q + 1L, "sf");
  int* lcs_raw = nullptr;
  l_alloc(&lcs_raw, q + 1L, "lcs");
  std::unique_ptr<int[]> lcs(lcs_raw);
  SceStepWork work;
  if (!cx.Allocate(m, n, "cx") || !s.Allocate(q, n, "s") || !cf || !sf || !lcs ||
      !work.Allocate(n)) {
    return -1;
  }

  for (int k = 1; k <= m; ++k) {
    CopyPoint(x.row(c + (k - 1) * ngs), cx.row(k), n);
    cf[k] = xf[c + (k - 1) * ngs];
  }
  for (int step = 1; step <= settings.nspl; ++step) {
    draw_subcomplex(run, m, q, lcs.get());
    for (int k = 1; k <= q; ++k) {
      CopyPoint(cx.row(lcs[k]), s.row(k), n);
      sf[k] = cf[lcs[k]];
    }
    fmin = cce_step(run, s, sf.get(), q, xnstd, work, eval_no, fmin);
    for (int k = 1; k <= q; ++k) {
      CopyPoint(s.row(k), cx.row(lcs[k]), n);
      cf[lcs[k]] = sf[k];
    }
    sort_population(cx, cf.get(), m, n);
  }
  for (int k = 1; k <= m; ++k) {
    CopyPoint(cx.row(k), x.row(c + (k - 1) * ngs), n);
    xf[c + (k - 1) * ngs] = cf[k];
  }
  return 0;
}
