#include "pest/copy_run.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <system_error>

#include "modellib/file_error.h"
#include "numeric/process_end.h"
#include "pest/instruction_files.h"
#include "pest/model_run.h"

namespace fs = std::filesystem;

EndsRunNotProcess::EndsRunNotProcess()
    : previous_(SetProcessEndAction([](int status) { throw EndDuringRun{status}; })) {}

EndsRunNotProcess::~EndsRunNotProcess() { SetProcessEndAction(previous_); }

InFolder::InFolder(const std::string& folder) {
  if (folder.empty()) return;
  previous_ = fs::current_path(error_);
  if (!error_) fs::current_path(folder, error_);
  moved_ = !error_;
}

InFolder::~InFolder() {
  std::error_code ignored;
  if (moved_) fs::current_path(previous_, ignored);
}

namespace {

void Copy(const std::string& text, char* field) {
  std::snprintf(field, kTextField, "%s", text.c_str());
}

}  // namespace

bool CopyRunner::Open(const RunSetup& setup, const std::string& folder, std::string* reason) {
  folder_ = folder;
  first_argument_ = setup.first_argument;
  record_ = ProblemRecord();
  Copy(setup.project, record_.PROJFLE);
  Copy(setup.post_command, record_.POSTBATCH);
  record_.NINSFLE = static_cast<int>(setup.instructions.size());
  record_.instructions.resize(setup.instructions.size() + 1);
  for (std::size_t i = 0; i < setup.instructions.size(); ++i) {
    Copy(setup.instructions[i].first, record_.instructions[i + 1].INSFLE);
    Copy(setup.instructions[i].second, record_.instructions[i + 1].OUTFLE);
  }
  record_.NOBS = static_cast<int>(setup.observations.size());
  record_.observations.resize(setup.observations.size() + 1);
  for (std::size_t i = 0; i < setup.observations.size(); ++i) {
    std::snprintf(record_.observations[i + 1].OBSNME, kObsNameField, "%s",
                  setup.observations[i].c_str());
  }
  InFolder in(folder_);
  if (in.error()) {
    *reason = FileErrorMessage("enter", folder_.c_str(), 0, in.error().message().c_str());
    return false;
  }
  ConsoleCapture quiet;
  quiet.Begin();
  const short status = OpenInstructionFiles(record_, instructions_);
  const ConsoleText said = quiet.End();
  if (status != 0) {
    *reason = said.out.empty() ? "cannot open the instruction files" : said.out;
    while (!reason->empty() && reason->back() == '\n') reason->pop_back();
    return false;
  }
  return true;
}

RunOutcome CopyRunner::Run(const std::string& values, bool in_run_directory) {
  RunOutcome outcome;
  outcome.simulated.assign(static_cast<std::size_t>(record_.NOBS),
                           std::numeric_limits<double>::quiet_NaN());
  capture_.Begin();
  {
    InFolder in(in_run_directory ? std::string() : folder_);
    if (in.error()) {
      std::printf("%s\n", FileErrorMessage("enter", folder_.c_str(), 0,
                                           in.error().message().c_str()).c_str());
      outcome.status = 1;
    } else {
      RunSteps(values, &outcome);
    }
  }
  ConsoleText text = capture_.End();
  (outcome.model_ran ? outcome.after : outcome.before) = std::move(text);
  return outcome;
}

// The console text up to the end of the post-run command goes into before; what follows is
// left in the capture for Run to take.
void CopyRunner::RunSteps(const std::string& values, RunOutcome* outcome) {
  EndsRunNotProcess ends_run;
  try {
    outcome->status = WriteValueText(values);
    if (outcome->status == 0) {
      outcome->status = RunModelLibrary(record_, partition_, first_argument_.c_str());
    }
    if (outcome->status != 0) return;
    RunPostCommand(record_);
    outcome->before = capture_.End();
    outcome->model_ran = true;
    capture_.Begin();
    for (int i = 1; i <= record_.NOBS; ++i) {
      record_.observations[i].simulated[kBaseSlot] = std::numeric_limits<double>::quiet_NaN();
    }
    outcome->status = ReadModelOutputs(record_, kBaseSlot, instructions_);
    for (int i = 1; i <= record_.NOBS; ++i) {
      outcome->simulated[static_cast<std::size_t>(i - 1)] =
          record_.observations[i].simulated[kBaseSlot];
    }
  } catch (const EndDuringRun& end) {
    outcome->ended = end.status;
    outcome->status = 1;
  }
}
