// Tests of the "OPTIMISATION RESULTS" section of the record file against expected files under
// tests/data/lm/results. Their numbers were computed independently (closed-form 2 x 2
// inverse and eigen decomposition); the matrix layout file was written from the format rules.
#include "lm/results_section.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "pest/parameters.h"
#include "support/test_support.h"
#include "support/text_compare.h"

namespace {

using testing_support::CompareText;
using testing_support::ReadFile;

// The printed numbers come from the same arithmetic in another order: they may differ in the
// last bits, never in a printed digit.
constexpr testing_support::NumberTolerance kTolerance{1e-9, 0.0};

struct ParameterEntry {
  const char* name;
  const char* transform;
  double value;
};
struct RowEntry {  // an observation, or a prior item (simulated not used)
  const char* name;
  double value, simulated, weight;
  const char* group;
};

ProblemRecord MakeRecord(const char* mode, const std::vector<ParameterEntry>& parameters,
                         const std::vector<RowEntry>& observations,
                         const std::vector<RowEntry>& priors,
                         const std::vector<std::pair<const char*, double>>& group_phis) {
  ProblemRecord record;
  std::strcpy(record.PESTMODE, mode);
  record.NOPTMAX = 20;
  record.parameters.resize(1);
  for (const ParameterEntry& entry : parameters) {
    Parameter& p = record.parameters.emplace_back();
    std::strcpy(p.PARNME, entry.name);
    SetParameterTransform(p, entry.transform);
    p.value = entry.value;
    record.NUMADJ += IsAdjustableParameter(p);
  }
  record.observations.resize(1);
  for (const RowEntry& entry : observations) {
    Observation& o = record.observations.emplace_back();
    std::strcpy(o.OBSNME, entry.name);
    std::strcpy(o.OBGNME, entry.group);
    o.OBSVAL = entry.value;
    o.simulated[kBaseSlot] = entry.simulated;
    o.simulated[kFirstPerturbedSlot] = -999.0;  // must not be printed
    o.WEIGHT = entry.weight;
  }
  record.priors.resize(1);
  for (const RowEntry& entry : priors) {
    PriorItem& p = record.priors.emplace_back();
    std::strcpy(p.PILBL, entry.name);
    std::strcpy(p.OBGNME, entry.group);
    p.PIVAL = entry.value;
    p.WEIGHT = entry.weight;
  }
  record.observation_groups.resize(1);
  for (const auto& [name, phi] : group_phis) {
    ObservationGroup& g = record.observation_groups.emplace_back();
    std::strcpy(g.OBGNME, name);
    g.phi = phi;
  }
  record.NPAR = static_cast<int>(parameters.size());
  record.NOBS = static_cast<int>(observations.size());
  record.NPRIOR = static_cast<int>(priors.size());
  record.NOBSGP = static_cast<int>(group_phis.size());
  return record;
}

matrix FromRows(const std::vector<std::vector<double>>& rows) {
  matrix m(1, static_cast<long>(rows.size()), 1, static_cast<long>(rows[0].size()));
  for (size_t i = 0; i < rows.size(); ++i)
    for (size_t j = 0; j < rows[i].size(); ++j) m(i + 1, j + 1) = rows[i][j];
  return m;
}

// An estimation problem with a "log" parameter, a tied one and a fixed one last in
// control-file order, and a prior item on the log parameter: df = 4 + 1 - 2 = 3.
struct Problem {
  ProblemRecord record = MakeRecord(
      "estimation", {{"ka", "none", 2.5}, {"kb", "log", 1.5}, {"kt", "tied", 1.25},
                     {"kf", "fixed", 7.0}},
      {{"h1", 10.0, 10.25, 1.0, "heads"}, {"h2", 12.5, 12.375, 2.0, "heads"},
       {"q1", 3.0, 2.5, 1.0, "flows"}, {"q2", 4.0, 4.75, 0.5, "flows"}},
      {{"pi1", 1.4, 0.0, 2.0, "prior"}},
      {{"heads", 0.125}, {"flows", 0.390625}, {"prior", std::pow(2.0 * (1.4 - 1.5), 2)}});
  matrix jacobian = FromRows({{1.0, 0.5}, {0.5, 2.0}, {2.0, -2.22}, {0.0, 1.0}, {0.0, 1.0}});
  dvector weights = dvector(5);  // WEIGHT^2 of the rows above
  matrix prior_matrix = FromRows({{0.0, 1.0}});  // the prior equation is kb's stored value
  double phi = 0.555625;

  Problem() {
    const double root_weights[] = {1.0, 2.0, 1.0, 0.5, 2.0};
    for (int i = 1; i <= 5; ++i) weights[i] = root_weights[i - 1] * root_weights[i - 1];
  }
  std::string Written() const {
    std::FILE* file = std::fopen("case.rec", "w");
    EXPECT_EQ(WriteFinalStatistics(file, jacobian, weights, phi, record, prior_matrix), 0);
    std::fclose(file);
    return ReadFile("case.rec");
  }
};

std::string Expected(const std::string& name) {
  return ReadFile(std::string(TARNE_TEST_DATA) + "/lm/results/" + name);
}

TEST(ResultsSection, VariantsMatchTheExpectedFiles) {
  testing_support::TempDir dir;
  Problem estimated;
  EXPECT_EQ(CompareText(Expected("estimated.txt"), estimated.Written(), kTolerance), "");

  Problem singular;
  for (int i = 1; i <= 5; ++i) singular.jacobian(i, 2) = 0.0;  // kb without effect
  EXPECT_EQ(CompareText(Expected("singular.txt"), singular.Written(), kTolerance), "");

  Problem no_iterations;
  no_iterations.record.NOPTMAX = 0;
  no_iterations.jacobian = matrix();  // none was ever computed
  EXPECT_EQ(CompareText(Expected("noptmax0.txt"), no_iterations.Written(), kTolerance), "");

  // Weights 1, 0, 0 and a weighted prior item in regularisation mode: n+ = 2 = NUMADJ.
  Problem too_few;
  too_few.record = MakeRecord("regularisation", {{"a", "none", 1.0}, {"b", "log", 0.0}},
                              {{"o1", 1.0, 0.5, 1.0, "g"}, {"o2", 2.0, 2.0, 0.0, "g"},
                               {"o3", 3.0, 1.0, 0.0, "g"}},
                              {{"sum_ab", 0.5, 0.0, 1.0, "regul"}}, {{"g", 0.25}, {"regul", 0.25}});
  too_few.jacobian = FromRows({{1, 1}, {2, 2}, {3, 3}, {1, 1}});
  too_few.weights = dvector(4);
  too_few.weights[1] = too_few.weights[4] = 1.0;
  too_few.prior_matrix = FromRows({{1.0, 1.0}});
  too_few.phi = 0.5;
  EXPECT_EQ(CompareText(Expected("too_few_weighted.txt"), too_few.Written(), kTolerance), "");
}

// A fixed parameter in the middle has no row or column; with the last parameter adjustable
// its value ends each line. Small covariances and eigenvalues go to exponent form, and
// without a quantile (df = 1 - 2) both limits equal the estimate. Compared byte for byte.
TEST(ResultsSection, MatrixLayoutWithLastParameterAdjustable) {
  testing_support::TempDir dir;
  const ProblemRecord record =
      MakeRecord("estimation", {{"x", "none", 1.0}, {"f", "fixed", 2.0}, {"y", "none", 3.0}},
                 {{"o1", 1.0, 1.0, 1.0, "g"}}, {}, {{"g", 0.0}});
  PosteriorStatistics statistics;
  statistics.covariance = FromRows({{0.5, -1e-4}, {-1e-4, 2e-5}});
  statistics.correlation = FromRows({{1.0, 0.25}, {0.25, 1.0}});
  statistics.eigenvectors = FromRows({{1.0, 0.0}, {0.0, 1.0}});
  statistics.eigenvalues = dvector(2);
  statistics.eigenvalues[1] = 0.75;
  statistics.eigenvalues[2] = -2e-5;
  std::FILE* file = std::fopen("case.rec", "w");
  EXPECT_EQ(WriteResultsSection(file, 0.0, statistics, record, matrix()), 0);
  std::fclose(file);
  EXPECT_EQ(ReadFile("case.rec"), Expected("matrix_layout.txt"));
}

}  // namespace
