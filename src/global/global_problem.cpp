#include "global/global_problem.h"

#include <cstdio>

#include "global/method_report.h"

namespace {

// The lines a method prints when the command line holds no words after the program name;
// true when it printed them.
bool RefuseMissingArguments(int argc) {
  if (argc >= 2) return false;
  std::printf("\n");
  std::printf("No command line arguments.\n");
  std::printf("At the command prompt, please enter appropriate additional information.\n");
  std::printf("Review the TARNE user's manual as needed.\n");
  return true;
}

void RefusePrediction(const char* tool) {
  std::printf("\nCurrently, the %s does not support prediction capabilities.\n", tool);
  std::printf("Please change the PESTMODE parameter in the input control\n");
  std::printf("file to 'estimation' and recommence execution of %s.\n\n", tool);
}

bool RestartFileExists(const OutputNames& names) {
  std::FILE* file = std::fopen(names.rst, "rb");
  if (file == nullptr) return false;
  std::fclose(file);
  return true;
}

}  // namespace

StartUp StartGlobalMethod(const MethodNames& names, tarne::mpi_setup* partition, int argc,
                          char** argv, GlobalProblem& problem, MethodFiles& files) {
  if (RefuseMissingArguments(argc)) return StartUp::End(1);
  PrintBanner(names.method_line, names.search_line);
  if (RefuseMissingControlName(argc, argv)) return StartUp::End(1);
  // The method's own files are opened before the case, so that a missing input file stops
  // the method before any model run.
  files.input = OpenMethodFile(names.input_file, "r");
  if (!files.input) return StartUp::End(1);
  files.rec = OpenMethodFile(names.record_file, "w");
  if (!files.rec) return StartUp::End(1);
  return LoadGlobalProblem(partition, argc, argv, names.tool, problem);
}

StartUp LoadGlobalProblem(tarne::mpi_setup* partition, int argc, char** argv, const char* tool,
                          GlobalProblem& problem) {
  problem.partition = partition;
  StartUp step = ReadCase(argc, argv, [tool] { RefusePrediction(tool); }, problem);
  if (!step.go_on) return step;
  if (problem.restart && !RestartFileExists(problem.names)) {
    // The search that would resume could not: say so before any sample is run.
    std::printf("\n\nError opening the restart file.\n");
    std::printf("Possibly previous run was not halted prematurely.\n\n");
    return StartUp::End(0);
  }
  step = OpenCaseFiles(problem);
  if (step.go_on) problem.control_lambda = problem.record.RLAMBDA1;
  return step;
}

bool ReadSeedSettings(InputReader& in, std::string& seeds_word, std::uint32_t& seed) {
  return in.Word("the seeds mode (Y or N)", seeds_word) && in.Seed("the random seed", seed);
}

bool ReadImprovementFraction(InputReader& in, double& f) {
  return in.Real("f (the improvement fraction judged negligible)", f);
}

short FinishGlobalMethod(GlobalProblem& problem, short status) {
  if (status != 0) return status;
  return CloseCaseInputs(problem);
}
