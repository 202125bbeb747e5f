// The objective function of a Levenberg-Marquardt search: phi of the observations by group
// and phi of the prior information, each group's contribution kept in the record for the
// reports. Called after every model run of the engine.
#pragma once

#include "lm/lm_state.h"
#include "numeric/numeric.h"
#include "pest/problem.h"

// Resets every group's contribution and adds ((OBSVAL - simulated) x WEIGHT)^2 of each
// member observation, the simulated value taken from slot (0 or 1; any other slot adds
// nothing). Returns the sum of the contributions.
double ObservationPhi(ProblemRecord& record, const GroupMembers& members, int slot);
double ObservationPhi(ProblemRecord& record, int slot);

// The prior-information values X p at the adjustable parameters' stored values, 1..NPRIOR.
dvector PriorValues(const ProblemRecord& record, const matrix& prior_matrix,
                    const ivector& adjustable);

// Adds ((PIVAL - X p) x WEIGHT)^2 of each member prior item to its group's contribution,
// without resetting it, and returns the sum of what was added.
double PriorPhi(ProblemRecord& record, const GroupMembers& members, const matrix& prior_matrix,
                const ivector& adjustable);

// Observation phi from slot plus, when there is prior information, its phi.
double TotalPhi(ProblemRecord& record, const LmState& state, int slot);
