#include "pest/console_capture.h"

#include <unistd.h>

namespace {

// Everything written to the file since it was last emptied; empties it again.
std::string TakeContent(std::FILE* file) {
  std::string content;
  const int fd = fileno(file);
  const off_t size = lseek(fd, 0, SEEK_END);
  if (size > 0) {
    content.resize(static_cast<std::size_t>(size));
    std::size_t got = 0;
    while (got < content.size()) {
      const ssize_t n = pread(fd, &content[got], content.size() - got, static_cast<off_t>(got));
      if (n <= 0) break;
      got += static_cast<std::size_t>(n);
    }
    content.resize(got);
  }
  // A file that could not be emptied would repeat its text in the next capture; the text
  // is already taken, so the next capture starts from the same place instead.
  const bool emptied = ftruncate(fd, 0) == 0;
  static_cast<void>(emptied);
  lseek(fd, 0, SEEK_SET);
  return content;
}

}  // namespace

void PrintConsoleText(const ConsoleText& text) {
  if (!text.out.empty()) {
    std::fwrite(text.out.data(), 1, text.out.size(), stdout);
    std::fflush(stdout);
  }
  if (!text.err.empty()) {
    std::fwrite(text.err.data(), 1, text.err.size(), stderr);
    std::fflush(stderr);
  }
}

ConsoleCapture::ConsoleCapture() : out_(std::tmpfile()), err_(std::tmpfile()) {}

ConsoleCapture::~ConsoleCapture() {
  End();
  if (out_ != nullptr) std::fclose(out_);
  if (err_ != nullptr) std::fclose(err_);
}

void ConsoleCapture::Begin() {
  if (!usable() || on_) return;
  std::fflush(stdout);
  std::fflush(stderr);
  saved_out_ = dup(STDOUT_FILENO);
  saved_err_ = dup(STDERR_FILENO);
  if (saved_out_ < 0 || saved_err_ < 0) {
    if (saved_out_ >= 0) close(saved_out_);
    if (saved_err_ >= 0) close(saved_err_);
    saved_out_ = saved_err_ = -1;
    return;
  }
  dup2(fileno(out_), STDOUT_FILENO);
  dup2(fileno(err_), STDERR_FILENO);
  on_ = true;
}

ConsoleText ConsoleCapture::End() {
  ConsoleText text;
  if (!on_) return text;
  std::fflush(stdout);
  std::fflush(stderr);
  dup2(saved_out_, STDOUT_FILENO);
  dup2(saved_err_, STDERR_FILENO);
  close(saved_out_);
  close(saved_err_);
  saved_out_ = saved_err_ = -1;
  on_ = false;
  text.out = TakeContent(out_);
  text.err = TakeContent(err_);
  return text;
}
