#include "lm/termination.h"

#include <cmath>

namespace {

// A rule that fired: its lines and the model calls go to the screen, then to the record.
template <typename Lines>
bool Fired(std::FILE* rec, long model_calls, Lines write_lines) {
  for (std::FILE* out : {stdout, rec}) {
    if (out == nullptr) continue;
    write_lines(out);
    std::fprintf(out, "Total Model Calls:\t%ld\n", model_calls);
  }
  return true;
}

// A lambda-stop message: the screen first, then the record file.
template <typename Lines>
void Tell(std::FILE* rec, Lines write_lines) {
  write_lines(stdout);
  if (rec != nullptr) write_lines(rec);
}

}  // namespace

bool PhiIsZero(const TerminationInput& in, const ProblemRecord&, std::FILE* rec) {
  if (!(std::fabs(in.phi) <= 1e-30)) return false;
  return Fired(rec, in.model_calls, [](std::FILE* out) {
    std::fprintf(out, "Optimization complete: the objective function equals zero\n");
  });
}

bool LowestPhisAreClose(const TerminationInput& in, const ProblemRecord& record,
                        std::FILE* rec) {
  long close = 0;
  for (int k = 1; k <= in.n; ++k) {
    const double h = (*in.history)[k];
    // An entry of 0 can only equal the lowest phi: its relative distance is 0.
    const double distance = h == 0.0 ? 0.0 : (h - in.lowest_phi) / h;
    if (record.PHIREDSTP >= distance) ++close;
  }
  if (close < record.NPHISTP) return false;
  return Fired(rec, in.model_calls, [&record](std::FILE* out) {
    std::fprintf(out,
                 "Optimization complete: the  %ld lowest phi's are within a relative distance\n",
                 static_cast<long>(record.NPHISTP));
    std::fprintf(out, "                       of each other of %lf\n", record.PHIREDSTP);
  });
}

bool NoRecentPhiReduction(const TerminationInput& in, const ProblemRecord& record,
                          std::FILE* rec) {
  if (!(static_cast<long>(in.n) - in.best_iteration > record.NPHINORED)) return false;
  return Fired(rec, in.model_calls, [&record](std::FILE* out) {
    std::fprintf(out,
                 "Optimization complete:   %ld optimization iterations have elapsed since lowest\n",
                 static_cast<long>(record.NPHINORED));
    std::fprintf(out, "                       phi was achieved.\n");
  });
}

bool ParametersHardlyChange(const TerminationInput& in, const ProblemRecord& record,
                            std::FILE* rec) {
  if (in.small_change_count < record.NRELPAR) return false;
  return Fired(rec, in.model_calls, [&record](std::FILE* out) {
    std::fprintf(out, "Optimization complete: relative parameter change less than %lf\n",
                 record.RELPARSTP);
    std::fprintf(out, "                       over %ld successive iterations.\n",
                 static_cast<long>(record.NRELPAR));
  });
}

bool TerminationTests(const TerminationInput& in, const ProblemRecord& record, std::FILE* rec) {
  return PhiIsZero(in, record, rec) || LowestPhisAreClose(in, record, rec) ||
         NoRecentPhiReduction(in, record, rec) || ParametersHardlyChange(in, record, rec);
}

int BestTrial(const dvector& trial_phi, int t) {
  double lowest = 1e30;
  int best = 0;
  for (int i = 1; i <= t; ++i) {
    if (trial_phi[i] <= lowest) {
      lowest = trial_phi[i];
      best = i;
    }
  }
  return best != 0 ? best : 1;
}

int LambdaStopTests(std::FILE* rec, double starting_phi, int t, const dvector& trial_phi,
                    const ProblemRecord& record) {
  if (t == record.NUMLAM) {
    Tell(rec, [&record](std::FILE* out) {
      std::fprintf(out, "No more lambdas: allowed lambdas per iteration =  %ld\n\n",
                   static_cast<long>(record.NUMLAM));
    });
    return BestTrial(trial_phi, t);
  }
  for (int i = 1; i <= t; ++i) {
    if (trial_phi[i] <= record.PHIRATSUF * starting_phi) {
      Tell(rec, [&record](std::FILE* out) {
        std::fprintf(out, "No more lambdas: phi is less than %lf of starting phi\n\n",
                     record.PHIRATSUF);
      });
      return i;
    }
  }
  if (t < 2) return 0;
  const double phi = trial_phi[t];
  const double previous = trial_phi[t - 1];
  if (phi > previous) {
    if (t == 2) return 0;
    Tell(rec, [](std::FILE* out) { std::fprintf(out, "No more lambdas: phi rising\n\n"); });
    return BestTrial(trial_phi, t);
  }
  // A previous phi of 0 leaves a phi of 0 here (it did not rise): no reduction.
  const double reduction = previous == 0.0 ? 0.0 : 1.0 - phi / previous;
  if (record.PHIREDLAM >= reduction) {
    Tell(rec, [&record](std::FILE* out) {
      std::fprintf(out,
                   "No more lambdas: relative phi reduction between lambdas less than %lf\n\n",
                   record.PHIREDLAM);
    });
    return BestTrial(trial_phi, t);
  }
  return 0;
}

void UpdateLambda(double starting_lambda, double& previous_lambda, int& reversal, double phi,
                  const dvector& trial_phi, int t, ProblemRecord& record) {
  const double lambda = record.RLAMBDA1;
  const double lowered = lambda * (1.0 / record.RLAMFAC);
  const double raised = lambda * record.RLAMFAC;
  const double old_previous = previous_lambda;
  previous_lambda = lambda;
  if (t == 1) {
    record.RLAMBDA1 = lowered;
  } else if (phi < trial_phi[t - 1]) {
    record.RLAMBDA1 = old_previous > lambda ? lowered : raised;
  } else if (starting_lambda >= old_previous && starting_lambda > lambda) {
    reversal = 1;
    record.RLAMBDA1 = starting_lambda * record.RLAMFAC;
  } else {
    record.RLAMBDA1 = old_previous > lambda ? lowered : raised;
  }
}
