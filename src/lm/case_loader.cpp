#include "lm/case_loader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "modellib/file_error.h"
#include "pest/control_file.h"
#include "pest/instruction_files.h"
#include "pest/stop_file.h"
#include "pest/template_files.h"

namespace {

// The optional restart word: true for "/r". Any other third word is refused with one line
// and *refused set, since a run that skips its initial model run without resuming would
// start from nothing.
bool RestartRequested(int argc, char** argv, bool* refused) {
  *refused = false;
  if (argc <= 3) return false;
  if (std::strcmp(argv[3], "/r") == 0) return true;
  std::printf("\nThe word \"%s\" after the control file name is not the restart switch /r; "
              "give /r to resume a stopped run, or nothing to start afresh.\n",
              argv[3]);
  *refused = true;
  return false;
}

// The control file with its template and instruction files; the first failing status.
short ReadCaseFiles(const char* control_name, LoadedCase& loaded) {
  short status = ReadControlFile(loaded.record, control_name, loaded.replacement_list);
  if (status == 0) status = OpenTemplateFiles(loaded.record, loaded.templates);
  if (status == 0) status = CheckTemplateFiles(loaded.record, loaded.templates);
  if (status == 0) status = OpenInstructionFiles(loaded.record, loaded.instructions);
  return status;
}

// A file opened for writing without emptying it: appended to, or written from its start
// (and emptied by the caller when every file of the tool could be opened).
std::FILE* OpenForWriting(const char* name, bool append) {
  const int descriptor = ::open(name, O_WRONLY | O_CREAT | (append ? O_APPEND : 0), 0666);
  if (descriptor < 0) return nullptr;
  std::FILE* file = fdopen(descriptor, append ? "a" : "w");
  if (file == nullptr) ::close(descriptor);
  return file;
}

bool IsPredictionMode(const ProblemRecord& record) {
  return std::strcmp(record.PESTMODE, "prediction") == 0;
}

bool NoAdjustableParameters(const ProblemRecord& record) {
  if (record.NUMADJ != 0) return false;
  std::printf("\n");
  std::printf("\n");
  std::printf("The number of adjustable model parameters is zero. \n");
  std::printf("Modify the input control file and try again. \n");
  std::printf("\n");
  std::printf("\n");
  return true;
}

bool InitialValuesOutOfBounds(const ProblemRecord& record) {
  bool any = false;
  for (int k = 1; k <= record.NPAR; ++k) {
    const Parameter& p = record.parameters[k];
    if (p.PARLBND > p.value || p.value > p.PARUBND) {
      std::printf("\nThe intial value for the following parameter is outside of its specified "
                  "bounds: %s",
                  p.PARNME);
      any = true;
    }
  }
  if (any) std::printf("\nModify the input control file and try again.");
  return any;
}

}  // namespace

bool RefuseMissingControlName(int argc, char** argv) {
  if (argc >= 3) return false;
  std::printf("\nNo control file was named after %s.\n", argc > 1 ? argv[1] : "the option");
  return true;
}

StartUp ReadCase(int argc, char** argv, const std::function<void()>& refuse_prediction,
                 LoadedCase& loaded) {
  if (RefuseMissingControlName(argc, argv)) return StartUp::End(1);
  loaded.option = argv[1];
  loaded.control_name = argv[2];
  bool refused = false;
  loaded.restart = RestartRequested(argc, argv, &refused);
  if (refused) return StartUp::End(1);
  ProblemRecord& record = loaded.record;
  short status = ReadCaseFiles(loaded.control_name, loaded);
  if (status != 0) return StartUp::End(status);
  if (IsPredictionMode(record)) {
    refuse_prediction();
    return StartUp::End(1);
  }
  CountParameterTypes(record);
  // A case that cannot be calibrated is a failure: the status tells a script so.
  if (NoAdjustableParameters(record) || InitialValuesOutOfBounds(record)) {
    return StartUp::End(1);
  }
  status = SetTiedParameters(record);
  if (status == 0) status = FilesNamesForWrite(loaded.control_name, loaded.names);
  if (status != 0) return StartUp::End(status);
  return StartUp::GoOn();
}

StartUp ReadCaseRestartFile(LoadedCase& loaded) {
  auto restart = std::make_unique<RestartRecord>();
  if (ReadRestartFile(*restart, loaded.record, loaded.names) != 0) return StartUp::End(1);
  loaded.resume_record = std::move(restart);
  return StartUp::GoOn();
}

StartUp OpenCaseFiles(LoadedCase& loaded) {
  // The output files are opened before anything is written, and emptied last, so that a
  // file that cannot be opened or written leaves the others as they were.
  if (!loaded.files.OpenWithoutEmptying(loaded.names, loaded.restart) ||
      !WriteReplacementList(loaded.replacement_list)) {
    return StartUp::End(1);
  }
  DeleteStaleStopFile();
  if (!loaded.files.EmptyFreshFiles()) return StartUp::End(1);
  return StartUp::GoOn();
}

LmContext SearchContext(LoadedCase& loaded, tarne::mpi_setup* partition, bool resume) {
  LmContext context{loaded.record,    loaded.names,        loaded.files.files(),
                    loaded.templates, loaded.instructions, partition,
                    loaded.option,    resume};
  if (resume) context.resume_record = std::move(loaded.resume_record);
  return context;
}

short CloseCaseInputs(LoadedCase& loaded) {
  CloseTemplateFiles(loaded.record, loaded.templates);
  return CloseInstructionFiles(loaded.record, loaded.instructions);
}

bool CaseFileHolder::Open(const OutputNames& names, bool restart) {
  return OpenWithoutEmptying(names, restart) && EmptyFreshFiles();
}

bool CaseFileHolder::OpenWithoutEmptying(const OutputNames& names, bool restart) {
  restart_ = restart;
  const char* const opens[] = {names.rec, names.sen, names.mtt, names.par};
  FileHandle* const holders[] = {&rec_, &sen_, &mtt_, &par_};
  for (int k = 0; k < 4; ++k) {
    names_[k] = opens[k];
    const bool append = restart && k < 2;
    holders[k]->reset(OpenForWriting(opens[k], append));
    if (!*holders[k]) {
      ReportFileError(append ? "open" : "create", opens[k], 0, std::strerror(errno));
      return false;
    }
  }
  return true;
}

bool CaseFileHolder::EmptyFreshFiles() {
  std::FILE* const files[] = {rec_.get(), sen_.get(), mtt_.get(), par_.get()};
  for (int k = restart_ ? 2 : 0; k < 4; ++k) {
    // A device (say /dev/null given as the record) has nothing to empty.
    struct stat status;
    const int descriptor = fileno(files[k]);
    if (fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) continue;
    if (ftruncate(descriptor, 0) != 0) {
      ReportFileError("create", names_[k], 0, std::strerror(errno));
      return false;
    }
  }
  return true;
}

CaseFiles CaseFileHolder::files() const {
  return {rec_.get(), sen_.get(), mtt_.get(), par_.get()};
}

bool CaseFileHolder::Close() {
  FileHandle* const holders[] = {&rec_, &sen_, &mtt_, &par_};
  bool closed = true;
  for (int k = 0; k < 4; ++k) {
    std::FILE* file = holders[k]->release();
    if (file == nullptr) continue;
    errno = 0;
    const bool failed = std::ferror(file) != 0;
    const int close_status = std::fclose(file);
    if (closed && (failed || close_status != 0)) {
      // The reason of a write that failed before the close is no longer known.
      ReportFileError("write", names_[k], 0,
                      errno != 0 ? std::strerror(errno) : "a write to it failed");
      closed = false;
    }
  }
  return closed;
}
