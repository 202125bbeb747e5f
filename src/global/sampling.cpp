#include "global/sampling.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "global/method_input.h"
#include "modellib/file_error.h"
#include "pest/parameters.h"

namespace {

constexpr std::int32_t kModulus = 2147483647;
constexpr std::int32_t kSchrageQ = 127773;
constexpr std::int32_t kSchrageR = 2836;
constexpr int kTableSize = 32;
constexpr std::int32_t kTableDivisor = 67108864;
constexpr double kScale = 4.656612875245797e-10;
constexpr double kLargestDeviate = 0.99999988;

// The sampling generator's own shuffle table and last output, apart from the SCE search's.
std::int32_t g_last = 0;
std::int32_t g_table[kTableSize] = {};

std::int32_t Step(std::int32_t s) {
  const std::int32_t k = s / kSchrageQ;
  s = 16807 * (s - k * kSchrageQ) - kSchrageR * k;
  return s < 0 ? s + kModulus : s;
}

}  // namespace

double UniformDeviate(std::int32_t& seed) {
  if (seed <= 0 || g_last == 0) {
    // -seed is taken in 64 bits: the most negative seed has no 32-bit magnitude.
    const std::int64_t magnitude = -static_cast<std::int64_t>(seed);
    seed = magnitude < 1 ? 1 : static_cast<std::int32_t>(magnitude % kModulus);
    if (seed == 0) seed = 1;
    for (int j = kTableSize + 7; j >= 0; --j) {
      seed = Step(seed);
      if (j < kTableSize) g_table[j] = seed;
    }
    g_last = g_table[0];
  }
  seed = Step(seed);
  const int j = g_last / kTableDivisor;
  g_last = g_table[j];
  g_table[j] = seed;
  const double deviate = g_last * kScale;
  return deviate > kLargestDeviate ? kLargestDeviate : deviate;
}

std::int32_t SeedChain::Next() {
  state_ = state_ * 1664525u + 1013904223u;
  return static_cast<std::int32_t>(static_cast<double>(state_) * -0.5);
}

SeedsFile::Mode SeedsFile::ModeOfWord(const std::string& word) {
  if (word == "Y") return Mode::kWrite;
  if (word == "N") return Mode::kRead;
  return Mode::kNone;
}

void PrintSeedsNote() {
  std::printf("This program will either generate or read seeds associated with\n");
  std::printf("random sampling - the ability to read thus precludes having\n");
  std::printf("to recompute previously computed pre-inversion runs.\n\n");
}

SeedsFile::~SeedsFile() { Close(); }

bool SeedsFile::Open(Mode mode) {
  Close();
  mode_ = mode;
  exhausted_ = false;
  if (mode == Mode::kNone) return true;
  // Only a regular file is read or written over: a pipe or device could block for ever.
  file_ = OpenMethodFile(kSeedsFileName, mode == Mode::kWrite ? "w" : "r").release();
  return file_ != nullptr;
}

void SeedsFile::Use(std::int32_t& seed) {
  if (file_ == nullptr) return;
  if (mode_ == Mode::kWrite) {
    std::fprintf(file_, "%ld\n", static_cast<long>(seed));
    std::fflush(file_);
    return;
  }
  if (exhausted_) return;
  long value = 0;
  if (std::fscanf(file_, "%ld", &value) == 1 && value >= INT32_MIN && value <= INT32_MAX) {
    seed = static_cast<std::int32_t>(value);
    return;
  }
  exhausted_ = true;
  ReportFileError("read", kSeedsFileName, 0,
                  "it holds no further seed; the remaining samples use the seeds derived "
                  "from the input file's seed");
}

void SeedsFile::Close() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
}

void SampleParameters(ProblemRecord& record, std::int32_t& seed) {
  for (int k = 1; k <= record.NPAR; ++k) {
    Parameter& p = record.parameters[k];
    if (!IsAdjustableParameter(p)) continue;
    const double u = UniformDeviate(seed);
    if (IsLogParameter(p)) {
      const double lower = std::pow(10.0, p.PARLBND);
      const double upper = std::pow(10.0, p.PARUBND);
      p.value = std::log10((upper - lower) * u + lower);
    } else {
      p.value = (p.PARUBND - p.PARLBND) * u + p.PARLBND;
    }
  }
}
