// Tests of the tolerant text comparison used for reports.
#include "support/text_compare.h"

#include <gtest/gtest.h>

namespace {

using testing_support::CompareText;
using testing_support::NumberTolerance;

TEST(CompareText, TextExactNumbersWithinToleranceOfTheSameShape) {
  struct Case {
    const char* expected;
    const char* actual;
    bool matches;
  };
  const NumberTolerance tolerance{1e-6, 0.0};
  const Case cases[] = {
      {"Phi =\t1.000000E+02\t\t(5.000000E-01 of starting phi)\n",
       "Phi =\t1.0000001E+02\t\t(5.000000E-01 of starting phi)\n", false},  // shape differs
      {"Phi =\t1.000000E+02\t(x)\n", "Phi =\t1.000001E+02\t(x)\n", true},
      {"k1 2.000000\n", "k1 2.000001\n", true},
      {"k1 2.000000\n", "k1 2.000100\n", false},
      {"k1 2.000000\n", "k2 2.000000\n", false},  // digits inside a name are text
      {"k1\t2.000000\n", "k1 2.000000\n", false},  // blanks are text
      {"a\n", "a", false},                         // a missing line end counts
      {"-0.000000\n", "0.000000\n", false},        // the sign is part of the shape
      {"x 1e-300\n", "x 1e-300\n", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CompareText(c.expected, c.actual, tolerance).empty(), c.matches)
        << c.expected << " / " << c.actual;
  }
}

TEST(CompareText, AbsoluteToleranceCoversValuesNearZeroAndTheReportNamesTheLine) {
  EXPECT_EQ(CompareText("r 0.000001\n", "r 0.000003\n", {1e-9, 1e-5}), "");
  const std::string difference = CompareText("a\nb 1.5\n", "a\nb 1.7\n", {1e-3, 0.0});
  EXPECT_NE(difference.find("line 2"), std::string::npos) << difference;
  EXPECT_NE(difference.find("1.7"), std::string::npos) << difference;
}

}  // namespace
