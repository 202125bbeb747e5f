#include "pest/working_copy.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <set>
#include <system_error>

#include "modellib/file_error.h"
#include "modellib/fingerprint.h"
#include "modellib/project.h"
#include "pest/console_capture.h"

namespace fs = std::filesystem;

namespace {

// The list being built: each file once, in the order first named.
class FileList {
 public:
  explicit FileList(std::vector<std::string>* files) : files_(files) { files_->clear(); }

  // Adds a file named relative to the directory base (of the run directory). Returns false
  // for a path that leads out of the run directory.
  bool Add(const fs::path& base, const std::string& name, std::string* reason) {
    if (name.empty()) return true;
    const fs::path named(name);
    if (named.is_absolute()) return true;
    const fs::path path = (base / named).lexically_normal();
    if (path.empty() || *path.begin() == "..") {
      *reason = FileErrorMessage("copy", name.c_str(), 0,
                                 "the path leads out of the run directory; name the file by "
                                 "its absolute path or move it into the run directory");
      return false;
    }
    std::error_code error;
    if (!fs::is_regular_file(path, error)) return true;  // a run without it fails alike
    if (seen_.insert(path.generic_string()).second) files_->push_back(path.generic_string());
    return true;
  }

  // Every regular file at the top of the run directory.
  void AddTopLevel() {
    std::error_code error;
    for (fs::directory_iterator it(".", error), end; !error && it != end; it.increment(error)) {
      std::error_code kind_error;
      if (!it->is_regular_file(kind_error)) continue;
      const std::string name = it->path().filename().generic_string();
      if (seen_.insert(name).second) files_->push_back(name);
    }
  }

 private:
  std::vector<std::string>* files_;
  std::set<std::string> seen_;
};

// The project, read quietly: a project that cannot be read is reported by the run itself.
bool ReadProjectQuietly(const char* path, tarne::Project* project) {
  ConsoleCapture quiet;
  quiet.Begin();
  const bool read = tarne::ReadProject(path, project) == 0;
  quiet.End();
  return read;
}

}  // namespace

std::string WorkingCopyFolder(long rank) {
  return std::string(kWorkingCopiesFolder) + "/process_" + std::to_string(rank);
}

bool WorkingCopyFiles(const ProblemRecord& record, std::vector<std::string>* files,
                      std::size_t* named, std::string* reason) {
  FileList list(files);
  const fs::path here;
  bool ok = list.Add(here, "tarne.in", reason) && list.Add(here, record.PROJFLE, reason);
  const int templates = std::min(record.NTPLFLE, static_cast<int>(record.templates.size()) - 1);
  for (int i = 1; ok && i <= templates; ++i) {
    ok = list.Add(here, record.templates[i].TEMPFLE, reason) &&
         list.Add(here, record.templates[i].INFLE, reason);
  }
  const int instructions =
      std::min(record.NINSFLE, static_cast<int>(record.instructions.size()) - 1);
  for (int i = 1; ok && i <= instructions; ++i) {
    ok = list.Add(here, record.instructions[i].INSFLE, reason);
  }
  if (!ok) return false;
  tarne::Project project;
  const bool read = ReadProjectQuietly(record.PROJFLE, &project);
  if (read) {
    // Files of a project are named relative to the project's own directory.
    const fs::path base = fs::path(record.PROJFLE).parent_path();
    for (const std::string* name : {&project.forcing, &project.replace_list, &project.value_file}) {
      if (!list.Add(base, *name, reason)) return false;
    }
  }
  *named = files->size();
  if (!read || project.kind == tarne::ModelKind::kExternal || record.POSTBATCH[0] != '\0') {
    list.AddTopLevel();
  }
  return true;
}

std::string CopyFingerprint(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return std::string();
  std::uint64_t hash = kFingerprintStart, size = 0;
  unsigned char buffer[1 << 16];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) {
    hash = AddToFingerprint(hash, buffer, n);
    size += n;
  }
  const bool read = std::ferror(file) == 0;
  std::fclose(file);
  if (!read) return std::string();
  char text[64];
  std::snprintf(text, sizeof text, "%llu:%016llx", static_cast<unsigned long long>(size),
                static_cast<unsigned long long>(hash));
  return text;
}

bool MakeWorkingCopy(const std::string& folder, const std::vector<std::string>& files,
                     const std::vector<std::string>& fingerprints, std::string* reason) {
  std::error_code error;
  const fs::file_status parent = fs::status(kWorkingCopiesFolder, error);
  if (fs::exists(parent) && !fs::is_directory(parent)) {
    *reason = FileErrorMessage("make", kWorkingCopiesFolder, 0, "it is not a directory");
    return false;
  }
  fs::remove_all(folder, error);
  error.clear();
  if (!fs::create_directories(folder, error) && error) {
    *reason = FileErrorMessage("make", folder.c_str(), 0, error.message().c_str());
    return false;
  }
  for (std::size_t i = 0; i < files.size(); ++i) {
    const std::string& file = files[i];
    const bool checked = i < fingerprints.size();
    const fs::path target = fs::path(folder) / file;
    const fs::file_status status = fs::status(file, error);
    if (!fs::is_regular_file(status)) {
      if (!checked) continue;
      const std::string why = error                 ? error.message()
                              : !fs::exists(status) ? "No such file or directory"
                                                    : "it is not a regular file";
      *reason = FileErrorMessage("copy", file.c_str(), 0, why.c_str());
      return false;
    }
    fs::create_directories(target.parent_path(), error);
    if (!error) fs::copy_file(file, target, fs::copy_options::overwrite_existing, error);
    if (error) {
      *reason = FileErrorMessage("copy", file.c_str(), 0, error.message().c_str());
      return false;
    }
    if (checked && CopyFingerprint(target.string()) != fingerprints[i]) {
      *reason = FileErrorMessage("copy", file.c_str(), 0,
                                 "it is not the file process 0 reads (every process must see "
                                 "the same run directory)");
      return false;
    }
  }
  return true;
}

void RemoveWorkingCopy(const std::string& folder) {
  std::error_code error;
  fs::remove_all(folder, error);
}
