#include "pest/run_spread.h"

#include <cstdio>
#include <deque>
#include <filesystem>
#include <system_error>

#include "pest/working_copy.h"

namespace fs = std::filesystem;

namespace {

std::string Absolute(const std::string& path) {
  std::error_code error;
  const fs::path absolute = fs::absolute(path, error);
  return error ? path : absolute.lexically_normal().generic_string();
}

// The process that makes run `run` of a batch of `runs`: the runs go round the processes from
// the last one backwards, so that rank 0 makes the last run.
long ProcessOfRun(std::size_t run, std::size_t runs, long processes) {
  return static_cast<long>((runs - 1 - run) % static_cast<std::size_t>(processes));
}

// Removes the whole folder of working copies, which belongs to the runs of this program;
// a file of that name is the user's and stays.
void RemoveCopiesFolder() {
  std::error_code error;
  if (fs::is_directory(kWorkingCopiesFolder, error)) RemoveWorkingCopy(kWorkingCopiesFolder);
}

}  // namespace

// The state of the batch being run.
struct RunSpread::Batch {
  long number = 0;
  const std::vector<std::string>* values = nullptr;  // by run
  std::vector<Arrived> arrived;                   // by run
  std::vector<std::vector<std::size_t>> runs_of;  // by process, ascending
  std::vector<bool> share_open;                   // by process
  long open_shares = 0;
};

RunSpread::RunSpread(tarne::mpi_setup& partition)
    : partition_(partition), own_(&partition), run_directory_(Absolute(".")) {
  partition_.attachment = this;
  previous_end_action_ =
      SetProcessEndAction([this](int status) { End(status, status != 0); });
}

RunSpread::~RunSpread() {
  End(1, true);
  if (partition_.attachment == this) partition_.attachment = nullptr;
}

RunSpread* RunSpread::Of(tarne::mpi_setup* partition) {
  return partition == nullptr ? nullptr : dynamic_cast<RunSpread*>(partition->attachment);
}

void RunSpread::Prepare(const ProblemRecord& record, const char* first_argument) {
  if (prepared_ || ended_) return;
  prepared_ = true;
  const long processes = partition_.total_threads;
  folders_.assign(static_cast<std::size_t>(processes), std::string());
  for (long p = 0; p < processes; ++p) folders_[p] = Absolute(WorkingCopyFolder(p));
  RunSetup setup;
  setup.project = record.PROJFLE;
  setup.post_command = record.POSTBATCH;
  setup.first_argument = first_argument != nullptr ? first_argument : "";
  for (int i = 1; i <= record.NINSFLE && i < static_cast<int>(record.instructions.size()); ++i) {
    setup.instructions.emplace_back(record.instructions[i].INSFLE, record.instructions[i].OUTFLE);
  }
  for (int i = 1; i <= record.NOBS && i < static_cast<int>(record.observations.size()); ++i) {
    setup.observations.emplace_back(record.observations[i].OBSNME);
  }
  std::string reason;
  std::size_t named = 0;
  if (!WorkingCopyFiles(record, &setup.files, &named, &reason)) ReportCopyFailure(0, reason);
  for (std::size_t i = 0; i < named; ++i) {
    setup.fingerprints.push_back(CopyFingerprint(setup.files[i]));
  }

  RemoveCopiesFolder();
  copies_made_ = true;
  const std::string bytes = EncodeRunSetup(setup);
  for (long p = 1; p < processes; ++p) partition_.post_message(p, kPrepareCopy, bytes);
  long failed = -1;
  std::string failure;
  if (!MakeWorkingCopy(WorkingCopyFolder(0), setup.files, setup.fingerprints, &reason) ||
      !own_.Open(setup, WorkingCopyFolder(0), &reason)) {
    failed = 0;
    failure = reason;
  }
  // Every other process answers, whether its copy was made or not.
  for (long answers = 0; answers < processes - 1;) {
    const Message message = WaitForMessage(partition_);
    if (message.tag != kCopyMade) continue;
    ++answers;
    MessageReader in(message.bytes);
    long made = 0;
    std::string why, folder;
    if (!in.Long(&made) || !in.Text(&why) || !in.Text(&folder)) why = "its answer was garbled";
    if (!folder.empty()) folders_[message.from] = folder;
    if (made == 0 && (failed < 0 || message.from < failed)) {
      failed = message.from;
      failure = why;
    }
  }
  if (failed >= 0) ReportCopyFailure(failed, failure);
}

void RunSpread::ReportCopyFailure(long process, const std::string& reason) {
  std::fflush(stdout);
  std::fprintf(stderr, "tarne: cannot make the working copy of process %ld (%s): %s\n", process,
               folders_[process].c_str(), reason.c_str());
  std::fflush(stderr);
  End(1, false);
  EndProcess(1);
}

short RunSpread::Run(const std::vector<std::string>& values, const OutcomeHandler& on_outcome) {
  const std::size_t runs = values.size();
  const long processes = partition_.total_threads;
  Batch batch;
  batch.number = ++batch_number_;
  batch.values = &values;
  batch.arrived.resize(runs);
  batch.runs_of.resize(static_cast<std::size_t>(processes));
  batch.share_open.assign(static_cast<std::size_t>(processes), false);
  for (std::size_t run = 0; run < runs; ++run) {
    batch.runs_of[ProcessOfRun(run, runs, processes)].push_back(run);
  }
  for (long p = 1; p < processes; ++p) {
    const std::vector<std::size_t>& share = batch.runs_of[p];
    if (share.empty()) continue;
    MessageWriter out;
    out.Long(batch.number);
    out.Long(static_cast<long>(share.size()));
    for (std::size_t run : share) {
      out.Long(static_cast<long>(run));
      out.Text(values[run]);
    }
    partition_.post_message(p, kRunShare, out.bytes());
    batch.share_open[p] = true;
    ++batch.open_shares;
  }
  // The others wait for their shares now; a long share needs rank 0's help to go over, which
  // it could not give during a model run of its own.
  WaitUntilDelivered(partition_);
  // Rank 0 makes its own runs in order and, between them, hands on every outcome that is
  // next in the batch's order.
  const std::vector<std::size_t>& own_runs = batch.runs_of[0];
  std::size_t next = 0, own = 0;
  Message message;
  while (next < runs) {
    while (partition_.take_message(&message.from, &message.tag, &message.bytes)) {
      Handle(message, batch);
    }
    for (; next < runs && batch.arrived[next].present; ++next) {
      const short status = Apply(next, batch, on_outcome);
      if (status != 0) return Stop(status, batch);
    }
    if (next == runs) break;
    if (own < own_runs.size()) {
      const std::size_t run = own_runs[own++];
      Arrived& arrived = batch.arrived[run];
      arrived.outcome = own_.Run(values[run], run + 1 == runs);
      arrived.process = 0;
      arrived.present = true;
    } else {
      Handle(WaitForMessage(partition_), batch);
    }
  }
  return Stop(0, batch);
}

void RunSpread::Handle(const Message& message, Batch& batch) {
  MessageReader in(message.bytes);
  long number = 0;
  if (!in.Long(&number) || number != batch.number || message.from <= 0 ||
      message.from >= partition_.total_threads) {
    return;  // not of this batch
  }
  if (message.tag == kRunOutcome) {
    long run = -1;
    RunOutcome outcome;
    if (!in.Long(&run) || run < 0 || static_cast<std::size_t>(run) >= batch.arrived.size() ||
        !DecodeRunOutcome(&in, &outcome)) {
      return;  // a garbled outcome counts as missing when the share is done
    }
    Arrived& arrived = batch.arrived[static_cast<std::size_t>(run)];
    arrived.outcome = std::move(outcome);
    arrived.process = message.from;
    arrived.present = true;
  } else if (message.tag == kShareDone && batch.share_open[message.from]) {
    batch.share_open[message.from] = false;
    --batch.open_shares;
    // A run of a finished share without its outcome must not leave rank 0 waiting.
    for (std::size_t run : batch.runs_of[message.from]) {
      Arrived& arrived = batch.arrived[run];
      if (arrived.present) continue;
      arrived.present = true;
      arrived.process = message.from;
      arrived.outcome.status = 1;
      arrived.outcome.before.out = "Process " + std::to_string(message.from) +
                                   " gave no outcome of its model run.\n";
    }
  }
}

short RunSpread::Apply(std::size_t run, Batch& batch, const OutcomeHandler& on_outcome) {
  CheckFailure(run, batch);
  Arrived& arrived = batch.arrived[run];
  const short status = on_outcome(run, arrived.outcome);
  if (status != 0 && arrived.outcome.status != 0) {
    const bool in_run_directory = arrived.process == 0 && run + 1 == batch.arrived.size();
    std::fflush(stdout);
    if (in_run_directory) {
      std::fprintf(stderr, "tarne: the model run failed on process 0, in the run directory %s\n",
                   Absolute(".").c_str());
    } else {
      std::fprintf(stderr, "tarne: the model run failed on process %ld, in its working copy %s\n",
                   arrived.process, folders_[arrived.process].c_str());
    }
    std::fflush(stderr);
    failure_named_ = true;
  }
  arrived.outcome = RunOutcome();
  return status;
}

// A failed run of another process is made again on rank 0: a run that fails there too is
// the model's and goes on as on one process; one that does not ends the tool.
void RunSpread::CheckFailure(std::size_t run, Batch& batch) {
  const Arrived& arrived = batch.arrived[run];
  const RunOutcome& outcome = arrived.outcome;
  if (outcome.status == 0 || outcome.ended >= 0 || arrived.process == 0) return;
  if (FailsOnRankZero((*batch.values)[run])) return;
  PrintConsoleText(outcome.before);
  PrintConsoleText(outcome.after);
  EndAfterFailureOn(arrived.process, "the model run failed",
                    ", and not when process 0 made it again");
}

bool RunSpread::FailsOnRankZero(const std::string& values) {
  return own_.Run(values).status != 0;
}

void RunSpread::EndAfterFailureOn(long process, const std::string& what,
                                  const std::string& detail) {
  std::fflush(stdout);
  std::fprintf(stderr, "tarne: %s on process %ld, in its working copy %s%s\n", what.c_str(),
               process, folders_[process].c_str(), detail.c_str());
  std::fflush(stderr);
  failure_named_ = true;
  End(1, true);
  EndProcess(1);
}

void RunSpread::PostSearch(long process, long job, const std::string& request) {
  MessageWriter out;
  out.Long(job);
  out.Text(request);
  partition_.post_message(process, kRunSearch, out.bytes());
}

void RunSpread::StopSearch(long process, long job) {
  MessageWriter out;
  out.Long(job);
  partition_.post_message(process, kStopSearch, out.bytes());
}

bool RunSpread::ReadSearchReply(const Message& message, SearchReply* reply) {
  if (message.tag != kSearchDone || message.from <= 0 ||
      message.from >= partition_.total_threads) {
    return false;
  }
  MessageReader in(message.bytes);
  long made = 0;
  reply->process = message.from;
  if (!in.Long(&reply->job)) return false;
  // A reply that is cut short still frees its process; its result is missing.
  reply->made = in.Long(&made) && made != 0 && in.Text(&reply->result);
  return true;
}

bool RunSpread::TakeSearchReply(SearchReply* reply) {
  Message message;
  while (partition_.take_message(&message.from, &message.tag, &message.bytes)) {
    if (ReadSearchReply(message, reply)) return true;
  }
  return false;
}

RunSpread::SearchReply RunSpread::WaitForSearchReply() {
  SearchReply reply;
  while (!ReadSearchReply(WaitForMessage(partition_), &reply)) {
  }
  return reply;
}

short RunSpread::Stop(short status, Batch& batch) {
  if (status != 0) {
    MessageWriter out;
    out.Long(batch.number);
    for (long p = 1; p < partition_.total_threads; ++p) {
      if (batch.share_open[p]) partition_.post_message(p, kStopShare, out.bytes());
    }
  }
  while (batch.open_shares > 0) Handle(WaitForMessage(partition_), batch);
  return status;
}

void RunSpread::End(int exit_status, bool keep_copies) {
  if (ended_) return;
  ended_ = true;
  SetProcessEndAction(previous_end_action_);
  const long processes = partition_.total_threads;
  MessageWriter out;
  out.Long(exit_status);
  out.Long(keep_copies ? 0 : 1);
  for (long p = 1; p < processes; ++p) partition_.post_message(p, kEndWork, out.bytes());
  // What the others still send before they end (outcomes of a stopped batch) is dropped.
  for (long ended = 0; ended < processes - 1;) {
    if (WaitForMessage(partition_).tag == kWorkEnded) ++ended;
  }
  WaitUntilDelivered(partition_);
  if (!copies_made_) return;
  if (!keep_copies) {
    RemoveCopiesFolder();
  } else if (!failure_named_) {
    std::fflush(stdout);
    std::fprintf(stderr, "tarne: the working copies of the processes stay in %s\n",
                 Absolute(kWorkingCopiesFolder).c_str());
    std::fflush(stderr);
  }
}

// ---- The other processes ------------------------------------------------------------------

namespace {

class Worker {
 public:
  Worker(tarne::mpi_setup& partition, const SearchHandler& searches)
      : partition_(partition),
        searches_(searches),
        runner_(&partition),
        folder_(WorkingCopyFolder(partition.process_rank)),
        run_directory_(Absolute(".")) {}

  int ServeUntilTheEnd() {
    for (;;) {
      const Message message = NextMessage();
      if (message.from != 0) continue;
      if (message.tag == kPrepareCopy) {
        PrepareCopy(message.bytes);
      } else if (message.tag == kRunShare) {
        if (RunShare(message.bytes)) return exit_status_;
      } else if (message.tag == kRunSearch) {
        RunSearch(message.bytes);
        if (ended_) return EndWork(end_bytes_);
      } else if (message.tag == kEndWork) {
        return EndWork(message.bytes);
      }
      // A word to stop a share or a search that is already done needs nothing.
    }
  }

 private:
  // A message kept while a search was under way comes first.
  Message NextMessage() {
    if (kept_.empty()) return WaitForMessage(partition_);
    Message message = std::move(kept_.front());
    kept_.pop_front();
    return message;
  }

  void PrepareCopy(const std::string& bytes) {
    RunSetup setup;
    std::string reason = "the description of the runs was garbled";
    copy_started_ = true;
    const bool made = DecodeRunSetup(bytes, &setup) &&
                      MakeWorkingCopy(folder_, setup.files, setup.fingerprints, &reason) &&
                      runner_.Open(setup, folder_, &reason);
    MessageWriter answer;
    answer.Long(made ? 1 : 0);
    answer.Text(made ? std::string() : reason);
    answer.Text(Absolute(folder_));
    partition_.post_message(0, kCopyMade, answer.bytes());
  }

  // Makes the runs of a share in order, each outcome sent as soon as it is known, and
  // looks for rank 0's word before every run. Returns true when rank 0 ended the work.
  bool RunShare(const std::string& bytes) {
    MessageReader in(bytes);
    long batch = 0, count = 0;
    in.Long(&batch);
    in.Long(&count);
    for (long k = 0; k < count; ++k) {
      long run = 0;
      std::string values;
      if (!in.Long(&run) || !in.Text(&values)) break;
      bool stop = false;
      Message message;
      while (partition_.take_message(&message.from, &message.tag, &message.bytes)) {
        if (message.tag == kEndWork) {
          EndWork(message.bytes);
          return true;
        }
        stop = stop || message.tag == kStopShare;
      }
      if (stop) break;
      const RunOutcome outcome = runner_.Run(values);
      MessageWriter out;
      out.Long(batch);
      out.Long(run);
      EncodeRunOutcome(outcome, &out);
      partition_.post_message(0, kRunOutcome, out.bytes());
    }
    MessageWriter done;
    done.Long(batch);
    partition_.post_message(0, kShareDone, done.bytes());
    return false;
  }

  // Makes a whole search and sends its result; one that rank 0 stops, or that the end of the
  // work interrupts, is given up after the model run under way.
  void RunSearch(const std::string& bytes) {
    MessageReader in(bytes);
    long job = 0;
    std::string request, result;
    bool made = false;
    if (in.Long(&job) && in.Text(&request) && searches_) {
      job_ = job;
      const SearchSite site{Absolute(folder_), run_directory_, [this] { LookForWord(); }};
      try {
        result = searches_(request, site);
        made = true;
      } catch (const SearchCancelled&) {
      }
    }
    job_ = 0;
    MessageWriter out;
    out.Long(job);
    out.Long(made ? 1 : 0);
    if (made) out.Text(result);
    partition_.post_message(0, kSearchDone, out.bytes());
  }

  // Between the model runs of a search: rank 0's word to give it up, or to end.
  void LookForWord() {
    Message message;
    while (partition_.take_message(&message.from, &message.tag, &message.bytes)) {
      MessageReader in(message.bytes);
      long job = 0;
      if (message.tag == kEndWork) {
        ended_ = true;
        end_bytes_ = message.bytes;
        throw SearchCancelled{};
      }
      if (message.tag == kStopSearch && in.Long(&job) && job == job_) throw SearchCancelled{};
      if (message.tag != kStopSearch) kept_.push_back(std::move(message));
    }
  }

  int EndWork(const std::string& bytes) {
    MessageReader in(bytes);
    long status = 1, remove = 0;
    in.Long(&status);
    in.Long(&remove);
    if (remove != 0 && copy_started_) RemoveWorkingCopy(folder_);
    partition_.post_message(0, kWorkEnded, std::string());
    WaitUntilDelivered(partition_);
    exit_status_ = static_cast<int>(status);
    return exit_status_;
  }

  tarne::mpi_setup& partition_;
  const SearchHandler& searches_;
  CopyRunner runner_;
  const std::string folder_;
  const std::string run_directory_;
  std::deque<Message> kept_;
  long job_ = 0;  // the search under way
  bool ended_ = false;
  std::string end_bytes_;
  bool copy_started_ = false;
  int exit_status_ = 1;
};

}  // namespace

int ServeRuns(tarne::mpi_setup& partition, const SearchHandler& searches) {
  Worker worker(partition, searches);
  return worker.ServeUntilTheEnd();
}
