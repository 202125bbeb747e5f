#include "fuzz_support.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "numeric/process_end.h"

// Linked into every harness ahead of the libraries, so the program's own EndProcess (which
// ends the process) is never linked: an end becomes an exception the harness catches.
void EndProcess(int status) { throw fuzz::ProcessEnded{status}; }

namespace fuzz {

namespace {

std::string& WorkingDirectory() {
  static std::string directory;
  return directory;
}

void RemoveWorkingDirectory() {
  std::error_code ignored;
  std::filesystem::current_path("/", ignored);
  std::filesystem::remove_all(WorkingDirectory(), ignored);
}

}  // namespace

void EnterWorkingDirectory() {
  if (!WorkingDirectory().empty()) return;
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base != nullptr && base[0] != '\0' ? base : "/tmp") +
                        "/tarne_fuzz_XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr || chdir(pattern.c_str()) != 0) {
    std::perror("tarne fuzz: cannot make a working directory");
    std::abort();
  }
  WorkingDirectory() = pattern;
  std::atexit(RemoveWorkingDirectory);
}

void WriteInput(const char* name, const std::uint8_t* data, std::size_t size) {
  std::FILE* file = std::fopen(name, "wb");
  Require(file != nullptr, "cannot write an input file");
  if (size > 0) Require(std::fwrite(data, 1, size, file) == size, "cannot write an input file");
  Require(std::fclose(file) == 0, "cannot write an input file");
}

void WriteText(const char* name, const std::string& text) {
  WriteInput(name, reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

bool FileExists(const char* name) {
  struct stat status;
  return lstat(name, &status) == 0;
}

std::string ReadText(const char* name) {
  std::ifstream in(name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Require(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "tarne fuzz: check failed: %s\n", what);
  std::abort();
}

}  // namespace fuzz
