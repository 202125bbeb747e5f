// The restart file of a global method. The first byte gives the problem's shape: NPAR - 1
// (bits 0-1), NPAR - NUMADJ (bit 2, NUMADJ at least 1) and NOBSGP - 1 (bits 3-4); the rest is the
// file without its checksum line, which the harness appends, so that the fuzzer reaches the
// items rather than the checksum test. A file the reader takes is written back and read
// again: the second writing must equal the first byte for byte.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>

#include "fuzz_support.h"
#include "global/resume_file.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::EnterWorkingDirectory();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const int shape = data[0];
  ProblemRecord record;
  record.NPAR = 1 + (shape & 3);
  record.NUMADJ = std::max(1, record.NPAR - ((shape >> 2) & 1));
  record.NOBSGP = 1 + ((shape >> 3) & 3);
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  char sum[40];
  std::snprintf(sum, sizeof sum, "checksum %016llx\n",
                static_cast<unsigned long long>(Fingerprint(text)));
  fuzz::WriteText("method.rst", text + sum);
  ResumeImage image;
  if (!ReadResumeFile("method.rst", record, image)) return 0;
  fuzz::Require(WriteResumeFile("first.rst", image) == 0, "an image read could not be written");
  ResumeImage again;
  fuzz::Require(ReadResumeFile("first.rst", record, again), "a written image was refused");
  fuzz::Require(WriteResumeFile("second.rst", again) == 0, "a reread image could not be written");
  fuzz::Require(fuzz::ReadText("first.rst") == fuzz::ReadText("second.rst"),
                "writing, reading and writing again changed the file");
  return 0;
}
