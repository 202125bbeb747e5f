#include "global/recording_search.h"

#include <cmath>

#include "lm/lm_state.h"
#include "pest/parameters.h"

namespace {

// A point nearer than this is the search's own start: it has not moved at all.
constexpr double kNotMoved = 1e-10;

}  // namespace

int Trajectory::Add(const dvector& point, double objective) {
  points_.push_back(point);
  objectives_.push_back(objective);
  return size();
}

double NormalisedSquaredDistance(const ProblemRecord& record, const dvector& values,
                                 const dvector& point) {
  double sum = 0.0;
  for (int k = 1; k <= record.NPAR; ++k) {
    const Parameter& p = record.parameters[k];
    const double range = p.PARUBND - p.PARLBND;
    if (!IsAdjustableParameter(p) || !(range > 0.0)) continue;
    const double term = (values[k] - point[k]) / range;
    sum += term * term;
  }
  return sum;
}

double NormalisedDistance(const ProblemRecord& record, const dvector& values,
                          const dvector& point) {
  return std::sqrt(NormalisedSquaredDistance(record, values, point));
}

short RunRecordingSearch(LmContext& context, LmState& state, Trajectory& trajectory,
                         long& model_calls, const RecordingOptions& options) {
  const int start = options.start_column > 0 ? options.start_column : trajectory.size();
  SearchObserver observer;
  observer.writes_jacobian_file = false;
  observer.after_restart_saved = options.after_restart_saved;
  observer.after_initial_run = [&](const LmState& s, const ProblemRecord&) {
    if (trajectory.with_objectives() && start >= 1) trajectory.set_objective(start, s.phi);
  };
  observer.at_iteration_start = [&](const LmState& s, const ProblemRecord& record) {
    trajectory.Add(CurrentParameterValues(record), s.phi);
  };
  observer.stops_search = [&](const LmState&, const ProblemRecord& record) {
    if (!(record.LSDISTMIN > 0.0)) return false;
    const dvector here = CurrentParameterValues(record);
    for (int i = 1; i <= start; ++i) {
      const double d = NormalisedDistance(record, here, trajectory.point(i));
      if (d > kNotMoved && d < record.LSDISTMIN) return true;
    }
    return false;
  };
  const short status = RunLevenbergMarquardt(context, state, &observer);
  model_calls = state.model_calls;
  return status;
}
