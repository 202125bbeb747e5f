// Tests of the termination rules, the lambda-stop tests and the lambda update, with their
// messages on the screen and in the record file.
#include "lm/termination.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lm/lm_test_util.h"

namespace {

using lm_test::Captured;
using lm_test::MakeRecord;

dvector Values(const std::vector<double>& values) {
  dvector v(static_cast<long>(values.size()));
  for (size_t i = 0; i < values.size(); ++i) v[static_cast<long>(i) + 1] = values[i];
  return v;
}

TEST(TerminationTests, EachRuleFiresAtItsIterationWithItsMessageOnScreenAndRecord) {
  struct Case {
    const char* name;
    std::vector<double> history;  // phi at the start of iterations 1..n
    double phi;
    int best_iteration, small_changes;
    const char* message;  // first line, or "" when no rule holds
  };
  const Case cases[] = {
      {"phi exactly 0", {0.0}, 0.0, 0, 0, "Optimization complete: the objective function equals zero\n"},
      {"phi small but not 0", {5.0}, 1e-29, 0, 0, ""},
      // With lowest phi 1.0, 1.004 is within 0.005 and 1.2 is not: two close entries.
      {"two lowest phis close", {1.2, 1.004, 1.0}, 1.0, 2, 0, ""},
      {"three lowest phis close", {1.004, 1.003, 1.0}, 1.0, 2,  0,
       "Optimization complete: the  3 lowest phi's are within a relative distance\n"},
      // Lowest phi reached in iteration 3 (b = 3): 5 - 3 is not above 2, 6 - 3 is.
      {"no reduction, iteration 5", {9, 8, 7, 6, 6.5}, 6.5, 3, 0, ""},
      {"no reduction, iteration 6", {9, 8, 7, 6, 6.5, 6.6}, 6.6, 3, 0,
       "Optimization complete:   2 optimization iterations have elapsed since lowest\n"},
      {"small changes", {9, 8}, 8.0, 1, 3,
       "Optimization complete: relative parameter change less than 0.001000\n"},
  };
  for (const Case& c : cases) {
    ProblemRecord record = MakeRecord();
    record.PHIREDSTP = 0.005;
    record.NPHISTP = 3;
    record.NPHINORED = 2;
    record.RELPARSTP = 0.001;
    record.NRELPAR = 3;
    const dvector history = Values(c.history);
    double lowest = c.history[0];
    for (double h : c.history) lowest = std::min(lowest, h);
    TerminationInput in;
    in.n = static_cast<int>(c.history.size());
    in.best_iteration = c.best_iteration;
    in.small_change_count = c.small_changes;
    in.history = &history;
    in.lowest_phi = lowest;
    in.phi = c.phi;
    in.model_calls = 42;
    Captured out;
    const bool stopped = TerminationTests(in, record, out.rec());
    out.Finish();
    EXPECT_EQ(stopped, c.message[0] != '\0') << c.name;
    if (!stopped) {
      EXPECT_EQ(out.screen() + out.record(), "") << c.name;
      continue;
    }
    EXPECT_EQ(out.screen().rfind(c.message, 0), 0u) << c.name << "\n" << out.screen();
    EXPECT_EQ(out.screen(), out.record()) << c.name;
    const std::string tail = "Total Model Calls:\t42\n";
    EXPECT_EQ(out.screen().substr(out.screen().size() - tail.size()), tail) << c.name;
  }
}

TEST(TerminationTests, OneLowestPhiStopsAtTheFirstIteration) {
  ProblemRecord record = MakeRecord();
  record.NPHISTP = 1;
  record.NPHINORED = 100;
  record.NRELPAR = 100;
  const dvector history = Values({3.0});
  TerminationInput in;
  in.n = 1;
  in.history = &history;
  in.lowest_phi = in.phi = 3.0;
  Captured out;
  EXPECT_TRUE(TerminationTests(in, record, out.rec()));
  out.Finish();
}

TEST(LambdaStopTests, ChooseTheTrialByTheFirstRuleThatHolds) {
  struct Case {
    const char* name;
    std::vector<double> trials;
    int numlam;
    int chosen;
    const char* message;
  };
  // Starting phi 10; PHIRATSUF 0.3 (phi 3 or less ends), PHIREDLAM 0.01.
  const Case cases[] = {
      {"first trial, nothing holds", {8.0}, 10, 0, ""},
      {"trial limit", {8.0, 7.0}, 2, 2, "No more lambdas: allowed lambdas per iteration =  2\n\n"},
      {"phi well below start", {8.0, 2.5}, 10, 2,
       "No more lambdas: phi is less than 0.300000 of starting phi\n\n"},
      {"second trial rising goes on", {8.0, 9.0}, 10, 0, ""},
      {"third trial rising", {8.0, 7.0, 7.5}, 10, 2, "No more lambdas: phi rising\n\n"},
      {"small reduction", {8.0, 7.99}, 10, 2,
       "No more lambdas: relative phi reduction between lambdas less than 0.010000\n\n"},
      {"equal lowest phis choose the later", {8.0, 7.0, 7.0}, 3, 3,
       "No more lambdas: allowed lambdas per iteration =  3\n\n"},
      {"no usable phi chooses trial 1", {2e30, 3e30}, 2, 1,
       "No more lambdas: allowed lambdas per iteration =  2\n\n"},
  };
  for (const Case& c : cases) {
    ProblemRecord record = MakeRecord();
    record.NUMLAM = c.numlam;
    const dvector trials = Values(c.trials);
    Captured out;
    const int chosen = LambdaStopTests(out.rec(), 10.0, static_cast<int>(c.trials.size()),
                                       trials, record);
    out.Finish();
    EXPECT_EQ(chosen, c.chosen) << c.name;
    EXPECT_EQ(out.screen(), c.message) << c.name;
    EXPECT_EQ(out.record(), c.message) << c.name;
  }
}

TEST(UpdateLambda, LowersRaisesAndReversesByThePhiOfTheTrials) {
  struct Case {
    const char* name;
    std::vector<double> trials;
    double lambda, previous, starting;
    double next_lambda;
    int reversal;
  };
  const Case cases[] = {
      {"first trial lowers", {5.0}, 1.0, 1.0, 1.0, 0.5, 0},
      {"gain after lowering lowers again", {5.0, 4.0}, 0.5, 1.0, 1.0, 0.25, 0},
      {"gain after raising raises again", {5.0, 4.0}, 2.0, 1.0, 1.0, 4.0, 0},
      {"no gain below the start reverses", {5.0, 6.0}, 0.5, 1.0, 1.0, 2.0, 1},
      {"no gain above the start raises", {5.0, 6.0}, 2.0, 1.0, 1.0, 4.0, 0},
  };
  for (const Case& c : cases) {
    ProblemRecord record = MakeRecord();
    record.RLAMBDA1 = c.lambda;
    double previous = c.previous;
    int reversal = 0;
    const dvector trials = Values(c.trials);
    const int t = static_cast<int>(c.trials.size());
    UpdateLambda(c.starting, previous, reversal, trials[t], trials, t, record);
    EXPECT_DOUBLE_EQ(record.RLAMBDA1, c.next_lambda) << c.name;
    EXPECT_EQ(reversal, c.reversal) << c.name;
    EXPECT_EQ(previous, c.lambda) << c.name;
  }
}

}  // namespace
