// Observations read from "time value weight" rows, and the progress line printed after each
// evaluation of a calibration.
#include <cstdio>
#include <string>

#include "modellib/tarne_lib.h"
#include "modellib/text_util.h"

namespace tarne {

observed_data::observed_data() : last_flush_(std::chrono::steady_clock::now()) {}

observed_data::~observed_data() {
  if (!pending_.empty()) {
    std::fputs(pending_.c_str(), stdout);
    std::fflush(stdout);
  }
}

void observed_data::clear() {
  times_.clear();
  values_.clear();
  weights_.clear();
}

// Reads one row into the arrays; false (with reason) when it is not three numbers with a
// weight of at least zero.
static bool ParseObservationRow(const std::vector<std::string>& words, double row[3],
                                std::string* reason) {
  if (words.size() != 3) {
    *reason = "expected time, value and weight, found " + std::to_string(words.size()) +
              " items";
    return false;
  }
  for (int i = 0; i < 3; ++i) {
    if (!ParseDouble(words[static_cast<std::size_t>(i)], &row[i])) {
      *reason = "'" + words[static_cast<std::size_t>(i)] + "' is not a number";
      return false;
    }
  }
  if (row[2] < 0.0) {
    *reason = "negative weight";
    return false;
  }
  return true;
}

int observed_data::read_observed_weighted_peakvol(const char* path) {
  clear();
  const std::string name = path != nullptr ? path : "";
  std::string reason;
  std::FILE* file = OpenInputFile(name, "r", kMaxInputFileBytes, &reason);
  if (file == nullptr) {
    ReportFileError("open", name, 0, reason);
    return -1;
  }
  std::string line;
  long line_number = 0;
  while (ReadTextLine(file, &line)) {
    ++line_number;
    const std::vector<std::string> words = SplitWords(line);
    if (words.empty()) continue;
    double row[3];
    std::string reason = LineTooLong(line) ? LineTooLongReason() : "";
    if (!reason.empty() || !ParseObservationRow(words, row, &reason)) {
      std::fclose(file);
      ReportFileError("read", name, line_number, reason);
      clear();
      return -1;
    }
    times_.push_back(row[0]);
    values_.push_back(row[1]);
    weights_.push_back(row[2]);
  }
  std::fclose(file);
  return static_cast<int>(times_.size());
}

void observed_data::print_results(long /*process_rank*/, long partition_id,
                                  long rank_in_partition, long /*partition_size*/,
                                  long partition_count, long runs, long /*runs_per_partition*/,
                                  tarne_sim* sim) {
  ++evaluations_;
  if (rank_in_partition != 0) return;
  const double objective = sim != nullptr ? sim->last_objective() : 0.0;
  char line[160];
  int length = 0;
  if (partition_count > 1) {
    length = std::snprintf(line, sizeof line, "partition %ld: ", partition_id);
  }
  if (runs > 1) {
    std::snprintf(line + length, sizeof line - static_cast<std::size_t>(length),
                  "evaluation %ld of %ld: objective %.6g\n", evaluations_, runs, objective);
  } else {
    std::snprintf(line + length, sizeof line - static_cast<std::size_t>(length),
                  "evaluation %ld: objective %.6g\n", evaluations_, objective);
  }
  if (partition_count <= 1) {
    std::fputs(line, stdout);
    return;
  }
  // Several partitions run in several processes, whose console lines the MPI launcher
  // forwards one read at a time while the processes keep every core busy. Whole lines sent in
  // batches cost it far less: a batch goes out at 2 KiB, after half a second, and with the
  // partition's last evaluation.
  pending_ += line;
  const auto now = std::chrono::steady_clock::now();
  if (pending_.size() >= 2048 || evaluations_ >= runs ||
      now - last_flush_ >= std::chrono::milliseconds(500)) {
    std::fputs(pending_.c_str(), stdout);
    std::fflush(stdout);
    pending_.clear();
    last_flush_ = now;
  }
}

}  // namespace tarne
