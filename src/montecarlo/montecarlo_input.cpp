// Reading of the Monte Carlo input file: project file, second path, observation file, the
// number of parameters and one bounds line per parameter.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include "modellib/file_error.h"
#include "modellib/input_file.h"
#include "montecarlo/montecarlo.h"

namespace {

const char* SkipBlanks(const char* text) {
  while (*text == ' ' || *text == '\t') ++text;
  return text;
}

// Walks the input file line by line, one item per line as the model library's line readers
// take it, and reports the first thing wrong with it through the program's one file-error
// path, naming the file and the line. Every Read* returns false after its message.
class InputReader {
 public:
  InputReader(tarne::gFILE& file, const char* file_name) : file_(file), name_(file_name) {}

  // Reads the first word of the next line into out (montecarlo::kNameSize bytes).
  bool ReadWord(char* out, const char* what) {
    if (!NextLine(what)) return false;
    if (daReadString(line_, out, montecarlo::kNameSize)) return true;
    return Fail(std::string("the ") + what + " is longer than " +
                std::to_string(montecarlo::kNameSize - 1) + " characters");
  }

  bool ReadCount(std::int32_t* count) {
    if (!NextLine("number of parameters")) return false;
    int value = 0;
    if (!daReadInt(line_, &value)) return Fail("the number of parameters is not a whole number");
    if (value < 0) return Fail("the number of parameters is negative");
    *count = value;
    return true;
  }

  // A bounds line: the lower bound, then optionally the upper bound. When nothing or a "#"
  // comment follows the lower bound, the parameter is fixed at it. Anything else must be a
  // finite upper bound whose distance from the lower one is finite too: a word, "inf" or
  // "1e999" there is refused rather than taken for a fixed parameter, and so is a range
  // that overflows, since every sample drawn in it would be infinite.
  bool ReadBounds(long parameter, double* lower, double* upper) {
    const std::string number = std::to_string(parameter);
    const std::string what = "bounds of parameter " + number;
    if (!NextLine(what.c_str())) return false;
    if (!daReadDouble(line_, lower)) return Fail("parameter " + number + " has no lower bound");
    const char* rest = SkipBlanks(line_);
    if (*rest == '\0' || *rest == '#') {
      *upper = *lower;
      return true;
    }
    if (!daReadDouble(line_, upper)) {
      const std::string word(rest, std::strcspn(rest, " \t"));
      return Fail("the upper bound of parameter " + number + " is not a finite number: \"" +
                  word.substr(0, 60) + "\"");
    }
    if (!std::isfinite(*upper - *lower)) {
      return Fail("the bounds of parameter " + number + " are too far apart");
    }
    return true;
  }

 private:
  // Reads the next line; a missing or empty line is reported as missing what.
  bool NextLine(const char* what) {
    ++line_number_;
    const int got = daGetLine_noreplace(line_, sizeof line_, &file_);
    if (got == 0) return Fail(std::string("missing the ") + what);
    if (got == kLineCut) {
      return Fail("the line is longer than " + std::to_string(montecarlo::kLineSize - 1) +
                  " characters");
    }
    // A file written with CR LF line ends reads the same as one with LF.
    const std::size_t length = std::strlen(line_);
    if (length > 0 && line_[length - 1] == '\r') line_[length - 1] = '\0';
    if (*SkipBlanks(line_) == '\0') return Fail(std::string("missing the ") + what);
    return true;
  }

  bool Fail(const std::string& reason) {
    ReportFileError("read", name_, line_number_, reason);
    return false;
  }

  tarne::gFILE& file_;
  const char* name_;
  long line_number_ = 0;
  char line_[montecarlo::kLineSize] = {};
};

}  // namespace

void montecarlo::read_input(const char* file_name) {
  input_ok = 0;
  tarne::gFILE file(nullptr);
  // The run loop adds its own line to this one, which names the file and the reason.
  std::string reason;
  if (!file.open_input(file_name, tarne::kMaxInputFileBytes, &reason)) {
    ReportFileError("open", file_name != nullptr ? file_name : "", 0, reason);
    return;
  }
  InputReader reader(file, file_name);
  std::int32_t count = 0;
  if (!reader.ReadWord(project_file, "project file name") ||
      !reader.ReadWord(second_path, "second path") ||
      !reader.ReadWord(observation_file, "observation file name") || !reader.ReadCount(&count)) {
    return;
  }
  // The arrays grow line by line, so a huge count with few lines cannot exhaust memory.
  std::vector<double> low(1, 0.0);
  std::vector<double> high(1, 0.0);
  for (std::int32_t i = 1; i <= count; ++i) {
    double lo = 0.0;
    double hi = 0.0;
    if (!reader.ReadBounds(i, &lo, &hi)) return;
    low.push_back(lo);
    high.push_back(hi);
  }
  num_params = count;
  lower = std::move(low);
  upper = std::move(high);
  current.assign(static_cast<std::size_t>(count) + 1, 0.0);
  input_ok = 1;
}
