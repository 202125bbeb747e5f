#include "lm/secant_update.h"

bool BroydenUpdateDue(const ProblemRecord& record, int n) {
  if (n < 2 || record.SLMMODE != 1) return false;
  return record.SLMFULLUPD == 0 ||
         (record.SLMFULLUPD == 1 && record.SLMFULLRAT > record.PHIRATIO);
}

bool BroydenUpdate(const ProblemRecord& record, const ivector& adjustable,
                   const matrix& prior_matrix, matrix& jacobian) {
  const long cols = adjustable.size();
  const long rows = static_cast<long>(record.NOBS) + record.NPRIOR;
  dvector step(cols), now(cols), before(cols);
  double length_squared = 0.0;
  for (long j = 1; j <= cols; ++j) {
    const Parameter& parameter = record.parameters[adjustable[j]];
    now[j] = parameter.value;
    before[j] = parameter.previous_value;
    step[j] = now[j] - before[j];
    length_squared += step[j] * step[j];
  }
  if (length_squared == 0.0) return false;

  dvector prior_now(record.NPRIOR), prior_before(record.NPRIOR);
  if (record.NPRIOR > 0) {
    mat_vec_mult(prior_matrix, record.NPRIOR, cols, now, cols, prior_now);
    mat_vec_mult(prior_matrix, record.NPRIOR, cols, before, cols, prior_before);
  }
  for (long i = 1; i <= rows; ++i) {
    double* row = jacobian[i];
    double predicted = 0.0;
    for (long j = 1; j <= cols; ++j) predicted += row[j] * step[j];
    double observed;
    if (i <= record.NOBS) {
      const double* simulated = record.observations[i].simulated;
      observed = simulated[kFirstPerturbedSlot] - simulated[kBaseSlot];
    } else {
      observed = prior_now[i - record.NOBS] - prior_before[i - record.NOBS];
    }
    const double correction = (observed - predicted) / length_squared;
    for (long j = 1; j <= cols; ++j) row[j] += correction * step[j];
  }
  return true;
}
