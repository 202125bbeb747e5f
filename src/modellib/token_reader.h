// The white-space separated tokens of an input file, taken from text in memory or streamed
// from an open file, with the line number kept for messages, and the checked conversion of a
// token to a number. The readers of the control, restart, method and SCE input files take
// their tokens here and add only their own grammar; refusals go through ReportFileError.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace tarne {

class TokenReader {
 public:
  // What Next found: a token, the end of the file (or a read error), or a token longer than
  // the limit it was given.
  enum class Token { kRead, kEnd, kTooLong };
  static constexpr std::size_t kNoLimit = SIZE_MAX;

  // The tokens of text held in memory; only these can be saved and restored.
  TokenReader(std::string file, std::string text);
  // The tokens of in from its current position, which is on line first_line, read a block at
  // a time: the file is read only as far as its tokens are asked for, and one block beyond.
  TokenReader(std::string file, std::FILE* in, long first_line = 1);
  TokenReader(const TokenReader&) = delete;
  TokenReader& operator=(const TokenReader&) = delete;

  // Skips white space and reads the next token into word. A token longer than max_length
  // characters gives kTooLong with its first max_length characters in word. The white space
  // after a token is left for the next read, which counts its line end.
  Token Next(std::string& word, std::size_t max_length = kNoLimit);
  // The next token, or false after reporting the end of the file (see ReportEnd).
  bool Word(const char* what, std::string& word);
  // Reports why no token followed: the read error, or "the file ends before <what>". False.
  bool ReportEnd(const char* what) const;
  // Reports "cannot read <file> (line N): <reason>" for the current line. False.
  bool Fail(const std::string& reason) const;

  // The rest of the current line as fgets reads it: at most size - 1 characters, the line
  // end kept when it is among them.
  void Line(char* out, std::size_t size);
  // Whether the reader stands at the start of a line (or of the text).
  bool AtLineStart() const;

  // A place in text held in memory, to return to.
  struct Mark {
    std::uint64_t offset;
    long line;
  };
  Mark Save() const { return {offset(), line_}; }
  void Restore(Mark mark);
  // How often wanted stands on the rest of the current line (text in memory only).
  int CountOnLine(char wanted) const;

  const std::string& file() const { return file_; }
  // The line the reader stands on.
  long line() const { return line_; }
  // The line the last token began on (before any token: the first line).
  long token_line() const { return token_line_; }
  // Characters taken so far.
  std::uint64_t offset() const {
    return block_offset_ + static_cast<std::uint64_t>(next_ - begin_);
  }

 private:
  int Get() {
    if (next_ == end_ && !Refill()) return EOF;
    return static_cast<unsigned char>(*next_++);
  }
  bool Refill();

  std::string file_;
  std::string text_;          // the text in memory
  std::FILE* in_ = nullptr;   // the file streamed, or null
  std::vector<char> buffer_;  // streamed blocks, after one slot for the last character taken
  const char* begin_ = nullptr;
  const char* next_ = nullptr;
  const char* end_ = nullptr;
  std::uint64_t block_offset_ = 0;  // characters before begin_
  int read_error_ = 0;
  long line_ = 1;
  long token_line_ = 1;
};

// Whole tokens as numbers (ParseLong and ParseDouble of text_util.h take a long and a finite
// double). A whole token as an integer of the range of int; false for anything else.
bool ParseInt(const std::string& word, int& value);
// A whole token as a number, which may be infinite or NaN; false for anything else.
bool ParseNumber(const std::string& word, double& value);

}  // namespace tarne
