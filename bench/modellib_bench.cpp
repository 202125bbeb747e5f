// Cost of the model library's evaluations: one hydro run per cell-step (the model alone and a
// whole main_tarne with project, forcing and hydrograph files), and one function evaluation
// through main_calib, each with the construction and destruction of tarne_sim around it.
// Runs in a fresh temporary directory; prints its figures as wall-clock time and as processor
// time of this process (the second is the fairer figure on a busy machine).
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <cstdlib>
#include <string>

#include "modellib/hydro_model.h"
#include "modellib/tarne_lib.h"

namespace {

using Clock = std::chrono::steady_clock;

void Write(const char* name, const std::string& text) {
  std::FILE* file = std::fopen(name, "w");
  if (file == nullptr) std::exit(1);
  std::fputs(text.c_str(), file);
  std::fclose(file);
}

// Wall-clock and processor seconds since construction.
struct Timer {
  Clock::time_point wall = Clock::now();
  std::clock_t cpu = std::clock();
  double Wall() const { return std::chrono::duration<double>(Clock::now() - wall).count(); }
  double Cpu() const { return static_cast<double>(std::clock() - cpu) / CLOCKS_PER_SEC; }
};

tarne::Forcing MakeForcing(int steps) {
  tarne::Forcing forcing;
  for (int t = 0; t < steps; ++t) {
    forcing.time.push_back(t + 1);
    forcing.precipitation.push_back(t % 5 == 0 ? 12.0 : (t % 3 == 0 ? 2.0 : 0.0));
    forcing.evaporation.push_back(2.0);
  }
  return forcing;
}

void BenchHydroModel(long side, int steps) {
  tarne::HydroGrid grid;
  grid.columns = side;
  grid.rows = side;
  grid.outlet_column = side;
  grid.outlet_row = side;
  tarne::HydroParameters p;
  p.soil_capacity = 120;
  p.shape = 2.5;
  p.fast_k = 48;
  p.slow_k = 720;
  p.split = 0.6;
  p.velocity = 0.05;
  const tarne::Forcing forcing = MakeForcing(steps);
  tarne::HydroResult result;
  const int repeats = 200;
  const Timer timer;
  for (int i = 0; i < repeats; ++i) tarne::SimulateHydro(grid, p, forcing, &result);
  const double wall = timer.Wall() / repeats, cpu = timer.Cpu() / repeats;
  const double cell_steps = static_cast<double>(side * side) * steps;
  std::printf("hydro model alone, %ld cells x %d steps: %.3f ms per run (cpu %.3f ms), "
              "%.2f ns per cell-step (cpu %.2f ns)\n",
              side * side, steps, wall * 1e3, cpu * 1e3, wall / cell_steps * 1e9,
              cpu / cell_steps * 1e9);
}

void BenchHydroMainTarne(int steps) {
  std::string forcing;
  for (int t = 1; t <= steps; ++t) {
    forcing += std::to_string(t) + (t % 5 == 0 ? " 12 2\n" : " 0 2\n");
  }
  Write("forcing.txt", forcing);
  Write("hydro.prj",
        "kind hydro\ngrid 10 10\noutlet 10 10\nforcing forcing.txt\noutput q.out\n"
        "parameter soil_capacity 120\nparameter shape 2.5\nparameter fast_k 48\n"
        "parameter slow_k 720\nparameter split 0.6\nparameter velocity 0.05\n");
  tarne::mpi_setup partition;
  const int repeats = 100;
  const Timer timer;
  for (int i = 0; i < repeats; ++i) {
    tarne::tarne_sim sim(&partition);
    if (sim.main_tarne("hydro.prj", nullptr, "hydro.prj") != 0) std::exit(1);
  }
  const double wall = timer.Wall() / repeats, cpu = timer.Cpu() / repeats;
  std::printf("hydro main_tarne with tarne_sim, project, forcing and hydrograph files, "
              "100 cells x %d steps: %.3f ms per run (cpu %.3f ms), %.2f ns per cell-step "
              "(cpu %.2f ns)\n",
              steps, wall * 1e3, cpu * 1e3, wall / (100.0 * steps) * 1e9,
              cpu / (100.0 * steps) * 1e9);
}

void BenchFunctionMainCalib() {
  Write("function.prj",
        "kind function\nfunction hartman6\nparameter a [a]\nparameter b [b]\nparameter c [c]\n"
        "parameter d [d]\nparameter e [e]\nparameter f [f]\noutput f.out\n");
  Write("calib.in",
        "6\n[a] \"%16.8lf\"\n[b] \"%16.8lf\"\n[c] \"%16.8lf\"\n[d] \"%16.8lf\"\n"
        "[e] \"%16.8lf\"\n[f] \"%16.8lf\"\n");
  tarne::mpi_setup partition;
  tarne::observed_data observed;
  double x[7] = {0, 0.2, 0.15, 0.48, 0.28, 0.31, 0.66};
  const int repeats = 20000;
  double sum = 0.0;
  const Timer timer;
  for (int i = 0; i < repeats; ++i) {
    tarne::tarne_sim sim(&partition);
    sum += sim.main_calib("calib.in", "function.prj", x, &observed, 6, "temp", 0);
  }
  const double wall = timer.Wall() / repeats, cpu = timer.Cpu() / repeats;
  std::printf("function main_calib hartman6 with tarne_sim, project and list read (no output "
              "file): %.2f us per evaluation (cpu %.2f us; checksum %.6f)\n",
              wall * 1e6, cpu * 1e6, sum / repeats);
}

}  // namespace

int main() {
  char directory[] = "/tmp/tarne_modellib_bench_XXXXXX";
  if (mkdtemp(directory) == nullptr || chdir(directory) != 0) return 1;
  BenchHydroModel(10, 2000);
  BenchHydroModel(30, 2000);
  BenchHydroMainTarne(2000);
  BenchFunctionMainCalib();
  std::remove("forcing.txt");
  std::remove("hydro.prj");
  std::remove("q.out");
  std::remove("function.prj");
  std::remove("calib.in");
  std::remove("f.out");
  if (chdir("/") != 0 || rmdir(directory) != 0) return 1;
  return 0;
}
