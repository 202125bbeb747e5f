// The sample runs of the global methods: draws a batch of parameter sets inside the bounds
// with the seed chain, runs the model once at each (the search with NOPTMAX 0), and hands
// each run, in the order drawn, to the method that reports it; the seeds file is written as
// the method asks, once the step before each sample is known. Used by the three methods.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "global/global_problem.h"
#include "global/objectives.h"
#include "global/sampling.h"
#include "numeric/numeric.h"

// Which seed a sample leaves in the seeds file.
enum class SeedWrite {
  // The seed as the chain derives it (or as the file replaces it, when reading), unless the
  // step before the sample failed: then the sample neither writes nor reads a seed (MLSL,
  // trajectory repulsion).
  kDerivedUnlessAfterFailure,
  // The seed as drawing the sample left it, for every sample (multistart).
  kDrawnEverySample,
};

// Where a method's samples come from.
struct SampleSource {
  SampleSource(std::uint32_t user_seed, SeedsFile& seeds, SeedWrite write)
      : chain(user_seed), seeds(seeds), write(write) {}

  SeedChain chain;
  SeedsFile& seeds;
  SeedWrite write;
  long drawn = 0;  // samples drawn over the whole method
};

// Every sample a method has drawn, in order: entry m - 1 for sample m.
struct SampleTable {
  std::vector<dvector> points;         // stored values of all NPAR parameters
  std::vector<Objectives> objectives;  // the sample run's objectives (infinite if it failed)
};

// A finished sample run, as the method reports it.
struct SampleRun {
  long number;  // 1, 2, ... over the whole method
  const dvector& point;
  const Objectives& objectives;
  short status;
};
using SampleReport = std::function<void(const SampleRun&)>;

// Draws count samples, runs the model once at each, appends each to table and reports it,
// in the order drawn. A failed run is named on the screen and its objectives are infinite; it
// does not stop the samples. previous_status is the status of the method's step before the
// first sample. The samples are committed to the method's restart file once all have run.
// Returns the status of the last sample run (previous_status when count is 0), or 1 when the
// method halted (MethodRestart::halted).
short RunSamples(GlobalProblem& problem, SampleSource& source, long count,
                 short previous_status, SampleTable& table, const SampleReport& report);
