// Tests of the upgrade vector: the scaled Marquardt solve, the optimum step length, and the
// move within bounds with its two kinds of freezing, on hand-built problems whose Jacobian
// is set directly.
#include "lm/upgrade.h"

#include <gtest/gtest.h>

#include <cmath>

#include "lm/lm_state.h"
#include "lm/lm_test_util.h"

namespace {

using lm_test::AddObservation;
using lm_test::AddParameter;
using lm_test::MakeRecord;

// A prepared search whose Jacobian rows are given; the base slot holds simulated values.
struct Problem {
  ProblemRecord record = MakeRecord();
  LmState state;

  void Prepare(const std::vector<std::vector<double>>& rows,
               const std::vector<double>& simulated) {
    state = PrepareLocalSearch(record, CurrentParameterValues(record), record.RLAMBDA1);
    for (size_t i = 0; i < rows.size(); ++i) {
      for (size_t j = 0; j < rows[i].size(); ++j) state.jacobian[i + 1][j + 1] = rows[i][j];
      record.observations[i + 1].simulated[kBaseSlot] = simulated[i];
    }
    ++state.jacobian_version;
    StartIterationOnBounds(record);
  }

  // The whole upgrade of one trial, as the engine makes it.
  UpgradeNotes Trial() {
    UpgradeNotes notes;
    const MarquardtSystem system = SystemOf(state);
    if (record.no_effect_count == 0) {
      ComputeUpgradeVector(system, record, state.upgrade, notes);
      if (record.no_effect_count == 0) {
        std::vector<int> all;
        for (long j = 1; j <= state.adjustable.size(); ++j) all.push_back(static_cast<int>(j));
        ScaleUpgradeVector(system, all, PriorValues(record), record, state.upgrade, notes);
      }
    }
    ApplyUpgradeWithBounds(system, record, state.upgrade, notes);
    return notes;
  }

  dvector PriorValues(const ProblemRecord&) { return dvector(0); }
  double value(int k) const { return record.parameters[k].value; }
};

TEST(UpgradeVector, LinearModelReachesTheLeastSquaresPointAfterScaling) {
  // y = 2p with p = 1, observed 10: r = 8, N = 4, mu = 4 lambda, u = 2r / (4 + 4 lambda);
  // the optimum step factor (1 + lambda) makes J u equal r.
  Problem problem;
  problem.record.RLAMBDA1 = 0.5;
  AddParameter(problem.record, "p", "none", 1.0, -100.0, 100.0);
  AddObservation(problem.record, "y", 10.0);
  problem.Prepare({{2.0}}, {2.0});
  UpgradeNotes notes;
  const MarquardtSystem system = SystemOf(problem.state);
  ComputeUpgradeVector(system, problem.record, problem.state.upgrade, notes);
  EXPECT_NEAR(problem.state.upgrade[1], 16.0 / 6.0, 1e-14);
  EXPECT_TRUE(notes.empty());
  problem.Prepare({{2.0}}, {2.0});
  problem.Trial();
  EXPECT_NEAR(problem.value(1), 5.0, 1e-13);
  EXPECT_NEAR(problem.state.upgrade[1], 4.0, 1e-13);
}

TEST(UpgradeVector, CrossingABoundFromInsideStopsOnItWithoutFreezing) {
  Problem problem;
  AddParameter(problem.record, "p", "none", 1.0, -100.0, 3.0);
  AddObservation(problem.record, "y", 10.0);
  problem.Prepare({{2.0}}, {2.0});
  const UpgradeNotes notes = problem.Trial();
  EXPECT_TRUE(notes.empty());
  EXPECT_EQ(problem.value(1), 3.0);
  EXPECT_NEAR(problem.state.upgrade[1], 2.0, 1e-13);  // the step shortened by the excess
  EXPECT_EQ(problem.record.parameters[1].at_upper, 1);
  EXPECT_EQ(problem.record.frozen_count, 0);
}

TEST(UpgradeVector, BoundPushingOutUpgradeAndGradientFreezesAndTheRestIsSolvedAgain) {
  // p1 sits on its upper bound and both its upgrade and the gradient point up; p2 is then
  // solved alone, which for one column is the least-squares step J2'r / J2'J2.
  Problem problem;
  AddParameter(problem.record, "p1", "none", 2.0, 0.0, 2.0);
  AddParameter(problem.record, "p2", "none", 1.0, -100.0, 100.0);
  AddObservation(problem.record, "y1", 5.0);
  AddObservation(problem.record, "y2", 4.0);
  problem.Prepare({{1.0, 0.0}, {1.0, 1.0}}, {1.0, 1.0});  // r = (4, 3)
  const UpgradeNotes notes = problem.Trial();
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_EQ(notes[0].kind, UpgradeNote::kFrozenGradientAndUpdate);
  EXPECT_EQ(notes[0].parameter, 1);
  EXPECT_EQ(problem.value(1), 2.0);
  EXPECT_EQ(problem.state.upgrade[1], 0.0);
  EXPECT_NEAR(problem.state.upgrade[2], 3.0, 1e-12);
  EXPECT_NEAR(problem.value(2), 4.0, 1e-12);
  EXPECT_EQ(problem.record.frozen_count, 1);
}

TEST(UpgradeVector, UpgradeOutButGradientInFreezesInTheSecondPass) {
  // J = [[1, 0], [1, 1]], r = (-1, 1.5): the gradient of p1 is 0.5 (inward from its lower
  // bound) while the coupled solve moves p1 down by about 1: frozen by the update alone.
  Problem problem;
  problem.record.RLAMBDA1 = 1e-6;
  AddParameter(problem.record, "p1", "none", 0.0, 0.0, 10.0);
  AddParameter(problem.record, "p2", "none", 1.0, -100.0, 100.0);
  AddObservation(problem.record, "y1", 0.0);
  AddObservation(problem.record, "y2", 2.5);
  problem.Prepare({{1.0, 0.0}, {1.0, 1.0}}, {1.0, 1.0});
  const UpgradeNotes notes = problem.Trial();
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_EQ(notes[0].kind, UpgradeNote::kFrozenUpdate);
  EXPECT_EQ(problem.value(1), 0.0);
  EXPECT_EQ(problem.state.upgrade[1], 0.0);
  EXPECT_NEAR(problem.value(2), 2.5, 1e-9);  // p2 alone: y2 = p1 + p2 fitted exactly
}

TEST(UpgradeVector, EveryParameterFrozenOrWithoutEffectSkipsTheResolve) {
  Problem problem;
  AddParameter(problem.record, "p1", "none", 2.0, 0.0, 2.0);
  AddParameter(problem.record, "p2", "none", 1.0, -100.0, 100.0);
  AddObservation(problem.record, "y1", 5.0);
  problem.Prepare({{1.0, 0.0}}, {1.0});
  // p2's column is zero and it was found without effect before the trial.
  problem.record.parameters[2].no_effect = 1;
  problem.record.no_effect_count = 1;
  problem.Trial();
  EXPECT_EQ(problem.record.frozen_count + problem.record.no_effect_count, 2);
  EXPECT_EQ(problem.value(1), 2.0);
  EXPECT_EQ(problem.value(2), 1.0);
}

TEST(UpgradeVector, UnmarkedZeroColumnIsLeftOutInsteadOfDividingByZero) {
  Problem problem;
  AddParameter(problem.record, "p1", "none", 1.0, -100.0, 100.0);
  AddParameter(problem.record, "p2", "none", 1.0, -100.0, 100.0);
  AddObservation(problem.record, "y1", 10.0);
  problem.Prepare({{2.0, 0.0}}, {2.0});
  const UpgradeNotes notes = problem.Trial();
  ASSERT_FALSE(notes.empty());
  EXPECT_EQ(notes[0].kind, UpgradeNote::kNoWeightedSensitivity);
  EXPECT_EQ(notes[0].parameter, 2);
  EXPECT_EQ(problem.record.parameters[2].no_effect, 1);
  EXPECT_EQ(problem.state.upgrade[2], 0.0);
  EXPECT_NEAR(problem.value(1), 5.0, 1e-12);  // p1 alone reaches y1 = 10
}

TEST(UpgradeVector, ZeroStepLengthDenominatorLeavesAFiniteZeroStep) {
  Problem problem;
  AddParameter(problem.record, "p", "none", 1.0, -100.0, 100.0);
  AddObservation(problem.record, "y", 2.0);
  problem.Prepare({{2.0}}, {2.0});  // r = 0: the solve gives u = 0 and J u = 0
  const UpgradeNotes notes = problem.Trial();
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_EQ(notes[0].kind, UpgradeNote::kStepLengthUndefined);
  EXPECT_EQ(problem.state.upgrade[1], 0.0);
  EXPECT_EQ(problem.value(1), 1.0);
}

TEST(StartIterationOnBounds, SnapsWithin1e8AndFlagsOnlyValuesOnABound) {
  ProblemRecord record = MakeRecord();
  AddParameter(record, "near_upper", "none", 1.0 - 0.5e-8, 0.0, 1.0);
  AddParameter(record, "inside_upper", "none", 1.0 - 2e-8, 0.0, 1.0);
  AddParameter(record, "near_lower", "none", 0.5e-8, 0.0, 1.0);
  record.parameters[1].frozen = record.parameters[1].no_effect = 1;
  record.frozen_count = record.no_effect_count = 1;
  StartIterationOnBounds(record);
  EXPECT_EQ(record.parameters[1].value, 1.0);
  EXPECT_EQ(record.parameters[1].at_upper, 1);
  EXPECT_EQ(record.parameters[2].value, 1.0 - 2e-8);
  EXPECT_EQ(record.parameters[2].at_upper, 0);
  EXPECT_EQ(record.parameters[3].value, 0.0);
  EXPECT_EQ(record.parameters[3].at_lower, 1);
  EXPECT_EQ(record.parameters[1].frozen + record.parameters[1].no_effect, 0);
  EXPECT_EQ(record.frozen_count + record.no_effect_count, 0);
}

}  // namespace
