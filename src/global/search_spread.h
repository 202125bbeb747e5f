// Multistart's local searches made at once under mpirun, each search on one process in its
// working copy: SearchSpread on rank 0 hands the searches out and gives each outcome back, with
// its files and console text written, in the order one process makes them; SearchServer
// makes the searches handed to the other processes. Used by multistart and by the driver.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "global/captured_search.h"
#include "global/global_problem.h"
#include "pest/run_spread.h"

class SearchSpread {
 public:
  // The searches of problem spread over the processes, with the stored values of every
  // parameter at each sample as the searches' own starts (search r from points[r - 1]); null
  // when the problem's model runs are not spread.
  static std::unique_ptr<SearchSpread> For(GlobalProblem& problem,
                                           const std::vector<dvector>& points);
  SearchSpread(GlobalProblem& problem, RunSpread& spread, const std::vector<dvector>& points);
  // Gives up the searches still under way on the others.
  ~SearchSpread();
  SearchSpread(const SearchSpread&) = delete;
  SearchSpread& operator=(const SearchSpread&) = delete;

  // The outcome of search r from start, once the searches before it have been taken: its
  // console text and case files are written as one process writes them, and it is committed
  // to the method's restart file. The searches after r
  // are made meanwhile from their own points, as after a search that succeeded; a start that
  // differs (after a failed search) has search r made again from it. A process end the search
  // met ends the process here, as on one process; a failure of another process that rank 0
  // does not share ends every process (RunSpread::EndAfterFailureOn).
  SearchOutcome Next(long r, const dvector& start);

 private:
  struct Job {
    long r = 0;
    dvector start;
    long id = 0;        // 0 while waiting to be handed out
    long process = -1;  // who makes it
    bool done = false;
    CapturedSearch result;
  };

  void Plan(long first);
  void Step(const Job& awaited);
  void Poll();
  void HandOut();
  void Take(const RunSpread::SearchReply& reply);
  Job* Waiting(bool for_rank_zero);
  void MakeHere(Job& job);
  std::string Request(const Job& job) const;
  SearchOutcome Finish(Job& job);

  GlobalProblem& problem_;
  RunSpread& spread_;
  const std::vector<dvector>& points_;
  const long last_;  // the last search, which rank 0 makes in the run directory
  std::string case_;  // what the other processes load the case from
  std::map<long, Job> jobs_;
  std::vector<long> busy_;  // by process: the id of the search it makes, or 0
  long next_id_ = 0;
};

// The searches of a process other than rank 0: loads the case rank 0 describes (once, in its
// working copy) and makes each search handed to it.
class SearchServer {
 public:
  explicit SearchServer(tarne::mpi_setup& partition);
  ~SearchServer();
  std::string Serve(const std::string& request, const SearchSite& site);

 private:
  bool Load(const std::string& description, const SearchSite& site, std::string* reason);

  tarne::mpi_setup& partition_;
  std::unique_ptr<GlobalProblem> problem_;
  std::string loaded_;  // the description of the loaded case
  std::string option_;
};
