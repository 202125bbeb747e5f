// The problems of the method comparison (bench_methods): each is written both as a
// model-library objective for Monte Carlo and SCE ("-m", "-c") and as a PEST-format case for
// the Levenberg-Marquardt tools ("-slm", "-ms", "-mlsl", "-tr"), with the same bounds and the
// same objective (phi, the sum of squared residuals), and the model program both forms run.
// Used by methods_bench.cpp and methods_runs.cpp.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace methods {

enum class ProblemKind {
  kSine,   // y = amplitude sin(frequency t) + offset, the case of examples/global
  kNist,   // a NIST StRD problem, bounds a factor of 10 around the certified values
  kHydro,  // the catchment of examples/tradeoff, a "hydro" project of the model library
};

struct Problem {
  std::string label;  // as the table shows it
  ProblemKind kind = ProblemKind::kSine;
  std::vector<std::string> names;  // parameter names, in order
  std::vector<double> lower, upper;
  std::vector<double> initial;   // the control file's start (middle of the bounds, or given)
  std::vector<double> observed;  // observation values, weight 1 each
  std::vector<std::string> observation_names;
  double global_phi = 0.0;        // phi at the global minimum
  std::string global_source;      // where global_phi comes from, for the table's heading
  long budget = 0;                // the fixed budget of model runs
  std::string dat;                // kNist: the .dat file
  std::filesystem::path example;  // kSine, kHydro: the example directory
};

// Everything a run directory needs from outside: the program that is the model (this
// benchmark itself, linked under the name the model command calls) and the data.
struct Sources {
  std::filesystem::path self;      // this program
  std::filesystem::path examples;  // the repository's examples/
  std::filesystem::path nist;      // the directory of the NIST .dat files
};

// The NIST problems of the comparison: plain "-slm" fails on each from its first start.
const std::vector<std::string>& NistProblemNames();

// Builds the problem of that label ("sine", "hydro" or a NIST name); false with a reason.
bool MakeProblem(const std::string& label, const Sources& sources, Problem& problem,
                 std::string& error);

// Phi as the model program computes it: the sum of squared differences, every weight 1.
// A value that is not finite (an overflowing model) counts as kHugePhi.
constexpr double kHugePhi = 1e300;
double SumOfSquares(const std::vector<double>& observed, const std::vector<double>& simulated);

// The control data of a PEST case, from RLAMBDA1 to LSDISTMIN and the derivative settings of
// the parameter group: one text for every problem (see methods_runs.cpp).
struct ControlText {
  std::string lines;             // the lines between the counts and the project file name
  std::string derivative_group;  // the group line after its name
};

// Writes the PEST-format case "case" into dir: case.pst starting at start, the project with
// its template and instruction file, the model's description and the model link.
void WritePestCase(const Problem& problem, const Sources& sources, const ControlText& control,
                   const std::vector<double>& start, const std::filesystem::path& dir);

// Writes the model-library form into dir: objective.prj, the replacement list calibrated.lst
// (the second path of mc.in and sce.in), the observation file observations.obs, the model's
// description and link. Monte Carlo and SCE input files are written by the caller.
void WriteObjectiveCase(const Problem& problem, const Sources& sources,
                        const std::filesystem::path& dir);
constexpr const char* kObjectiveProject = "objective.prj";
constexpr const char* kCalibratedList = "calibrated.lst";
constexpr const char* kObservationFile = "observations.obs";

// The phi of every model run a method made in dir, in order: the model program's trace, or
// for the hydro problem's model-library form (which runs in-process) the Monte Carlo or SCE
// log, whose objective (the mean square) is turned into phi. Empty when nothing was run.
enum class TraceSource { kModel, kMonteCarloLog, kSceLog };
TraceSource TraceSourceOf(const Problem& problem, bool objective_form, bool sce);
std::vector<double> ReadTrace(const std::filesystem::path& dir, TraceSource source,
                              double objective_to_phi);
// The objectives of a Monte Carlo log ("cost\tparameters...") or an SCE log ("number cost
// smallest : parameters"), in order; lines that do not read are skipped.
std::vector<double> MonteCarloLogObjectives(const std::string& text);
std::vector<double> SceLogObjectives(const std::string& text);

// Writes a text file anew; a failure ends the benchmark with a message.
void WriteTextFile(const std::filesystem::path& path, const std::string& text);
// A number as text that reads back as the same double.
std::string ExactNumber(double value);

// The model program: started as the model command in a run directory, it reads the model's
// description there and evaluates one run. Returns the exit status.
int RunModelCommand();
constexpr const char* kModelLink = "bench_model";  // the name the model command calls

}  // namespace methods
