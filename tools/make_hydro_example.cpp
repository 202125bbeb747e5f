// Makes the data of the hydro example: a synthetic forcing series and synthetic
// observations, both from a seeded generator so that the files can be remade exactly.
//
//   tarne_make_example forcing <out> <steps> <seed>
//       Daily rain from a two-state (wet/dry) Markov chain with exponential amounts (mean
//       8 mm on wet days; a wet day follows a wet day with probability 0.6 and a dry day
//       with probability 0.25), and potential evaporation 2.5 + 2 sin(2 pi (day - 100) / 365)
//       mm. Rows "day precipitation evaporation".
//   tarne_make_example observations <project> <hydrograph> <out> <seed> <noise> [every]
//       Runs <project> (a project with the "true" parameters) through the model library,
//       reads the hydrograph it writes (<hydrograph>, the project's output file as the
//       library resolves it), and writes every <every>-th step (default 1) as an observation
//       "time value 1": the simulated discharge times (1 + noise z), z standard normal, and
//       never below 0.
//
// The random numbers come from std::mt19937, whose sequence the C++ standard fixes, turned
// into uniform and normal numbers here (not by the library's distributions, which differ
// between standard libraries).
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "modellib/tarne_lib.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

// Uniform number in (0, 1) with 53 random bits.
double Uniform(std::mt19937* engine) {
  const unsigned long long high = (*engine)() >> 5;  // 27 bits
  const unsigned long long low = (*engine)() >> 6;   // 26 bits
  return (static_cast<double>((high << 26) | low) + 0.5) / 9007199254740992.0;
}

// Standard normal number by the Box-Muller transform (one of the pair is used).
double Normal(std::mt19937* engine) {
  const double u1 = Uniform(engine);
  const double u2 = Uniform(engine);
  return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * kPi * u2);
}

int MakeForcing(const char* out, long steps, unsigned seed) {
  std::FILE* file = std::fopen(out, "w");
  if (file == nullptr) {
    std::fprintf(stderr, "cannot create %s\n", out);
    return 1;
  }
  std::mt19937 engine(seed);
  bool wet = false;
  std::fprintf(file, "# day precipitation(mm) potential_evaporation(mm), seed %u\n", seed);
  for (long day = 1; day <= steps; ++day) {
    wet = Uniform(&engine) < (wet ? 0.6 : 0.25);
    const double rain = wet ? -8.0 * std::log(Uniform(&engine)) : 0.0;
    const double evaporation =
        2.5 + 2.0 * std::sin(2.0 * kPi * (static_cast<double>(day) - 100.0) / 365.0);
    std::fprintf(file, "%ld %.3f %.3f\n", day, rain, evaporation);
  }
  return std::fclose(file) == 0 ? 0 : 1;
}

int MakeObservations(const char* project, const char* hydrograph, const char* out,
                     unsigned seed, double noise, long every) {
  tarne::mpi_setup partition;
  {
    tarne::tarne_sim sim(&partition);
    if (sim.main_tarne(project, nullptr, project) != 0) return 1;
  }
  std::FILE* in = std::fopen(hydrograph, "r");
  if (in == nullptr) {
    std::fprintf(stderr, "cannot open %s\n", hydrograph);
    return 1;
  }
  std::vector<double> times, flows;
  double time = 0.0, flow = 0.0;
  while (std::fscanf(in, "%lf %lf", &time, &flow) == 2) {
    times.push_back(time);
    flows.push_back(flow);
  }
  std::fclose(in);
  std::FILE* file = std::fopen(out, "w");
  if (file == nullptr) {
    std::fprintf(stderr, "cannot create %s\n", out);
    return 1;
  }
  std::mt19937 engine(seed);
  std::fprintf(file, "# time discharge(m3/s) weight: %s with noise %g, seed %u\n", project,
               noise, seed);
  for (std::size_t i = 0; i < times.size(); ++i) {
    const double z = Normal(&engine);
    if (i % static_cast<std::size_t>(every) != 0) continue;
    const double value = std::fmax(0.0, flows[i] * (1.0 + noise * z));
    std::fprintf(file, "%.6f %.9e 1\n", times[i], value);
  }
  return std::fclose(file) == 0 ? 0 : 1;
}

int Usage() {
  std::fprintf(stderr,
               "usage: tarne_make_example forcing <out> <steps> <seed>\n"
               "       tarne_make_example observations <project> <hydrograph> <out> <seed> "
               "<noise> [every]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::string(argv[1]) == "forcing") {
    const long steps = std::strtol(argv[3], nullptr, 10);
    if (steps < 1) return Usage();
    return MakeForcing(argv[2], steps, static_cast<unsigned>(std::strtoul(argv[4], nullptr, 10)));
  }
  if ((argc == 7 || argc == 8) && std::string(argv[1]) == "observations") {
    const long every = argc == 8 ? std::strtol(argv[7], nullptr, 10) : 1;
    const double noise = std::strtod(argv[6], nullptr);
    if (every < 1 || !(noise >= 0.0)) return Usage();
    return MakeObservations(argv[2], argv[3], argv[4],
                            static_cast<unsigned>(std::strtoul(argv[5], nullptr, 10)), noise,
                            every);
  }
  return Usage();
}
