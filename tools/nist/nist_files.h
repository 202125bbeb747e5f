// The files of a NIST problem made for "tarne -slm": the control settings every problem
// gets, the writing of the control, template, project, instruction and data files, and the
// model run that reads the data and value files and writes the model output. Used by the
// make, model, score and selfcheck commands of tarne_nist.
#pragma once

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "nist_problems.h"

namespace nist {

// Files of a made problem besides <name>.pst, .tpl, .prj and .ins, all in the run directory.
constexpr const char* kDataFile = "data.txt";      // the model's inputs
constexpr const char* kModelOutput = "model.out";  // the predictions, read by <name>.ins
constexpr const char* kValueFile = "values.in";    // written by the engine before every run

// The two sets of control settings: plain Levenberg-Marquardt and its secant variant.
enum class Settings { kPlain, kSecant };
const char* SettingsLabel(Settings settings);

// Control settings given their own values (name, value), in place of the variant's: the
// last pair of a name counts. Lets a benchmark vary a setting without a variant of its own.
using SettingOverrides = std::vector<std::pair<std::string, std::string>>;
// Whether name is one of the control settings every problem gets (what may be overridden).
bool IsControlSetting(const std::string& name);

// Writes the problem from the start (1 or 2) into dir, which is created if missing. program
// is the absolute path of tarne_nist, which the project runs as the model. Returns false
// after a message on standard error.
bool MakeProblem(const Dataset& dataset, int start, const std::filesystem::path& dir,
                 Settings settings, const std::string& program,
                 const SettingOverrides& overrides = {});

// What the header line of a data file says.
struct DataHeader {
  std::string problem;
  int parameters = 0;
  int points = 0;
  int predictors = 0;
  int start = 0;
  std::string settings;
};

// Reads the header line of a data file; false when the file or its header cannot be read.
bool ReadDataHeader(const std::string& path, DataHeader& header);

// One model run: reads the data file and the parameter values from the value file, writes
// one prediction per line ("%.17e") to the output file. Returns 0, or 1 after a message on
// standard error and with the output file removed.
int RunModel(const std::string& data_path, const std::string& values_path,
             const std::string& output_path);

// The whole content of a file; false when it cannot be read.
bool ReadWholeFile(const std::string& path, std::string& text);
// Reads count numbers from text at cursor, moving it past them and appending them to out;
// false when fewer are found.
bool ReadNumbers(const char*& cursor, int count, std::vector<double>& out);
// Writes a text file anew; false after a message on standard error.
bool WriteTextFile(const std::filesystem::path& path, const std::string& text);

}  // namespace nist
