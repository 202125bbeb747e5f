// Readers of what a Levenberg-Marquardt run ("-slm", and the multistart, MLSL and trajectory
// repulsion methods built on it) leaves behind: the record file with its iterations, lambda
// trials and results section; the few fields of the control file that tell which project
// and which model output files the run used; and the plain line instructions that place
// each observation on a line of a model output file.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace tarne_plot {

struct LambdaTrial {
  double lambda = 0.0;
  double phi = 0.0;
};

struct Iteration {
  long number = 0;
  long model_calls = 0;
  double starting_phi = 0.0;
  std::vector<LambdaTrial> trials;
};

struct ObservationRow {
  std::string name;
  double measured = 0.0;
  double calculated = 0.0;
  double residual = 0.0;
  double weight = 0.0;
  std::string group;
};

// One run of the engine in the record: from its initial model run to its results section.
// The global methods write one such run per sample and per local search into the same file.
struct EngineRun {
  long first_line = 0;  // line of "INITIAL CONDITIONS:" (or of the first iteration)
  bool has_initial_phi = false;
  double initial_phi = 0.0;
  std::vector<Iteration> iterations;
  std::string stop_message;  // the first line of "Optimization complete: ..." when written
  bool has_results = false;
  bool no_iterations = false;  // the results say that no iteration was carried out
  double final_phi = 0.0;
  std::vector<ObservationRow> observations;
};

struct RecordFile {
  std::string path;
  std::vector<EngineRun> runs;
};

// Reads a record file. Fails on an empty file, a file without any engine run, and a line
// that the engine writes with a number which does not read as one.
bool ReadRecordFile(const std::string& path, RecordFile* record, std::string* error);

// What tarne-plot needs from a control file.
struct ControlFileInfo {
  std::string project;  // PROJFLE
  std::vector<std::pair<std::string, std::string>> instruction_files;  // (instruction, output)
};
bool ReadControlFileInfo(const std::string& path, ControlFileInfo* info, std::string* error);

// For an instruction file made of line advances "l<n>", whitespace skips "w" and reads at the
// current line ("!name!", "[name]a:b", "(name)a:b"), the 0-based line of the model output
// file on which each observation stands. Any other instruction (markers in particular) makes
// the placement unknown: the call fails with the line of that instruction.
bool MapObservationLines(const std::string& path, std::map<std::string, std::size_t>* lines,
                         std::string* error);

}  // namespace tarne_plot
