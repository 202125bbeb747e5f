// The stand-in model library's readers: the first byte chooses the project file (P), the
// replacement list (L), the value file (V, the second byte choosing the line), the forcing
// file (F) or the observation file (O); the rest is the file.
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "modellib/hydro_model.h"
#include "modellib/project.h"
#include "modellib/replacement.h"
#include "modellib/tarne_lib.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::EnterWorkingDirectory();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const char kind = static_cast<char>(data[0]);
  fuzz::WriteInput("input.txt", data + 1, size - 1);
  switch (kind) {
    case 'L': {
      std::vector<tarne::ReplacementEntry> list;
      if (tarne::ReadReplacementList("input.txt", &list) == 0) {
        for (const auto& entry : list) {
          fuzz::Require(tarne::IsSafeNumberFormat(entry.format), "unsafe format accepted");
        }
      }
      break;
    }
    case 'V': {
      std::vector<double> values;
      const long line = size > 1 ? data[1] % 8 : 0;
      if (tarne::ReadValueLine("input.txt", line, &values) == 0) {
        for (double value : values) fuzz::Require(std::isfinite(value), "value not finite");
      }
      break;
    }
    case 'F': {
      tarne::Forcing forcing;
      if (tarne::ReadForcing("input.txt", &forcing, 5000) == 0) {
        fuzz::Require(!forcing.time.empty() && forcing.time.size() <= 5000, "forcing rows");
        for (std::size_t t = 1; t < forcing.time.size(); ++t) {
          fuzz::Require(forcing.time[t] > forcing.time[t - 1], "forcing time not increasing");
        }
      }
      break;
    }
    case 'O': {
      tarne::observed_data observed;
      const int rows = observed.read_observed_weighted_peakvol("input.txt");
      fuzz::Require(rows == -1 || rows == observed.count(), "observation count");
      break;
    }
    default: {
      tarne::Project project;
      if (tarne::ReadProject("input.txt", &project) == 0) {
        fuzz::Require(project.kind != tarne::ModelKind::kNone, "project without a kind");
      }
      break;
    }
  }
  return 0;
}
