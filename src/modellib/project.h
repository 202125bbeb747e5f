// The project file: one keyword and its values per line, '#' comments. ReadProject checks
// every line and the combination of keywords for the model kind, reporting the first fault
// with file name and line number. Called by the model run object for every run. Relative
// file names in a project are taken relative to the project file's directory.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace tarne {

enum class ModelKind { kNone, kHydro, kFunction, kExternal };

struct ProjectParameter {
  std::string name;
  std::string value_text;  // as written; may hold "[name]" fields to be replaced
  long line = 0;
};

// A line of the project that may be given several times, with the line it stands on.
struct ProjectCommand {
  std::string text;  // the rest of the line after 'command'
  long line = 0;
};
struct ProjectTemplate {
  std::string template_file;  // PEST template
  std::string input_file;     // the model input file written from it
  long line = 0;
};

struct Project {
  std::string file;  // the project file name as given
  ModelKind kind = ModelKind::kNone;
  std::vector<ProjectParameter> parameters;
  std::string output;          // output file (function, hydro, external)
  std::string replace_list;    // replacement list
  std::string value_file;      // value file
  // function kind
  std::string function_name;
  // external kind
  std::vector<ProjectCommand> commands;    // run in order after the input files are written
  std::vector<ProjectTemplate> templates;  // model input files written before the commands
  std::string objective_file;  // first number in it is the objective of a calibration run
  // hydro kind
  long grid_columns = 0;
  long grid_rows = 0;
  double cell_size = 1000.0;   // metres
  double time_step = 24.0;     // hours
  std::string forcing;
  long outlet_column = 1;      // 1-based cell of the outlet
  long outlet_row = 1;
  double rain_gradient = 0.0;  // relative change of rain from the first to the last row
  double initial_soil = 0.5;   // initial soil storage as a fraction of the capacity
  double peak_weight = 0.0;
  double volume_weight = 0.0;
  // Line of every keyword given (keyword, line), for messages about the files they name.
  std::vector<std::pair<std::string, long>> keyword_lines;
};

// Line of the project on which keyword was given, or 0.
long KeywordLine(const Project& project, const char* keyword);

// Reports "cannot read <project> (line N): cannot open the <keyword> file <path>: <reason>"
// for a file named by keyword that cannot be opened or is not a regular file.
void ReportUnopenedFile(const Project& project, const char* keyword, const std::string& path,
                        const std::string& reason);

// Names of the hydro model's parameters, in the order the model takes them.
extern const char* const kHydroParameterNames[6];

// Reads and checks the project file path into project. Returns 0, or 1 after printing one
// message "cannot read <file> (line N): <reason>" on standard error.
int ReadProject(const std::string& path, Project* project);

// The number of the project's parameters called name (case ignored), or -1.
int FindParameter(const Project& project, const std::string& name);

}  // namespace tarne
