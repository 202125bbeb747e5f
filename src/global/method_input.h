// What the three global methods share around their own files: opening a method file with a
// clear line when it cannot be opened, the checked reading of the method's input file, and
// the objectives of a sample or search (the total and every group's contribution).
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "modellib/token_reader.h"
#include "pest/problem.h"

struct MethodFileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using MethodFile = std::unique_ptr<std::FILE, MethodFileCloser>;

// Opens a file of a method; when it cannot be opened, one line names it and the reason and
// the result is empty.
MethodFile OpenMethodFile(const char* name, const char* mode);

// The method input file's layer over the token reader: the whitespace-separated values of
// the file, each checked as it is read; a missing, malformed or out-of-range value is
// reported with the file, its line, the value's name and the text found.
class InputReader {
 public:
  InputReader(std::FILE* file, const char* name) : in_(name, file) {}

  bool Word(const char* what, std::string& word) { return in_.Word(what, word); }
  // A whole number of at least minimum.
  bool Count(const char* what, long minimum, long& value);
  // A finite number; valid, when given, says whether it is in range, and requirement how.
  bool Real(const char* what, double& value, bool (*valid)(double) = nullptr,
            const char* requirement = "");
  // An unsigned 32-bit seed (see ParseUserSeed).
  bool Seed(const char* what, std::uint32_t& seed);

 private:
  // "<what> is \"<word>\", not <kind>", reported; false.
  bool NotA(const char* what, const std::string& word, const char* kind) const;

  tarne::TokenReader in_;
};

// Entry 0 the total objective function, entry g the contribution of observation group g.
using Objectives = std::vector<double>;
// The objectives of the last model run.
Objectives GroupObjectives(const ProblemRecord& record);
// The objectives of a run that failed: nothing was computed for its parameters, so they are
// taken as infinite (printed "inf"), which no finished run can undercut.
Objectives InfiniteObjectives(const ProblemRecord& record);

class SeedChain;
class SeedsFile;
struct GlobalProblem;

// Draws the next sample: the next seed of the chain (given to the seeds file first unless
// use_seeds_file is false), the adjustable parameters sampled inside their bounds and the
// tied ones re-tied.
void DrawSample(ProblemRecord& record, SeedChain& chain, SeedsFile& seeds,
                bool use_seeds_file);

// The sample run at the current values; objectives receives its objectives, or infinite
// ones after a failed run, which one screen line reports with the sample's number. Returns
// the run's status.
short RunSample(GlobalProblem& problem, long number, Objectives& objectives);

// The lines a method prints when the command line holds no words after the program name;
// true when it printed them.
bool RefuseMissingArguments(int argc);
