// Tests of the Jacobian rules: perturbations, column choice, run counting and the parabola
// fit, on hand-built problem records. The Jacobian runs through the model are tested in
// model_run_test.cpp.
#include "pest/jacobian.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace {

Parameter MakeParameter(const char* transform, double value, double lower, double upper) {
  Parameter parameter;
  std::strcpy(parameter.PARNME, "p");
  SetParameterTransform(parameter, transform);
  std::strcpy(parameter.PARGP, "g");
  parameter.value = value;
  parameter.PARLBND = lower;
  parameter.PARUBND = upper;
  return parameter;
}

// A record of the given transforms ("none", "fixed", "tied", ...), one group per FORCEN
// word in forcen (groups g1, g2, ...), parameter i in group groups_of[i - 1].
ProblemRecord MakeRecord(const std::vector<const char*>& transforms,
                         const std::vector<const char*>& forcen = {"always_2"},
                         const std::vector<int>& groups_of = {}) {
  ProblemRecord record;
  record.NPARGP = static_cast<int>(forcen.size());
  record.groups.resize(forcen.size() + 1);
  for (size_t g = 1; g <= forcen.size(); ++g) {
    std::snprintf(record.groups[g].PARGPNME, kTextField, "g%zu", g);
    std::strcpy(record.groups[g].FORCEN, forcen[g - 1]);
    std::strcpy(record.groups[g].DERMTHD, "outside_pts");
  }
  record.NPAR = static_cast<int>(transforms.size());
  record.parameters.resize(transforms.size() + 1);
  for (size_t k = 1; k <= transforms.size(); ++k) {
    Parameter& parameter = record.parameters[k];
    parameter = MakeParameter(transforms[k - 1], 1.0, 0.0, 10.0);
    std::snprintf(parameter.PARNME, kTextField, "p%zu", k);
    const int group = groups_of.empty() ? 1 : groups_of[k - 1];
    std::snprintf(parameter.PARGP, kTextField, "g%d", group);
  }
  return record;
}

std::vector<int> Entries(const ivector& list) {
  std::vector<int> entries;
  for (long i = 1; i <= list.size(); ++i) entries.push_back(list[i]);
  return entries;
}

TEST(ForwardPerturbation, StepsOnePercentAndStaysInsideTheBounds) {
  EXPECT_NEAR(ForwardPerturbation(MakeParameter("none", 2.0, 0.0, 5.0)), 2.02, 1e-15);
  // +1 % would give 2.02 above the upper bound 2.01: the step goes down instead.
  EXPECT_NEAR(ForwardPerturbation(MakeParameter("none", 2.0, 0.0, 2.01)), 1.98, 1e-15);
  EXPECT_NEAR(ForwardPerturbation(MakeParameter("none", -4.0, -10.0, 0.0)), -3.96, 1e-15);
  Parameter at_upper = MakeParameter("none", 5.0, 0.0, 5.0);
  at_upper.at_upper = 1;
  EXPECT_NEAR(ForwardPerturbation(at_upper), 4.95, 1e-15);
  // Both steps leave the bounds: the lower bound is taken.
  EXPECT_EQ(ForwardPerturbation(MakeParameter("none", 1.0, 0.995, 1.005)), 0.995);
}

TEST(ForwardPerturbation, ParameterAtZeroUsesAFixedStep) {
  EXPECT_EQ(ForwardPerturbation(MakeParameter("none", 0.0, -1.0, 1.0)), 0.01);
  Parameter at_upper = MakeParameter("none", 0.0, -1.0, 0.0);
  at_upper.at_upper = 1;
  EXPECT_EQ(ForwardPerturbation(at_upper), -0.01);
  at_upper.PARLBND = -0.005;
  EXPECT_EQ(ForwardPerturbation(at_upper), -0.005);
  // 0.01 above the upper bound: -1 % of zero leaves the value where it was.
  EXPECT_EQ(ForwardPerturbation(MakeParameter("none", 0.0, -1.0, 0.005)), 0.0);
}

TEST(ForwardPerturbation, LogParameterMovesItsNaturalValue) {
  const double x = std::log10(2.0);
  EXPECT_NEAR(ForwardPerturbation(MakeParameter("log", x, -1.0, 1.0)), std::log10(2.02), 1e-15);
  EXPECT_NEAR(ForwardPerturbation(MakeParameter("log", x, -1.0, x)), std::log10(1.98), 1e-15);
  // A natural value below 1e-8 counts as zero: log10(0.01), or 2 at the upper bound.
  EXPECT_EQ(ForwardPerturbation(MakeParameter("log", -9.0, -12.0, 1.0)), std::log10(0.01));
  Parameter tiny_at_upper = MakeParameter("log", -9.0, -12.0, -9.0);
  tiny_at_upper.at_upper = 1;
  EXPECT_EQ(ForwardPerturbation(tiny_at_upper), 2.0);
  // 1e-8 itself is not zero.
  EXPECT_NEAR(ForwardPerturbation(MakeParameter("log", -8.0, -12.0, 1.0)),
              std::log10(1.01e-8), 1e-12);
}

TEST(ThreePointPerturbation, FollowsTheBoundFlags) {
  double x1 = 0, x2 = 0;
  ThreePointPerturbation(MakeParameter("none", 2.0, 0.0, 5.0), x1, x2);
  EXPECT_NEAR(x1, 2.02, 1e-15);
  EXPECT_NEAR(x2, 1.98, 1e-15);
  Parameter at_upper = MakeParameter("none", 2.0, 0.0, 2.0);
  at_upper.at_upper = 1;
  ThreePointPerturbation(at_upper, x1, x2);
  EXPECT_NEAR(x1, 1.98, 1e-15);
  EXPECT_NEAR(x2, 1.96, 1e-15);
  Parameter at_lower = MakeParameter("none", 2.0, 2.0, 5.0);
  at_lower.at_lower = 1;
  ThreePointPerturbation(at_lower, x1, x2);
  EXPECT_NEAR(x1, 2.02, 1e-15);
  EXPECT_NEAR(x2, 2.04, 1e-15);
}

TEST(ThreePointPerturbation, ChecksTheBoundsOnlyForACentralPair) {
  double x1 = 0, x2 = 0;
  // Above the upper bound: both points go down.
  ThreePointPerturbation(MakeParameter("none", 2.0, 0.0, 2.01), x1, x2);
  EXPECT_NEAR(x1, 1.98, 1e-15);
  EXPECT_NEAR(x2, 1.96, 1e-15);
  // Below the lower bound (after the first check): both points go up, x2 the nearer one.
  ThreePointPerturbation(MakeParameter("none", 2.0, 1.99, 2.01), x1, x2);
  EXPECT_NEAR(x1, 2.04, 1e-15);
  EXPECT_NEAR(x2, 2.02, 1e-15);
  ThreePointPerturbation(MakeParameter("none", 2.0, 1.99, 5.0), x1, x2);
  EXPECT_NEAR(x1, 2.04, 1e-15);
  EXPECT_NEAR(x2, 2.02, 1e-15);
}

TEST(ThreePointPerturbation, ParameterAtZero) {
  double x1 = 0, x2 = 0;
  ThreePointPerturbation(MakeParameter("none", 0.0, -1.0, 1.0), x1, x2);
  EXPECT_EQ(x1, 0.01);
  EXPECT_EQ(x2, -0.01);
  Parameter at_upper = MakeParameter("none", 0.0, -1.0, 0.0);
  at_upper.at_upper = 1;
  ThreePointPerturbation(at_upper, x1, x2);
  EXPECT_EQ(x1, -0.01);
  EXPECT_EQ(x2, -0.02);
  Parameter at_lower = MakeParameter("none", 0.0, 0.0, 1.0);
  at_lower.at_lower = 1;
  ThreePointPerturbation(at_lower, x1, x2);
  EXPECT_EQ(x1, 0.01);
  EXPECT_EQ(x2, 0.02);
}

TEST(ThreePointPerturbation, LogParameter) {
  double x1 = 0, x2 = 0;
  ThreePointPerturbation(MakeParameter("log", 0.0, -1.0, 1.0), x1, x2);
  EXPECT_NEAR(x1, std::log10(1.01), 1e-15);
  EXPECT_NEAR(x2, std::log10(0.99), 1e-15);
  ThreePointPerturbation(MakeParameter("log", -10.0, -12.0, 1.0), x1, x2);
  EXPECT_EQ(x1, -2.0);
  EXPECT_EQ(x2, 2.0);
  Parameter tiny_at_lower = MakeParameter("log", -10.0, -10.0, 1.0);
  tiny_at_lower.at_lower = 1;
  ThreePointPerturbation(tiny_at_lower, x1, x2);
  EXPECT_EQ(x1, -2.0);
  EXPECT_EQ(x2, std::log10(0.02));
}

TEST(ColumnChoice, FullUpdateAndSecantConditions) {
  ProblemRecord record = MakeRecord({"none"});
  record.SLMMODE = 0;
  EXPECT_TRUE(FullUpdateDue(record, 5));
  EXPECT_FALSE(SecantSelectionDue(record, 5));
  record.SLMMODE = 1;
  record.SLMNCOL = 2;
  record.SLMFULLUPD = 1;
  record.SLMFULLRAT = 0.9;
  EXPECT_TRUE(FullUpdateDue(record, 1));
  EXPECT_FALSE(SecantSelectionDue(record, 1));
  record.PHIRATIO = 0.95;  // phi fell too slowly: full update
  EXPECT_TRUE(FullUpdateDue(record, 2));
  EXPECT_FALSE(SecantSelectionDue(record, 2));
  record.PHIRATIO = 0.9;  // at the threshold the cyclic columns are refreshed
  EXPECT_FALSE(FullUpdateDue(record, 2));
  EXPECT_TRUE(SecantSelectionDue(record, 2));
  record.SLMFULLUPD = 0;
  record.PHIRATIO = 0.99;
  EXPECT_FALSE(FullUpdateDue(record, 2));
  EXPECT_TRUE(SecantSelectionDue(record, 2));
  record.SLMFULLUPD = 2;  // neither word: no list is made
  EXPECT_FALSE(SecantSelectionDue(record, 2));
}

TEST(SecantSelection, WalksCyclicallyAndWraps) {
  ProblemRecord record = MakeRecord({"none", "none", "none", "log", "none"});
  record.SLMNCOL = 2;
  int position = 4;
  EXPECT_EQ(Entries(SelectSecantColumns(record, position)), (std::vector<int>{5, 1}));
  EXPECT_EQ(position, 1);
  // Consecutive iterations from position 0: (1, 2), (3, 4), (5, 1).
  position = 0;
  EXPECT_EQ(Entries(SelectSecantColumns(record, position)), (std::vector<int>{1, 2}));
  EXPECT_EQ(Entries(SelectSecantColumns(record, position)), (std::vector<int>{3, 4}));
  EXPECT_EQ(Entries(SelectSecantColumns(record, position)), (std::vector<int>{5, 1}));
  // A position at or past NPAR starts at parameter 1.
  position = 7;
  EXPECT_EQ(Entries(SelectSecantColumns(record, position)), (std::vector<int>{1, 2}));
}

TEST(SecantSelection, LargestPositionStartsAtParameterOneWithoutOverflow) {
  ProblemRecord record = MakeRecord({"none", "none", "none"});
  record.SLMNCOL = 2;
  int position = std::numeric_limits<int>::max();
  EXPECT_EQ(Entries(SelectSecantColumns(record, position)), (std::vector<int>{1, 2}));
  EXPECT_EQ(position, 2);
  position = std::numeric_limits<int>::min();
  EXPECT_EQ(Entries(SelectSecantColumns(record, position)), (std::vector<int>{1, 2}));
}

TEST(SecantSelection, SkipsFixedAndTiedAndRepeatsOnFurtherLaps) {
  ProblemRecord record = MakeRecord({"none", "fixed", "tied", "none"});
  record.SLMNCOL = 5;
  int position = 0;
  EXPECT_EQ(Entries(SelectSecantColumns(record, position)),
            (std::vector<int>{1, 4, 1, 4, 1}));
  EXPECT_EQ(position, 1);
}

TEST(SecantSelection, WithoutAdjustableParametersTakesNothingAndEnds) {
  ProblemRecord record = MakeRecord({"fixed", "tied"});
  record.SLMNCOL = 2;
  int position = 1;
  EXPECT_EQ(Entries(SelectSecantColumns(record, position)),
            (std::vector<int>{kUnfilledSelection, kUnfilledSelection}));
  EXPECT_EQ(position, 1);
  record.SLMNCOL = -3;
  EXPECT_EQ(SelectSecantColumns(record, position).size(), 0);
}

TEST(CountJacobianRuns, ByGroupAndSwitchFlag) {
  ProblemRecord record = MakeRecord({"none", "none", "none"}, {"always_2", "always_3", "switch"},
                                    {1, 2, 3});
  const ivector none;
  EXPECT_EQ(CountJacobianRuns(record, 0, none, 1), 4);
  EXPECT_EQ(CountJacobianRuns(record, 1, none, 1), 5);
  // Fixed, tied and (when NUMIW > 0) iw parameters make no runs.
  record = MakeRecord({"none", "fixed", "tied", "none", "none"}, {"always_3"});
  record.parameters[5].iw_flag = 1;
  EXPECT_EQ(CountJacobianRuns(record, 0, none, 1), 6);
  record.NUMIW = 1;
  EXPECT_EQ(CountJacobianRuns(record, 0, none, 1), 4);
}

TEST(CountJacobianRuns, UnknownWordsAndUnlistedGroups) {
  // An unknown FORCEN word counts two runs; a group that is not listed makes none.
  ProblemRecord record = MakeRecord({"none", "none"}, {"sometimes"}, {1, 2});
  EXPECT_EQ(CountJacobianRuns(record, 0, ivector(), 1), 2);
}

TEST(CountJacobianRuns, SecantListCountsEveryValidEntry) {
  ProblemRecord record = MakeRecord({"none", "none", "none"}, {"always_2", "always_3"},
                                    {1, 2, 1});
  record.SLMMODE = 1;
  record.SLMNCOL = 4;
  ivector selection(4);
  selection[1] = 2;
  selection[2] = 3;
  selection[3] = 2;
  selection[4] = kUnfilledSelection;
  EXPECT_EQ(CountJacobianRuns(record, 0, selection, 2), 5);
  EXPECT_EQ(CountJacobianRuns(record, 0, selection, 1), 4);  // full update in iteration 1
}

TEST(FindParameterGroup, FirstMatchOrZero) {
  ProblemRecord record = MakeRecord({"none"}, {"always_2", "always_3"});
  EXPECT_EQ(FindParameterGroup(record, "g2"), 2);
  EXPECT_EQ(FindParameterGroup(record, "g3"), 0);
  std::strcpy(record.groups[2].PARGPNME, "g1");
  EXPECT_EQ(FindParameterGroup(record, "g1"), 1);
  record.NPARGP = 7;  // more groups counted than stored: only the stored ones are read
  EXPECT_EQ(FindParameterGroup(record, "g9"), 0);
}

TEST(DifferencingFor, ForcenTable) {
  ParameterGroup group;
  std::strcpy(group.FORCEN, "always_2");
  EXPECT_EQ(DifferencingFor(group, 1), Differencing::kForward);
  std::strcpy(group.FORCEN, "always_3");
  EXPECT_EQ(DifferencingFor(group, 0), Differencing::kThreePoint);
  std::strcpy(group.FORCEN, "switch");
  EXPECT_EQ(DifferencingFor(group, 0), Differencing::kForward);
  EXPECT_EQ(DifferencingFor(group, 1), Differencing::kThreePoint);
  std::strcpy(group.FORCEN, "Switch");
  EXPECT_EQ(DifferencingFor(group, 1), Differencing::kNone);
}

TEST(FitParabola, RecoversCoefficientsAndRefusesRepeatedPoints) {
  const double x[3] = {0.98, 1.0, 1.02};
  double y[3];
  for (int i = 0; i < 3; ++i) y[i] = 3.0 * x[i] * x[i] - 2.0 * x[i] + 0.5;
  double a = 0, b = 0, c = 0;
  ASSERT_EQ(FitParabola(x, y, a, b, c), 0);
  EXPECT_NEAR(a, 3.0, 1e-9);
  EXPECT_NEAR(b, -2.0, 1e-9);
  EXPECT_NEAR(c, 0.5, 1e-9);
  const double repeated[3] = {1.0, 1.0, 2.0};
  a = b = c = 42.0;
  EXPECT_EQ(FitParabola(repeated, y, a, b, c), 1);
  EXPECT_EQ(a, 42.0);
  EXPECT_EQ(b, 42.0);
  EXPECT_EQ(c, 42.0);
  const double not_finite[3] = {1.0, NAN, 2.0};
  EXPECT_EQ(FitParabola(not_finite, y, a, b, c), 1);
}

}  // namespace
