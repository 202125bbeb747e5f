// Competitive complex evolution: each complex of the sorted population is evolved on its
// own by repeatedly drawing a sub-complex (better points more likely) and replacing its
// worst point. Called by the search loop once per complex and shuffling loop.
#pragma once

#include "sce/sce_run.h"

// Working points of one evolution step, n + 1 doubles each.
struct SceStepWork {
  SceArray sb;    // best point of the sub-complex
  SceArray sw;    // worst point of the sub-complex
  SceArray ce;    // centroid of all but the worst point
  SceArray snew;  // the new point
  // Allocates the four arrays; returns false when an allocation failed.
  bool Allocate(int n);
};

// Evolves complex c of the population x/xf (ngs complexes of npg points, complex c holding
// the sorted points c, c + ngs, c + 2 ngs, ...) in place: nspl steps, each on a sub-complex
// of nps points. Advances eval_no and fmin with every evaluation. Returns 0, or -1 when the
// working storage could not be allocated.
int evolve_complex(SceRun& run, int c, int ngs, ScePointTable& x, double* xf,
                   const double* xnstd, int& eval_no, double& fmin);

// Draws q distinct positions out of a complex of m points into lcs[1..q], ascending, with
// a trapezoidal preference for position 1 (all positions when q = m).
void draw_subcomplex(SceRun& run, int m, int q, int* lcs);

// One evolution step on the sub-complex s/sf of q points (ascending by value): the worst
// point is replaced by its reflection through the centroid of the others, or else by a
// contraction, or else by a Gaussian point around the best one; each try is one
// evaluation. Returns the updated fmin.
double cce_step(SceRun& run, ScePointTable& s, double* sf, int q, const double* xnstd,
                SceStepWork& work, int& eval_no, double fmin);
