// Where the library opens its files: names relative to the project location, and the batch
// number carried by the names of files written in batch mode ("out.txt" -> "out_b2.txt").
#include <cstring>
#include <string>

#include "modellib/input_file.h"
#include "modellib/tarne_lib.h"

namespace tarne {

replace_io::replace_io() = default;
replace_io::~replace_io() = default;

void replace_io::SetLinenum(long line) { linenum_ = line; }
void replace_io::SetBatchMode(int mode) { batch_mode_ = mode; }
void replace_io::SetBatchNum(long number) { batch_num_ = number; }

void replace_io::SetProjectPath(const char* path) {
  project_path_[0] = '\0';
  project_path_ok_ = true;
  if (path == nullptr) return;
  const std::size_t length = std::strlen(path);
  if (length + 1 > sizeof project_path_) {
    project_path_ok_ = false;
    return;
  }
  std::memcpy(project_path_, path, length + 1);
}

// Inserts "_b<number>" before the extension of the last path component.
static std::string WithBatchNumber(const std::string& path, long number) {
  const std::size_t slash = path.find_last_of('/');
  const std::size_t base = slash == std::string::npos ? 0 : slash + 1;
  std::size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || dot <= base) dot = path.size();
  return path.substr(0, dot) + "_b" + std::to_string(number) + path.substr(dot);
}

bool replace_io::getGopenName(const char* name, const char* mode, char* out,
                              std::size_t out_size, bool relative) const {
  if (name == nullptr || out == nullptr || out_size == 0) return false;
  std::string path = name;
  if (relative && name[0] != '/') {
    if (!project_path_ok_) return false;
    path = std::string(project_path_) + path;
  }
  const bool writes = mode != nullptr && (std::strchr(mode, 'w') != nullptr ||
                                          std::strchr(mode, 'a') != nullptr ||
                                          std::strchr(mode, '+') != nullptr);
  if (batch_mode_ == 1 && writes) path = WithBatchNumber(path, batch_num_);
  if (path.size() + 1 > out_size) return false;
  std::memcpy(out, path.c_str(), path.size() + 1);
  return true;
}

// Plain settings know no calibrated parameters; a model run object writes their names.
void replace_io::WriteFileHeader(std::FILE* /*file*/) const {}

gFILE::gFILE(const replace_io* settings) : settings_(settings) {}
gFILE::~gFILE() { close(); }

bool gFILE::open(const char* name, const char* mode) {
  close();
  if (name == nullptr || mode == nullptr) return false;
  if (settings_ == nullptr) {
    fp = std::fopen(name, mode);
  } else {
    char path[kPathMax];
    if (!settings_->getGopenName(name, mode, path, sizeof path, true)) return false;
    fp = std::fopen(path, mode);
  }
  return fp != nullptr;
}

bool gFILE::open_input(const char* name, std::uint64_t max_bytes, std::string* reason) {
  close();
  if (name == nullptr) {
    *reason = "no file name was given";
    return false;
  }
  const char* path = name;
  char resolved[kPathMax];
  if (settings_ != nullptr) {
    if (!settings_->getGopenName(name, "r", resolved, sizeof resolved, true)) {
      *reason = "the path is too long";
      return false;
    }
    path = resolved;
  }
  fp = OpenInputFile(path, "r", max_bytes, reason);
  return fp != nullptr;
}

void gFILE::close() {
  if (fp != nullptr) std::fclose(fp);
  fp = nullptr;
}

}  // namespace tarne

void caReadVARNOKProjectPath(const char* project_file, tarne::replace_io* settings) {
  if (settings == nullptr) return;
  if (project_file == nullptr) {
    settings->SetProjectPath("");
    return;
  }
  const char* slash = std::strrchr(project_file, '/');
  if (slash == nullptr) {
    settings->SetProjectPath("");
    return;
  }
  const std::string directory(project_file, static_cast<std::size_t>(slash - project_file) + 1);
  settings->SetProjectPath(directory.c_str());
}
