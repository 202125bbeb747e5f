// The library's own exchanges among the members of one partition while they run one model
// together: agreeing on an outcome and summing a series. Called by the model run object and
// the hydro model; the driver uses only the partition object's two exchange calls. A process
// that runs alone (or a partition of one member) answers every call at once.
#pragma once

#include "modellib/tarne_lib.h"

namespace tarne {

class PartitionExchange {
 public:
  // Number of members of this process's partition that exchange values (1 when it runs
  // alone), and this process's place among them (0 = the leader).
  static long Members(const mpi_setup& partition);
  static long Member(const mpi_setup& partition);
  // Every member calls these with the same n. MaxOverMembers replaces each of the n values
  // by its largest value over the members; SumOverMembers by its sum. Every member gets
  // the same results.
  static void MaxOverMembers(mpi_setup& partition, long n, long* values);
  static void SumOverMembers(mpi_setup& partition, long n, double* values);
};

}  // namespace tarne
