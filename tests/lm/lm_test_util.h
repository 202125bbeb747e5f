// Shared pieces of the Levenberg-Marquardt tests: problem records built by hand, capture of
// what a routine writes to a stream, and a PEST-format case around an external model whose
// outputs are awk expressions of the values the engine writes.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "pest/control_file.h"
#include "pest/parameters.h"
#include "pest/problem.h"
#include "support/test_support.h"

namespace lm_test {

// A record with one parameter group "pg" (FORCEN as given, "outside_pts"), one observation
// group "obs" and the lambda settings of a typical control file.
inline ProblemRecord MakeRecord(const char* forcen = "always_2") {
  ProblemRecord record;
  std::strcpy(record.PESTMODE, "estimation");
  std::strcpy(record.RSTFLE, "norestart");
  record.groups.resize(2);
  std::strcpy(record.groups[1].PARGPNME, "pg");
  std::strcpy(record.groups[1].FORCEN, forcen);
  std::strcpy(record.groups[1].DERMTHD, "outside_pts");
  record.NPARGP = 1;
  record.observation_groups.resize(2);
  std::strcpy(record.observation_groups[1].OBGNME, "obs");
  record.NOBSGP = 1;
  record.parameters.resize(1);
  record.observations.resize(1);
  record.priors.resize(1);
  record.RLAMBDA1 = 0.01;
  record.RLAMFAC = 2.0;
  record.PHIRATSUF = 0.3;
  record.PHIREDLAM = 0.01;
  record.NUMLAM = 10;
  record.NOPTMAX = 10;
  return record;
}

inline Parameter& AddParameter(ProblemRecord& record, const char* name, const char* transform,
                               double value, double lower, double upper) {
  Parameter parameter;
  std::strcpy(parameter.PARNME, name);
  SetParameterTransform(parameter, transform);
  std::strcpy(parameter.PARGP, "pg");
  parameter.value = value;
  parameter.PARLBND = lower;
  parameter.PARUBND = upper;
  record.parameters.push_back(parameter);
  record.NPAR = static_cast<int>(record.parameters.size()) - 1;
  CountParameterTypes(record);
  return record.parameters.back();
}

inline Observation& AddObservation(ProblemRecord& record, const char* name, double value,
                                   double weight = 1.0, const char* group = "obs") {
  Observation observation;
  std::strcpy(observation.OBSNME, name);
  std::strcpy(observation.OBGNME, group);
  observation.OBSVAL = value;
  observation.WEIGHT = weight;
  record.observations.push_back(observation);
  record.NOBS = static_cast<int>(record.observations.size()) - 1;
  return record.observations.back();
}

// Collects what a routine writes to stdout and to a record file.
class Captured {
 public:
  Captured() : rec_(std::tmpfile()) { ::testing::internal::CaptureStdout(); }
  ~Captured() {
    if (!done_) ::testing::internal::GetCapturedStdout();
    std::fclose(rec_);
  }
  std::FILE* rec() { return rec_; }
  // Ends the capture; screen() and record() are valid afterwards.
  void Finish() {
    screen_ = ::testing::internal::GetCapturedStdout();
    done_ = true;
    std::fflush(rec_);
    std::rewind(rec_);
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, rec_)) > 0) record_.append(buffer, n);
  }
  const std::string& screen() const { return screen_; }
  const std::string& record() const { return record_; }

 private:
  std::FILE* rec_;
  bool done_ = false;
  std::string screen_, record_;
};

}  // namespace lm_test
