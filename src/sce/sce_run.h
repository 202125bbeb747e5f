// The SCE run object: the settings read from the SCE input file, the files and flags of one
// run, the best point the search leaves behind and the state of the uniform generator.
// Built by run_sce; read and updated by the input reader, the search and the evolution steps.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "modellib/tarne_lib.h"

// An array of doubles from the model library's allocator, released with delete[].
using SceArray = std::unique_ptr<double[]>;

// Allocates n zero-filled doubles under label (the library reports a failure by label).
// Returns null when the allocation failed.
SceArray AllocateSceArray(long n, const char* label);

// Points of n parameters stored row after row; row k holds parameters 1..n at columns 1..n
// (column 0 unused) and rows are addressed from 1.
class ScePointTable {
 public:
  ScePointTable() = default;
  // Allocates rows 0..rows of n + 1 columns; returns false when the allocation failed.
  bool Allocate(long rows, long n, const char* label);
  double* row(long k) { return data_.get() + k * width_; }
  const double* row(long k) const { return data_.get() + k * width_; }

 private:
  SceArray data_;
  long width_ = 0;
};

// Settings of one SCE run, as read from the input file and repaired by the settings check.
struct SceSettings {
  static constexpr int kNameSize = 1024;
  char project_file[kNameSize] = {};
  char second_path[kNameSize] = {};
  char observation_file[kNameSize] = {};
  std::int32_t max_calls = 0;
  std::int32_t kstop = 0;
  double conv_pct = 0.0;  // a fraction: the input's percentage divided by 100
  std::int32_t ngs = 0;
  std::int32_t seed = 0;
  std::int32_t custom = 0;
  std::int32_t nparam = 0;
  std::int32_t npg = 0;
  std::int32_t nps = 0;
  std::int32_t nspl = 0;
  std::int32_t min_ngs = 0;
  std::int32_t start_flag = 0;
  std::int32_t pop_print = 0;
  SceArray a;   // start point, 1..nparam
  SceArray bl;  // lower bounds, 1..nparam
  SceArray bu;  // upper bounds, 1..nparam
};

// Replaces the model as objective (tests and benchmarks): receives the point (1..n) and n,
// returns the raw objective value whose magnitude the search minimises.
using SceObjectiveHook = std::function<double(const double* point, int n)>;

struct SceRun {
  explicit SceRun(tarne::mpi_setup* partition_object) : partition(partition_object) {}

  tarne::mpi_setup* partition;
  tarne::gFILE log_file;     // "sce_log_file.txt", open only while a line is written
  int log_disabled = 0;      // set once the log could not be created or written
  SceSettings settings;
  int output_on = 0;         // writes to the output file are made only when set
  tarne::gFILE output_file;  // "sce_output.out", open for the whole run
  int setup_ok = 0;          // the search starts only when set
  tarne::replace_io io_settings;
  std::unique_ptr<tarne::observed_data> observed;
  SceArray bestx;  // best point found by the search, 1..nparam
  // Scratch of the population statistics, allocated on first use.
  SceArray xmax;
  SceArray xmin;
  SceArray xmean;
  std::int32_t idum = 0;  // state of the uniform generator
  SceObjectiveHook objective_hook;  // empty: the model is the objective
};
