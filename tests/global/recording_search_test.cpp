// Tests of the recording local search: the points it records, the stop near an earlier
// trajectory (and never with LSDISTMIN 0), and the distance that leaves out parameters that
// cannot tell points apart.
#include "global/recording_search.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "global/global_problem.h"
#include "global/method_run.h"
#include "lm/lm_test_util.h"
#include "lm/pest_case.h"
#include "support/test_support.h"

namespace {

using lm_test::Occurrences;
using lm_test::PestCase;
using testing_support::FileExists;
using testing_support::ReadFile;
using testing_support::TempDir;

PestCase DecayCase(double lsdistmin) {
  PestCase c;
  c.parameters = {{"a", "none", 1.0, 0.0, 10.0}, {"b", "none", 1.0, 0.0, 2.0},
                  {"f", "fixed", 3.0, 3.0, 3.0}};
  for (int x = 0; x <= 5; ++x) {
    c.observations.push_back({"$1 * exp(-$2 * " + std::to_string(x) + ") + 0 * $3",
                              3.0 * std::exp(-0.4 * x) + 0.01 * (x % 3 - 1)});
  }
  c.lsdistmin = lsdistmin;
  c.nphistp = c.nphinored = c.nrelpar = 100;
  c.noptmax = 6;
  return c;
}

struct Searched {
  short status = -1;
  long model_calls = 0;
  int points = 0;
  std::string rec;
};

// One recording search from the control file's start after the given earlier points.
Searched Search(const PestCase& c, const std::vector<dvector>& earlier) {
  c.Write();
  std::vector<std::string> words = {"tarne", "-mlsl", "case"};
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  tarne::mpi_setup partition;
  GlobalProblem problem;
  Searched result;
  ::testing::internal::CaptureStdout();
  EXPECT_TRUE(LoadGlobalProblem(&partition, 3, argv.data(), "slm_kor_mlsl", problem).go_on);
  Trajectory trajectory(true);
  ProblemRecord& record = problem.record;
  const dvector start = CurrentParameterValues(record);
  for (const dvector& point : earlier) trajectory.Add(point);
  trajectory.Add(start);
  LmContext context = problem.Context(false);
  LmState state = PrepareLocalSearch(record, start, problem.control_lambda);
  result.status = RunRecordingSearch(context, state, trajectory, result.model_calls);
  ::testing::internal::GetCapturedStdout();
  problem.files.Close();
  result.points = trajectory.size();
  result.rec = ReadFile("case.rec");
  if (!earlier.empty() || trajectory.size() < 1) return result;
  // The start point carries the initial phi; every later point one completed iteration.
  EXPECT_GT(trajectory.objective(1), 0.0);
  return result;
}

TEST(RecordingSearch, RecordsOnePointPerCompletedIterationAndNoJacobianFile) {
  TempDir dir;
  const Searched s = Search(DecayCase(0.0), {});
  EXPECT_EQ(s.status, 0);
  const int iterations = Occurrences(s.rec, "OPTIMIZATION ITERATION NO.");
  EXPECT_EQ(s.points, 1 + iterations - 1);  // the start, then iterations 2..n
  EXPECT_GT(iterations, 2);
  EXPECT_FALSE(FileExists("jac.txt"));
  // The search ended at its iteration limit, whose final run is not counted.
  EXPECT_NE(s.rec.find("Maximum number of optimization iterations"), std::string::npos);
  EXPECT_EQ(s.model_calls, lm_test::LastModelCalls(s.rec));
}

TEST(RecordingSearch, StopsAtTheSecondIterationNearItsOwnStartAndNeverWithDistanceZero) {
  TempDir dir;
  const Searched near = Search(DecayCase(10.0), {});
  EXPECT_EQ(near.status, 0);
  EXPECT_EQ(Occurrences(near.rec, "OPTIMIZATION ITERATION NO."), 1);
  EXPECT_EQ(near.rec.find("Optimization complete"), std::string::npos);
  EXPECT_NE(near.rec.find("The model has been run one final time"), std::string::npos);
  EXPECT_EQ(near.points, 2);
  // An earlier trajectory far from this search's path does not stop it.
  const Searched far = Search(DecayCase(0.05), global_test::Points({{10.0, 2.0, 3.0}}));
  EXPECT_GT(Occurrences(far.rec, "OPTIMIZATION ITERATION NO."), 2);
}

TEST(NormalisedDistance, LeavesOutFixedParametersAndEqualBounds) {
  ProblemRecord record = lm_test::MakeRecord();
  lm_test::AddParameter(record, "a", "none", 0.0, 0.0, 10.0);
  lm_test::AddParameter(record, "pinned", "none", 1.0, 1.0, 1.0);
  lm_test::AddParameter(record, "f", "fixed", 5.0, 5.0, 5.0);
  lm_test::AddParameter(record, "k", "log", 0.0, 0.0, 2.0);
  EXPECT_DOUBLE_EQ(NormalisedDistance(record, global_test::Point({3.0, 1.0, 5.0, 1.0}),
                                      global_test::Point({0.0, 9.0, 0.0, 0.0})),
                   std::sqrt(0.09 + 0.25));
}

}  // namespace
