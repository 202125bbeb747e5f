// The upgrade vector of a lambda trial: the Marquardt-damped normal equations in scaled form
// solved by Cholesky factorisation, the optimum step length along the result, and the move
// of the parameters within their bounds, freezing those a bound holds and solving again for
// the others. No output: what happened is returned as notes for the engine to report.
#pragma once

#include <vector>

#include "lm/lm_state.h"
#include "numeric/numeric.h"
#include "pest/problem.h"

// What the solves read: the Jacobian, the prior factors, WEIGHT^2 per row and the adjustable
// list, with the normal matrix formed once per Jacobian version.
struct MarquardtSystem {
  const matrix& jacobian;      // (NOBS + NPRIOR) x NUMADJ
  const matrix& prior_matrix;  // NPRIOR x NUMADJ
  const dvector& weights;      // 1..NOBS + NPRIOR
  const ivector& adjustable;   // 1..NUMADJ
  NormalMatrix& normal;
  long jacobian_version;
};
MarquardtSystem SystemOf(LmState& state);

// Something the upgrade routines did that the user should hear of.
struct UpgradeNote {
  enum Kind {
    kFrozenGradientAndUpdate,  // frozen: gradient and update vectors out of bounds
    kFrozenUpdate,             // frozen: update vectors out of bounds
    kNoWeightedSensitivity,    // a column without weighted sensitivity, left out
    kStepLengthUndefined,      // J u is 0: the step was not scaled
  };
  Kind kind;
  int parameter;  // index 1..NPAR (0 for kStepLengthUndefined)
};
using UpgradeNotes = std::vector<UpgradeNote>;

// J'Q r for every adjustable column, r being OBSVAL - base slot for observations and
// PIVAL - prior_values for prior items.
dvector WeightedGradient(const MarquardtSystem& system, const ProblemRecord& record,
                         const dvector& prior_values);

// The Marquardt step for the columns listed (1..NUMADJ, ascending) at lambda RLAMBDA1:
// u (one entry per listed column) solves (N + lambda min N_jj I) u = J'Q r in its scaled
// form. A listed column whose N_jj is not positive and finite cannot be solved for: its
// parameter is marked without effect, noted, and dropped from columns.
void ComputeReducedUpgradeVector(const MarquardtSystem& system, std::vector<int>& columns,
                                 const dvector& prior_values, ProblemRecord& record,
                                 dvector& u, UpgradeNotes& notes);
// The same over every adjustable column with the prior values of the current parameters;
// u has NUMADJ entries (0 for a column dropped as above).
void ComputeUpgradeVector(const MarquardtSystem& system, ProblemRecord& record, dvector& u,
                          UpgradeNotes& notes);
// Multiplies u (one entry per listed column; all columns for a full upgrade vector) by the
// optimum step factor; when J u is 0 the factor is undefined and u is left as it is (noted).
void ScaleUpgradeVector(const MarquardtSystem& system, const std::vector<int>& columns,
                        const dvector& prior_values, const ProblemRecord& record, dvector& u,
                        UpgradeNotes& notes);

// At the start of an iteration: clears the frozen and no-effect marks and counts, puts every
// value within 1e-8 of a bound onto it, and flags the values on (or beyond) a bound.
void StartIterationOnBounds(ProblemRecord& record);

// Moves the adjustable parameters by u within their bounds (u comes back as applied),
// freezing parameters a bound holds and solving again for the rest, then re-ties the tied
// parameters. Updates the flags and the frozen count of the record.
void ApplyUpgradeWithBounds(const MarquardtSystem& system, ProblemRecord& record, dvector& u,
                            UpgradeNotes& notes);
