// Compares a file's text with the expected text: everything but numbers must match byte for
// byte, while numbers must have the same printed shape (sign, digits after the point,
// exponent form) and agree within a tolerance. Used by the tests of reports whose numbers
// come from floating-point computations.
#pragma once

#include <string>

namespace testing_support {

struct NumberTolerance {
  double relative = 1e-9;
  double absolute = 0.0;  // differences up to this are accepted whatever the magnitude
};

// Returns "" when actual matches expected, otherwise a description of the first difference:
// the line number, both lines and what differs.
std::string CompareText(const std::string& expected, const std::string& actual,
                        NumberTolerance tolerance = {});

}  // namespace testing_support
