// A local search made apart from the case's own files, so that several can be made at once:
// in a working copy, with what it writes (its record and sensitivity sections, the
// best-parameter file, "jac.txt", the restart file, its console text) kept, to be written by
// rank 0 in the order one process makes the searches. Made on every process for multistart's
// searches (search_spread.h); the result travels between processes as bytes.
#pragma once

#include <functional>
#include <string>

#include "global/global_problem.h"
#include "global/local_search.h"
#include "pest/console_capture.h"

// What a search did to a file that holds one content at a time.
struct FileChange {
  enum Kind { kUnchanged, kWritten, kRemoved };
  Kind kind = kUnchanged;
  std::string content;  // kWritten: the content it left
};

struct CapturedSearch {
  SearchOutcome outcome;
  int ended = -1;  // the status of a process end the search met (its last step), or -1
  ConsoleText console;
  std::string record;       // the sections it appended to the record file
  std::string sensitivity;  // and to the sensitivity file
  FileChange best_parameters;
  FileChange jacobian;  // "jac.txt"
  FileChange restart;   // the case's restart file
  // The search ended with a model run that failed: the value file of that run.
  bool run_failed = false;
  std::string failed_values;
  // Not empty when the search could not be made at all: why.
  std::string fault;
};

// Where a captured search is made.
struct CapturePlace {
  std::string working_copy;  // its working directory meanwhile (an absolute path)
  std::string run_folder;    // where its model runs are made; empty: the working copy
  std::string stop_folder;   // where the stop file is looked for
  std::function<void()> after_run;  // called after each of its model runs
};

// Makes the search from start (the stored values of every parameter) of the problem on a
// fresh state, as RunLocalSearch does, with the working directory, the runs and the stop
// file where place says, never spreading its own batches. A process end met on the way ends
// the search instead of the process. An exception thrown by place.after_run leaves it, with
// the working directory and the console restored.
CapturedSearch RunCapturedSearch(GlobalProblem& problem, const dvector& start,
                                 const CapturePlace& place);

// Writes what the search wrote into the case's files, in the run directory (the working
// directory), and prints its console text.
void WriteCapturedSearch(GlobalProblem& problem, const CapturedSearch& search);

// The search as bytes and back; decoding fails for bytes cut short.
std::string EncodeCapturedSearch(const CapturedSearch& search);
bool DecodeCapturedSearch(const std::string& bytes, CapturedSearch* search);
