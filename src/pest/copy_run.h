// One model run of a spread batch as a process makes it in its working copy: the value file
// rank 0 formatted, the model, the post-run command and the output reading, with the console
// text captured and a process end on the way turned into the run's outcome. Used by rank 0
// and the other processes alike (run_spread.h); its two guards (a process end that ends a
// run, a working directory for a while) serve the searches made in working copies too.
#pragma once

#include <filesystem>
#include <string>
#include <system_error>

#include "modellib/tarne_lib.h"
#include "numeric/process_end.h"
#include "pest/console_capture.h"
#include "pest/problem.h"
#include "pest/run_messages.h"

// A process end met during a run or a search made for rank 0, carried out of it as an
// exception.
struct EndDuringRun {
  int status;
};

// While it lives, an EndProcess throws EndDuringRun instead of ending the process.
class EndsRunNotProcess {
 public:
  EndsRunNotProcess();
  ~EndsRunNotProcess();
  EndsRunNotProcess(const EndsRunNotProcess&) = delete;
  EndsRunNotProcess& operator=(const EndsRunNotProcess&) = delete;

 private:
  ProcessEndAction previous_;
};

// While it lives, the working directory is folder (when it is given); then it is again the
// one it was.
class InFolder {
 public:
  explicit InFolder(const std::string& folder);
  ~InFolder();
  InFolder(const InFolder&) = delete;
  InFolder& operator=(const InFolder&) = delete;
  const std::error_code& error() const { return error_; }

 private:
  std::filesystem::path previous_;
  std::error_code error_;
  bool moved_ = false;
};

class CopyRunner {
 public:
  explicit CopyRunner(tarne::mpi_setup* partition) : partition_(partition) {}

  // Takes the problem of the runs from setup and opens the instruction files of the working
  // copy in folder (relative to the run directory, the working directory now). Returns
  // false, with the reason, when an instruction file cannot be opened.
  bool Open(const RunSetup& setup, const std::string& folder, std::string* reason);

  // One run with the value file text values, in the working copy, or in the run directory
  // itself when in_run_directory is true. The working directory is the run directory again
  // afterwards.
  RunOutcome Run(const std::string& values, bool in_run_directory = false);

 private:
  // The steps of Run after the working directory is chosen.
  void RunSteps(const std::string& values, RunOutcome* outcome);

  tarne::mpi_setup* partition_;
  ProblemRecord record_;
  FileHandleTable instructions_;
  ConsoleCapture capture_;
  std::string first_argument_;
  std::string folder_;
};
