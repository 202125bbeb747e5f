#include "nist_files.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <system_error>

namespace nist {

namespace fs = std::filesystem;

namespace {

// ========================================================================================
// CONTROL SETTINGS, the same for all 27 problems: tune the benchmark here.
// Each row gives a control-file variable, its value for plain Levenberg-Marquardt ("make")
// and its value for the secant variant ("make --secant"); the text goes into the control
// file as written. Rows marked "no effect" are read by the control-file reader and ignored
// by the engine. The two variants differ in SLMMODE only: the SLM rows act with SLMMODE 1.
// ========================================================================================
struct ControlSetting {
  const char* name;
  const char* plain;
  const char* secant;
};

const ControlSetting kControlSettings[] = {
    // Control data.
    {"RSTFLE", "norestart", "norestart"},
    {"PESTMODE", "estimation", "estimation"},
    {"PRECIS", "double", "double"},   // no effect
    {"DPOINT", "point", "point"},     // no effect
    {"NUMCOM", "1", "1"},             // no effect
    {"JACFILE", "0", "0"},            // no effect
    {"MESSFILE", "0", "0"},           // no effect
    {"RLAMBDA1", "0.01", "0.01"},
    {"RLAMFAC", "2.0", "2.0"},
    {"PHIRATSUF", "0.3", "0.3"},
    {"PHIREDLAM", "0.01", "0.01"},
    {"NUMLAM", "10", "10"},
    {"RELPARMAX", "10.0", "10.0"},    // no effect
    {"FACPARMAX", "10.0", "10.0"},    // no effect
    {"FACORIG", "0.001", "0.001"},    // no effect
    {"ignored integer", "0", "0"},    // no effect
    {"PHIREDSWH", "0.5", "0.5"},
    {"ignored word", "noaui", "noaui"},  // no effect
    {"NOPTMAX", "500", "500"},
    {"PHIREDSTP", "1e-12", "1e-12"},
    {"NPHISTP", "10", "10"},
    {"NPHINORED", "20", "20"},
    {"RELPARSTP", "1e-10", "1e-10"},
    {"NRELPAR", "10", "10"},
    {"ICOV", "0", "0"},               // no effect
    {"ICOR", "0", "0"},               // no effect
    {"IEIG", "0", "0"},               // no effect
    {"SLMMODE", "0", "1"},
    {"SLMFULLUPD", "1", "1"},
    {"SLMFULLRAT", "0.9", "0.9"},
    {"SLMNCOL", "1", "1"},
    {"LSDISTMIN", "0.01", "0.01"},    // global methods only
    // The one parameter group.
    {"PARGPNME", "nist", "nist"},
    {"INCTYP", "relative", "relative"},  // no effect: perturbations are fixed
    {"DERINC", "0.01", "0.01"},          // no effect
    {"DERINCLB", "0.0", "0.0"},          // no effect
    {"FORCEN", "switch", "switch"},
    {"DERINCMUL", "2.0", "2.0"},         // no effect
    {"DERMTHD", "parabolic", "parabolic"},
    // Every parameter: untransformed, bounds so wide that they never bind.
    {"PARTRANS", "none", "none"},
    {"PARCHGLIM", "relative", "relative"},  // no effect
    {"PARLBND", "-1e10", "-1e10"},
    {"PARUBND", "1e10", "1e10"},
    {"SCALE", "1.0", "1.0"},                // no effect
    {"OFFSET", "0.0", "0.0"},               // no effect
    {"DERCOM", "1", "1"},                   // no effect
    // Every observation, all in one group.
    {"OBGNME", "nist", "nist"},
    {"WEIGHT", "1.0", "1.0"},
};

constexpr const char* kReplacementList = "tarne.in";

// A prediction that is not a finite number, or is larger than this, is written as this
// (with its sign): the instruction reader would take "nan" or "inf" for 0, a plausible value,
// while a huge finite one makes the trial's phi huge, so the engine rejects the step.
constexpr double kPredictionCap = 1e150;

// The variant of the control settings and the values given in place of the table's.
struct Choice {
  Settings settings;
  const SettingOverrides& overrides;
};

const char* Setting(const char* name, const Choice& choice) {
  for (auto it = choice.overrides.rbegin(); it != choice.overrides.rend(); ++it) {
    if (it->first == name) return it->second.c_str();
  }
  for (const ControlSetting& setting : kControlSettings) {
    if (std::strcmp(setting.name, name) == 0) {
      return choice.settings == Settings::kSecant ? setting.secant : setting.plain;
    }
  }
  std::fprintf(stderr, "tarne_nist: no control setting %s\n", name);
  std::abort();
}

// The settings named, separated by blanks, ending the line unless told otherwise.
std::string SettingsText(std::initializer_list<const char*> names, const Choice& choice,
                         bool end_line = true) {
  std::string text;
  for (const char* name : names) {
    if (!text.empty()) text += ' ';
    text += Setting(name, choice);
  }
  return end_line ? text + "\n" : text;
}

std::string ObservationName(int i, int points) {
  const int width = points >= 1000 ? static_cast<int>(std::to_string(points).size()) : 3;
  char name[32];
  std::snprintf(name, sizeof name, "o%0*d", width, i);
  return name;
}

std::string NumberText(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.17e", value);
  return text;
}

std::string ControlFileText(const Dataset& d, int start, const Choice& s) {
  const std::string name = d.model->name;
  const int k = d.parameter_count();
  std::string t = "pcf\n* control data\n";
  t += SettingsText({"RSTFLE", "PESTMODE"}, s);
  t += std::to_string(k) + " " + std::to_string(d.points) + " 1 0 1\n";
  t += "1 1 " + SettingsText({"PRECIS", "DPOINT", "NUMCOM", "JACFILE", "MESSFILE"}, s);
  t += SettingsText({"RLAMBDA1", "RLAMFAC", "PHIRATSUF", "PHIREDLAM", "NUMLAM"}, s);
  t += SettingsText({"RELPARMAX", "FACPARMAX", "FACORIG", "ignored integer"}, s);
  t += SettingsText({"PHIREDSWH", "ignored word"}, s);
  t += SettingsText({"NOPTMAX", "PHIREDSTP", "NPHISTP", "NPHINORED", "RELPARSTP", "NRELPAR"}, s);
  t += SettingsText({"ICOV", "ICOR", "IEIG"}, s);
  t += SettingsText({"SLMMODE", "SLMFULLUPD", "SLMFULLRAT", "SLMNCOL", "LSDISTMIN"}, s);
  t += name + ".prj\n";
  t += "* parameter groups\n";
  t += SettingsText(
      {"PARGPNME", "INCTYP", "DERINC", "DERINCLB", "FORCEN", "DERINCMUL", "DERMTHD"}, s);
  t += "* parameter data\n";
  for (int j = 1; j <= k; ++j) {
    t += "b" + std::to_string(j) + " " + SettingsText({"PARTRANS", "PARCHGLIM"}, s, false) +
         " " + d.start_text[start - 1][j] + " " +
         SettingsText({"PARLBND", "PARUBND", "PARGPNME", "SCALE", "OFFSET", "DERCOM"}, s);
  }
  t += "* observation groups\n";
  t += SettingsText({"OBGNME"}, s);
  t += "* observation data\n";
  for (int i = 0; i < d.points; ++i) {
    // The response as NIST wrote it, so that it reads back as the same double; log(y) in full.
    const std::string value =
        d.model->log_response ? NumberText(d.response[i]) : d.response_text[i];
    t += ObservationName(i + 1, d.points) + " " + value + " " +
         SettingsText({"WEIGHT", "OBGNME"}, s);
  }
  // The project's command runs the model; the post-run command has nothing left to do.
  t += "* model command line\nnone true\n";
  t += "* model input/output\n";
  t += name + ".tpl " + name + ".prj\n";
  t += name + ".ins " + kModelOutput + "\n";
  t += "* prior information\n";
  t += "* regularisation\n1.0e-10 1.05e-10 0.1\n1.0 1.0e-10 1.0e10\n1.3 1.0e-2\n";
  return t;
}

// The project file; with template_fields the same text as a template ("ptf $" and $bK$
// fields where the project has [bK]), so that the template checks match the project.
std::string ProjectText(const Dataset& d, int start, const std::string& command,
                        bool template_fields) {
  const std::string name = d.model->name;
  std::string t = template_fields ? "ptf $\n" : "";
  t += "# NIST StRD problem " + name + " from start " + std::to_string(start) +
       ", for \"tarne -slm " + name + "\". The engine writes\n"
       "# the parameters to values.in before every run; the command reads them there, "
       "evaluates\n# the model at the points of data.txt and writes model.out, which " +
       name + ".ins reads.\n";
  t += "kind external\n";
  for (int j = 1; j <= d.parameter_count(); ++j) {
    const std::string b = "b" + std::to_string(j);
    t += "parameter " + b + (template_fields ? " $" + b + "$\n" : " [" + b + "]\n");
  }
  t += std::string("replace ") + kReplacementList + "\n";
  t += std::string("values ") + kValueFile + "\n";
  t += "command " + command + "\n";
  return t;
}

std::string InstructionText(const Dataset& d) {
  std::string t = "pif #\n";
  for (int i = 1; i <= d.points; ++i) t += "l1 !" + ObservationName(i, d.points) + "!\n";
  return t;
}

// Header line: problem, parameters, points, predictors, start, control settings; then the
// predictors of every point as NIST wrote them.
std::string DataText(const Dataset& d, int start, Settings s) {
  std::string t =
      "# Inputs of the NIST StRD problem for \"tarne_nist model\": problem, parameters, "
      "points,\n# predictors, start and control settings, then the predictors of each point.\n";
  t += std::string(d.model->name) + " " + std::to_string(d.parameter_count()) + " " +
       std::to_string(d.points) + " " + std::to_string(d.model->predictors) + " " +
       std::to_string(start) + " " + SettingsLabel(s) + "\n";
  const size_t predictors = static_cast<size_t>(d.model->predictors);
  for (size_t i = 0; i < static_cast<size_t>(d.points); ++i) {
    for (size_t c = 0; c < predictors; ++c) {
      t += (c == 0 ? "" : " ") + d.predictor_text[i * predictors + c];
    }
    t += "\n";
  }
  return t;
}

// The command line of the project: this program, quoted for the shell when its path needs
// it. A path with "$" would add fields to the template, one with a quote or a line end
// cannot be quoted simply: both are refused (empty result).
std::string ModelCommand(const std::string& program) {
  if (program.find_first_of("$'\n\r") != std::string::npos) return "";
  const bool plain = program.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                               "abcdefghijklmnopqrstuvwxyz"
                                               "0123456789_./+-") == std::string::npos;
  return (plain ? program : "'" + program + "'") + " model " + kDataFile;
}

// Parses the header line of a data file (the first line that is not a comment) and leaves
// the cursor after it.
bool ParseDataHeader(const std::string& text, DataHeader& h, const char*& cursor) {
  size_t at = 0;
  while (at < text.size() && text[at] == '#') {
    const size_t end = text.find('\n', at);
    at = end == std::string::npos ? text.size() : end + 1;
  }
  const size_t end = std::min(text.find('\n', at), text.size());
  const std::string line = text.substr(at, end - at);
  char problem[64], settings[64];
  if (std::sscanf(line.c_str(), "%63s %d %d %d %d %63s", problem, &h.parameters, &h.points,
                  &h.predictors, &h.start, settings) != 6) {
    return false;
  }
  h.problem = problem;
  h.settings = settings;
  cursor = text.c_str() + end;
  return true;
}

// The file is overwritten in place and then cut to length rather than emptied on opening:
// emptying a file can cost more than the whole evaluation on some file systems.
bool WriteInPlace(const std::string& path, const std::string& text) {
  std::FILE* file = std::fopen(path.c_str(), "r+b");
  if (file == nullptr) file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  if (std::fclose(file) != 0 || !written) return false;
  std::error_code error;
  fs::resize_file(path, text.size(), error);
  return !error;
}

double Capped(double y) {
  if (std::isnan(y)) return kPredictionCap;
  return std::fabs(y) <= kPredictionCap ? y : std::copysign(kPredictionCap, y);
}

// A failed run leaves no output file: the engine then reports the missing output and ends
// the calibration, instead of reading the predictions of the run before.
int ModelFail(const std::string& output_path, const std::string& message) {
  std::fprintf(stderr, "tarne_nist model: %s\n", message.c_str());
  std::remove(output_path.c_str());
  return 1;
}

}  // namespace

bool IsControlSetting(const std::string& name) {
  for (const ControlSetting& setting : kControlSettings) {
    if (name == setting.name) return true;
  }
  return false;
}

const char* SettingsLabel(Settings settings) {
  return settings == Settings::kSecant ? "secant" : "plain";
}

bool MakeProblem(const Dataset& d, int start, const fs::path& dir, Settings settings,
                 const std::string& program, const SettingOverrides& overrides) {
  const std::string command = ModelCommand(program);
  if (command.empty()) {
    std::fprintf(stderr, "tarne_nist: the program path %s cannot stand in a project command\n",
                 program.c_str());
    return false;
  }
  std::error_code error;
  fs::create_directories(dir, error);
  if (error) {
    std::fprintf(stderr, "tarne_nist: cannot create %s: %s\n", dir.string().c_str(),
                 error.message().c_str());
    return false;
  }
  const std::string name = d.model->name;
  return WriteTextFile(dir / (name + ".pst"), ControlFileText(d, start, {settings, overrides})) &&
         WriteTextFile(dir / (name + ".tpl"), ProjectText(d, start, command, true)) &&
         WriteTextFile(dir / (name + ".prj"), ProjectText(d, start, command, false)) &&
         WriteTextFile(dir / (name + ".ins"), InstructionText(d)) &&
         WriteTextFile(dir / kDataFile, DataText(d, start, settings));
}

bool ReadDataHeader(const std::string& path, DataHeader& header) {
  std::string text;
  const char* cursor = nullptr;
  return ReadWholeFile(path, text) && ParseDataHeader(text, header, cursor);
}

int RunModel(const std::string& data_path, const std::string& values_path,
             const std::string& output_path) {
  std::string data, values;
  if (!ReadWholeFile(data_path, data)) return ModelFail(output_path, "cannot read " + data_path);
  DataHeader h;
  const char* cursor = nullptr;
  if (!ParseDataHeader(data, h, cursor)) {
    return ModelFail(output_path, data_path + ": no valid header line");
  }
  const ProblemModel* model = FindProblem(h.problem);
  if (model == nullptr || model->parameters != h.parameters ||
      model->predictors != h.predictors || h.points < 1) {
    return ModelFail(output_path, data_path + ": the header does not describe a NIST problem");
  }
  const size_t predictors = static_cast<size_t>(h.predictors);
  std::vector<double> x;
  x.reserve(static_cast<size_t>(h.points) * predictors);
  if (!ReadNumbers(cursor, h.points * h.predictors, x)) {
    return ModelFail(output_path, data_path + ": fewer predictor values than the header announces");
  }
  if (!ReadWholeFile(values_path, values)) {
    return ModelFail(output_path, "cannot read " + values_path);
  }
  std::vector<double> b(1, 0.0);  // b[1..k]
  const char* value_cursor = values.c_str();
  if (!ReadNumbers(value_cursor, h.parameters, b)) {
    return ModelFail(output_path, values_path + " holds fewer than " +
                                      std::to_string(h.parameters) + " parameter values");
  }
  std::string out;
  out.reserve(static_cast<size_t>(h.points) * 26);
  char line[48];
  for (size_t i = 0; i < static_cast<size_t>(h.points); ++i) {
    const double y = Capped(model->predict(b.data(), &x[i * predictors]));
    out.append(line, static_cast<size_t>(std::snprintf(line, sizeof line, "%.17e\n", y)));
  }
  if (!WriteInPlace(output_path, out)) return ModelFail(output_path, "cannot write " + output_path);
  return 0;
}

bool ReadWholeFile(const std::string& path, std::string& text) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  text.clear();
  char buffer[65536];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, got);
  const bool ok = std::ferror(file) == 0;
  std::fclose(file);
  return ok;
}

bool ReadNumbers(const char*& cursor, int count, std::vector<double>& out) {
  for (int i = 0; i < count; ++i) {
    char* end = nullptr;
    const double value = std::strtod(cursor, &end);
    if (end == cursor) return false;
    out.push_back(value);
    cursor = end;
  }
  return true;
}

bool WriteTextFile(const fs::path& path, const std::string& text) {
  std::FILE* file = std::fopen(path.string().c_str(), "wb");
  if (file == nullptr) {
    std::fprintf(stderr, "tarne_nist: cannot create %s: %s\n", path.string().c_str(),
                 std::strerror(errno));
    return false;
  }
  const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  if (std::fclose(file) != 0 || !written) {
    std::fprintf(stderr, "tarne_nist: cannot write %s\n", path.string().c_str());
    return false;
  }
  return true;
}

}  // namespace nist
