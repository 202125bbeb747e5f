// The one object through which a Levenberg-Marquardt search runs its model: base runs, lambda
// trials, the final run and the batches of independent runs of a Jacobian or of the sample
// runs, with one problem, partition object, instruction table and model-call count. Made by
// the engine for each search; a batch is spread over the processes when the driver attached
// a RunSpread.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "pest/model_run.h"
#include "pest/run_messages.h"

// How a run is counted and whether a stop request may end the process after it.
enum class RunKind {
  kSearch,          // counted; the stop file is consulted after the outputs are read
  kFinal,           // counted; no stop-file check
  kFinalUncounted,  // neither counted nor checked
};

class RunSpread;

// A run that a batch has made already, as its value file and its outcome: the search it
// belongs to takes it up in place of making it (see ModelRunner::Settings::made_run).
struct MadeRun {
  std::string values;
  RunOutcome outcome;
};

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

  // Makes count runs that do not depend on one another, for a caller that takes up each run
  // itself, one at a time in batch order, with a search of its own: take(i, made) is called
  // for every run in order. When the runs are spread, made is run i already made (prepare
  // as for RunBatch gave its values), for the runner of that search to take up
  // (Settings::made_run); otherwise it is null and the taker makes the run. Returns 0, or the
  // first non-zero status take returns (no later run is handed on).
  short MakeBatch(std::size_t count, const std::function<BatchRun(std::size_t)>& prepare,
                  const std::function<short(std::size_t, MadeRun*)>& take);

  // How a search made away from the usual course makes its runs.
  struct Settings {
    // Runs made in this folder (an absolute path); empty: in the working directory.
    std::string run_folder;
    // The stop file is looked for in this folder (an absolute path); empty: the working
    // directory.
    std::string stop_folder;
    // Called after every run the runner makes or takes up, with its value file and status.
    std::function<void(const std::string& values, short status)> after_run;
    // A run already made: the first run with the same value file takes up its outcome
    // instead of making it.
    MadeRun* made_run = nullptr;
    // The search is one of several made at once, one on each process: its batches are never
    // spread.
    bool alone = false;
  };
  void Configure(const Settings& settings) { settings_ = settings; }

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
  // A run made here, in the run folder when there is one.
  short MakeRun(const std::string& values, int slot, long& counter,
                const std::function<void()>& after_model);
  // A run made elsewhere, handed on as the run itself would have gone on one process: its
  // console text, the count and after_model once its model ran, the text of its output
  // reading, a process end it met, the values read into the slot, its status.
  short TakeOutcome(RunOutcome& outcome, int slot, long& counter,
                    const std::function<void()>& after_model);
  void CheckStopFileHere();
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
  Settings settings_;
  double command_seconds_ = 0.0;
};
