// The local search of MLSL and trajectory repulsion: the Levenberg-Marquardt search with an
// observer that records the points it passes through into a trajectory shared by all the
// method's searches, and ends a search that comes close to an earlier one.
#pragma once

#include <functional>
#include <vector>

#include "lm/lm_engine.h"
#include "numeric/numeric.h"
#include "pest/problem.h"

// Points in stored units (logarithms for "log" parameters), every parameter of each point,
// numbered from 1; with objectives, the phi recorded with each point (MLSL).
class Trajectory {
 public:
  explicit Trajectory(bool with_objectives) : with_objectives_(with_objectives) {}

  // Appends a point (the stored values of all NPAR parameters, 1..NPAR); returns its number.
  int Add(const dvector& point, double objective = 0.0);
  int size() const { return static_cast<int>(points_.size()); }
  const dvector& point(int i) const { return points_[i - 1]; }
  double objective(int i) const { return objectives_[i - 1]; }
  void set_objective(int i, double objective) { objectives_[i - 1] = objective; }
  bool with_objectives() const { return with_objectives_; }

 private:
  bool with_objectives_;
  std::vector<dvector> points_;  // [i - 1][k]: parameter k of point i
  std::vector<double> objectives_;
};

// The normalised distance between the parameters' values and point: the root of the sum,
// over the adjustable parameters whose bounds differ, of ((value - point value) / (upper
// - lower))^2, in stored units. Fixed and tied parameters and a parameter whose bounds are
// equal cannot tell points apart and are left out, so no range of 0 divides. The start
// scores of trajectory repulsion use the same terms (squared, without the root).
double NormalisedDistance(const ProblemRecord& record, const dvector& values,
                          const dvector& point);
double NormalisedSquaredDistance(const ProblemRecord& record, const dvector& values,
                                 const dvector& point);

// How a recording search runs: from which point of the trajectory, and what its caller does
// whenever the engine has saved a restart file that the search may resume from.
struct RecordingOptions {
  int start_column = 0;  // the search's start point c0; 0: the point the caller added last
  std::function<short(const LmState&, const ProblemRecord&)> after_restart_saved;
};

// Runs one search from its start point c0 (a resumed search has recorded points after it
// already), appending a point after every completed iteration from the second on and
// stopping, as a termination test would, once the current values come within LSDISTMIN (but
// more than 1e-10) of one of points 1..c0. Writes no "jac.txt". model_calls receives the
// search's model calls, also when it fails. Returns the search's status.
short RunRecordingSearch(LmContext& context, LmState& state, Trajectory& trajectory,
                         long& model_calls, const RecordingOptions& options = {});
