// The stop file: codes 1 to 3 end the run (caught here), anything else is deleted and the
// run goes on.
#include <cstdint>

#include "fuzz_support.h"
#include "pest/stop_file.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::EnterWorkingDirectory();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::WriteInput("pest.stp", data, size);
  try {
    CheckStopFile();
  } catch (const fuzz::ProcessEnded& end) {
    fuzz::Require(end.status == 0, "a stop request ends with status 0");
    fuzz::Require(fuzz::FileExists("pest.stp"), "a stop request removed the stop file");
    return 0;
  }
  // Within the size read, a stop file that did not stop the run is gone.
  fuzz::Require(size > 65536 || !fuzz::FileExists("pest.stp"), "the stop file was kept");
  return 0;
}
