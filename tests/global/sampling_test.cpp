// Tests of the sampling machinery: the generator's published figures, the seed chain, the
// seeds file in its three modes, the uniform draw of a log parameter, and the index sort.
#include "global/sampling.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "lm/lm_test_util.h"
#include "lm/pest_case.h"
#include "support/test_support.h"

namespace {

using lm_test::AddParameter;
using lm_test::MakeRecord;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

TEST(UniformDeviate, PublishedSequencesAndTheLargestValue) {
  SeedChain chain(0);
  std::int32_t seed = chain.Next();
  EXPECT_EQ(chain.state(), 1013904223u);
  EXPECT_EQ(seed, -506952111);
  const double from_chain[3] = {0.1302473397, 0.8390843462, 0.4136219036};
  for (double expected : from_chain) EXPECT_NEAR(UniformDeviate(seed), expected, 5e-11);
  seed = -1;
  const double from_minus_one[3] = {0.4159993569, 0.0919648908, 0.7564104860};
  for (double expected : from_minus_one) EXPECT_NEAR(UniformDeviate(seed), expected, 5e-11);
  double largest = 0.0;
  for (int i = 0; i < 200000; ++i) largest = std::max(largest, UniformDeviate(seed));
  EXPECT_LE(largest, 0.99999988);
  EXPECT_GT(largest, 0.9999);
}

TEST(SampleParameters, LogParameterIsUniformInNaturalUnitsAndOthersKeepTheirValues) {
  ProblemRecord record = MakeRecord();
  AddParameter(record, "k", "log", 0.0, 0.0, 2.0);  // 1 to 100 in natural units
  AddParameter(record, "f", "fixed", 7.0, 0.0, 10.0);
  AddParameter(record, "x", "none", 0.0, -1.0, 3.0);
  std::int32_t seed = -5;
  int above_ten = 0, samples = 4000;
  double lowest_x = 1e9, highest_x = -1e9;
  for (int i = 0; i < samples; ++i) {
    SampleParameters(record, seed);
    above_ten += record.parameters[1].value > 1.0;
    lowest_x = std::min(lowest_x, record.parameters[3].value);
    highest_x = std::max(highest_x, record.parameters[3].value);
    EXPECT_EQ(record.parameters[2].value, 7.0);
  }
  EXPECT_NEAR(above_ten / static_cast<double>(samples), 90.0 / 99.0, 0.02);
  EXPECT_GE(lowest_x, -1.0);
  EXPECT_LE(highest_x, 3.0);
}

// Draws n samples' first parameters the way the methods do: a seed per sample from the chain,
// written to or read from the seeds file.
std::vector<double> Draw(SeedsFile::Mode mode, std::uint32_t user_seed, int n) {
  ProblemRecord record = MakeRecord();
  AddParameter(record, "x", "none", 0.0, 0.0, 1.0);
  SeedChain chain(user_seed);
  SeedsFile seeds;
  EXPECT_TRUE(seeds.Open(mode));
  std::vector<double> drawn;
  for (int i = 0; i < n; ++i) {
    std::int32_t seed = chain.Next();
    seeds.Use(seed);
    SampleParameters(record, seed);
    drawn.push_back(record.parameters[1].value);
  }
  return drawn;
}

TEST(SeedsFile, WrittenSeedsReplayTheSamplesAndAShortFileIsReportedOnce) {
  TempDir dir;
  const std::vector<double> written = Draw(SeedsFile::Mode::kWrite, 11, 5);
  EXPECT_EQ(testing_support::SplitLines(ReadFile(kSeedsFileName)).size(), 5u);
  // Read back under another user seed: the file's seeds win.
  EXPECT_EQ(Draw(SeedsFile::Mode::kRead, 99, 5), written);
  // Two seeds only: the others are derived from the user seed, and one line says so.
  const std::vector<std::string> lines = testing_support::SplitLines(ReadFile(kSeedsFileName));
  WriteFile(kSeedsFileName, lines[0] + "\n" + lines[1] + "\n");
  const std::string kept = ReadFile(kSeedsFileName);
  ::testing::internal::CaptureStdout();
  const std::vector<double> partly = Draw(SeedsFile::Mode::kRead, 11, 5);
  const std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(partly, written);  // the same user seed derives the same later seeds
  EXPECT_EQ(lm_test::Occurrences(out, "cannot read RandomNumberSeeds.prn"), 1) << out;
  // Any other word leaves the file untouched.
  Draw(SeedsFile::ModeOfWord("Yes"), 3, 2);
  EXPECT_EQ(ReadFile(kSeedsFileName), kept);
}

TEST(Indexx, OrdersAscendingAndSurvivesLargeInputs) {
  std::mt19937 generator(7);
  for (long n : {1L, 2L, 7L, 8L, 50L, 1000L, 200000L}) {
    dvector values(n);
    std::uniform_int_distribution<int> pick(0, 50);  // many equal values
    for (long i = 1; i <= n; ++i) values[i] = pick(generator);
    const ivector order = indexx(n, values);
    std::vector<int> seen(static_cast<size_t>(n) + 1, 0);
    for (long i = 1; i <= n; ++i) {
      ++seen[order[i]];
      if (i > 1) {
        EXPECT_LE(values[order[i - 1]], values[order[i]]) << n;
      }
    }
    EXPECT_EQ(std::count(seen.begin() + 1, seen.end(), 1), n);
  }
  dvector sorted(100000);
  for (long i = 1; i <= sorted.size(); ++i) sorted[i] = static_cast<double>(i);
  const ivector order = indexx(sorted.size(), sorted);
  EXPECT_EQ(order[1], 1);
  EXPECT_EQ(order[100000], 100000);
}

}  // namespace
