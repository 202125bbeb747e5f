// The population of the SCE search: sorting points by objective value, the per-parameter
// spread and geometric range of a population, and the reshuffle that drops one complex.
// Used by the search loop and, for sorting a complex, by the complex evolution.
#pragma once

#include "sce/sce_run.h"

// Sorts points 1..k of x (n parameters each) and their values xf[1..k] ascending by value
// with an index heap sort; ties come out in the order that heap sort gives. k >= 2.
void sort_population(ScePointTable& x, double* xf, int k, int n);

// Spread and range of the npop sorted points of x.
struct ScePopulationStats {
  double geo_range = 0.0;  // geometric mean of the parameter spans over their bound ranges
  bool converged = false;  // geo_range <= 0.001
};

// Computes xnstd[1..n] (standard deviation of each parameter over its bound range, with a
// floor on the variance) and the geometric range. Uses run.xmax, run.xmin and run.xmean as
// scratch, allocating them on first use; returns false when that allocation failed.
bool compute_population_stats(SceRun& run, const ScePointTable& x, int npop,
                              const double* bound, double* xnstd, ScePopulationStats* stats);

// Drops the last of ngs complexes: the point at position (k - 1) * ngs + c moves to
// (k - 1) * (ngs - 1) + c for complexes c = 1..ngs - 1 and k = 1..npg, through the scratch
// table cx/cf. The population stays sorted.
void reduce_complexes(ScePointTable& x, double* xf, ScePointTable& cx, double* cf, int ngs,
                      int npg, int n);
