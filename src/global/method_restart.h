// Makes the run of a global method resumable. With RSTFLE "restart" the method's restart file
// (resume_file.h) is written after every sample phase, every finished local search and every
// iteration of a local search that the engine saves. A run started with "/r" reads it back
// before it opens any output file, cuts the case's record and sensitivity files back to where
// they stood at the last commit, and replays the finished model steps in place of running
// them, so that the method goes through the states, and writes the files, of the interrupted
// run; a search that was under way goes on from its engine restart file. Owned by the
// problem (global_problem.h); used by the sample runs and local searches (local_search.cpp).
#pragma once

#include <cstdio>
#include <string>

#include "global/resume_file.h"
#include "lm/case_loader.h"

class MethodRestart {
 public:
  // Before any output file is opened. A fresh run only remembers its inputs. A resumed run
  // reads the restart file file_name and checks that the inputs are those the interrupted run
  // started from (input_file names the method's input file) and that the case's record and
  // sensitivity files hold at least what it says; false after one line saying why.
  bool Prepare(const char* file_name, const char* input_file, bool resume,
               const RunInputs& inputs, const LoadedCase& loaded);
  // After the output files are opened. A resumed run cuts the case's record and sensitivity
  // files back and restores its best-parameter file; a fresh one removes an earlier restart
  // file and, when the control file's RSTFLE is "restart", writes its first. Returns 0, or 1
  // after a reported failure.
  short Begin(const LoadedCase& loaded, std::FILE* method_record);

  // The next finished step of the interrupted run, taken in place of running it, or null once
  // none is left. point is the sample, or the search's start, as the method has it now; a
  // step that does not agree halts the method (see halted).
  const StepResult* Replay(bool search, const dvector& point);
  // True once for the search that was under way when the run was interrupted, when the
  // replay has reached it: search receives its start and points so far, engine_state the
  // engine's restart file. A start that does not agree with start halts the method.
  bool TakeSearchUnderWay(const dvector& start, StepResult& search, std::string& engine_state);
  // Before every model step the method makes itself. The first one of a resumed run marks the
  // place where it goes on in the method's record and, unless the engine marks it on resuming
  // the search under way, in the case's. False when the method halts: the step is not the
  // search that was under way.
  bool GoOn(bool engine_marks_case_record);

  // Adds a finished step; a search is committed at once, sample runs by Commit after their
  // phase. Returns 0, or 1 after a reported failure.
  short Finished(StepResult step);
  short Commit();
  // Commits the search under way, given as its start and points so far, right after its
  // engine saved its restart file. Returns 0, or 1 after a reported failure.
  short SearchSaved(const StepResult& so_far);
  // At the method's end: the restart file is removed.
  void Finish();

  // Whether the next model step of a resumed run comes from the restart file (a finished step
  // or the search that was under way) rather than being made afresh.
  bool Replaying() const {
    return !halted_ && !gone_on_ && (next_ < image_.steps.size() || search_pending_);
  }

  // A commit failed, or the replay found a step that disagrees: the method stops at once,
  // with status 1, and the restart file keeps the last commit.
  bool halted() const { return halted_; }
  // Halts the method after a failure reported elsewhere.
  void Halt() { halted_ = true; }

 private:
  short Write();
  bool ReadCaseFileLengths();
  void Refuse(const std::string& reason);
  void HaltWith(const std::string& reason);

  std::string file_name_;
  bool commits_ = false;  // RSTFLE is "restart"
  bool resumed_ = false;  // the run was started with "/r"
  bool gone_on_ = false;  // a resumed run has made its first model step
  bool dirty_ = false;    // steps were added since the last commit
  bool halted_ = false;
  bool search_pending_ = false;  // a search under way is still to be taken up
  size_t next_ = 0;              // the next step to replay
  const LoadedCase* case_ = nullptr;
  std::FILE* method_record_ = nullptr;
  ResumeImage image_;
};
