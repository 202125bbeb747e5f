// The input files of the global methods ("ms.in", "mlsl.in", "tr.in"), read by their shared
// reader in the order of the longest of them: every value read must be within its checks.
#include <cmath>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "global/method_input.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::EnterWorkingDirectory();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::WriteInput("method.in", data, size);
  const MethodFile file = OpenMethodFile("method.in", "r");
  if (!file) return 0;
  InputReader in(file.get(), "method.in");
  long count = 0, limit = 0, stall = 0;
  double gamma = 0.0, sigma = 0.0, fraction = 0.0;
  std::uint32_t seed = 0;
  std::string word;
  if (in.Count("N", 1, count) &&
      in.Real("gamma", gamma, [](double v) { return v > 0.0 && v <= 1.0; }, "in (0, 1]") &&
      in.Real("sigma", sigma) && in.Word("the seeds mode", word) && in.Seed("the seed", seed) &&
      in.Count("Kmax", 0, limit) && in.Count("Kstall", 0, stall) &&
      in.Real("f", fraction)) {
    fuzz::Require(count >= 1 && limit >= 0 && stall >= 0, "a count below its minimum");
    fuzz::Require(gamma > 0.0 && gamma <= 1.0, "gamma outside its range");
    fuzz::Require(std::isfinite(sigma) && std::isfinite(fraction), "a value not finite");
    fuzz::Require(!word.empty(), "an empty word");
  }
  return 0;
}
