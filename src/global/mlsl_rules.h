// The decisions of Multi Level Single Linkage, apart from its model runs and files, so that
// each rule can be checked on its own: the critical distance, the start rules with their
// verdict, and the bookkeeping and stop rules after each local search and iteration. Called
// by the method (mlsl.cpp).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "global/objectives.h"
#include "numeric/numeric.h"

// The values of "mlsl.in", in the order the file gives them.
struct MlslSettings {
  long N = 0;          // uniform sample size per iteration
  double gamma = 0.0;  // fraction of all samples kept in the reduced sample
  double sigma = 0.0;  // factor of the critical distance
  double dmin = 0.0;   // least distance of a start from an earlier local-search end point
  std::string seeds_word;
  std::uint32_t seed = 0;
  long Kmax = 0;    // MLSL iterations
  long Lmax = 0;    // local searches
  long Lstall = 0;  // successive local searches without improvement that stop the method
  long Kstall = 0;  // successive iterations without improvement that stop the method
  double f = 0.0;   // improvement fraction judged negligible
};

// Counters and best values over the whole run.
struct MlslProgress {
  long k = 1;  // iteration
  long L = 0;  // local searches performed
  long D = 0;  // local searches that found a distinct minimum
  double Fbest = kNoObjective;  // lowest result of all local searches
  long best_run = 0;            // the local search (1..L) that gave Fbest
  double Kbest = kNoObjective;  // lowest result over completed iterations
  double kbest = 1e300;         // lowest result of the current iteration
  StallCount s_L;  // successive local searches without improvement
  StallCount s_K;  // successive iterations without improvement
};

// The stop rules, numbered as the final report numbers them.
enum MlslStopRule {
  kMlslNoStop = 0,
  kMlslLocalStall = 1,      // Lstall local searches without improvement
  kMlslLocalLimit = 2,      // Lmax local searches
  kMlslBayesian = 3,        // the Bayesian estimate of the number of minima
  kMlslIterationLimit = 4,  // Kmax iterations
  kMlslIterationStall = 5,  // Kstall iterations without improvement
};

// The critical distance pi^(-1/2) (Gamma(1 + n/2) V sigma ln(M) / M)^(1/n) for n adjustable
// parameters whose bound ranges (stored units) multiply to V, and M samples in all (M >= 1).
double CriticalDistance(int n, double volume, double sigma, long m);

// The points the start rules compare a reduced-sample point with, all parameters in stored
// units.
struct MlslPoints {
  std::vector<dvector> reduced;  // the reduced sample, lowest objective first
  std::vector<double> reduced_objectives;
  std::vector<dvector> end_points;  // one per distinct minimum (D of them)
  std::vector<double> end_objectives;
  std::vector<dvector> start_points;  // one per local search (L of them)
};

// Euclidean distance over all parameters, unnormalised.
double EuclideanDistance(const dvector& a, const dvector& b);

// One reason why a reduced-sample point starts no local search.
struct StartRejection {
  enum Rule {
    kBetterNeighbour,  // a point of the reduced sample within alpha with a lower objective
    kBetterEndPoint,   // an end point within alpha with a lower objective
    kNearEndPoint,     // an end point nearer than dmin
    kNearStart,        // an earlier start point nearer than 1e-8
  };
  Rule rule;
  long neighbour;  // the reduced-sample position, end point or start point (from 1)
};

// The start rules' verdict on a point: every rejection in the order the rules found them; a
// point that none rejects starts a local search.
struct StartVerdict {
  std::vector<StartRejection> rejections;
  bool accepted() const { return rejections.empty(); }
};

// Applies the start rules to the reduced-sample point at position x (1..R): a better point
// within alpha, an end point within alpha with a lower objective, an end point nearer than
// dmin, a start point nearer than 1e-8. Each rule reports every point it rejects for; a later
// rule is tried only while the point is not rejected.
StartVerdict JudgeStartCandidate(const MlslPoints& points, long x, double alpha, double dmin);

// True when end lies nearer than 1e-6 to one of the stored end points: a search that ended
// there found no new minimum.
bool IsKnownMinimum(const MlslPoints& points, const dvector& end);

// The bookkeeping after a local search whose total objective is F (L already counts it):
// the stall counter, Fbest with its run number, kbest. Returns kMlslLocalStall,
// kMlslLocalLimit or kMlslNoStop.
int AfterLocalSearch(MlslProgress& progress, double F, const MlslSettings& settings);

// The bookkeeping at the end of iteration progress.k with M samples in all: the iteration
// stall counter and Kbest, then the rules that end the method, which take precedence over
// scan_rule (the rule, if any, that ended the candidate scan): 5 over 4 over 3 over it.
// Until a local search has given Kbest a value, no iteration counts as one without
// improvement. Returns the rule that stops the method, or kMlslNoStop.
int AfterIteration(MlslProgress& progress, long M, const MlslSettings& settings,
                   int scan_rule);
