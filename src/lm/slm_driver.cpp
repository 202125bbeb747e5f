#include "lm/slm_driver.h"

#include <cerrno>
#include <cstring>

#include "lm/lm_engine.h"
#include "lm/lm_state.h"
#include "pest/control_file.h"
#include "pest/file_report.h"
#include "pest/instruction_files.h"
#include "pest/template_files.h"

namespace {

bool RefusePrediction(const ProblemRecord& record) {
  if (std::strcmp(record.PESTMODE, "prediction") != 0) return false;
  std::printf("\n");
  std::printf("Currently, slm_kor does not support prediction capabilities similar to that "
              "within the PEST.\n");
  std::printf("Please change the MODE parameter in the control\n");
  std::printf("file to 'estimation' or 'regularization' and recommence execution of "
              "slm_kor.\n");
  std::printf("\n");
  return true;
}

// Everything after the start-up: the engine in estimation mode, then the clean-up.
short RunCase(tarne::mpi_setup* partition, char** argv, bool restart, ProblemRecord& record,
              FileHandleTable& templates, FileHandleTable& instructions) {
  OutputNames names;
  short status = SetTiedParameters(record);
  if (status == 0) status = FilesNamesForWrite(argv[2], names);
  if (status != 0) return status;
  CaseFileHolder files;
  if (!files.Open(names, restart)) return 1;
  WriteRecordHeader(files.files().rec, argv[2], record);
  if (std::strcmp(record.PESTMODE, "estimation") == 0) {
    LmContext context{record, names, files.files(), templates, instructions, partition, argv[1],
                      restart};
    LmState state = PrepareLocalSearch(record, CurrentParameterValues(record), record.RLAMBDA1);
    status = RunLevenbergMarquardt(context, state);
    if (status != 0) return status;
  }
  CloseTemplateFiles(record, templates);
  status = CloseInstructionFiles(record, instructions);
  files.Close();
  return status;
}

}  // namespace

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

bool CaseFileHolder::Open(const OutputNames& names, bool restart) {
  const char* mode = restart ? "a" : "w";
  const struct {
    const char* name;
    const char* mode;
    std::unique_ptr<std::FILE, Closer>* holder;
  } opens[] = {{names.rec, mode, &rec_},
               {names.sen, mode, &sen_},
               {names.mtt, "w", &mtt_},
               {names.par, "w", &par_}};
  for (const auto& open : opens) {
    open.holder->reset(std::fopen(open.name, open.mode));
    if (!*open.holder) {
      ReportFileError(restart && open.mode[0] == 'a' ? "open" : "create", open.name, 0,
                      std::strerror(errno));
      return false;
    }
  }
  return true;
}

CaseFiles CaseFileHolder::files() const {
  return {rec_.get(), sen_.get(), mtt_.get(), par_.get()};
}

void CaseFileHolder::Close() {
  rec_.reset();
  sen_.reset();
  mtt_.reset();
  par_.reset();
}

short slm_kor(tarne::mpi_setup* partition, int argc, char** argv) {
  if (argc <= 1) {
    std::printf("\n");
    std::printf("No command line arguments.\n");
    std::printf("At the command prompt, please also enter the name\n");
    std::printf("of the input control file following the program name, slm_kor.\n");
    return 1;
  }
  std::printf("\nUsing the (Secant) Levenberg-Marquardt local search method,\n");
  std::printf("as implemented directly in TARNE, to calibrate the current TARNE model.\n");
  if (argc <= 2) {
    std::printf("\nNo control file was named after %s.\n", argv[1]);
    return 1;
  }
  bool refused = false;
  const bool restart = RestartRequested(argc, argv, &refused);
  if (refused) return 1;

  ProblemRecord record;
  FileHandleTable templates, instructions;
  short status = ReadControlFile(record, argv[2]);
  if (status == 0) status = OpenTemplateFiles(record, templates);
  if (status == 0) status = CheckTemplateFiles(record, templates);
  if (status == 0) status = OpenInstructionFiles(record, instructions);
  if (status != 0) return status;
  DeleteStaleStopFile();
  if (RefusePrediction(record)) return 1;
  CountParameterTypes(record);
  if (NoAdjustableParameters(record) || InitialValuesOutOfBounds(record)) return 0;
  return RunCase(partition, argv, restart, record, templates, instructions);
}
