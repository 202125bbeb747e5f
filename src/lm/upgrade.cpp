#include "lm/upgrade.h"

#include <cmath>

#include "lm/phi.h"
#include "numeric/decompositions.h"
#include "pest/parameters.h"

namespace {

// A value this close to a bound counts as sitting on it.
constexpr double kOnBound = 1e-8;

// Columns (1..NUMADJ) of the adjustable parameters that are neither frozen nor without effect;
// with frozen_too false only the no-effect ones are left out.
std::vector<int> FreeColumns(const MarquardtSystem& system, const ProblemRecord& record,
                             bool frozen_too) {
  std::vector<int> columns;
  for (long j = 1; j <= system.adjustable.size(); ++j) {
    const Parameter& parameter = record.parameters[system.adjustable[j]];
    if (parameter.no_effect == 1 || (frozen_too && parameter.frozen == 1)) continue;
    columns.push_back(static_cast<int>(j));
  }
  return columns;
}

void MarkWithoutEffect(ProblemRecord& record, int k, UpgradeNotes& notes) {
  Parameter& parameter = record.parameters[k];
  if (parameter.no_effect == 1) return;
  parameter.no_effect = 1;
  ++record.no_effect_count;
  notes.push_back({UpgradeNote::kNoWeightedSensitivity, k});
}

// The full upgrade vector: reduced entries in their columns, 0 elsewhere.
void Spread(const std::vector<int>& columns, const dvector& reduced, dvector& u) {
  for (long j = 1; j <= u.size(); ++j) u[j] = 0.0;
  for (size_t c = 0; c < columns.size(); ++c) u[columns[c]] = reduced[static_cast<long>(c) + 1];
}

// Solves and scales for the columns, which may lose columns without weighted sensitivity.
dvector SolveAndScale(const MarquardtSystem& system, std::vector<int>& columns,
                      const dvector& prior_values, ProblemRecord& record, UpgradeNotes& notes) {
  dvector reduced;
  ComputeReducedUpgradeVector(system, columns, prior_values, record, reduced, notes);
  ScaleUpgradeVector(system, columns, prior_values, record, reduced, notes);
  return reduced;
}

// The bound moves of one parameter, with the gradient formed only when a parameter already
// on a bound is pushed out of it.
class BoundMover {
 public:
  BoundMover(const MarquardtSystem& system, ProblemRecord& record, const dvector& prior_values,
             UpgradeNotes& notes)
      : system_(system), record_(record), prior_values_(prior_values), notes_(notes) {}

  double Gradient(long j) {
    if (gradient_.size() == 0) {
      gradient_ = WeightedGradient(system_, record_, prior_values_);
      for (long i = 1; i <= gradient_.size(); ++i) gradient_[i] *= 2.0;
    }
    return gradient_[j];
  }

  // Clears the bound flags the parameter has left, then stops a parameter that crosses a
  // bound from inside exactly on it, shortening its step.
  static void Cross(Parameter& p, double& step) {
    if (p.PARUBND > p.value) p.at_upper = 0;
    if (p.value > p.PARLBND) p.at_lower = 0;
    if (p.value > p.PARUBND && p.at_upper == 0) {
      step -= p.value - p.PARUBND;
      p.value = p.PARUBND;
      p.at_upper = 1;
    }
    if (p.value < p.PARLBND && p.at_lower == 0) {
      step += p.PARLBND - p.value;
      p.value = p.PARLBND;
      p.at_lower = 1;
    }
  }

  // First pass: a parameter that sat on a bound and is pushed out tries the gradient step;
  // when that points out too it is frozen on the bound, otherwise its step stands for now.
  void PushedOutFirstPass(long j, double step) {
    const int k = system_.adjustable[j];
    Parameter& p = record_.parameters[k];
    if (p.value > p.PARUBND && p.at_upper == 1) {
      p.value = p.value - step + Gradient(j);
      if (p.value > p.PARUBND) {
        p.value = p.PARUBND;
        Freeze(k, UpgradeNote::kFrozenGradientAndUpdate);
      } else {
        p.value = p.value - Gradient(j) + step;
      }
    }
    if (p.value < p.PARLBND && p.at_lower == 1) {
      p.value = p.value - step + Gradient(j);
      if (p.value < p.PARLBND) {
        p.value = p.PARLBND;
        Freeze(k, UpgradeNote::kFrozenGradientAndUpdate);
      } else {
        p.value = p.value - Gradient(j) + step;
      }
    }
  }

  // Re-solve pass: a parameter on a bound that is pushed out is frozen there whatever the
  // gradient says; the message tells whether the gradient pointed out as well. Returns
  // whether it froze the parameter.
  bool PushedOutResolve(long j, double& step) {
    const int k = system_.adjustable[j];
    Parameter& p = record_.parameters[k];
    bool froze = false;
    if (p.value > p.PARUBND && p.at_upper == 1) {
      p.value = p.value - step + Gradient(j);
      const bool gradient_out = p.value > p.PARUBND;
      step = 0.0;
      p.value = p.PARUBND;
      froze |= Freeze(k, gradient_out ? UpgradeNote::kFrozenGradientAndUpdate
                                      : UpgradeNote::kFrozenUpdate);
    }
    if (p.value < p.PARLBND && p.at_lower == 1) {
      p.value = p.value - step + Gradient(j);
      const bool gradient_out = p.value < p.PARLBND;
      step = 0.0;
      p.value = p.PARLBND;
      froze |= Freeze(k, gradient_out ? UpgradeNote::kFrozenGradientAndUpdate
                                      : UpgradeNote::kFrozenUpdate);
    }
    return froze;
  }

  bool Freeze(int k, UpgradeNote::Kind why) {
    Parameter& p = record_.parameters[k];
    if (p.frozen == 1) return false;
    p.frozen = 1;
    ++record_.frozen_count;
    notes_.push_back({why, k});
    return true;
  }

 private:
  const MarquardtSystem& system_;
  ProblemRecord& record_;
  const dvector& prior_values_;
  UpgradeNotes& notes_;
  dvector gradient_;
};

}  // namespace

MarquardtSystem SystemOf(LmState& state) {
  return {state.jacobian, state.prior_matrix, state.weights, state.adjustable, state.normal,
          state.jacobian_version};
}

dvector WeightedGradient(const MarquardtSystem& system, const ProblemRecord& record,
                         const dvector& prior_values) {
  const long cols = system.adjustable.size();
  dvector gradient(cols);
  const long rows = static_cast<long>(record.NOBS) + record.NPRIOR;
  for (long i = 1; i <= rows; ++i) {
    const double residual = i <= record.NOBS
                                ? record.observations[i].OBSVAL -
                                      record.observations[i].simulated[kBaseSlot]
                                : record.priors[i - record.NOBS].PIVAL -
                                      prior_values[i - record.NOBS];
    const double* row = system.jacobian[i];
    const double weight = system.weights[i];
    double* out = gradient.data();
    for (long j = 1; j <= cols; ++j) out[j] += row[j] * weight * residual;
  }
  return gradient;
}

void ComputeReducedUpgradeVector(const MarquardtSystem& system, std::vector<int>& columns,
                                 const dvector& prior_values, ProblemRecord& record,
                                 dvector& u, UpgradeNotes& notes) {
  const matrix& normal = system.normal.Of(system.jacobian, system.weights,
                                          system.jacobian_version);
  // A column whose diagonal is 0 (no weighted sensitivity) would make the scaling infinite.
  std::vector<int> usable;
  for (int c : columns) {
    const double diagonal = normal[c][c];
    if (diagonal > 0.0 && std::isfinite(diagonal)) {
      usable.push_back(c);
    } else {
      MarkWithoutEffect(record, system.adjustable[c], notes);
    }
  }
  columns = usable;
  const int k = static_cast<int>(columns.size());
  u = dvector(k);
  if (k == 0) return;

  dvector scale(k), scale_squared(k);
  for (int a = 1; a <= k; ++a) {
    scale_squared[a] = 1.0 / normal[columns[a - 1]][columns[a - 1]];
    scale[a] = std::sqrt(scale_squared[a]);
  }
  double largest = 0.0, damping = 0.0;
  for (int a = 1; a <= k; ++a) {
    if (scale_squared[a] > largest) {
      largest = scale_squared[a];
      damping = record.RLAMBDA1 / scale_squared[a];
    }
  }
  matrix system_matrix(1, k, 1, k);
  for (int a = 1; a <= k; ++a) {
    for (int b = 1; b <= k; ++b) {
      system_matrix[a][b] = scale[a] * normal[columns[a - 1]][columns[b - 1]] * scale[b];
    }
    system_matrix[a][a] += damping * scale_squared[a];
  }
  const dvector gradient = WeightedGradient(system, record, prior_values);
  dvector right(k);
  for (int a = 1; a <= k; ++a) right[a] = scale[a] * gradient[columns[a - 1]];
  dvector diagonal(k), x(k);
  choldc(system_matrix, k, diagonal);
  cholsl(system_matrix, k, diagonal, right, x);
  for (int a = 1; a <= k; ++a) u[a] = scale[a] * x[a];
}

void ComputeUpgradeVector(const MarquardtSystem& system, ProblemRecord& record, dvector& u,
                          UpgradeNotes& notes) {
  std::vector<int> columns = FreeColumns(system, record, false);
  const dvector prior_values = PriorValues(record, system.prior_matrix, system.adjustable);
  dvector reduced;
  ComputeReducedUpgradeVector(system, columns, prior_values, record, reduced, notes);
  u = dvector(system.adjustable.size());
  Spread(columns, reduced, u);
}

void ScaleUpgradeVector(const MarquardtSystem& system, const std::vector<int>& columns,
                        const dvector& prior_values, const ProblemRecord& record, dvector& u,
                        UpgradeNotes& notes) {
  const long rows = static_cast<long>(record.NOBS) + record.NPRIOR;
  // The step as a plain array over the columns it moves, read once per row.
  const size_t count = columns.size();
  std::vector<double> step(count);
  for (size_t c = 0; c < count; ++c) step[c] = u[static_cast<long>(c) + 1];
  double numerator = 0.0, denominator = 0.0;
  for (long i = 1; i <= rows; ++i) {
    const double* row = system.jacobian[i];
    double predicted = 0.0;
    for (size_t c = 0; c < count; ++c) predicted += row[columns[c]] * step[c];
    const double residual = i <= record.NOBS
                                ? record.observations[i].OBSVAL -
                                      record.observations[i].simulated[kBaseSlot]
                                : record.priors[i - record.NOBS].PIVAL -
                                      prior_values[i - record.NOBS];
    numerator += system.weights[i] * residual * predicted;
    denominator += system.weights[i] * predicted * predicted;
  }
  const double factor = numerator / denominator;
  if (denominator == 0.0 || !std::isfinite(factor)) {
    // J u is 0 (u itself is 0 unless lambda is 0): no length along it is better than another.
    notes.push_back({UpgradeNote::kStepLengthUndefined, 0});
    return;
  }
  for (long j = 1; j <= u.size(); ++j) u[j] *= factor;
}

void StartIterationOnBounds(ProblemRecord& record) {
  record.frozen_count = 0;
  record.no_effect_count = 0;
  for (int k = 1; k <= record.NPAR; ++k) {
    Parameter& p = record.parameters[k];
    p.no_effect = 0;
    if (std::fabs(p.value - p.PARUBND) < kOnBound) p.value = p.PARUBND;
    if (std::fabs(p.value - p.PARLBND) < kOnBound) p.value = p.PARLBND;
    p.at_upper = p.value >= p.PARUBND;
    p.at_lower = p.PARLBND >= p.value;
    p.frozen = 0;
  }
}

void ApplyUpgradeWithBounds(const MarquardtSystem& system, ProblemRecord& record, dvector& u,
                            UpgradeNotes& notes) {
  const ivector& adjustable = system.adjustable;
  const long count = adjustable.size();
  const dvector prior_values = PriorValues(record, system.prior_matrix, adjustable);
  BoundMover mover(system, record, prior_values, notes);

  if (record.no_effect_count >= 1) {
    std::vector<int> columns = FreeColumns(system, record, false);
    const dvector reduced = SolveAndScale(system, columns, prior_values, record, notes);
    Spread(columns, reduced, u);
  }

  for (long j = 1; j <= count; ++j) {
    Parameter& p = record.parameters[adjustable[j]];
    if (p.frozen == 1) continue;
    p.value += u[j];
    BoundMover::Cross(p, u[j]);
    mover.PushedOutFirstPass(j, u[j]);
  }

  if (record.frozen_count == 0) {
    for (long j = 1; j <= count; ++j) {
      Parameter& p = record.parameters[adjustable[j]];
      if (p.value > p.PARUBND && std::fabs(p.value - p.PARUBND) > kOnBound && p.at_upper == 1) {
        p.value = p.PARUBND;
        mover.Freeze(adjustable[j], UpgradeNote::kFrozenUpdate);
      }
      if (p.value < p.PARLBND && std::fabs(p.value - p.PARLBND) > kOnBound && p.at_lower == 1) {
        p.value = p.PARLBND;
        mover.Freeze(adjustable[j], UpgradeNote::kFrozenUpdate);
      }
    }
  }

  while (record.frozen_count > 0 && record.frozen_count + record.no_effect_count < count) {
    for (long j = 1; j <= count; ++j) {
      Parameter& p = record.parameters[adjustable[j]];
      if (p.frozen == 1 || p.no_effect == 1) continue;
      p.value -= u[j];
      p.at_upper = p.value >= p.PARUBND || std::fabs(p.value - p.PARUBND) < kOnBound;
      p.at_lower = p.value <= p.PARLBND || std::fabs(p.value - p.PARLBND) < kOnBound;
    }
    std::vector<int> columns = FreeColumns(system, record, true);
    const dvector reduced = SolveAndScale(system, columns, prior_values, record, notes);
    dvector steps(count);
    Spread(columns, reduced, steps);
    bool froze = false;
    for (long j = 1; j <= count; ++j) {
      Parameter& p = record.parameters[adjustable[j]];
      if (p.frozen == 1 || p.no_effect == 1) {
        u[j] = 0.0;
        continue;
      }
      double step = steps[j];
      p.value += step;
      BoundMover::Cross(p, step);
      froze |= mover.PushedOutResolve(j, step);
      u[j] = step;
    }
    if (!froze) break;
  }

  for (long j = 1; j <= count; ++j) {
    Parameter& p = record.parameters[adjustable[j]];
    if (p.frozen == 1) continue;
    if (p.at_lower == 1 && p.PARLBND > p.value) {
      p.value = p.PARLBND;
      u[j] = 0.0;
    }
    if (p.at_upper == 1 && p.PARUBND < p.value) {
      p.value = p.PARUBND;
      u[j] = 0.0;
    }
  }
  RecomputeTiedParameters(record);
}
