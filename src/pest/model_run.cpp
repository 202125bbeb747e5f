// One model run of the Levenberg-Marquardt family: the value file, a fresh model object on
// the partition object, the post-run command, and the reading of every output file.
#include "pest/model_run.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <string>
#include <system_error>

#include "modellib/command_runner.h"
#include "modellib/file_error.h"
#include "pest/instruction_files.h"
#include "pest/parameters.h"

namespace {

// A model object built in zero-filled storage, so that nothing of an earlier run can show
// through in a field the library does not set itself; destroyed when the run is over.
class FreshModel {
 public:
  explicit FreshModel(tarne::mpi_setup* partition)
      : storage_(std::make_unique<unsigned char[]>(sizeof(tarne::tarne_sim))),
        model_(new (storage_.get()) tarne::tarne_sim(partition)) {}
  ~FreshModel() { model_->~tarne_sim(); }
  FreshModel(const FreshModel&) = delete;
  FreshModel& operator=(const FreshModel&) = delete;
  tarne::tarne_sim* operator->() { return model_; }

 private:
  static_assert(alignof(tarne::tarne_sim) <= __STDCPP_DEFAULT_NEW_ALIGNMENT__,
                "array new must align the model object");
  std::unique_ptr<unsigned char[]> storage_;  // value-initialised, that is zero-filled
  tarne::tarne_sim* model_;
};

double ChosenValue(const Parameter& parameter, ValueChoice which) {
  switch (which) {
    case ValueChoice::kFirstPerturbed:
      return parameter.perturbed1;
    case ValueChoice::kSecondPerturbed:
      return parameter.perturbed2;
    case ValueChoice::kCurrent:
      break;
  }
  return parameter.value;
}

short ReportValueFileError(const char* verb) {
  ReportFileError(verb, kValueFileName, 0, std::strerror(errno));
  return 1;
}

}  // namespace

std::string ValueFileText(const ProblemRecord& record, ValueChoice which) {
  std::string content;
  char number[64];
  for (int i = 1; i <= record.NPAR; ++i) {
    const Parameter& parameter = record.parameters[i];
    const double value = NaturalValue(parameter, ChosenValue(parameter, which));
    std::snprintf(number, sizeof number, "%.7E ", value);
    content += number;
  }
  return content;
}

short WriteValueFile(const ProblemRecord& record, ValueChoice which) {
  return WriteValueText(ValueFileText(record, which));
}

// The file is overwritten in place and then cut to its new length rather than emptied on
// opening: on some file systems emptying a file frees and discards its blocks at a cost of
// milliseconds, which would dominate a run that is otherwise far cheaper.
short WriteValueText(const std::string& content) {
  std::FILE* file = std::fopen(kValueFileName, "r+");
  if (file == nullptr) file = std::fopen(kValueFileName, "w");
  if (file == nullptr) return ReportValueFileError("create");
  const bool written = std::fwrite(content.data(), 1, content.size(), file) == content.size();
  const bool closed = std::fclose(file) == 0;
  if (!written || !closed) return ReportValueFileError("write");
  std::error_code error;
  std::filesystem::resize_file(kValueFileName, content.size(), error);
  if (error) {
    errno = error.value();
    return ReportValueFileError("write");
  }
  return 0;
}

short RunModelLibrary(ProblemRecord& record, tarne::mpi_setup* partition,
                      const char* first_argument) {
  if (partition == nullptr) {
    std::printf("\nA model run needs the partition object of the model library.\n");
    return 1;
  }
  FreshModel model(partition);
  model->main_tarne(record.PROJFLE, nullptr, first_argument != nullptr ? first_argument : "");
  return 0;
}

void RunPostCommand(const ProblemRecord& record) {
  // The command writes to the same console: what is buffered here goes out first.
  std::fflush(nullptr);
  // Its result is not consulted. A command without shell syntax starts without a shell, so
  // a fast post-run step does not pay for one on every run; one that cannot start is named on
  // standard error, as the shell would name it.
  if (record.POSTBATCH[0] != '\0') {
    std::string start_error;
    if (tarne::RunCommandLine(record.POSTBATCH, &start_error) == -1) {
      std::fprintf(stderr, "tarne: the post-run command '%s' could not be started: %s\n",
                   record.POSTBATCH, start_error.c_str());
    }
  }
}

short RunModel(ProblemRecord& record, tarne::mpi_setup* partition, const char* first_argument,
               long& model_calls) {
  const short status = RunModelLibrary(record, partition, first_argument);
  if (status != 0) return status;
  RunPostCommand(record);
  ++model_calls;
  return 0;
}

short ReadModelOutputs(ProblemRecord& record, int slot, FileHandleTable& instruction_handles) {
  for (int i = 1; i <= record.NINSFLE; ++i) {
    const short status = ReadModelOutput(record, i, slot, instruction_handles);
    if (status != 0) return status;
  }
  return 0;
}
