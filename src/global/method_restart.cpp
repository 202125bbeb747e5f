#include "global/method_restart.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "global/sampling.h"
#include "lm/lm_report.h"
#include "modellib/file_error.h"
#include "modellib/replace_file.h"

namespace {

// Flushes a case file to disk and gives its length; -1 after a failure.
long SettledLength(std::FILE* file) {
  struct stat status;
  if (std::fflush(file) != 0 || fsync(fileno(file)) != 0 || fstat(fileno(file), &status) != 0) {
    return -1;
  }
  return static_cast<long>(status.st_size);
}

// Cuts an open case file back to length; false after a failure.
bool CutBack(std::FILE* file, long length) {
  return std::fflush(file) == 0 && ftruncate(fileno(file), length) == 0;
}

}  // namespace

bool MethodRestart::Prepare(const char* file_name, const char* input_file, bool resume,
                            const RunInputs& inputs, const LoadedCase& loaded) {
  file_name_ = file_name;
  commits_ = std::strcmp(loaded.record.RSTFLE, "restart") == 0;
  resumed_ = resume;
  image_.inputs = inputs;
  if (!resume) return true;
  struct stat status;
  if (stat(file_name, &status) != 0 && errno == ENOENT) {
    ReportFileError("open", file_name, 0,
                    "No such file or directory; there is no interrupted run to go on with "
                    "(a run leaves this file only while it is under way, and only when the "
                    "control file's RSTFLE is \"restart\")");
    return false;
  }
  if (!ReadResumeFile(file_name, loaded.record, image_)) return false;
  const RunInputs& then = image_.inputs;
  if (then.control_file != inputs.control_file) {
    Refuse("the interrupted run was one of " + then.control_file + ", not of " +
           inputs.control_file);
    return false;
  }
  const struct {
    const std::string name;
    bool same;
  } checks[] = {{input_file, then.method_input == inputs.method_input},
                {inputs.control_file, then.control == inputs.control},
                {kSeedsFileName, then.seeds == inputs.seeds}};
  for (const auto& check : checks) {
    if (!check.same) {
      Refuse(check.name + " has changed since the interrupted run started; it goes on only "
                          "with the inputs it started with");
      return false;
    }
  }
  image_.inputs = inputs;
  case_ = &loaded;
  return ReadCaseFileLengths();
}

bool MethodRestart::ReadCaseFileLengths() {
  const struct {
    const char* name;
    long length;
  } files[] = {{case_->names.rec, image_.record_length},
               {case_->names.sen, image_.sensitivity_length}};
  for (const auto& file : files) {
    struct stat status;
    if (stat(file.name, &status) != 0 || !S_ISREG(status.st_mode)) {
      Refuse(std::string(file.name) + " is missing; it held the interrupted run's record");
      return false;
    }
    if (status.st_size < file.length) {
      Refuse(std::string(file.name) + " holds " + std::to_string(status.st_size) +
             " bytes, fewer than the " + std::to_string(file.length) +
             " the interrupted run had written");
      return false;
    }
  }
  return true;
}

short MethodRestart::Begin(const LoadedCase& loaded, std::FILE* method_record) {
  case_ = &loaded;
  method_record_ = method_record;
  const CaseFiles files = loaded.files.files();
  if (!resumed_) {
    std::remove(file_name_.c_str());
    return commits_ ? Write() : 0;
  }
  const std::string& par = image_.best_parameters;
  const struct {
    const char* name;
    bool done;
  } steps[] = {{loaded.names.rec, CutBack(files.rec, image_.record_length)},
               {loaded.names.sen, CutBack(files.sen, image_.sensitivity_length)},
               {loaded.names.par, std::fwrite(par.data(), 1, par.size(), files.par) ==
                                          par.size() &&
                                      std::fflush(files.par) == 0}};
  for (const auto& step : steps) {
    if (!step.done) {
      ReportFileError("write", step.name, 0, std::strerror(errno));
      return 1;
    }
  }
  search_pending_ = image_.search_under_way;
  std::printf("\nGoing on from %s: %ld finished model runs and searches are taken from it%s.\n",
              file_name_.c_str(), static_cast<long>(image_.steps.size()),
              search_pending_ ? ", and the local search under way goes on from its last "
                                "completed iteration"
                              : "");
  return 0;
}

const StepResult* MethodRestart::Replay(bool search, const dvector& point) {
  if (halted_ || next_ >= image_.steps.size() || gone_on_) return nullptr;
  const StepResult& step = image_.steps[next_];
  if (step.search != search || !SameValues(step.point, point)) {
    HaltWith("step " + std::to_string(next_ + 1) +
         " of the interrupted run does not follow from its inputs");
    return nullptr;
  }
  const long index = static_cast<long>(next_);
  if (std::find(image_.marks.begin(), image_.marks.end(), index) != image_.marks.end()) {
    WriteRestartMark(method_record_);
  }
  ++next_;
  return &step;
}

bool MethodRestart::TakeSearchUnderWay(const dvector& start, StepResult& search,
                                       std::string& engine_state) {
  if (!search_pending_ || halted_) return false;
  search_pending_ = false;
  if (!SameValues(image_.under_way.point, start)) {
    HaltWith("the local search under way does not follow from the interrupted run's inputs");
    return false;
  }
  search = std::move(image_.under_way);
  engine_state = std::move(image_.engine_state);
  image_.search_under_way = false;
  return true;
}

bool MethodRestart::GoOn(bool engine_marks_case_record) {
  if (search_pending_) {
    HaltWith("the local search under way does not follow from the interrupted run's inputs");
    return false;
  }
  if (!resumed_ || gone_on_) return !halted_;
  gone_on_ = true;
  const long index = static_cast<long>(image_.steps.size());
  if (image_.marks.empty() || image_.marks.back() != index) image_.marks.push_back(index);
  WriteRestartMark(method_record_);
  std::fflush(method_record_);
  if (!engine_marks_case_record) {
    std::FILE* rec = case_->files.files().rec;
    WriteRestartMark(rec);
    std::fflush(rec);
  }
  return true;
}

short MethodRestart::Finished(StepResult step) {
  if (halted_) return 1;
  const bool search = step.search;
  image_.steps.push_back(std::move(step));
  next_ = image_.steps.size();
  dirty_ = true;
  return search ? Commit() : 0;
}

short MethodRestart::Commit() {
  if (halted_) return 1;
  if (!dirty_) return 0;
  dirty_ = false;
  image_.search_under_way = false;
  image_.engine_state.clear();
  return commits_ ? Write() : 0;
}

short MethodRestart::SearchSaved(const StepResult& so_far) {
  if (halted_) return 1;
  if (!commits_) return 0;
  image_.search_under_way = true;
  image_.under_way = so_far;
  if (!ReadFileWhole(case_->names.rst, &image_.engine_state)) {
    HaltWith(std::string("the engine's restart file ") + case_->names.rst + " cannot be read");
    return 1;
  }
  return Write();
}

void MethodRestart::Finish() {
  if (!halted_) std::remove(file_name_.c_str());
}

short MethodRestart::Write() {
  const CaseFiles files = case_->files.files();
  image_.record_length = SettledLength(files.rec);
  image_.sensitivity_length = SettledLength(files.sen);
  const bool settled = image_.record_length >= 0 && image_.sensitivity_length >= 0 &&
                       SettledLength(files.par) >= 0 &&
                       ReadFileWhole(case_->names.par, &image_.best_parameters);
  if (!settled) {
    ReportFileError("write", case_->names.rec, 0, std::strerror(errno));
  }
  if (!settled || WriteResumeFile(file_name_.c_str(), image_) != 0) {
    halted_ = true;
    return 1;
  }
  return 0;
}

void MethodRestart::Refuse(const std::string& reason) {
  ReportFileError("resume from", file_name_, 0, reason);
}

void MethodRestart::HaltWith(const std::string& reason) {
  Refuse(reason);
  halted_ = true;
}
