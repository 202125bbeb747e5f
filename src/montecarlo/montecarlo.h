// Monte Carlo calibration: uniform sampling of parameter sets between bounds, one model
// objective per sample, per-partition logs and the best set in "best.out". Called by the
// driver for the "-m" and "-s" modes through run_monte_carlo.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "modellib/tarne_lib.h"

// Runs total_samples samples (split over the partitions of partition) as described by the
// Monte Carlo input file. Returns 1 when the run loop ran and its log and "best.out" were
// written, 0 when the input file could not be read, when under several processes one of
// them could not read the input, its observation file or the model's input files (checked
// before the first sample, so that all run or none does), or when a file of the run could
// not be written.
int run_monte_carlo(tarne::mpi_setup* partition, long total_samples, const char* input_file);

// One Monte Carlo calibration of one process. The partition leader draws each sample and
// writes the partition's log; every member of the partition runs the same sample. The object
// is made once per run: constructed (input read), run(), report_best(), destroyed.
class montecarlo {
 public:
  // Size of the three file-name fields, terminator included.
  static constexpr int kNameSize = 200;
  // Size of the line buffer the input file is read through.
  static constexpr int kLineSize = 1024;

  // Reads the input file (always with this class's own read_input: a derived class is not
  // yet built here) and, when it was read, seeds the generator and reads the observations.
  montecarlo(tarne::mpi_setup* partition, long runs, const char* input_file);
  virtual ~montecarlo();
  montecarlo(const montecarlo&) = delete;
  montecarlo& operator=(const montecarlo&) = delete;

  // Reads the Monte Carlo input file; sets input_ok to 1 on success. Reports what is wrong
  // with an unreadable or malformed file on standard output.
  virtual void read_input(const char* file_name);
  // Fills current with the next sample and shares it within the partition.
  virtual void sample();

  // The run loop: runs samples 0..runs-1. Returns 1 when it ran, 0 (after the message) when
  // the input file was not read.
  int run();
  // Prints the best set and writes "best.out" (partition leaders exchange their best first
  // when the process has several threads). Every process of the run calls it.
  void report_best();
  // Whether the input file was read.
  bool input_read() const { return input_ok != 0; }
  // Whether the input, the observation file and the files the model reads for a sample (the
  // project, the replacement list and, for the hydro kind, the forcing) can be read here.
  bool model_inputs_read();
  // False once the log or "best.out" could not be written.
  bool results_written() const { return !write_failed_; }

 protected:
  // Runs the model on current with the fresh model run object sim; returns the objective.
  virtual double evaluate(tarne::tarne_sim& sim);
  // Leader only: appends the sample's log line, opening the log on first use.
  void log_sample(const tarne::tarne_sim& sim, double value);
  // Takes value and current as the best when they are better than the best so far.
  void track_best(double value);
  // Prints the report of value and parameters[1..num_params] and writes "best.out".
  void print_best(double value, const double* parameters);

  int leader = 0;
  long partition_id = 0;
  tarne::mpi_setup* partition;
  std::unique_ptr<tarne::observed_data> observed;
  tarne::gFILE log_file;
  char project_file[kNameSize] = {};
  char second_path[kNameSize] = {};
  char observation_file[kNameSize] = {};
  // Samples this partition runs. Kept as long so that no sample count is cut short.
  long runs;
  std::int32_t num_params = 0;
  std::vector<double> lower;
  std::vector<double> upper;
  int input_ok = 0;
  std::vector<double> current;
  std::vector<double> best_params;
  double best_value = 0.0;
  // Samples whose objective reached track_best; 0 means there is no best set.
  long samples_tracked = 0;

 private:
  bool open_log(const tarne::tarne_sim& sim);
  void report_across_partitions();
  // Set once opening or writing the log failed; the run then goes on without a log.
  bool log_failed_ = false;
  // Set once the log or "best.out" could not be written: the run then ends as a failure.
  bool write_failed_ = false;
  // Whether the observation file was read.
  bool observations_read_ = false;
  // Path of the open log, for messages.
  std::string log_path_;
};

// True when candidate is a better objective than best: a smaller magnitude, or any number
// in place of a best that is not a number. Equal magnitudes keep the earlier one.
bool IsBetterObjective(double candidate, double best);
