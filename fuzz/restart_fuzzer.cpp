// The restart file. The first byte gives the problem's shape: NOBS (bits 0-1), NPRIOR (bit
// 2), NPAR - 1 (bits 3-4), NUMADJ - 1 (bit 5, at most NPAR) and NOBSGP - 1 (bit 6); bit 7
// clear gives the control settings the file's first four lines hold (so that the reader goes
// past the settings check and into the items), set leaves them 0. The rest is the file. A
// successful read gives finite numbers everywhere but in the three items that may be
// infinite.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "fuzz_support.h"
#include "pest/restart_file.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::EnterWorkingDirectory();
  return 0;
}

namespace {

// The settings of the file's first four lines (SLMMODE, SLMFULLUPD, SLMFULLRAT, SLMNCOL), as a
// control file that matches them would give them; what cannot be read stays 0.
void TakeSettingsFromFile(const std::uint8_t* data, std::size_t size, ProblemRecord& record) {
  std::istringstream lines(std::string(reinterpret_cast<const char*>(data), size));
  std::string line[4];
  for (std::string& l : line) std::getline(lines, l);
  record.SLMMODE = static_cast<int>(std::strtol(line[0].c_str(), nullptr, 10));
  record.SLMFULLUPD = static_cast<int>(std::strtol(line[1].c_str(), nullptr, 10));
  record.SLMFULLRAT = std::strtod(line[2].c_str(), nullptr);
  record.SLMNCOL = static_cast<int>(std::strtol(line[3].c_str(), nullptr, 10));
}

}  // namespace

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
  if ((shape & 0x80) == 0) TakeSettingsFromFile(data + 1, size - 1, record);
  OutputNames names;
  FilesNamesForWrite("case", names);
  RestartRecord r;
  short status = 1;
  try {
    status = ReadRestartFile(r, record, names);
  } catch (const fuzz::ProcessEnded&) {
    fuzz::Require(false, "the restart file was there, yet the run ended as without one");
  }
  if (status != 0) return 0;
  const long m = record.NOBS + record.NPRIOR;
  bool finite = std::isfinite(r.phi) && std::isfinite(r.starting_phi) &&
                std::isfinite(r.lowest_phi) && std::isfinite(r.SLMFULLRAT) &&
                std::isfinite(r.RLAMBDA1);
  for (long i = 1; i <= m; ++i) {
    for (long j = 1; j <= record.NUMADJ; ++j) {
      finite = finite && std::isfinite(r.jacobian(i, j)) && std::isfinite(r.best_jacobian(i, j));
    }
  }
  for (long k = 1; k <= r.n; ++k) finite = finite && std::isfinite(r.history[k]);
  for (long k = 1; k <= record.NPAR; ++k) {
    finite = finite && std::isfinite(r.best_parameters[k]) && std::isfinite(r.parameter_values[k]);
  }
  for (long k = 1; k <= record.NOBS; ++k) {
    finite = finite && std::isfinite(r.best_simulated[k]) && std::isfinite(r.base_simulated[k]) &&
             std::isfinite(r.perturbed_simulated[k]);
  }
  for (long k = 1; k <= record.NUMADJ; ++k) finite = finite && std::isfinite(r.start_values[k]);
  for (long k = 1; k <= record.NOBSGP; ++k) finite = finite && std::isfinite(r.group_phi[k]);
  fuzz::Require(finite, "a value that is not finite was read");
  fuzz::Require(!std::isnan(r.largest_change) && !std::isnan(r.last_change), "NaN change read");
  return 0;
}
