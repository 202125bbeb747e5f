#include "pest/model_runner.h"

#include <chrono>

#include "pest/output_files.h"

ModelRunner::ModelRunner(ProblemRecord& record, tarne::mpi_setup* partition,
                         const char* first_argument, FileHandleTable& instructions,
                         long& model_calls)
    : record_(record),
      partition_(partition),
      first_argument_(first_argument),
      instructions_(instructions),
      model_calls_(model_calls) {}

short ModelRunner::Run(ValueChoice values, int slot, RunKind kind,
                       const std::function<void()>& after_model) {
  long uncounted = 0;
  long& counter = kind == RunKind::kFinalUncounted ? uncounted : model_calls_;
  short status = 0;
  if (synthetic_) {
    status = synthetic_(record_, values, slot);
    if (status != 0) return status;
    ++counter;
    if (after_model) after_model();
  } else {
    status = WriteValueFile(record_, values);
    if (status != 0) return status;
    status = RunModelLibrary(record_, partition_, first_argument_);
    if (status != 0) return status;
    const auto start = std::chrono::steady_clock::now();
    RunPostCommand(record_);
    command_seconds_ +=
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ++counter;
    if (after_model) after_model();
    status = ReadModelOutputs(record_, slot, instructions_);
    if (status != 0) return status;
  }
  return kind == RunKind::kSearch ? CheckStopFile() : 0;
}
