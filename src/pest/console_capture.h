// Capture of what this process, and the commands it starts, write to its standard output and
// standard error. Used by the model runs of a batch that several processes share: each run's
// console text is captured where it runs and printed by rank 0 in the order in which one
// process would have printed it.
#pragma once

#include <cstdio>
#include <string>

// What was written to standard output and standard error while a capture was on.
struct ConsoleText {
  std::string out;
  std::string err;
};

// Prints captured text where it would have gone: out to standard output, err to standard
// error.
void PrintConsoleText(const ConsoleText& text);

class ConsoleCapture {
 public:
  // Holds two anonymous temporary files; the capture works only when both could be made.
  ConsoleCapture();
  ~ConsoleCapture();
  ConsoleCapture(const ConsoleCapture&) = delete;
  ConsoleCapture& operator=(const ConsoleCapture&) = delete;

  bool usable() const { return out_ != nullptr && err_ != nullptr; }
  // From here on, file descriptors 1 and 2 write into the temporary files (buffered output
  // is flushed first). Does nothing when the capture is not usable or already on.
  void Begin();
  // Restores the console and returns what was written since Begin (empty when it was off).
  ConsoleText End();

 private:
  std::FILE* out_ = nullptr;
  std::FILE* err_ = nullptr;
  int saved_out_ = -1;
  int saved_err_ = -1;
  bool on_ = false;
};
