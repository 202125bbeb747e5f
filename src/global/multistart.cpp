#include "global/multistart.h"

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "global/global_problem.h"
#include "global/method_input.h"
#include "global/sampling.h"
#include "lm/lm_state.h"
#include "pest/file_report.h"
#include "pest/instruction_files.h"
#include "pest/parameters.h"
#include "pest/template_files.h"

namespace {

constexpr const char* kInputFileName = "ms.in";
constexpr const char* kMethodRecordName = "slm_kor_ms1.rec";
constexpr const char* kSampleFileName = "parameters.prn";

constexpr double kInfinite = std::numeric_limits<double>::infinity();

// What "ms.in" asks for: the first state of the seed chain and the number of samples, which
// is also the number of local searches.
struct MultistartInput {
  std::uint32_t seed = 0;
  long runs = 0;
};

bool ReadMultistartInput(std::FILE* file, MultistartInput& input) {
  InputReader in(file, kInputFileName);
  return in.Seed("the random seed", input.seed) &&
         in.Count("the number of pre-inversion runs", 0, input.runs);
}

void PrintBanner() {
  std::printf("\nUsing the multistart stochastic global optimization method,\n");
  std::printf("as implemented directly in TARNE, to calibrate the current TARNE model.\n");
  std::printf("Multistart uses the (Secant) Levenberg-Marquardt local search method,\n");
  std::printf("as implemented directly in TARNE, for local search.\n\n");
}

// ---- slm_kor_ms1.rec and parameters.prn -----------------------------------------------------

void WriteControlSection(std::FILE* rec, const MultistartInput& input, const char* case_name,
                         const ProblemRecord& record) {
  std::fprintf(rec, "                        CT_MS1 CONTROL INFORMATION\n\n");
  std::fprintf(rec, "Input unsigned long random seed                             : %u\n",
               static_cast<unsigned>(input.seed));
  std::fprintf(rec, "Number of pre-inversion runs to carry out                   : %ld\n",
               input.runs);
  std::fprintf(rec, "Name of existing control file : %s\n\n", case_name);
  std::fprintf(rec, "                   RESULTS OF PRE-INVERSION SAMPLE RUNS\n\n");
  for (int k = 1; k <= record.NPAR; ++k) {
    const Parameter& p = record.parameters[k];
    if (IsAdjustableParameter(p)) std::fprintf(rec, "%s\t", p.PARNME);
  }
  std::fprintf(rec, "Total\t");
  for (int g = 1; g <= record.NOBSGP; ++g) {
    std::fprintf(rec, "%s\t", record.observation_groups[g].OBGNME);
  }
  std::fprintf(rec, "\n");
}

void WriteSampleRow(std::FILE* rec, const ProblemRecord& record, const dvector& point,
                    const Objectives& objectives) {
  for (int k = 1; k <= record.NPAR; ++k) {
    const Parameter& p = record.parameters[k];
    if (IsAdjustableParameter(p)) std::fprintf(rec, "%lf\t", NaturalValue(p, point[k]));
  }
  for (int g = 0; g <= record.NOBSGP; ++g) std::fprintf(rec, "%lf\t", objectives[g]);
  std::fprintf(rec, "\n");
  std::fflush(rec);
}

// One line per sample: every parameter (fixed and tied included) in natural units.
void WriteSampleFileRow(std::FILE* file, const ProblemRecord& record) {
  for (int k = 1; k <= record.NPAR; ++k) {
    std::fprintf(file, "%.12E\t", NaturalValue(record.parameters[k]));
  }
  std::fprintf(file, "\n");
  std::fflush(file);
}

void WriteSearchResults(std::FILE* rec, long run, const ProblemRecord& record,
                        const dvector& start, const Objectives& starting,
                        const Objectives& optimised) {
  std::fprintf(rec, " Results of CT inversion run number %ld --->\n\n", run);
  std::fprintf(rec, "     Parameter values:-\n\n");
  std::fprintf(rec, "         Parameter           Starting parameter  Optimised parameter\n");
  std::fprintf(rec, "         name                value               value\n");
  for (int k = 1; k <= record.NPAR; ++k) {
    const Parameter& p = record.parameters[k];
    if (!IsAdjustableParameter(p)) continue;
    std::fprintf(rec, "\t%s\t%lf\t%lf\n", p.PARNME, NaturalValue(p, start[k]), NaturalValue(p));
  }
  std::fprintf(rec, "\n\n     Objective function(s):-\n\n");
  std::fprintf(rec, "         Observation         Starting objective  Optimised objective\n");
  std::fprintf(rec, "         group name          function value      function value\n");
  for (int g = 0; g <= record.NOBSGP; ++g) {
    std::fprintf(rec, "\t%s\t%lf\t%lf\n", g == 0 ? "total" : record.observation_groups[g].OBGNME,
                 starting[g], optimised[g]);
  }
  std::fprintf(rec, "\n\n");
  std::fflush(rec);
}

// ---- The two phases -------------------------------------------------------------------------

// What the sampling phase leaves for the local searches.
struct Samples {
  std::vector<dvector> points;         // [i - 1]: stored values of all NPAR parameters
  std::vector<Objectives> objectives;  // [i - 1]: the sample run's objectives
  short last_status = 0;               // the status of the last sample run
};

// Draws N points, writes each one's seed and values, and runs the model once at each (a
// search with NOPTMAX 0; sample runs never resume from a restart file). The control section
// of slm_kor_ms1.rec follows the first sample, so that N = 0 leaves it out. A failed sample
// run does not stop the phase: one screen line names it, its objectives, never computed, are
// taken as infinite, and its point still gets its local search. Only the last sample run's
// status counts: when it failed, the caller skips the local-search phase.
Samples SamplingPhase(GlobalProblem& problem, const MultistartInput& input, std::FILE* rec,
                      std::FILE* sample_file, SeedsFile& seeds) {
  ProblemRecord& record = problem.record;
  SeedChain chain(input.seed);
  Samples samples;
  for (long i = 1; i <= input.runs; ++i) {
    std::int32_t seed = chain.Next();
    SampleParameters(record, seed);
    if (record.NUMTIED > 0) RecomputeTiedParameters(record);
    // The seeds file receives the seed as the draw left it (advanced once per deviate); the
    // samples are reproduced from the seed in "ms.in", not from this file.
    seeds.Use(seed);
    WriteSampleFileRow(sample_file, record);
    samples.points.push_back(CurrentParameterValues(record));
    samples.objectives.emplace_back();
    samples.last_status = RunSample(problem, i, samples.objectives.back());
    if (i == 1) WriteControlSection(rec, input, problem.names.base, record);
    WriteSampleRow(rec, record, samples.points.back(), samples.objectives.back());
  }
  return samples;
}

// The lowest final total objective of the local searches and the search it came from.
struct Lowest {
  double objective = kInfinite;
  long run = 0;
};

// A full local search from every sample in the order drawn, each on a fresh engine state
// with the control file's RLAMBDA1 and every parameter (fixed and tied included) loaded
// from its starting point. Returns the status of the last search.
short SearchPhase(GlobalProblem& problem, const Samples& samples, std::FILE* rec,
                  Lowest& lowest) {
  ProblemRecord& record = problem.record;
  const long runs = static_cast<long>(samples.points.size());
  short status = 0;
  for (long r = 1; r <= runs; ++r) {
    const dvector& point = samples.points[r - 1];
    // After a failed search the next one starts from the parameters the failed one left
    // instead of its own point, as the method has it; the screen says so. Its table still
    // shows the point and the sample objectives of its own number.
    const bool from_sample = status == 0;
    if (!from_sample) {
      std::printf("\nLocal search %ld starts from the parameters the failed local search %ld "
                  "left, not from its sample.\n", r, r - 1);
    }
    const dvector start = from_sample ? point : CurrentParameterValues(record);
    // After "/r" the first search continues from the restart file (the state of the search
    // that was stopped) and the later ones start normally from their points.
    long model_calls = 0;
    status = RunLocalSearch(problem, start, problem.restart && r == 1, model_calls);
    Objectives optimised;
    if (status == 0) {
      optimised = GroupObjectives(record);
      if (optimised[0] < lowest.objective) lowest = {optimised[0], r};
    } else {
      // The group contributions are those of whatever run came last before the failure, not
      // of the parameters the search stopped at; none of them is reported.
      std::printf("\nLocal search %ld failed; its optimised objective functions are taken "
                  "as infinite.\n", r);
      optimised = InfiniteObjectives(record);
    }
    WriteSearchResults(rec, r, record, point, samples.objectives[r - 1], optimised);
  }
  return status;
}

void PrintSummary(long runs, const Samples& samples, const Lowest& lowest) {
  if (runs == 0) {
    std::printf("\nNo local search was run: %s asks for 0 pre-inversion runs.\n",
                kInputFileName);
  } else if (samples.last_status != 0) {
    std::printf("\nNo local search was run: the last pre-inversion sample run failed.\n");
  } else if (lowest.run == 0) {
    std::printf("\nNo local search ended successfully, so there is no lowest objective "
                "function.\n");
  } else {
    std::printf("\nLowest objective function of all local searches: %lf, from local search "
                "%ld of %ld\n", lowest.objective, lowest.run, runs);
  }
}

}  // namespace

short RunMultistart(tarne::mpi_setup* partition, int argc, char** argv) {
  if (RefuseMissingArguments(argc)) return 1;
  PrintBanner();
  if (argc < 3) {
    // Said before the method's files are opened, so a forgotten name empties no record.
    std::printf("\nNo control file was named after %s.\n", argv[1]);
    return 1;
  }
  // The method's own files are opened before anything else, so that a missing "ms.in"
  // stops the method before any model run.
  const MethodFile input_file = OpenMethodFile(kInputFileName, "r");
  if (!input_file) return 1;
  const MethodFile rec = OpenMethodFile(kMethodRecordName, "w");
  if (!rec) return 1;

  GlobalProblem problem;
  bool stop = true;
  short status = LoadGlobalProblem(partition, argc, argv, "slm_kor_ms1", problem, &stop);
  if (stop) return status;
  const MethodFile sample_file = OpenMethodFile(kSampleFileName, "w");
  if (!sample_file) return 1;
  SeedsFile seeds;
  if (!seeds.Open(SeedsFile::Mode::kWrite)) return 1;
  MultistartInput input;
  if (!ReadMultistartInput(input_file.get(), input)) return 1;

  const Samples samples = SamplingPhase(problem, input, rec.get(), sample_file.get(), seeds);
  Lowest lowest;
  status = samples.last_status;
  if (status == 0) {
    std::fprintf(rec.get(), "\n\n                   RESULTS OF CT OPTIMIZATION RUNS\n\n\n");
    std::fflush(rec.get());
    status = SearchPhase(problem, samples, rec.get(), lowest);
  }
  PrintSummary(input.runs, samples, lowest);
  if (status != 0) return status;
  return CloseGlobalProblem(problem);
}
