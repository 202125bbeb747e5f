// The restart file of a global method ("slm_kor_ms1.rst", "slm_kor_mlsl.rst",
// "slm_kor_ms2.rst"): the inputs the run started from, the model steps it has finished, the
// case files as they stood after the last of them and, while a local search is under way, that
// search's points so far with the engine's restart file of its last iteration. Written whole
// beside the old file and renamed over it, so that a kill at any moment leaves a complete
// one; read back by a run started with "/r". Used by MethodRestart (method_restart.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "global/objectives.h"
#include "modellib/fingerprint.h"
#include "numeric/numeric.h"
#include "pest/problem.h"

// What a run was started from: the control file's name and fingerprints of the contents of
// the method's input file, the control file and (when it is read) the seeds file.
struct RunInputs {
  std::string control_file;
  std::uint64_t method_input = 0;
  std::uint64_t control = 0;
  std::uint64_t seeds = 0;  // 0 when the seeds file is not read
};

// One finished model step of a method: a sample run or a local search, as it came out.
struct StepResult {
  bool search = false;  // false: a sample run
  short status = 0;
  long model_calls = 0;
  dvector point;          // the sample, or the search's start: stored values of every parameter
  Objectives objectives;  // the total and each group's contribution after the step
  dvector end;            // a search: the stored values it left the parameters at
  // A recording search: the objective its start point carries after the search, and the
  // points it added to the trajectory with theirs.
  double start_objective = 0.0;
  std::vector<dvector> recorded;
  std::vector<double> recorded_objectives;
};

struct ResumeImage {
  RunInputs inputs;
  long record_length = 0;       // bytes of the case's record file after the last commit
  long sensitivity_length = 0;  // and of its sensitivity file
  std::string best_parameters;  // the content of the case's best-parameter file then
  std::vector<long> marks;      // steps before which a resumed run went on (0 = the first)
  std::vector<StepResult> steps;
  // A local search under way: its start and its points so far (status, objectives and end
  // are not used), and the engine's restart file of its last completed iteration.
  bool search_under_way = false;
  StepResult under_way;
  std::string engine_state;
};

// Writes image as name, whole beside the old file and renamed over it, on disk before the
// rename (see modellib/replace_file.h). Returns 0, or 1 after a reported failure.
short WriteResumeFile(const char* name, const ResumeImage& image);

// Reads name into image, checking its form, its checksum (a file changed or cut short is
// refused) and that every point and objective list has the sizes of record. False after one
// line naming the file, the line and what is wrong.
bool ReadResumeFile(const char* name, const ProblemRecord& record, ResumeImage& image);

// The fingerprint (modellib/fingerprint.h) of the content of the file name; false after a
// line naming the file and the reason when it cannot be read.
bool FileFingerprint(const char* name, std::uint64_t& fingerprint);
