// Random sampling for the global methods: the uniform generator with its process-wide
// shuffle table, the chain of per-sample seeds, the seeds file that replays earlier samples,
// and sampling of the adjustable parameters inside their bounds. Used by multistart, MLSL and
// trajectory repulsion, which rank their samples with indexx (numeric/index_sort.h).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "numeric/index_sort.h"
#include "numeric/numeric.h"
#include "pest/problem.h"

// The seeds file of the global methods.
constexpr const char* kSeedsFileName = "RandomNumberSeeds.prn";

// A deviate in (0, 0.99999988] from the multiplicative congruential generator (16807 modulo
// 2^31 - 1) with a 32-entry shuffle table. The table lives for the whole process; a seed of
// 0 or less (and the first call) fills it anew from the seed. seed is advanced.
double UniformDeviate(std::int32_t& seed);

// The chain of sample seeds: the state starts at the user's seed and advances once per
// sample; each seed is 0 or negative, so that its first deviate refills the table.
class SeedChain {
 public:
  explicit SeedChain(std::uint32_t user_seed) : state_(user_seed) {}
  std::int32_t Next();
  std::uint32_t state() const { return state_; }

 private:
  std::uint32_t state_;
};

// The screen note of MLSL and trajectory repulsion on what the seeds file is for.
void PrintSeedsNote();

// How a method uses the seeds file: "Y" writes every sample's seed, "N" reads them back in
// place of the derived ones; any other word leaves the file alone.
class SeedsFile {
 public:
  enum class Mode { kNone, kWrite, kRead };
  static Mode ModeOfWord(const std::string& word);

  SeedsFile() = default;
  ~SeedsFile();
  SeedsFile(const SeedsFile&) = delete;
  SeedsFile& operator=(const SeedsFile&) = delete;

  // Opens the file as the mode says (nothing for kNone); only a regular file is read or
  // written over. Returns false after a line naming the file and the reason.
  bool Open(Mode mode);
  // kWrite: writes the seed as "%ld\n"; kRead: replaces it with the next integer of the
  // file. A file that ends early, or holds a word that is not an integer, leaves the derived
  // seeds in place from there on; that is said once.
  void Use(std::int32_t& seed);
  void Close();
  // Whether the file is open for reading seeds, or for writing them.
  bool reads() const { return file_ != nullptr && mode_ == Mode::kRead; }
  bool writes() const { return file_ != nullptr && mode_ == Mode::kWrite; }

 private:
  Mode mode_ = Mode::kNone;
  std::FILE* file_ = nullptr;
  bool exhausted_ = false;
};

// Draws the adjustable parameters uniformly inside their bounds (a "log" parameter
// uniformly in natural units); fixed and tied parameters keep their values and take no
// deviate.
void SampleParameters(ProblemRecord& record, std::int32_t& seed);
