// The secant (SLM) correction of the Jacobian: after each lambda trial from the second
// iteration on, Broyden's rank-one update makes the Jacobian reproduce the change the
// trial's model run observed along the step taken. Called by the engine.
#pragma once

#include "numeric/numeric.h"
#include "pest/problem.h"

// Whether the trials of iteration n update the Jacobian: secant mode from the second
// iteration on, unless phi fell so slowly that this iteration made a full update.
bool BroydenUpdateDue(const ProblemRecord& record, int n);

// J := J + y s' / (s's), with s the step of the adjustable parameters from the start of the
// iteration (their previous values) and y the observed change (first perturbed slot minus
// base slot; prior rows: the change of the prior values) minus J s. Returns false, leaving
// J as it was, when the step is zero: the update would divide by zero.
bool BroydenUpdate(const ProblemRecord& record, const ivector& adjustable,
                   const matrix& prior_matrix, matrix& jacobian);
