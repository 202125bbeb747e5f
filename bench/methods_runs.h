// The six calibration methods as the comparison (bench_methods) runs them: their settings,
// chosen once for every problem and printed with the table, how a seed enters each, and the
// runs themselves, each a "tarne" process in a temporary directory of its own, a few at a
// time. Used by methods_bench.cpp.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "methods_problems.h"

namespace methods {

enum class Method { kMonteCarlo, kSce, kSlm, kMultistart, kMlsl, kTrajectory };

const std::vector<Method>& AllMethods();
const char* MethodLabel(Method method);  // the command-line option: "-m", "-c", "-slm", ...
bool ParseMethod(const std::string& text, Method& method);
bool IsGlobalLm(Method method);  // "-ms", "-mlsl" or "-tr"

// The settings of every method, one line each, as the table's heading prints them.
std::vector<std::string> SettingsLines();
// The control data every PEST case gets.
ControlText LmControl();

// One method run to make: the method with seed 1..seeds, or for Monte Carlo, which seeds its
// generator from the clock, one run of seeds x budget samples that is split afterwards.
struct Job {
  const Problem* problem = nullptr;
  Method method = Method::kSlm;
  int seed = 0;  // 0 for the single Monte Carlo run
  std::filesystem::path dir;
  std::vector<std::string> argv;
};

// The -slm start of a seed: each parameter drawn uniformly within its bounds.
std::vector<double> SlmStart(const Problem& problem, int seed);

// Makes a fresh directory under parent and writes the job's files into it.
Job PrepareJob(const Problem& problem, const Sources& sources, Method method, int seed, int seeds,
               const std::filesystem::path& tarne, const std::filesystem::path& parent);

// What a finished job left: the phi of every model run, and whether the tool ended well.
struct JobResult {
  std::vector<double> phi;
  bool ended_well = false;
  bool timed_out = false;
};

// Runs the jobs, at most `parallel` at a time, each stopped after `seconds`; calls done for
// each as it finishes (in the order they finish), then removes its directory unless keep.
void RunJobs(std::vector<Job>& jobs, int parallel, double seconds, bool keep,
             const std::function<void(const Job&, const JobResult&)>& done);

}  // namespace methods
