// The SCE input file and the check and repair of its settings.
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "modellib/input_file.h"
#include "sce/sce_input.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::EnterWorkingDirectory();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::WriteInput("sce.in", data, size);
  SceRun run(nullptr);
  tarne::gFILE input(nullptr);
  std::string reason;
  fuzz::Require(input.open_input("sce.in", tarne::kMaxInputFileBytes, &reason), "open sce.in");
  if (read_sce_input(run, input, "sce.in") != 0) return 0;
  const SceSettings& s = run.settings;
  fuzz::Require(s.nparam >= 1 && s.nparam <= kSceMaxParameters, "parameter count");
  fuzz::Require(s.observation_file[0] != '\0', "no observation file");
  for (int i = 1; i <= s.nparam; ++i) fuzz::Require(s.bl[i] < s.bu[i], "bounds out of order");
  if (check_sce_settings(run.settings) < 0) return 0;
  fuzz::Require(s.ngs >= 1 && s.ngs <= 1319, "complexes");
  fuzz::Require(s.nspl >= 1, "evolution steps");
  fuzz::Require(s.nspl <= MostEvolutionSteps(s), "evolution steps beyond the bound");
  return 0;
}
