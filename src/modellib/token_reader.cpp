#include "modellib/token_reader.h"

#include <cassert>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "modellib/file_error.h"
#include "modellib/text_util.h"

namespace tarne {

namespace {

// A block of a streamed file.
constexpr std::size_t kBlockSize = 65536;

bool IsSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

}  // namespace

TokenReader::TokenReader(std::string file, std::string text)
    : file_(std::move(file)), text_(std::move(text)) {
  begin_ = next_ = text_.data();
  end_ = begin_ + text_.size();
}

TokenReader::TokenReader(std::string file, std::FILE* in, long first_line)
    : file_(std::move(file)), in_(in), buffer_(kBlockSize + 1), line_(first_line),
      token_line_(first_line) {
  begin_ = next_ = end_ = buffer_.data() + 1;
}

bool TokenReader::Refill() {
  if (in_ == nullptr || read_error_ != 0) return false;
  // The slot before the block keeps the last character taken, so that it can be put back
  // and the start of a line seen across blocks.
  if (next_ > begin_) buffer_[0] = next_[-1];
  block_offset_ += static_cast<std::uint64_t>(end_ - begin_);
  errno = 0;
  const std::size_t filled = std::fread(buffer_.data() + 1, 1, kBlockSize, in_);
  next_ = begin_;
  end_ = begin_ + filled;
  if (filled == 0 && std::ferror(in_) != 0) read_error_ = errno != 0 ? errno : EIO;
  return filled > 0;
}

TokenReader::Token TokenReader::Next(std::string& word, std::size_t max_length) {
  word.clear();
  int c = Get();
  for (; c != EOF && IsSpace(static_cast<char>(c)); c = Get()) {
    if (c == '\n') ++line_;
  }
  if (c == EOF) return Token::kEnd;
  token_line_ = line_;
  --next_;  // the token's first character is taken again below
  // The token is taken a block at a time.
  for (;;) {
    const char* start = next_;
    while (next_ < end_ && !IsSpace(*next_)) ++next_;
    const std::size_t room = max_length - word.size();
    if (static_cast<std::size_t>(next_ - start) > room) {
      word.append(start, room);
      return Token::kTooLong;
    }
    word.append(start, next_);
    if (next_ < end_ || !Refill()) return Token::kRead;
  }
}

bool TokenReader::Word(const char* what, std::string& word) {
  return Next(word) == Token::kRead || ReportEnd(what);
}

bool TokenReader::ReportEnd(const char* what) const {
  if (read_error_ != 0) return Fail(std::strerror(read_error_));
  return Fail(std::string("the file ends before ") + what);
}

bool TokenReader::Fail(const std::string& reason) const {
  ::ReportFileError("read", file_, line_, reason);
  return false;
}

void TokenReader::Line(char* out, std::size_t size) {
  std::size_t n = 0;
  while (n + 1 < size) {
    const int c = Get();
    if (c == EOF) break;
    out[n++] = static_cast<char>(c);
    if (c == '\n') {
      ++line_;
      break;
    }
  }
  out[n] = '\0';
}

bool TokenReader::AtLineStart() const { return offset() == 0 || next_[-1] == '\n'; }

void TokenReader::Restore(Mark mark) {
  assert(in_ == nullptr);
  next_ = begin_ + mark.offset;
  line_ = mark.line;
}

int TokenReader::CountOnLine(char wanted) const {
  assert(in_ == nullptr);
  int count = 0;
  for (const char* p = next_; p < end_ && *p != '\n'; ++p) count += *p == wanted;
  return count;
}

bool ParseInt(const std::string& word, int& value) {
  long wide = 0;
  if (!ParseLong(word, &wide) || wide < INT_MIN || wide > INT_MAX) return false;
  value = static_cast<int>(wide);
  return true;
}

bool ParseNumber(const std::string& word, double& value) {
  char* end = nullptr;
  const double parsed = std::strtod(word.c_str(), &end);
  if (end == word.c_str() || *end != '\0') return false;
  value = parsed;
  return true;
}

}  // namespace tarne
