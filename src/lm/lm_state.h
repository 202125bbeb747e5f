// The state of one Levenberg-Marquardt local search, kept across its iterations: phi and its
// history, the best point, the Jacobians, the weights and prior factors, and the arrays of
// the lambda trials. PrepareLocalSearch makes a fresh one for every search, so that nothing
// of one search reaches the next; the restart file saves and restores it.
#pragma once

#include <vector>

#include "numeric/numeric.h"
#include "pest/output_names.h"
#include "pest/problem.h"
#include "pest/restart_file.h"

// Observations and prior items of every observation group, in record order, so that phi by
// group is one pass over each group's members. A name shared by two groups puts the member
// in both, as a comparison of every item with every group would.
struct GroupMembers {
  std::vector<std::vector<int>> observations;  // [g] for g = 1..NOBSGP
  std::vector<std::vector<int>> priors;        // [g] for g = 1..NOBSGP
};
GroupMembers FindGroupMembers(const ProblemRecord& record);

// J'QJ of a Jacobian with a diagonal weight matrix, formed by weighting rows and kept until
// the Jacobian changes (its version grows): the lambda trials of an iteration share it.
class NormalMatrix {
 public:
  const matrix& Of(const matrix& jacobian, const dvector& weights, long version);

 private:
  matrix normal_;
  long version_ = -1;
};

struct LmState {
  int n = 0;                   // iteration number: 0 before the initial run, then 1, 2, ...
  double phi = 0.0;            // phi of the current parameters
  double starting_phi = 0.0;   // phi at the start of the current iteration
  double lowest_phi = 0.0;
  int best_iteration = 0;      // iteration number - 1 when the lowest phi was recorded
  int small_change_count = 0;  // successive iterations with a change below RELPARSTP
  double largest_change = 0.0;
  double last_change = 0.0;
  int switch_flag = 0;          // 1 = "switch" groups use three-point derivatives
  bool switch_eligible = false;  // some adjustable parameter is in a "switch" group
  long model_calls = 0;
  double command_seconds = 0.0;  // wall time in post-run commands (benchmarks leave it out)
  int cyclic_position = 0;  // last parameter whose column the secant scheme refreshed
  int all_at_limits = 0;    // every adjustable parameter frozen or without effect

  dvector history;          // 1..NOPTMAX + 1: phi at the start of iteration k
  dvector best_parameters;  // 1..NPAR, stored values at the lowest phi
  dvector best_simulated;   // 1..NOBS, simulated values at the lowest phi
  dvector start_values;     // 1..NUMADJ, adjustable values at the start of the iteration
  dvector upgrade;          // 1..NUMADJ, the upgrade vector of the current trial
  ivector adjustable;       // 1..NUMADJ, indices of the adjustable parameters

  matrix jacobian;          // (NOBS + NPRIOR) x NUMADJ
  matrix best_jacobian;     // the Jacobian when the lowest phi was recorded
  long jacobian_version = 0;  // grows whenever the Jacobian changes
  NormalMatrix normal;        // J'QJ, formed once per version of the Jacobian
  dvector weights;          // 1..NOBS + NPRIOR: WEIGHT^2, the diagonal of the weight matrix
  matrix prior_matrix;      // NPRIOR x NUMADJ prior-information factors (empty without)
  GroupMembers members;

  dvector trial_phi;                  // 1..NUMLAM
  dvector trial_lambda;               // 1..NUMLAM
  std::vector<dvector> trial_upgrades;  // [1..NUMLAM], NUMADJ entries each
  matrix trial_simulated;             // NOBS x NUMLAM
  dvector best_trial_simulated;       // 1..NOBS
};

// A fresh search: the record's parameters take start_values (stored values of all NPAR
// parameters) and RLAMBDA1 takes lambda; the state is allocated and filled (adjustable list,
// prior rows of both Jacobians, weights), and the engine's fields of the record are cleared.
LmState PrepareLocalSearch(ProblemRecord& record, const dvector& start_values, double lambda);
// The stored values of all parameters, 1..NPAR.
dvector CurrentParameterValues(const ProblemRecord& record);

// The restart file of the case, written from the state and the record (see
// WriteRestartFile); the state's arrays are lent to the writer and given back unchanged.
short SaveEngineState(LmState& state, const ProblemRecord& record, const OutputNames& names);
// Reads the restart file into the state and the record (see ReadRestartFile). After a
// refused file the record is as it was; the state's arrays may hold what was read.
short RestoreEngineState(LmState& state, ProblemRecord& record, const OutputNames& names);
// Takes a restart record that ReadRestartFile read and checked for this record into the
// state and the record, as RestoreEngineState does after its read; the record's vectors and
// matrices move into the state.
void TakeEngineState(RestartRecord& restart, LmState& state, ProblemRecord& record);
