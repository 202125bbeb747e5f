#include "global/search_spread.h"

#include <cstdio>
#include <fstream>

#include "lm/case_loader.h"
#include "modellib/file_error.h"
#include "modellib/replace_file.h"
#include "pest/control_file.h"
#include "pest/copy_run.h"
#include "pest/run_messages.h"

namespace {

// The name under which a process other than rank 0 keeps the control file in its copy.
constexpr const char* kControlCopy = "tarne_case.pst";

// The fields of the output names, in one order for writing and reading.
std::vector<char*> NameFields(OutputNames& names) {
  return {names.base, names.rec, names.sen, names.mtt, names.par, names.rst};
}

}  // namespace

// ---- Rank 0 -------------------------------------------------------------------------------

std::unique_ptr<SearchSpread> SearchSpread::For(GlobalProblem& problem,
                                                const std::vector<dvector>& points) {
  RunSpread* spread = RunSpread::Of(problem.partition);
  if (spread == nullptr || problem.partition->total_threads < 2 || points.empty()) {
    return nullptr;
  }
  spread->Prepare(problem.record, problem.option);
  return std::make_unique<SearchSpread>(problem, *spread, points);
}

SearchSpread::SearchSpread(GlobalProblem& problem, RunSpread& spread,
                           const std::vector<dvector>& points)
    : problem_(problem),
      spread_(spread),
      points_(points),
      last_(static_cast<long>(points.size())),
      busy_(static_cast<std::size_t>(problem.partition->total_threads), 0) {
  // The control file was read at the start; the other processes get it as it was read.
  std::string control;
  ReadFileWhole(ControlFileName(problem.control_name), &control);
  MessageWriter out;
  out.Text(problem.option);
  out.Text(control);
  for (const char* field : NameFields(problem.names)) out.Text(field);
  case_ = out.bytes();
}

SearchSpread::~SearchSpread() {
  for (std::size_t p = 1; p < busy_.size(); ++p) {
    if (busy_[p] != 0) spread_.StopSearch(static_cast<long>(p), busy_[p]);
  }
  for (;;) {
    bool any = false;
    for (std::size_t p = 1; p < busy_.size(); ++p) any = any || busy_[p] != 0;
    if (!any) break;
    const RunSpread::SearchReply reply = spread_.WaitForSearchReply();
    busy_[static_cast<std::size_t>(reply.process)] = 0;
  }
}

SearchOutcome SearchSpread::Next(long r, const dvector& start) {
  MethodRestart& restart = problem_.method_restart;
  if (restart.halted()) return HaltedSearch(problem_);
  if (jobs_.find(r) == jobs_.end()) Plan(r);
  Job& job = jobs_[r];
  if (!SameValues(job.start, start)) {
    // The search was made, or is under way, from its own point: it starts over.
    if (job.process > 0 && !job.done) spread_.StopSearch(job.process, job.id);
    job = Job();
    job.r = r;
    job.start = start;
  }
  while (!job.done) Step(job);
  // A resumed run marks where it goes on before the first search it makes, as on one process.
  if (!restart.GoOn(false)) return HaltedSearch(problem_);
  const SearchOutcome outcome = Finish(job);
  CommitSearch(problem_, start, outcome);
  jobs_.erase(r);
  return outcome;
}

// Searches first..last from their own points, all waiting.
void SearchSpread::Plan(long first) {
  jobs_.clear();
  for (long r = first; r <= last_; ++r) {
    Job& job = jobs_[r];
    job.r = r;
    job.start = points_[static_cast<std::size_t>(r - 1)];
  }
}

// Rank 0 makes a waiting search itself, or waits for a process to finish one. The replies
// that have come in are taken first, and one of them may be the awaited search's: then there
// is nothing to wait for (waiting would wait for a reply already taken).
void SearchSpread::Step(const Job& awaited) {
  Poll();
  if (awaited.done) return;
  if (Job* mine = Waiting(true)) {
    MakeHere(*mine);
    return;
  }
  Take(spread_.WaitForSearchReply());
  HandOut();
}

void SearchSpread::Poll() {
  RunSpread::SearchReply reply;
  while (spread_.TakeSearchReply(&reply)) Take(reply);
  HandOut();
}

// Every process without a search gets the first waiting one; the last search is rank 0's.
void SearchSpread::HandOut() {
  for (std::size_t p = 1; p < busy_.size(); ++p) {
    if (busy_[p] != 0) continue;
    Job* job = Waiting(false);
    if (job == nullptr) return;
    job->id = ++next_id_;
    job->process = static_cast<long>(p);
    busy_[p] = job->id;
    spread_.PostSearch(job->process, job->id, Request(*job));
  }
}

// The first waiting search; rank 0 takes the last search before any other.
SearchSpread::Job* SearchSpread::Waiting(bool for_rank_zero) {
  if (for_rank_zero) {
    auto last = jobs_.find(last_);
    if (last != jobs_.end() && last->second.id == 0) return &last->second;
  }
  for (auto& [r, job] : jobs_) {
    if (job.id == 0 && r != last_) return &job;
  }
  return nullptr;
}

void SearchSpread::Take(const RunSpread::SearchReply& reply) {
  busy_[static_cast<std::size_t>(reply.process)] = 0;
  for (auto& [r, job] : jobs_) {
    if (job.id != reply.job || job.process != reply.process || job.done) continue;
    if (!reply.made) {
      job.result.fault = "it gave no result";
    } else if (!DecodeCapturedSearch(reply.result, &job.result)) {
      job.result = CapturedSearch();
      job.result.fault = "its result was garbled";
    }
    job.done = true;
    return;
  }
}

// Rank 0's own searches are made in its working copy, the last one's runs in the run
// directory, so that it holds afterwards what one process leaves there. Meanwhile the others
// get their next searches between rank 0's model runs.
void SearchSpread::MakeHere(Job& job) {
  job.id = ++next_id_;
  job.process = 0;
  const std::string& run_directory = spread_.run_directory();
  const CapturePlace place{spread_.folder(0), job.r == last_ ? run_directory : std::string(),
                           run_directory, [this] { Poll(); }};
  job.result = RunCapturedSearch(problem_, job.start, place);
  job.done = true;
}

std::string SearchSpread::Request(const Job& job) const {
  MessageWriter out;
  out.Text(case_);
  out.Double(problem_.control_lambda);
  out.Values(job.start);
  return out.bytes();
}

SearchOutcome SearchSpread::Finish(Job& job) {
  const CapturedSearch& search = job.result;
  const std::string name = "local search " + std::to_string(job.r);
  if (!search.fault.empty()) {
    spread_.EndAfterFailureOn(job.process, name + " could not be made", ": " + search.fault);
  }
  WriteCapturedSearch(problem_, search);
  if (search.ended >= 0) EndProcess(search.ended);
  // A search that failed on another process fails alike on one process only when its failed
  // model run fails on rank 0 too; anything else is that process's own.
  if (search.outcome.status != 0 && job.process > 0 &&
      (!search.run_failed || !spread_.FailsOnRankZero(search.failed_values))) {
    spread_.EndAfterFailureOn(
        job.process, name + " failed",
        search.run_failed ? ", and its failed model run does not fail on process 0" : "");
  }
  return search.outcome;
}

// ---- The other processes ------------------------------------------------------------------

SearchServer::SearchServer(tarne::mpi_setup& partition) : partition_(partition) {}

SearchServer::~SearchServer() = default;

std::string SearchServer::Serve(const std::string& request, const SearchSite& site) {
  MessageReader in(request);
  std::string description, reason;
  double control_lambda = 0.0;
  dvector start;
  CapturedSearch search;
  if (!in.Text(&description) || !in.Double(&control_lambda) || !in.Values(&start)) {
    search.fault = "the request was garbled";
  } else if (!Load(description, site, &reason)) {
    search.fault = reason;
  } else {
    problem_->control_lambda = control_lambda;
    const CapturePlace place{site.working_copy, std::string(), site.run_directory,
                             site.after_run};
    search = RunCapturedSearch(*problem_, start, place);
  }
  return EncodeCapturedSearch(search);
}

// The case as rank 0 read it: its control file, written into the working copy, read there
// as rank 0 read it (quietly), with rank 0's output names.
bool SearchServer::Load(const std::string& description, const SearchSite& site,
                        std::string* reason) {
  if (problem_ && description == loaded_) return true;
  problem_.reset();
  MessageReader in(description);
  std::string control;
  std::vector<std::string> names(6);
  bool read = in.Text(&option_) && in.Text(&control);
  for (std::string& name : names) read = read && in.Text(&name);
  if (!read) {
    *reason = "the description of the case was garbled";
    return false;
  }
  InFolder folder(site.working_copy);
  if (folder.error()) {
    *reason = FileErrorMessage("enter", site.working_copy.c_str(), 0,
                               folder.error().message().c_str());
    return false;
  }
  std::ofstream(kControlCopy, std::ios::binary) << control;
  auto problem = std::make_unique<GlobalProblem>();
  std::string program = "tarne", control_name = kControlCopy;
  char* argv[] = {program.data(), option_.data(), control_name.data(), nullptr};
  ConsoleCapture quiet;
  quiet.Begin();
  const StartUp step = ReadCase(3, argv, [] {}, *problem);
  const ConsoleText said = quiet.End();
  if (!step.go_on) {
    *reason = "cannot read the case in its working copy: " + said.out + said.err;
    while (!reason->empty() && reason->back() == '\n') reason->pop_back();
    return false;
  }
  // ReadCase keeps the option and the control name as they were given.
  problem->option = option_.c_str();
  problem->control_name = kControlCopy;
  problem->partition = &partition_;
  std::vector<char*> fields = NameFields(problem->names);
  for (std::size_t i = 0; i < fields.size(); ++i) {
    std::snprintf(fields[i], kTextField, "%s", names[i].c_str());
  }
  problem_ = std::move(problem);
  loaded_ = description;
  return true;
}
