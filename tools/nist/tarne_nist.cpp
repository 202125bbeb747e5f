// Measures the Levenberg-Marquardt tool "tarne -slm" on the 27 NIST StRD nonlinear
// regression problems. One program, six commands:
//
//   tarne_nist make <Problem.dat> <start 1|2> <dir> [--secant] [--set NAME=VALUE]...
//       Writes a complete problem for "tarne -slm <name>" into <dir> (created if missing):
//       <name>.pst (control file), <name>.tpl (template of the project file), <name>.prj (an
//       external-kind project whose command runs "tarne_nist model data.txt"), <name>.ins
//       (instruction file reading model.out) and data.txt (the model's inputs). Prints the
//       case name <name>. --secant writes the secant variant of the control settings; each
//       --set gives one control setting of the table in nist_files.cpp its own value (for
//       example --set SLMNCOL=2), so that a benchmark can vary the secant settings.
//   tarne_nist model <dir-or-data-file>
//       The model: reads the parameters from "values.in" in the working directory, evaluates
//       the problem at every point of the data file (<dir>/data.txt for a directory) and
//       writes one prediction per line ("%.17e") to "model.out" in the working directory.
//   tarne_nist score <Problem.dat> <dir> [--tsv]
//       After a finished "tarne -slm" run in <dir>: estimates from values.in, model calls from
//       the last "Total Model Calls:" line of <name>.rec, the RSS at the estimates and the log
//       relative error of every parameter, as one table row (tab-separated with --tsv).
//       The row also gives the smallest LRE of the standard deviations sqrt(C(k, k)) read
//       from the record's covariance matrix against the certified ones, the test that ended
//       the search, and the model calls after which phi first came within 1e-6 of the
//       certified RSS (counted from the run's screen output, run.log, when it is there).
//       Exit status 0 when the problem is solved, 1 when not, 2 when it cannot be scored.
//   tarne_nist header [--tsv]
//       The heading of the rows that score prints.
//   tarne_nist reach <screen output> <target phi> [relative]
//       The model calls of a "tarne -slm" run (its screen output saved to a file) after which
//       phi first came within relative (default 1e-6) of the target; -1 when it never did.
//   tarne_nist selfcheck [<directory of the .dat files>]
//       For all 27 problems: the RSS at the certified values against the certified RSS, the
//       RSS the engine's value file can reach (certified values rounded to 8 digits), and a
//       make-and-model round trip in a temporary directory. Exit status 0 when all agree.
//
// Solved means: every parameter agrees with its certified value in at least 4 digits (LRE)
// and the RSS lies within 1e-6 relative of the certified RSS; Lanczos1, whose certified RSS
// is below what double precision resolves, is judged by its parameters only.
//
// The model formulas and the reading of NIST's files are in nist_problems.cpp; the control
// settings every problem gets (one table, to tune the benchmark), the made files and the
// model run are in nist_files.cpp.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "nist_files.h"
#include "nist_problems.h"

namespace fs = std::filesystem;

namespace {

// ---------------------------------------------------------------------------------------
// score
// ---------------------------------------------------------------------------------------

struct Score {
  std::string problem;
  int start = 0;
  std::string settings = "-";
  long calls = -1;
  double rss = NAN;
  double certified_rss = 0.0;
  double relative = NAN;
  std::vector<double> lre;  // 1..k
  double min_lre = 0.0;
  double min_deviation_lre = 0.0;  // 0 when the record has no covariance matrix
  std::string stop = "-";          // the termination test that ended the search
  long calls_to_reach = -1;        // calls until phi came within 1e-6 of the certified RSS
  const char* status = "no run";
  bool solved = false;
};

// The count of the last "Total Model Calls:" line of the record file, or -1.
long TotalModelCalls(const fs::path& record) {
  std::string text;
  if (!nist::ReadWholeFile(record.string(), text)) return -1;
  static const char kLabel[] = "Total Model Calls:";
  const size_t at = text.rfind(kLabel);
  if (at == std::string::npos) return -1;
  char* end = nullptr;
  const long calls = std::strtol(text.c_str() + at + sizeof kLabel - 1, &end, 10);
  return end == text.c_str() + at + sizeof kLabel - 1 ? -1 : calls;
}

// The standard deviations sqrt(C(k, k)) of the record's covariance matrix, 1..k, or an empty
// vector when the record holds none. Row k of the matrix is "name\tC(k,1)\t...".
std::vector<double> RecordedDeviations(const std::string& record, int k) {
  static const char kTitle[] = "Parameter covariance matrix ----->\n";
  size_t at = record.rfind(kTitle);
  if (at == std::string::npos) return {};
  at = record.find('\n', at + sizeof kTitle - 1);  // past the row of names
  std::vector<double> deviations(k + 1, 0.0);
  for (int row = 1; row <= k; ++row) {
    const size_t line = at + 1;
    at = record.find('\n', line);
    if (at == std::string::npos) return {};
    const char* cursor = record.c_str() + record.find('\t', line);
    for (int column = 1; column <= row; ++column) {
      char* end = nullptr;
      const double value = std::strtod(cursor, &end);
      if (end == cursor) return {};
      if (column == row) deviations[row] = value >= 0.0 ? std::sqrt(value) : NAN;
      cursor = end;
    }
  }
  return deviations;
}

// The test that ended the search, from the last stop line of the record.
std::string StopReason(const std::string& record) {
  const std::pair<const char*, const char*> reasons[] = {
      {"the objective function equals zero", "phi zero"},
      {"lowest phi's are within", "phis close"},
      {"iterations have elapsed since lowest", "no reduction"},
      {"relative parameter change less than", "small change"},
      {"Maximum number of optimization iterations", "iteration limit"},
      {"all parameters at their limits", "at limits"}};
  size_t latest = std::string::npos;
  std::string reason = "-";
  for (const auto& candidate : reasons) {
    const size_t at = record.rfind(candidate.first);
    if (at != std::string::npos && (latest == std::string::npos || at > latest)) {
      latest = at;
      reason = candidate.second;
    }
  }
  return reason;
}

// Replays the screen output: every announced Jacobian run and every lambda trial is a model
// call after the initial one; returns the calls made when a trial's phi first came within
// relative of target, or -1.
long CallsToReach(const std::string& screen, double target, double relative) {
  static const char kJacobian[] = "Calculating Jacobian matrix: running model ";
  static const char kPhi[] = "\tPhi =\t";
  long calls = 1;
  size_t at = 0;
  while (true) {
    const size_t jacobian = screen.find(kJacobian, at);
    const size_t phi = screen.find(kPhi, at);
    if (jacobian == std::string::npos && phi == std::string::npos) return -1;
    if (jacobian < phi) {
      calls += std::strtol(screen.c_str() + jacobian + sizeof kJacobian - 1, nullptr, 10);
      at = jacobian + 1;
      continue;
    }
    ++calls;
    const double value = std::strtod(screen.c_str() + phi + sizeof kPhi - 1, nullptr);
    if (value <= target * (1.0 + relative)) return calls;
    at = phi + 1;
  }
}

Score ScoreRun(const nist::Dataset& d, const fs::path& dir) {
  Score s;
  const int k = d.parameter_count();
  s.problem = d.model->name;
  s.certified_rss = d.certified_rss;
  s.lre.assign(k + 1, 0.0);
  nist::DataHeader h;
  if (nist::ReadDataHeader((dir / nist::kDataFile).string(), h)) {
    s.start = h.start;
    s.settings = h.settings;
  }
  s.calls = TotalModelCalls(dir / (s.problem + ".rec"));
  std::string record, screen;
  if (nist::ReadWholeFile((dir / (s.problem + ".rec")).string(), record)) {
    s.stop = StopReason(record);
    const std::vector<double> deviations = RecordedDeviations(record, k);
    if (!deviations.empty()) {
      s.min_deviation_lre = 11.0;
      for (int j = 1; j <= k; ++j) {
        s.min_deviation_lre = std::min(
            s.min_deviation_lre, nist::LogRelativeError(deviations[j], d.certified_deviation[j]));
      }
    }
  }
  if (nist::ReadWholeFile((dir / "run.log").string(), screen)) {
    s.calls_to_reach = CallsToReach(screen, d.certified_rss, nist::kSolvedRssRelative);
  }
  std::string text;
  std::vector<double> b(1, 0.0);  // b[1..k]
  if (!nist::ReadWholeFile((dir / nist::kValueFile).string(), text)) return s;
  const char* cursor = text.c_str();
  if (!nist::ReadNumbers(cursor, k, b)) return s;
  s.rss = nist::ResidualSumOfSquares(d, b);
  s.relative = std::fabs(s.rss - d.certified_rss) / d.certified_rss;
  s.min_lre = 11.0;
  for (int j = 1; j <= k; ++j) {
    s.lre[j] = nist::LogRelativeError(b[j], d.certified[j]);
    s.min_lre = std::min(s.min_lre, s.lre[j]);
  }
  const bool rss_agrees = d.model->parameters_only || s.relative <= nist::kSolvedRssRelative;
  // Only a run that ended through its termination tests has a result to judge.
  s.solved = s.calls >= 0 && s.min_lre >= nist::kSolvedLre && rss_agrees;
  s.status = s.calls < 0 ? "unfinished" : s.solved ? "solved" : "failed";
  return s;
}

void PrintHeader(bool tsv) {
  if (tsv) {
    std::printf("problem\tstart\tsettings\tcalls\trss\tcertified_rss\trelative_difference\t"
                "min_lre\tstatus\tmin_sd_lre\tstop\tcalls_to_reach\tlre_b1..lre_bk\n");
  } else {
    std::printf("%-9s %5s %-8s %6s %17s %17s %9s %7s %-10s %6s %-15s %s\n", "Problem", "Start",
                "Settings", "Calls", "Final RSS", "Certified RSS", "Rel.diff", "Min LRE",
                "Status", "SD LRE", "Stop", "LRE b1 b2 ...");
  }
}

void PrintScore(const Score& s, bool tsv) {
  const size_t k = s.lre.size() - 1;
  if (tsv) {
    std::printf("%s\t%d\t%s\t%ld\t%.10E\t%.10E\t%.3E\t%.2f\t%s\t%.2f\t%s\t%ld",
                s.problem.c_str(), s.start, s.settings.c_str(), s.calls, s.rss, s.certified_rss,
                s.relative, s.min_lre, s.status, s.min_deviation_lre, s.stop.c_str(),
                s.calls_to_reach);
    for (size_t j = 1; j <= k; ++j) std::printf("\t%.2f", s.lre[j]);
  } else {
    const std::string calls = s.calls >= 0 ? std::to_string(s.calls) : "-";
    std::printf("%-9s %5d %-8s %6s %17.10E %17.10E %9.2E %7.1f %-10s %6.1f %-15s",
                s.problem.c_str(), s.start, s.settings.c_str(), calls.c_str(), s.rss,
                s.certified_rss, s.relative, s.min_lre, s.status, s.min_deviation_lre,
                s.stop.c_str());
    for (size_t j = 1; j <= k; ++j) std::printf(" %4.1f", s.lre[j]);
  }
  std::printf("\n");
}

// ---------------------------------------------------------------------------------------
// selfcheck
// ---------------------------------------------------------------------------------------

// The certified values as the engine's value file carries them: 8 significant digits.
std::vector<double> AsValueFile(const std::vector<double>& b) {
  std::vector<double> rounded(b.size(), 0.0);
  char text[40];
  for (size_t j = 1; j < b.size(); ++j) {
    std::snprintf(text, sizeof text, "%.7E", b[j]);
    rounded[j] = std::strtod(text, nullptr);
  }
  return rounded;
}

// Observation values of a control file as written by make, in order.
std::vector<double> ObservationValues(const std::string& control) {
  std::vector<double> values;
  size_t at = control.find("* observation data\n");
  if (at == std::string::npos) return values;
  at = control.find('\n', at) + 1;
  while (at < control.size() && control[at] != '*') {
    char name[64];
    double value = 0.0;
    if (std::sscanf(control.c_str() + at, "%63s %lf", name, &value) != 2) break;
    values.push_back(value);
    at = control.find('\n', at);
    if (at == std::string::npos) break;
    ++at;
  }
  return values;
}

// Makes the problem in a scratch directory, runs the model at the rounded certified values
// as the engine would, and returns the RSS of the predictions it wrote against the
// observations of the control file (NaN when a step fails).
double RoundTripRss(const nist::Dataset& d, const fs::path& scratch,
                    const std::vector<double>& rounded) {
  if (!nist::MakeProblem(d, 1, scratch, nist::Settings::kPlain, "/bin/true")) return NAN;
  std::string values;
  char number[40];
  for (size_t j = 1; j < rounded.size(); ++j) {
    std::snprintf(number, sizeof number, "%.7E ", rounded[j]);
    values += number;
  }
  const fs::path value_path = scratch / nist::kValueFile;
  const fs::path output_path = scratch / nist::kModelOutput;
  if (!nist::WriteTextFile(value_path, values) ||
      nist::RunModel((scratch / nist::kDataFile).string(), value_path.string(),
                     output_path.string()) != 0) {
    return NAN;
  }
  std::string control, output;
  if (!nist::ReadWholeFile((scratch / (std::string(d.model->name) + ".pst")).string(),
                           control) ||
      !nist::ReadWholeFile(output_path.string(), output)) {
    return NAN;
  }
  const std::vector<double> observed = ObservationValues(control);
  std::vector<double> predicted;
  const char* cursor = output.c_str();
  if (static_cast<int>(observed.size()) != d.points ||
      !nist::ReadNumbers(cursor, d.points, predicted)) {
    return NAN;
  }
  double sum = 0.0;
  for (int i = 0; i < d.points; ++i) {
    const double r = observed[i] - predicted[i];
    sum += r * r;
  }
  return sum;
}

fs::path ScratchDirectory() {
  std::random_device random;
  const fs::path dir =
      fs::temp_directory_path() / ("tarne_nist_selfcheck_" + std::to_string(random()));
  fs::create_directories(dir);
  return dir;
}

int SelfCheck(const fs::path& data_dir) {
  std::printf("%-9s %4s %2s %17s %17s %9s %9s %9s  %s\n", "Problem", "n", "k", "Certified RSS",
              "RSS(certified)", "Rel.diff", "8-digit", "Trip", "Check");
  const fs::path scratch = ScratchDirectory();
  int failures = 0;
  for (const nist::ProblemModel& problem : nist::AllProblems()) {
    nist::Dataset d;
    std::string error;
    const fs::path dat = data_dir / (std::string(problem.name) + ".dat");
    if (!nist::ReadDataset(dat.string(), d, error)) {
      std::printf("%-9s %s\n", problem.name, error.c_str());
      ++failures;
      continue;
    }
    const double rss = nist::ResidualSumOfSquares(d, d.certified);
    const double relative = std::fabs(rss - d.certified_rss) / d.certified_rss;
    const std::vector<double> rounded = AsValueFile(d.certified);
    const double rounded_rss = nist::ResidualSumOfSquares(d, rounded);
    const double floor = std::fabs(rounded_rss - d.certified_rss) / d.certified_rss;
    // Made files and model output must give the very RSS computed here directly.
    const double trip_rss = RoundTripRss(d, scratch / problem.name, rounded);
    const double trip = std::fabs(trip_rss - rounded_rss) / rounded_rss;
    const bool starts_finite = std::isfinite(nist::ResidualSumOfSquares(d, d.start[0])) &&
                               std::isfinite(nist::ResidualSumOfSquares(d, d.start[1]));
    // Lanczos1: near 0 is all double precision can show.
    const bool rss_ok = problem.parameters_only ? rss < 1e-20 : relative <= 1e-9;
    const bool ok = rss_ok && trip <= 1e-13 && starts_finite;
    if (!ok) ++failures;
    std::printf("%-9s %4d %2d %17.10E %17.10E %9.2E %9.2E %9.2E  %s%s\n", problem.name,
                d.points, d.parameter_count(), d.certified_rss, rss, relative, floor, trip,
                ok ? "ok" : "FAILED",
                problem.parameters_only ? " (RSS near 0: judged by parameters)" : "");
  }
  std::error_code ignored;
  fs::remove_all(scratch, ignored);
  const int problems = static_cast<int>(nist::AllProblems().size());
  std::printf("%d of %d problems agree\n", problems - failures, problems);
  return failures == 0 ? 0 : 1;
}

// ---------------------------------------------------------------------------------------
// command line
// ---------------------------------------------------------------------------------------

constexpr const char* kDefaultDataDir = "/work/shared/reference/nist-strd";

int Usage() {
  std::fprintf(stderr,
               "usage: tarne_nist make <Problem.dat> <start 1|2> <dir> [--secant] "
               "[--set NAME=VALUE]...\n"
               "       tarne_nist model <dir-or-data-file>\n"
               "       tarne_nist score <Problem.dat> <dir> [--tsv]\n"
               "       tarne_nist header [--tsv]\n"
               "       tarne_nist reach <screen output> <target phi> [relative]\n"
               "       tarne_nist selfcheck [<directory of the .dat files>]\n");
  return 2;
}

// This program's absolute path, for the model command of the projects it makes.
std::string ProgramPath(const char* argv0) {
  std::error_code error;
  const fs::path self = fs::read_symlink("/proc/self/exe", error);
  if (!error) return self.string();
  return fs::absolute(argv0, error).lexically_normal().string();
}

bool ReadDatasetOrReport(const char* path, nist::Dataset& d) {
  std::string error;
  if (nist::ReadDataset(path, d, error)) return true;
  std::fprintf(stderr, "tarne_nist: %s\n", error.c_str());
  return false;
}

// A "--set NAME=VALUE" word: a control setting of the table and a value of one word.
bool ParseOverride(const std::string& word, nist::SettingOverrides& overrides) {
  const size_t equals = word.find('=');
  if (equals == std::string::npos || equals == 0 || equals + 1 == word.size()) return false;
  const std::string name = word.substr(0, equals);
  const std::string value = word.substr(equals + 1);
  if (!nist::IsControlSetting(name)) {
    std::fprintf(stderr, "tarne_nist: %s is not a control setting of the made problems\n",
                 name.c_str());
    return false;
  }
  if (value.find_first_of(" \t\r\n") != std::string::npos) {
    std::fprintf(stderr, "tarne_nist: the value of %s must be one word\n", name.c_str());
    return false;
  }
  overrides.emplace_back(name, value);
  return true;
}

int Make(int argc, char** argv) {
  if (argc < 5) return Usage();
  nist::Settings settings = nist::Settings::kPlain;
  nist::SettingOverrides overrides;
  for (int i = 5; i < argc; ++i) {
    if (std::strcmp(argv[i], "--secant") == 0) {
      settings = nist::Settings::kSecant;
    } else if (std::strcmp(argv[i], "--set") == 0 && i + 1 < argc) {
      if (!ParseOverride(argv[++i], overrides)) return Usage();
    } else {
      return Usage();
    }
  }
  const std::string start_word = argv[3];
  if (start_word != "1" && start_word != "2") return Usage();
  nist::Dataset d;
  if (!ReadDatasetOrReport(argv[2], d)) return 2;
  const int start = start_word == "1" ? 1 : 2;
  if (!nist::MakeProblem(d, start, argv[4], settings, ProgramPath(argv[0]), overrides)) return 1;
  std::printf("%s\n", d.model->name);
  return 0;
}

// "reach <screen output> <target phi> [relative]": the model calls after which phi first came
// within relative (default 1e-6) of the target, or -1; exit status 0 when it did, 1 when not.
int ReachCommand(int argc, char** argv) {
  if (argc < 4 || argc > 5) return Usage();
  char* end = nullptr;
  const double target = std::strtod(argv[3], &end);
  if (end == argv[3] || *end != '\0' || !(target >= 0.0)) return Usage();
  double relative = nist::kSolvedRssRelative;
  if (argc == 5) {
    relative = std::strtod(argv[4], &end);
    if (end == argv[4] || *end != '\0' || !(relative >= 0.0)) return Usage();
  }
  std::string screen;
  if (!nist::ReadWholeFile(argv[2], screen)) {
    std::fprintf(stderr, "tarne_nist: cannot read %s\n", argv[2]);
    return 2;
  }
  const long calls = CallsToReach(screen, target, relative);
  std::printf("%ld\n", calls);
  return calls >= 0 ? 0 : 1;
}

int ScoreCommand(int argc, char** argv) {
  if (argc < 4 || argc > 5) return Usage();
  const bool tsv = argc == 5 && std::strcmp(argv[4], "--tsv") == 0;
  if (argc == 5 && !tsv) return Usage();
  nist::Dataset d;
  if (!ReadDatasetOrReport(argv[2], d)) return 2;
  const Score score = ScoreRun(d, argv[3]);
  PrintScore(score, tsv);
  return score.solved ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string command = argv[1];
  if (command == "model") {
    if (argc != 3) return Usage();
    std::error_code error;
    const std::string data = fs::is_directory(argv[2], error)
                                 ? (fs::path(argv[2]) / nist::kDataFile).string()
                                 : std::string(argv[2]);
    return nist::RunModel(data, nist::kValueFile, nist::kModelOutput);
  }
  if (command == "make") return Make(argc, argv);
  if (command == "score") return ScoreCommand(argc, argv);
  if (command == "reach") return ReachCommand(argc, argv);
  if (command == "header") {
    if (argc > 3 || (argc == 3 && std::strcmp(argv[2], "--tsv") != 0)) return Usage();
    PrintHeader(argc == 3);
    return 0;
  }
  if (command == "selfcheck") {
    if (argc > 3) return Usage();
    return SelfCheck(argc == 3 ? argv[2] : kDefaultDataDir);
  }
  return Usage();
}
