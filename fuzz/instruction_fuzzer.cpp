// A PEST instruction file and the model output it reads: the input up to its first NUL byte
// is the instruction file, the rest the output. The output is read twice with the same
// handles, so the second read goes through the names remembered by the first. Every value a
// successful read stores must be a finite number.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "pest/instruction_files.h"

namespace {

constexpr double kUnset = 12345.0;

// The names of the seed corpus (those of the examples and of the tests) and a few in mixed
// case: o1..o9, h1..h9, q001..q120, y01..y30, Head.
const std::vector<std::string>& ObservationNames() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> list;
    char name[16];
    for (int k = 1; k <= 9; ++k) list.push_back("o" + std::to_string(k));
    for (int k = 1; k <= 9; ++k) list.push_back("h" + std::to_string(k));
    for (int k = 1; k <= 120; ++k) {
      std::snprintf(name, sizeof name, "q%03d", k);
      list.push_back(name);
    }
    for (int k = 1; k <= 30; ++k) {
      std::snprintf(name, sizeof name, "y%02d", k);
      list.push_back(name);
    }
    list.push_back("Head");
    return list;
  }();
  return names;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::EnterWorkingDirectory();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const void* nul = std::memchr(data, '\0', size);
  const std::size_t split = nul != nullptr ? static_cast<const std::uint8_t*>(nul) - data : size;
  fuzz::WriteInput("model.ins", data, split);
  fuzz::WriteInput("model.out", data + (split < size ? split + 1 : size),
                   split < size ? size - split - 1 : 0);
  ProblemRecord record;
  const std::vector<std::string>& names = ObservationNames();
  const int count = static_cast<int>(names.size());
  record.NOBS = count;
  record.observations.resize(count + 1);
  for (int k = 1; k <= count; ++k) {
    std::snprintf(record.observations[k].OBSNME, kObsNameField, "%s", names[k - 1].c_str());
    for (double& value : record.observations[k].simulated) value = kUnset;
  }
  record.NINSFLE = 1;
  record.instructions.resize(2);
  std::snprintf(record.instructions[1].INSFLE, kTextField, "model.ins");
  std::snprintf(record.instructions[1].OUTFLE, kTextField, "model.out");
  FileHandleTable handles;
  if (OpenInstructionFiles(record, handles) != 0) return 0;
  for (int slot : {kBaseSlot, kFirstPerturbedSlot}) {
    short status = 1;
    try {
      status = ReadModelOutput(record, 1, slot, handles);
    } catch (const fuzz::ProcessEnded& end) {
      fuzz::Require(end.status == 1, "a semi-fixed instruction ends with status 1");
      return 0;
    }
    if (status != 0) continue;
    for (int k = 1; k <= count; ++k) {
      fuzz::Require(std::isfinite(record.observations[k].simulated[slot]),
                    "a value that is not finite was stored");
    }
  }
  CloseInstructionFiles(record, handles);
  return 0;
}
