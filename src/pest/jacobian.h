// The finite-difference Jacobian of the Levenberg-Marquardt family and the rules behind it:
// which columns are due (full update or the cyclic secant selection), how a parameter is
// perturbed for forward and three-point differences, and how many runs a Jacobian takes.
// Called by the engine for every Jacobian it needs; the runs go through the model runner.
#pragma once

#include "pest/model_run.h"
#include "pest/model_runner.h"
#include "pest/parameters.h"

// Entries of a fresh secant selection list that no parameter has filled.
constexpr int kUnfilledSelection = -999;

// Differencing of one column, chosen by the group's FORCEN and the switch flag.
enum class Differencing { kNone, kForward, kThreePoint };

Differencing DifferencingFor(const ParameterGroup& group, int switch_flag);

// Every column is computed: plain LM, the first iteration, or phi fell too slowly.
bool FullUpdateDue(const ProblemRecord& record, int iteration);
// Only the cyclically selected columns are computed.
bool SecantSelectionDue(const ProblemRecord& record, int iteration);
// The list of SLMNCOL parameter indices taken cyclically after cyclic_position, entries not
// filled left at kUnfilledSelection; cyclic_position becomes the last one taken. Without
// adjustable parameters nothing is taken and the position is kept.
ivector SelectSecantColumns(const ProblemRecord& record, int& cyclic_position);

// First perturbed value of a forward difference.
double ForwardPerturbation(const Parameter& parameter);
// First and second perturbed values of a three-point difference.
void ThreePointPerturbation(const Parameter& parameter, double& x1, double& x2);

// Fills the due columns of the Jacobian (rows 1..NOBS, one column per entry of adjustable)
// by forward or three-point differences, with every model run made by the runner: the runs
// of one call go to it as one batch. switch_flag is 1 once the engine has switched to
// three-point derivatives; iteration counts from 1; cyclic_position is the last parameter
// refreshed by the secant scheme and is updated here. The base slot must hold the outputs of
// a run at the current values. Returns 0, 1 when a group asks for "best_fit", or the status
// of a failed run.
short CalculateJacobian(ModelRunner& runner, const ivector& adjustable, matrix& jacobian,
                        int switch_flag, int iteration, int& cyclic_position);

// The number of model runs CalculateJacobian makes for this iteration: all adjustable
// parameters under a full update, else the entries of selection (repeats counted).
int CountJacobianRuns(const ProblemRecord& record, int switch_flag, const ivector& selection,
                      int iteration);

// Coefficients of y = a x^2 + b x + c through three points, by LU decomposition. Returns 0,
// or 1 (coefficients untouched) when the system is singular.
int FitParabola(const double x[3], const double y[3], double& a, double& b, double& c);
