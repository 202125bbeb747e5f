#include "lm/slm_driver.h"

#include <cstdio>
#include <cstring>

#include "lm/lm_engine.h"
#include "lm/lm_state.h"

namespace {

void RefusePrediction() {
  std::printf("\n");
  std::printf("Currently, slm_kor does not support prediction capabilities similar to that "
              "within the PEST.\n");
  std::printf("Please change the MODE parameter in the control\n");
  std::printf("file to 'estimation' or 'regularization' and recommence execution of "
              "slm_kor.\n");
  std::printf("\n");
}

// Everything after the start-up: the engine in estimation mode, then the clean-up.
short RunCase(tarne::mpi_setup* partition, LoadedCase& loaded) {
  ProblemRecord& record = loaded.record;
  WriteRecordHeader(loaded.files.files().rec, loaded.control_name, record);
  if (std::strcmp(record.PESTMODE, "estimation") == 0) {
    LmContext context = SearchContext(loaded, partition, loaded.restart);
    LmState state = PrepareLocalSearch(record, CurrentParameterValues(record), record.RLAMBDA1);
    const short status = RunLevenbergMarquardt(context, state);
    if (status != 0) return status;
  }
  const short status = CloseCaseInputs(loaded);
  // A record, sensitivity or parameter file that could not be written in full is a failure.
  if (!loaded.files.Close() && status == 0) return 1;
  return status;
}

}  // namespace

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
  // Every input, the restart file after "/r" included, is read and checked before the first
  // file is written, so that a refusal leaves the files of an earlier run as they were.
  LoadedCase loaded;
  StartUp step = ReadCase(argc, argv, RefusePrediction, loaded);
  // Only a search resumes; in another mode "/r" appends the header to the record file.
  if (step.go_on && loaded.restart && std::strcmp(loaded.record.PESTMODE, "estimation") == 0) {
    step = ReadCaseRestartFile(loaded);
  }
  if (step.go_on) step = OpenCaseFiles(loaded);
  if (!step.go_on) return step.status;
  return RunCase(partition, loaded);
}
