// Pictures of a Levenberg-Marquardt run ("-slm") and of the global methods built on it: phi at
// the start of every iteration of every local search with its lambda trials, and from the
// results section of the search with the lowest phi the measured against the calculated
// values and the residuals. The record file of the case ("<case>.rec") holds it all; the
// global methods write one engine run per sample and per local search into it.
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <set>
#include <sstream>
#include <system_error>

#include "plot_run.h"
#include "plot_text.h"

namespace fs = std::filesystem;

namespace tarne_plot {

namespace {

// The control files of the run directory that have a record file beside them.
std::vector<std::string> CasesWithRecords(const std::string& run_dir) {
  std::vector<std::string> cases;
  std::error_code code;
  for (fs::directory_iterator it(run_dir, code), end; !code && it != end; it.increment(code)) {
    const fs::path path = it->path();
    if (path.extension() != ".pst") continue;
    fs::path record = path;
    record.replace_extension(".rec");
    if (fs::is_regular_file(record, code)) cases.push_back(path.stem().string());
  }
  std::sort(cases.begin(), cases.end());
  return cases;
}

bool FindCase(const PlotRequest& request, std::string* case_name, PlotReport& report) {
  if (!request.case_name.empty()) {
    *case_name = request.case_name;
    if (fs::path(*case_name).extension() == ".pst")
      *case_name = fs::path(*case_name).replace_extension().string();
    return true;
  }
  const std::vector<std::string> cases = CasesWithRecords(request.run_dir);
  if (cases.size() == 1) {
    *case_name = cases[0];
    return true;
  }
  std::string names;
  for (const std::string& name : cases) names += (names.empty() ? "" : ", ") + name + ".pst";
  report.errors.push_back(FileError(
      "plot", request.run_dir, 0,
      cases.empty() ? "no control file (*.pst) with its record file (*.rec) beside it"
                    : "several control files have record files (" + names +
                          "): name one with --case"));
  return false;
}

// The method that wrote a record of several engine runs, told by its own record file.
std::string MethodName(const PlotRequest& request, const RecordFile& record) {
  if (record.runs.size() < 2) return "Levenberg-Marquardt";
  const std::pair<const char*, const char*> methods[] = {
      {"slm_kor_ms1.rec", "multistart"},
      {"slm_kor_mlsl.rec", "MLSL"},
      {"slm_kor_ms2.rec", "trajectory repulsion"}};
  std::string name = "Levenberg-Marquardt searches";
  fs::file_time_type newest{};
  std::error_code code;
  for (const auto& [file, method] : methods) {
    const fs::file_time_type time = fs::last_write_time(RunPath(request, file), code);
    if (!code && (name == "Levenberg-Marquardt searches" || time > newest)) {
      name = method;
      newest = time;
    }
  }
  return name;
}

// A sample run of a global method (or a run with NOPTMAX 0) has no iterations.
bool IsSearch(const EngineRun& run) { return !run.no_iterations || !run.iterations.empty(); }

// One plot clause per observation group, filtering the rows of the group.
std::string PerGroup(const std::vector<std::string>& groups, const std::string& x_column,
                     const std::string& y_column, const std::string& style) {
  std::string plot;
  const char* colours[] = {"#4477aa", "#cc3311", "#228833", "#aa3377", "#ee7733", "#66ccee"};
  for (std::size_t g = 0; g < groups.size(); ++g) {
    plot += (g == 0 ? "" : ", ") + std::string("'lm_observations.dat' using ") + x_column +
            ":(strcol(7) eq " + GnuplotQuote(groups[g]) + " ? " + y_column + " : NaN) " + style +
            " lc rgb '" + colours[g % 6] + "' title " + GnuplotQuote("group " + groups[g]);
  }
  return plot;
}

void PlotPhi(const PlotRequest& request, const RecordFile& record, const std::string& method,
             PictureMaker& maker, PlotReport& report) {
  std::ostringstream phi, trials, finals;
  phi << "# iteration phi_at_its_start; the last row of a search: phi after its final run\n";
  trials << "# search position phi lambda iteration trial\n";
  finals << "# search iteration phi_after_the_final_run\n";
  std::vector<double> values;
  int search = 0, blocks = 0;
  std::vector<int> block_search;  // the search number of every block of lm_phi.dat
  long last_iteration = 0;
  for (const EngineRun& run : record.runs) {
    if (!IsSearch(run)) continue;
    ++search;
    if (run.iterations.empty()) continue;
    if (blocks++ > 0) phi << "\n\n";
    block_search.push_back(search);
    phi << "# search " << search << " (record line " << run.first_line << ")\n";
    for (const Iteration& iteration : run.iterations) {
      phi << iteration.number << " " << ExactNumber(iteration.starting_phi) << "\n";
      last_iteration = std::max(last_iteration, iteration.number + 1);
      values.push_back(iteration.starting_phi);
      const std::size_t count = iteration.trials.size();
      for (std::size_t t = 0; t < count; ++t) {
        const double position = static_cast<double>(iteration.number) +
                                static_cast<double>(t + 1) / static_cast<double>(count + 1);
        trials << search << " " << ExactNumber(position) << " "
               << ExactNumber(iteration.trials[t].phi) << " "
               << ExactNumber(iteration.trials[t].lambda) << " " << iteration.number << " "
               << t + 1 << "\n";
        values.push_back(iteration.trials[t].phi);
      }
    }
    if (run.has_results) {
      const long after = run.iterations.back().number + 1;
      phi << after << " " << ExactNumber(run.final_phi) << "\n";
      finals << search << " " << after << " " << ExactNumber(run.final_phi) << "\n";
      values.push_back(run.final_phi);
    }
  }
  if (blocks == 0) {
    report.notes.push_back(record.path + " holds no optimisation iteration: no phi picture");
    return;
  }
  if (!WriteDataFile(request, "lm_phi.dat", phi.str(), report) ||
      !WriteDataFile(request, "lm_trials.dat", trials.str(), report) ||
      !WriteDataFile(request, "lm_phi_final.dat", finals.str(), report))
    return;
  Picture picture;
  picture.name = "lm_phi";
  picture.title = request.run_name + ": " + method + " (" +
                  fs::path(record.path).filename().string() + "), phi per iteration";
  picture.x = {"iteration", false};
  picture.y = {"phi (sum of squared weighted residuals)", WantsLogScale(values)};
  picture.settings.push_back("set offsets graph 0.02, graph 0.02, 0, 0");
  if (last_iteration <= 20) picture.settings.push_back("set xtics 1");
  picture.plot = "'lm_trials.dat' using 2:3 with points pt 1 ps 0.8 lc rgb '#999999' "
                 "title 'lambda trials'";
  if (blocks == 1) {
    picture.plot += ", 'lm_phi.dat' index 0 using 1:2 with linespoints pt 7 lw 2 "
                    "lc rgb '#4477aa' title 'phi at the start'";
  } else {
    picture.settings.push_back("set key outside right top vertical");
    picture.settings.push_back("set bmargin");
    for (int i = 0; i < blocks; ++i)
      picture.plot += ", 'lm_phi.dat' index " + std::to_string(i) +
                      " using 1:2 with linespoints pt 7 lw 1.5 title 'search " +
                      std::to_string(block_search[static_cast<std::size_t>(i)]) + "'";
  }
  picture.plot += ", 'lm_phi_final.dat' using 2:3 with points pt 6 ps 2 lw 2 lc rgb '#cc3311' "
                  "title 'after the final run'";
  MakePicture(maker, picture, report);
}

void PlotResults(const PlotRequest& request, const RecordFile& record, std::size_t index,
                 const std::string& method, const std::string& what, PictureMaker& maker,
                 PlotReport& report) {
  const EngineRun& run = record.runs[index];
  if (run.observations.empty()) {
    report.errors.push_back(FileError("read", record.path, run.first_line,
                                      "the results section of this run lists no observations"));
    return;
  }
  std::ostringstream table;
  table << "# number name measured calculated residual weight group\n";
  std::vector<std::string> groups;
  std::vector<double> values;
  double low = 0.0, high = 0.0;
  for (std::size_t i = 0; i < run.observations.size(); ++i) {
    const ObservationRow& row = run.observations[i];
    table << i + 1 << " " << row.name << " " << ExactNumber(row.measured) << " "
          << ExactNumber(row.calculated) << " " << ExactNumber(row.residual) << " "
          << ExactNumber(row.weight) << " " << row.group << "\n";
    if (std::find(groups.begin(), groups.end(), row.group) == groups.end())
      groups.push_back(row.group);
    for (double value : {row.measured, row.calculated}) {
      if (!std::isfinite(value)) continue;
      low = values.empty() ? value : std::min(low, value);
      high = values.empty() ? value : std::max(high, value);
      values.push_back(value);
    }
  }
  if (!WriteDataFile(request, "lm_observations.dat", table.str(), report)) return;
  const std::string run_title = request.run_name + ": " + method + " (" +
                                fs::path(record.path).filename().string() + "), " + what +
                                ", phi " + ShortNumber(run.final_phi);
  const bool log = WantsLogScale(values);
  const double margin = log ? 0.0 : 0.05 * (high - low > 0.0 ? high - low : 1.0);
  const std::string range = "[" + ExactNumber(log ? low / 1.2 : low - margin) + ":" +
                            ExactNumber(log ? high * 1.2 : high + margin) + "]";

  Picture fit;
  fit.name = "lm_fit";
  fit.title = run_title + ": measured against calculated";
  fit.x = {"measured value", log};
  fit.y = {"calculated value", log};
  fit.settings = {"set size square", "set xrange " + range, "set yrange " + range};
  fit.plot = "x with lines dt 2 lc rgb '#777777' title 'calculated = measured', " +
             PerGroup(groups, "3", "$4", "with points pt 7 ps 0.6");
  MakePicture(maker, fit, report);

  Picture residuals;
  residuals.name = "lm_residuals";
  residuals.title = run_title + ": residuals";
  residuals.x = {"observation (order of the control file)", false};
  residuals.y = {"residual (measured - calculated)", false};
  residuals.settings = {"set autoscale xfix", "set offsets graph 0.01, graph 0.01, 0, 0"};
  residuals.plot = "0 with lines lc rgb '#777777' notitle, " +
                   PerGroup(groups, "1", "$5", "with impulses lw 1.5");
  MakePicture(maker, residuals, report);
}

}  // namespace

bool HasLevenbergMarquardtRun(const PlotRequest& request) {
  return !CasesWithRecords(request.run_dir).empty();
}

void PlotLevenbergMarquardt(const PlotRequest& request, PictureMaker& maker,
                            PlotReport& report) {
  std::string case_name;
  if (!FindCase(request, &case_name, report)) return;
  RecordFile record;
  std::string error;
  if (!ReadRecordFile(RunPath(request, case_name + ".rec"), &record, &error)) {
    report.errors.push_back(error);
    return;
  }
  const std::string method = MethodName(request, record);
  PlotPhi(request, record, method, maker, report);

  // The results are those of a finished run: a record whose last engine run has no results
  // section belongs to a run that was stopped (or is still going).
  const EngineRun& last = record.runs.back();
  if (!last.has_results) {
    report.errors.push_back(FileError(
        "read", record.path, 0,
        "the run has not finished: no OPTIMISATION RESULTS section after line " +
            std::to_string(last.first_line) + ", so no measured against calculated values"));
    return;
  }
  // The search with the lowest final phi; without searches, the last run.
  std::size_t best = record.runs.size() - 1, search = 0, best_search = 0, searches = 0;
  for (std::size_t i = 0; i < record.runs.size(); ++i) {
    const EngineRun& run = record.runs[i];
    if (!IsSearch(run)) continue;
    ++search;
    if (!run.has_results) continue;
    if (best_search == 0 || run.final_phi < record.runs[best].final_phi) {
      best = i;
      best_search = search;
    }
  }
  searches = search;
  const std::string what = searches <= 1 ? "best parameters"
                                         : "local search " + std::to_string(best_search) +
                                               " of " + std::to_string(searches) +
                                               " (lowest phi)";
  PlotResults(request, record, best, method, what, maker, report);

  ControlFileInfo control;
  if (!ReadControlFileInfo(RunPath(request, case_name + ".pst"), &control, &error)) {
    report.errors.push_back(error);
    return;
  }
  const std::string last_what = searches <= 1 ? "the search"
                                              : "local search " + std::to_string(searches) +
                                                    " of " + std::to_string(searches);
  PlotRecordHydrograph(request, control, record, record.runs.size() - 1, last_what, maker,
                       report);
}

}  // namespace tarne_plot
