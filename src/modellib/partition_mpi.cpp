// The partition object on MPI. A process started by an MPI launcher (mpirun) starts MPI when
// the partition object is built, before main, and ends it at process exit; a partition is a
// communicator split off MPI_COMM_WORLD, and the partition leaders share one more. A process
// started without a launcher does not start MPI and runs alone, as in a build without MPI.
//
// Every exchange is collective: a process that leaves one out would leave its peers waiting
// for ever. So every path through an exchange is taken by all the processes concerned, and
// what cannot be done consistently (memory for an exchange) ends all processes at once.
#include <mpi.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <list>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "modellib/partition_exchange.h"
#include "modellib/tarne_lib.h"
#include "numeric/process_end.h"

namespace tarne {

// A message on its way, kept until MPI has sent it.
struct PostedMessage {
  std::string bytes;
  MPI_Request request = MPI_REQUEST_NULL;
};

// A message being received: its receive is started as soon as it is seen, and it is handed
// over once complete. A long message needs its sender's help to come over, and its sender
// may be busy with a model run: a receive that waited for it would hold this process too.
struct ArrivingMessage {
  long from = -1;
  int tag = 0;
  std::string bytes;
  MPI_Request request = MPI_REQUEST_NULL;
};

struct mpi_setup::Communicators {
  // The members of this process's partition, ranked as in MPI_COMM_WORLD: the leader is 0.
  MPI_Comm partition = MPI_COMM_SELF;
  // The partition leaders ranked by partition id; MPI_COMM_NULL on the other members.
  MPI_Comm leaders = MPI_COMM_WORLD;
  // Whether the two were split off by SetupPartitions (and so are freed by this object).
  bool owned = false;
  // The single processes' messages, apart from every other exchange; ranked as in
  // MPI_COMM_WORLD.
  MPI_Comm messages = MPI_COMM_NULL;
  std::list<PostedMessage> posted;
  std::list<ArrivingMessage> arriving;  // in the order their receives were started
};

namespace {

// True when an MPI launcher started this process: OpenMPI's mpirun sets
// OMPI_COMM_WORLD_SIZE, launchers that speak PMIx or PMI (a batch system's srun) set
// PMIX_RANK or PMI_RANK. Started any other way the program runs alone and leaves MPI
// unstarted, which would cost a fraction of a second at every start.
bool StartedByLauncher() {
  for (const char* name : {"OMPI_COMM_WORLD_SIZE", "PMIX_RANK", "PMI_RANK"}) {
    if (std::getenv(name) != nullptr) return true;
  }
  return false;
}

std::string MpiErrorText(int code) {
  char text[MPI_MAX_ERROR_STRING] = {};
  int length = 0;
  if (MPI_Error_string(code, text, &length) != MPI_SUCCESS) return "error " + std::to_string(code);
  return std::string(text, static_cast<std::size_t>(std::max(length, 0)));
}

// Holds this process until every process of the run has come to its end, sleeping between
// checks. Processes whose part is done (all but rank 0 in a mode that rank 0 runs alone)
// wait here for hours without taking a processor from the work; MPI_Finalize would wait too,
// but polling all the while.
void WaitForEveryProcess() {
  MPI_Request request = MPI_REQUEST_NULL;
  MPI_Ibarrier(MPI_COMM_WORLD, &request);
  auto pause = std::chrono::milliseconds(1);
  int done = 0;
  while (MPI_Test(&request, &done, MPI_STATUS_IGNORE) == MPI_SUCCESS && done == 0) {
    std::this_thread::sleep_for(pause);
    pause = std::min(pause * 2, std::chrono::milliseconds(50));
  }
}

// MPI for the whole process: started by the first partition object, ended at process exit
// after the last one. Built inside the first object's constructor, it is destroyed after
// that object, whichever way the process ends through exit.
class MpiSession {
 public:
  static MpiSession& Instance() {
    static MpiSession session;
    return session;
  }
  MpiSession(const MpiSession&) = delete;
  MpiSession& operator=(const MpiSession&) = delete;

  bool running() const { return running_; }
  long rank() const { return rank_; }
  long size() const { return size_; }

  ~MpiSession() {
    if (!started_here_) return;
    int finalized = 0;
    MPI_Finalized(&finalized);
    if (finalized != 0) return;
    WaitForEveryProcess();
    MPI_Finalize();
  }

 private:
  MpiSession() {
    if (!StartedByLauncher()) return;
    int initialized = 0;
    MPI_Initialized(&initialized);
    if (initialized == 0) {
      // OpenMPI ends the process with its own report when its start fails; an MPI that
      // returns the failure gets this one line, and the launcher ends the others.
      const int status = MPI_Init(nullptr, nullptr);
      if (status != MPI_SUCCESS) {
        std::fprintf(stderr, "tarne: cannot start MPI: %s\n", MpiErrorText(status).c_str());
        std::fflush(stderr);
        EndProcess(1);
      }
      started_here_ = true;
    }
    int rank = 0, size = 1;
    MPI_Comm_rank(MPI_COMM_WORLD, &rank);
    MPI_Comm_size(MPI_COMM_WORLD, &size);
    rank_ = rank;
    size_ = size;
    running_ = true;
  }

  bool running_ = false;
  bool started_here_ = false;
  long rank_ = 0;
  long size_ = 1;
};

// A fault that the processes cannot get past together (no memory for an exchange): one line,
// then every process of the run ends with status 1.
[[noreturn]] void EndEveryProcess(const char* what) {
  std::fprintf(stderr, "tarne: %s; every process of the run ends\n", what);
  std::fflush(stderr);
  std::fflush(stdout);
  MPI_Abort(MPI_COMM_WORLD, 1);
  EndProcess(1);
}

// A partition request that every process refuses alike: rank 0 says why, then each process
// ends with status 1 (they all come to the same verdict, so none is left waiting).
[[noreturn]] void RefusePartitions(long rank, const char* format, ...) {
  if (rank == 0) {
    std::va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
  }
  std::fflush(stdout);
  std::fflush(stderr);
  EndProcess(1);
}

// MPI counts are int: longer arrays go in pieces.
template <typename Action>
void InPieces(long n, Action action) {
  for (long first = 0; first < n; first += INT_MAX) {
    action(first, static_cast<int>(std::min<long>(n - first, INT_MAX)));
  }
}

void FreeCommunicator(MPI_Comm* comm) {
  if (*comm != MPI_COMM_NULL && *comm != MPI_COMM_WORLD && *comm != MPI_COMM_SELF) {
    MPI_Comm_free(comm);
  }
  *comm = MPI_COMM_NULL;
}

}  // namespace

// From construction on every process is its own partition: it is its partition's only
// member and leader, and all processes are leaders, in rank order.
mpi_setup::mpi_setup() {
  const MpiSession& session = MpiSession::Instance();
  if (!session.running()) return;
  communicators_ = std::make_unique<Communicators>();
  // Every process builds its partition object at its start, so this collective call is
  // made by all of them.
  MPI_Comm_dup(MPI_COMM_WORLD, &communicators_->messages);
  process_rank = session.rank();
  total_threads = session.size();
  partition_count = total_threads;
  partition_id = process_rank;
  rank_in_partition = 0;
  partition_size = 1;
}

mpi_setup::~mpi_setup() {
  if (!communicators_) return;
  int finalized = 0;
  MPI_Finalized(&finalized);
  if (finalized != 0) return;
  // Messages still on their way at the process's end go on without their request.
  for (PostedMessage& message : communicators_->posted) {
    if (message.request != MPI_REQUEST_NULL) MPI_Request_free(&message.request);
  }
  for (ArrivingMessage& message : communicators_->arriving) {
    if (message.request == MPI_REQUEST_NULL) continue;
    MPI_Cancel(&message.request);
    MPI_Request_free(&message.request);
  }
  FreeCommunicator(&communicators_->messages);
  if (!communicators_->owned) return;
  FreeCommunicator(&communicators_->partition);
  FreeCommunicator(&communicators_->leaders);
}

void mpi_setup::SetupPartitions(long count) {
  if (!communicators_) {
    // Alone: one partition of one member, whatever the count.
    partition_count = 1;
    partition_id = 0;
    rank_in_partition = 0;
    partition_size = 1;
    return;
  }
  const long processes = MpiSession::Instance().size();
  // Every process must ask for the same partitions; they find out together. (Counts below 1
  // are all refused alike below; taking them as 0 keeps the negation in range.)
  const long asked = std::max(count, 0L);
  long bounds[2] = {asked, -asked};
  MPI_Allreduce(MPI_IN_PLACE, bounds, 2, MPI_LONG, MPI_MAX, MPI_COMM_WORLD);
  if (bounds[0] != -bounds[1]) {
    RefusePartitions(process_rank,
                     "tarne: cannot set up partitions: the processes asked for partitions of "
                     "%ld to %ld processes\n", -bounds[1], bounds[0]);
  }
  if (count < 1 || processes % count != 0) {
    RefusePartitions(process_rank,
                     "tarne: cannot set up partitions of %ld processes each: that does not "
                     "divide the %ld processes of this run\n", count, processes);
  }
  if (communicators_->owned) {
    FreeCommunicator(&communicators_->partition);
    FreeCommunicator(&communicators_->leaders);
  }
  partition_size = count;
  partition_count = processes / count;
  partition_id = process_rank / count;
  rank_in_partition = process_rank % count;
  Communicators& c = *communicators_;
  MPI_Comm_split(MPI_COMM_WORLD, static_cast<int>(partition_id), static_cast<int>(process_rank),
                 &c.partition);
  MPI_Comm_split(MPI_COMM_WORLD, rank_in_partition == 0 ? 0 : MPI_UNDEFINED,
                 static_cast<int>(partition_id), &c.leaders);
  c.owned = true;
}

// A broadcast from the partition leader.
void mpi_setup::communicate_across_partition(long n, double* values) {
  if (n <= 0 || values == nullptr || PartitionExchange::Members(*this) <= 1) return;
  const MPI_Comm comm = communicators_->partition;
  InPieces(n, [&](long first, int count) {
    MPI_Bcast(values + first, count, MPI_DOUBLE, 0, comm);
  });
}

// A gather over the partition leaders in partition order, whose result every leader gets.
// A process that runs alone, or a member that is not a leader, gets its own values in its
// partition's place and zeros elsewhere.
double* mpi_setup::communicate_through_partitions(long n, double* values) {
  if (n < 0) n = 0;
  const long total = n * partition_count;
  double* gathered = new (std::nothrow) double[total > 0 ? total : 1]();
  const bool exchanges = communicators_ && communicators_->leaders != MPI_COMM_NULL &&
                         partition_count > 1 && n > 0;
  if (!exchanges) {
    if (gathered != nullptr && values != nullptr && n > 0) {
      std::memcpy(gathered + partition_id * n, values,
                  sizeof(double) * static_cast<std::size_t>(n));
    }
    return gathered;
  }
  if (gathered == nullptr) EndEveryProcess("no memory for the values gathered from the partitions");
  if (n > INT_MAX) EndEveryProcess("too many values to gather from the partitions");
  std::unique_ptr<double[]> zeros;
  if (values == nullptr) {
    zeros.reset(new (std::nothrow) double[n]());
    if (zeros == nullptr) EndEveryProcess("no memory for the values gathered from the partitions");
    values = zeros.get();
  }
  MPI_Allgather(values, static_cast<int>(n), MPI_DOUBLE, gathered, static_cast<int>(n),
                MPI_DOUBLE, communicators_->leaders);
  return gathered;
}

namespace {

// Forgets the posted messages that MPI has sent.
void ForgetSentMessages(std::list<PostedMessage>* posted) {
  for (auto it = posted->begin(); it != posted->end();) {
    int sent = 0;
    MPI_Test(&it->request, &sent, MPI_STATUS_IGNORE);
    it = sent != 0 ? posted->erase(it) : std::next(it);
  }
}

}  // namespace

void mpi_setup::post_message(long to, int tag, const std::string& bytes) {
  if (!communicators_ || to < 0 || to >= total_threads) return;
  if (bytes.size() > static_cast<std::size_t>(INT_MAX)) {
    EndEveryProcess("a message between the processes is longer than MPI can send");
  }
  std::list<PostedMessage>& posted = communicators_->posted;
  posted.push_back(PostedMessage{bytes, MPI_REQUEST_NULL});
  PostedMessage& message = posted.back();
  MPI_Isend(message.bytes.data(), static_cast<int>(message.bytes.size()), MPI_BYTE,
            static_cast<int>(to), tag, communicators_->messages, &message.request);
  ForgetSentMessages(&posted);
}

bool mpi_setup::take_message(long* from, int* tag, std::string* bytes) {
  if (!communicators_) return false;
  Communicators& c = *communicators_;
  ForgetSentMessages(&c.posted);
  // Starts the receive of every message that has come in: each matches the first message of
  // its sender not yet matched, so the messages of one sender keep their order.
  for (;;) {
    int arrived = 0;
    MPI_Status status;
    MPI_Iprobe(MPI_ANY_SOURCE, MPI_ANY_TAG, c.messages, &arrived, &status);
    if (arrived == 0) break;
    int count = 0;
    MPI_Get_count(&status, MPI_BYTE, &count);
    c.arriving.push_back(ArrivingMessage{status.MPI_SOURCE, status.MPI_TAG,
                                         std::string(static_cast<std::size_t>(count), '\0'),
                                         MPI_REQUEST_NULL});
    ArrivingMessage& message = c.arriving.back();
    MPI_Irecv(message.bytes.data(), count, MPI_BYTE, static_cast<int>(message.from),
              message.tag, c.messages, &message.request);
  }
  // Hands over the first complete message whose sender has no earlier one still arriving.
  std::vector<long> held;
  for (auto it = c.arriving.begin(); it != c.arriving.end(); ++it) {
    if (std::find(held.begin(), held.end(), it->from) != held.end()) continue;
    int done = 0;
    MPI_Test(&it->request, &done, MPI_STATUS_IGNORE);
    if (done == 0) {
      held.push_back(it->from);
      continue;
    }
    *from = it->from;
    *tag = it->tag;
    *bytes = std::move(it->bytes);
    c.arriving.erase(it);
    return true;
  }
  return false;
}

bool mpi_setup::messages_in_flight() {
  if (!communicators_) return false;
  ForgetSentMessages(&communicators_->posted);
  return !communicators_->posted.empty();
}

long PartitionExchange::Members(const mpi_setup& partition) {
  if (!partition.communicators_) return 1;
  int size = 1;
  MPI_Comm_size(partition.communicators_->partition, &size);
  return size;
}

long PartitionExchange::Member(const mpi_setup& partition) {
  if (!partition.communicators_) return 0;
  int rank = 0;
  MPI_Comm_rank(partition.communicators_->partition, &rank);
  return rank;
}

void PartitionExchange::MaxOverMembers(mpi_setup& partition, long n, long* values) {
  if (n <= 0 || Members(partition) <= 1) return;
  const MPI_Comm comm = partition.communicators_->partition;
  InPieces(n, [&](long first, int count) {
    MPI_Allreduce(MPI_IN_PLACE, values + first, count, MPI_LONG, MPI_MAX, comm);
  });
}

void PartitionExchange::SumOverMembers(mpi_setup& partition, long n, double* values) {
  if (n <= 0 || Members(partition) <= 1) return;
  const MPI_Comm comm = partition.communicators_->partition;
  InPieces(n, [&](long first, int count) {
    MPI_Allreduce(MPI_IN_PLACE, values + first, count, MPI_DOUBLE, MPI_SUM, comm);
  });
}

}  // namespace tarne
