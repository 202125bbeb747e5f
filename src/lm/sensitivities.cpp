// Composite parameter sensitivities of the Levenberg-Marquardt engine and the case's
// sensitivity file: the section of every iteration and the closing sections per observation
// group and for all observations.
#include "lm/sensitivities.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "pest/parameters.h"

namespace {

// A composite sensitivity smaller than this in magnitude means the parameter has no effect.
constexpr double kNoEffectLimit = 1e-8;

bool Equals(const char* text, const char* word) { return std::strcmp(text, word) == 0; }

// How the weighted prior items enter a composite sensitivity; PESTMODE decides.
enum class PriorContribution {
  kNone,          // any other mode: prior items add nothing, not even to the item count
  kJacobianRow,   // "estimation": the prior item's row of the Jacobian
  kPriorFactors,  // "regularisation": the prior factors times the regularisation weight
};

PriorContribution PriorContributionOfMode(const char* mode) {
  if (Equals(mode, "estimation")) return PriorContribution::kJacobianRow;
  if (Equals(mode, "regularisation") || Equals(mode, "regularization")) {
    return PriorContribution::kPriorFactors;
  }
  return PriorContribution::kNone;
}

// The observations and prior items with positive weight in one set of rows, by index. The
// lists are built once per set, so that each parameter's sum is one pass over them.
struct WeightedRows {
  std::vector<int> observations;
  std::vector<int> priors;
};

// Fills rows with the weighted observations and prior items of the observation group named
// group (an exact, case-sensitive match), or of every group when group is nullptr. Items
// with zero or negative weight take no part in a sensitivity.
void SelectWeightedRows(const ProblemRecord& record, const char* group, WeightedRows& rows) {
  rows.observations.clear();
  rows.priors.clear();
  for (int i = 1; i <= record.NOBS; ++i) {
    const Observation& observation = record.observations[i];
    if (observation.WEIGHT > 0.0 && (group == nullptr || Equals(observation.OBGNME, group))) {
      rows.observations.push_back(i);
    }
  }
  for (int k = 1; k <= record.NPRIOR; ++k) {
    const PriorItem& prior = record.priors[k];
    if (prior.WEIGHT > 0.0 && (group == nullptr || Equals(prior.OBGNME, group))) {
      rows.priors.push_back(k);
    }
  }
}

// The composite sensitivity of Jacobian column c over rows: the root of the sum of squared
// weighted entries, divided by the number of items that entered the sum.
double CompositeSensitivity(const ProblemRecord& record, const matrix& jacobian,
                            const matrix& prior_matrix, long c, const WeightedRows& rows,
                            PriorContribution prior_contribution) {
  double sum = 0.0;
  long items = static_cast<long>(rows.observations.size());
  for (int i : rows.observations) {
    const double term = record.observations[i].WEIGHT * jacobian(i, c);
    sum += term * term;
  }
  // The prior matrix is only read when prior items are selected, so an empty one (no prior
  // information) is never indexed.
  if (prior_contribution == PriorContribution::kJacobianRow) {
    for (int k : rows.priors) {
      const double term = record.priors[k].WEIGHT * jacobian(record.NOBS + k, c);
      sum += term * term;
    }
    items += static_cast<long>(rows.priors.size());
  } else if (prior_contribution == PriorContribution::kPriorFactors) {
    for (int k : rows.priors) {
      const double term = prior_matrix(k, c) * record.WFCUR * record.priors[k].WEIGHT;
      sum += term * term;
    }
    items += static_cast<long>(rows.priors.size());
  }
  // Without a single weighted item the sum is empty and the count zero. The sensitivity is
  // then 0 rather than 0 / 0: such a parameter cannot be estimated from the data, it is
  // reported and set aside as without effect, and no NaN reaches the upgrade or the reports.
  if (items == 0) return 0.0;
  return std::sqrt(sum) / static_cast<double>(items);
}

// Stores every adjustable parameter's composite sensitivity over rows in its sensitivity
// value; column c of the Jacobian belongs to the c-th adjustable parameter.
void StoreSensitivities(ProblemRecord& record, const matrix& jacobian,
                        const matrix& prior_matrix, const ivector& adjustable,
                        const WeightedRows& rows) {
  const PriorContribution prior_contribution = PriorContributionOfMode(record.PESTMODE);
  for (long c = 1; c <= adjustable.size(); ++c) {
    record.parameters[adjustable[c]].sensitivity =
        CompositeSensitivity(record, jacobian, prior_matrix, c, rows, prior_contribution);
  }
}

void WriteTableHeader(std::FILE* file) {
  std::fprintf(file, " Parameter name    Group          Current value    Sensitivity       \n");
}

// One line per adjustable parameter: name, group, natural value and stored sensitivity.
void WriteTableRows(std::FILE* file, const ProblemRecord& record, const ivector& adjustable) {
  for (long c = 1; c <= adjustable.size(); ++c) {
    const Parameter& parameter = record.parameters[adjustable[c]];
    std::fprintf(file, "%s\t%s\t%lf\t%lf\n", parameter.PARNME, parameter.PARGP,
                 NaturalValue(parameter), parameter.sensitivity);
  }
}

// Number of observations and prior items with positive weight, prior items counted whatever
// the mode (the count tells the user what the group holds, not what entered the sum).
long WeightedItemCount(const WeightedRows& rows) {
  return static_cast<long>(rows.observations.size() + rows.priors.size());
}

void WriteIterationSection(const ProblemRecord& record, const OutputNames& names, int n,
                           std::FILE* file) {
  // The title is written only for the first iteration: a restarted run appends to the same
  // file and continues it without a second title block.
  if (n == 1) {
    std::fprintf(file, "                        PARAMETER SENSITIVITIES: CASE %s\n", names.base);
    std::fprintf(file, "\n");
    std::fprintf(file, "\n");
  }
  std::fprintf(file, " OPTIMISATION ITERATION NO.\t%ld ----->\n", static_cast<long>(n));
  WriteTableHeader(file);
  WriteTableRows(file, record, AdjustableList(record));
  std::fprintf(file, "\n");
  std::fprintf(file, "\n");
}

// The closing sections: one per observation group, then one for all observations. Each
// table stores the sensitivities it prints, so afterwards every parameter holds its value
// over all observations.
void WriteFinalSections(ProblemRecord& record, const matrix& jacobian,
                        const matrix& prior_matrix, std::FILE* file) {
  const ivector adjustable = AdjustableList(record);
  WeightedRows rows;
  std::fprintf(file, "\n");
  std::fprintf(file, "                        COMPLETION OF OPTIMISATION PROCESS\n\n");
  for (int g = 1; g <= record.NOBSGP; ++g) {
    const char* group = record.observation_groups[g].OBGNME;
    if (g > 1) std::fprintf(file, "\n");
    std::fprintf(file, " Composite sensitivities for observation group \"%s\" ----->\n\n", group);
    SelectWeightedRows(record, group, rows);
    const long weighted = WeightedItemCount(rows);
    if (weighted > 0) {
      std::fprintf(file, " Number of observations with non-zero weight =\t%ld\n", weighted);
      WriteTableHeader(file);
      StoreSensitivities(record, jacobian, prior_matrix, adjustable, rows);
      WriteTableRows(file, record, adjustable);
    } else {
      std::fprintf(file,
                   "\n No observations/prior_info with non-zero weight belong to this group.\n\n");
    }
    std::fprintf(file, "\n");
  }
  if (record.NOBSGP > 0) std::fprintf(file, "\n");
  std::fprintf(file, " Composite sensitivities for all observations/prior info ----->\n\n");
  SelectWeightedRows(record, nullptr, rows);
  std::fprintf(file, " Number of observations with non-zero weight =\t%ld\n",
               WeightedItemCount(rows));
  WriteTableHeader(file);
  StoreSensitivities(record, jacobian, prior_matrix, adjustable, rows);
  WriteTableRows(file, record, adjustable);
}

}  // namespace

short ComputeSensitivities(ProblemRecord& record, const matrix& jacobian,
                           const matrix& prior_matrix, std::FILE* record_file) {
  const ivector adjustable = AdjustableList(record);
  WeightedRows rows;
  SelectWeightedRows(record, nullptr, rows);
  StoreSensitivities(record, jacobian, prior_matrix, adjustable, rows);
  // The flags and the count were reset by the caller for this iteration; only parameters
  // found without effect are marked here.
  for (long c = 1; c <= adjustable.size(); ++c) {
    Parameter& parameter = record.parameters[adjustable[c]];
    if (std::fabs(parameter.sensitivity) < kNoEffectLimit) {
      parameter.no_effect = 1;
      ++record.no_effect_count;
      std::printf("   Parameter \"%s\" has no effect on observations.\n", parameter.PARNME);
      if (record_file != nullptr) {
        std::fprintf(record_file, "   Parameter \"%s\" has no effect on observations.\n",
                     parameter.PARNME);
      }
    }
  }
  return 0;
}

// The sensitivity file is open for the whole run; the caller passes it, never nullptr.
// A final_selector of 0 writes the section of iteration n; any other value the closing
// sections.
short WriteSensitivityFile(ProblemRecord& record, const matrix& jacobian,
                           const matrix& prior_matrix, const OutputNames& names, int n,
                           std::FILE* sensitivity_file, int final_selector) {
  if (final_selector == 0) {
    WriteIterationSection(record, names, n, sensitivity_file);
  } else {
    WriteFinalSections(record, jacobian, prior_matrix, sensitivity_file);
  }
  return 0;
}
