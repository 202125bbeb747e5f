// When a Levenberg-Marquardt search stops: the termination tests at the start of every
// iteration (one function per rule, each writing its own message when it fires), the tests
// that end a lambda search and choose its trial, and the rule that moves lambda from one
// trial to the next. Called by the engine; nothing here keeps state.
#pragma once

#include <cstdio>

#include "numeric/numeric.h"
#include "pest/problem.h"

// What the termination rules look at, at the start of iteration n.
struct TerminationInput {
  int n = 0;
  int best_iteration = 0;      // iteration whose run gave the lowest phi (0: the initial run)
  int small_change_count = 0;  // successive iterations with a small relative change
  const dvector* history = nullptr;  // phi at the start of iterations 1..n
  double lowest_phi = 0.0;
  double phi = 0.0;
  long model_calls = 0;
};

// Each rule returns whether it holds; when it does it writes its message and the model
// calls, first to the screen and then to the record file (which may be null).
bool PhiIsZero(const TerminationInput& in, const ProblemRecord& record, std::FILE* rec);
bool LowestPhisAreClose(const TerminationInput& in, const ProblemRecord& record,
                        std::FILE* rec);
bool NoRecentPhiReduction(const TerminationInput& in, const ProblemRecord& record,
                          std::FILE* rec);
bool ParametersHardlyChange(const TerminationInput& in, const ProblemRecord& record,
                            std::FILE* rec);
// The four rules in order; true when one of them stops the search.
bool TerminationTests(const TerminationInput& in, const ProblemRecord& record, std::FILE* rec);

// The trial among 1..t with the lowest phi, the later one among equals. When no phi is at or
// below 1e30 (every trial failed to give a usable phi) trial 1 is taken, so that a search
// always ends with a trial chosen.
int BestTrial(const dvector& trial_phi, int t);

// After trial t: the number of the chosen trial when the lambda search ends (writing why,
// to the screen and then to the record file), 0 when another lambda is to be tried.
int LambdaStopTests(std::FILE* rec, double starting_phi, int t, const dvector& trial_phi,
                    const ProblemRecord& record);

// Sets RLAMBDA1 for the next trial (or iteration) from the iteration's starting lambda L0,
// the previous trial's lambda (updated), the phi just reached and the trials' phi 1..t.
// reversal becomes 1 when lowering lambda from L0 brought no gain and lambda turns upward.
void UpdateLambda(double starting_lambda, double& previous_lambda, int& reversal, double phi,
                  const dvector& trial_phi, int t, ProblemRecord& record);
