// The PEST control file, with the two passes that complete the problem record. A failed
// read must leave the earlier replacement list as it was; a successful one replaces it
// whole, and no temporary file stays behind either way.
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "pest/control_file.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::EnterWorkingDirectory();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string earlier = "earlier list\n";
  fuzz::WriteText("tarne.in", earlier);
  fuzz::WriteInput("case.pst", data, size);
  ProblemRecord record;
  const short status = ReadControlFile(record, "case");
  fuzz::Require(!fuzz::FileExists("tarne.in.tmp"), "temporary list left behind");
  if (status != 0) {
    fuzz::Require(fuzz::ReadText("tarne.in") == earlier, "a failed read changed tarne.in");
    return 0;
  }
  fuzz::Require(record.parameters.size() == static_cast<std::size_t>(record.NPAR) + 1 &&
                    record.observations.size() == static_cast<std::size_t>(record.NOBS) + 1,
                "arrays do not fit the counts");
  CountParameterTypes(record);
  SetTiedParameters(record);
  fuzz::Require(record.NUMADJ + record.NUMFIXED + record.NUMTIED == record.NPAR,
                "parameter kinds do not add up");
  return 0;
}
