#include "pest/output_files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
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

#include "modellib/input_file.h"
#include "numeric/process_end.h"
#include "pest/file_report.h"

namespace {

constexpr const char* kStopFileName = "pest.stp";
// Code of a stop file that holds no number.
constexpr long kNoStopCode = 999;
// Largest stop file read: a code and a note about it fit many times over.
constexpr std::uint64_t kMaxStopFileBytes = 65536;
// Largest restart file read, and the longest item in it: the fixed-point form of the largest
// double takes 329 characters.
constexpr std::uint64_t kMaxRestartFileBytes = std::uint64_t{16} << 30;
constexpr size_t kMaxRestartItem = 400;

// The one way out of the process for a stop request: codes 2 and 3 explain why the request
// cannot be obeyed as asked, code 1 ends quietly. The run ends with status 0 and leaves the
// restart file of the last completed iteration for a later restart.
[[noreturn]] void EndOnStopRequest(long code) {
  if (code == 2) {
    std::printf("\n\nThe toolbox does not currently support\n");
    std::printf("ceasing execution with a full parameter statistics printout.\n\n");
  } else if (code == 3) {
    std::printf("\n\nThe toolbox does not currently support pausing execution.\n\n");
  }
  std::fflush(stdout);
  EndProcess(0);
}

// The one way out of the process for a restart without a restart file: the previous run
// finished (its final run deletes the file), so there is nothing to resume.
[[noreturn]] void EndOnMissingRestartFile() {
  std::printf("\n\nError opening the restart file.\n");
  std::printf("Possibly previous run was not halted prematurely.\n\n");
  std::fflush(stdout);
  EndProcess(0);
}

// The integer at the start of the stop file, as a "%ld" conversion takes it: white space,
// an optional sign, then digits. Digits are read one by one, so however many leading zeros a
// code has it still counts; a value beyond the range of long, like no digits at all, counts
// as no code.
long ReadStopCode(std::FILE* file) {
  int c = std::getc(file);
  while (c != EOF && std::isspace(c)) c = std::getc(file);
  const bool negative = c == '-';
  if (c == '+' || c == '-') c = std::getc(file);
  bool any_digit = false;
  bool out_of_range = false;
  long magnitude = 0;
  for (; c != EOF && std::isdigit(c); c = std::getc(file)) {
    any_digit = true;
    const long digit = c - '0';
    if (magnitude > (LONG_MAX - digit) / 10) out_of_range = true;
    if (!out_of_range) magnitude = magnitude * 10 + digit;
  }
  if (!any_digit || out_of_range) return kNoStopCode;
  return negative ? -magnitude : magnitude;
}

bool Covers(const matrix& a, long rows, long cols) {
  if (rows <= 0 || cols <= 0) return true;
  return a.row_low() <= 1 && a.row_high() >= rows && a.col_low() <= 1 && a.col_high() >= cols;
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

// Items of a restart file in order, separated by any white space, so both the exact form and
// the older fixed-point form are read. The file is read as a stream and only as far as its
// items go, each at most kMaxRestartItem characters, so no file makes memory grow beyond the
// problem's own arrays. Every missing or malformed item is reported.
class RestartReader {
 public:
  RestartReader(std::string file, std::FILE* in, std::uint64_t size)
      : file_(std::move(file)), in_(in), size_(size) {}

  bool Int(const char* item, long& out) {
    std::string word;
    if (!Word(item, word)) return false;
    errno = 0;
    char* end = nullptr;
    out = std::strtol(word.c_str(), &end, 10);
    if (end == word.c_str() || *end != '\0' || errno == ERANGE) return Bad(word, item);
    return true;
  }
  bool Int(const char* item, int& out) {
    long value = 0;
    if (!Int(item, value)) return false;
    if (value < INT_MIN || value > INT_MAX) return Bad(std::to_string(value), item);
    out = static_cast<int>(value);
    return true;
  }
  bool Real(const char* item, double& out, Infinity infinity = Infinity::kRefused) {
    std::string word;
    if (!Word(item, word)) return false;
    char* end = nullptr;
    const double value = std::strtod(word.c_str(), &end);
    if (end == word.c_str() || *end != '\0') return Bad(word, item);
    if (infinity != Infinity::kAnyValue &&
        (std::isnan(value) || (std::isinf(value) && infinity == Infinity::kRefused))) {
      return Fail("\"" + word.substr(0, 60) + "\" is not a finite number for " + item);
    }
    out = value;
    return true;
  }
  bool Reals(const char* item, dvector& values, long count) {
    for (long i = 1; i <= count; ++i) {
      if (!Real(item, values[i])) return false;
    }
    return true;
  }
  bool Matrix(const char* item, matrix& a, long rows, long cols) {
    for (long i = 1; i <= rows; ++i) {
      for (long j = 1; j <= cols; ++j) {
        if (!Real(item, a(i, j))) return false;
      }
    }
    return true;
  }
  // Items the file can still hold at most (each takes a character and a separator).
  std::uint64_t RemainingItems() const {
    return (size_ > consumed_ ? size_ - consumed_ : 0) / 2 + 1;
  }
  bool Fail(const std::string& reason) const {
    ReportFileError("read", file_, line_, reason);
    return false;
  }

 private:
  int Get() {
    if (next_ == filled_) {
      filled_ = std::fread(buffer_, 1, sizeof buffer_, in_);
      next_ = 0;
      if (filled_ == 0) return EOF;
    }
    ++consumed_;
    return static_cast<unsigned char>(buffer_[next_++]);
  }
  // Steps back over the character Get returned last (never EOF).
  void Unget() {
    --next_;
    --consumed_;
  }
  static bool IsSpace(int c) { return c != EOF && std::isspace(c) != 0; }

  bool Word(const char* item, std::string& out) {
    int c = Get();
    for (; IsSpace(c); c = Get()) {
      if (c == '\n') ++line_;
    }
    if (c == EOF) {
      if (std::ferror(in_) != 0) return Fail(std::strerror(errno != 0 ? errno : EIO));
      return Fail(std::string("the file ends before ") + item);
    }
    out.clear();
    for (; c != EOF && !IsSpace(c); c = Get()) {
      if (out.size() == kMaxRestartItem) {
        return Fail("the item where " + std::string(item) + " stands is longer than " +
                    std::to_string(kMaxRestartItem) + " characters");
      }
      out.push_back(static_cast<char>(c));
    }
    // The separator is left for the next item, which counts its line end.
    if (c != EOF) Unget();
    return true;
  }
  bool Bad(const std::string& word, const char* item) const {
    return Fail("\"" + word.substr(0, 60) + "\" is not a valid value for " + item);
  }

  std::string file_;
  std::FILE* in_;
  std::uint64_t size_;
  std::uint64_t consumed_ = 0;
  char buffer_[65536];
  size_t filled_ = 0;
  size_t next_ = 0;
  long line_ = 1;
};

// Opens the restart file. A file that cannot be opened ends the process (the previous run
// finished, so there is nothing to resume) after a line that names it and the reason; a
// directory, device or oversized file under the name is refused (null, after the message).
std::FILE* OpenRestartFile(const char* name, std::uint64_t* size) {
  std::string reason;
  int system_error = 0;
  std::FILE* file =
      tarne::OpenInputFile(name, "rb", kMaxRestartFileBytes, &reason, &system_error);
  if (file == nullptr) {
    ReportFileError("open", name, 0, reason);
    if (system_error != 0) EndOnMissingRestartFile();
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

}  // namespace

short FilesNamesForWrite(const char* control_name, OutputNames& names) {
  std::string base = control_name;
  base = base.substr(0, base.find('.'));
  // The longest extension, ".rec" and its kin, must fit behind the base name.
  const size_t longest = kTextField - 1 - 4;
  if (base.size() > longest) {
    std::printf("The control name %s is too long: output file names allow %zu characters "
                "before the extension.\n", control_name, longest);
    return 1;
  }
  char* const fields[] = {names.base, names.rec, names.sen, names.mtt, names.par, names.rst};
  const char* const extensions[] = {"", ".rec", ".sen", ".mtt", ".par", ".rst"};
  for (int i = 0; i < 6; ++i) {
    std::snprintf(fields[i], kTextField, "%s%s", base.c_str(), extensions[i]);
  }
  return 0;
}

short CheckStopFile() {
  struct stat status;
  if (stat(kStopFileName, &status) != 0 && errno == ENOENT) return 0;
  // Whatever else stands under the name and cannot be read as a stop file (a directory, a
  // device, a file too large or unreadable) is reported and left alone; the run goes on.
  std::string reason;
  std::FILE* file = tarne::OpenInputFile(kStopFileName, "r", kMaxStopFileBytes, &reason);
  if (file == nullptr) {
    ReportFileError("read", kStopFileName, 0, reason);
    return 0;
  }
  long code = ReadStopCode(file);
  std::fclose(file);
  if (code == 1 || code == 2 || code == 3) EndOnStopRequest(code);
  // unlink, unlike remove, never takes away a directory put there in the meantime.
  unlink(kStopFileName);
  return 0;
}

short DeleteStaleStopFile() {
  struct stat status;
  if (lstat(kStopFileName, &status) != 0) return 0;
  if (S_ISDIR(status.st_mode)) {
    ReportFileError("delete", kStopFileName, 0, "it is a directory; it is left in place");
    return 0;
  }
  if (unlink(kStopFileName) != 0) {
    ReportFileError("delete", kStopFileName, 0, std::strerror(errno));
  }
  return 0;
}


short WriteRestartFile(const matrix& jacobian, const matrix& best_jacobian, int n, double phi,
                       double starting_phi, const dvector& history,
                       const dvector& best_parameters, const dvector& best_simulated,
                       double lowest_phi, int best_iteration, int switch_flag,
                       const ProblemRecord& record, const OutputNames& names,
                       double largest_change, int small_change_count, double last_change,
                       const dvector& start_values, long model_calls, int cyclic_position) {
  const long m = static_cast<long>(record.NOBS) + record.NPRIOR;
  const long a = record.NUMADJ;
  if (!Covers(jacobian, m, a) || !Covers(best_jacobian, m, a) || history.size() < n ||
      best_parameters.size() < record.NPAR || best_simulated.size() < record.NOBS ||
      start_values.size() < a) {
    ReportFileError("write", names.rst, 0, "the engine state is smaller than the problem");
    return 1;
  }
  const std::string temporary = std::string(names.rst) + ".tmp";
  std::FILE* file = std::fopen(temporary.c_str(), "wb");
  if (file == nullptr) {
    ReportFileError("create", temporary, 0, std::strerror(errno));
    return 1;
  }
  RestartWriter out(file);
  out.Int(record.SLMMODE);
  out.Int(record.SLMFULLUPD);
  out.Real(record.SLMFULLRAT);
  out.Int(record.SLMNCOL);
  out.Real(record.PHIRATIO);
  out.Matrix(jacobian, m, a);
  out.Matrix(best_jacobian, m, a);
  out.Int(n);
  out.Real(phi);
  out.Real(starting_phi);
  out.Reals(history, n);
  out.Reals(best_parameters, record.NPAR);
  out.Reals(best_simulated, record.NOBS);
  out.Real(lowest_phi);
  out.Int(best_iteration);
  out.Int(switch_flag);
  for (int i = 1; i <= record.NOBS; ++i) out.Real(record.observations[i].simulated[kBaseSlot]);
  for (int i = 1; i <= record.NOBS; ++i) {
    out.Real(record.observations[i].simulated[kFirstPerturbedSlot]);
  }
  for (int i = 1; i <= record.NPAR; ++i) out.Real(record.parameters[i].value);
  for (int i = 1; i <= record.NOBSGP; ++i) out.Real(record.observation_groups[i].phi);
  out.Real(record.RLAMBDA1);
  out.Real(largest_change);
  out.Int(small_change_count);
  out.Real(last_change);
  out.Reals(start_values, a);
  out.Int(model_calls);
  out.Int(cyclic_position);

  // The data must be on disk before the rename makes it the restart file.
  bool written = std::ferror(file) == 0 && std::fflush(file) == 0 && fsync(fileno(file)) == 0;
  std::string reason = written ? "" : std::strerror(errno);
  if (std::fclose(file) != 0 && written) {
    written = false;
    reason = std::strerror(errno);
  }
  if (written && std::rename(temporary.c_str(), names.rst) != 0) {
    written = false;
    reason = std::strerror(errno);
  }
  if (!written) {
    ReportFileError("write", names.rst, 0, reason);
    std::remove(temporary.c_str());
    return 1;
  }
  return 0;
}

short ReadRestartFile(matrix& jacobian, matrix& best_jacobian, int& n, double& phi,
                      double& starting_phi, dvector& history, dvector& best_parameters,
                      dvector& best_simulated, double& lowest_phi, int& best_iteration,
                      int& switch_flag, ProblemRecord& record, const OutputNames& names,
                      double& largest_change, int& small_change_count, double& last_change,
                      dvector& start_values, long& model_calls, int& cyclic_position) {
  std::uint64_t size = 0;
  std::FILE* file = OpenRestartFile(names.rst, &size);
  if (file == nullptr) return 1;
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> closer(file, std::fclose);
  RestartReader in(names.rst, file, size);
  const long m = static_cast<long>(record.NOBS) + record.NPRIOR;
  const long a = record.NUMADJ;
  EnsureShape(jacobian, m, a);
  EnsureShape(best_jacobian, m, a);
  EnsureEntries(best_parameters, record.NPAR);
  EnsureEntries(best_simulated, record.NOBS);
  EnsureEntries(start_values, a);

  if (!(in.Int("SLMMODE", record.SLMMODE) && in.Int("SLMFULLUPD", record.SLMFULLUPD) &&
        in.Real("SLMFULLRAT", record.SLMFULLRAT) && in.Int("SLMNCOL", record.SLMNCOL) &&
        in.Real("PHIRATIO", record.PHIRATIO, Infinity::kAnyValue) &&
        in.Matrix("the Jacobian", jacobian, m, a) &&
        in.Matrix("the best Jacobian", best_jacobian, m, a) &&
        in.Int("the iteration number", n))) {
    return 1;
  }
  if (n < 0 || static_cast<std::uint64_t>(n) > in.RemainingItems()) {
    in.Fail("the iteration number " + std::to_string(n) + " does not fit the file");
    return 1;
  }
  EnsureEntries(history, n);
  if (!(in.Real("phi", phi) && in.Real("the starting phi", starting_phi))) return 1;
  record.PHIRATIO = phi / starting_phi;
  if (!(in.Reals("the phi history", history, n) &&
        in.Reals("the best parameters", best_parameters, record.NPAR) &&
        in.Reals("the best simulated values", best_simulated, record.NOBS) &&
        in.Real("the lowest phi", lowest_phi) && in.Int("the best iteration", best_iteration) &&
        in.Int("the switch flag", switch_flag))) {
    return 1;
  }
  for (int i = 1; i <= record.NOBS; ++i) {
    if (!in.Real("the simulated values", record.observations[i].simulated[kBaseSlot])) return 1;
  }
  for (int i = 1; i <= record.NOBS; ++i) {
    Observation& o = record.observations[i];
    if (!in.Real("the perturbed simulated values", o.simulated[kFirstPerturbedSlot])) return 1;
  }
  for (int i = 1; i <= record.NPAR; ++i) {
    if (!in.Real("the parameter values", record.parameters[i].value)) return 1;
  }
  for (int i = 1; i <= record.NOBSGP; ++i) {
    if (!in.Real("the group phis", record.observation_groups[i].phi)) return 1;
  }
  if (!(in.Real("RLAMBDA1", record.RLAMBDA1) &&
        in.Real("the largest relative change", largest_change, Infinity::kAllowed) &&
        in.Int("the small-change count", small_change_count) &&
        in.Real("the last relative change", last_change, Infinity::kAllowed) &&
        in.Reals("the start values", start_values, a) &&
        in.Int("the model calls", model_calls) &&
        in.Int("the cyclic position", cyclic_position))) {
    return 1;
  }
  return 0;
}
