// Test support shared by the tests of the global methods: points written as lists, the
// two-group linear case, a run of a method's entry in this process with its screen, record
// file and model runs, and the checks every method makes alike (bad input refused before any
// model run, "prediction" refused, the seeds file of a run with a failed sample).
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

#include "lm/pest_case.h"
#include "modellib/tarne_lib.h"
#include "numeric/numeric.h"

namespace global_test {

// A point with the given stored values, addressed from 1 as the methods address theirs.
inline dvector Point(std::initializer_list<double> values) {
  dvector point(static_cast<long>(values.size()));
  long k = 0;
  for (double value : values) point[++k] = value;
  return point;
}

inline std::vector<dvector> Points(std::initializer_list<std::initializer_list<double>> points) {
  std::vector<dvector> result;
  for (const auto& values : points) result.push_back(Point(values));
  return result;
}

// Adjustable a and b in [0, 0.01] and a fixed c; a + b and a - b observed twice each with
// inconsistent values (groups g1, g2) and weight 100, so the least-squares point is
// a = 0.003, b = 0.0045 with phi 0.01, and J'QJ = 40000 I: one iteration reaches it from
// anywhere. The small range keeps the steps short, so that the eight digits of the value
// file move the end points by far less than 1e-6.
lm_test::PestCase LinearCase();

// A method's entry and its file names.
struct MethodTool {
  short (*entry)(tarne::mpi_setup*, int, char**);
  const char* option;       // "-mlsl"
  const char* input_name;   // "mlsl.in"
  const char* record_name;  // "slm_kor_mlsl.rec"
  const char* tool_name;    // "slm_kor_mlsl", as the prediction lines name it
};

struct MethodRun {
  short status = -1;
  std::string screen;
  std::string rec;     // the method's record file, empty when there is none
  int model_runs = 0;  // non-empty lines of runs.txt: one per model run
};

// Runs the method on control (the case) in the working directory, with extra words after
// its name.
MethodRun RunMethod(const MethodTool& tool, const std::vector<std::string>& extra = {},
                    const char* control = "case");

struct RefusalCase {
  const char* name;
  const char* input;  // the method's input file; nullptr: none
  std::vector<std::string> extra;
  void (*prepare)();
  const char* message;
  short status;
};

// Each case in a fresh directory with the linear case: the status, a screen line holding the
// message, and no model run.
void ExpectRefusedBeforeAnyModelRun(const MethodTool& tool, const std::vector<RefusalCase>& cases);

// The linear case in "prediction" mode with the given input: status 1, the method's lines,
// no model run.
void ExpectPredictionRefused(const MethodTool& tool, const char* input);

// The seeds file of a run whose sample 3 failed (seed 12345, samples 2 and 5 failing): the
// sample after a failed run leaves the file alone, so sample 3's seed is missing.
void ExpectSeedsWithoutTheThirdSample();

// Run again with input, the same case in "N" mode under the same user seed: the seeds file
// that written left replays it (the same status and record, the file only read), also after
// failed runs, whose next sample reads no seed as it wrote none.
void ExpectReplayWritesTheSameRecord(const MethodTool& tool, const char* input,
                                     const MethodRun& written);

}  // namespace global_test
