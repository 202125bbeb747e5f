// The analytic test functions of the "function" model kind. Each is shifted by its known
// global minimum so that its smallest value is 0. Called by the model run object.
#pragma once

#include <string>

namespace tarne {

struct TestFunction {
  const char* name;
  int min_dimension;  // smallest number of parameters accepted
  int max_dimension;  // largest number accepted; equal to min_dimension for a fixed size
  double (*evaluate)(const double* x, int n);
};

// The function called name (lower case, as listed in the project file documentation), or
// null when there is none.
const TestFunction* FindTestFunction(const std::string& name);

// Names of all functions, separated by blanks, for messages.
std::string TestFunctionNames();

}  // namespace tarne
