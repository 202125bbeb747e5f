// The simulated hydrograph over the observed one. A Monte Carlo or SCE search runs its model
// without writing the hydrograph, so the best set is run once more: tarne-plot writes a copy
// of the project into the output folder that takes the best values through its own
// replacement list and value file and writes its hydrograph there, and runs tarne on it. A
// Levenberg-Marquardt run leaves the hydrograph of its final model run in place; its
// measured values are put on it in time through the instruction file that reads it.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "plot_run.h"
#include "plot_text.h"

namespace fs = std::filesystem;

namespace tarne_plot {

namespace {

struct ObservedPoint {
  double time = 0.0;
  double value = 0.0;
  double weight = 0.0;
};

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string ProjectDir(const std::string& project_path) {
  return fs::path(project_path).parent_path().string();
}

// A file the project names, as a path relative to the output folder (the copy's directory).
bool RelativeToOutput(const PlotRequest& request, const std::string& project_path,
                      const std::string& name, std::string* relative, std::string* error) {
  std::error_code code;
  const fs::path target = fs::absolute(fs::path(ProjectDir(project_path)) / name, code);
  const fs::path base = fs::absolute(request.out_dir, code);
  *relative = fs::path(target).lexically_normal().lexically_relative(base.lexically_normal())
                  .string();
  if (relative->empty()) *relative = target.string();
  if (relative->find_first_of(" \t") != std::string::npos) {
    *error = FileError("copy", project_path, 0,
                       "the path from " + request.out_dir + " to " + name +
                           " holds a blank, which a project file cannot name");
    return false;
  }
  return true;
}

// Names, formats and values that the copy of the project replaces: the project's own list
// and first value line, overridden by the calibrated names with the best values.
bool CollectReplacements(const PlotRequest& request, const BestHydroRun& run,
                         const ProjectFile& project, ReplacementList* list,
                         std::vector<double>* values, std::string* error) {
  const ProjectFile::Entry* replace = project.Find("replace");
  const ProjectFile::Entry* value_file = project.Find("values");
  if (replace != nullptr && value_file != nullptr && !replace->values.empty() &&
      !value_file->values.empty()) {
    const std::string dir = ProjectDir(project.path);
    if (!ReadReplacementList((fs::path(dir) / replace->values[0]).string(), list, error) ||
        !ReadFirstValueLine((fs::path(dir) / value_file->values[0]).string(), values, error))
      return false;
    values->resize(list->names.size(), 0.0);
  }
  ReplacementList calibrated;
  if (!ReadReplacementList(RunPath(request, run.input->list), &calibrated, error)) return false;
  if (calibrated.names.size() != run.best->values.size()) {
    *error = FileError("use", RunPath(request, run.input->list), 0,
                       "it names " + std::to_string(calibrated.names.size()) +
                           " parameters, the best set has " +
                           std::to_string(run.best->values.size()));
    return false;
  }
  for (std::size_t i = 0; i < calibrated.names.size(); ++i) {
    std::size_t k = 0;
    while (k < list->names.size() && Lower(list->names[k]) != Lower(calibrated.names[i])) ++k;
    if (k == list->names.size()) {
      list->names.push_back(calibrated.names[i]);
      list->formats.push_back("");
      values->push_back(0.0);
    }
    list->formats[k] = calibrated.formats[i];
    (*values)[k] = run.best->values[i];
  }
  return true;
}

// Writes "<prefix>_best.prj", its list and value file into the output folder.
bool WriteBestProject(const PlotRequest& request, const BestHydroRun& run,
                      const ProjectFile& project, std::string* error) {
  ReplacementList list;
  std::vector<double> values;
  if (!CollectReplacements(request, run, project, &list, &values, error)) return false;
  std::string list_text = std::to_string(list.names.size()) + "\n", value_text;
  for (std::size_t i = 0; i < list.names.size(); ++i) {
    list_text += "[" + list.names[i] + "] \"" + list.formats[i] + "\"\n";
    value_text += (i == 0 ? "" : " ") + ExactNumber(values[i]);
  }
  std::vector<std::string> lines = project.lines;
  bool has_replace = false, has_values = false;
  for (const ProjectFile::Entry& entry : project.entries) {
    std::string& line = lines[entry.line];
    if (entry.keyword == "forcing" && !entry.values.empty()) {
      std::string relative;
      if (!RelativeToOutput(request, project.path, entry.values[0], &relative, error))
        return false;
      line = "forcing " + relative;
    } else if (entry.keyword == "output") {
      line = "output " + run.prefix + "_best_hydrograph.out";
    } else if (entry.keyword == "replace") {
      line = "replace " + run.prefix + "_best.lst";
      has_replace = true;
    } else if (entry.keyword == "values") {
      line = "values " + run.prefix + "_best.val";
      has_values = true;
    }
  }
  std::string project_text =
      "# " + project.path + " with the " + run.what + ", written by tarne-plot\n";
  for (const std::string& line : lines) project_text += line + "\n";
  if (!has_replace) project_text += "replace " + run.prefix + "_best.lst\n";
  if (!has_values) project_text += "values " + run.prefix + "_best.val\n";
  const fs::path out(request.out_dir);
  return WriteFileAtomically((out / (run.prefix + "_best.lst")).string(), list_text, error) &&
         WriteFileAtomically((out / (run.prefix + "_best.val")).string(), value_text, error) &&
         WriteFileAtomically((out / (run.prefix + "_best.prj")).string(), project_text, error);
}

// Runs tarne on the copy; its console output goes to "<prefix>_best_run.log".
bool RunBestProject(const PlotRequest& request, const std::string& prefix, std::string* error) {
  const std::string project = prefix + "_best.prj", log = prefix + "_best_run.log";
  if (request.tarne.empty()) {
    *error = FileError("run", (fs::path(request.out_dir) / project).string(), 0,
                       "the tarne program was not found (name it with --tarne)");
    return false;
  }
  std::remove((fs::path(request.out_dir) / (prefix + "_best_hydrograph.out")).string().c_str());
  const std::string command = "cd " + ShellQuote(request.out_dir) + " && " +
                              ShellQuote(request.tarne) + " " + project + " < /dev/null > " +
                              log + " 2>&1";
  if (std::system(command.c_str()) == 0) return true;
  std::ifstream in((fs::path(request.out_dir) / log).string());
  std::string line, reason = "tarne failed; see " + log;
  while (std::getline(in, line))
    if (line.rfind("cannot ", 0) == 0) reason = line;
  *error = FileError("run", (fs::path(request.out_dir) / project).string(), 0, reason);
  return false;
}

// The two data files and the picture "<prefix>_hydrograph".
void DrawHydrograph(const PlotRequest& request, const std::string& prefix,
                    const std::string& title, const ProjectFile& project,
                    const Table& simulated, const std::vector<ObservedPoint>& observed,
                    PictureMaker& maker, PlotReport& report) {
  // The rain of the forcing file, one row per time step like the hydrograph, hangs from the
  // top of the picture on its own axis.
  Table forcing;
  std::string error;
  const ProjectFile::Entry* forcing_entry = project.Find("forcing");
  const bool has_rain =
      forcing_entry != nullptr && !forcing_entry->values.empty() &&
      ReadNumberTable((fs::path(ProjectDir(project.path)) / forcing_entry->values[0]).string(),
                      3, &forcing, &error) &&
      forcing.rows.size() == simulated.rows.size();
  std::ostringstream series, points;
  series << "# time simulated_discharge_m3_per_s" << (has_rain ? " precipitation_mm" : "")
         << "\n";
  double top = 0.0, rain_top = 0.0;
  for (std::size_t i = 0; i < simulated.rows.size(); ++i) {
    series << ExactNumber(simulated.rows[i][0]) << " " << ExactNumber(simulated.rows[i][1]);
    if (has_rain) series << " " << ExactNumber(forcing.rows[i][1]);
    series << "\n";
    if (std::isfinite(simulated.rows[i][1])) top = std::max(top, simulated.rows[i][1]);
    if (has_rain) rain_top = std::max(rain_top, forcing.rows[i][1]);
  }
  points << "# time observed_discharge_m3_per_s weight\n";
  for (const ObservedPoint& point : observed) {
    points << ExactNumber(point.time) << " " << ExactNumber(point.value) << " "
           << ExactNumber(point.weight) << "\n";
    if (std::isfinite(point.value)) top = std::max(top, point.value);
  }
  const std::string data = prefix + "_hydrograph.dat";
  const std::string observed_data = prefix + "_hydrograph_observed.dat";
  if (!WriteDataFile(request, data, series.str(), report) ||
      !WriteDataFile(request, observed_data, points.str(), report))
    return;

  const ProjectFile::Entry* step = project.Find("time_step");
  const std::string hours = step != nullptr && !step->values.empty() ? step->values[0] : "24";
  Picture picture;
  picture.name = prefix + "_hydrograph";
  picture.title = title;
  picture.x = {"time (as in the forcing file; steps of " + hours + " h)", false};
  picture.y = {"discharge at the outlet (m³/s)", false};
  picture.settings.push_back("set autoscale xfix");
  if (top > 0.0) picture.settings.push_back("set yrange [0:" + ExactNumber(1.5 * top) + "]");
  picture.plot.clear();
  if (has_rain && rain_top > 0.0) {
    picture.settings.push_back("set ytics nomirror");
    picture.settings.push_back("set y2tics");
    picture.settings.push_back("set y2label 'precipitation (mm per step)'");
    picture.settings.push_back("set y2range [" + ExactNumber(3.0 * rain_top) + ":0]");
    picture.plot = "'" + data + "' using 1:3 axes x1y2 with impulses lc rgb '#88bbee' "
                   "title 'precipitation', ";
  }
  picture.plot += "'" + data + "' using 1:2 with lines lw 1.5 lc rgb '#cc3311' "
                  "title 'simulated', '" + observed_data +
                  "' using 1:2 with points pt 7 ps 0.5 lc rgb 'black' title 'observed'";
  MakePicture(maker, picture, report);
}

}  // namespace

void PlotBestHydrograph(const PlotRequest& request, const BestHydroRun& run, PictureMaker& maker,
                        PlotReport& report) {
  ProjectFile project;
  Table simulated, observations;
  std::string error;
  const std::string hydrograph =
      (fs::path(request.out_dir) / (run.prefix + "_best_hydrograph.out")).string();
  if (!ReadProjectFile(RunPath(request, run.input->project), &project, &error) ||
      !ReadNumberTable(RunPath(request, run.input->observations), 3, &observations, &error) ||
      !WriteBestProject(request, run, project, &error) ||
      !RunBestProject(request, run.prefix, &error) ||
      !ReadNumberTable(hydrograph, 2, &simulated, &error)) {
    report.errors.push_back(error);
    return;
  }
  std::vector<ObservedPoint> observed;
  for (const std::vector<double>& row : observations.rows)
    observed.push_back({row[0], row[1], row[2]});
  std::string title = request.run_name + ": " + fs::path(project.path).filename().string() +
                      " with the " + run.what;
  if (run.best->has_objective) title += " (objective " + ShortNumber(run.best->objective) + ")";
  DrawHydrograph(request, run.prefix, title, project, simulated, observed, maker, report);
}

void PlotRecordHydrograph(const PlotRequest& request, const ControlFileInfo& control,
                          const RecordFile& record, std::size_t run_index,
                          const std::string& what, PictureMaker& maker, PlotReport& report) {
  ProjectFile project;
  std::string error;
  if (!ReadProjectFile(RunPath(request, control.project), &project, &error)) {
    report.errors.push_back(error);
    return;
  }
  const ProjectFile::Entry* output = project.Find("output");
  if (project.kind != "hydro" || output == nullptr || output->values.empty()) return;
  const fs::path output_path = fs::path(ProjectDir(project.path)) / output->values[0];
  std::error_code code;
  std::string instructions;
  for (const auto& [instruction, model_output] : control.instruction_files)
    if (fs::equivalent(RunPath(request, model_output), output_path, code))
      instructions = RunPath(request, instruction);
  if (instructions.empty()) {
    report.notes.push_back("no instruction file reads " + output_path.string() +
                           ": no hydrograph");
    return;
  }
  std::map<std::string, std::size_t> lines;
  if (!MapObservationLines(instructions, &lines, &error)) {
    report.notes.push_back("no hydrograph: " + error);
    return;
  }
  Table simulated;
  if (!ReadNumberTable(output_path.string(), 2, &simulated, &error)) {
    report.errors.push_back(error);
    return;
  }
  std::vector<ObservedPoint> observed;
  for (const ObservationRow& row : record.runs[run_index].observations) {
    const auto found = lines.find(row.name);
    if (found == lines.end()) continue;
    const std::size_t line = found->second;
    const double file_value = line < simulated.rows.size() ? simulated.rows[line][1] : NAN;
    // The hydrograph holds 10 significant digits; the record the value read from it.
    if (!(std::fabs(file_value - row.calculated) <= 1e-8 + 1e-8 * std::fabs(row.calculated))) {
      report.errors.push_back(FileError(
          "use", output_path.string(), 0,
          "it does not hold the final model run of " + record.path + " (observation " +
              row.name + ": " + ExactNumber(row.calculated) + " in the record, " +
              (line < simulated.rows.size() ? ExactNumber(file_value) : "no line " +
                                                  std::to_string(line + 1)) +
              " in the file)"));
      return;
    }
    observed.push_back({simulated.rows[line][0], row.measured, row.weight});
  }
  const std::string title = request.run_name + ": " + fs::path(project.path).filename().string() +
                            ", final model run of " + what + " (phi " +
                            ShortNumber(record.runs[run_index].final_phi) + ")";
  DrawHydrograph(request, "lm", title, project, simulated, observed, maker, report);
}

}  // namespace tarne_plot
