#include "global/captured_search.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include "lm/lm_state.h"
#include "modellib/file_error.h"
#include "modellib/file_handle.h"
#include "modellib/replace_file.h"
#include "pest/copy_run.h"
#include "pest/run_messages.h"

namespace fs = std::filesystem;

namespace {

// The file the engine writes every iteration's Jacobian into, in the working directory.
constexpr const char* kJacobianFile = "jac.txt";
// What a search's restart file holds until the search writes or removes it.
constexpr const char* kNoRestartYet = "tarne: no restart file was written here\n";

// The case files of a captured search: anonymous temporary files.
struct TemporaryCaseFiles {
  FileHandle rec{std::tmpfile()}, sen{std::tmpfile()}, mtt{std::tmpfile()}, par{std::tmpfile()};
  bool made() const { return rec && sen && mtt && par; }
  CaseFiles files() const { return {rec.get(), sen.get(), mtt.get(), par.get()}; }
};

std::string ContentOf(std::FILE* file) {
  std::string content;
  std::fflush(file);
  std::rewind(file);
  char block[65536];
  for (std::size_t n; (n = std::fread(block, 1, sizeof block, file)) > 0;) content.append(block, n);
  return content;
}

bool WriteContent(const char* name, const std::string& content) {
  FileHandle file(std::fopen(name, "wb"));
  if (!file) return false;
  const bool written = std::fwrite(content.data(), 1, content.size(), file.get()) ==
                       content.size();
  return std::fclose(file.release()) == 0 && written;
}

// A file as the search left it, against what it held before (absent when before is null).
FileChange ChangeOf(const char* name, const char* before) {
  FileChange change;
  if (!ReadFileWhole(name, &change.content)) {
    change.kind = before == nullptr ? FileChange::kUnchanged : FileChange::kRemoved;
  } else if (before == nullptr || change.content != before) {
    change.kind = FileChange::kWritten;
  }
  if (change.kind != FileChange::kWritten) change.content.clear();
  return change;
}

void Apply(const char* name, const FileChange& change) {
  if (change.kind == FileChange::kRemoved) std::remove(name);
  if (change.kind == FileChange::kWritten && !WriteContent(name, change.content)) {
    ReportFileError("write", name, 0, std::strerror(errno));
  }
}

void Append(std::FILE* file, const std::string& text) {
  if (file == nullptr || text.empty()) return;
  std::fwrite(text.data(), 1, text.size(), file);
  std::fflush(file);
}

// The best-parameter file takes the content whole, as the engine rewrites it.
void Rewrite(std::FILE* file, const std::string& content) {
  if (file == nullptr) return;
  std::rewind(file);
  std::fwrite(content.data(), 1, content.size(), file);
  std::fflush(file);
  if (ftruncate(fileno(file), static_cast<off_t>(content.size())) != 0) {
    ReportFileError("write", "the best-parameter file", 0, std::strerror(errno));
  }
}

// The outcome of a search that has no result.
SearchOutcome NoResult(const ProblemRecord& record) {
  return {1, 0, InfiniteObjectives(record), CurrentParameterValues(record)};
}

// The search itself, in the working copy, its files and case files made ready.
void Search(GlobalProblem& problem, const dvector& start, const CapturePlace& place,
            const OutputNames& names, const TemporaryCaseFiles& files, CapturedSearch& search) {
  ModelRunner::Settings settings;
  settings.run_folder = place.run_folder;
  settings.stop_folder = place.stop_folder;
  settings.alone = true;
  short last_status = 0;
  settings.after_run = [&](const std::string& values, short status) {
    last_status = status;
    if (status != 0) search.failed_values = values;
    if (place.after_run) place.after_run();
  };
  LmContext context{problem.record, names,           files.files(), problem.templates,
                    problem.instructions, problem.partition, problem.option, false};
  context.runner_settings = &settings;
  ConsoleCapture capture;
  capture.Begin();
  {
    EndsRunNotProcess ends_search;
    try {
      search.outcome = RunSearchIn(problem, context, start);
    } catch (const EndDuringRun& end) {
      search.ended = end.status;
      search.outcome = NoResult(problem.record);
    }
  }
  search.console = capture.End();
  // The search ends at its first failure: when that was a run, it was the last one.
  search.run_failed = search.outcome.status != 0 && last_status != 0;
  if (!search.run_failed) search.failed_values.clear();
}

}  // namespace

CapturedSearch RunCapturedSearch(GlobalProblem& problem, const dvector& start,
                                 const CapturePlace& place) {
  CapturedSearch search;
  InFolder in(place.working_copy);
  // The restart file goes beside "jac.txt" in the working copy, under the case's name.
  OutputNames names = problem.names;
  std::snprintf(names.rst, sizeof names.rst, "%s",
                fs::path(problem.names.rst).filename().c_str());
  const TemporaryCaseFiles files;
  if (in.error()) {
    search.fault = FileErrorMessage("enter", place.working_copy.c_str(), 0,
                                    in.error().message().c_str());
  } else if (!files.made() || (std::remove(kJacobianFile) != 0 && errno != ENOENT) ||
             !WriteContent(names.rst, kNoRestartYet)) {
    search.fault = "cannot prepare the files of a local search: " +
                   std::string(std::strerror(errno));
  }
  if (!search.fault.empty()) {
    search.outcome = NoResult(problem.record);
    return search;
  }
  Search(problem, start, place, names, files, search);
  search.record = ContentOf(files.rec.get());
  search.sensitivity = ContentOf(files.sen.get());
  search.best_parameters.content = ContentOf(files.par.get());
  if (!search.best_parameters.content.empty()) {
    search.best_parameters.kind = FileChange::kWritten;
  }
  search.jacobian = ChangeOf(kJacobianFile, nullptr);
  search.restart = ChangeOf(names.rst, kNoRestartYet);
  return search;
}

void WriteCapturedSearch(GlobalProblem& problem, const CapturedSearch& search) {
  PrintConsoleText(search.console);
  const CaseFiles files = problem.files.files();
  Append(files.rec, search.record);
  Append(files.sen, search.sensitivity);
  if (search.best_parameters.kind == FileChange::kWritten) {
    Rewrite(files.par, search.best_parameters.content);
  }
  Apply(kJacobianFile, search.jacobian);
  Apply(problem.names.rst, search.restart);
}

namespace {

void WriteChange(const FileChange& change, MessageWriter& out) {
  out.Long(change.kind);
  out.Text(change.content);
}

bool ReadChange(MessageReader& in, FileChange& change) {
  long kind = 0;
  if (!in.Long(&kind) || kind < FileChange::kUnchanged || kind > FileChange::kRemoved) {
    return false;
  }
  change.kind = static_cast<FileChange::Kind>(kind);
  return in.Text(&change.content);
}

}  // namespace

std::string EncodeCapturedSearch(const CapturedSearch& search) {
  MessageWriter out;
  const SearchOutcome& outcome = search.outcome;
  out.Long(outcome.status);
  out.Long(outcome.model_calls);
  out.Long(static_cast<long>(outcome.objectives.size()));
  for (double value : outcome.objectives) out.Double(value);
  out.Values(outcome.end);
  out.Long(search.ended);
  for (const std::string* text : {&search.console.out, &search.console.err, &search.record,
                                  &search.sensitivity}) {
    out.Text(*text);
  }
  for (const FileChange* change :
       {&search.best_parameters, &search.jacobian, &search.restart}) {
    WriteChange(*change, out);
  }
  out.Long(search.run_failed ? 1 : 0);
  out.Text(search.failed_values);
  out.Text(search.fault);
  return out.bytes();
}

bool DecodeCapturedSearch(const std::string& bytes, CapturedSearch* search) {
  MessageReader in(bytes);
  SearchOutcome& outcome = search->outcome;
  long status = 0, objectives = 0, ended = 0, run_failed = 0;
  if (!in.Long(&status) || !in.Long(&outcome.model_calls) || !in.Long(&objectives) ||
      objectives < 0 || objectives > 1000000) {
    return false;
  }
  outcome.status = static_cast<short>(status);
  outcome.objectives.assign(static_cast<std::size_t>(objectives), 0.0);
  for (double& value : outcome.objectives) {
    if (!in.Double(&value)) return false;
  }
  if (!in.Values(&outcome.end) || !in.Long(&ended)) return false;
  search->ended = static_cast<int>(ended);
  for (std::string* text : {&search->console.out, &search->console.err, &search->record,
                            &search->sensitivity}) {
    if (!in.Text(text)) return false;
  }
  for (FileChange* change : {&search->best_parameters, &search->jacobian, &search->restart}) {
    if (!ReadChange(in, *change)) return false;
  }
  if (!in.Long(&run_failed) || !in.Text(&search->failed_values)) return false;
  search->run_failed = run_failed != 0;
  return in.Text(&search->fault);
}
