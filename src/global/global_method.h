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

// The whole run of a method whose input file names the seeds mode by a word (MLSL, trajectory
// repulsion): read reads the settings (printing what it prints between values), the seeds
// mode follows their word, write_control (when given) writes what the method's record holds
// before the run, and the run's status ends the method.
template <typename Method, typename Settings>
short RunSeededMethod(const MethodNames& names, tarne::mpi_setup* partition, int argc,
                      char** argv, bool (*read)(InputReader&, Settings&),
                      void (*write_control)(std::FILE*, const Settings&, const char*) = nullptr) {
  GlobalProblem problem;
  MethodFiles files;
  Settings settings;
  const auto read_input = [&settings, read](InputReader& in, SeedsFile::Mode& seeds) {
    if (!read(in, settings)) return false;
    seeds = SeedsFile::ModeOfWord(settings.seeds_word);
    return true;
  };
  const StartUp start =
      StartGlobalMethod(names, partition, argc, argv, read_input, problem, files);
  if (!start.go_on) return start.status;
  if (write_control != nullptr) write_control(files.rec.get(), settings, problem.names.base);
  Method method(problem, settings, files.rec.get(), files.seeds,
                SeedWrite::kDerivedUnlessAfterFailure);
  return FinishGlobalMethod(problem, method.Run());
}
