#include "lm/lm_engine.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <vector>

#include "lm/phi.h"
#include "lm/results_section.h"
#include "lm/secant_update.h"
#include "lm/sensitivities.h"
#include "lm/termination.h"
#include "lm/upgrade.h"
#include "pest/jacobian.h"
#include "pest/model_runner.h"
#include "pest/parameters.h"

namespace {

// How an iteration ends.
enum class Next { kIterate, kFinalAfterTest, kFinalAtLimit, kAfterLoop };

// The relative change of a parameter over an iteration, in natural units; a parameter that
// started at 0 changed infinitely much unless it stayed there.
double RelativeChange(double old_value, double new_value) {
  if (old_value == 0.0) {
    return new_value == 0.0 ? 0.0 : std::numeric_limits<double>::infinity();
  }
  return std::fabs((old_value - new_value) / old_value);
}

class Search {
 public:
  Search(LmContext& context, LmState& state, const SearchObserver* observer)
      : context_(context),
        record_(context.record),
        state_(state),
        observer_(observer),
        runner_(context.record, context.partition, context.first_argument,
                context.instructions, state.model_calls) {
    if (context.synthetic_model) runner_.SetSyntheticModel(context.synthetic_model);
    if (context.runner_settings != nullptr) runner_.Configure(*context.runner_settings);
  }
  ~Search() { state_.command_seconds += runner_.command_seconds(); }

  short Run() {
    short status = context_.restart ? Resume() : InitialRun();
    if (status != 0) return status;
    if (record_.NOPTMAX == 0) return Statistics();
    Next next = Next::kIterate;
    while (next == Next::kIterate) {
      status = Iteration(next);
      if (status != 0) return status;
    }
    if (next == Next::kFinalAfterTest) status = FinalRunAfterTest();
    if (next == Next::kFinalAtLimit) status = FinalRunAtLimit();
    if (status != 0) return status;
    return AfterLoop();
  }

 private:
  std::FILE* rec() const { return context_.files.rec; }

  // ---- Start --------------------------------------------------------------------------

  short InitialRun() {
    short status = runner_.Run(kBaseSlot, RunKind::kSearch);
    if (status != 0) return status;
    state_.phi = TotalPhi(record_, state_, kBaseSlot);
    for (int i = 1; i <= record_.NOBS; ++i) {
      state_.best_simulated[i] = record_.observations[i].simulated[kBaseSlot];
    }
    state_.lowest_phi = state_.phi;
    WriteInitialScreenSection(state_.phi, record_, context_.names.base);
    WriteInitialRecordSection(rec(), context_.files.par, state_.phi, record_);
    if (observer_ != nullptr && observer_->after_initial_run) {
      observer_->after_initial_run(state_, record_);
    }
    state_.n = 1;
    if (record_.NOPTMAX > 0) state_.history[1] = state_.phi;
    return 0;
  }

  // The state saved at the end of the last completed iteration takes the initial run's place:
  // the record the tool read ahead, or else the restart file read here.
  short Resume() {
    if (context_.resume_record != nullptr) {
      TakeEngineState(*context_.resume_record, state_, record_);
      context_.resume_record.reset();  // its arrays now belong to the state
    } else {
      const short status = RestoreEngineState(state_, record_, context_.names);
      if (status != 0) return status;
    }
    WriteRestartMark(rec());
    // The best parameters so far go back into the emptied ".par" at once, so that the file
    // holds them also when the resumed run is stopped again before it finds better ones.
    WriteBestParameters(context_.files.par, state_.best_parameters, record_);
    return 0;
  }

  // ---- Iteration ----------------------------------------------------------------------

  short Iteration(Next& next) {
    StartIteration();
    if (IterationStops()) {
      next = Next::kFinalAfterTest;
      return 0;
    }
    const int n = state_.n;
    WriteIterationHeaders(rec(), record_, n, state_.model_calls, state_.phi);
    short status = CalculateJacobian(runner_, state_.adjustable, state_.jacobian,
                                     state_.switch_flag, n, state_.cyclic_position);
    if (status != 0) return status;
    ++state_.jacobian_version;
    if (n == 1) state_.best_jacobian = state_.jacobian;
    status = ComputeSensitivities(record_, state_.jacobian, state_.prior_matrix, rec());
    if (status == 0) {
      status = WriteSensitivityFile(record_, state_.jacobian, state_.prior_matrix,
                                    context_.names, n, context_.files.sen, 0);
    }
    if (status == 0 && (observer_ == nullptr || observer_->writes_jacobian_file)) {
      status = WriteJacobianFile(state_.jacobian, record_.NOBS + record_.NPRIOR,
                                 state_.adjustable.size());
    }
    if (status == 0 && record_.NOPTMAX > 0) status = LambdaSearch();
    if (status != 0) return status;
    return EndIteration(next);
  }

  // Bounds, phi ratio and history, the best point, the switch to three-point derivatives,
  // and the values the iteration starts from.
  void StartIteration() {
    const int n = state_.n;
    StartIterationOnBounds(record_);
    // The first ratio divides by a starting phi of 0; only the secant tests read it, and
    // never in the first iteration.
    record_.PHIRATIO = state_.phi / state_.starting_phi;
    state_.starting_phi = state_.phi;
    if (record_.NOPTMAX > 0) state_.history[n] = state_.phi;

    if (state_.phi < state_.lowest_phi) {
      state_.lowest_phi = state_.phi;
      state_.best_iteration = n - 1;
      state_.best_parameters = CurrentParameterValues(record_);
      for (int i = 1; i <= record_.NOBS; ++i) {
        state_.best_simulated[i] = record_.observations[i].simulated[kFirstPerturbedSlot];
      }
      WriteBestParameters(context_.files.par, state_.best_parameters, record_);
      state_.best_jacobian = state_.jacobian;
    }
    if (state_.switch_flag == 0 && state_.switch_eligible && n >= 2) {
      const double before = state_.history[n - 1];
      if (before != 0.0 && record_.PHIREDSWH >= (before - state_.history[n]) / before) {
        state_.switch_flag = 1;
      }
    }
    if (n >= 2) {
      for (int i = 1; i <= record_.NOBS; ++i) {
        double* simulated = record_.observations[i].simulated;
        simulated[kBaseSlot] = simulated[kFirstPerturbedSlot];
      }
    }
    for (int k = 1; k <= record_.NPAR; ++k) {
      record_.parameters[k].previous_value = record_.parameters[k].value;
    }
    for (long j = 1; j <= state_.adjustable.size(); ++j) {
      state_.start_values[j] = record_.parameters[state_.adjustable[j]].value;
    }
  }

  // The termination tests, then (from the second iteration on) the observer's own stop.
  bool IterationStops() {
    const int n = state_.n;
    const bool watched = observer_ != nullptr && n >= 2;
    if (watched && observer_->at_iteration_start) observer_->at_iteration_start(state_, record_);
    if (record_.NOPTMAX != -1) {
      TerminationInput in;
      in.n = n;
      in.best_iteration = state_.best_iteration;
      in.small_change_count = state_.small_change_count;
      in.history = &state_.history;
      in.lowest_phi = state_.lowest_phi;
      in.phi = state_.phi;
      in.model_calls = state_.model_calls;
      if (TerminationTests(in, record_, rec())) return true;
    }
    return watched && observer_->stops_search && observer_->stops_search(state_, record_);
  }

  // ---- Lambda search ------------------------------------------------------------------

  short LambdaSearch() {
    const double starting_lambda = record_.RLAMBDA1;
    double previous_lambda = starting_lambda;
    int reversal = 0;
    double search_lowest = state_.phi;
    for (int i = 1; i <= record_.NOBS; ++i) {
      state_.best_trial_simulated[i] = record_.observations[i].simulated[kBaseSlot];
    }
    const double starting_phi = state_.phi;
    const long count = state_.adjustable.size();
    for (int t = 1;; ++t) {
      ComputeTrialUpgrade();
      if (record_.frozen_count + record_.no_effect_count == count) {
        state_.all_at_limits = 1;
        return 0;
      }
      WriteTrialStart(rec(), record_.RLAMBDA1);
      const short status = runner_.Run(kFirstPerturbedSlot, RunKind::kSearch);
      if (status != 0) return status;
      state_.phi = TotalPhi(record_, state_, kFirstPerturbedSlot);
      if (BroydenUpdateDue(record_, state_.n)) {
        if (BroydenUpdate(record_, state_.adjustable, state_.prior_matrix, state_.jacobian)) {
          ++state_.jacobian_version;
        } else {
          WriteSecantUpdateSkipped(rec());
        }
      }
      RecordTrial(t, search_lowest);
      WriteTrialPhi(rec(), state_.phi, starting_phi);
      const int chosen = LambdaStopTests(rec(), starting_phi, t, state_.trial_phi, record_);
      if (chosen != 0) {
        Choose(chosen, t, starting_lambda, previous_lambda, reversal);
        return 0;
      }
      TakeBackTrial();
      UpdateLambda(starting_lambda, previous_lambda, reversal, state_.phi, state_.trial_phi, t,
                   record_);
    }
  }

  void ComputeTrialUpgrade() {
    UpgradeNotes notes;
    const MarquardtSystem system = SystemOf(state_);
    if (record_.no_effect_count == 0) {
      ComputeUpgradeVector(system, record_, state_.upgrade, notes);
      if (record_.no_effect_count == 0) {
        std::vector<int> all(static_cast<size_t>(state_.adjustable.size()));
        for (size_t j = 0; j < all.size(); ++j) all[j] = static_cast<int>(j) + 1;
        const dvector prior_values =
            PriorValues(record_, state_.prior_matrix, state_.adjustable);
        ScaleUpgradeVector(system, all, prior_values, record_, state_.upgrade, notes);
      }
    }
    ApplyUpgradeWithBounds(system, record_, state_.upgrade, notes);
    WriteUpgradeNotes(rec(), notes, record_);
  }

  void RecordTrial(int t, double& search_lowest) {
    state_.trial_phi[t] = state_.phi;
    state_.trial_lambda[t] = record_.RLAMBDA1;
    for (int i = 1; i <= record_.NOBS; ++i) {
      state_.trial_simulated[i][t] = record_.observations[i].simulated[kFirstPerturbedSlot];
    }
    if (state_.phi < search_lowest) {
      search_lowest = state_.phi;
      for (int i = 1; i <= record_.NOBS; ++i) {
        state_.best_trial_simulated[i] = record_.observations[i].simulated[kFirstPerturbedSlot];
      }
    }
    state_.trial_upgrades[t] = state_.upgrade;
  }

  void TakeBackTrial() {
    for (long j = 1; j <= state_.adjustable.size(); ++j) {
      Parameter& p = record_.parameters[state_.adjustable[j]];
      p.value -= state_.upgrade[j];
      if (p.PARUBND > p.value) p.at_upper = 0;
      if (p.value > p.PARLBND) p.at_lower = 0;
    }
    RecomputeTiedParameters(record_);
  }

  void SetFirstPerturbedSlots(const dvector& values) {
    for (int i = 1; i <= record_.NOBS; ++i) {
      record_.observations[i].simulated[kFirstPerturbedSlot] = values[i];
    }
  }

  void SetAdjustableValues(const dvector* upgrade) {
    for (long j = 1; j <= state_.adjustable.size(); ++j) {
      double value = state_.start_values[j];
      if (upgrade != nullptr) value += (*upgrade)[j];
      record_.parameters[state_.adjustable[j]].value = value;
    }
    RecomputeTiedParameters(record_);
  }

  // The state the search accepts: A and B keep the iteration's start (or the best point)
  // when no trial gained and three-point derivatives may still help; C takes the trial.
  void Choose(int chosen, int trials, double starting_lambda, double& previous_lambda,
              int& reversal) {
    const double chosen_phi = state_.trial_phi[chosen];
    const bool no_gain = chosen_phi > state_.starting_phi;
    if (state_.n == 1 && no_gain && state_.switch_eligible) {
      state_.switch_flag = 1;
      record_.RLAMBDA1 = state_.trial_lambda[1];
      SetFirstPerturbedSlots(state_.best_trial_simulated);
      // The parameters return to the start first, so that the prior-information
      // contributions the next header prints belong to the values the search stands on.
      SetAdjustableValues(nullptr);
      TotalPhi(record_, state_, kFirstPerturbedSlot);
      state_.phi = state_.starting_phi;
    } else {
      if (state_.switch_flag == 0 && state_.switch_eligible && state_.n >= 2 && no_gain) {
        for (int k = 1; k <= record_.NPAR; ++k) {
          record_.parameters[k].value = state_.best_parameters[k];
        }
        SetFirstPerturbedSlots(state_.best_simulated);
      } else {
        SetAdjustableValues(&state_.trial_upgrades[chosen]);
        if (no_gain) {
          for (int i = 1; i <= record_.NOBS; ++i) {
            record_.observations[i].simulated[kFirstPerturbedSlot] =
                state_.trial_simulated[i][chosen];
          }
        } else {
          SetFirstPerturbedSlots(state_.best_trial_simulated);
        }
      }
      state_.phi = TotalPhi(record_, state_, kFirstPerturbedSlot);
      if (reversal == 1) {
        record_.RLAMBDA1 = state_.trial_lambda[chosen];
      } else {
        UpdateLambda(starting_lambda, previous_lambda, reversal, state_.phi, state_.trial_phi,
                     trials, record_);
      }
    }
    reversal = 0;
    WriteParameterTable(rec(), record_);
  }

  // ---- End of iteration ---------------------------------------------------------------

  short EndIteration(Next& next) {
    ++state_.n;
    if (state_.n >= 2) MeasureParameterChange();
    const bool saves = std::strcmp(record_.RSTFLE, "restart") == 0 && record_.NOPTMAX > 0;
    if (saves) {
      const short status = SaveEngineState(state_, record_, context_.names);
      if (status != 0) return status;
    }
    const bool beyond_limit = state_.n > record_.NOPTMAX;
    if (state_.all_at_limits == 1 || (beyond_limit && record_.NOPTMAX != -1)) {
      next = Next::kFinalAtLimit;
    } else if (beyond_limit) {
      next = Next::kAfterLoop;
    }
    // A resume from this save takes up the next iteration, so only then is it exact.
    if (saves && next == Next::kIterate && observer_ != nullptr &&
        observer_->after_restart_saved) {
      return observer_->after_restart_saved(state_, record_);
    }
    return 0;
  }

  void MeasureParameterChange() {
    double largest = 0.0, last = 0.0;
    for (long j = 1; j <= state_.adjustable.size(); ++j) {
      const Parameter& p = record_.parameters[state_.adjustable[j]];
      last = RelativeChange(NaturalValue(p, state_.start_values[j]), NaturalValue(p));
      if (last > largest) largest = last;
    }
    state_.largest_change = largest;
    state_.last_change = last;
    if (record_.RELPARSTP > largest) {
      ++state_.small_change_count;
    } else {
      state_.small_change_count = 0;
    }
  }

  // ---- Final run and statistics -------------------------------------------------------

  void RestoreBestParameters() {
    for (int k = 1; k <= record_.NPAR; ++k) {
      record_.parameters[k].value = state_.best_parameters[k];
    }
  }

  short FinalRunAfterTest() {
    std::remove(context_.names.rst);
    RestoreBestParameters();
    AnnounceFinalRun();
    WriteFinalRunBlock(rec());
    WriteBestParameters(context_.files.par, state_.best_parameters, record_);
    const short status = runner_.Run(kBaseSlot, RunKind::kFinal);
    if (status != 0) return status;
    state_.phi = TotalPhi(record_, state_, kBaseSlot);
    return 0;
  }

  short FinalRunAtLimit() {
    if (state_.phi < state_.lowest_phi) {
      state_.lowest_phi = state_.phi;
      state_.best_parameters = CurrentParameterValues(record_);
      state_.best_jacobian = state_.jacobian;
    }
    std::remove(context_.names.rst);
    AnnounceFinalRun();
    if (state_.all_at_limits == 0) {
      WriteIterationLimitReached(rec(), state_.model_calls);
      WriteFinalRunBlock(rec());
    }
    WriteBestParameters(context_.files.par, state_.best_parameters, record_);
    RestoreBestParameters();
    const short status = runner_.Run(kBaseSlot, RunKind::kFinalUncounted);
    if (status != 0) return status;
    state_.phi = TotalPhi(record_, state_, kBaseSlot);
    if (state_.all_at_limits == 1) {
      WriteAllAtLimits(rec(), state_.model_calls);
      WriteFinalRunBlock(rec());
    }
    return 0;
  }

  short AfterLoop() {
    if (record_.NOPTMAX == -1) state_.best_jacobian = state_.jacobian;
    const short status = WriteSensitivityFile(record_, state_.best_jacobian, state_.prior_matrix,
                                              context_.names, state_.n, context_.files.sen, 1);
    if (status != 0) return status;
    return Statistics();
  }

  short Statistics() {
    const short status = WriteFinalStatistics(rec(), state_.best_jacobian, state_.weights,
                                              state_.phi, record_, state_.prior_matrix);
    std::fflush(rec());
    if (context_.files.sen != nullptr) std::fflush(context_.files.sen);
    return status;
  }

  LmContext& context_;
  ProblemRecord& record_;
  LmState& state_;
  const SearchObserver* observer_;
  ModelRunner runner_;
};

}  // namespace

short RunLevenbergMarquardt(LmContext& context, LmState& state,
                            const SearchObserver* observer) {
  Search search(context, state, observer);
  return search.Run();
}
