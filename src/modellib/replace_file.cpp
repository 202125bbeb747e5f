#include "modellib/replace_file.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "modellib/file_error.h"

bool ReplaceFile(const std::string& name, const std::function<bool(std::FILE*)>& write,
                 FileSync sync) {
  const std::string temporary = name + ".tmp";
  // A file an earlier run left under the temporary name goes first (a pipe there would block
  // the opening); a directory there stays, and the opening then fails.
  unlink(temporary.c_str());
  std::FILE* file = std::fopen(temporary.c_str(), "wb");
  if (file == nullptr) {
    ReportFileError("create", temporary, 0, std::strerror(errno));
    return false;
  }
  errno = 0;
  bool written = write(file) && std::ferror(file) == 0 && std::fflush(file) == 0 &&
                 (sync == FileSync::kNone || fsync(fileno(file)) == 0);
  std::string reason = written ? "" : std::strerror(errno != 0 ? errno : EIO);
  if (std::fclose(file) != 0 && written) {
    written = false;
    reason = std::strerror(errno);
  }
  if (written && std::rename(temporary.c_str(), name.c_str()) != 0) {
    written = false;
    reason = std::strerror(errno);
  }
  if (!written) {
    ReportFileError("write", name, 0, reason);
    std::remove(temporary.c_str());
  }
  return written;
}

bool ReplaceFile(const std::string& name, const std::string& content, FileSync sync) {
  return ReplaceFile(
      name,
      [&content](std::FILE* file) {
        return std::fwrite(content.data(), 1, content.size(), file) == content.size();
      },
      sync);
}

bool ReadFileWhole(const std::string& name, std::string* content) {
  std::FILE* file = std::fopen(name.c_str(), "rb");
  if (file == nullptr) return false;
  content->clear();
  char block[65536];
  for (std::size_t n; (n = std::fread(block, 1, sizeof block, file)) > 0;) {
    content->append(block, n);
  }
  const bool read = std::ferror(file) == 0;
  std::fclose(file);
  return read;
}
