#include "pest/model_runner.h"

#include "pest/output_files.h"

ModelRunner::ModelRunner(ProblemRecord& record, tarne::mpi_setup* partition,
                         const char* first_argument, FileHandleTable& instructions,
                         long& model_calls)
    : record_(record),
      partition_(partition),
      first_argument_(first_argument),
      instructions_(instructions),
      model_calls_(model_calls) {}

short ModelRunner::Run(int slot, RunKind kind) {
  short status = WriteValueFile(record_, ValueChoice::kCurrent);
  if (status != 0) return status;
  long uncounted = 0;
  long& counter = kind == RunKind::kFinalUncounted ? uncounted : model_calls_;
  status = RunModel(record_, partition_, first_argument_, counter);
  if (status != 0) return status;
  status = ReadModelOutputs(record_, slot, instructions_);
  if (status != 0) return status;
  return kind == RunKind::kSearch ? CheckStopFile() : 0;
}

short ModelRunner::Jacobian(const ivector& adjustable, matrix& jacobian, int switch_flag,
                            int iteration, int& cyclic_position) {
  return CalculateJacobian(record_, adjustable, jacobian, model_calls_, switch_flag,
                           instructions_, iteration, cyclic_position, partition_,
                           first_argument_);
}
