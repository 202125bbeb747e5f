#include "lm/phi.h"

double ObservationPhi(ProblemRecord& record, const GroupMembers& members, int slot) {
  double phi = 0.0;
  for (int g = 1; g <= record.NOBSGP; ++g) {
    double contribution = 0.0;
    if (slot == kBaseSlot || slot == kFirstPerturbedSlot) {
      for (int i : members.observations[g]) {
        const Observation& observation = record.observations[i];
        const double residual = (observation.OBSVAL - observation.simulated[slot]) *
                                observation.WEIGHT;
        contribution += residual * residual;
      }
    }
    record.observation_groups[g].phi = contribution;
    phi += contribution;
  }
  return phi;
}

double ObservationPhi(ProblemRecord& record, int slot) {
  return ObservationPhi(record, FindGroupMembers(record), slot);
}

dvector PriorValues(const ProblemRecord& record, const matrix& prior_matrix,
                    const ivector& adjustable) {
  dvector values(record.NPRIOR);
  if (record.NPRIOR <= 0) return values;
  dvector p(adjustable.size());
  for (long j = 1; j <= adjustable.size(); ++j) p[j] = record.parameters[adjustable[j]].value;
  mat_vec_mult(prior_matrix, record.NPRIOR, adjustable.size(), p, adjustable.size(), values);
  return values;
}

double PriorPhi(ProblemRecord& record, const GroupMembers& members, const matrix& prior_matrix,
                const ivector& adjustable) {
  const dvector computed = PriorValues(record, prior_matrix, adjustable);
  double phi = 0.0;
  for (int g = 1; g <= record.NOBSGP; ++g) {
    for (int k : members.priors[g]) {
      const PriorItem& item = record.priors[k];
      const double residual = (item.PIVAL - computed[k]) * item.WEIGHT;
      record.observation_groups[g].phi += residual * residual;
      phi += residual * residual;
    }
  }
  return phi;
}

double TotalPhi(ProblemRecord& record, const LmState& state, int slot) {
  double phi = ObservationPhi(record, state.members, slot);
  if (record.NPRIOR > 0) phi += PriorPhi(record, state.members, state.prior_matrix,
                                         state.adjustable);
  return phi;
}
