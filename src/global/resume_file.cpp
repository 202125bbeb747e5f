#include "global/resume_file.h"

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <memory>

#include "modellib/file_error.h"
#include "modellib/file_handle.h"
#include "modellib/input_file.h"
#include "modellib/replace_file.h"

namespace {

constexpr const char* kFirstLine = "TARNE global method restart file 1";
constexpr const char* kChecksumKey = "checksum ";
// A restart file holds the engine's restart file, which may be as large as that one is
// allowed to be; its lines are as long as the engine's Jacobian rows.
constexpr std::uint64_t kMaxResumeFileBytes = std::uint64_t{16} << 30;

// Items separated by one blank, a line per item group; reals in the shortest form that reads
// back as the same double (infinities and NaN as "inf" and "nan"), so that a resumed run
// goes on from exactly the values the interrupted one had; byte strings with their length
// first, on lines of their own.
class ImageWriter {
 public:
  void Key(const char* key) { text_ += key; }
  void Int(long value) { text_ += ' ' + std::to_string(value); }
  void Unsigned(std::uint64_t value) { text_ += ' ' + std::to_string(value); }
  void Real(double value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    text_ += ' ';
    text_.append(buffer, result.ptr);
  }
  void Reals(const dvector& values) {
    Int(values.size());
    for (long i = 1; i <= values.size(); ++i) Real(values[i]);
  }
  void Reals(const std::vector<double>& values) {
    Int(static_cast<long>(values.size()));
    for (double value : values) Real(value);
  }
  void EndLine() { text_ += '\n'; }
  // A line of its own: the key, the count and the values.
  template <typename Values>
  void Line(const char* key, const Values& values) {
    Key(key);
    Reals(values);
    EndLine();
  }
  void Bytes(const char* key, const std::string& bytes) {
    Key(key);
    Int(static_cast<long>(bytes.size()));
    EndLine();
    text_ += bytes;
    EndLine();
  }
  std::string& text() { return text_; }

 private:
  std::string text_;
};

void WriteStep(ImageWriter& out, const StepResult& step) {
  out.Key("step");
  out.Int(step.search ? 1 : 0);
  out.Int(step.status);
  out.Int(step.model_calls);
  out.EndLine();
  out.Line("point", step.point);
  out.Line("objectives", step.objectives);
  out.Line("end", step.end);
  out.Key("trajectory");
  out.Real(step.start_objective);
  out.Int(static_cast<long>(step.recorded.size()));
  out.EndLine();
  for (size_t i = 0; i < step.recorded.size(); ++i) {
    out.Key("recorded");
    out.Real(step.recorded_objectives[i]);
    out.Reals(step.recorded[i]);
    out.EndLine();
  }
}

// The items of a restart file held in memory, read in order; every refusal names the file
// and the line.
class ImageReader {
 public:
  // Reads text from offset at, which stands at the start of line line.
  ImageReader(const char* file, const std::string& text, size_t at, long line)
      : file_(file), text_(text), at_(at), line_(line) {}

  bool Word(const char* what, std::string& word) {
    while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\n')) {
      if (text_[at_++] == '\n') ++line_;
    }
    const size_t start = at_;
    while (at_ < text_.size() && text_[at_] != ' ' && text_[at_] != '\n') ++at_;
    if (at_ == start) return Fail(std::string("the file ends before ") + what);
    word.assign(text_, start, at_ - start);
    return true;
  }
  bool Key(const char* key) {
    std::string word;
    if (!Word(key, word)) return false;
    return word == key || Fail("\"" + Short(word) + "\" stands where " + key + " belongs");
  }
  bool Int(const char* what, long& value, long least = 0, long most = LONG_MAX) {
    std::string word;
    if (!Word(what, word)) return false;
    const auto result = std::from_chars(word.data(), word.data() + word.size(), value);
    if (result.ec != std::errc() || result.ptr != word.data() + word.size() || value < least ||
        value > most) {
      return Bad(word, what);
    }
    return true;
  }
  bool Flag(const char* what, bool& flag) {
    long value = 0;
    if (!Int(what, value, 0, 1)) return false;
    flag = value == 1;
    return true;
  }
  bool Unsigned(const char* what, std::uint64_t& value) {
    std::string word;
    if (!Word(what, word)) return false;
    const auto result = std::from_chars(word.data(), word.data() + word.size(), value);
    return (result.ec == std::errc() && result.ptr == word.data() + word.size()) ||
           Bad(word, what);
  }
  bool Real(const char* what, double& value) {
    std::string word;
    if (!Word(what, word)) return false;
    const auto result = std::from_chars(word.data(), word.data() + word.size(), value);
    return (result.ec == std::errc() && result.ptr == word.data() + word.size()) ||
           Bad(word, what);
  }
  // A count followed by as many reals; the count must be expected.
  bool Reals(const char* what, long expected, dvector& values) {
    long count = 0;
    if (!Count(what, expected, count)) return false;
    values = dvector(count);
    for (long i = 1; i <= count; ++i) {
      if (!Real(what, values[i])) return false;
    }
    return true;
  }
  bool Reals(const char* what, long expected, std::vector<double>& values) {
    dvector read;
    if (!Reals(what, expected, read)) return false;
    values.clear();
    for (long i = 1; i <= read.size(); ++i) values.push_back(read[i]);
    return true;
  }
  bool Count(const char* what, long expected, long& count) {
    if (!Int(what, count)) return false;
    return count == expected ||
           Fail(std::string(what) + " has " + std::to_string(count) + " values, not the " +
                std::to_string(expected) + " of the problem");
  }
  // A count no larger than the rest of the file could hold.
  bool Items(const char* what, long& count) {
    if (!Int(what, count)) return false;
    return static_cast<size_t>(count) <= text_.size() - at_ || Bad(std::to_string(count), what);
  }
  bool Bytes(const char* key, std::string& bytes) {
    long size = 0;
    if (!Key(key) || !Int(key, size)) return false;
    if (at_ >= text_.size() || text_[at_] != '\n' ||
        static_cast<size_t>(size) + 2 > text_.size() - at_ || text_[at_ + 1 + size] != '\n') {
      return Fail(std::string("the ") + key + " bytes do not fit the file");
    }
    bytes.assign(text_, at_ + 1, static_cast<size_t>(size));
    for (char c : bytes) line_ += c == '\n';
    at_ += static_cast<size_t>(size) + 2;
    line_ += 2;
    return true;
  }
  bool AtEnd() {
    while (at_ < text_.size() && text_[at_] == '\n') ++at_;
    return at_ == text_.size();
  }
  bool Fail(const std::string& reason) const {
    ReportFileError("read", file_, line_, reason);
    return false;
  }

 private:
  static std::string Short(const std::string& word) { return word.substr(0, 60); }
  bool Bad(const std::string& word, const char* what) const {
    return Fail("\"" + Short(word) + "\" is not a valid value for " + what);
  }

  const char* file_;
  const std::string& text_;
  size_t at_ = 0;
  long line_ = 1;
};

// A finished step has its objectives and, a search, its end point; the search under way has
// neither yet.
bool ReadStep(ImageReader& in, const ProblemRecord& record, bool finished, StepResult& step) {
  long status = 0;
  if (!(in.Key("step") && in.Flag("the kind of step", step.search) &&
        in.Int("the status", status, SHRT_MIN, SHRT_MAX) &&
        in.Int("the model calls", step.model_calls))) {
    return false;
  }
  step.status = static_cast<short>(status);
  long recorded = 0;
  if (!(in.Key("point") && in.Reals("a point", record.NPAR, step.point) &&
        in.Key("objectives") &&
        in.Reals("the objectives", finished ? record.NOBSGP + 1L : 0, step.objectives) &&
        in.Key("end") &&
        in.Reals("an end point", finished && step.search ? record.NPAR : 0, step.end) &&
        in.Key("trajectory") && in.Real("a start objective", step.start_objective) &&
        in.Items("the recorded points", recorded))) {
    return false;
  }
  step.recorded.resize(static_cast<size_t>(recorded));
  step.recorded_objectives.resize(static_cast<size_t>(recorded));
  for (long i = 0; i < recorded; ++i) {
    if (!(in.Key("recorded") && in.Real("a recorded objective", step.recorded_objectives[i]) &&
          in.Reals("a recorded point", record.NPAR, step.recorded[i]))) {
      return false;
    }
  }
  return true;
}

bool ReadImage(ImageReader& in, const ProblemRecord& record, ResumeImage& image) {
  RunInputs& inputs = image.inputs;
  long marks = 0, steps = 0;
  if (!(in.Bytes("control", inputs.control_file) && in.Key("fingerprints") &&
        in.Unsigned("a fingerprint", inputs.method_input) &&
        in.Unsigned("a fingerprint", inputs.control) &&
        in.Unsigned("a fingerprint", inputs.seeds) && in.Key("lengths") &&
        in.Int("the record file's length", image.record_length) &&
        in.Int("the sensitivity file's length", image.sensitivity_length) &&
        in.Bytes("par", image.best_parameters) && in.Key("marks") &&
        in.Items("the marks", marks))) {
    return false;
  }
  image.marks.resize(static_cast<size_t>(marks));
  for (long& mark : image.marks) {
    if (!in.Int("a mark", mark)) return false;
  }
  if (!(in.Key("steps") && in.Items("the steps", steps))) return false;
  image.steps.resize(static_cast<size_t>(steps));
  for (StepResult& step : image.steps) {
    if (!ReadStep(in, record, true, step)) return false;
  }
  if (!(in.Key("under_way") && in.Flag("the search under way", image.search_under_way))) {
    return false;
  }
  if (image.search_under_way &&
      !(ReadStep(in, record, false, image.under_way) &&
        in.Bytes("engine", image.engine_state))) {
    return false;
  }
  return in.AtEnd() || in.Fail("something follows the last item");
}

// The file's text without its checksum line, when that line is there and matches.
bool CheckedText(const char* name, std::string& text) {
  const size_t at = text.rfind(kChecksumKey);
  std::uint64_t sum = 0;
  const bool found = at != std::string::npos && (at == 0 || text[at - 1] == '\n');
  const char* begin = found ? text.data() + at + std::strlen(kChecksumKey) : nullptr;
  const char* end = text.data() + text.size();
  if (!found || end == begin || end[-1] != '\n' ||
      std::from_chars(begin, end - 1, sum, 16).ptr != end - 1) {
    ReportFileError("read", name, 0, "the file has no checksum line at its end; it was cut short");
    return false;
  }
  text.resize(at);
  if (Fingerprint(text) != sum) {
    ReportFileError("read", name, 0,
                    "its checksum does not match its content; the file was changed");
    return false;
  }
  return true;
}

}  // namespace

bool FileFingerprint(const char* name, std::uint64_t& fingerprint) {
  std::string reason;
  const FileHandle file(tarne::OpenInputFile(name, "rb", tarne::kMaxInputFileBytes, &reason));
  std::string text;
  tarne::TextFault fault;
  if (!file) {
    ReportFileError("open", name, 0, reason);
    return false;
  }
  if (!tarne::ReadInputText(file.get(), tarne::kMaxInputFileBytes, SIZE_MAX, &text, &fault)) {
    ReportFileError("read", name, fault.line, fault.reason);
    return false;
  }
  fingerprint = Fingerprint(text);
  return true;
}

short WriteResumeFile(const char* name, const ResumeImage& image) {
  ImageWriter out;
  out.Key(kFirstLine);
  out.EndLine();
  out.Bytes("control", image.inputs.control_file);
  out.Key("fingerprints");
  out.Unsigned(image.inputs.method_input);
  out.Unsigned(image.inputs.control);
  out.Unsigned(image.inputs.seeds);
  out.EndLine();
  out.Key("lengths");
  out.Int(image.record_length);
  out.Int(image.sensitivity_length);
  out.EndLine();
  out.Bytes("par", image.best_parameters);
  out.Key("marks");
  out.Int(static_cast<long>(image.marks.size()));
  for (long mark : image.marks) out.Int(mark);
  out.EndLine();
  out.Key("steps");
  out.Int(static_cast<long>(image.steps.size()));
  out.EndLine();
  for (const StepResult& step : image.steps) WriteStep(out, step);
  out.Key("under_way");
  out.Int(image.search_under_way ? 1 : 0);
  out.EndLine();
  if (image.search_under_way) {
    WriteStep(out, image.under_way);
    out.Bytes("engine", image.engine_state);
  }
  std::string& text = out.text();
  char sum[32];
  std::snprintf(sum, sizeof sum, "%s%016llx\n", kChecksumKey,
                static_cast<unsigned long long>(Fingerprint(text)));
  text += sum;
  return ReplaceFile(name, text, FileSync::kOnDisk) ? 0 : 1;
}

bool ReadResumeFile(const char* name, const ProblemRecord& record, ResumeImage& image) {
  std::string reason;
  const FileHandle file(tarne::OpenInputFile(name, "rb", kMaxResumeFileBytes, &reason));
  if (!file) {
    ReportFileError("open", name, 0, reason);
    return false;
  }
  std::string text;
  tarne::TextFault fault;
  if (!tarne::ReadInputText(file.get(), kMaxResumeFileBytes, SIZE_MAX, &text, &fault)) {
    ReportFileError("read", name, fault.line, fault.reason);
    return false;
  }
  if (!CheckedText(name, text)) return false;
  const std::string first = std::string(kFirstLine) + "\n";
  if (text.compare(0, first.size(), first) != 0) {
    ReportFileError("read", name, 1, "it is not a restart file of a global method");
    return false;
  }
  ImageReader in(name, text, first.size(), 2);
  return ReadImage(in, record, image);
}
