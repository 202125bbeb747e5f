// The control file's layer over the token reader: text fields copied only when they fit, so
// no field is overrun, the words that name the record being read in every message
// (" of parameter 3"), and section headers checked against the section expected. Every
// refused token and every early end of the file is reported with the file and line. Used
// by ReadControlFile only.
#pragma once

#include <cstddef>
#include <cstdio>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "modellib/token_reader.h"
#include "pest/problem.h"

class ControlReader {
 public:
  ControlReader(std::string file, std::string text)
      : size_(text.size()), in_(std::move(file), std::move(text)) {}

  // Words that follow every field name in messages, such as " of parameter 3".
  void SetContext(std::string context) { context_ = std::move(context); }
  const std::string& context() const { return context_; }

  // Rest of the current line, at most kTextField - 2 characters, line end kept as read.
  void Line(char (&out)[kTextField]);

  // Enters a section: finishes the line that holds the previous section's last token, then
  // reads the section's header line. After a section without tokens the reader already
  // stands at the start of a line, and the header is read directly instead of being taken
  // for the end of the previous line.
  void SectionHeader(char (&out)[kTextField]);
  // The same for the section "* <expected>" (or "* <also_allowed>"), refusing a header that
  // shows the previous section longer than its count (count_hint) or the expected section
  // missing. An empty header at the end of the file is left to the reads that follow.
  bool SectionHeader(char (&out)[kTextField], const char* expected,
                     const std::string& count_hint, const char* also_allowed = "");

  // Reports a non-empty problem against the line given (the line of the last token when 0);
  // true when there is none.
  bool Check(const std::string& problem, long line = 0) const;
  // The line the last token stands on.
  long token_line() const { return in_.token_line(); }

  int CountOnLine(char wanted) const { return in_.CountOnLine(wanted); }

  // Next white-space separated word of any length; false (reported) at the end of the file.
  bool Word(const char* field, std::string& out);
  bool Text(const char* field, char* out, size_t width);
  template <size_t N>
  bool Text(const char* field, char (&out)[N]) {
    return Text(field, out, N);
  }
  bool Int(const char* field, int& out);
  // A finite number: NaN and infinities (also "1e999", which overflows) are refused, since
  // no setting, bound or value of the file can be one. Values that underflow, such as
  // "1e-400", are finite and kept.
  bool Real(const char* field, double& out);
  // A real token when one follows; nothing is reported and false is returned otherwise.
  bool TryReal(double& out);

  // Reports the reason against the current line; always false.
  bool Fail(const std::string& reason) const { return in_.Fail(reason); }

  tarne::TokenReader::Mark Save() const { return in_.Save(); }
  void Restore(tarne::TokenReader::Mark mark) { in_.Restore(mark); }
  size_t Remaining() const { return size_ - in_.offset(); }
  const std::string& file() const { return in_.file(); }

 private:
  size_t size_;
  tarne::TokenReader in_;
  std::string context_;
};

// " of <what> <index>", the words that name a record in messages.
inline std::string Numbered(const char* what, int index) {
  return std::string(" of ") + what + " " + std::to_string(index);
}

// Room for count records plus the unused slot 0. A count larger than the characters left in
// the file cannot be met (every record takes at least one), so it is refused before any
// storage is taken.
template <typename T>
bool Allocate(std::vector<T>& records, int count, const char* count_name, ControlReader& in) {
  if (static_cast<size_t>(count) > in.Remaining()) {
    return in.Fail(std::string(count_name) + " is " + std::to_string(count) +
                   " but the file ends before that many entries");
  }
  try {
    records.assign(static_cast<size_t>(count) + 1, T());
  } catch (const std::bad_alloc&) {
    std::printf("Not enough memory to allocate buffer");
    std::printf("\n");
    return false;
  }
  return true;
}
