// Tests of the engine state's restart: what SaveEngineState writes of the state and the
// record, RestoreEngineState puts back in their places, a file read ahead (before the tool
// opens its output files) and then taken gives the search the same state, and a refused
// restart file leaves the problem record as it was.
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

// A secant-mode problem of two parameters and two observations.
ProblemRecord TwoByTwo() {
  ProblemRecord record = MakeRecord();
  record.SLMMODE = 1;
  AddParameter(record, "a", "none", 2.0, 0.0, 10.0);
  AddParameter(record, "b", "none", 3.0, 0.0, 10.0);
  AddObservation(record, "y1", 1.0);
  AddObservation(record, "y2", 2.0);
  return record;
}

TEST(EngineState, RestoreAndTakeGiveBackWhatSaveWroteAndARefusedFileLeavesTheRecord) {
  TempDir dir;
  OutputNames names;
  FilesNamesForWrite("case", names);
  ProblemRecord saved = TwoByTwo();
  LmState state = PrepareLocalSearch(saved, CurrentParameterValues(saved), 0.5);
  state.n = 3;
  state.phi = 4.0;
  state.starting_phi = 8.0;
  state.history[1] = 9.0;
  state.history[2] = 4.0;
  state.jacobian(2, 1) = 1.5;
  state.jacobian(1, 2) = -2.5;
  state.cyclic_position = 2;
  state.model_calls = 17;
  saved.parameters[1].value = 1.25;
  saved.parameters[2].value = 3.5;
  saved.observations[2].simulated[kBaseSlot] = 9.0;
  saved.observations[1].simulated[kFirstPerturbedSlot] = 7.0;
  saved.observation_groups[1].phi = 4.0;
  ASSERT_EQ(SaveEngineState(state, saved, names), 0);
  EXPECT_EQ(state.jacobian(2, 1), 1.5);  // lent to the writer and given back

  ProblemRecord restored = TwoByTwo();
  LmState resumed = PrepareLocalSearch(restored, CurrentParameterValues(restored), 0.01);
  ASSERT_EQ(RestoreEngineState(resumed, restored, names), 0);
  EXPECT_EQ(resumed.n, 3);
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

  ProblemRecord ahead = TwoByTwo();
  RestartRecord read;
  ASSERT_EQ(ReadRestartFile(read, ahead, names), 0);
  LmState taken = PrepareLocalSearch(ahead, CurrentParameterValues(ahead), 0.01);
  TakeEngineState(read, taken, ahead);
  EXPECT_EQ(taken.n, resumed.n);
  EXPECT_EQ(taken.phi, resumed.phi);
  EXPECT_EQ(taken.cyclic_position, 2);
  EXPECT_EQ(taken.jacobian(1, 2), -2.5);
  EXPECT_EQ(taken.history.size(), resumed.history.size());
  EXPECT_EQ(taken.history[2], 4.0);
  EXPECT_EQ(ahead.parameters[1].value, 1.25);
  EXPECT_EQ(ahead.RLAMBDA1, restored.RLAMBDA1);
  EXPECT_GT(taken.jacobian_version, 0);

  // The last item unreadable: everything before it was read, none of it is taken.
  const std::string text = ReadFile("case.rst");
  WriteFile("case.rst", text.substr(0, text.rfind('\n', text.size() - 2) + 1) + "x\n");
  ProblemRecord refused = TwoByTwo();
  LmState refused_state = PrepareLocalSearch(refused, CurrentParameterValues(refused), 0.01);
  testing::internal::CaptureStdout();
  EXPECT_EQ(RestoreEngineState(refused_state, refused, names), 1);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("the cyclic position"),
            std::string::npos);
  EXPECT_EQ(refused.RLAMBDA1, 0.01);
  EXPECT_EQ(refused.parameters[2].value, 3.0);
  EXPECT_EQ(refused.observations[2].simulated[kBaseSlot], 0.0);
}

}  // namespace
