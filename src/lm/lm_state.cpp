#include "lm/lm_state.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <unordered_map>
#include <utility>

#include "pest/jacobian.h"
#include "pest/parameters.h"
#include "pest/restart_file.h"

namespace {

// Some adjustable parameter belongs to a group whose FORCEN is exactly "switch".
bool SwitchEligible(const ProblemRecord& record) {
  for (int k = 1; k <= record.NPAR; ++k) {
    const Parameter& parameter = record.parameters[k];
    if (!IsAdjustableParameter(parameter)) continue;
    const int group = FindParameterGroup(record, parameter.PARGP);
    if (group != 0 && std::strcmp(record.groups[group].FORCEN, "switch") == 0) return true;
  }
  return false;
}

// Column (1..NUMADJ) of the adjustable parameter with this exact name, or 0.
int AdjustableColumn(const ProblemRecord& record, const ivector& adjustable, const char* name) {
  for (long j = 1; j <= adjustable.size(); ++j) {
    if (std::strcmp(record.parameters[adjustable[j]].PARNME, name) == 0) {
      return static_cast<int>(j);
    }
  }
  return 0;
}

// The prior rows of both Jacobians and the prior matrix hold the terms' factors; a term that
// names no adjustable parameter contributes nothing.
void FillPriorRows(const ProblemRecord& record, LmState& state) {
  for (int k = 1; k <= record.NPRIOR; ++k) {
    const PriorItem& item = record.priors[k];
    const int terms = std::min(item.num_terms, kMaxPriorTerms);
    for (int t = 1; t <= terms; ++t) {
      const int column = AdjustableColumn(record, state.adjustable, item.term_names[t]);
      if (column == 0) continue;
      state.jacobian[record.NOBS + k][column] = item.factors[t];
      state.best_jacobian[record.NOBS + k][column] = item.factors[t];
      state.prior_matrix[k][column] = item.factors[t];
    }
  }
}

}  // namespace

const matrix& NormalMatrix::Of(const matrix& jacobian, const dvector& weights, long version) {
  const long rows = jacobian.row_high();
  const long cols = jacobian.col_high();
  if (version_ == version && normal_.row_high() == cols) return normal_;
  normal_ = matrix(1, cols, 1, cols);
  // Row by row: every element sums its products in increasing row order, as the product
  // J' (Q J) does; the upper triangle is formed and mirrored.
  std::vector<double> weighted(static_cast<size_t>(cols) + 1);
  for (long i = 1; i <= rows; ++i) {
    const double* row = jacobian[i];
    for (long j = 1; j <= cols; ++j) weighted[j] = row[j] * weights[i];
    for (long j = 1; j <= cols; ++j) {
      double* out = normal_[j];
      const double a = weighted[j];
      for (long l = j; l <= cols; ++l) out[l] += a * row[l];
    }
  }
  for (long j = 1; j <= cols; ++j) {
    for (long l = j + 1; l <= cols; ++l) normal_[l][j] = normal_[j][l];
  }
  version_ = version;
  return normal_;
}

GroupMembers FindGroupMembers(const ProblemRecord& record) {
  GroupMembers members;
  const int groups = record.NOBSGP;
  members.observations.assign(static_cast<size_t>(groups) + 1, {});
  members.priors.assign(static_cast<size_t>(groups) + 1, {});
  std::unordered_map<std::string, std::vector<int>> groups_named;
  for (int g = 1; g <= groups; ++g) {
    groups_named[record.observation_groups[g].OBGNME].push_back(g);
  }
  for (int i = 1; i <= record.NOBS; ++i) {
    const auto found = groups_named.find(record.observations[i].OBGNME);
    if (found == groups_named.end()) continue;
    for (int g : found->second) members.observations[g].push_back(i);
  }
  for (int k = 1; k <= record.NPRIOR; ++k) {
    const auto found = groups_named.find(record.priors[k].OBGNME);
    if (found == groups_named.end()) continue;
    for (int g : found->second) members.priors[g].push_back(k);
  }
  return members;
}

dvector CurrentParameterValues(const ProblemRecord& record) {
  dvector values(record.NPAR);
  for (int k = 1; k <= record.NPAR; ++k) values[k] = record.parameters[k].value;
  return values;
}

LmState PrepareLocalSearch(ProblemRecord& record, const dvector& start_values, double lambda) {
  for (int k = 1; k <= record.NPAR && k <= start_values.size(); ++k) {
    record.parameters[k].value = start_values[k];
  }
  record.RLAMBDA1 = lambda;
  record.PHIRATIO = 0.0;
  record.frozen_count = 0;
  record.no_effect_count = 0;

  LmState state;
  const long m = static_cast<long>(record.NOBS) + record.NPRIOR;
  const int trials = std::max(record.NUMLAM, 1);
  state.adjustable = AdjustableList(record);
  const long a = state.adjustable.size();
  state.history = dvector(std::max(record.NOPTMAX, 0) + 1L);
  state.best_parameters = CurrentParameterValues(record);
  state.best_simulated = dvector(record.NOBS);
  state.start_values = dvector(a);
  state.upgrade = dvector(a);
  state.jacobian = matrix(1, m, 1, a);
  state.best_jacobian = matrix(1, m, 1, a);
  state.weights = dvector(m);
  state.prior_matrix = record.NPRIOR > 0 ? matrix(1, record.NPRIOR, 1, a) : matrix();
  state.members = FindGroupMembers(record);
  state.trial_phi = dvector(trials);
  state.trial_lambda = dvector(trials);
  state.trial_upgrades.assign(static_cast<size_t>(trials) + 1, dvector(a));
  state.trial_simulated = matrix(1, record.NOBS, 1, trials);
  state.best_trial_simulated = dvector(record.NOBS);

  state.switch_eligible = SwitchEligible(record);
  for (int k = 1; k <= record.NPAR; ++k) {
    Parameter& parameter = record.parameters[k];
    parameter.at_upper = parameter.at_lower = 0;
    parameter.frozen = parameter.no_effect = 0;
    parameter.sensitivity = 0.0;
  }
  FillPriorRows(record, state);
  for (int i = 1; i <= record.NOBS; ++i) {
    state.weights[i] = record.observations[i].WEIGHT * record.observations[i].WEIGHT;
  }
  for (int k = 1; k <= record.NPRIOR; ++k) {
    state.weights[record.NOBS + k] = record.priors[k].WEIGHT * record.priors[k].WEIGHT;
  }
  return state;
}

namespace {

// What the restart file holds of the state and the record. The state's Jacobians and vectors,
// by far the largest items, are lent to the restart record rather than copied; GiveBack
// returns them.
RestartRecord LendToRestartRecord(LmState& state, const ProblemRecord& record) {
  RestartRecord r;
  r.SLMMODE = record.SLMMODE;
  r.SLMFULLUPD = record.SLMFULLUPD;
  r.SLMFULLRAT = record.SLMFULLRAT;
  r.SLMNCOL = record.SLMNCOL;
  r.PHIRATIO = record.PHIRATIO;
  r.jacobian = std::move(state.jacobian);
  r.best_jacobian = std::move(state.best_jacobian);
  r.n = state.n;
  r.phi = state.phi;
  r.starting_phi = state.starting_phi;
  r.history = std::move(state.history);
  r.best_parameters = std::move(state.best_parameters);
  r.best_simulated = std::move(state.best_simulated);
  r.lowest_phi = state.lowest_phi;
  r.best_iteration = state.best_iteration;
  r.switch_flag = state.switch_flag;
  r.base_simulated = dvector(record.NOBS);
  r.perturbed_simulated = dvector(record.NOBS);
  for (int i = 1; i <= record.NOBS; ++i) {
    r.base_simulated[i] = record.observations[i].simulated[kBaseSlot];
    r.perturbed_simulated[i] = record.observations[i].simulated[kFirstPerturbedSlot];
  }
  r.parameter_values = CurrentParameterValues(record);
  r.group_phi = dvector(record.NOBSGP);
  for (int g = 1; g <= record.NOBSGP; ++g) r.group_phi[g] = record.observation_groups[g].phi;
  r.RLAMBDA1 = record.RLAMBDA1;
  r.largest_change = state.largest_change;
  r.small_change_count = state.small_change_count;
  r.last_change = state.last_change;
  r.start_values = std::move(state.start_values);
  r.model_calls = state.model_calls;
  r.cyclic_position = state.cyclic_position;
  return r;
}

void GiveBack(RestartRecord& r, LmState& state) {
  state.jacobian = std::move(r.jacobian);
  state.best_jacobian = std::move(r.best_jacobian);
  state.history = std::move(r.history);
  state.best_parameters = std::move(r.best_parameters);
  state.best_simulated = std::move(r.best_simulated);
  state.start_values = std::move(r.start_values);
}

// Takes the scalars of a restart record that was read into the state, and the settings,
// PHIRATIO, the simulated and parameter values, the group phis and RLAMBDA1 into the record.
void TakeRestoredItems(const RestartRecord& r, LmState& state, ProblemRecord& record) {
  record.SLMMODE = r.SLMMODE;
  record.SLMFULLUPD = r.SLMFULLUPD;
  record.SLMFULLRAT = r.SLMFULLRAT;
  record.SLMNCOL = r.SLMNCOL;
  record.PHIRATIO = r.PHIRATIO;
  state.n = r.n;
  state.phi = r.phi;
  state.starting_phi = r.starting_phi;
  state.lowest_phi = r.lowest_phi;
  state.best_iteration = r.best_iteration;
  state.switch_flag = r.switch_flag;
  for (int i = 1; i <= record.NOBS; ++i) {
    record.observations[i].simulated[kBaseSlot] = r.base_simulated[i];
    record.observations[i].simulated[kFirstPerturbedSlot] = r.perturbed_simulated[i];
  }
  for (int k = 1; k <= record.NPAR; ++k) record.parameters[k].value = r.parameter_values[k];
  for (int g = 1; g <= record.NOBSGP; ++g) record.observation_groups[g].phi = r.group_phi[g];
  record.RLAMBDA1 = r.RLAMBDA1;
  state.largest_change = r.largest_change;
  state.small_change_count = r.small_change_count;
  state.last_change = r.last_change;
  state.model_calls = r.model_calls;
  state.cyclic_position = r.cyclic_position;
}

}  // namespace

short SaveEngineState(LmState& state, const ProblemRecord& record, const OutputNames& names) {
  RestartRecord restart = LendToRestartRecord(state, record);
  const short status = WriteRestartFile(restart, record, names);
  GiveBack(restart, state);
  return status;
}

void TakeEngineState(RestartRecord& restart, LmState& state, ProblemRecord& record) {
  GiveBack(restart, state);
  ++state.jacobian_version;
  TakeRestoredItems(restart, state, record);
  // The history receives one entry per iteration still to come.
  const long needed = std::max<long>(state.n, std::max(record.NOPTMAX, 0) + 1L);
  if (state.history.size() < needed) {
    dvector longer(needed);
    for (long k = 1; k <= state.history.size(); ++k) longer[k] = state.history[k];
    state.history = longer;
  }
}

short RestoreEngineState(LmState& state, ProblemRecord& record, const OutputNames& names) {
  // The state's storage is lent to the reader, which keeps what fits the problem.
  RestartRecord restart = LendToRestartRecord(state, record);
  const short status = ReadRestartFile(restart, record, names);
  if (status != 0) {
    GiveBack(restart, state);
    ++state.jacobian_version;
    return status;
  }
  TakeEngineState(restart, state, record);
  return 0;
}
