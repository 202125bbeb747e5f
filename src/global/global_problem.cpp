#include "global/global_problem.h"

#include <cstdio>
#include <cstring>

#include "global/method_report.h"
#include "pest/control_file.h"

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

// The case as ReadCase reads it. Whether a method goes on with an interrupted run is told by
// the method's own restart file, not by the engine's, so the case is read as for a fresh
// run and "/r" is kept in problem.restart (any other third word is refused by ReadCase).
StartUp ReadGlobalCase(tarne::mpi_setup* partition, int argc, char** argv, const char* tool,
                       GlobalProblem& problem) {
  problem.partition = partition;
  const bool resume = argc > 3 && std::strcmp(argv[3], "/r") == 0;
  const StartUp step =
      ReadCase(resume ? 3 : argc, argv, [tool] { RefusePrediction(tool); }, problem);
  problem.restart = resume;
  return step;
}

bool ReadMethodInput(const char* name, const MethodInputReader& read_input,
                     SeedsFile::Mode& seeds_mode) {
  const MethodFile file = OpenMethodFile(name, "r");
  if (!file) return false;
  InputReader in(file.get(), name);
  return read_input(in, seeds_mode);
}

// The contents a resumed run must find as the interrupted run found them.
bool FingerprintInputs(const MethodNames& names, const char* control_name,
                       SeedsFile::Mode seeds_mode, RunInputs& inputs) {
  // The control file's name as the control-file reader makes it.
  inputs.control_file = ControlFileName(control_name);
  return FileFingerprint(names.input_file, inputs.method_input) &&
         FileFingerprint(inputs.control_file.c_str(), inputs.control) &&
         (seeds_mode != SeedsFile::Mode::kRead ||
          FileFingerprint(kSeedsFileName, inputs.seeds));
}

// Whether every output file of the method and of the case can be created where it is to
// be: nothing but a regular file may stand under its name (opening a pipe to write to it
// would wait for a reader for ever).
bool OutputsCanBeCreated(const MethodNames& names, SeedsFile::Mode seeds_mode,
                         const OutputNames& case_names) {
  for (const char* name : {case_names.rec, case_names.sen, case_names.mtt, case_names.par}) {
    if (!CanCreateMethodFile(name)) return false;
  }
  return CanCreateMethodFile(names.record_file) &&
         (names.sample_file == nullptr || CanCreateMethodFile(names.sample_file)) &&
         (seeds_mode != SeedsFile::Mode::kWrite || CanCreateMethodFile(kSeedsFileName));
}

StartUp OpenOutputs(const MethodNames& names, SeedsFile::Mode seeds_mode,
                    GlobalProblem& problem, MethodFiles& files) {
  files.rec = OpenMethodFile(names.record_file, "w");
  if (!files.rec) return StartUp::End(1);
  const StartUp step = OpenCaseFiles(problem);
  if (!step.go_on) return step;
  problem.control_lambda = problem.record.RLAMBDA1;
  if (names.sample_file != nullptr) {
    files.sample_file = OpenMethodFile(names.sample_file, "w");
    if (!files.sample_file) return StartUp::End(1);
  }
  if (seeds_mode == SeedsFile::Mode::kWrite && !files.seeds.Open(seeds_mode)) {
    return StartUp::End(1);
  }
  if (problem.method_restart.Begin(problem, files.rec.get()) != 0) return StartUp::End(1);
  return StartUp::GoOn();
}

}  // namespace

StartUp StartGlobalMethod(const MethodNames& names, tarne::mpi_setup* partition, int argc,
                          char** argv, const MethodInputReader& read_input,
                          GlobalProblem& problem, MethodFiles& files) {
  if (RefuseMissingArguments(argc)) return StartUp::End(1);
  PrintBanner(names.method_line, names.search_line);
  if (RefuseMissingControlName(argc, argv)) return StartUp::End(1);
  SeedsFile::Mode seeds_mode = SeedsFile::Mode::kNone;
  if (!ReadMethodInput(names.input_file, read_input, seeds_mode)) return StartUp::End(1);
  if (seeds_mode == SeedsFile::Mode::kRead && !files.seeds.Open(seeds_mode)) {
    return StartUp::End(1);
  }
  const StartUp step = ReadGlobalCase(partition, argc, argv, names.tool, problem);
  if (!step.go_on) return step;
  RunInputs inputs;
  if (!FingerprintInputs(names, argv[2], seeds_mode, inputs) ||
      !problem.method_restart.Prepare(names.restart_file, names.input_file, problem.restart,
                                      inputs, problem) ||
      !OutputsCanBeCreated(names, seeds_mode, problem.names)) {
    return StartUp::End(1);
  }
  return OpenOutputs(names, seeds_mode, problem, files);
}

StartUp LoadGlobalProblem(tarne::mpi_setup* partition, int argc, char** argv, const char* tool,
                          GlobalProblem& problem) {
  StartUp step = ReadGlobalCase(partition, argc, argv, tool, problem);
  if (step.go_on) step = OpenCaseFiles(problem);
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
  if (problem.method_restart.halted()) return 1;
  problem.method_restart.Finish();
  if (status != 0) return status;
  return CloseCaseInputs(problem);
}
