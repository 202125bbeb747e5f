// Sub-complex selection, the evolution step and the evolution of one complex.
#include "sce/sce_cce.h"

#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <vector>

#include "sce/sce_random.h"
#include "support/test_support.h"

namespace {

using testing_support::TempDir;

// A run of two parameters in [0, 10] whose objective replays queued values (or x1 + x2
// when the queue is empty) and records every point it is asked about.
struct ScriptedRun {
  SceRun run{nullptr};
  std::deque<double> replies;
  std::vector<std::vector<double>> asked;

  explicit ScriptedRun(int seed = 3737) {
    SceSettings& s = run.settings;
    s.nparam = 2;
    s.seed = seed;
    s.bl = AllocateSceArray(3, "bl");
    s.bu = AllocateSceArray(3, "bu");
    for (int j = 1; j <= 2; ++j) s.bu[j] = 10.0;
    run.log_disabled = 1;
    run.objective_hook = [this](const double* p, int) {
      asked.push_back({p[1], p[2]});
      if (replies.empty()) return p[1] + p[2];
      double v = replies.front();
      replies.pop_front();
      return v;
    };
    seed_sce_generator(run);
  }
};

// Sub-complex of three points, ascending by value; the worst is (6, 6) with value 12.
struct SubComplex {
  ScePointTable s;
  double sf[4] = {0, 8, 9, 12};
  SubComplex() {
    s.Allocate(3, 2, "s");
    double points[4][2] = {{0, 0}, {4, 4}, {5, 4}, {6, 6}};
    for (int k = 1; k <= 3; ++k) {
      s.row(k)[1] = points[k][0];
      s.row(k)[2] = points[k][1];
    }
  }
};

struct StepResult {
  double fmin = 0.0;
  int eval_no = 1;
};

StepResult Step(ScriptedRun& r, SubComplex& sub, const double* xnstd) {
  SceStepWork work;
  EXPECT_TRUE(work.Allocate(2));
  StepResult result;
  result.fmin = cce_step(r.run, sub.s, sub.sf, 3, xnstd, work, result.eval_no, 99999999.0);
  return result;
}

const double kSpread[3] = {0, 0.1, 0.1};

TEST(SceCceStep, BetterReflectionIsTakenAfterOneEvaluation) {
  ScriptedRun r;
  SubComplex sub;
  StepResult result = Step(r, sub, kSpread);
  // Centroid of the two best (4.5, 4); reflection of (6, 6) through it is (3, 2).
  ASSERT_EQ(r.asked.size(), 1u);
  EXPECT_EQ(r.asked[0], (std::vector<double>{3, 2}));
  EXPECT_EQ(sub.s.row(3)[1], 3.0);
  EXPECT_EQ(sub.s.row(3)[2], 2.0);
  EXPECT_EQ(sub.sf[3], 5.0);
  EXPECT_EQ(result.eval_no, 2);
  EXPECT_EQ(result.fmin, 5.0);
  EXPECT_EQ(sub.s.row(1)[1], 4.0);  // the other points stay
}

TEST(SceCceStep, ReflectionEqualToTheWorstIsAccepted) {
  ScriptedRun r;
  r.replies = {12.0};
  SubComplex sub;
  Step(r, sub, kSpread);
  EXPECT_EQ(r.asked.size(), 1u);
  EXPECT_EQ(sub.sf[3], 12.0);
  EXPECT_EQ(sub.s.row(3)[1], 3.0);
}

TEST(SceCceStep, WorseReflectionIsContracted) {
  ScriptedRun r;
  r.replies = {20.0, 11.0};
  SubComplex sub;
  StepResult result = Step(r, sub, kSpread);
  ASSERT_EQ(r.asked.size(), 2u);
  // Contraction halfway between the centroid (4.5, 4) and the worst point (6, 6).
  EXPECT_EQ(r.asked[1], (std::vector<double>{5.25, 5}));
  EXPECT_EQ(sub.sf[3], 11.0);
  EXPECT_EQ(result.eval_no, 3);
  EXPECT_EQ(result.fmin, 11.0);
}

TEST(SceCceStep, FailedContractionIsReplacedByARandomPointWhateverItsValue) {
  ScriptedRun r;
  r.replies = {20.0, 13.0, 30.0};
  SubComplex sub;
  StepResult result = Step(r, sub, kSpread);
  ASSERT_EQ(r.asked.size(), 3u);
  EXPECT_EQ(sub.sf[3], 30.0);
  EXPECT_EQ(sub.s.row(3)[1], r.asked[2][0]);
  EXPECT_EQ(sub.s.row(3)[2], r.asked[2][1]);
  EXPECT_EQ(result.eval_no, 4);
  EXPECT_EQ(result.fmin, 13.0);
  // Gaussian around the best point (4, 4) with spread 0.1 of the range 10.
  EXPECT_LT(std::fabs(r.asked[2][0] - 4.0), 6.0);
  EXPECT_GE(r.asked[2][0], 0.0);
  EXPECT_LE(r.asked[2][1], 10.0);
}

TEST(SceCceStep, ReflectionOutsideTheBoundsIsReplacedBeforeEvaluation) {
  ScriptedRun r;
  SubComplex sub;
  sub.s.row(3)[1] = 9.5;  // reflection (-0.5, 2) leaves the bounds
  if (ran_gauss_has_spare()) ran_gauss(r.run);
  double expected[3] = {};
  double sb[3] = {0, 4, 4};
  get_point(r.run, kSceGaussianPoint, expected, kSpread, sb);
  seed_sce_generator(r.run);
  if (ran_gauss_has_spare()) ran_gauss(r.run);
  Step(r, sub, kSpread);
  ASSERT_GE(r.asked.size(), 1u);
  EXPECT_EQ(r.asked[0], (std::vector<double>{expected[1], expected[2]}));
}

TEST(SceSubComplex, WholeComplexWhenSizesAreEqual) {
  ScriptedRun r;
  int lcs[6] = {};
  draw_subcomplex(r.run, 5, 5, lcs);
  for (int k = 1; k <= 5; ++k) EXPECT_EQ(lcs[k], k);
  // No random number was drawn.
  double next = ran_uniform(r.run);
  seed_sce_generator(r.run);
  EXPECT_EQ(ran_uniform(r.run), next);
}

TEST(SceSubComplex, DistinctAscendingPositions) {
  ScriptedRun r(77);
  for (int trial = 0; trial < 200; ++trial) {
    int lcs[8] = {};
    draw_subcomplex(r.run, 7, 4, lcs);
    for (int k = 1; k <= 4; ++k) {
      ASSERT_GE(lcs[k], 1);
      ASSERT_LE(lcs[k], 7);
      if (k > 1) {
        ASSERT_LT(lcs[k - 1], lcs[k]);
      }
    }
  }
}

TEST(SceSubComplex, TrapezoidalPreferenceForBetterPoints) {
  ScriptedRun r(2024);
  const int m = 7;
  const int draws = 56000;
  std::vector<int> count(m + 1, 0);
  for (int i = 0; i < draws; ++i) {
    int lcs[2] = {};
    draw_subcomplex(r.run, m, 1, lcs);
    ++count[lcs[1]];
  }
  // Position k has probability 2 (m + 1 - k) / (m (m + 1)).
  for (int k = 1; k <= m; ++k) {
    double p = 2.0 * (m + 1 - k) / (m * (m + 1.0));
    EXPECT_NEAR(count[k] / static_cast<double>(draws), p, 0.01) << k;
  }
}

TEST(SceEvolveComplex, EvolvesOnlyItsOwnRowsAndKeepsThemSorted) {
  ScriptedRun r;
  SceSettings& s = r.run.settings;
  s.npg = 4;
  s.nps = 3;
  s.nspl = 6;
  // Two complexes of four: complex 1 is rows 1, 3, 5, 7.
  ScePointTable x;
  ASSERT_TRUE(x.Allocate(8, 2, "x"));
  std::vector<double> xf(9);
  for (int k = 1; k <= 8; ++k) {
    x.row(k)[1] = 1.0 + k;
    x.row(k)[2] = 0.5 * k;
    xf[k] = x.row(k)[1] + x.row(k)[2];
  }
  double xnstd[3] = {0, 0.2, 0.2};
  int eval_no = 1;
  double fmin = 99999999.0;
  ASSERT_EQ(evolve_complex(r.run, 1, 2, x, xf.data(), xnstd, eval_no, fmin), 0);
  EXPECT_GE(eval_no, 1 + 6);
  EXPECT_LE(eval_no, 1 + 18);
  EXPECT_EQ(static_cast<int>(r.asked.size()), eval_no - 1);
  for (int k = 2; k <= 8; k += 2) {
    EXPECT_EQ(x.row(k)[1], 1.0 + k);
    EXPECT_EQ(xf[k], 1.5 * k + 1.0);
  }
  for (int k = 1; k <= 7; k += 2) {
    EXPECT_DOUBLE_EQ(xf[k], x.row(k)[1] + x.row(k)[2]);
    if (k > 1) {
      EXPECT_LE(xf[k - 2], xf[k]);
    }
  }
  EXPECT_LE(fmin, xf[1]);
}

}  // namespace
