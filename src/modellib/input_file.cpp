#include "modellib/input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tarne {

namespace {

const char* KindOfMode(mode_t mode) {
  if (S_ISREG(mode)) return "";
  if (S_ISDIR(mode)) return "a directory";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISFIFO(mode)) return "a pipe";
  if (S_ISSOCK(mode)) return "a socket";
  return "not a regular file";
}

std::string NotRegularReason(mode_t mode) {
  const std::string kind = KindOfMode(mode);
  if (kind == "not a regular file") return "it is not a regular file";
  return "it is " + kind + ", not a regular file";
}

std::string TooLargeReason(std::uint64_t size, std::uint64_t max_bytes) {
  return "the file holds " + std::to_string(size) + " bytes, more than the " +
         std::to_string(max_bytes) + " a reader takes";
}

}  // namespace

std::string FileKindOf(const std::string& path) {
  struct stat status;
  if (stat(path.c_str(), &status) != 0) return "";
  return KindOfMode(status.st_mode);
}

std::FILE* OpenInputFile(const std::string& path, const char* mode, std::uint64_t max_bytes,
                         std::string* reason, int* system_error) {
  int ignored = 0;
  int& error = system_error != nullptr ? *system_error : ignored;
  error = 0;
  const auto fail = [&](int fd, int code, const std::string& why) -> std::FILE* {
    error = code;
    *reason = why;
    if (fd >= 0) close(fd);
    return nullptr;
  };
  // The kind is looked at before opening, so that no device is ever opened, and again on
  // the open descriptor, so that a file swapped in between is caught as well.
  struct stat status;
  if (stat(path.c_str(), &status) != 0) return fail(-1, errno, std::strerror(errno));
  if (!S_ISREG(status.st_mode)) return fail(-1, 0, NotRegularReason(status.st_mode));
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return fail(-1, errno, std::strerror(errno));
  if (fstat(fd, &status) != 0) return fail(fd, errno, std::strerror(errno));
  if (!S_ISREG(status.st_mode)) return fail(fd, 0, NotRegularReason(status.st_mode));
  const std::uint64_t size = static_cast<std::uint64_t>(status.st_size);
  if (size > max_bytes) return fail(fd, 0, TooLargeReason(size, max_bytes));
  const int flags = fcntl(fd, F_GETFL);
  if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  std::FILE* file = fdopen(fd, mode);
  if (file == nullptr) return fail(fd, errno, std::strerror(errno));
  return file;
}

std::string LineLimitReason(std::size_t max_line) {
  return "the line is longer than " + std::to_string(max_line) + " characters";
}

bool ReadInputText(std::FILE* file, std::uint64_t max_bytes, std::size_t max_line,
                   std::string* text, TextFault* fault) {
  char buffer[65536];
  std::uint64_t total = 0;
  std::size_t line_length = 0;  // characters of the current line read so far
  long line = 1;
  std::size_t got;
  errno = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
    // A regular file may still grow while it is read (or report no size, as some system
    // files do), so the limit is kept here too.
    if (total + got > max_bytes) {
      fault->line = 0;
      fault->reason = "the file holds more than the " + std::to_string(max_bytes) +
                      " bytes a reader takes";
      return false;
    }
    const char* p = buffer;
    const char* const end = buffer + got;
    while (p < end) {
      const char* newline = static_cast<const char*>(std::memchr(p, '\n', end - p));
      const std::size_t piece = static_cast<std::size_t>((newline != nullptr ? newline : end) - p);
      line_length += piece;
      if (line_length > max_line) {
        fault->line = line;
        fault->reason = LineLimitReason(max_line);
        return false;
      }
      if (newline == nullptr) break;
      ++line;
      line_length = 0;
      p = newline + 1;
    }
    text->append(buffer, got);
    total += got;
  }
  if (std::ferror(file) != 0) {
    fault->line = 0;
    fault->reason = std::strerror(errno != 0 ? errno : EIO);
    return false;
  }
  return true;
}

}  // namespace tarne
