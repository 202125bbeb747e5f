// tarne-plot: the pictures of a calibration run. Reads the files that tarne left in a run's
// working directory, writes the data behind every picture and a gnuplot script for it into
// an output folder (default <run-directory>/plots), and has gnuplot draw each as PNG and SVG.
// Exit status: 0 when everything found was drawn (or gnuplot is missing and only the data
// and scripts could be written), 1 when some file could not be read or some picture could
// not be drawn, 2 for a wrong command line.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "plot_run.h"
#include "plot_text.h"

namespace fs = std::filesystem;
using namespace tarne_plot;

namespace {

constexpr const char* kUsage =
    "usage: tarne-plot [options] [run-directory]\n"
    "Draws the pictures of the calibration run whose working directory is given (default:\n"
    "the current directory) as PNG and SVG files with gnuplot:\n"
    "  Monte Carlo (-m, -s)      dotty plot per parameter, best sample of best.out marked\n"
    "  SCE (-c)                  best objective per evaluation, trace of every parameter\n"
    "  Levenberg-Marquardt       phi per iteration, measured against calculated, residuals\n"
    "   (-slm, -ms, -mlsl, -tr)\n"
    "  hydro projects            simulated hydrograph of the best parameters over the\n"
    "                            observed one\n"
    "options:\n"
    "  --kind montecarlo|sce|lm  draw only this kind (default: every kind found)\n"
    "  --out DIR                 output folder (default: <run-directory>/plots)\n"
    "  --input FILE              the Monte Carlo or SCE input file, when several are there\n"
    "  --case NAME               the control file of a Levenberg-Marquardt run, when\n"
    "                            several are there\n"
    "  --gnuplot PROGRAM         gnuplot to use (default: gnuplot on PATH)\n"
    "  --size WIDTH,HEIGHT       size of the pictures in pixels (default: 900,600)\n"
    "  --tarne PROGRAM           tarne, to run the best set of a hydro project once more\n"
    "                            (default: beside tarne-plot, then on PATH)\n";

struct Options {
  std::string run_dir = ".";
  std::string out_dir;
  std::string kind;
  std::string input;
  std::string case_name;
  std::string gnuplot;
  bool gnuplot_given = false;
  std::string tarne;
  std::string size = "900,600";
};

int UsageError(const std::string& message) {
  std::fprintf(stderr, "tarne-plot: %s\n%s", message.c_str(), kUsage);
  return 2;
}

bool IsExecutableFile(const fs::path& path) {
  std::error_code code;
  const fs::file_status status = fs::status(path, code);
  return !code && fs::is_regular_file(status) &&
         (status.permissions() & (fs::perms::owner_exec | fs::perms::group_exec |
                                  fs::perms::others_exec)) != fs::perms::none;
}

std::string FindOnPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  if (path == nullptr) return "";
  std::string entries = path;
  std::size_t start = 0;
  while (start <= entries.size()) {
    std::size_t end = entries.find(':', start);
    if (end == std::string::npos) end = entries.size();
    const std::string dir = entries.substr(start, end - start);
    const fs::path candidate = fs::path(dir.empty() ? "." : dir) / program;
    if (IsExecutableFile(candidate)) return candidate.string();
    start = end + 1;
  }
  return "";
}

// tarne beside this program (both are installed into one directory), then on PATH, then
// the one of the build tree this program was built in.
std::string FindTarne(const char* argv0) {
  std::error_code code;
  fs::path self = fs::read_symlink("/proc/self/exe", code);
  if (code) self = fs::absolute(argv0, code);
  const fs::path beside = self.parent_path() / "tarne";
  if (IsExecutableFile(beside)) return beside.string();
  const std::string on_path = FindOnPath("tarne");
  if (!on_path.empty()) return on_path;
#ifdef TARNE_PLOT_BUILD_TARNE
  if (IsExecutableFile(TARNE_PLOT_BUILD_TARNE)) return TARNE_PLOT_BUILD_TARNE;
#endif
  return "";
}

// Parses "--name value" and "--name=value"; returns 0 to go on, else the exit status.
int ParseOptions(int argc, char** argv, Options* options) {
  bool have_dir = false;
  for (int i = 1; i < argc; ++i) {
    std::string word = argv[i];
    if (word == "--help" || word == "-h") {
      std::fputs(kUsage, stdout);
      return -1;
    }
    if (word.rfind("--", 0) != 0) {
      if (have_dir) return UsageError("more than one run directory: " + word);
      options->run_dir = word;
      have_dir = true;
      continue;
    }
    std::string value;
    const std::size_t equals = word.find('=');
    if (equals != std::string::npos) {
      value = word.substr(equals + 1);
      word = word.substr(0, equals);
    }
    static const char* const kOptions[] = {"--kind",    "--out",  "--input", "--case",
                                           "--gnuplot", "--size", "--tarne"};
    if (std::find(std::begin(kOptions), std::end(kOptions), word) == std::end(kOptions))
      return UsageError("unknown option " + word);
    if (equals == std::string::npos) {
      if (i + 1 == argc) return UsageError(word + " needs a value");
      value = argv[++i];
    }
    if (word == "--kind") options->kind = value;
    else if (word == "--out") options->out_dir = value;
    else if (word == "--input") options->input = value;
    else if (word == "--case") options->case_name = value;
    else if (word == "--gnuplot") options->gnuplot = value, options->gnuplot_given = true;
    else if (word == "--tarne") options->tarne = value;
    else options->size = value;
  }
  long width = 0, height = 0;
  const std::size_t comma = options->size.find(',');
  if (comma == std::string::npos || !ParseInteger(options->size.substr(0, comma), &width) ||
      !ParseInteger(options->size.substr(comma + 1), &height) || width < 100 || height < 100 ||
      width > 10000 || height > 10000)
    return UsageError("--size is WIDTH,HEIGHT in pixels, 100 to 10000 each, not " +
                      options->size);
  if (options->kind == "mc") options->kind = "montecarlo";
  if (options->kind == "slm") options->kind = "lm";
  if (!options->kind.empty() && options->kind != "montecarlo" && options->kind != "sce" &&
      options->kind != "lm")
    return UsageError("--kind is montecarlo, sce or lm, not " + options->kind);
  return 0;
}

void PrintReport(const PlotRequest& request, const PictureMaker& maker,
                 const PlotReport& report) {
  for (const std::string& note : report.notes) std::printf("note: %s\n", note.c_str());
  for (const std::string& picture : maker.made()) std::printf("wrote %s\n", picture.c_str());
  std::printf("tarne-plot: %zu pictures, %zu data files and %zu gnuplot scripts in %s\n",
              maker.made().size(), report.data_files.size(), maker.scripts().size(),
              request.out_dir.c_str());
  std::fflush(stdout);
  if (!maker.has_gnuplot() && !maker.scripts().empty())
    std::fprintf(stderr,
                 "tarne-plot: gnuplot was not found, so the pictures were skipped; the data "
                 "files and gnuplot scripts are written. Install gnuplot (Debian and Ubuntu: "
                 "apt-get install gnuplot-nox) and run tarne-plot again.\n");
  for (const std::string& error : report.errors)
    std::fprintf(stderr, "tarne-plot: %s\n", error.c_str());
}

}  // namespace

int Run(int argc, char** argv) {
  Options options;
  if (const int status = ParseOptions(argc, argv, &options); status != 0)
    return status < 0 ? 0 : status;

  std::error_code code;
  if (!fs::is_directory(options.run_dir, code)) {
    std::fprintf(stderr, "tarne-plot: %s\n",
                 FileError("open", options.run_dir, 0,
                           fs::exists(options.run_dir, code) ? "it is not a directory"
                                                             : "No such directory")
                     .c_str());
    return 1;
  }
  PlotRequest request;
  request.run_dir = options.run_dir;
  request.out_dir = options.out_dir.empty() ? (fs::path(options.run_dir) / "plots").string()
                                            : options.out_dir;
  request.run_name = fs::weakly_canonical(fs::absolute(options.run_dir), code).filename().string();
  request.input = options.input;
  request.case_name = options.case_name;
  request.tarne = options.tarne.empty() ? FindTarne(argv[0]) : options.tarne;

  std::string gnuplot = options.gnuplot_given ? options.gnuplot : FindOnPath("gnuplot");
  if (options.gnuplot_given && !gnuplot.empty() && !IsExecutableFile(gnuplot)) {
    std::fprintf(stderr, "tarne-plot: %s\n",
                 FileError("run", gnuplot, 0, "it is not an executable file").c_str());
    return 1;
  }

  const bool monte_carlo = options.kind.empty() ? HasMonteCarloRun(request)
                                                : options.kind == "montecarlo";
  const bool sce = options.kind.empty() ? HasSceRun(request) : options.kind == "sce";
  const bool lm = options.kind.empty() ? HasLevenbergMarquardtRun(request) : options.kind == "lm";
  if (!monte_carlo && !sce && !lm) {
    std::fprintf(stderr,
                 "tarne-plot: %s\n",
                 FileError("plot", options.run_dir, 0,
                           "no calibration output in it (log_file_p*.log and best.out, "
                           "sce_log_file.txt, or a control file *.pst with its record *.rec)")
                     .c_str());
    return 1;
  }
  fs::create_directories(request.out_dir, code);
  if (code || !fs::is_directory(request.out_dir)) {
    std::fprintf(stderr, "tarne-plot: %s\n",
                 FileError("create", request.out_dir, 0,
                           code ? code.message() : "it is not a directory").c_str());
    return 1;
  }

  PictureMaker maker(request.out_dir, gnuplot, options.size);
  PlotReport report;
  if (monte_carlo) PlotMonteCarlo(request, maker, report);
  if (sce) PlotSce(request, maker, report);
  if (lm) PlotLevenbergMarquardt(request, maker, report);
  PrintReport(request, maker, report);
  return report.errors.empty() ? 0 : 1;
}

int main(int argc, char** argv) {
  // The readers report faults as messages; this catches what the library itself may throw
  // (a failed allocation, a file system fault), so that no fault ends in a crash.
  try {
    return Run(argc, argv);
  } catch (const std::exception& fault) {
    std::fprintf(stderr, "tarne-plot: %s\n", fault.what());
    return 1;
  }
}
