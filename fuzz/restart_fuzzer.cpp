// The restart file. The first byte gives the problem's shape: NOBS (bits 0-1), NPRIOR (bit
// 2), NPAR - 1 (bits 3-4), NUMADJ - 1 (bit 5, at most NPAR) and NOBSGP - 1 (bit 6); the rest
// is the file. A successful read gives finite numbers everywhere but in the three items that
// may be infinite.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "fuzz_support.h"
#include "pest/output_files.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::EnterWorkingDirectory();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const int shape = data[0];
  fuzz::WriteInput("case.rst", data + 1, size - 1);
  ProblemRecord record;
  record.NOBS = shape & 3;
  record.NPRIOR = (shape >> 2) & 1;
  record.NPAR = 1 + ((shape >> 3) & 3);
  record.NUMADJ = std::min(record.NPAR, 1 + ((shape >> 5) & 1));
  record.NOBSGP = 1 + ((shape >> 6) & 1);
  record.observations.resize(record.NOBS + 1);
  record.parameters.resize(record.NPAR + 1);
  record.observation_groups.resize(record.NOBSGP + 1);
  OutputNames names;
  FilesNamesForWrite("case", names);
  matrix jacobian, best_jacobian;
  dvector history(1), best_parameters(1), best_simulated(1), start_values(1);
  int n = 0, best_iteration = 0, switch_flag = 0, small_change_count = 0, cyclic_position = 0;
  double phi = 0, starting_phi = 0, lowest_phi = 0, largest_change = 0, last_change = 0;
  long model_calls = 0;
  short status = 1;
  try {
    status = ReadRestartFile(jacobian, best_jacobian, n, phi, starting_phi, history,
                             best_parameters, best_simulated, lowest_phi, best_iteration,
                             switch_flag, record, names, largest_change, small_change_count,
                             last_change, start_values, model_calls, cyclic_position);
  } catch (const fuzz::ProcessEnded&) {
    fuzz::Require(false, "the restart file was there, yet the run ended as without one");
  }
  if (status != 0) return 0;
  const long m = record.NOBS + record.NPRIOR;
  bool finite = std::isfinite(phi) && std::isfinite(starting_phi) && std::isfinite(lowest_phi) &&
                std::isfinite(record.SLMFULLRAT) && std::isfinite(record.RLAMBDA1);
  for (long i = 1; i <= m; ++i) {
    for (long j = 1; j <= record.NUMADJ; ++j) {
      finite = finite && std::isfinite(jacobian(i, j)) && std::isfinite(best_jacobian(i, j));
    }
  }
  for (long k = 1; k <= n; ++k) finite = finite && std::isfinite(history[k]);
  for (long k = 1; k <= record.NPAR; ++k) {
    finite = finite && std::isfinite(best_parameters[k]) &&
             std::isfinite(record.parameters[k].value);
  }
  for (long k = 1; k <= record.NOBS; ++k) {
    finite = finite && std::isfinite(best_simulated[k]);
    for (double value : record.observations[k].simulated) finite = finite && std::isfinite(value);
  }
  for (long k = 1; k <= record.NUMADJ; ++k) finite = finite && std::isfinite(start_values[k]);
  for (long k = 1; k <= record.NOBSGP; ++k) {
    finite = finite && std::isfinite(record.observation_groups[k].phi);
  }
  fuzz::Require(finite, "a value that is not finite was read");
  fuzz::Require(!std::isnan(largest_change) && !std::isnan(last_change), "NaN change read");
  return 0;
}
