// The skeleton every global method's run stands on: the case, the method's settings (the
// values of its input file), its record file and the source of its samples, with the one
// sample-run path. Multistart, MLSL and trajectory repulsion each build their run on it and
// keep their own state in one plain struct.
#pragma once

#include <cstdint>
#include <cstdio>

#include "global/global_problem.h"
#include "global/sample_runs.h"
#include "global/sampling.h"

template <typename Settings>
class GlobalMethod {
 public:
  GlobalMethod(GlobalProblem& problem, const Settings& settings, std::FILE* rec,
               SeedsFile& seeds, SeedWrite write)
      : problem_(problem),
        record_(problem.record),
        settings_(settings),
        rec_(rec),
        source_(settings.seed, seeds, write) {}

 protected:
  // Draws count samples from the method's source, runs and reports each (see RunSamples).
  short RunSamples(long count, short previous_status, SampleTable& table,
                   const SampleReport& report) {
    return ::RunSamples(problem_, source_, count, previous_status, table, report);
  }
  // A commit of the method's restart file failed, or its replay disagreed: the method stops.
  bool Halted() const { return problem_.method_restart.halted(); }

  GlobalProblem& problem_;
  ProblemRecord& record_;
  const Settings& settings_;
  std::FILE* rec_;  // the method's record file

 private:
  SampleSource source_;
};
