// The Monte Carlo input file, read by the reader alone (no model run, no observation file).
#include <cmath>
#include <cstdint>

#include "fuzz_support.h"
#include "montecarlo/montecarlo.h"

namespace {

// Exposes what the reader filled.
class InputOnly : public montecarlo {
 public:
  explicit InputOnly(tarne::mpi_setup* partition) : montecarlo(partition, 1, "absent.in") {}
  void Check() const {
    if (!input_ok) return;
    fuzz::Require(num_params >= 0, "negative parameter count");
    fuzz::Require(lower.size() == static_cast<std::size_t>(num_params) + 1 &&
                      upper.size() == lower.size() && current.size() == lower.size(),
                  "arrays do not fit the parameter count");
    for (std::int32_t i = 1; i <= num_params; ++i) {
      fuzz::Require(std::isfinite(lower[i]) && std::isfinite(upper[i]), "bound not finite");
    }
  }
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::EnterWorkingDirectory();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static tarne::mpi_setup partition;
  fuzz::WriteInput("mc.in", data, size);
  InputOnly reader(&partition);  // its own input is absent: nothing else is read
  reader.read_input("mc.in");
  reader.Check();
  return 0;
}
