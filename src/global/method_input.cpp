#include "global/method_input.h"

#include <cerrno>
#include <cstring>
#include <limits>

#include "global/global_problem.h"
#include "global/sampling.h"
#include "modellib/file_error.h"
#include "modellib/input_file.h"
#include "modellib/text_util.h"
#include "pest/parameters.h"

MethodFile OpenMethodFile(const char* name, const char* mode) {
  if (mode[0] == 'r') {
    // An input file must be a regular file: a device or pipe could never end.
    std::string reason;
    MethodFile file(tarne::OpenInputFile(name, mode, tarne::kMaxInputFileBytes, &reason));
    if (!file) ReportFileError("open", name, 0, reason);
    return file;
  }
  MethodFile file(std::fopen(name, mode));
  if (!file) ReportFileError("create", name, 0, std::strerror(errno));
  return file;
}

bool InputReader::Count(const char* what, long minimum, long& value) {
  std::string word;
  if (!Word(what, word)) return false;
  if (!tarne::ParseLong(word, &value)) return NotA(what, word, "a whole number");
  if (value < minimum) {
    return in_.Fail(std::string(what) + " is " + word + "; it must be at least " +
                    std::to_string(minimum));
  }
  return true;
}

bool InputReader::Real(const char* what, double& value, bool (*valid)(double),
                       const char* requirement) {
  std::string word;
  if (!Word(what, word)) return false;
  if (!tarne::ParseDouble(word, &value)) return NotA(what, word, "a number");
  if (valid != nullptr && !valid(value)) {
    return in_.Fail(std::string(what) + " is " + word + "; " + requirement);
  }
  return true;
}

bool InputReader::Seed(const char* what, std::uint32_t& seed) {
  std::string word;
  if (!Word(what, word)) return false;
  return ParseUserSeed(word, seed) || NotA(what, word, "a whole number");
}

bool InputReader::NotA(const char* what, const std::string& word, const char* kind) const {
  return in_.Fail(std::string(what) + " is \"" + word + "\", not " + kind);
}

Objectives GroupObjectives(const ProblemRecord& record) {
  Objectives objectives(static_cast<size_t>(record.NOBSGP) + 1);
  objectives[0] = TotalObjective(record);
  for (int g = 1; g <= record.NOBSGP; ++g) objectives[g] = record.observation_groups[g].phi;
  return objectives;
}

Objectives InfiniteObjectives(const ProblemRecord& record) {
  return Objectives(static_cast<size_t>(record.NOBSGP) + 1,
                    std::numeric_limits<double>::infinity());
}

void DrawSample(ProblemRecord& record, SeedChain& chain, SeedsFile& seeds,
                bool use_seeds_file) {
  std::int32_t seed = chain.Next();
  if (use_seeds_file) seeds.Use(seed);
  SampleParameters(record, seed);
  if (record.NUMTIED > 0) RecomputeTiedParameters(record);
}

short RunSample(GlobalProblem& problem, long number, Objectives& objectives) {
  const short status = RunSampleModel(problem);
  if (status == 0) {
    objectives = GroupObjectives(problem.record);
  } else {
    // A failed run has no objectives; taken as infinite, the sample ranks last.
    objectives = InfiniteObjectives(problem.record);
    std::printf("\nThe model run of sample %ld failed; its objective function is taken as "
                "infinite.\n", number);
  }
  return status;
}

bool RefuseMissingArguments(int argc) {
  if (argc >= 2) return false;
  std::printf("\n");
  std::printf("No command line arguments.\n");
  std::printf("At the command prompt, please enter appropriate additional information.\n");
  std::printf("Review the TARNE user's manual as needed.\n");
  return true;
}
