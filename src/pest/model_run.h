// One model run of the Levenberg-Marquardt family (value file, model library, post-run
// command) and the finite-difference Jacobian built from such runs. Called by the engine for
// its base and trial runs and for every Jacobian it needs.
#pragma once

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

// Fills the due columns of the Jacobian (rows 1..NOBS, one column per entry of adjustable)
// by forward or three-point differences. switch_flag is 1 once the engine has switched to
// three-point derivatives; iteration counts from 1; cyclic_position is the last parameter
// refreshed by the secant scheme and is updated here. The base slot must hold the outputs of
// a run at the current values. Returns 0, 1 when a group asks for "best_fit", or the status
// of a failed value-file write or output read.
short CalculateJacobian(ProblemRecord& record, const ivector& adjustable, matrix& jacobian,
                        long& model_calls, int switch_flag,
                        FileHandleTable& instruction_handles, int iteration,
                        int& cyclic_position, tarne::mpi_setup* partition,
                        const char* first_argument);

// The number of model runs CalculateJacobian makes for this iteration: all adjustable
// parameters under a full update, else the entries of selection (repeats counted).
int CountJacobianRuns(const ProblemRecord& record, int switch_flag, const ivector& selection,
                      int iteration);

// Coefficients of y = a x^2 + b x + c through three points, by LU decomposition. Returns 0,
// or 1 (coefficients untouched) when the system is singular.
int FitParabola(const double x[3], const double y[3], double& a, double& b, double& c);
