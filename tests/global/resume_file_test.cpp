// Tests of the global methods' restart file: everything written reads back to the same bits
// (infinite and NaN objectives, -0 and the shortest forms included), and a file that does not
// fit the problem is refused with its line.
#include "global/resume_file.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "global/method_run.h"
#include "support/test_support.h"

namespace {

using global_test::Point;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

ProblemRecord Sizes(int parameters, int groups) {
  ProblemRecord record;
  record.NPAR = parameters;
  record.NOBSGP = groups;
  return record;
}

TEST(ResumeFile, WhatIsWrittenReadsBackToTheSameBits) {
  TempDir dir;
  const double inf = std::numeric_limits<double>::infinity();
  ResumeImage image;
  image.inputs = {"a case.pst", 1, 18446744073709551615ull, 0};
  image.record_length = 123456789012;
  image.best_parameters = "1.000000\n-0.500000\n";
  image.marks = {0, 2};
  StepResult sample;
  sample.point = Point({0.1, -0.0});
  sample.objectives = {inf, std::nan("")};
  StepResult search;
  search.search = true;
  search.status = -1;
  search.model_calls = 17;
  search.point = Point({1.0 / 3.0, 5e-324});
  search.objectives = {0.062013, 1e300};
  search.end = Point({2.0, 3.0});
  search.start_objective = 61.5;
  search.recorded = {Point({1.5, 2.5})};
  search.recorded_objectives = {-999.999};
  image.steps = {sample, search};
  image.search_under_way = true;
  image.under_way.search = true;
  image.under_way.point = Point({0.7, 0.8});
  image.engine_state = "0\n0\n0.9\n1\n\n2 lines\ttabbed\n";
  ASSERT_EQ(WriteResumeFile("m.rst", image), 0);
  const std::string written = ReadFile("m.rst");

  ResumeImage read;
  ASSERT_TRUE(ReadResumeFile("m.rst", Sizes(2, 1), read));
  ASSERT_EQ(WriteResumeFile("again.rst", read), 0);
  EXPECT_EQ(ReadFile("again.rst"), written);
  EXPECT_EQ(read.inputs.control, 18446744073709551615ull);
  EXPECT_TRUE(std::signbit(read.steps[0].point[2]));
  EXPECT_TRUE(std::isnan(read.steps[0].objectives[1]));
  EXPECT_EQ(read.steps[1].point[1], 1.0 / 3.0);
  EXPECT_EQ(read.steps[1].point[2], 5e-324);
  EXPECT_EQ(read.engine_state, image.engine_state);

  // Read for a problem with three parameters, the first point is one value short.
  testing::internal::CaptureStdout();
  EXPECT_FALSE(ReadResumeFile("m.rst", Sizes(3, 1), read));
  const std::string screen = testing::internal::GetCapturedStdout();
  EXPECT_NE(screen.find(
                "cannot read m.rst (line 13): a point has 2 values, not the 3 of the problem"),
            std::string::npos)
      << screen;
}

}  // namespace
