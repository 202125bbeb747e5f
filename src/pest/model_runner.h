// The one object through which a Levenberg-Marquardt search runs its model: base runs, lambda
// trials, the final run and the batches of independent runs of a Jacobian, with one problem,
// partition object, instruction table and model-call count. Made by the engine for each
// search; a batch is spread over the processes when the driver attached a RunSpread.
#pragma once

#include <cstddef>
#include <functional>

#include "pest/model_run.h"

// How a run is counted and whether a stop request may end the process after it.
enum class RunKind {
  kSearch,          // counted; the stop file is consulted after the outputs are read
  kFinal,           // counted; no stop-file check
  kFinalUncounted,  // neither counted nor checked
};

class RunSpread;

class ModelRunner {
 public:
  // model_calls is the count the search keeps (and saves in its restart file).
  ModelRunner(ProblemRecord& record, tarne::mpi_setup* partition, const char* first_argument,
              FileHandleTable& instructions, long& model_calls);

  // Writes "values.in" from the chosen values, runs the model and the post-run command,
  // calls after_model (when given), and reads every output file into the slot. Returns 0 or
  // the first failing status; a stop request found after a kSearch run ends the process.
  short Run(ValueChoice values, int slot, RunKind kind,
            const std::function<void()>& after_model = nullptr);
  // A run with the current values.
  short Run(int slot, RunKind kind) { return Run(ValueChoice::kCurrent, slot, kind); }

  // What prepare says of a run of a batch: which values go into the value file, and the
  // slot that takes the outputs.
  struct BatchRun {
    ValueChoice values;
    int slot;
  };
  // Makes count runs that do not depend on one another, as kSearch runs. prepare(i) puts the
  // values of run i into the record; it is called for every run in order, before that run
  // is made (when the runs are spread, for all of them before the first). For every run in
  // order, after_model(i) is called once its model and command have run, and after_run(i)
  // once its outputs stand in its slot and the stop file was checked. Returns 0, or the
  // status of the first run that failed (no later run is handed on).
  short RunBatch(std::size_t count, const std::function<BatchRun(std::size_t)>& prepare,
                 const std::function<void(std::size_t)>& after_model,
                 const std::function<void(std::size_t)>& after_run);

  // Benchmarks and tests may put a computation in place of the value file, the model, the
  // command and the output reading: it fills the slot from the chosen values and returns a
  // status. Counting and the stop file work as for a real run; such runs are never spread.
  using SyntheticModel = std::function<short(ProblemRecord&, ValueChoice, int slot)>;
  void SetSyntheticModel(SyntheticModel model) { synthetic_ = std::move(model); }

  ProblemRecord& record() { return record_; }
  long model_calls() const { return model_calls_; }
  // Wall time spent in the post-run command so far, which benchmarks leave out of the cost.
  double command_seconds() const { return command_seconds_; }

 private:
  // The spread of this process's partition object, with its working copies made; null when
  // the runs are not spread.
  RunSpread* Spread();
  short SpreadBatch(RunSpread& spread, std::size_t count,
                    const std::function<BatchRun(std::size_t)>& prepare,
                    const std::function<void(std::size_t)>& after_model,
                    const std::function<void(std::size_t)>& after_run);

  ProblemRecord& record_;
  tarne::mpi_setup* partition_;
  const char* first_argument_;
  FileHandleTable& instructions_;
  long& model_calls_;
  SyntheticModel synthetic_;
  double command_seconds_ = 0.0;
};
