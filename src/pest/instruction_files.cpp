#include "pest/instruction_files.h"

#include <algorithm>
#include <cstdint>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "modellib/file_error.h"
#include "modellib/input_file.h"
#include "numeric/process_end.h"
#include "pest/name_index.h"

namespace {

// Longest marker text, observation name or count an instruction may hold.
constexpr size_t kMaxInstructionText = 14999;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Characters that may make up a number in the output: the run a non-fixed read takes and
// the last column of a fixed read.
bool IsNumberChar(char c) {
  return std::isdigit(static_cast<unsigned char>(c)) || c == '.' || c == '+' || c == '-' ||
         c == 'E' || c == 'e';
}

long LineOfOffset(const std::string& content, size_t offset) {
  offset = std::min(offset, content.size());
  return 1 + static_cast<long>(std::count(content.begin(), content.begin() + offset, '\n'));
}

// Reads the rest of file into content, refusing (with a message naming file_name) a file or
// a line beyond the limits of every input.
bool ReadRest(std::FILE* file, const char* file_name, std::string& content) {
  content.clear();
  tarne::TextFault fault;
  if (!tarne::ReadInputText(file, tarne::kMaxInputFileBytes, tarne::kMaxInputLine, &content,
                            &fault)) {
    ReportFileError("read", file_name, fault.line, fault.reason);
    return false;
  }
  return true;
}

// The text found at position in the output, up to the next white space and at most 60
// characters, for messages about a value that cannot be read.
std::string TextAt(const std::string& output, size_t position) {
  size_t end = position;
  while (end < output.size() && end - position < 60 &&
         !std::isspace(static_cast<unsigned char>(output[end]))) {
    ++end;
  }
  return output.substr(position, end - position);
}

int UsableInstructionCount(const ProblemRecord& record) {
  const int held = static_cast<int>(record.instructions.size()) - 1;
  return std::max(0, std::min({record.NINSFLE, kMaxModelFiles, held}));
}

// A fingerprint of the observation names and of where they are stored.
unsigned long long ObservationNamesKey(const ProblemRecord& record) {
  const int count =
      std::max(0, std::min(record.NOBS, static_cast<int>(record.observations.size()) - 1));
  unsigned long long key = 1469598103934665603ULL ^ static_cast<unsigned long long>(count);
  key = key * 1099511628211ULL ^ reinterpret_cast<std::uintptr_t>(record.observations.data());
  for (int k = 1; k <= count; ++k) {
    for (const char* c = record.observations[k].OBSNME; *c != '\0'; ++c) {
      key = (key ^ static_cast<unsigned char>(*c)) * 1099511628211ULL;
    }
    key = (key ^ 0xffu) * 1099511628211ULL;
  }
  return key;
}

// The index of the observation names, kept in the handle table across runs and made anew
// when the names are not those it was made from.
const NameIndex& IndexObservations(const ProblemRecord& record, FileHandleTable& handles,
                                   unsigned long long key) {
  const int count =
      std::max(0, std::min(record.NOBS, static_cast<int>(record.observations.size()) - 1));
  if (handles.name_index == nullptr || handles.name_index_key != key) {
    std::vector<const char*> names(static_cast<size_t>(count) + 1, "");
    for (int k = 1; k <= count; ++k) names[k] = record.observations[k].OBSNME;
    handles.name_index = std::make_unique<NameIndex>(std::move(names));
    handles.name_index_key = key;
  }
  return *handles.name_index;
}

// One pass of an instruction file over the text of its output file. Both files are held in
// memory; ip_ is the position in the instructions, op_ the position in the output.
class InstructionRun {
 public:
  InstructionRun(ProblemRecord& record, int file_index, int slot, std::string instructions,
                 std::string output, const NameIndex& observations,
                 FileHandleTable::InstructionMemo& memo, unsigned long long names_key)
      : record_(record),
        entry_(record.instructions[file_index]),
        slot_(slot),
        ins_(std::move(instructions)),
        out_(std::move(output)),
        observations_(observations),
        memo_(memo),
        names_key_(names_key),
        remembered_(memo.names_key == names_key && memo.text == ins_) {}

  bool Run(char marker, size_t first_instruction) {
    marker_ = marker;
    ip_ = first_instruction;
    if (!remembered_) {
      memo_.text.clear();
      memo_.observations.clear();
    }
    while (ip_ < ins_.size()) {
      action_start_ = ip_;
      if (!Act(ins_[ip_++])) return false;
    }
    if (!remembered_) {
      memo_.text = ins_;
      memo_.names_key = names_key_;
    }
    return true;
  }

 private:
  bool Act(char c) {
    if (c == '\n') return LineEnd();
    if (c == marker_) return Marker();
    switch (c) {
      case 'l': return SkipLines();
      case 't': return MoveForward();
      case 'w': return SkipWord();
      case '[': return FixedObservation();
      case '!': return NonFixedObservation();
      case '(': StopOnSemiFixedObservation();
      default: return true;  // "&", blanks and anything else do nothing
    }
  }

  // Moves the output to the start of the next line (or its end).
  bool LineEnd() {
    const size_t end = out_.find('\n', op_);
    op_ = end == std::string::npos ? out_.size() : end + 1;
    return true;
  }

  bool Marker() {
    std::string text;
    if (!ReadText(marker_, "marker text", text)) return false;
    const size_t found = op_ < out_.size() ? out_.find(text, op_) : std::string::npos;
    if (found == std::string::npos) {
      return OutputFailure("marker text \"" + text + "\" is not found from line " +
                               std::to_string(LineOfOffset(out_, op_)) + " to the end of the file",
                           false);
    }
    op_ = found + text.size();
    return true;
  }

  // "l n": moves n - 1 lines forward, ending at the start of the last line read.
  bool SkipLines() {
    long n = 0;
    if (!ReadCount("l", 1, n)) return false;
    size_t piece_start = op_;
    for (long k = 1; k <= n; ++k) {
      if (op_ >= out_.size()) {
        return OutputFailure("the file ends before the lines that \"l" + std::to_string(n) +
                             "\" asks for");
      }
      piece_start = op_;
      LineEnd();
    }
    op_ = piece_start;
    return true;
  }

  bool MoveForward() {
    long n = 0;
    if (!ReadCount("t", 0, n)) return false;
    op_ = std::min(out_.size(), op_ + static_cast<size_t>(n));
    return true;
  }

  // Past the next blank and every blank after it.
  bool SkipWord() {
    while (op_ < out_.size() && !IsBlank(out_[op_])) ++op_;
    while (op_ < out_.size() && IsBlank(out_[op_])) ++op_;
    return true;
  }

  bool FixedObservation() {
    std::string name, first_text;
    int observation = 0;
    if (!ReadText(']', "observation name", name) || !Match(name, observation)) return false;
    if (!ReadText(':', "first column", first_text)) return false;
    char* end = nullptr;
    const long first = std::strtol(first_text.c_str(), &end, 10);
    if (end == first_text.c_str() || end[std::strspn(end, " \t")] != '\0') {
      return InstructionFailure("first column \"" + first_text + "\" is not an integer");
    }
    const bool instruction_line_ended = SkipLastColumn();
    if (first >= 2) {
      op_ = std::min(out_.size(), op_ + static_cast<size_t>(first - 2));
    } else if (first <= 0 && op_ > 0) {
      --op_;
    }
    double value = 0.0;
    if (!ConvertFreeFormat(name, value)) return false;
    Store(observation, value);
    FinishFixedRead(instruction_line_ended);
    return true;
  }

  // Consumes the last column and the character that ends it; tells whether that character
  // ended the instruction line.
  bool SkipLastColumn() {
    while (ip_ < ins_.size() && IsNumberChar(ins_[ip_])) ++ip_;
    if (ip_ >= ins_.size()) return false;
    const char ender = ins_[ip_++];
    if (ender == '\r' && ip_ < ins_.size() && ins_[ip_] == '\n') ++ip_;
    return ender == '\n' || ins_[ip_ - 1] == '\n';
  }

  // The value in free format: white space and line ends before it are skipped.
  bool ConvertFreeFormat(const std::string& name, double& value) {
    while (op_ < out_.size() && std::isspace(static_cast<unsigned char>(out_[op_]))) ++op_;
    if (op_ >= out_.size()) return OutputFailure("the file ends before the value of " + name);
    const char* start = out_.c_str() + op_;
    char* end = nullptr;
    value = std::strtod(start, &end);
    if (end == start || !std::isfinite(value)) return ValueFailure(name);
    op_ += static_cast<size_t>(end - start);
    return true;
  }

  // A line end after the value (past blanks and carriage returns) is consumed. When other
  // text follows and the instruction line has ended, the output moves to the next line as
  // well, so the next instruction line starts on the next output line.
  void FinishFixedRead(bool instruction_line_ended) {
    size_t k = op_;
    while (k < out_.size() && (out_[k] == ' ' || out_[k] == '\r')) ++k;
    if (k < out_.size() && out_[k] == '\n') {
      op_ = k + 1;
    } else if (instruction_line_ended && k < out_.size()) {
      LineEnd();
    }
  }

  bool NonFixedObservation() {
    std::string name;
    int observation = 0;
    if (!ReadText('!', "observation name", name) || !Match(name, observation)) return false;
    while (op_ < out_.size() && IsBlank(out_[op_])) ++op_;
    if (op_ >= out_.size()) return OutputFailure("the file ends before the value of " + name);
    const size_t start = op_;
    while (op_ < out_.size() && IsNumberChar(out_[op_])) ++op_;
    // The number is read from the run alone, copied out so that strtod cannot look past it.
    // A run without a number at its front ("-", "e") or one that overflows is refused, as is
    // text that is no number at all ("abc", "nan", "inf" make no run).
    const size_t length = op_ - start;
    char small[64];
    const std::string large = length < sizeof small ? "" : out_.substr(start, length);
    if (length < sizeof small) {
      std::memcpy(small, out_.data() + start, length);
      small[length] = '\0';
    }
    const char* run = length < sizeof small ? small : large.c_str();
    char* end = nullptr;
    const double value = std::strtod(run, &end);
    if (end == run || !std::isfinite(value)) {
      op_ = start;
      return ValueFailure(name);
    }
    Store(observation, value);
    return true;
  }

  // Reads instruction text up to the terminator, which must stand on the same line.
  bool ReadText(char terminator, const char* what, std::string& text) {
    const size_t start = ip_;
    while (ip_ < ins_.size() && ins_[ip_] != terminator && ins_[ip_] != '\n') ++ip_;
    if (ip_ >= ins_.size() || ins_[ip_] != terminator) {
      return InstructionFailure(std::string(what) + " is not closed by \"" +
                                std::string(1, terminator) + "\" on its line");
    }
    if (ip_ - start > kMaxInstructionText) {
      return InstructionFailure(std::string(what) + " longer than 14999 characters");
    }
    text = ins_.substr(start, ip_ - start);
    ++ip_;
    return true;
  }

  // A count ends at a blank, which is consumed, or at the end of the instruction line.
  bool ReadCount(const char* instruction, long least, long& n) {
    const size_t start = ip_;
    while (ip_ < ins_.size() && !IsBlank(ins_[ip_]) && ins_[ip_] != '\r' && ins_[ip_] != '\n') {
      ++ip_;
    }
    const std::string text = ins_.substr(start, ip_ - start);
    if (ip_ < ins_.size() && IsBlank(ins_[ip_])) ++ip_;
    char* end = nullptr;
    errno = 0;
    n = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno == ERANGE || n < least) {
      return InstructionFailure("\"" + std::string(instruction) + text +
                                "\" does not give a count of at least " + std::to_string(least));
    }
    return true;
  }

  // The first observation named as written, in lower case or in upper case.
  bool Match(const std::string& name, int& observation) {
    if (remembered_) {
      observation = memo_.observations[matched_++];
      return true;
    }
    observation = observations_.FindFirstInAnyCase(name, lower_, upper_);
    memo_.observations.push_back(observation);
    if (observation == 0) {
      return InstructionFailure("observation " + name + " is not in the problem");
    }
    return true;
  }

  void Store(int observation, double value) {
    record_.observations[observation].simulated[slot_] = value;
  }

  bool InstructionFailure(const std::string& reason) {
    ReportFileError("read", entry_.INSFLE, LineOfOffset(ins_, action_start_), reason);
    return false;
  }

  // A value that is not a finite number where the instruction reads one: nothing is stored,
  // and the message quotes the text found at the output position.
  bool ValueFailure(const std::string& name) {
    const std::string text = TextAt(out_, op_);
    const std::string found = !text.empty()       ? "\"" + text + "\""
                              : op_ < out_.size() ? std::string("the end of the line")
                                                  : std::string("the end of the file");
    return OutputFailure("the value of observation " + name +
                         " is not a finite number: found " + found);
  }

  // Names the output line where reading stopped unless the reason gives its own lines.
  bool OutputFailure(const std::string& reason, bool name_line = true) {
    const std::string where = reason + " (instruction file " + entry_.INSFLE + ", line " +
                              std::to_string(LineOfOffset(ins_, action_start_)) + ")";
    ReportFileError("read", entry_.OUTFLE, name_line ? LineOfOffset(out_, op_) : 0, where);
    return false;
  }

  ProblemRecord& record_;
  const InstructionEntry& entry_;
  const int slot_;
  const std::string ins_;
  const std::string out_;
  const NameIndex& observations_;
  std::string lower_, upper_;  // case forms of the name being matched
  FileHandleTable::InstructionMemo& memo_;
  const unsigned long long names_key_;
  const bool remembered_;  // the memo holds this text's matches: no lookups
  size_t matched_ = 0;
  char marker_ = '\0';
  size_t ip_ = 0;
  size_t op_ = 0;
  size_t action_start_ = 0;
};

// Checks "pif"/"jif" and finds the marker, the fifth character of the header line.
bool ReadHeader(const InstructionEntry& entry, const std::string& text, char& marker) {
  const size_t header_end = std::min(text.find('\n'), text.size());
  const bool valid = header_end >= 5 && (text[0] == 'p' || text[0] == 'j') && text[1] == 'i' &&
                     text[2] == 'f' && !IsBlank(text[4]) && text[4] != '\r';
  if (!valid) {
    ReportFileError("read", entry.INSFLE, 1,
                    "the header line must be \"pif\" or \"jif\", a blank and the marker character");
    return false;
  }
  marker = text[4];
  return true;
}

bool ReadOutputFile(const InstructionEntry& entry, std::string& output) {
  std::string reason;
  std::FILE* file =
      tarne::OpenInputFile(entry.OUTFLE, "rb", tarne::kMaxInputFileBytes, &reason);
  if (file == nullptr) {
    ReportFileError("open", entry.OUTFLE, 0, reason);
    return false;
  }
  const bool read = ReadRest(file, entry.OUTFLE, output);
  std::fclose(file);
  return read;
}

}  // namespace

void StopOnSemiFixedObservation() {
  std::printf("Semi-fixed observations are currently not supported with the calibration toolbox.\n");
  std::printf("Modify the instruction file(s) accordingly and rerun the toolbox.\n");
  std::fflush(stdout);
  // The calibration cannot go on: the end is a failure, unlike a stop the user asked for.
  EndProcess(1);
}

bool InstructionCountSupported(int count) {
  if (count < kMaxModelFiles + 1) return true;
  std::printf("\n");
  std::printf("Currently, the Toolbox does not support more than 25 instruction files.\n");
  std::printf("Please recompile the code to accomodate the unusually large number of instruction files.\n");
  std::printf("\n");
  return false;
}

short OpenInstructionFiles(ProblemRecord& record, FileHandleTable& handles) {
  if (!InstructionCountSupported(record.NINSFLE)) return 1;
  if (UsableInstructionCount(record) < record.NINSFLE) {
    std::printf("The problem holds fewer instruction entries than NINSFLE = %d.\n", record.NINSFLE);
    return 1;
  }
  for (int i = 1; i <= record.NINSFLE; ++i) {
    if (handles.slot[i] != nullptr) std::fclose(handles.slot[i]);
    std::string reason;
    handles.slot[i] = tarne::OpenInputFile(record.instructions[i].INSFLE, "r",
                                           tarne::kMaxInputFileBytes, &reason);
    if (handles.slot[i] == nullptr) {
      ReportFileError("open", record.instructions[i].INSFLE, 0, reason);
      return 1;
    }
  }
  return 0;
}

short CloseInstructionFiles(ProblemRecord& record, FileHandleTable& handles) {
  const int count = std::max(0, std::min(record.NINSFLE, kMaxModelFiles));
  for (int i = 1; i <= count; ++i) {
    if (handles.slot[i] != nullptr) {
      std::fclose(handles.slot[i]);
      handles.slot[i] = nullptr;
    }
  }
  return 0;
}

short ReadModelOutput(ProblemRecord& record, int i, int slot, FileHandleTable& handles) {
  if (i < 1 || i > UsableInstructionCount(record) || slot < kBaseSlot ||
      slot > kSecondPerturbedSlot) {
    std::printf("ReadModelOutput: no instruction file %d or simulated-value slot %d.\n", i, slot);
    return 1;
  }
  const InstructionEntry& entry = record.instructions[i];
  std::FILE* instruction_file = handles.slot[i];
  std::string instructions, output;
  if (instruction_file == nullptr) {
    ReportFileError("read", entry.INSFLE, 0, "the file is not open");
    return 1;
  }
  std::rewind(instruction_file);
  if (!ReadRest(instruction_file, entry.INSFLE, instructions)) return 1;
  char marker = '\0';
  if (!ReadHeader(entry, instructions, marker) || !ReadOutputFile(entry, output)) return 1;
  const size_t header_end = instructions.find('\n');
  const size_t first = header_end == std::string::npos ? instructions.size() : header_end + 1;
  const unsigned long long names_key = ObservationNamesKey(record);
  InstructionRun run(record, i, slot, std::move(instructions), std::move(output),
                     IndexObservations(record, handles, names_key), handles.memo[i], names_key);
  return run.Run(marker, first) ? 0 : 1;
}
