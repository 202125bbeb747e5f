#include "global/sample_runs.h"

#include <cstdio>

#include "global/local_search.h"
#include "lm/lm_state.h"
#include "pest/model_runner.h"
#include "pest/parameters.h"

namespace {

struct Sample {
  long number = 0;
  std::int32_t derived_seed = 0;  // as the chain derived it, or as the seeds file replaced it
  std::int32_t drawn_seed = 0;    // as drawing the sample left it
  dvector point;
};

// The next samples, drawn before any of them runs. When the seeds file is read, whether a
// sample reads its seed depends on the run before it, so a batch holds one sample; otherwise
// it holds every sample still to draw.
std::vector<Sample> DrawBatch(ProblemRecord& record, SampleSource& source, long remaining,
                              bool follows_success) {
  const long size = source.seeds.reads() ? 1 : remaining;
  std::vector<Sample> batch(static_cast<size_t>(size));
  for (Sample& sample : batch) {
    sample.number = ++source.drawn;
    std::int32_t seed = source.chain.Next();
    if (source.seeds.reads() && follows_success) source.seeds.Use(seed);
    sample.derived_seed = seed;
    SampleParameters(record, seed);
    if (record.NUMTIED > 0) RecomputeTiedParameters(record);
    sample.drawn_seed = seed;
    sample.point = CurrentParameterValues(record);
  }
  return batch;
}

// Whether the seeds file takes a seed of the sample, and which, as the method asks.
bool SeedToWrite(const SampleSource& source, const Sample& sample, bool follows_success,
                 std::int32_t& seed) {
  if (!source.seeds.writes()) return false;
  if (source.write == SeedWrite::kDrawnEverySample) {
    seed = sample.drawn_seed;
    return true;
  }
  seed = sample.derived_seed;
  return follows_success;
}

void PrintFailedSample(long number) {
  std::printf("\nThe model run of sample %ld failed; its objective function is taken as "
              "infinite.\n", number);
}


void LoadValues(ProblemRecord& record, const dvector& point) {
  for (int k = 1; k <= record.NPAR; ++k) record.parameters[k].value = point[k];
}

}  // namespace

short RunSamples(GlobalProblem& problem, SampleSource& source, long count,
                 short previous_status, SampleTable& table, const SampleReport& report) {
  ProblemRecord& record = problem.record;
  MethodRestart& restart = problem.method_restart;
  short status = previous_status;
  for (long done = 0; done < count;) {
    const std::vector<Sample> batch = DrawBatch(record, source, count - done, status == 0);
    // Each sample is taken up in the order drawn by its sample's search.
    const auto take = [&](std::size_t i, MadeRun* made) -> short {
      const Sample& sample = batch[i];
      const SearchOutcome outcome = RunSampleSearch(problem, sample.point, made);
      if (restart.halted()) return 1;
      std::int32_t seed = 0;
      if (SeedToWrite(source, sample, status == 0, seed)) source.seeds.Use(seed);
      if (outcome.status != 0) PrintFailedSample(sample.number);
      status = outcome.status;
      table.points.push_back(sample.point);
      table.objectives.push_back(outcome.objectives);
      report({sample.number, table.points.back(), table.objectives.back(), status});
      return 0;
    };
    // The samples a resumed run takes from the method's restart file make no run.
    std::size_t replayed = 0;
    for (; replayed < batch.size() && restart.Replaying(); ++replayed) {
      if (take(replayed, nullptr) != 0) return 1;
    }
    // The runs of the others do not depend on each other: the model runner makes them at
    // once when the runs are spread over processes.
    long calls = 0;
    ModelRunner runner(record, problem.partition, problem.option, problem.instructions, calls);
    const auto prepare = [&](std::size_t i) {
      LoadValues(record, batch[replayed + i].point);
      return ModelRunner::BatchRun{ValueChoice::kCurrent, kBaseSlot};
    };
    const short halted = runner.MakeBatch(
        batch.size() - replayed, prepare,
        [&](std::size_t i, MadeRun* made) { return take(replayed + i, made); });
    if (halted != 0) return 1;
    done += static_cast<long>(batch.size());
  }
  // The phase is committed to the method's restart file as a whole.
  if (restart.Commit() != 0) return 1;
  return status;
}
