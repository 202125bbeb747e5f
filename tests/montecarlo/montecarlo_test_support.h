// Test doubles of the Monte Carlo tests: a partition object that plays one member of a
// several-partition run and records the exchange calls, and a calibration whose model
// objective is scripted.
#pragma once

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "montecarlo/montecarlo.h"

namespace mc_test {

// One member of a run with partition_count partitions. The exchanges answer as the other
// members would: the within-partition call hands a non-leader the leader's sample, and the
// gathering call returns the other partitions' scripted best values and vectors.
class TestPartition : public tarne::mpi_setup {
 public:
  TestPartition(long partitions, long id, long member, long rank, long threads) {
    partition_count = partitions;
    partition_id = id;
    rank_in_partition = member;
    process_rank = rank;
    total_threads = threads;
  }

  void communicate_across_partition(long n, double* values) override {
    sent.emplace_back(values, values + n);
    if (rank_in_partition != 0) {
      ASSERT_EQ(static_cast<long>(leader_sample.size()), n);
      std::copy(leader_sample.begin(), leader_sample.end(), values);
    }
  }

  // The first gathering call carries the best values, the second the best vectors.
  double* communicate_through_partitions(long n, double* values) override {
    gathered_sizes.push_back(n);
    const bool vectors = gathered_sizes.size() == 2;
    double* out = new double[n * partition_count];
    for (long p = 0; p < partition_count; ++p) {
      for (long k = 0; k < n; ++k) {
        if (p == partition_id) {
          out[p * n + k] = values[k];
        } else {
          out[p * n + k] = vectors ? other_params[p][k] : other_values[p];
        }
      }
    }
    return out;
  }

  std::vector<std::vector<double>> sent;  // what this member handed to each exchange
  std::vector<double> leader_sample;      // elements 0..n the leader shares
  std::vector<long> gathered_sizes;       // n of each gathering call
  std::vector<double> other_values;       // best value of each partition (own slot unused)
  std::vector<std::vector<double>> other_params;  // best vector of each partition
};

// A calibration whose objective for sample i is objectives[i] (the last one repeats; 1.0
// when none are given). It records every sample it was asked to evaluate.
class ScriptedMonteCarlo : public montecarlo {
 public:
  using montecarlo::montecarlo;
  using montecarlo::best_params;
  using montecarlo::best_value;
  using montecarlo::current;
  using montecarlo::input_ok;
  using montecarlo::lower;
  using montecarlo::num_params;
  using montecarlo::observation_file;
  using montecarlo::project_file;
  using montecarlo::second_path;
  using montecarlo::upper;

  std::vector<double> objectives;
  std::vector<std::vector<double>> evaluated;

 protected:
  double evaluate(tarne::tarne_sim&) override {
    evaluated.push_back(current);
    if (objectives.empty()) return 1.0;
    const std::size_t i = std::min(evaluated.size(), objectives.size()) - 1;
    return objectives[i];
  }
};

// Standard output written while action runs.
inline std::string CaptureOutput(const std::function<void()>& action) {
  std::fflush(stdout);
  testing::internal::CaptureStdout();
  action();
  std::fflush(stdout);
  return testing::internal::GetCapturedStdout();
}

inline long CountOf(const std::string& text, const std::string& part) {
  long count = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

}  // namespace mc_test
