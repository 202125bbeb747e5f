#include "lm/results_section.h"

#include <cmath>

#include "pest/parameters.h"

namespace {

// Why the covariance is missing, decided once for both places that say so.
enum class MissingCovariance { kNone, kSingular, kNoJacobian, kTooFewWeighted };

MissingCovariance WhyCovarianceIsMissing(const PosteriorStatistics& statistics,
                                         const ProblemRecord& record) {
  if (statistics.outcome == CovarianceOutcome::kSingular) return MissingCovariance::kSingular;
  if (record.NOPTMAX == 0) return MissingCovariance::kNoJacobian;
  if (statistics.outcome == CovarianceOutcome::kTooFewWeighted) {
    return MissingCovariance::kTooFewWeighted;
  }
  return MissingCovariance::kNone;
}

void WriteTooFewWeightedReason(std::FILE* out, const ProblemRecord& record, const char* end) {
  std::fprintf(out,
               "The number of observations and prior information items with non-zero weight "
               "(%ld) is not greater than the number of adjustable parameters (%ld).%s",
               CountWeightedItems(record), static_cast<long>(record.NUMADJ), end);
}

// The note in front of the parameter table when there are no confidence limits.
void WriteMissingLimitsNote(std::FILE* out, MissingCovariance why, const ProblemRecord& record) {
  if (why == MissingCovariance::kNone) return;
  std::fprintf(out, "Covariance matrix and parameter confidence intervals cannot be determined:\n");
  if (why == MissingCovariance::kSingular) {
    std::fprintf(out, "Normal matrix nearly singular; cannot be inverted.\n\n");
    if (record.NOPTMAX == 0) {
      std::fprintf(out,
                   "No optimisation iterations carried out so Jacobian never calculated..\n\n");
    }
  } else if (why == MissingCovariance::kNoJacobian) {
    std::fprintf(out, "No optimisation iterations carried out so Jacobian never calculated..\n\n");
  } else {
    WriteTooFewWeightedReason(out, record, "\n\n");
  }
}

void WriteEstimatesWithoutLimits(std::FILE* out, const ProblemRecord& record) {
  std::fprintf(out, "Adjustable Parameters ----->\n");
  std::fprintf(out, "\n");
  std::fprintf(out, "Parameter        Estimated\n");
  std::fprintf(out, "                 value\n");
  for (int i = 1; i <= record.NPAR; ++i) {
    const Parameter& parameter = record.parameters[i];
    if (!IsAdjustableParameter(parameter)) continue;
    std::fprintf(out, "%s              %10lf\n", parameter.PARNME, NaturalValue(parameter));
  }
  std::fprintf(out, "\n\n\n");
}

// Limits at t standard deviations either side of the stored value; a "log" parameter's
// limits are taken on the logarithm and then converted, so they are not symmetric about the
// estimate. Without a quantile t is 0 and both limits equal the estimate.
void WriteEstimatesWithLimits(std::FILE* out, const matrix& covariance,
                              const ProblemRecord& record) {
  const long df = static_cast<long>(record.NOBS) + record.NPRIOR - record.NUMADJ;
  double t = 0.0;
  StudentTQuantile(df, t);
  std::fprintf(out, "Adjustable Parameters ----->\n");
  std::fprintf(out, "\n");
  std::fprintf(out, "Parameter        Estimated         95 percent confidence limits\n");
  std::fprintf(out, "                 value             lower limit       upper limit\n");
  for (int i = 1, k = 0; i <= record.NPAR; ++i) {
    const Parameter& parameter = record.parameters[i];
    if (!IsAdjustableParameter(parameter)) continue;
    ++k;
    const double v = parameter.value;
    const double half_width = t * std::sqrt(covariance(k, k));
    std::fprintf(out, "%s              %10lf         %10lf        %10lf\n", parameter.PARNME,
                 NaturalValue(parameter, v), NaturalValue(parameter, v - half_width),
                 NaturalValue(parameter, v + half_width));
  }
  std::fprintf(out, "\n");
  std::fprintf(out,
               "Note: confidence limits provide only an indication of parameter uncertainty.\n");
  std::fprintf(out,
               "      They rely on a linearity assumption which  may not extend as far in\n");
  std::fprintf(out, "      parameter space as the confidence limits themselves.\n\n\n");
}

void WriteTiedAndFixedParameters(std::FILE* out, const ProblemRecord& record) {
  bool any_tied = false;
  bool any_fixed = false;
  for (int i = 1; i <= record.NPAR; ++i) {
    any_tied = any_tied || IsTiedParameter(record.parameters[i]);
    any_fixed = any_fixed || IsFixedParameter(record.parameters[i]);
  }
  if (any_tied) {
    std::fprintf(out, "Tied parameters ----->\n\n");
    for (int i = 1; i <= record.NPAR; ++i) {
      const Parameter& parameter = record.parameters[i];
      if (IsTiedParameter(parameter)) {
        std::fprintf(out, "%s              %10lf\n", parameter.PARNME, parameter.value);
      }
    }
    std::fprintf(out, "\n\n");
  }
  if (any_fixed) {
    std::fprintf(out, "Fixed parameters ----->\n\n");
    std::fprintf(out, "Parameter        Fixed value\n");
    for (int i = 1; i <= record.NPAR; ++i) {
      const Parameter& parameter = record.parameters[i];
      if (IsFixedParameter(parameter)) {
        std::fprintf(out, "%s              %10lf\n", parameter.PARNME, parameter.value);
      }
    }
    std::fprintf(out, "\n\n");
  }
}

void WriteObservations(std::FILE* out, const ProblemRecord& record) {
  std::fprintf(out, "Observations ----->\n");
  std::fprintf(out, "\n");
  std::fprintf(out,
               "Observation            Measured       Calculated     Residual       Weight     "
               "Group\n");
  std::fprintf(out, "                       value          value\n");
  for (int i = 1; i <= record.NOBS; ++i) {
    const Observation& observation = record.observations[i];
    const double simulated = observation.simulated[kBaseSlot];
    std::fprintf(out, "%s\t\t%.20lf\t%.20lf\t%.20lf\t%lf\t%s\n", observation.OBSNME,
                 observation.OBSVAL, simulated, observation.OBSVAL - simulated,
                 observation.WEIGHT, observation.OBGNME);
  }
  std::fprintf(out, "\n");
  std::fprintf(out, "\n");
}

// Each prior equation evaluated at the adjustable parameters' stored values.
void WritePriorInformation(std::FILE* out, const ProblemRecord& record,
                           const matrix& prior_matrix) {
  if (record.NPRIOR <= 0) return;
  const ivector adjustable = AdjustableList(record);
  const long n = adjustable.size();
  dvector values(n);
  for (long k = 1; k <= n; ++k) values[k] = record.parameters[adjustable[k]].value;
  dvector calculated(record.NPRIOR);
  mat_vec_mult(prior_matrix, record.NPRIOR, n, values, n, calculated);

  std::fprintf(out, "Prior information ----->\n");
  std::fprintf(out, "\n");
  std::fprintf(out,
               "Prior                  Provided       Calculated     Residual       Weight     "
               "Group\n");
  std::fprintf(out, "information            value          value\n");
  for (int k = 1; k <= record.NPRIOR; ++k) {
    const PriorItem& prior = record.priors[k];
    std::fprintf(out, "%s\t\t%.20lf\t%.20lf\t%.20lf\t%lf\t%s\n", prior.PILBL, prior.PIVAL,
                 calculated[k], prior.PIVAL - calculated[k], prior.WEIGHT, prior.OBGNME);
  }
  std::fprintf(out, "\n");
  std::fprintf(out, "\n");
}

void WriteObjectiveFunction(std::FILE* out, double phi, const ProblemRecord& record) {
  std::fprintf(out, "\n");
  std::fprintf(out, "Objective function ----->\n");
  std::fprintf(out, "\n");
  std::fprintf(out, "Sum of squared weighted residuals (ie phi)\t\t: %E\n", phi);
  for (int g = 1; g <= record.NOBSGP; ++g) {
    const ObservationGroup& group = record.observation_groups[g];
    std::fprintf(out, "Contribution to phi from observation group '%s'\t= %E\n", group.OBGNME,
                 group.phi);
  }
  std::fprintf(out, "\n");
  std::fprintf(out, "\n");
}

// The closing note when no statistical matrices follow; returns whether it was written.
bool WriteMissingMatricesNote(std::FILE* out, MissingCovariance why,
                              const ProblemRecord& record) {
  if (why == MissingCovariance::kNone) return false;
  std::fprintf(out, "Covariance and other statistical matricies cannot be determined:\n");
  if (why == MissingCovariance::kSingular) {
    std::fprintf(out, "Normal matrix nearly singular; cannot be inverted.\n");
    if (record.NOPTMAX == 0) {
      std::fprintf(out, "No optimisation iterations carried out so Jacobian never calculated.\n");
    }
  } else if (why == MissingCovariance::kNoJacobian) {
    std::fprintf(out, "No optimisation iterations carried out so Jacobian never calculated.\n");
  } else {
    WriteTooFewWeightedReason(out, record, "\n");
  }
  return true;
}

// One matrix indexed by adjustable rank, laid out over all parameters in control-file order:
// non-adjustable parameters have no row or column, but when the last parameter is one of them
// its place still ends the line. The covariance writes small values in exponent form.
void WriteParameterGrid(std::FILE* out, const char* title, const matrix& values,
                        const ProblemRecord& record, bool small_values_as_exponent) {
  const int npar = record.NPAR;
  std::fprintf(out, "%s", title);
  std::fprintf(out, "\t\t");
  for (int i = 1; i <= npar; ++i) {
    const Parameter& parameter = record.parameters[i];
    if (IsAdjustableParameter(parameter)) {
      std::fprintf(out, i == npar ? "%s\n" : "%s\t", parameter.PARNME);
    } else if (i == npar) {
      std::fprintf(out, "\n");
    }
  }
  for (int row = 1, r = 0; row <= npar; ++row) {
    const Parameter& row_parameter = record.parameters[row];
    if (!IsAdjustableParameter(row_parameter)) continue;
    ++r;
    std::fprintf(out, "%s\t", row_parameter.PARNME);
    for (int column = 1, c = 0; column <= npar; ++column) {
      const bool last = column == npar;
      if (!IsAdjustableParameter(record.parameters[column])) {
        if (last) std::fprintf(out, "\n");
        continue;
      }
      ++c;
      const double value = values(r, c);
      if (small_values_as_exponent && std::fabs(value) <= 1e-4) {
        std::fprintf(out, last ? "%.4E\n" : "%.4E\t", value);
      } else {
        std::fprintf(out, last ? "%lf\n" : "%lf\t", value);
      }
    }
  }
  std::fprintf(out, "\n");
  std::fprintf(out, "\n");
}

void WriteEigenvalues(std::FILE* out, const dvector& eigenvalues, int n) {
  std::fprintf(out, "Eigenvalues ----->\n");
  std::fprintf(out, "\n");
  std::fprintf(out, "\t");
  for (int k = 1; k <= n; ++k) {
    const double value = eigenvalues[k];
    if (std::fabs(value) <= 1e-4) {
      std::fprintf(out, "%.4E\t", value);
    } else {
      std::fprintf(out, "%lf\t", value);
    }
  }
}

}  // namespace

short WriteResultsSection(std::FILE* record_file, double phi,
                          const PosteriorStatistics& statistics, const ProblemRecord& record,
                          const matrix& prior_matrix) {
  std::FILE* out = record_file;
  const MissingCovariance why = WhyCovarianceIsMissing(statistics, record);

  std::fprintf(out, "\n\n");
  std::fprintf(out, "                            OPTIMISATION RESULTS\n");
  std::fprintf(out, "\n\n");
  WriteMissingLimitsNote(out, why, record);
  if (why == MissingCovariance::kNone) {
    WriteEstimatesWithLimits(out, statistics.covariance, record);
  } else {
    WriteEstimatesWithoutLimits(out, record);
  }
  WriteTiedAndFixedParameters(out, record);
  WriteObservations(out, record);
  WritePriorInformation(out, record, prior_matrix);
  WriteObjectiveFunction(out, phi, record);

  if (!WriteMissingMatricesNote(out, why, record)) {
    WriteParameterGrid(out, "Parameter covariance matrix ----->\n", statistics.covariance,
                       record, true);
    WriteParameterGrid(out, "Parameter correlation coefficient matrix ----->\n",
                       statistics.correlation, record, false);
    WriteParameterGrid(out, "Normalized eigenvectors of covariance matrix ----->\n",
                       statistics.eigenvectors, record, false);
    WriteEigenvalues(out, statistics.eigenvalues, record.NUMADJ);
  }
  std::fflush(out);
  return 0;
}

short WriteFinalStatistics(std::FILE* record_file, const matrix& best_jacobian,
                           const dvector& weights, double phi, const ProblemRecord& record,
                           const matrix& prior_matrix) {
  // With NOPTMAX 0 no Jacobian exists; the section reports that instead of statistics.
  PosteriorStatistics statistics;
  if (record.NOPTMAX != 0) {
    statistics = ComputePosteriorStatistics(best_jacobian, weights, phi, record);
  }
  return WriteResultsSection(record_file, phi, statistics, record, prior_matrix);
}
