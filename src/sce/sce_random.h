// The random sources of the SCE search: a uniform generator with a shuffle table, a Gaussian
// generator built on it, and random points inside the parameter bounds. Used by the search
// (initial population) and the complex evolution (sub-complex draws, mutations).
#pragma once

#include "sce/sce_run.h"

// Kinds of random point drawn by get_point.
constexpr int kSceUniformPoint = 1;
constexpr int kSceGaussianPoint = 2;

// Re-seeds the uniform generator of run from its seed: the next draw starts afresh.
void seed_sce_generator(SceRun& run);

// Uniform deviate in (0, 0.99999988]. The shuffle table is shared by the whole process; the
// generator state idum belongs to run.
double ran_uniform(SceRun& run);

// Standard normal deviate. Values come in pairs: every second call returns the value kept
// from the call before (the spare lives for the whole process).
double ran_gauss(SceRun& run);

// True while ran_gauss holds a spare value for its next call.
bool ran_gauss_has_spare();

// Writes into out[1..n] a point inside the bounds: coordinate j is
// focal[j] + spread[j] * r * (bu[j] - bl[j]) with r uniform (kind 1) or Gaussian (kind 2),
// redrawn until it lies inside [bl[j], bu[j]].
void get_point(SceRun& run, int kind, double* out, const double* spread, const double* focal);
