#include "global/local_search.h"

#include <functional>

#include "lm/lm_state.h"
#include "modellib/replace_file.h"
#include "pest/parameters.h"

namespace {

void LoadValues(ProblemRecord& record, const dvector& values) {
  for (int k = 1; k <= record.NPAR; ++k) record.parameters[k].value = values[k];
}

// What a step of the method's restart file says the step came to; the parameters are left
// where the step left them.
SearchOutcome ReplayedOutcome(ProblemRecord& record, const StepResult& step) {
  SearchOutcome outcome{step.status, step.model_calls, step.objectives,
                        step.search ? step.end : step.point};
  LoadValues(record, outcome.end);
  return outcome;
}

// The outcome of a step that the method does not make, because it has halted.
SearchOutcome HaltedOutcome(const ProblemRecord& record) {
  return {1, 0, InfiniteObjectives(record), CurrentParameterValues(record)};
}

// Points start + 1 onwards of the trajectory, and the objective of the start point, as a
// step of the method's restart file keeps them.
void KeepTrajectory(const Trajectory* trajectory, int start, StepResult& step) {
  if (trajectory == nullptr || start < 1) return;
  step.start_objective = trajectory->objective(start);
  for (int i = start + 1; i <= trajectory->size(); ++i) {
    step.recorded.push_back(trajectory->point(i));
    step.recorded_objectives.push_back(trajectory->objective(i));
  }
}

void RestoreTrajectory(const StepResult& step, Trajectory* trajectory, int start) {
  if (trajectory == nullptr || start < 1) return;
  trajectory->set_objective(start, step.start_objective);
  for (size_t i = 0; i < step.recorded.size(); ++i) {
    trajectory->Add(step.recorded[i], step.recorded_objectives[i]);
  }
}

StepResult SearchStep(const dvector& start, const Trajectory* trajectory, int start_column) {
  StepResult step;
  step.search = true;
  step.point = start;
  KeepTrajectory(trajectory, start_column, step);
  return step;
}

// The search on context from start. When it commits, the search so far is committed whenever
// the engine has saved its restart file, so that a resumed run goes on from that iteration.
SearchOutcome Search(GlobalProblem& problem, LmContext& context, const dvector& start,
                     Trajectory* trajectory, int start_column, bool commits) {
  LmState state = PrepareLocalSearch(problem.record, start, problem.control_lambda);
  std::function<short(const LmState&, const ProblemRecord&)> commit;
  if (commits) {
    commit = [&](const LmState&, const ProblemRecord&) {
      return problem.method_restart.SearchSaved(SearchStep(start, trajectory, start_column));
    };
  }
  SearchOutcome outcome;
  if (trajectory != nullptr) {
    outcome.status = RunRecordingSearch(context, state, *trajectory, outcome.model_calls,
                                        {start_column, commit});
  } else {
    SearchObserver observer;
    observer.after_restart_saved = commit;
    outcome.status = RunLevenbergMarquardt(context, state, &observer);
    outcome.model_calls = state.model_calls;
  }
  // After a failure the group contributions are those of whatever run came last, not of the
  // parameters the search stopped at: the search has no result.
  outcome.objectives = outcome.status == 0 ? GroupObjectives(problem.record)
                                           : InfiniteObjectives(problem.record);
  outcome.end = CurrentParameterValues(problem.record);
  return outcome;
}

// A finished search as the method's restart file keeps it.
StepResult FinishedSearch(const dvector& start, const Trajectory* trajectory, int start_column,
                          const SearchOutcome& outcome) {
  StepResult step = SearchStep(start, trajectory, start_column);
  step.status = outcome.status;
  step.model_calls = outcome.model_calls;
  step.objectives = outcome.objectives;
  step.end = outcome.end;
  return step;
}

}  // namespace

SearchOutcome RunSearchIn(GlobalProblem& problem, LmContext& context, const dvector& start) {
  return Search(problem, context, start, nullptr, 0, false);
}

void CommitSearch(GlobalProblem& problem, const dvector& start, const SearchOutcome& outcome) {
  MethodRestart& restart = problem.method_restart;
  if (!restart.halted()) restart.Finished(FinishedSearch(start, nullptr, 0, outcome));
}

SearchOutcome RunLocalSearch(GlobalProblem& problem, const dvector& start,
                             Trajectory* trajectory) {
  MethodRestart& restart = problem.method_restart;
  const int start_column = trajectory != nullptr ? trajectory->size() : 0;
  if (const StepResult* done = restart.Replay(true, start)) {
    RestoreTrajectory(*done, trajectory, start_column);
    return ReplayedOutcome(problem.record, *done);
  }
  StepResult under_way;
  std::string engine_state;
  const bool resume = restart.TakeSearchUnderWay(start, under_way, engine_state);
  if (resume) {
    RestoreTrajectory(under_way, trajectory, start_column);
    if (!ReplaceFile(problem.names.rst, engine_state, FileSync::kOnDisk)) restart.Halt();
  }
  if (restart.halted() || !restart.GoOn(resume)) return HaltedOutcome(problem.record);
  LmContext context = problem.Context(resume);
  const SearchOutcome outcome = Search(problem, context, start, trajectory, start_column, true);
  if (!restart.halted()) {
    restart.Finished(FinishedSearch(start, trajectory, start_column, outcome));
  }
  return outcome;
}

SearchOutcome HaltedSearch(GlobalProblem& problem) {
  return HaltedOutcome(problem.record);
}

SearchOutcome RunSampleSearch(GlobalProblem& problem, const dvector& point, MadeRun* made) {
  ProblemRecord& record = problem.record;
  MethodRestart& restart = problem.method_restart;
  if (const StepResult* done = restart.Replay(false, point)) {
    return ReplayedOutcome(record, *done);
  }
  if (restart.halted() || !restart.GoOn(false)) return HaltedOutcome(record);
  const int saved = record.NOPTMAX;
  record.NOPTMAX = 0;
  LmContext context = problem.Context(false);
  ModelRunner::Settings settings;
  settings.made_run = made;
  context.runner_settings = &settings;
  SearchOutcome outcome = Search(problem, context, point, nullptr, 0, false);
  record.NOPTMAX = saved;
  StepResult step;
  step.status = outcome.status;
  step.model_calls = outcome.model_calls;
  step.point = point;
  step.objectives = outcome.objectives;
  restart.Finished(std::move(step));
  return outcome;
}
