#include "methods_runs.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <system_error>
#include <thread>
#include <utility>

namespace methods {

namespace fs = std::filesystem;

namespace {

// =======================================================================================
// THE SETTINGS, the same for every problem. Each method's input file is written from these;
// the seed goes where "%u" stands.
// =======================================================================================

// Control data of every PEST case (all four Levenberg-Marquardt tools): lambda search as in
// examples/global/sine.pst; at most 50 iterations; stop when the 4 lowest phis lie within
// 1e-5 relative, or phi has not fallen for 6 iterations, or no parameter changed by more
// than 1e-5 relative for 4; plain Levenberg-Marquardt (SLMMODE 0); repulsion distance
// LSDISTMIN 0.02 (trajectory repulsion and MLSL). Derivatives: forward differences with
// relative increments of 0.01, three-point parabolic ones once phi falls by less than 10 %.
constexpr const char* kControlLines =
    "0.01 2.0 0.3 0.01 10\n"
    "10.0 10.0 0.001 0\n"
    "0.1 noaui\n"
    "50 1e-5 4 6 1e-5 4\n"
    "0 0 0\n"
    "0 0 0.9 1 0.02\n";
constexpr const char* kDerivatives = "relative 0.01 0.0 switch 2.0 parabolic";
// ms.in: seed, 10 starting points.
constexpr const char* kMultistartInput = "%u\n10\n";
// mlsl.in: 20 samples per iteration, the best 20 % kept, sigma 4, dmin 0.01, no seeds file,
// seed; at most 5 iterations and 10 local searches; stop after 5 searches or 2 iterations
// without an improvement of 0.1 %.
constexpr const char* kMlslInput = "20 0.2 4.0 0.01\nnone %u\n5 10 5 2 0.001\n";
// tr.in: no seeds file, seed; 40 samples, at most 10 local searches, stop after 5 in a row
// without an improvement of 0.1 %.
constexpr const char* kTrInput = "none %u\n40 10 5 0.001\n";
// SCE input, record 1: at most 20000 evaluations, stop when the best value changed by less
// than 0.01 % in 5 shuffling loops, 4 complexes, seed, default complex sizes (2n + 1
// points, n + 1 in a sub-complex, 2n + 1 evolution steps).
constexpr const char* kSceRecord = "20000 5 0.01 4 %u 0 %zu\n0 0 0 0 0 0\n";

std::string WithSeed(const char* format, unsigned seed) {
  char text[256];
  std::snprintf(text, sizeof text, format, seed);
  return text;
}

// The head of the Monte Carlo and SCE input files: project, second path, observations.
std::string InputHead() {
  return std::string(kObjectiveProject) + "\n" + kCalibratedList + "\n" + kObservationFile + "\n";
}

std::vector<std::string> InputArgs(const Problem& p, Method method, int seeds, const fs::path& dir,
                                   unsigned seed) {
  switch (method) {
    case Method::kMonteCarlo: {
      std::string in = InputHead() + std::to_string(p.names.size()) + "\n";
      for (size_t j = 0; j < p.names.size(); ++j)
        in += ExactNumber(p.lower[j]) + " " + ExactNumber(p.upper[j]) + "\n";
      WriteTextFile(dir / "mc.in", in);
      return {"-m" + std::to_string(static_cast<long>(seeds) * p.budget), "mc.in"};
    }
    case Method::kSce: {
      char record[128];
      std::snprintf(record, sizeof record, kSceRecord, seed, p.names.size());
      std::string in = InputHead() + record;
      for (size_t j = 0; j < p.names.size(); ++j) {
        in += ExactNumber(p.initial[j]) + " " + ExactNumber(p.lower[j]) + " " +
              ExactNumber(p.upper[j]) + "\n";
      }
      WriteTextFile(dir / "sce.in", in);
      return {"-c", "sce.in"};
    }
    case Method::kSlm:
      return {"-slm", "case"};
    case Method::kMultistart:
      WriteTextFile(dir / "ms.in", WithSeed(kMultistartInput, seed));
      return {"-ms", "case"};
    case Method::kMlsl:
      WriteTextFile(dir / "mlsl.in", WithSeed(kMlslInput, seed));
      return {"-mlsl", "case"};
    case Method::kTrajectory:
      WriteTextFile(dir / "tr.in", WithSeed(kTrInput, seed));
      return {"-tr", "case"};
  }
  return {};
}

// One running job.
struct Running {
  size_t index;
  std::chrono::steady_clock::time_point started;
  bool timed_out = false;
};

pid_t Spawn(const Job& job) {
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child < 0) {
    std::perror("bench_methods: fork");
    std::exit(2);
  }
  if (child > 0) return child;
  setpgid(0, 0);  // its own process group, so that a timeout ends the model commands too
  if (chdir(job.dir.c_str()) != 0) _exit(127);
  const int log = open("run.log", O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (log >= 0) {
    dup2(log, 1);
    dup2(log, 2);
  }
  std::vector<char*> argv;
  for (const std::string& word : job.argv) argv.push_back(const_cast<char*>(word.c_str()));
  argv.push_back(nullptr);
  execv(argv[0], argv.data());
  _exit(127);
}

TraceSource SourceOf(const Job& job) {
  const bool objective_form = job.method == Method::kMonteCarlo || job.method == Method::kSce;
  return TraceSourceOf(*job.problem, objective_form, job.method == Method::kSce);
}

}  // namespace

const std::vector<Method>& AllMethods() {
  static const std::vector<Method> all = {Method::kMonteCarlo, Method::kSce,  Method::kSlm,
                                          Method::kMultistart, Method::kMlsl, Method::kTrajectory};
  return all;
}

const char* MethodLabel(Method method) {
  switch (method) {
    case Method::kMonteCarlo:
      return "-m";
    case Method::kSce:
      return "-c";
    case Method::kSlm:
      return "-slm";
    case Method::kMultistart:
      return "-ms";
    case Method::kMlsl:
      return "-mlsl";
    case Method::kTrajectory:
      return "-tr";
  }
  return "";
}

bool ParseMethod(const std::string& text, Method& method) {
  for (Method m : AllMethods()) {
    if (text == MethodLabel(m) || text == MethodLabel(m) + 1) {
      method = m;
      return true;
    }
  }
  return false;
}

bool IsGlobalLm(Method method) {
  return method == Method::kMultistart || method == Method::kMlsl || method == Method::kTrajectory;
}

std::vector<std::string> SettingsLines() {
  auto one_line = [](std::string text) {
    while (!text.empty() && text.back() == '\n') text.pop_back();
    for (char& c : text) c = c == '\n' ? ' ' : c;
    return text;
  };
  std::vector<std::string> lines;
  lines.push_back("control data of every PEST case (lines 6 to 11): \"" + one_line(kControlLines) +
                  "\"; parameter group \"" + kDerivatives + "\"");
  lines.push_back(
      "-m:    one run of 30 x budget samples (its generator is seeded from the clock), "
      "split into blocks of `budget` samples, one block per seed");
  lines.push_back("-c:    sce.in records 1 and 2 \"" + one_line(kSceRecord) + "\"");
  lines.push_back("-slm:  no seed: the start is drawn uniformly within the bounds by the seed");
  lines.push_back("-ms:   ms.in \"" + one_line(kMultistartInput) + "\"");
  lines.push_back("-mlsl: mlsl.in \"" + one_line(kMlslInput) + "\"");
  lines.push_back("-tr:   tr.in \"" + one_line(kTrInput) + "\"");
  for (std::string& line : lines) {
    for (const auto& [field, shown] :
         {std::pair<std::string, std::string>{"%u", "<seed>"}, {"%zu", "<parameters>"}}) {
      for (size_t at = line.find(field); at != std::string::npos; at = line.find(field)) {
        line.replace(at, field.size(), shown);
      }
    }
  }
  return lines;
}

ControlText LmControl() { return {kControlLines, kDerivatives}; }

std::vector<double> SlmStart(const Problem& problem, int seed) {
  std::mt19937 engine(static_cast<unsigned>(seed));
  std::vector<double> start;
  for (size_t j = 0; j < problem.names.size(); ++j) {
    // 53 random bits from two draws, as tools/make_hydro_example.cpp makes them.
    const unsigned long long high = engine() >> 5, low = engine() >> 6;
    const double u = (static_cast<double>((high << 26) | low) + 0.5) / 9007199254740992.0;
    start.push_back(problem.lower[j] + u * (problem.upper[j] - problem.lower[j]));
  }
  return start;
}

Job PrepareJob(const Problem& problem, const Sources& sources, Method method, int seed, int seeds,
               const fs::path& tarne, const fs::path& parent) {
  Job job;
  job.problem = &problem;
  job.method = method;
  job.seed = seed;
  std::string pattern = (parent / (problem.label + std::string("_") + (MethodLabel(method) + 1) +
                                   "_" + std::to_string(seed) + "_XXXXXX"))
                            .string();
  if (mkdtemp(pattern.data()) == nullptr) {
    std::perror("bench_methods: mkdtemp");
    std::exit(2);
  }
  job.dir = pattern;
  const bool objective_form = method == Method::kMonteCarlo || method == Method::kSce;
  const std::vector<double> start =
      method == Method::kSlm ? SlmStart(problem, seed) : problem.initial;
  if (objective_form) {
    WriteObjectiveCase(problem, sources, job.dir);
  } else {
    WritePestCase(problem, sources, LmControl(), start, job.dir);
  }
  job.argv = {tarne.string()};
  for (std::string& word :
       InputArgs(problem, method, seeds, job.dir, static_cast<unsigned>(seed))) {
    job.argv.push_back(word);
  }
  return job;
}

void RunJobs(std::vector<Job>& jobs, int parallel, double seconds, bool keep,
             const std::function<void(const Job&, const JobResult&)>& done) {
  std::map<pid_t, Running> running;
  size_t next = 0;
  while (next < jobs.size() || !running.empty()) {
    while (next < jobs.size() && static_cast<int>(running.size()) < std::max(1, parallel)) {
      running[Spawn(jobs[next])] = Running{next, std::chrono::steady_clock::now()};
      ++next;
    }
    int status = 0;
    const pid_t finished = waitpid(-1, &status, WNOHANG);
    if (finished <= 0) {
      const auto now = std::chrono::steady_clock::now();
      for (auto& [pid, run] : running) {
        if (!run.timed_out && std::chrono::duration<double>(now - run.started).count() > seconds) {
          run.timed_out = true;
          kill(-pid, SIGKILL);
        }
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      continue;
    }
    const auto it = running.find(finished);
    if (it == running.end()) continue;
    const Job& job = jobs[it->second.index];
    JobResult result;
    result.timed_out = it->second.timed_out;
    result.ended_well = !result.timed_out && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    running.erase(it);
    const double objective_to_phi = static_cast<double>(job.problem->observed.size());
    result.phi = ReadTrace(job.dir, SourceOf(job), objective_to_phi);
    done(job, result);
    if (!keep) {
      std::error_code ignored;
      fs::remove_all(job.dir, ignored);
    }
  }
}

}  // namespace methods
