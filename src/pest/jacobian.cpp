// The finite-difference Jacobian of the Levenberg-Marquardt family: column choice, the
// perturbation rules, the model runs of each column and the difference formulas.
#include "pest/jacobian.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "pest/model_runner.h"

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

void PrintBestFitRefusal() {
  std::printf("\n");
  std::printf("The toolbox does not support the 'best_fit' method\n");
  std::printf("of three point derivatives calculation.\n\n");
  std::printf("The toolbox does support the 'outside_pts' and\n");
  std::printf("'parabolic' methods of three point derivatives calculation.\n\n");
  std::printf("If you are using three point derivatives calculation,\n");
  std::printf("please alter DERMTHD in the control file accordingly.\n");
}

// How a due column is made.
enum class ColumnKind {
  kZero,           // an iw parameter: zeros, no run
  kMissingGroup,   // its group is not listed: zeros and a message
  kDegenerate,     // the perturbation does not move it apart: zeros and a message
  kForward,        // one run
  kOutsidePoints,  // two runs
  kParabolic,      // two runs
  kBestFit,        // refused; no later column is made
};

struct ColumnPlan {
  int k = 0;       // the parameter
  int column = 0;  // its Jacobian column
  ColumnKind kind = ColumnKind::kZero;
  bool three_point = false;
  double x1 = 0.0, x2 = 0.0;  // the perturbed values
  int runs = 0;
  int runs_done = 0;
};

// The plan of the due column of parameter k, or false when its group's words ask for
// nothing (an unknown FORCEN or DERMTHD). A perturbation that does not move the parameter (or
// moves both points to one place) would divide by zero: such a column is set to 0 instead.
bool PlanColumn(const ProblemRecord& record, int k, int column, int switch_flag,
                ColumnPlan* plan) {
  const Parameter& parameter = record.parameters[k];
  *plan = ColumnPlan{};
  plan->k = k;
  plan->column = column;
  const int group = FindParameterGroup(record, parameter.PARGP);
  if (group == 0) {
    plan->kind = ColumnKind::kMissingGroup;
    return true;
  }
  const double x = parameter.value;
  const Differencing differencing = DifferencingFor(record.groups[group], switch_flag);
  if (differencing == Differencing::kForward) {
    plan->x1 = ForwardPerturbation(parameter);
    plan->kind = !std::isfinite(plan->x1) || plan->x1 == x ? ColumnKind::kDegenerate
                                                            : ColumnKind::kForward;
    plan->runs = plan->kind == ColumnKind::kForward ? 1 : 0;
    return true;
  }
  if (differencing != Differencing::kThreePoint) return false;
  const char* method = record.groups[group].DERMTHD;
  const bool parabolic = Equals(method, "parabolic");
  if (!parabolic && !Equals(method, "outside_pts")) {
    plan->kind = ColumnKind::kBestFit;
    return Equals(method, "best_fit");
  }
  plan->three_point = true;
  ThreePointPerturbation(parameter, plan->x1, plan->x2);
  const double x1 = plan->x1, x2 = plan->x2;
  const bool degenerate = !std::isfinite(x1) || !std::isfinite(x2) || x1 == x2 ||
                          (parabolic && (x1 == x || x2 == x));
  plan->kind = degenerate ? ColumnKind::kDegenerate
               : parabolic ? ColumnKind::kParabolic
                           : ColumnKind::kOutsidePoints;
  plan->runs = degenerate ? 0 : 2;
  return true;
}

// The columns of one CalculateJacobian call: their runs go to the runner as one batch, and
// each column is finished, in order, as soon as its runs are in, exactly as one process
// makes it column by column (messages, perturbed values and the result included).
class JacobianBatch {
 public:
  JacobianBatch(ModelRunner& runner, matrix& jacobian)
      : runner_(runner), record_(runner.record()), jacobian_(jacobian) {}

  void Add(const ColumnPlan& plan) {
    for (int r = 1; r <= plan.runs; ++r) runs_.push_back({plans_.size(), r});
    plans_.push_back(plan);
  }

  short Run() {
    FinishReadyColumns();
    const short status = runner_.RunBatch(
        runs_.size(),
        [this](std::size_t i) {
          const ColumnPlan& plan = plans_[runs_[i].plan];
          if (runs_[i].which == 1) ApplyPerturbation(plan);
          return runs_[i].which == 1
                     ? ModelRunner::BatchRun{ValueChoice::kFirstPerturbed, kFirstPerturbedSlot}
                     : ModelRunner::BatchRun{ValueChoice::kSecondPerturbed,
                                             kSecondPerturbedSlot};
        },
        [this](std::size_t) { PrintRunProgress(progress_++); },
        [this](std::size_t i) {
          ++plans_[runs_[i].plan].runs_done;
          FinishReadyColumns();
        });
    return status != 0 ? status : result_;
  }

 private:
  struct RunOfColumn {
    std::size_t plan;
    int which;  // 1: the first perturbed values, 2: the second
  };

  void ApplyPerturbation(const ColumnPlan& plan) {
    SetPerturbedValues(record_, plan.k, plan.x1, plan.x2, plan.three_point);
  }

  void SetColumn(int column, double value) {
    for (int i = 1; i <= record_.NOBS; ++i) jacobian_[i][column] = value;
  }

  // Finishes the columns in order for as long as their runs are in.
  void FinishReadyColumns() {
    while (next_plan_ < plans_.size() && result_ == 0) {
      ColumnPlan& plan = plans_[next_plan_];
      if (plan.runs_done < plan.runs) return;
      Finish(plan);
      ++next_plan_;
    }
  }

  void Finish(const ColumnPlan& plan) {
    const Parameter& parameter = record_.parameters[plan.k];
    const double x = parameter.value;
    switch (plan.kind) {
      case ColumnKind::kZero:
        SetColumn(plan.column, 0.0);
        return;
      case ColumnKind::kMissingGroup:
        std::printf("\nParameter %s belongs to the group %s, which is not listed among the "
                    "parameter groups; its Jacobian column is set to 0.\n",
                    parameter.PARNME, parameter.PARGP);
        SetColumn(plan.column, 0.0);
        return;
      case ColumnKind::kDegenerate:
        ApplyPerturbation(plan);
        std::printf("\nParameter %s cannot be perturbed to distinct values within its bounds; "
                    "its Jacobian column is set to 0.\n",
                    parameter.PARNME);
        SetColumn(plan.column, 0.0);
        return;
      case ColumnKind::kBestFit:
        PrintBestFitRefusal();
        result_ = 1;
        return;
      case ColumnKind::kParabolic:
        ApplyPerturbation(plan);
        ParabolicDifferences(plan);
        return;
      case ColumnKind::kForward:
      case ColumnKind::kOutsidePoints:
        break;
    }
    ApplyPerturbation(plan);
    const bool forward = plan.kind == ColumnKind::kForward;
    for (int i = 1; i <= record_.NOBS; ++i) {
      const double* y = record_.observations[i].simulated;
      jacobian_[i][plan.column] =
          forward ? (y[kFirstPerturbedSlot] - y[kBaseSlot]) / (plan.x1 - x)
                  : (y[kFirstPerturbedSlot] - y[kSecondPerturbedSlot]) / (plan.x1 - plan.x2);
    }
  }

  void ParabolicDifferences(const ColumnPlan& plan) {
    const double x = record_.parameters[plan.k].value;
    const double points[3] = {plan.x2, x, plan.x1};
    bool reported = false;
    for (int i = 1; i <= record_.NOBS; ++i) {
      const double* y = record_.observations[i].simulated;
      const double values[3] = {y[kSecondPerturbedSlot], y[kBaseSlot], y[kFirstPerturbedSlot]};
      double a = 0.0, b = 0.0, c = 0.0;
      if (FitParabola(points, values, a, b, c) != 0) {
        if (!reported) {
          std::printf("\nThe parabola through the three runs of parameter %s is singular; "
                      "its Jacobian entries are set to 0.\n",
                      record_.parameters[plan.k].PARNME);
        }
        reported = true;
        jacobian_[i][plan.column] = 0.0;
        continue;
      }
      jacobian_[i][plan.column] = 2.0 * a * x + b;
    }
  }

  ModelRunner& runner_;
  ProblemRecord& record_;
  matrix& jacobian_;
  std::vector<ColumnPlan> plans_;
  std::vector<RunOfColumn> runs_;
  std::size_t next_plan_ = 0;
  long progress_ = 1;  // the run counter of the progress lines
  short result_ = 0;
};

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
  JacobianBatch batch(runner, jacobian);
  for (int k = 1; k <= record.NPAR; ++k) {
    const Parameter& parameter = record.parameters[k];
    if (!IsAdjustableParameter(parameter)) continue;
    ColumnPlan plan;
    if (record.NUMIW > 0 && parameter.iw_flag == 1) {
      plan.k = k;
      plan.column = column_of[k];
      batch.Add(plan);
      continue;
    }
    const bool due = full_update || (iteration > 1 && record.SLMMODE == 1 && selected[k]);
    if (!due || !PlanColumn(record, k, column_of[k], switch_flag, &plan)) continue;
    batch.Add(plan);
    if (plan.kind == ColumnKind::kBestFit) break;  // no later parameter is run
  }
  const short result = batch.Run();
  std::printf("\n\n");
  return result;
}
