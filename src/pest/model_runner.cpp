#include "pest/model_runner.h"

#include <chrono>
#include <cmath>
#include <string>
#include <vector>

#include "modellib/file_error.h"
#include "numeric/process_end.h"
#include "pest/copy_run.h"
#include "pest/run_spread.h"
#include "pest/stop_file.h"

ModelRunner::ModelRunner(ProblemRecord& record, tarne::mpi_setup* partition,
                         const char* first_argument, FileHandleTable& instructions,
                         long& model_calls)
    : record_(record),
      partition_(partition),
      first_argument_(first_argument),
      instructions_(instructions),
      model_calls_(model_calls) {}

RunSpread* ModelRunner::Spread() {
  RunSpread* spread = RunSpread::Of(partition_);
  if (spread == nullptr || synthetic_ || settings_.alone) return nullptr;
  // The working copies are made before the tool's first model run.
  spread->Prepare(record_, first_argument_);
  return spread;
}

short ModelRunner::Run(ValueChoice values, int slot, RunKind kind,
                       const std::function<void()>& after_model) {
  Spread();
  long uncounted = 0;
  long& counter = kind == RunKind::kFinalUncounted ? uncounted : model_calls_;
  short status = 0;
  if (synthetic_) {
    status = synthetic_(record_, values, slot);
    if (status != 0) return status;
    ++counter;
    if (after_model) after_model();
  } else {
    const std::string text = ValueFileText(record_, values);
    MadeRun* made = settings_.made_run;
    settings_.made_run = nullptr;
    if (made != nullptr && made->values == text) {
      status = TakeOutcome(made->outcome, slot, counter, after_model);
    } else {
      status = MakeRun(text, slot, counter, after_model);
    }
    if (settings_.after_run) settings_.after_run(text, status);
    if (status != 0) return status;
  }
  if (kind == RunKind::kSearch) CheckStopFileHere();
  return 0;
}

short ModelRunner::MakeRun(const std::string& values, int slot, long& counter,
                           const std::function<void()>& after_model) {
  InFolder in(settings_.run_folder);
  if (in.error()) {
    ReportFileError("enter", settings_.run_folder.c_str(), 0, in.error().message());
    return 1;
  }
  short status = WriteValueText(values);
  if (status != 0) return status;
  status = RunModelLibrary(record_, partition_, first_argument_);
  if (status != 0) return status;
  const auto start = std::chrono::steady_clock::now();
  RunPostCommand(record_);
  command_seconds_ +=
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  ++counter;
  if (after_model) after_model();
  return ReadModelOutputs(record_, slot, instructions_);
}

short ModelRunner::TakeOutcome(RunOutcome& outcome, int slot, long& counter,
                               const std::function<void()>& after_model) {
  PrintConsoleText(outcome.before);
  if (outcome.model_ran) {
    ++counter;
    if (after_model) after_model();
  }
  PrintConsoleText(outcome.after);
  if (outcome.ended >= 0) EndProcess(outcome.ended);
  const int observations = static_cast<int>(outcome.simulated.size());
  for (int k = 1; k <= record_.NOBS && k <= observations; ++k) {
    const double value = outcome.simulated[static_cast<std::size_t>(k - 1)];
    if (!std::isnan(value)) record_.observations[k].simulated[slot] = value;
  }
  return static_cast<short>(outcome.status);
}

void ModelRunner::CheckStopFileHere() {
  InFolder in(settings_.stop_folder);
  CheckStopFile();
}

short ModelRunner::RunBatch(std::size_t count,
                            const std::function<BatchRun(std::size_t)>& prepare,
                            const std::function<void(std::size_t)>& after_model,
                            const std::function<void(std::size_t)>& after_run) {
  RunSpread* spread = Spread();
  if (spread != nullptr && count > 0) {
    return SpreadBatch(*spread, count, prepare, after_model, after_run);
  }
  for (std::size_t i = 0; i < count; ++i) {
    const BatchRun run = prepare(i);
    const short status = Run(run.values, run.slot, RunKind::kSearch, [&] { after_model(i); });
    if (status != 0) return status;
    after_run(i);
  }
  return 0;
}

short ModelRunner::MakeBatch(std::size_t count,
                             const std::function<BatchRun(std::size_t)>& prepare,
                             const std::function<short(std::size_t, MadeRun*)>& take) {
  RunSpread* spread = Spread();
  if (spread == nullptr || count == 0) {
    for (std::size_t i = 0; i < count; ++i) {
      const short status = take(i, nullptr);
      if (status != 0) return status;
    }
    return 0;
  }
  std::vector<std::string> values(count);
  for (std::size_t i = 0; i < count; ++i) values[i] = ValueFileText(record_, prepare(i).values);
  MadeRun made;
  return spread->Run(values, [&](std::size_t i, RunOutcome& outcome) -> short {
    made.values = values[i];
    made.outcome = std::move(outcome);
    return take(i, &made);
  });
}

// Every run's outcome is handed on as the run itself would have gone on one process, then
// the stop file is consulted.
short ModelRunner::SpreadBatch(RunSpread& spread, std::size_t count,
                               const std::function<BatchRun(std::size_t)>& prepare,
                               const std::function<void(std::size_t)>& after_model,
                               const std::function<void(std::size_t)>& after_run) {
  std::vector<std::string> values(count);
  std::vector<int> slots(count);
  for (std::size_t i = 0; i < count; ++i) {
    const BatchRun run = prepare(i);
    values[i] = ValueFileText(record_, run.values);
    slots[i] = run.slot;
  }
  return spread.Run(values, [&](std::size_t i, RunOutcome& outcome) -> short {
    const short status = TakeOutcome(outcome, slots[i], model_calls_, [&] { after_model(i); });
    if (status != 0) return status;
    CheckStopFileHere();
    after_run(i);
    return 0;
  });
}
