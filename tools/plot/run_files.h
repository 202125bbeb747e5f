// Readers of the files a Monte Carlo or SCE calibration leaves in its working directory (the
// sample logs, the best-result files, the input file) and of the model files they name
// (project, replacement list, value file, observation, forcing and hydrograph files). Each
// reader checks what it reads and reports the first fault as one FileError line.
#pragma once

#include <string>
#include <vector>

namespace tarne_plot {

// One logged evaluation: the objective and the parameter values, in the order of the input.
struct Sample {
  long source = 0;  // Monte Carlo: the partition whose log holds it; SCE: evaluation number
  double objective = 0.0;
  double best_so_far = 0.0;  // SCE only: the smallest objective up to this evaluation
  std::vector<double> values;
};

struct SampleLog {
  std::vector<std::string> names;  // parameter names (column headings), may be empty
  std::vector<Sample> samples;
};

struct BestSet {
  bool has_objective = false;
  double objective = 0.0;
  std::vector<double> values;
};

// All "log_file_p<N>.log" files in a directory, in partition order (empty when none).
std::vector<std::string> FindMonteCarloLogs(const std::string& directory);
// Reads the Monte Carlo logs: a header "Cost  \t<name>\t...", then "cost\tp1\t...\tpn\t" lines.
bool ReadMonteCarloLogs(const std::vector<std::string>& paths, SampleLog* log,
                        std::string* error);
// "best.out": "<objective>:  p1 p2 ... pn" with n parameters.
bool ReadMonteCarloBest(const std::string& path, std::size_t n, BestSet* best,
                        std::string* error);

// "sce_log_file.txt": a header, then "number cost min-cost : p1 ... pn" lines.
bool ReadSceLog(const std::string& path, SampleLog* log, std::string* error);
// "sce_best.out": a header line, then one parameter per line (n of them).
bool ReadSceBest(const std::string& path, std::size_t n, BestSet* best, std::string* error);
// The final objective of "sce_output.out" (the line after the final-estimate banner).
bool ReadSceFinalObjective(const std::string& path, double* objective, std::string* error);

// The input file of a Monte Carlo ("-m", "-s") or SCE ("-c") run.
struct CalibrationInput {
  enum class Kind { kMonteCarlo, kSce };
  Kind kind = Kind::kMonteCarlo;
  std::string path;
  std::string project;       // line 1, relative to the run's working directory
  std::string list;          // line 2: the replacement list naming the calibrated parameters
  std::string observations;  // line 3
  std::size_t parameter_count = 0;
};
// Recognises and reads an input file; returns false (with a reason) for any other file.
bool ReadCalibrationInput(const std::string& path, CalibrationInput* input, std::string* error);

// A replacement list: a count line, then "[name] "format"" lines.
struct ReplacementList {
  std::vector<std::string> names;
  std::vector<std::string> formats;
};
bool ReadReplacementList(const std::string& path, ReplacementList* list, std::string* error);
// The numbers of the first line of a value file.
bool ReadFirstValueLine(const std::string& path, std::vector<double>* values,
                        std::string* error);

// A model project: its kind, the files it names and its parameters.
struct ProjectFile {
  std::string path;
  std::string kind;
  std::vector<std::string> lines;  // as read
  struct Entry {
    std::string keyword;
    std::vector<std::string> values;  // words before any comment
    std::size_t line = 0;             // index into lines
  };
  std::vector<Entry> entries;
  const Entry* Find(const std::string& keyword) const;
};
bool ReadProjectFile(const std::string& path, ProjectFile* project, std::string* error);

// The model parameter whose value is exactly "[name]" (case-insensitive), or "".
std::string ModelParameterOf(const ProjectFile& project, const std::string& replacement_name);
// The unit of a hydro model parameter ("mm", "h", "m/s", "-"), or "" when not one.
std::string HydroParameterUnit(const std::string& model_parameter);

// Rows of numbers: observation files ("time value weight"), forcing files ("time
// precipitation evaporation"), hydrographs ("time discharge"). Blank lines and '#' comments
// are skipped; every other line must hold exactly `columns` numbers.
struct Table {
  std::vector<std::vector<double>> rows;
};
bool ReadNumberTable(const std::string& path, std::size_t columns, Table* table,
                     std::string* error);

}  // namespace tarne_plot
