// The partition object of a build without MPI: rank 0, one thread, one partition of one
// member, whatever the program asks for.
#include <cstring>
#include <string>
#include <new>

#include "modellib/partition_exchange.h"
#include "modellib/tarne_lib.h"

namespace tarne {

// A process that runs alone exchanges with nobody.
struct mpi_setup::Communicators {};

mpi_setup::mpi_setup() = default;
mpi_setup::~mpi_setup() = default;

// One process makes exactly one partition whatever count is asked for; the counts set at
// construction stay valid, so modes that never call this still see one partition.
void mpi_setup::SetupPartitions(long /*count*/) {
  partition_count = 1;
  partition_id = 0;
  rank_in_partition = 0;
  partition_size = 1;
}

// The only member is the leader: its values are already the leader's.
void mpi_setup::communicate_across_partition(long /*n*/, double* /*values*/) {}

double* mpi_setup::communicate_through_partitions(long n, double* values) {
  if (n < 0) n = 0;
  const long total = n * partition_count;
  double* gathered = new (std::nothrow) double[total > 0 ? total : 1]();
  if (gathered != nullptr && values != nullptr && n > 0) {
    std::memcpy(gathered, values, sizeof(double) * static_cast<std::size_t>(n));
  }
  return gathered;
}

// A process that runs alone has nobody to message.
void mpi_setup::post_message(long /*to*/, int /*tag*/, const std::string& /*bytes*/) {}
bool mpi_setup::take_message(long* /*from*/, int* /*tag*/, std::string* /*bytes*/) {
  return false;
}
bool mpi_setup::messages_in_flight() { return false; }

long PartitionExchange::Members(const mpi_setup& /*partition*/) { return 1; }
long PartitionExchange::Member(const mpi_setup& /*partition*/) { return 0; }
void PartitionExchange::MaxOverMembers(mpi_setup& /*partition*/, long /*n*/, long* /*values*/) {}
void PartitionExchange::SumOverMembers(mpi_setup& /*partition*/, long /*n*/,
                                       double* /*values*/) {}

}  // namespace tarne
