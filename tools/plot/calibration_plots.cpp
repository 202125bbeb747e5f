// Pictures of the two sampling calibrations. Monte Carlo: one dotty plot per parameter, the
// objective of every logged sample of every partition against the parameter's value, with
// the set of "best.out" marked. SCE: the best objective against the number of evaluations,
// and each parameter's trace over the evaluations with the value of "sce_best.out".
#include <cmath>
#include <filesystem>
#include <sstream>
#include <system_error>

#include "plot_run.h"
#include "plot_text.h"

namespace fs = std::filesystem;

namespace tarne_plot {

namespace {

// Evaluations that failed come back as 1e30 (or not a number); they are kept in the data
// files but left out of the pictures, whose scale they would crush.
constexpr double kFailedObjective = 1e29;
constexpr const char* kValidObjective = "(abs($%d) < 1e29 ? $%d : NaN)";

bool IsValidObjective(double value) {
  return std::isfinite(value) && std::fabs(value) < kFailedObjective;
}

std::string Printf(const char* format, int a, int b) {
  char buffer[128];
  std::snprintf(buffer, sizeof buffer, format, a, b);
  return buffer;
}

// The input file of the run of the given kind: the one the user named when it is of that
// kind, else the only one of that kind (with n parameters, when n is not 0) among the "*.in"
// files of the run directory. Returns false with a note when there is none or no single one;
// a named file that cannot be read is an error.
bool FindCalibrationInput(const PlotRequest& request, CalibrationInput::Kind kind,
                          std::size_t n, CalibrationInput* input, PlotReport& report) {
  const bool sce = kind == CalibrationInput::Kind::kSce;
  const std::string kind_name = sce ? "an SCE" : "a Monte Carlo";
  std::string error;
  if (!request.input.empty()) {
    if (!ReadCalibrationInput(RunPath(request, request.input), input, &error)) {
      report.errors.push_back(error);
      return false;
    }
    if (input->kind == kind) return true;
    report.notes.push_back(input->path + " is not " + kind_name + " input file");
  }
  std::vector<CalibrationInput> found;
  std::error_code code;
  for (fs::directory_iterator it(request.run_dir, code), end; !code && it != end;
       it.increment(code)) {
    std::error_code kind_code;
    if (it->path().extension() != ".in" || !it->is_regular_file(kind_code)) continue;
    CalibrationInput candidate;
    if (ReadCalibrationInput(it->path().string(), &candidate, &error) &&
        candidate.kind == kind && (n == 0 || candidate.parameter_count == n))
      found.push_back(candidate);
  }
  if (found.size() == 1) {
    *input = found[0];
    return true;
  }
  std::string names;
  for (const CalibrationInput& candidate : found)
    names += (names.empty() ? "" : ", ") + fs::path(candidate.path).filename().string();
  if (found.empty())
    report.notes.push_back(std::string("no ") + (sce ? "SCE" : "Monte Carlo") +
                           " input file (*.in) in " + request.run_dir +
                           ": no units and no hydrograph");
  else
    report.notes.push_back("several inputs fit (" + names +
                           "): name one with --input for units and the hydrograph");
  return false;
}

// The project of the input, when it can be read.
bool ReadInputProject(const PlotRequest& request, const CalibrationInput& input,
                      ProjectFile* project, PlotReport& report) {
  std::string error;
  if (ReadProjectFile(RunPath(request, input.project), project, &error)) return true;
  report.errors.push_back(error);
  return false;
}

std::string NumberRow(const std::vector<double>& values) {
  std::string row;
  for (double value : values) row += (row.empty() ? "" : " ") + ExactNumber(value);
  return row;
}

std::string ColumnHeader(const std::string& first, const std::vector<std::string>& names) {
  std::string header = "# " + first;
  for (const std::string& name : names) header += " " + SafeFileWord(name);
  return header + "\n";
}

std::string DefaultNames(std::size_t i) { return "x" + std::to_string(i + 1); }

}  // namespace

std::string RunPath(const PlotRequest& request, const std::string& name) {
  const fs::path path(name);
  return path.is_absolute() ? name : (fs::path(request.run_dir) / path).string();
}

std::string ParameterLabel(const std::string& name, const ProjectFile* project) {
  if (project == nullptr || project->kind != "hydro") return name;
  const std::string model_name = ModelParameterOf(*project, name);
  const std::string unit = HydroParameterUnit(model_name.empty() ? name : model_name);
  return unit.empty() ? name : name + " (" + unit + ")";
}

std::string ObjectiveLabel(const ProjectFile* project) {
  if (project != nullptr && project->kind == "hydro")
    return "objective: weighted squared error of discharge ((m³/s)²)";
  if (project != nullptr && project->kind == "function") return "objective (function value)";
  return "objective";
}

bool HasMonteCarloRun(const PlotRequest& request) {
  std::error_code code;
  if (fs::exists(RunPath(request, "best.out"), code)) return true;
  return !FindMonteCarloLogs(request.run_dir).empty();
}

bool HasSceRun(const PlotRequest& request) {
  std::error_code code;
  return fs::exists(RunPath(request, "sce_log_file.txt"), code);
}

void PlotMonteCarlo(const PlotRequest& request, PictureMaker& maker, PlotReport& report) {
  CalibrationInput input;
  ProjectFile project;
  const bool has_input =
      FindCalibrationInput(request, CalibrationInput::Kind::kMonteCarlo, 0, &input, report);
  const bool has_project = has_input && ReadInputProject(request, input, &project, report);

  // The logs stand beside the project file, where the model library puts them.
  std::string log_dir = request.run_dir;
  if (has_input) log_dir = fs::path(RunPath(request, input.project)).parent_path().string();
  std::vector<std::string> logs = FindMonteCarloLogs(log_dir);
  if (logs.empty() && log_dir != request.run_dir) logs = FindMonteCarloLogs(request.run_dir);
  if (logs.empty()) {
    report.errors.push_back(FileError("open", (fs::path(log_dir) / "log_file_p0.log").string(),
                                      0, "No such file or directory"));
    return;
  }
  SampleLog log;
  BestSet best;
  std::string error;
  if (!ReadMonteCarloLogs(logs, &log, &error) ||
      !ReadMonteCarloBest(RunPath(request, "best.out"), log.names.size(), &best, &error)) {
    report.errors.push_back(error);
    return;
  }
  const std::size_t n = log.names.size();

  std::ostringstream samples;
  samples << ColumnHeader("partition objective", log.names);
  std::vector<double> objectives;
  std::vector<std::vector<double>> columns(n);
  for (const Sample& sample : log.samples) {
    samples << sample.source << " " << ExactNumber(sample.objective) << " "
            << NumberRow(sample.values) << "\n";
    if (!IsValidObjective(sample.objective)) continue;
    objectives.push_back(sample.objective);
    for (std::size_t i = 0; i < n; ++i) columns[i].push_back(sample.values[i]);
  }
  std::vector<double> best_row{best.objective};
  best_row.insert(best_row.end(), best.values.begin(), best.values.end());
  if (!WriteDataFile(request, "mc_samples.dat", samples.str(), report) ||
      !WriteDataFile(request, "mc_best.dat",
                     ColumnHeader("objective", log.names) + NumberRow(best_row) + "\n", report))
    return;

  const ProjectFile* known = has_project ? &project : nullptr;
  const std::string source = has_input ? fs::path(input.path).filename().string() : "best.out";
  for (std::size_t i = 0; i < n; ++i) {
    const std::string name = log.names[i].empty() ? DefaultNames(i) : log.names[i];
    std::vector<double> xs = columns[i];
    xs.push_back(best.values[i]);
    std::vector<double> ys = objectives;
    ys.push_back(best.objective);
    Picture picture;
    picture.name = "mc_dotty_" + std::to_string(i + 1) + "_" + SafeFileWord(name);
    picture.title = request.run_name + ": Monte Carlo (" + source + "), " +
                    std::to_string(log.samples.size()) + " samples, dotty plot of " + name;
    picture.x = {ParameterLabel(name, known), WantsLogScale(xs)};
    picture.y = {ObjectiveLabel(known), WantsLogScale(ys)};
    const int column = static_cast<int>(i) + 3;
    picture.plot = "'mc_samples.dat' using " + std::to_string(column) + ":" +
                   Printf(kValidObjective, 2, 2) +
                   " with points pt 7 ps 0.6 lc rgb '#4477aa' title 'samples', "
                   "'mc_best.dat' using " + std::to_string(column - 1) + ":" +
                   Printf(kValidObjective, 1, 1) +
                   " with points pt 6 ps 2.5 lw 2.5 lc rgb '#cc3311' title 'best (best.out)'";
    MakePicture(maker, picture, report);
  }
  if (has_project && project.kind == "hydro")
    PlotBestHydrograph(request, {"mc", "best set of best.out", &input, &best}, maker, report);
}

void PlotSce(const PlotRequest& request, PictureMaker& maker, PlotReport& report) {
  SampleLog log;
  std::string error;
  if (!ReadSceLog(RunPath(request, "sce_log_file.txt"), &log, &error)) {
    report.errors.push_back(error);
    return;
  }
  const std::size_t n = log.samples.front().values.size();
  BestSet best;
  if (!ReadSceBest(RunPath(request, "sce_best.out"), n, &best, &error)) {
    report.errors.push_back(error);
    return;
  }
  // The objective of the best set is not in "sce_best.out"; the final block of the output
  // file has it, and the log's running minimum (rounded to four decimals) otherwise.
  if (ReadSceFinalObjective(RunPath(request, "sce_output.out"), &best.objective, &error)) {
    best.has_objective = true;
  } else {
    report.notes.push_back(error + "; the best objective is taken from the log");
    best.objective = log.samples.back().best_so_far;
  }
  CalibrationInput input;
  ProjectFile project;
  const bool has_input =
      FindCalibrationInput(request, CalibrationInput::Kind::kSce, n, &input, report);
  const bool has_project = has_input && ReadInputProject(request, input, &project, report);
  std::vector<std::string> names;
  ReplacementList list;
  if (has_input && ReadReplacementList(RunPath(request, input.list), &list, &error) &&
      list.names.size() == n)
    names = list.names;
  for (std::size_t i = names.size(); i < n; ++i) names.push_back(DefaultNames(i));

  std::ostringstream evaluations;
  evaluations << ColumnHeader("evaluation objective best_so_far", names);
  std::vector<double> objectives;
  for (const Sample& sample : log.samples) {
    evaluations << sample.source << " " << ExactNumber(sample.objective) << " "
                << ExactNumber(sample.best_so_far) << " " << NumberRow(sample.values) << "\n";
    if (IsValidObjective(sample.objective)) objectives.push_back(sample.objective);
    if (IsValidObjective(sample.best_so_far)) objectives.push_back(sample.best_so_far);
  }
  std::vector<double> best_row{best.objective};
  best_row.insert(best_row.end(), best.values.begin(), best.values.end());
  if (!WriteDataFile(request, "sce_evaluations.dat", evaluations.str(), report) ||
      !WriteDataFile(request, "sce_best.dat",
                     ColumnHeader("objective", names) + NumberRow(best_row) + "\n", report))
    return;

  const ProjectFile* known = has_project ? &project : nullptr;
  const std::string source = has_input ? fs::path(input.path).filename().string() : "SCE";
  const std::string run = request.run_name + ": SCE-UA (" + source + "), " +
                          std::to_string(log.samples.size()) + " evaluations";
  Picture convergence;
  convergence.name = "sce_convergence";
  convergence.title = run + ", best objective found";
  convergence.x = {"model evaluations", false};
  convergence.y = {ObjectiveLabel(known), WantsLogScale(objectives)};
  convergence.settings.push_back("set autoscale xfix");
  convergence.plot = "'sce_evaluations.dat' using 1:" + Printf(kValidObjective, 2, 2) +
                     " with points pt 7 ps 0.4 lc rgb '#bbbbbb' title 'each evaluation', "
                     "'' using 1:" + Printf(kValidObjective, 3, 3) +
                     " with steps lw 2 lc rgb '#cc3311' title 'best so far'";
  MakePicture(maker, convergence, report);

  for (std::size_t i = 0; i < n; ++i) {
    std::vector<double> values;
    for (const Sample& sample : log.samples) values.push_back(sample.values[i]);
    values.push_back(best.values[i]);
    Picture trace;
    trace.name = "sce_trace_" + std::to_string(i + 1) + "_" + SafeFileWord(names[i]);
    trace.title = run + ", trace of " + names[i];
    trace.x = {"model evaluations", false};
    trace.y = {ParameterLabel(names[i], known), WantsLogScale(values)};
    trace.settings.push_back("set autoscale xfix");
    trace.plot = "'sce_evaluations.dat' using 1:" + std::to_string(i + 4) +
                 " with points pt 7 ps 0.4 lc rgb '#4477aa' title 'evaluated value', " +
                 ExactNumber(best.values[i]) +
                 " with lines lw 2 lc rgb '#cc3311' title 'best (sce_best.out)'";
    MakePicture(maker, trace, report);
  }
  if (has_project && project.kind == "hydro")
    PlotBestHydrograph(request, {"sce", "best set of sce_best.out", &input, &best}, maker,
                       report);
}

bool WriteDataFile(const PlotRequest& request, const std::string& name,
                   const std::string& content, PlotReport& report) {
  const std::string path = (fs::path(request.out_dir) / name).string();
  std::string error;
  if (!WriteFileAtomically(path, content, &error)) {
    report.errors.push_back(error);
    return false;
  }
  report.data_files.push_back(path);
  return true;
}

void MakePicture(PictureMaker& maker, const Picture& picture, PlotReport& report) {
  std::string error;
  if (!maker.Make(picture, &error)) report.errors.push_back(error);
}

}  // namespace tarne_plot
