// Tests of the secant correction of the Jacobian: when the trials update it, the rank-one
// update along the step taken, and the zero step that must leave it alone.
#include "lm/secant_update.h"

#include <gtest/gtest.h>

#include "lm/lm_test_util.h"

namespace {

using lm_test::AddObservation;
using lm_test::AddParameter;
using lm_test::MakeRecord;

TEST(BroydenUpdateDue, SecantModeFromTheSecondIterationUnlessAFullUpdateWasMade) {
  struct Case {
    int slmmode, slmfullupd, n;
    double phiratio;
    bool due;
  };
  // SLMFULLRAT 0.9: a ratio of 0.95 made a full update (no trial updates), 0.5 did not; at
  // exactly 0.9 the chosen columns were refreshed and the trials still do not update.
  const Case cases[] = {{0, 0, 2, 0.5, false}, {1, 0, 1, 0.5, false}, {1, 0, 2, 0.95, true},
                        {1, 1, 2, 0.95, false}, {1, 1, 2, 0.5, true},  {1, 1, 2, 0.9, false}};
  for (const Case& c : cases) {
    ProblemRecord record = MakeRecord();
    record.SLMMODE = c.slmmode;
    record.SLMFULLUPD = c.slmfullupd;
    record.SLMFULLRAT = 0.9;
    record.PHIRATIO = c.phiratio;
    EXPECT_EQ(BroydenUpdateDue(record, c.n), c.due)
        << c.slmmode << " " << c.slmfullupd << " " << c.n << " " << c.phiratio;
  }
}

// y1 = 2 p1 + p2 and y2 = p1 - 3 p2 are linear: after one update along s the Jacobian times s
// equals the observed change exactly (up to rounding), whatever it held before. A prior item
// on p1 keeps its row, since its change is X s exactly.
TEST(BroydenUpdate, LinearModelChangeAlongTheStepIsReproduced) {
  ProblemRecord record = MakeRecord();
  Parameter& p1 = AddParameter(record, "p1", "none", 1.5, -10.0, 10.0);
  p1.previous_value = 1.0;
  Parameter& p2 = AddParameter(record, "p2", "log", 0.25, -10.0, 10.0);
  p2.previous_value = 0.5;  // the step of a log parameter is taken on its logarithm
  AddObservation(record, "y1", 0.0);
  AddObservation(record, "y2", 0.0);
  record.NPRIOR = 1;
  const double s[3] = {0.0, 0.5, -0.25};
  auto model = [](double a, double b, int i) { return i == 1 ? 2 * a + b : a - 3 * b; };
  for (int i = 1; i <= 2; ++i) {
    record.observations[i].simulated[kBaseSlot] = model(1.0, 0.5, i);
    record.observations[i].simulated[kFirstPerturbedSlot] = model(1.5, 0.25, i);
  }
  const ivector adjustable = AdjustableList(record);
  matrix jacobian(1, 3, 1, 2), prior(1, 1, 1, 2);
  jacobian[1][1] = 1.0;  // a poor Jacobian: (1, 0; 0, 1), prior row (1, 0)
  jacobian[2][2] = 1.0;
  jacobian[3][1] = prior[1][1] = 1.0;
  ASSERT_TRUE(BroydenUpdate(record, adjustable, prior, jacobian));
  for (int i = 1; i <= 2; ++i) {
    const double predicted = jacobian[i][1] * s[1] + jacobian[i][2] * s[2];
    const double observed = model(1.5, 0.25, i) - model(1.0, 0.5, i);
    EXPECT_NEAR(predicted, observed, 1e-14) << i;
  }
  EXPECT_EQ(jacobian[3][1], 1.0);
  EXPECT_EQ(jacobian[3][2], 0.0);
}

TEST(BroydenUpdate, ZeroStepLeavesTheJacobianAsItWas) {
  ProblemRecord record = MakeRecord();
  AddParameter(record, "p", "none", 2.0, -10.0, 10.0).previous_value = 2.0;
  AddObservation(record, "y", 0.0).simulated[kFirstPerturbedSlot] = 5.0;
  matrix jacobian(1, 1, 1, 1), prior;
  jacobian[1][1] = 3.0;
  EXPECT_FALSE(BroydenUpdate(record, AdjustableList(record), prior, jacobian));
  EXPECT_EQ(jacobian[1][1], 3.0);
}

}  // namespace
