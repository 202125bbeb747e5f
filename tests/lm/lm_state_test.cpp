// Tests of the engine state's restart: what SaveEngineState writes of the state and the
// record, RestoreEngineState puts back in their places, and a refused restart file leaves
// the problem record as it was.
#include "lm/lm_state.h"

#include <gtest/gtest.h>

#include <string>

#include "lm/lm_test_util.h"

namespace {

using lm_test::AddObservation;
using lm_test::AddParameter;
using lm_test::MakeRecord;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

ProblemRecord TwoByTwo() {
  ProblemRecord record = MakeRecord();
  AddParameter(record, "a", "none", 2.0, 0.0, 10.0);
  AddParameter(record, "b", "none", 3.0, 0.0, 10.0);
  AddObservation(record, "y1", 1.0);
  AddObservation(record, "y2", 2.0);
  return record;
}

TEST(EngineState, RestoreTakesBackWhatSaveWroteAndARefusedFileLeavesTheRecord) {
  TempDir dir;
  OutputNames names;
  FilesNamesForWrite("case", names);
  ProblemRecord saved = TwoByTwo();
  LmState state = PrepareLocalSearch(saved, CurrentParameterValues(saved), 0.5);
  state.n = 2;
  state.phi = 4.0;
  state.starting_phi = 8.0;
  state.jacobian(2, 1) = 1.5;
  state.model_calls = 17;
  saved.SLMMODE = 1;
  saved.parameters[2].value = 3.5;
  saved.observations[2].simulated[kBaseSlot] = 9.0;
  saved.observations[1].simulated[kFirstPerturbedSlot] = 7.0;
  saved.observation_groups[1].phi = 4.0;
  ASSERT_EQ(SaveEngineState(state, saved, names), 0);
  EXPECT_EQ(state.jacobian(2, 1), 1.5);  // lent to the writer and given back

  ProblemRecord restored = TwoByTwo();
  LmState resumed = PrepareLocalSearch(restored, CurrentParameterValues(restored), 0.01);
  ASSERT_EQ(RestoreEngineState(resumed, restored, names), 0);
  EXPECT_EQ(resumed.n, 2);
  EXPECT_EQ(resumed.jacobian(2, 1), 1.5);
  EXPECT_EQ(resumed.model_calls, 17);
  EXPECT_GE(resumed.history.size(), restored.NOPTMAX + 1);
  EXPECT_EQ(restored.SLMMODE, 1);
  EXPECT_EQ(restored.PHIRATIO, 0.5);
  EXPECT_EQ(restored.RLAMBDA1, 0.5);
  EXPECT_EQ(restored.parameters[2].value, 3.5);
  EXPECT_EQ(restored.observations[2].simulated[kBaseSlot], 9.0);
  EXPECT_EQ(restored.observations[1].simulated[kFirstPerturbedSlot], 7.0);
  EXPECT_EQ(restored.observation_groups[1].phi, 4.0);

  // The last item unreadable: everything before it was read, none of it is taken.
  const std::string text = ReadFile("case.rst");
  WriteFile("case.rst", text.substr(0, text.rfind('\n', text.size() - 2) + 1) + "x\n");
  ProblemRecord refused = TwoByTwo();
  LmState refused_state = PrepareLocalSearch(refused, CurrentParameterValues(refused), 0.01);
  testing::internal::CaptureStdout();
  EXPECT_EQ(RestoreEngineState(refused_state, refused, names), 1);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("the cyclic position"),
            std::string::npos);
  EXPECT_EQ(refused.SLMMODE, 0);
  EXPECT_EQ(refused.RLAMBDA1, 0.01);
  EXPECT_EQ(refused.parameters[2].value, 3.0);
  EXPECT_EQ(refused.observations[2].simulated[kBaseSlot], 0.0);
}

}  // namespace
