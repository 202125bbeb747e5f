// The calibration tools' model runs spread over the processes under mpirun: RunSpread, made
// by the driver on rank 0 for one tool and found by the model runner through the partition
// object, hands each batch of independent runs to every process (each in its working copy)
// and gives the outcomes back in batch order, and carries whole local searches to the other
// processes and their results back; the other processes serve in ServeRuns.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "modellib/tarne_lib.h"
#include "numeric/process_end.h"
#include "pest/copy_run.h"
#include "pest/problem.h"
#include "pest/run_messages.h"

class RunSpread : public tarne::partition_attachment {
 public:
  // Attaches itself to the partition object of rank 0 and takes over the process-end action,
  // so that a process end on rank 0 ends every process.
  explicit RunSpread(tarne::mpi_setup& partition);
  // Ends the others with status 1, keeping the copies, unless End was called.
  ~RunSpread() override;
  RunSpread(const RunSpread&) = delete;
  RunSpread& operator=(const RunSpread&) = delete;

  // The spread attached to the partition object, or null.
  static RunSpread* Of(tarne::mpi_setup* partition);

  // Makes the working copies of every process for the runs of the problem; only the first
  // call of a tool does anything. A copy that cannot be made ends every process with status
  // 1 after one line from rank 0 naming the process and the reason.
  void Prepare(const ProblemRecord& record, const char* first_argument);

  // Runs the batch whose value file texts are values and hands every run's outcome to
  // on_outcome in batch order. The last run is made in the run directory itself, so that it
  // holds afterwards what one process leaves there. Stops at the first non-zero status that
  // on_outcome returns (after one line naming the process and working copy of a run that
  // failed) and returns it, once every process has stopped its share; returns 0 otherwise.
  using OutcomeHandler = std::function<short(std::size_t run, RunOutcome& outcome)>;
  short Run(const std::vector<std::string>& values, const OutcomeHandler& on_outcome);

  // Something failed on another process that does not fail on rank 0, such as a run whose
  // value file rank 0 runs without failure: the processes do not make the same model, and the
  // tool cannot give one process's result. Ends every process with status 1 after one line,
  // "tarne: <what> on process <p>, in its working copy <folder><detail>"; the copies stay.
  [[noreturn]] void EndAfterFailureOn(long process, const std::string& what,
                                      const std::string& detail);
  // Whether the run of the value file values fails on rank 0 too (made in its working copy).
  bool FailsOnRankZero(const std::string& values);

  // The working copy of a process and the run directory, as absolute paths.
  const std::string& folder(long process) const { return folders_[process]; }
  const std::string& run_directory() const { return run_directory_; }

  // Whole local searches handed to the other processes: request goes to process as search
  // number job; StopSearch asks it to give up job. Every search handed out comes back as one
  // reply, made or given up.
  struct SearchReply {
    long process = 0;
    long job = 0;
    bool made = false;
    std::string result;
  };
  void PostSearch(long process, long job, const std::string& request);
  void StopSearch(long process, long job);
  // The next reply that has arrived, if any; WaitForSearchReply waits for one.
  bool TakeSearchReply(SearchReply* reply);
  SearchReply WaitForSearchReply();

  // Ends the other processes, which end with exit_status. The working copies are removed,
  // or kept when keep_copies is true (one line then says where, unless a failed run named
  // its copy already). Later calls do nothing.
  void End(int exit_status, bool keep_copies);

 private:
  // An outcome that has arrived, with the process that made the run.
  struct Arrived {
    bool present = false;
    long process = 0;
    RunOutcome outcome;
  };
  struct Batch;

  void ReportCopyFailure(long process, const std::string& reason);
  void Handle(const Message& message, Batch& batch);
  short Apply(std::size_t run, Batch& batch, const OutcomeHandler& on_outcome);
  void CheckFailure(std::size_t run, Batch& batch);
  bool ReadSearchReply(const Message& message, SearchReply* reply);
  short Stop(short status, Batch& batch);

  tarne::mpi_setup& partition_;
  ProcessEndAction previous_end_action_;
  CopyRunner own_;
  std::vector<std::string> folders_;  // every process's working copy, as an absolute path
  std::string run_directory_;
  long batch_number_ = 0;
  bool prepared_ = false;
  bool copies_made_ = false;
  bool failure_named_ = false;
  bool ended_ = false;
};

// Thrown out of a search that a process other than rank 0 makes, after one of its model runs,
// when rank 0 asks it to give the search up or ends the work.
struct SearchCancelled {};

// Where a process other than rank 0 makes a whole local search that rank 0 hands it.
struct SearchSite {
  std::string working_copy;   // its working copy, an absolute path
  std::string run_directory;  // the directory it started in, an absolute path
  // To be called after every model run of the search: throws SearchCancelled when the search
  // is to stop there.
  std::function<void()> after_run;
};
// Makes the search that request describes and returns its result, both as bytes that the
// caller's own code reads and writes (the global methods').
using SearchHandler =
    std::function<std::string(const std::string& request, const SearchSite& site)>;

// The work of a process other than rank 0 while rank 0 runs a calibration tool: makes its
// working copy, runs the shares of batches and the searches (with searches) it is handed,
// and returns the exit status rank 0 gives when it ends the run.
int ServeRuns(tarne::mpi_setup& partition, const SearchHandler& searches = nullptr);
