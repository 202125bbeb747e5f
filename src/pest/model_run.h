// One model run of the Levenberg-Marquardt family: the value file, the model library, the
// post-run command and the reading of the outputs. Called by the model runner for every run
// of a search, in the run directory or in a process's working copy.
#pragma once

#include <string>

#include "problem.h"
#include "modellib/tarne_lib.h"
#include "numeric/numeric.h"

// The value file the model library reads, through "tarne.in", before every run.
constexpr const char* kValueFileName = "values.in";

// Which stored value of every parameter goes into the value file.
enum class ValueChoice { kCurrent, kFirstPerturbed, kSecondPerturbed };

// Rewrites "values.in": every parameter in control-file order as "%.7E " on one line without
// a line end, 10 to the power of the stored value for a "log" parameter. Returns 0, or 1
// after printing a message when the file cannot be written.
short WriteValueFile(const ProblemRecord& record, ValueChoice which);
// The two halves of WriteValueFile: the text of the value file, and its writing.
std::string ValueFileText(const ProblemRecord& record, ValueChoice which);
short WriteValueText(const std::string& content);

// One run of the model with the current value file: a fresh model object on the partition
// object runs PROJFLE, then POSTBATCH goes to the command processor. The results of both are
// not used; model_calls grows by one. Returns 0, or 1 without a partition object.
short RunModel(ProblemRecord& record, tarne::mpi_setup* partition, const char* first_argument,
               long& model_calls);
// The two halves of RunModel: the model library's run, and the post-run command.
short RunModelLibrary(ProblemRecord& record, tarne::mpi_setup* partition,
                      const char* first_argument);
void RunPostCommand(const ProblemRecord& record);

// Reads every instruction file, in order, into the chosen simulated-value slot. Returns 0,
// or the first failing status of ReadModelOutput.
short ReadModelOutputs(ProblemRecord& record, int slot, FileHandleTable& instruction_handles);
