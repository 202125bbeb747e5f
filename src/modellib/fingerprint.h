// The 64-bit FNV-1a hash by which the program tells whether a file's bytes changed: the
// inputs a resumed global method must find as the interrupted run found them, the checksum
// of its restart file, and the files of a working copy checked against the run directory's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

constexpr std::uint64_t kFingerprintStart = 14695981039346656037ull;

// The hash continued over size bytes.
inline std::uint64_t AddToFingerprint(std::uint64_t hash, const unsigned char* bytes,
                                      std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) hash = (hash ^ bytes[i]) * 1099511628211ull;
  return hash;
}

inline std::uint64_t Fingerprint(const std::string& bytes) {
  return AddToFingerprint(kFingerprintStart,
                          reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}
