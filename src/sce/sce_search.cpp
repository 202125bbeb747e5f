// The SCE-UA search loop. The report lines of "sce_output.out" are written here; the
// evaluation log is written by the objective module.
#include "sce/sce_search.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "sce/sce_cce.h"
#include "sce/sce_objective.h"
#include "sce/sce_population.h"
#include "sce/sce_random.h"

namespace {

constexpr int kHistory = 20;  // best values of the last loops kept for the criterion test

// Working storage and counters of one search.
struct SearchState {
  int n = 0;
  int nshow = 0;
  int ngs = 0;
  int npop = 0;
  int eval_no = 1;
  int loop_no = 0;
  double fmin = 99999999.0;
  double fbest = 0.0;
  double fworst = 0.0;
  ScePointTable x;
  ScePointTable cx;
  SceArray xx, worstx, xf, cf, xnstd, bound, criter, unit;
  ScePopulationStats stats;
};

// The output file when writes to it are on and it is open, else null.
std::FILE* OutputFile(const SceRun& run) {
  return run.output_on ? run.output_file.fp : nullptr;
}

void CopyPoint(const double* from, double* to, int n) {
  std::memcpy(to + 1, from + 1, sizeof(double) * static_cast<std::size_t>(n));
}

bool AllocateStorage(SceRun& run, SearchState& st) {
  const SceSettings& s = run.settings;
  const long cap = (s.npg + 1L) * s.ngs + 1;
  const long width = st.n + 1L;
  bool ok = st.x.Allocate(cap, st.n, "x") && st.cx.Allocate(cap, st.n, "cx");
  st.xx = AllocateSceArray(width, "xx");
  run.bestx = AllocateSceArray(width, "bestx");
  st.worstx = AllocateSceArray(width, "worstx");
  st.xf = AllocateSceArray(cap + 1, "xf");
  st.cf = AllocateSceArray(cap + 1, "cf");
  st.xnstd = AllocateSceArray(width, "xnstd");
  st.bound = AllocateSceArray(width, "bound");
  st.criter = AllocateSceArray(kHistory + 1, "criter");
  st.unit = AllocateSceArray(width, "unit");
  return ok && st.xx && run.bestx && st.worstx && st.xf && st.cf && st.xnstd && st.bound &&
         st.criter && st.unit;
}

// Sorts the population and takes its best and worst point and its statistics.
bool SortAndMeasure(SceRun& run, SearchState& st) {
  sort_population(st.x, st.xf.get(), st.npop, st.n);
  CopyPoint(st.x.row(1), run.bestx.get(), st.n);
  CopyPoint(st.x.row(st.npop), st.worstx.get(), st.n);
  st.fbest = st.xf[1];
  st.fworst = st.xf[st.npop];
  return compute_population_stats(run, st.x, st.npop, st.bound.get(), st.xnstd.get(),
                                  &st.stats);
}

void EvaluateInitialPopulation(SceRun& run, SearchState& st) {
  const SceSettings& s = run.settings;
  for (int i = 1; i <= st.npop; ++i) {
    if (i == 1 && s.start_flag == 1) {
      CopyPoint(s.a.get(), st.xx.get(), st.n);
    } else {
      get_point(run, kSceUniformPoint, st.xx.get(), st.unit.get(), s.bl.get());
    }
    CopyPoint(st.xx.get(), st.x.row(i), st.n);
    st.xf[i] = evaluate_point(run, st.x.row(i), st.eval_no, st.fmin);
  }
}

void WriteLoopReport(SceRun& run, SearchState& st) {
  std::FILE* out = OutputFile(run);
  if (out == nullptr) return;
  std::fprintf(out, "%5d %5d   %5d %10.3lf %10.3lf %10.3lf\n", st.loop_no, st.eval_no, st.ngs,
               st.fbest, st.fworst, st.stats.geo_range);
  for (int i = 1; i <= st.nshow; ++i) std::fprintf(out, "%10.3lf ", run.bestx[i]);
  std::fprintf(out, "\n");
  if (st.n >= 9) {
    for (int i = 9; i <= st.n; ++i) std::fprintf(out, "%10.3lf ", run.bestx[i]);
    std::fprintf(out, "\n");
  }
  if (run.settings.pop_print == 1) {
    std::fprintf(out, " POPULATION AT LOOP %ld\n", static_cast<long>(st.loop_no));
    for (int k = 1; k <= st.npop; ++k) {
      const double* point = st.x.row(k);
      std::fprintf(out, "%10.5lf ", st.xf[k]);
      for (int i = 1; i <= st.nshow; ++i) std::fprintf(out, "%10.5lf ", point[i]);
      std::fprintf(out, "\n");
      if (st.n >= 9) {
        for (int i = 9; i <= st.n; ++i) std::fprintf(out, "%10.3lf ", point[i]);
        std::fprintf(out, "\n");
      }
    }
  }
  std::fflush(out);
}

// Stop test 1: the limit on evaluations (tested once per loop, so it may be passed).
bool EvaluationLimitReached(const SceRun& run, const SearchState& st) {
  if (st.eval_no < run.settings.max_calls) return false;
  std::printf(" *** OPTIMIZATION SEARCH TERMINATED BECAUSE THE LIMIT ON THE\n");
  std::printf(" MAXIMUM NUMBER OF TRIALS %ld EXCEEDED.  SEARCH WAS STOPPED AT\n",
              static_cast<long>(run.settings.max_calls));
  std::printf(" SUB-COMPLEX %ld OF COMPLEX %ld IN SHUFFLING LOOP %ld ***\n", 0L,
              static_cast<long>(st.ngs), static_cast<long>(st.loop_no));
  return true;
}

// Stop test 2: the best value changed by less than conv_pct over kstop loops. Records the
// loop's best value in the history first.
bool CriterionUnchanged(const SceRun& run, SearchState& st) {
  const SceSettings& s = run.settings;
  st.criter[kHistory] = st.fbest;
  if (st.loop_no < s.kstop + 1) return false;
  double earlier = st.criter[kHistory - s.kstop];
  double mean = std::fabs(earlier + st.fbest) * 0.5;
  // With a zero mean the relative change is not a number and never stops the search.
  if (mean == 0.0) return false;
  if (!(std::fabs(earlier - st.fbest) / mean < s.conv_pct)) return false;
  if (std::FILE* out = OutputFile(run)) {
    std::fprintf(out, " *** OPTIMIZATION TERMINATED BECAUSE THE CRITERION VALUE HAS NOT\n");
    std::fprintf(out, " CHANGED %5.2lf PERCENT IN %5d SHUFFLING LOOPS ***\n", s.conv_pct * 100.0,
                 s.kstop);
  }
  return true;
}

// Stop test 3: the population has shrunk to a tiny part of the feasible space.
bool PopulationConverged(const SceRun& run, const SearchState& st) {
  if (!st.stats.converged) return false;
  if (std::FILE* out = OutputFile(run)) {
    std::fprintf(out,
                 " *** OPTIMIZATION TERMINATED BECAUSE THE POPULATION HAS CONVERGED INTO\n");
    std::fprintf(out, "    %5.2lf PERCENT OF THE FEASIBLE SPACE ***\n",
                 st.stats.geo_range * 100.0);
  }
  return true;
}

void WriteFinalReport(const SceRun& run, const SearchState& st) {
  std::FILE* out = OutputFile(run);
  if (out == nullptr) return;
  std::fprintf(out, " *** PRINT THE FINAL PARAMETER ESTIMATE AND ITS CRITERION VALUE ***\n");
  std::fprintf(out, "%lf ", st.fbest);
  for (int i = 1; i <= st.n; ++i) std::fprintf(out, "%le ", run.bestx[i]);
  std::fprintf(out, "\n");
  std::fflush(out);
}

// Shuffling loops until a stop test fires. Returns 0, or -1 when storage ran out.
int RunShufflingLoops(SceRun& run, SearchState& st) {
  const SceSettings& s = run.settings;
  for (st.loop_no = 1;; ++st.loop_no) {
    std::printf(" ***  Evolution Loop Number %ld\n", static_cast<long>(st.loop_no));
    for (int c = 1; c <= st.ngs; ++c) {
      if (evolve_complex(run, c, st.ngs, st.x, st.xf.get(), st.xnstd.get(), st.eval_no,
                         st.fmin) != 0) {
        return -1;
      }
    }
    if (!SortAndMeasure(run, st)) return -1;
    WriteLoopReport(run, st);
    if (EvaluationLimitReached(run, st) || CriterionUnchanged(run, st)) return 0;
    for (int j = 1; j < kHistory; ++j) st.criter[j] = st.criter[j + 1];
    if (PopulationConverged(run, st)) return 0;
    if (st.ngs > s.min_ngs) {
      reduce_complexes(st.x, st.xf.get(), st.cx, st.cf.get(), st.ngs, s.npg, st.n);
      st.ngs -= 1;
      st.npop = s.npg * st.ngs;
    }
  }
}

}  // namespace

int run_sceua(SceRun& run) {
  if (!run.setup_ok) {
    std::printf("Error: unable to successufully setup SCE-UA. Unable to run.\n");
    return -1;
  }
  const SceSettings& s = run.settings;
  std::printf(" ENTER THE SCEUA SUBROUTINE --- \n");
  if (std::FILE* out = OutputFile(run)) {
    std::fprintf(out, "ENTER THE SHUFFLED COMPLEX EVOLUTION GLOBAL SEARCH\n");
  }
  SearchState st;
  st.n = s.nparam;
  st.nshow = std::min(st.n, 8);
  seed_sce_generator(run);
  std::printf(" ***  Evolution Loop Number %ld\n", 0L);
  st.ngs = s.ngs;
  st.npop = s.ngs * s.npg;
  if (s.max_calls < st.npop) {
    std::printf("Error: maximum number of function calls is less than the number of points "
                "in the initial population\n");
    std::printf("Increase the number of function calls to at least %ld\n",
                static_cast<long>(st.npop));
    return -1;
  }
  if (!AllocateStorage(run, st)) return -1;
  for (int i = 1; i <= st.n; ++i) {
    st.bound[i] = s.bu[i] - s.bl[i];
    st.unit[i] = 1.0;
  }
  st.eval_no = 1;
  prepare_sce_log(run);

  EvaluateInitialPopulation(run, st);
  if (!SortAndMeasure(run, st)) return -1;
  if (!st.stats.converged && st.eval_no < s.max_calls) {
    if (RunShufflingLoops(run, st) != 0) return -1;
  }
  WriteFinalReport(run, st);
  return st.eval_no;
}
