#include "global/global_problem.h"

#include <cstdio>
#include <cstring>

#include "pest/control_file.h"
#include "pest/file_report.h"
#include "pest/instruction_files.h"
#include "pest/template_files.h"

namespace {

bool RestartFileExists(const OutputNames& names) {
  std::FILE* file = std::fopen(names.rst, "rb");
  if (file == nullptr) return false;
  std::fclose(file);
  return true;
}

}  // namespace

LmContext GlobalProblem::Context(bool resume) {
  return LmContext{record,    names,     files.files(), templates, instructions,
                   partition, first_argument, resume};
}

short LoadGlobalProblem(tarne::mpi_setup* partition, int argc, char** argv,
                        const std::string& tool, GlobalProblem& problem, bool* stop) {
  *stop = true;
  if (argc < 3) {
    std::printf("\nNo control file was named after %s.\n", argc > 1 ? argv[1] : "the option");
    return 1;
  }
  problem.partition = partition;
  problem.first_argument = argc > 1 ? argv[1] : "";
  bool refused = false;
  problem.restart = RestartRequested(argc, argv, &refused);
  if (refused) return 1;
  ProblemRecord& record = problem.record;
  short status = ReadControlFile(record, argv[2]);
  if (status == 0) status = OpenTemplateFiles(record, problem.templates);
  if (status == 0) status = CheckTemplateFiles(record, problem.templates);
  if (status == 0) status = OpenInstructionFiles(record, problem.instructions);
  if (status != 0) return status;
  DeleteStaleStopFile();
  if (std::strcmp(record.PESTMODE, "prediction") == 0) {
    if (!tool.empty()) {
      std::printf("\nCurrently, the %s does not support prediction capabilities.\n",
                  tool.c_str());
      std::printf("Please change the PESTMODE parameter in the input control\n");
      std::printf("file to 'estimation' and recommence execution of %s.\n\n", tool.c_str());
    }
    return 1;
  }
  CountParameterTypes(record);
  if (NoAdjustableParameters(record) || InitialValuesOutOfBounds(record)) return 0;
  status = SetTiedParameters(record);
  if (status == 0) status = FilesNamesForWrite(argv[2], problem.names);
  if (status != 0) return status;
  if (problem.restart && !RestartFileExists(problem.names)) {
    // The search that would resume could not: say so before any sample is run.
    std::printf("\n\nError opening the restart file.\n");
    std::printf("Possibly previous run was not halted prematurely.\n\n");
    return 0;
  }
  if (!problem.files.Open(problem.names, problem.restart)) return 1;
  problem.control_lambda = record.RLAMBDA1;
  *stop = false;
  return 0;
}

short CloseGlobalProblem(GlobalProblem& problem) {
  CloseTemplateFiles(problem.record, problem.templates);
  return CloseInstructionFiles(problem.record, problem.instructions);
}

short RunSampleModel(GlobalProblem& problem) {
  ProblemRecord& record = problem.record;
  const int saved = record.NOPTMAX;
  record.NOPTMAX = 0;
  LmContext context = problem.Context(false);
  LmState state = PrepareLocalSearch(record, CurrentParameterValues(record),
                                     problem.control_lambda);
  const short status = RunLevenbergMarquardt(context, state);
  record.NOPTMAX = saved;
  return status;
}

double TotalObjective(const ProblemRecord& record) {
  double total = 0.0;
  for (int g = 1; g <= record.NOBSGP; ++g) total += record.observation_groups[g].phi;
  return total;
}

short RunLocalSearch(GlobalProblem& problem, const dvector& start, bool resume,
                     long& model_calls) {
  LmContext context = problem.Context(resume);
  LmState state = PrepareLocalSearch(problem.record, start, problem.control_lambda);
  const short status = RunLevenbergMarquardt(context, state);
  model_calls = state.model_calls;
  return status;
}
