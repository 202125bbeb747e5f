#include "pest/restart_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include "modellib/file_error.h"
#include "modellib/file_handle.h"
#include "modellib/input_file.h"
#include "modellib/replace_file.h"
#include "modellib/text_util.h"
#include "modellib/token_reader.h"

namespace {

// Largest restart file read, and the longest item in it: the fixed-point form of the largest
// double takes 329 characters.
constexpr std::uint64_t kMaxRestartFileBytes = std::uint64_t{16} << 30;
constexpr size_t kMaxRestartItem = 400;

// What a restart without a restart file is told: most likely the previous run finished (its
// final run deletes the file), so there is nothing to resume.
void ReportMissingRestartFile() {
  std::printf("\n\nError opening the restart file.\n");
  std::printf("Possibly previous run was not halted prematurely.\n\n");
}

bool Covers(const matrix& a, long rows, long cols) {
  if (rows <= 0 || cols <= 0) return true;
  return a.row_low() <= 1 && a.row_high() >= rows && a.col_low() <= 1 && a.col_high() >= cols;
}

// Whether the record holds every item the problem gives the file.
bool CoversProblem(const RestartRecord& r, const ProblemRecord& record) {
  const long m = static_cast<long>(record.NOBS) + record.NPRIOR;
  const long a = record.NUMADJ;
  return Covers(r.jacobian, m, a) && Covers(r.best_jacobian, m, a) && r.history.size() >= r.n &&
         r.best_parameters.size() >= record.NPAR && r.best_simulated.size() >= record.NOBS &&
         r.base_simulated.size() >= record.NOBS && r.perturbed_simulated.size() >= record.NOBS &&
         r.parameter_values.size() >= record.NPAR && r.group_phi.size() >= record.NOBSGP &&
         r.start_values.size() >= a;
}

// Items of the restart file, one per line; matrix rows as tab-ended values on one line. Reals
// are written in the shortest form that reads back as the same double, so a resumed run
// continues from exactly the state that was saved; a large problem's two Jacobians hold
// millions of values, which this form also writes several times faster than printf.
class RestartWriter {
 public:
  explicit RestartWriter(std::FILE* file) : file_(file) {}
  void Int(long value) { std::fprintf(file_, "%ld\n", value); }
  void Real(double value) {
    line_.clear();
    Append(value, '\n');
    Flush();
  }
  void Reals(const dvector& values, long count) {
    for (long i = 1; i <= count; ++i) Real(values[i]);
  }
  void Matrix(const matrix& a, long rows, long cols) {
    for (long i = 1; i <= rows; ++i) {
      line_.clear();
      const double* row = a[i];
      for (long j = 1; j <= cols; ++j) Append(row[j], '\t');
      line_ += '\n';
      Flush();
    }
  }

 private:
  void Append(double value, char separator) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    line_.append(buffer, result.ptr);
    line_ += separator;
  }
  void Flush() { std::fwrite(line_.data(), 1, line_.size(), file_); }

  std::FILE* file_;
  std::string line_;
};

// Whether a real item of the restart file may be infinite. The engine writes infinities in
// three items only: PHIRATIO after the first iteration (phi over a starting phi of 0) and the
// largest and last relative parameter changes (a parameter that moved away from 0). No item
// may be NaN, except PHIRATIO, which the reader replaces with phi / starting phi whatever
// the file holds.
enum class Infinity { kRefused, kAllowed, kAnyValue };

// What a restart file that disagrees in shape with the control file's problem means.
constexpr const char* kOtherProblem =
    ": the restart file was written for a problem of another size";

// Where an item stands: on a line of its own (every item, and the first value of a matrix
// row), or on the line of the item before (the further values of a row).
enum class Place { kOwnLine, kSameLine };

// The restart file's layer over the token reader. Every item stands on a line of its own and
// every matrix row on one line, as the writer puts them, so a file written for a problem of
// another size is refused at the first item out of place, with the item named; numbers in
// both the exact form and the older fixed-point form are read. The file is read as a stream
// and only as far as its items go, each at most kMaxRestartItem characters, so no file makes
// memory grow beyond the problem's own arrays. Every missing or malformed item is reported
// with the item's name and line.
class RestartReader {
 public:
  RestartReader(std::string file, std::FILE* in, std::uint64_t size)
      : in_(std::move(file), in), size_(size) {}

  // when_more: what it means when the item's line holds more (a default names the item), or
  // when a real stands where the integer should: the rows of a matrix go on.
  bool Int(const char* item, long& out, const std::string& when_more = "") {
    std::string word;
    if (!Word(item, word, Place::kOwnLine)) return false;
    Stood(item, when_more);
    if (tarne::ParseLong(word, &out)) return true;
    double real = 0.0;
    if (!when_more.empty() && tarne::ParseNumber(word, real)) return Fail(when_more);
    return Bad(word, item);
  }
  bool Int(const char* item, int& out, const std::string& when_more = "") {
    long value = 0;
    if (!Int(item, value, when_more)) return false;
    if (value < INT_MIN || value > INT_MAX) return Bad(std::to_string(value), item);
    out = static_cast<int>(value);
    return true;
  }
  bool Real(const char* item, double& out, Infinity infinity = Infinity::kRefused) {
    if (!Value(item, out, infinity, Place::kOwnLine)) return false;
    Stood(item, "");
    return true;
  }
  bool Reals(const char* item, dvector& values, long count) {
    for (long i = 1; i <= count; ++i) {
      if (!Real(item, values[i])) return false;
    }
    return true;
  }
  // A matrix of rows x cols values, a row per line.
  bool Matrix(const char* item, matrix& a, long rows, long cols) {
    const std::string columns = std::to_string(cols) +
                                (cols == 1 ? " adjustable parameter" : " adjustable parameters") +
                                " of the control file" + kOtherProblem;
    for (long i = 1; i <= rows; ++i) {
      const std::string row = "row " + std::to_string(i) + " of " + item;
      short_row_ = row + " holds fewer values than the " + columns;
      for (long j = 1; j <= cols; ++j) {
        const Place place = j == 1 ? Place::kOwnLine : Place::kSameLine;
        if (!Value(item, a(i, j), Infinity::kRefused, place)) return false;
      }
      when_more_ = row + " holds more values than the " + columns;
    }
    return true;
  }
  // The item read last agrees with the control file's setting.
  template <typename T>
  bool Agrees(const char* item, T in_file, T in_control, bool agree) {
    if (agree) return true;
    return Fail(std::string(item) + " is " + Shown(in_file) + " in the restart file but " +
                Shown(in_control) + " in the control file: the restart file belongs to a run "
                "of another mode or settings");
  }
  // The count read last lies within low .. high, as the engine keeps it.
  bool Within(const char* item, long value, long low, long high) const {
    if (value >= low && value <= high) return true;
    const bool unbounded = high == LONG_MAX || high == INT_MAX;
    return Fail(std::string(item) + " is " + std::to_string(value) +
                (unbounded ? "; it cannot be negative"
                           : "; it lies from " + std::to_string(low) + " to " +
                                 std::to_string(high) + " in a file the engine wrote"));
  }
  // Nothing follows the last item.
  bool AtEnd(const char* last_item) {
    std::string word;
    if (in_.Next(word, kMaxRestartItem) == tarne::TokenReader::Token::kEnd) return true;
    return Fail(std::string("something follows ") + last_item + ", the last item" +
                kOtherProblem);
  }
  // Items the file can still hold at most (each takes a character and a separator).
  std::uint64_t RemainingItems() const {
    const std::uint64_t consumed = in_.offset();
    return (size_ > consumed ? size_ - consumed : 0) / 2 + 1;
  }
  bool Fail(const std::string& reason) const { return in_.Fail(reason); }

 private:
  static std::string Shown(long value) { return std::to_string(value); }
  static std::string Shown(int value) { return std::to_string(value); }
  static std::string Shown(double value) {
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
  }

  bool Value(const char* item, double& out, Infinity infinity, Place place) {
    std::string word;
    double value = 0.0;
    if (!Word(item, word, place)) return false;
    if (!tarne::ParseNumber(word, value)) return Bad(word, item);
    if (infinity != Infinity::kAnyValue &&
        (std::isnan(value) || (std::isinf(value) && infinity == Infinity::kRefused))) {
      return in_.Fail("\"" + word.substr(0, 60) + "\" is not a finite number for " + item);
    }
    out = value;
    return true;
  }
  // Remembers what more on the line of the item just read would mean.
  void Stood(const char* item, const std::string& when_more) {
    when_more_ = when_more.empty()
                     ? "the line of " + std::string(item) + " holds more than one item"
                     : when_more;
  }
  bool Word(const char* item, std::string& out, Place place) {
    switch (in_.Next(out, kMaxRestartItem)) {
      case tarne::TokenReader::Token::kRead:
        break;
      case tarne::TokenReader::Token::kEnd:
        return in_.ReportEnd(item);
      case tarne::TokenReader::Token::kTooLong:
        return Fail("the item where " + std::string(item) + " stands is longer than " +
                    std::to_string(kMaxRestartItem) + " characters");
    }
    const long line = in_.token_line();
    const bool same_line = read_any_ && line == last_line_;
    if (place == Place::kOwnLine && same_line) return FailAt(last_line_, when_more_);
    if (place == Place::kSameLine && !same_line) return FailAt(last_line_, short_row_);
    last_line_ = line;
    read_any_ = true;
    return true;
  }
  bool Bad(const std::string& word, const char* item) const {
    return Fail("\"" + word.substr(0, 60) + "\" is not a valid value for " + item);
  }
  bool FailAt(long line, const std::string& reason) const {
    ReportFileError("read", in_.file(), line, reason);
    return false;
  }

  tarne::TokenReader in_;
  std::uint64_t size_;
  bool read_any_ = false;
  long last_line_ = 0;
  std::string when_more_;
  std::string short_row_;
};

// Opens the restart file. A file that cannot be opened is named with the reason, followed by
// the lines that say the previous run was probably not halted; a directory, device or
// oversized file under the name is refused with one line. Null after the message.
std::FILE* OpenRestartFile(const char* name, std::uint64_t* size) {
  std::string reason;
  int system_error = 0;
  std::FILE* file =
      tarne::OpenInputFile(name, "rb", kMaxRestartFileBytes, &reason, &system_error);
  if (file == nullptr) {
    ReportFileError("open", name, 0, reason);
    if (system_error != 0) ReportMissingRestartFile();
    return nullptr;
  }
  struct stat status;
  *size = fstat(fileno(file), &status) == 0 ? static_cast<std::uint64_t>(status.st_size) : 0;
  return file;
}

// A vector with at least count entries: kept when large enough, else replaced.
void EnsureEntries(dvector& values, long count) {
  if (values.size() < count) values = dvector(count);
}

void EnsureShape(matrix& a, long rows, long cols) {
  if (!Covers(a, rows, cols)) a = matrix(1, rows, 1, cols);
}

// Makes room for every item whose count the problem gives.
void EnsureProblemSizes(RestartRecord& r, const ProblemRecord& record) {
  const long m = static_cast<long>(record.NOBS) + record.NPRIOR;
  EnsureShape(r.jacobian, m, record.NUMADJ);
  EnsureShape(r.best_jacobian, m, record.NUMADJ);
  EnsureEntries(r.best_parameters, record.NPAR);
  EnsureEntries(r.best_simulated, record.NOBS);
  EnsureEntries(r.base_simulated, record.NOBS);
  EnsureEntries(r.perturbed_simulated, record.NOBS);
  EnsureEntries(r.parameter_values, record.NPAR);
  EnsureEntries(r.group_phi, record.NOBSGP);
  EnsureEntries(r.start_values, record.NUMADJ);
}

}  // namespace

short WriteRestartFile(const RestartRecord& restart, const ProblemRecord& record,
                       const OutputNames& names) {
  if (!CoversProblem(restart, record)) {
    ReportFileError("write", names.rst, 0, "the engine state is smaller than the problem");
    return 1;
  }
  const RestartRecord& r = restart;
  const long m = static_cast<long>(record.NOBS) + record.NPRIOR;
  const long a = record.NUMADJ;
  const auto write_items = [&r, &record, m, a](std::FILE* file) {
    RestartWriter out(file);
    out.Int(r.SLMMODE);
    out.Int(r.SLMFULLUPD);
    out.Real(r.SLMFULLRAT);
    out.Int(r.SLMNCOL);
    out.Real(r.PHIRATIO);
    out.Matrix(r.jacobian, m, a);
    out.Matrix(r.best_jacobian, m, a);
    out.Int(r.n);
    out.Real(r.phi);
    out.Real(r.starting_phi);
    out.Reals(r.history, r.n);
    out.Reals(r.best_parameters, record.NPAR);
    out.Reals(r.best_simulated, record.NOBS);
    out.Real(r.lowest_phi);
    out.Int(r.best_iteration);
    out.Int(r.switch_flag);
    out.Reals(r.base_simulated, record.NOBS);
    out.Reals(r.perturbed_simulated, record.NOBS);
    out.Reals(r.parameter_values, record.NPAR);
    out.Reals(r.group_phi, record.NOBSGP);
    out.Real(r.RLAMBDA1);
    out.Real(r.largest_change);
    out.Int(r.small_change_count);
    out.Real(r.last_change);
    out.Reals(r.start_values, a);
    out.Int(r.model_calls);
    out.Int(r.cyclic_position);
    return true;
  };
  // The data must be on disk before the rename makes it the restart file.
  return ReplaceFile(names.rst, write_items, FileSync::kOnDisk) ? 0 : 1;
}

namespace {

// SLMFULLRAT of the file agrees with the control file's also when it holds the control value
// as the fixed-point form with 18 decimals gives it back.
bool FullRatioAgrees(double in_file, double in_control) {
  char fixed_point[400];
  std::snprintf(fixed_point, sizeof fixed_point, "%.18lf", in_control);
  return in_file == in_control || in_file == std::strtod(fixed_point, nullptr);
}

}  // namespace

short ReadRestartFile(RestartRecord& restart, const ProblemRecord& record,
                      const OutputNames& names) {
  std::uint64_t size = 0;
  std::FILE* file = OpenRestartFile(names.rst, &size);
  if (file == nullptr) return 1;
  const FileHandle closer(file);
  RestartReader in(names.rst, file, size);
  RestartRecord& r = restart;
  const long m = static_cast<long>(record.NOBS) + record.NPRIOR;
  const long a = record.NUMADJ;
  EnsureProblemSizes(r, record);
  const std::string more_rows = "the best Jacobian has more rows than the " + std::to_string(m) +
                                " observations and prior items of the control file" +
                                kOtherProblem;

  if (!(in.Int("SLMMODE", r.SLMMODE) &&
        in.Agrees("SLMMODE", r.SLMMODE, record.SLMMODE, r.SLMMODE == record.SLMMODE) &&
        in.Int("SLMFULLUPD", r.SLMFULLUPD) &&
        in.Agrees("SLMFULLUPD", r.SLMFULLUPD, record.SLMFULLUPD,
                  r.SLMFULLUPD == record.SLMFULLUPD) &&
        in.Real("SLMFULLRAT", r.SLMFULLRAT) &&
        in.Agrees("SLMFULLRAT", r.SLMFULLRAT, record.SLMFULLRAT,
                  FullRatioAgrees(r.SLMFULLRAT, record.SLMFULLRAT)) &&
        in.Int("SLMNCOL", r.SLMNCOL) &&
        in.Agrees("SLMNCOL", r.SLMNCOL, record.SLMNCOL, r.SLMNCOL == record.SLMNCOL) &&
        in.Real("PHIRATIO", r.PHIRATIO, Infinity::kAnyValue) &&
        in.Matrix("the Jacobian", r.jacobian, m, a) &&
        in.Matrix("the best Jacobian", r.best_jacobian, m, a) &&
        in.Int("the iteration number", r.n, more_rows))) {
    return 1;
  }
  // The file is written at the end of a completed iteration, when the number of the next
  // one is at least 2.
  if (r.n < 2) {
    in.Fail("the iteration number " + std::to_string(r.n) +
            " cannot follow a completed iteration");
    return 1;
  }
  if (static_cast<std::uint64_t>(r.n) > in.RemainingItems()) {
    in.Fail("the iteration number " + std::to_string(r.n) + " does not fit the file");
    return 1;
  }
  EnsureEntries(r.history, r.n);
  if (!(in.Real("phi", r.phi) && in.Real("the starting phi", r.starting_phi))) return 1;
  r.PHIRATIO = r.phi / r.starting_phi;
  if (!(in.Reals("the phi history", r.history, r.n) &&
        in.Reals("the best parameters", r.best_parameters, record.NPAR) &&
        in.Reals("the best simulated values", r.best_simulated, record.NOBS) &&
        in.Real("the lowest phi", r.lowest_phi) &&
        in.Int("the best iteration", r.best_iteration) &&
        in.Within("the best iteration", r.best_iteration, 0, r.n - 1) &&
        in.Int("the switch flag", r.switch_flag) &&
        in.Within("the switch flag", r.switch_flag, 0, 1) &&
        in.Reals("the simulated values", r.base_simulated, record.NOBS) &&
        in.Reals("the perturbed simulated values", r.perturbed_simulated, record.NOBS) &&
        in.Reals("the parameter values", r.parameter_values, record.NPAR) &&
        in.Reals("the group phis", r.group_phi, record.NOBSGP) &&
        in.Real("RLAMBDA1", r.RLAMBDA1) &&
        in.Real("the largest relative change", r.largest_change, Infinity::kAllowed) &&
        in.Int("the small-change count", r.small_change_count) &&
        in.Within("the small-change count", r.small_change_count, 0, INT_MAX) &&
        in.Real("the last relative change", r.last_change, Infinity::kAllowed) &&
        in.Reals("the start values", r.start_values, a) &&
        in.Int("the model calls", r.model_calls) &&
        in.Within("the model calls", r.model_calls, 0, LONG_MAX) &&
        in.Int("the cyclic position", r.cyclic_position) &&
        in.Within("the cyclic position", r.cyclic_position, 0, record.NPAR) &&
        in.AtEnd("the cyclic position"))) {
    return 1;
  }
  return 0;
}
