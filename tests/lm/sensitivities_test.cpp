// Tests of the composite parameter sensitivities and the sensitivity file, on hand-built
// problem records and Jacobians whose expected values were worked out by hand.
#include "lm/sensitivities.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "pest/parameters.h"
#include "support/test_support.h"
#include "support/text_compare.h"

namespace {

using testing_support::CompareText;
using testing_support::ReadFile;
using testing_support::SourcePath;

struct ParameterInput {
  const char* name;
  const char* transform;
  double stored_value;
  const char* group;
};

struct ItemInput {
  double weight;
  const char* group;
};

ProblemRecord MakeRecord(const char* mode, const std::vector<ParameterInput>& parameters,
                         const std::vector<ItemInput>& observations,
                         const std::vector<ItemInput>& priors = {},
                         const std::vector<const char*>& groups = {}) {
  ProblemRecord record;
  std::strcpy(record.PESTMODE, mode);
  record.NPAR = static_cast<int>(parameters.size());
  record.parameters.resize(parameters.size() + 1);
  for (size_t k = 1; k <= parameters.size(); ++k) {
    Parameter& parameter = record.parameters[k];
    std::strcpy(parameter.PARNME, parameters[k - 1].name);
    SetParameterTransform(parameter, parameters[k - 1].transform);
    parameter.value = parameters[k - 1].stored_value;
    std::strcpy(parameter.PARGP, parameters[k - 1].group);
  }
  record.NOBS = static_cast<int>(observations.size());
  record.observations.resize(observations.size() + 1);
  for (size_t i = 1; i <= observations.size(); ++i) {
    record.observations[i].WEIGHT = observations[i - 1].weight;
    std::strcpy(record.observations[i].OBGNME, observations[i - 1].group);
  }
  record.NPRIOR = static_cast<int>(priors.size());
  record.priors.resize(priors.size() + 1);
  for (size_t k = 1; k <= priors.size(); ++k) {
    record.priors[k].WEIGHT = priors[k - 1].weight;
    std::strcpy(record.priors[k].OBGNME, priors[k - 1].group);
  }
  record.NOBSGP = static_cast<int>(groups.size());
  record.observation_groups.resize(groups.size() + 1);
  for (size_t g = 1; g <= groups.size(); ++g) {
    std::strcpy(record.observation_groups[g].OBGNME, groups[g - 1]);
  }
  return record;
}

// A one-based matrix of the rows given; no rows gives the empty matrix.
matrix MakeMatrix(const std::vector<std::vector<double>>& rows) {
  if (rows.empty()) return matrix();
  matrix m(1, static_cast<long>(rows.size()), 1, static_cast<long>(rows[0].size()));
  for (size_t i = 0; i < rows.size(); ++i) {
    for (size_t j = 0; j < rows[i].size(); ++j) m(i + 1, j + 1) = rows[i][j];
  }
  return m;
}

// Everything write puts into a fresh temporary file.
template <typename Write>
std::string Written(Write write) {
  std::FILE* file = std::tmpfile();
  if (file == nullptr) {
    ADD_FAILURE() << "cannot create a temporary file";
    return "";
  }
  write(file);
  std::rewind(file);
  std::string text;
  for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file)) text += static_cast<char>(c);
  std::fclose(file);
  return text;
}

// Printed numbers have six decimals and the expected ones were rounded independently: a
// difference of one unit in the last place is accepted.
const testing_support::NumberTolerance kPrinted{0.0, 1e-6};

// One parameter "p", one Jacobian column: each observation is {weight, entry}, each prior
// item {weight, Jacobian entry, prior factor}; WFCUR is 2.
TEST(ComputeSensitivities, CompositeSensitivityFollowsWeightsAndMode) {
  struct Case {
    const char* label;
    const char* mode;
    std::vector<std::vector<double>> observations, priors;
    double expected;
    bool no_effect;
  };
  const std::vector<Case> cases = {
      {"zero weight left out of sum and count", "estimation", {{1, 3}, {0, 5}, {2, 4}}, {},
       std::sqrt(73.0) / 2, false},
      {"negative weight left out", "estimation", {{1, 3}, {-2, 7}}, {}, 3.0, false},
      {"estimation uses the Jacobian row", "estimation", {{1, 3}}, {{2, 4, 100}},
       std::sqrt(9.0 + 64.0) / 2, false},
      {"zero-weight prior left out", "estimation", {{1, 3}}, {{0, 4, 100}}, 3.0, false},
      {"regularisation: factor x WFCUR x weight", "regularisation", {{1, 3}}, {{2, 100, 1.5}},
       std::sqrt(9.0 + 36.0) / 2, false},
      {"regularization spelling", "regularization", {{1, 3}}, {{2, 100, 1.5}},
       std::sqrt(9.0 + 36.0) / 2, false},
      {"other modes ignore prior items", "prediction", {{1, 3}}, {{2, 4, 1.5}}, 3.0, false},
      {"mode words are case-sensitive", "Estimation", {{1, 3}}, {{2, 4, 1.5}}, 3.0, false},
      // No weighted item: zero items, and 0 rather than 0 / 0, so the parameter has no effect.
      {"nothing weighted", "estimation", {{0, 3}}, {{0, 4, 1.5}}, 0.0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    std::vector<ItemInput> observations, priors;
    std::vector<std::vector<double>> jacobian_rows, prior_rows;
    for (const auto& o : c.observations) {
      observations.push_back({o[0], "g"});
      jacobian_rows.push_back({o[1]});
    }
    for (const auto& p : c.priors) {
      priors.push_back({p[0], "g"});
      jacobian_rows.push_back({p[1]});
      prior_rows.push_back({p[2]});
    }
    ProblemRecord record = MakeRecord(c.mode, {{"p", "none", 1.0, "pg"}}, observations, priors);
    record.WFCUR = 2.0;
    testing::internal::CaptureStdout();
    EXPECT_EQ(ComputeSensitivities(record, MakeMatrix(jacobian_rows), MakeMatrix(prior_rows),
                                   nullptr),
              0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              c.no_effect ? "   Parameter \"p\" has no effect on observations.\n" : "");
    EXPECT_NEAR(record.parameters[1].sensitivity, c.expected, 1e-12);
    EXPECT_EQ(record.parameters[1].no_effect, c.no_effect ? 1 : 0);
  }
}

TEST(ComputeSensitivities, ParameterBelowTheLimitHasNoEffect) {
  // b is zero in every weighted row (its 9 sits in a zero-weight row), c is just below the
  // 1e-8 limit, d just above it.
  ProblemRecord record = MakeRecord(
      "estimation",
      {{"a", "none", 1, "g"}, {"b", "none", 1, "g"}, {"c", "none", 1, "g"}, {"d", "none", 1, "g"}},
      {{1.0, "g"}, {0.0, "g"}});
  const matrix jacobian = MakeMatrix({{1, 0, 5e-9, 2e-8}, {1, 9, 0, 0}});
  record.no_effect_count = 1;  // the count is added to, not set
  const std::string lines =
      "   Parameter \"b\" has no effect on observations.\n"
      "   Parameter \"c\" has no effect on observations.\n";
  testing::internal::CaptureStdout();
  const std::string in_record_file =
      Written([&](std::FILE* file) { ComputeSensitivities(record, jacobian, matrix(), file); });
  EXPECT_EQ(testing::internal::GetCapturedStdout(), lines);
  EXPECT_EQ(in_record_file, lines);
  EXPECT_EQ(record.parameters[2].sensitivity, 0.0);
  EXPECT_EQ(record.no_effect_count, 3);
  const std::vector<int> flags = {0, 1, 1, 0};
  for (int k = 1; k <= 4; ++k) EXPECT_EQ(record.parameters[k].no_effect, flags[k - 1]);

  // Without a record file the lines still reach the screen.
  testing::internal::CaptureStdout();
  ComputeSensitivities(record, jacobian, matrix(), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), lines);
}

// Two adjustable parameters (a "log" one stored as 1.0 among them) beside a fixed and a
// tied one; groups "heads" and "HEADS" differ only in case, "flows" holds only zero-weight
// items, and "pri" holds a weighted prior item.
struct SensitivityFileTest : testing::Test {
  SensitivityFileTest() { std::strcpy(names.base, "catchment"); }
  ProblemRecord record = MakeRecord("estimation",
                                    {{"rk", "none", 2.5, "soil"},
                                     {"fx", "fixed", 7.0, "soil"},
                                     {"kc", "log", 1.0, "crop"},
                                     {"td", "tied", 1.0, "crop"}},
                                    {{1.0, "heads"}, {2.0, "heads"}, {0.0, "flows"},
                                     {0.5, "HEADS"}},
                                    {{3.0, "pri"}, {0.0, "flows"}},
                                    {"heads", "HEADS", "flows", "pri"});
  matrix jacobian = MakeMatrix({{3, 1}, {4, 0}, {5, 7}, {2, 6}, {1, 2}, {9, 9}});
  matrix prior_matrix = MakeMatrix({{10, 10}, {10, 10}});
  OutputNames names;
};

// Over all rows: rk sqrt(9 + 64 + 1 + 9) / 4, kc sqrt(1 + 0 + 9 + 36) / 4; iteration 2 moves
// the values and doubles the Jacobian, which doubles both sensitivities.
TEST_F(SensitivityFileTest, IterationSectionsWithTheTitleOnlyForTheFirst) {
  const std::string text = Written([&](std::FILE* file) {
    ComputeSensitivities(record, jacobian, prior_matrix, nullptr);
    EXPECT_EQ(WriteSensitivityFile(record, jacobian, prior_matrix, names, 1, file, 0), 0);
    record.parameters[1].value = 3.25;
    record.parameters[3].value = 0.0;
    mat_scale(jacobian, 6, 2, 2.0, jacobian);
    ComputeSensitivities(record, jacobian, prior_matrix, nullptr);
    WriteSensitivityFile(record, jacobian, prior_matrix, names, 2, file, 0);
  });
  const std::string expected = ReadFile(SourcePath("tests/data/lm/sensitivities/iterations.sen"));
  EXPECT_EQ(CompareText(expected, text, kPrinted), "");
}

// heads: rk sqrt(9 + 64) / 2, kc sqrt(1) / 2; HEADS: 0.5 x 2 and 0.5 x 6; pri: 3 x 1 and 3 x 2.
TEST_F(SensitivityFileTest, ClosingSectionsPerGroupAndForAllObservations) {
  const std::string text = Written([&](std::FILE* file) {
    EXPECT_EQ(WriteSensitivityFile(record, jacobian, prior_matrix, names, 5, file, 1), 0);
  });
  const std::string expected = ReadFile(SourcePath("tests/data/lm/sensitivities/final.sen"));
  EXPECT_EQ(CompareText(expected, text, kPrinted), "");
  // The all-observation values are the ones left stored.
  EXPECT_NEAR(record.parameters[1].sensitivity, std::sqrt(83.0) / 4, 1e-12);
  EXPECT_NEAR(record.parameters[3].sensitivity, std::sqrt(46.0) / 4, 1e-12);
}

// In a mode that does not use prior items they still count as weighted items of their group,
// but add nothing to the sums.
TEST_F(SensitivityFileTest, PriorItemsAreCountedInEveryModeButSummedOnlyWhenUsed) {
  std::strcpy(record.PESTMODE, "prediction");
  const std::string text = Written([&](std::FILE* file) {
    WriteSensitivityFile(record, jacobian, prior_matrix, names, 5, file, 1);
  });
  EXPECT_NE(text.find("\"pri\" ----->\n\n Number of observations with non-zero weight =\t1\n"),
            std::string::npos);
  EXPECT_NE(text.find("prior info ----->\n\n Number of observations with non-zero weight =\t4\n"),
            std::string::npos);
  EXPECT_NEAR(record.parameters[1].sensitivity, std::sqrt(9.0 + 64.0 + 1.0) / 3, 1e-12);
  EXPECT_NEAR(record.parameters[3].sensitivity, std::sqrt(1.0 + 0.0 + 9.0) / 3, 1e-12);
}

}  // namespace
