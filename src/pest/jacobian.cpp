// The finite-difference Jacobian of the Levenberg-Marquardt family: column choice, the
// perturbation rules, the model runs of each column and the difference formulas.
#include "pest/jacobian.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "pest/model_runner.h"
#include "pest/output_files.h"

namespace {

// A "log" parameter whose natural value is below this counts as zero.
constexpr double kLogZeroLimit = 1e-8;

bool Equals(const char* text, const char* word) { return std::strcmp(text, word) == 0; }

bool StoredValueIsZero(const Parameter& parameter) {
  if (IsLogParameter(parameter)) {
    return std::fabs(std::pow(10.0, parameter.value)) < kLogZeroLimit;
  }
  return parameter.value == 0.0;
}

// The value moved by percent % of its magnitude; for a "log" parameter the move is made on
// the natural value and the result is stored as its logarithm again.
double Shifted(const Parameter& parameter, double percent) {
  const double x = parameter.value;
  if (!IsLogParameter(parameter)) return x + std::fabs(x) * percent / 100.0;
  const double natural = std::pow(10.0, x);
  return std::log10(natural + std::fabs(natural) * percent / 100.0);
}

// Everything one CalculateJacobian call needs for its model runs.
struct JacobianRun {
  ModelRunner& runner;
  ProblemRecord& record;
  matrix& jacobian;
  long run_counter = 1;
};

// The progress line returns the cursor to its start, so that the next one overwrites it.
void PrintRunProgress(long run) {
  if (run <= 9) {
    std::printf("%ld runs completed.\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b", run);
  } else if (run <= 99) {
    std::printf("%ld runs completed.\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b", run);
  } else if (run <= 999) {
    std::printf("%ld runs completed.\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b", run);
  } else if (run <= 9999) {
    std::printf("%ld runs completed.\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b", run);
  }
  std::fflush(stdout);
}

// One Jacobian run: value file from the chosen perturbed values, the model, the progress
// line, the outputs into the chosen slot, and the stop file.
short PerturbedRun(JacobianRun& run, ValueChoice values, int slot) {
  return run.runner.Run(values, slot, RunKind::kSearch,
                        [&run] { PrintRunProgress(run.run_counter++); });
}

void SetColumn(JacobianRun& run, int column, double value) {
  for (int i = 1; i <= run.record.NOBS; ++i) run.jacobian[i][column] = value;
}

// Every parameter's perturbed values start at its value; parameter k takes x1 (and x2), and
// the parameters tied to k follow it by their ratio in natural units.
void SetPerturbedValues(ProblemRecord& record, int k, double x1, double x2, bool three_point) {
  for (int i = 1; i <= record.NPAR; ++i) {
    record.parameters[i].perturbed1 = record.parameters[i].value;
    if (three_point) record.parameters[i].perturbed2 = record.parameters[i].value;
  }
  Parameter& parent = record.parameters[k];
  parent.perturbed1 = x1;
  if (three_point) parent.perturbed2 = x2;
  if (record.NUMTIED <= 0) return;
  int children = 0;
  for (int i = 1; i <= record.NPAR && children < record.NUMTIED; ++i) {
    Parameter& child = record.parameters[i];
    if (!IsTiedParameter(child) || !Equals(child.PARTIED, parent.PARNME)) continue;
    child.perturbed1 = child.tie_ratio * NaturalValue(parent, x1);
    if (three_point) child.perturbed2 = child.tie_ratio * NaturalValue(parent, x2);
    ++children;
  }
}

// A perturbation that does not move the parameter (or moves both points to one place) would
// divide by zero; the column is set to 0 instead, and the user is told.
bool ReportDegeneratePerturbation(JacobianRun& run, int k, int column, bool degenerate) {
  if (!degenerate) return false;
  std::printf("\nParameter %s cannot be perturbed to distinct values within its bounds; "
              "its Jacobian column is set to 0.\n",
              run.record.parameters[k].PARNME);
  SetColumn(run, column, 0.0);
  return true;
}

short ForwardColumn(JacobianRun& run, int k, int column) {
  ProblemRecord& record = run.record;
  const double x = record.parameters[k].value;
  const double x1 = ForwardPerturbation(record.parameters[k]);
  SetPerturbedValues(record, k, x1, x1, false);
  if (ReportDegeneratePerturbation(run, k, column, !std::isfinite(x1) || x1 == x)) return 0;
  const short status = PerturbedRun(run, ValueChoice::kFirstPerturbed, kFirstPerturbedSlot);
  if (status != 0) return status;
  for (int i = 1; i <= record.NOBS; ++i) {
    const double* y = record.observations[i].simulated;
    run.jacobian[i][column] = (y[kFirstPerturbedSlot] - y[kBaseSlot]) / (x1 - x);
  }
  return 0;
}

void ParabolicDifferences(JacobianRun& run, int k, int column, double x1, double x2) {
  ProblemRecord& record = run.record;
  const double x = record.parameters[k].value;
  const double points[3] = {x2, x, x1};
  bool reported = false;
  for (int i = 1; i <= record.NOBS; ++i) {
    const double* y = record.observations[i].simulated;
    const double values[3] = {y[kSecondPerturbedSlot], y[kBaseSlot], y[kFirstPerturbedSlot]};
    double a = 0.0, b = 0.0, c = 0.0;
    if (FitParabola(points, values, a, b, c) != 0) {
      if (!reported) {
        std::printf("\nThe parabola through the three runs of parameter %s is singular; "
                    "its Jacobian entries are set to 0.\n",
                    record.parameters[k].PARNME);
      }
      reported = true;
      run.jacobian[i][column] = 0.0;
      continue;
    }
    run.jacobian[i][column] = 2.0 * a * x + b;
  }
}

void PrintBestFitRefusal() {
  std::printf("\n");
  std::printf("The toolbox does not support the 'best_fit' method\n");
  std::printf("of three point derivatives calculation.\n\n");
  std::printf("The toolbox does support the 'outside_pts' and\n");
  std::printf("'parabolic' methods of three point derivatives calculation.\n\n");
  std::printf("If you are using three point derivatives calculation,\n");
  std::printf("please alter DERMTHD in the control file accordingly.\n");
}

short ThreePointColumn(JacobianRun& run, int k, int column, const char* method) {
  const bool parabolic = Equals(method, "parabolic");
  if (!parabolic && !Equals(method, "outside_pts")) {
    if (!Equals(method, "best_fit")) return 0;
    PrintBestFitRefusal();
    return 1;
  }
  ProblemRecord& record = run.record;
  const double x = record.parameters[k].value;
  double x1 = 0.0, x2 = 0.0;
  ThreePointPerturbation(record.parameters[k], x1, x2);
  SetPerturbedValues(record, k, x1, x2, true);
  const bool degenerate = !std::isfinite(x1) || !std::isfinite(x2) || x1 == x2 ||
                          (parabolic && (x1 == x || x2 == x));
  if (ReportDegeneratePerturbation(run, k, column, degenerate)) return 0;
  short status = PerturbedRun(run, ValueChoice::kFirstPerturbed, kFirstPerturbedSlot);
  if (status == 0) status = PerturbedRun(run, ValueChoice::kSecondPerturbed, kSecondPerturbedSlot);
  if (status != 0) return status;
  if (parabolic) {
    ParabolicDifferences(run, k, column, x1, x2);
    return 0;
  }
  for (int i = 1; i <= record.NOBS; ++i) {
    const double* y = record.observations[i].simulated;
    run.jacobian[i][column] =
        (y[kFirstPerturbedSlot] - y[kSecondPerturbedSlot]) / (x1 - x2);
  }
  return 0;
}

// Column of parameter k: the forward or three-point difference its group asks for.
short ComputeColumn(JacobianRun& run, int k, int column, int switch_flag) {
  ProblemRecord& record = run.record;
  const Parameter& parameter = record.parameters[k];
  const int group = FindParameterGroup(record, parameter.PARGP);
  if (group == 0) {
    std::printf("\nParameter %s belongs to the group %s, which is not listed among the "
                "parameter groups; its Jacobian column is set to 0.\n",
                parameter.PARNME, parameter.PARGP);
    SetColumn(run, column, 0.0);
    return 0;
  }
  switch (DifferencingFor(record.groups[group], switch_flag)) {
    case Differencing::kForward:
      return ForwardColumn(run, k, column);
    case Differencing::kThreePoint:
      return ThreePointColumn(run, k, column, record.groups[group].DERMTHD);
    case Differencing::kNone:
      break;
  }
  return 0;
}

// column_of[k] is the Jacobian column of parameter k (0 for none). Returns false, after a
// message, when the list or the matrix does not fit the problem: the record must hold its
// counted parameters and observations, every adjustable parameter must be listed once, and
// the matrix must hold NOBS rows and one column per list entry.
bool MapColumns(const ProblemRecord& record, const ivector& adjustable, const matrix& jacobian,
                std::vector<int>& column_of) {
  column_of.assign(static_cast<size_t>(std::max(record.NPAR, 0)) + 1, 0);
  bool fits = record.NPAR >= 0 && record.NOBS >= 0 &&
              record.parameters.size() > static_cast<size_t>(record.NPAR) &&
              record.observations.size() > static_cast<size_t>(record.NOBS) &&
              jacobian.row_low() <= 1 && jacobian.row_high() >= record.NOBS &&
              (adjustable.size() == 0 ||
               (jacobian.col_low() <= 1 && jacobian.col_high() >= adjustable.size()));
  for (long j = 1; fits && j <= adjustable.size(); ++j) {
    const int k = adjustable[j];
    fits = k >= 1 && k <= record.NPAR && column_of[k] == 0 &&
           IsAdjustableParameter(record.parameters[k]);
    if (fits) column_of[k] = static_cast<int>(j);
  }
  for (int k = 1; fits && k <= record.NPAR; ++k) {
    fits = column_of[k] != 0 || !IsAdjustableParameter(record.parameters[k]);
  }
  if (!fits) {
    std::printf("\nThe Jacobian matrix or the list of adjustable parameters does not match "
                "the %d parameters and %d observations of the problem.\n",
                record.NPAR, record.NOBS);
  }
  return fits;
}

}  // namespace

Differencing DifferencingFor(const ParameterGroup& group, int switch_flag) {
  if (Equals(group.FORCEN, "always_2")) return Differencing::kForward;
  if (Equals(group.FORCEN, "always_3")) return Differencing::kThreePoint;
  if (Equals(group.FORCEN, "switch")) {
    return switch_flag == 1 ? Differencing::kThreePoint : Differencing::kForward;
  }
  return Differencing::kNone;
}

bool FullUpdateDue(const ProblemRecord& record, int iteration) {
  if (record.SLMMODE == 0) return true;
  if (record.SLMMODE != 1) return false;
  return iteration == 1 || (record.SLMFULLUPD == 1 && record.PHIRATIO > record.SLMFULLRAT);
}

bool SecantSelectionDue(const ProblemRecord& record, int iteration) {
  if (iteration <= 1 || record.SLMMODE != 1 || record.SLMNCOL <= 0) return false;
  if (record.SLMFULLUPD == 1) return record.SLMFULLRAT >= record.PHIRATIO;
  return record.SLMFULLUPD == 0;
}

ivector SelectSecantColumns(const ProblemRecord& record, int& cyclic_position) {
  if (record.SLMNCOL <= 0) return ivector();
  ivector selection(record.SLMNCOL);
  for (long i = 1; i <= selection.size(); ++i) selection[i] = kUnfilledSelection;
  // Compared before adding 1: a position read back from an edited restart file may be as
  // large as an int goes.
  int k = cyclic_position >= 0 && cyclic_position < record.NPAR ? cyclic_position + 1 : 1;
  int taken = 0;
  int since_last_taken = 0;  // a whole lap without a take means there is nothing to take
  while (taken < record.SLMNCOL && since_last_taken < record.NPAR) {
    if (IsAdjustableParameter(record.parameters[k])) {
      selection[++taken] = k;
      since_last_taken = 0;
    } else {
      ++since_last_taken;
    }
    k = k == record.NPAR ? 1 : k + 1;
  }
  if (taken > 0) cyclic_position = selection[taken];
  return selection;
}

double ForwardPerturbation(const Parameter& parameter) {
  const bool zero = StoredValueIsZero(parameter);
  const bool log = IsLogParameter(parameter);
  double x1;
  if (parameter.at_upper != 1) {
    x1 = zero ? (log ? std::log10(0.01) : 0.01) : Shifted(parameter, 1.0);
    if (x1 > parameter.PARUBND) x1 = Shifted(parameter, -1.0);
  } else {
    x1 = zero ? (log ? -std::log10(0.01) : -0.01) : Shifted(parameter, -1.0);
  }
  if (parameter.PARLBND > x1) x1 = parameter.PARLBND;
  return x1;
}

void ThreePointPerturbation(const Parameter& parameter, double& x1, double& x2) {
  const bool zero = StoredValueIsZero(parameter);
  const bool log = IsLogParameter(parameter);
  if (parameter.at_upper == 1) {
    x1 = zero ? (log ? 2.0 : -0.01) : Shifted(parameter, -1.0);
    x2 = zero ? (log ? -std::log10(0.02) : -0.02) : Shifted(parameter, -2.0);
    return;
  }
  if (parameter.at_lower == 1) {
    x1 = zero ? (log ? -2.0 : 0.01) : Shifted(parameter, 1.0);
    x2 = zero ? (log ? std::log10(0.02) : 0.02) : Shifted(parameter, 2.0);
    return;
  }
  x1 = zero ? (log ? -2.0 : 0.01) : Shifted(parameter, 1.0);
  x2 = zero ? (log ? 2.0 : -0.01) : Shifted(parameter, -1.0);
  if (x1 > parameter.PARUBND) {
    x1 = Shifted(parameter, -1.0);
    x2 = Shifted(parameter, -2.0);
  }
  if (parameter.PARLBND > x2) {
    x2 = Shifted(parameter, 1.0);
    x1 = Shifted(parameter, 2.0);
  }
}

int CountJacobianRuns(const ProblemRecord& record, int switch_flag, const ivector& selection,
                      int iteration) {
  auto runs_of = [&](int k) {
    const int group = FindParameterGroup(record, record.parameters[k].PARGP);
    if (group == 0) return 0;  // no runs: the column is set to 0
    const char* force = record.groups[group].FORCEN;
    if (Equals(force, "always_2")) return 1;
    if (Equals(force, "switch")) return switch_flag == 1 ? 2 : 1;
    return 2;
  };
  int runs = 0;
  if (FullUpdateDue(record, iteration)) {
    for (int k = 1; k <= record.NPAR; ++k) {
      const Parameter& parameter = record.parameters[k];
      if (!IsAdjustableParameter(parameter)) continue;
      if (record.NUMIW > 0 && parameter.iw_flag == 1) continue;
      runs += runs_of(k);
    }
    return runs;
  }
  for (long i = 1; i <= selection.size(); ++i) {
    const int k = selection[i];
    if (k >= 1 && k <= record.NPAR) runs += runs_of(k);
  }
  return runs;
}

int FitParabola(const double x[3], const double y[3], double& a, double& b, double& c) {
  for (int r = 0; r < 3; ++r) {
    if (!std::isfinite(x[r]) || x[r] == x[(r + 1) % 3]) return 1;
  }
  matrix system(1, 3, 1, 3);
  dvector coefficients(3);
  for (int r = 1; r <= 3; ++r) {
    system[r][1] = x[r - 1] * x[r - 1];
    system[r][2] = x[r - 1];
    system[r][3] = 1.0;
    coefficients[r] = y[r - 1];
  }
  ivector pivots(3);
  double sign = 0.0;
  int singular = 0;
  lu_decompose(system, 3, pivots, sign, singular);
  if (singular != 0) return 1;
  lu_solve(system, 3, pivots, coefficients);
  for (int r = 1; r <= 3; ++r) {
    if (!std::isfinite(coefficients[r])) return 1;
  }
  a = coefficients[1];
  b = coefficients[2];
  c = coefficients[3];
  return 0;
}

short CalculateJacobian(ModelRunner& runner, const ivector& adjustable, matrix& jacobian,
                        int switch_flag, int iteration, int& cyclic_position) {
  ProblemRecord& record = runner.record();
  std::vector<int> column_of;
  if (!MapColumns(record, adjustable, jacobian, column_of)) return 1;
  ivector selection;
  if (SecantSelectionDue(record, iteration)) {
    selection = SelectSecantColumns(record, cyclic_position);
  }
  if (iteration > 1 && record.SLMMODE == 1 && record.SLMFULLRAT >= record.PHIRATIO &&
      record.SLMNCOL == 0) {
    std::printf("Calculating Jacobian matrix: running model %ld times ...\n", 0L);
    std::printf("\n\n");
    return 0;
  }
  const long announced = CountJacobianRuns(record, switch_flag, selection, iteration);
  std::printf("Calculating Jacobian matrix: running model %ld times ...\n", announced);
  if (announced <= 0) return 0;

  const bool full_update = FullUpdateDue(record, iteration);
  std::vector<char> selected(static_cast<size_t>(record.NPAR) + 1, 0);
  for (long i = 1; i <= selection.size(); ++i) {
    if (selection[i] >= 1 && selection[i] <= record.NPAR) selected[selection[i]] = 1;
  }
  JacobianRun run{runner, record, jacobian};
  short result = 0;
  for (int k = 1; k <= record.NPAR && result == 0; ++k) {
    const Parameter& parameter = record.parameters[k];
    if (!IsAdjustableParameter(parameter)) continue;
    if (record.NUMIW > 0 && parameter.iw_flag == 1) {
      SetColumn(run, column_of[k], 0.0);
      continue;
    }
    const bool due = full_update || (iteration > 1 && record.SLMMODE == 1 && selected[k]);
    if (due) result = ComputeColumn(run, k, column_of[k], switch_flag);
  }
  std::printf("\n\n");
  return result;
}
