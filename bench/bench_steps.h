// Shared by the benchmarks: wall-clock timing, the median of samples, a step that must
// succeed, a text file written whole and read whole, and a fresh working directory under the
// system's temporary directory.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace bench_steps {

using Clock = std::chrono::steady_clock;

inline double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// The machine may be shared: the median of several samples resists the load of others.
inline double Median(std::vector<double> samples) {
  std::sort(samples.begin(), samples.end());
  return samples[samples.size() / 2];
}

inline void Check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "benchmark step failed: %s\n", what);
  std::exit(1);
}

inline void WriteText(const std::string& path, const std::string& text) {
  std::FILE* file = std::fopen(path.c_str(), "w");
  Check(file != nullptr, path.c_str());
  std::fputs(text.c_str(), file);
  std::fclose(file);
}

// The whole file; empty when there is none.
inline std::string ReadText(const std::string& path) {
  std::string text;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return text;
  char block[65536];
  for (std::size_t n; (n = std::fread(block, 1, sizeof block, file)) > 0;) text.append(block, n);
  std::fclose(file);
  return text;
}

// Makes <temporary directory>/name empty and the working directory.
inline void EnterFreshDirectory(const char* name) {
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / name;
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  std::filesystem::current_path(dir);
}

}  // namespace bench_steps
