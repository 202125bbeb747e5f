#include "global/local_search.h"

#include "lm/lm_state.h"

SearchOutcome RunSearchIn(GlobalProblem& problem, LmContext& context, const dvector& start,
                          Trajectory* trajectory) {
  LmState state = PrepareLocalSearch(problem.record, start, problem.control_lambda);
  SearchOutcome outcome;
  if (trajectory != nullptr) {
    outcome.status = RunRecordingSearch(context, state, *trajectory, outcome.model_calls);
  } else {
    outcome.status = RunLevenbergMarquardt(context, state);
    outcome.model_calls = state.model_calls;
  }
  // After a failure the group contributions are those of whatever run came last, not of the
  // parameters the search stopped at: the search has no result.
  outcome.objectives = outcome.status == 0 ? GroupObjectives(problem.record)
                                           : InfiniteObjectives(problem.record);
  outcome.end = CurrentParameterValues(problem.record);
  return outcome;
}

SearchOutcome RunLocalSearch(GlobalProblem& problem, const dvector& start, bool resume,
                             Trajectory* trajectory) {
  LmContext context = problem.Context(resume);
  return RunSearchIn(problem, context, start, trajectory);
}

SearchOutcome RunSampleSearch(GlobalProblem& problem, const dvector& point, MadeRun* made) {
  ProblemRecord& record = problem.record;
  const int saved = record.NOPTMAX;
  record.NOPTMAX = 0;
  LmContext context = problem.Context(false);
  ModelRunner::Settings settings;
  settings.made_run = made;
  context.runner_settings = &settings;
  SearchOutcome outcome = RunSearchIn(problem, context, point);
  record.NOPTMAX = saved;
  return outcome;
}
