// The restart file of the Levenberg-Marquardt family: at the end of every completed
// iteration the engine saves what it needs to resume a stopped run, and a run started with
// the restart word reads it back. Called through SaveEngineState and RestoreEngineState
// (lm/lm_state.h), which know what the items mean to the engine.
#pragma once

#include "numeric/numeric.h"
#include "pest/output_names.h"
#include "pest/problem.h"

// What the restart file holds, item by item in the order of the file. The sizes come from
// the problem the file belongs to: m = NOBS + NPRIOR rows and a = NUMADJ columns.
struct RestartRecord {
  int SLMMODE = 0;
  int SLMFULLUPD = 0;
  double SLMFULLRAT = 0.0;
  int SLMNCOL = 0;
  double PHIRATIO = 0.0;
  matrix jacobian;       // m x a
  matrix best_jacobian;  // m x a, the Jacobian at the lowest phi
  int n = 0;             // iteration number
  double phi = 0.0;
  double starting_phi = 0.0;
  dvector history;          // 1..n, phi at the start of each iteration
  dvector best_parameters;  // 1..NPAR, stored values at the lowest phi
  dvector best_simulated;   // 1..NOBS, simulated values at the lowest phi
  double lowest_phi = 0.0;
  int best_iteration = 0;
  int switch_flag = 0;
  dvector base_simulated;       // 1..NOBS, simulated values of the base run
  dvector perturbed_simulated;  // 1..NOBS, simulated values of the first perturbed run
  dvector parameter_values;     // 1..NPAR, stored values
  dvector group_phi;            // 1..NOBSGP, phi contribution of each observation group
  double RLAMBDA1 = 0.0;
  double largest_change = 0.0;  // largest relative parameter change
  int small_change_count = 0;
  double last_change = 0.0;  // last relative parameter change
  dvector start_values;      // 1..a, adjustable values at the start of the iteration
  long model_calls = 0;
  int cyclic_position = 0;
};

// Writes restart under names.rst. Vectors and matrices may be larger than the problem
// (history needs n entries); the file is written beside the old one and renamed over it, so
// a failure never leaves a partial file. Returns 0, or 1 after a reported failure (also for
// a record smaller than the problem).
short WriteRestartFile(const RestartRecord& restart, const ProblemRecord& record,
                       const OutputNames& names);

// Reads names.rst into restart, every vector and matrix made to the sizes of record;
// PHIRATIO becomes phi / starting phi. The file must belong to the problem and the run of
// record: its settings (SLMMODE, SLMFULLUPD, SLMFULLRAT, SLMNCOL) are those of the control
// file, every item stands on a line of its own and every Jacobian row holds NUMADJ values
// on one line, and nothing follows the last item. Returns 0, or 1 after one line naming the
// file and the item: a file that cannot be opened (followed by the lines saying that the
// previous run was probably not halted), a directory or device under the name, a file that
// ends early, an item out of place, longer than 400 characters or with a bad value (NaN
// anywhere; an infinity anywhere but PHIRATIO and the largest and last relative parameter
// changes; an iteration number below 2; a count the engine never writes).
short ReadRestartFile(RestartRecord& restart, const ProblemRecord& record,
                      const OutputNames& names);
