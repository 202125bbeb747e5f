// What every fuzz harness shares: a private working directory per process for the files a
// reader takes, writing one input file, a check that stops the fuzzer on a broken promise,
// and the end of a run that the program would end the process for.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzz {

// Thrown by the harnesses' own EndProcess where the program ends the process (stop file,
// semi-fixed instruction, missing restart file, numerical error exit), so that a harness
// catches the end and goes on with the next input.
struct ProcessEnded {
  int status;
};

// Makes a fresh directory under $TMPDIR (or /tmp) the working directory, once per process;
// it is removed when the process ends.
void EnterWorkingDirectory();

// Writes size bytes of data (or text) as the file name in the working directory.
void WriteInput(const char* name, const std::uint8_t* data, std::size_t size);
void WriteText(const char* name, const std::string& text);
bool FileExists(const char* name);
std::string ReadText(const char* name);

// Aborts with the message when condition is false: a finding of the harness's own checks.
void Require(bool condition, const char* what);

}  // namespace fuzz
