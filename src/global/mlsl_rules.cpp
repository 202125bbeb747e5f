#include "global/mlsl_rules.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;
// An end point nearer than this to an earlier one is the same minimum.
constexpr double kSameMinimum = 1e-6;
// A candidate nearer than this to an earlier start would repeat that search.
constexpr double kSameStart = 1e-8;

// The logarithm of the gamma function by the Lanczos series.
double LogGamma(double x) {
  static const double kCoefficients[6] = {76.18009172947146,     -86.50532032941678,
                                          24.01409824083091,     -1.231739572450155,
                                          0.001208650973866179,  -5.395239384953e-6};
  double y = x;
  double tmp = x + 5.5;
  tmp -= (x + 0.5) * std::log(tmp);
  double series = 1.000000000190015;
  for (double c : kCoefficients) series += c / ++y;
  return -tmp + std::log(2.5066282746310005 * series / x);
}

// ---- Start rules: each adds the rejections it finds -----------------------------------------

void BetterNeighbours(const MlslPoints& points, long x, double alpha, StartVerdict& verdict) {
  const long R = static_cast<long>(points.reduced.size());
  for (long y = 1; y <= R; ++y) {
    if (y != x &&
        EuclideanDistance(points.reduced[x - 1], points.reduced[y - 1]) <= alpha &&
        points.reduced_objectives[x - 1] > points.reduced_objectives[y - 1]) {
      verdict.rejections.push_back({StartRejection::kBetterNeighbour, y});
    }
  }
}

void BetterEndPoints(const MlslPoints& points, long x, double alpha, StartVerdict& verdict) {
  for (size_t i = 0; i < points.end_points.size(); ++i) {
    if (EuclideanDistance(points.reduced[x - 1], points.end_points[i]) <= alpha &&
        points.reduced_objectives[x - 1] > points.end_objectives[i]) {
      verdict.rejections.push_back({StartRejection::kBetterEndPoint, static_cast<long>(i) + 1});
    }
  }
}

void NearEndPoints(const MlslPoints& points, long x, double dmin, StartVerdict& verdict) {
  for (size_t i = 0; i < points.end_points.size(); ++i) {
    if (EuclideanDistance(points.reduced[x - 1], points.end_points[i]) < dmin) {
      verdict.rejections.push_back({StartRejection::kNearEndPoint, static_cast<long>(i) + 1});
    }
  }
}

void NearStartPoints(const MlslPoints& points, long x, StartVerdict& verdict) {
  for (size_t i = 0; i < points.start_points.size(); ++i) {
    if (EuclideanDistance(points.reduced[x - 1], points.start_points[i]) < kSameStart) {
      verdict.rejections.push_back({StartRejection::kNearStart, static_cast<long>(i) + 1});
    }
  }
}

// ---- Stop rules -------------------------------------------------------------------------------

bool LocalSearchesStalled(const MlslProgress& p, const MlslSettings& s) {
  return p.s_L.Reached(s.Lstall);
}

bool LocalSearchLimitReached(const MlslProgress& p, const MlslSettings& s) {
  return p.L >= s.Lmax;
}

// The Bayesian estimate of the number of minima is within half a minimum of those found.
bool BayesianRuleHolds(const MlslProgress& p, long M, const MlslSettings& s) {
  const double reduced = static_cast<double>(M) * s.gamma;
  const double D = static_cast<double>(p.D);
  return reduced > D + 2.0 && D + 0.5 >= (reduced - 1.0) * D / (reduced - D - 2.0);
}

bool IterationLimitReached(const MlslProgress& p, const MlslSettings& s) {
  return p.k >= s.Kmax;
}

bool IterationsStalled(const MlslProgress& p, const MlslSettings& s) {
  return p.s_K.Reached(s.Kstall);
}

}  // namespace

double CriticalDistance(int n, double volume, double sigma, long m) {
  const double M = static_cast<double>(m);
  const double inner = std::exp(LogGamma(1.0 + n / 2.0)) * volume * sigma * std::log(M) / M;
  return std::pow(inner, 1.0 / n) / std::sqrt(kPi);
}

double EuclideanDistance(const dvector& a, const dvector& b) {
  double sum = 0.0;
  for (long i = 1; i <= a.size(); ++i) sum += (a[i] - b[i]) * (a[i] - b[i]);
  return std::sqrt(sum);
}

StartVerdict JudgeStartCandidate(const MlslPoints& points, long x, double alpha, double dmin) {
  StartVerdict verdict;
  BetterNeighbours(points, x, alpha, verdict);
  if (verdict.accepted()) BetterEndPoints(points, x, alpha, verdict);
  if (verdict.accepted()) NearEndPoints(points, x, dmin, verdict);
  if (verdict.accepted()) NearStartPoints(points, x, verdict);
  return verdict;
}

bool IsKnownMinimum(const MlslPoints& points, const dvector& end) {
  for (const dvector& earlier : points.end_points) {
    if (EuclideanDistance(end, earlier) < kSameMinimum) return true;
  }
  return false;
}

int AfterLocalSearch(MlslProgress& progress, double F, const MlslSettings& settings) {
  CountResult(F, progress.L, settings.f, progress.Fbest, progress.best_run, progress.s_L);
  progress.kbest = std::min(progress.kbest, F);
  if (LocalSearchesStalled(progress, settings)) return kMlslLocalStall;
  if (LocalSearchLimitReached(progress, settings)) return kMlslLocalLimit;
  return kMlslNoStop;
}

int AfterIteration(MlslProgress& progress, long M, const MlslSettings& settings,
                   int scan_rule) {
  if (progress.Kbest == kNoObjective) {
    // No local search has given a result before this iteration: the iteration cannot be one
    // without improvement, and Kbest takes the first result there is.
    if (progress.L >= 1) progress.Kbest = progress.Fbest;
  } else {
    progress.s_K.Count(progress.kbest, progress.Kbest, settings.f);
    progress.Kbest = std::min(progress.kbest, progress.Kbest);
  }
  if (IterationsStalled(progress, settings)) return kMlslIterationStall;
  if (IterationLimitReached(progress, settings)) return kMlslIterationLimit;
  if (BayesianRuleHolds(progress, M, settings)) return kMlslBayesian;
  return scan_rule;
}
