// The rules behind CalculateJacobian: which columns are due (full update or the cyclic
// secant selection), how a parameter is perturbed for forward and three-point differences,
// and the group lookup. Used by jacobian.cpp and by its tests.
#pragma once

#include "pest/model_run.h"
#include "pest/parameters.h"

// Entries of a fresh secant selection list that no parameter has filled.
constexpr int kUnfilledSelection = -999;

// Differencing of one column, chosen by the group's FORCEN and the switch flag.
enum class Differencing { kNone, kForward, kThreePoint };

// Index (1..NPARGP) of the first group named name, or 0 when none is.
int FindParameterGroup(const ProblemRecord& record, const char* name);
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
