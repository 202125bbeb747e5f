// A small program that the MPI tests start under mpirun: it builds nothing of its own but
// uses the process-wide partition object as tarne does, sets up partitions of the size given
// on its command line, runs every exchange once, and writes what it saw to
// "probe_<rank>.txt" in the working directory.
//
//   partition_probe <processes per partition>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "modellib/partition_exchange.h"
#include "modellib/tarne_lib.h"

// Built before main, like tarne's.
tarne::mpi_setup process_partition;

namespace {

std::string Layout(const tarne::mpi_setup& p) {
  char text[160];
  std::snprintf(text, sizeof text, "rank %ld of %ld: partition %ld of %ld, member %ld of %ld",
                p.process_rank, p.total_threads, p.partition_id, p.partition_count,
                p.rank_in_partition, p.partition_size);
  return text;
}

std::string Values(const double* values, long n) {
  std::string text;
  for (long i = 0; i < n; ++i) {
    char item[32];
    std::snprintf(item, sizeof item, "%s%g", i > 0 ? " " : "", values[i]);
    text += item;
  }
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: partition_probe <processes per partition>\n");
    return 2;
  }
  tarne::mpi_setup& p = process_partition;
  std::string report = "constructed: " + Layout(p) + "\n";
  p.SetupPartitions(std::atol(argv[1]));
  report += "set up: " + Layout(p) + "\n";

  // The leader's values reach every member.
  double sample[3] = {-1.0, -1.0, -1.0};
  if (p.rank_in_partition == 0) {
    for (int i = 0; i < 3; ++i) sample[i] = 100.0 * static_cast<double>(p.partition_id) + i + 1;
  }
  p.communicate_across_partition(3, sample);
  report += "across: " + Values(sample, 3) + "\n";

  // Every leader gets (partition id, rank) of every partition, in partition order.
  if (p.rank_in_partition == 0) {
    double own[2] = {static_cast<double>(p.partition_id), static_cast<double>(p.process_rank)};
    std::unique_ptr<double[]> all(p.communicate_through_partitions(2, own));
    report += "through: " + Values(all.get(), 2 * p.partition_count) + "\n";
  }

  // The library's own exchanges within the partition.
  double sums[2] = {1.0, static_cast<double>(p.process_rank)};
  tarne::PartitionExchange::SumOverMembers(p, 2, sums);
  long largest = p.process_rank;
  tarne::PartitionExchange::MaxOverMembers(p, 1, &largest);
  report += "members: " + std::to_string(tarne::PartitionExchange::Members(p)) + ", sum " +
            Values(sums, 2) + ", max " + std::to_string(largest) + "\n";

  const std::string name = "probe_" + std::to_string(p.process_rank) + ".txt";
  std::FILE* file = std::fopen(name.c_str(), "w");
  if (file == nullptr) return 3;
  std::fputs(report.c_str(), file);
  return std::fclose(file) == 0 ? 0 : 3;
}
