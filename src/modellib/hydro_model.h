// The gridded rainfall-runoff model of the "hydro" kind: forcing file reading, the cell
// water balance with two linear reservoirs, routing to the outlet, and the objective against
// observations. Called by the model run object; the parts are public for tests and tools.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace tarne {

class observed_data;

struct HydroParameters {
  double soil_capacity = 0.0;  // mm
  double shape = 0.0;          // saturation curve shape b
  double fast_k = 0.0;         // hours
  double slow_k = 0.0;         // hours
  double split = 0.0;          // fraction of runoff into the fast reservoir
  double velocity = 0.0;       // m/s
};

struct HydroGrid {
  long columns = 1;
  long rows = 1;
  double cell_size = 1000.0;  // metres
  double time_step = 24.0;    // hours
  long outlet_column = 1;     // 1-based
  long outlet_row = 1;
  double rain_gradient = 0.0;
  double initial_soil = 0.5;
};

struct Forcing {
  std::vector<double> time;
  std::vector<double> precipitation;  // mm per step
  std::vector<double> evaporation;    // potential, mm per step
};

// Water volumes summed over all cells, in cell-millimetres.
struct WaterBalance {
  double precipitation = 0.0;
  double evaporation = 0.0;
  double outflow = 0.0;        // reached the outlet within the run
  double storage_start = 0.0;
  double storage_end = 0.0;    // soil, reservoirs and water still on its way
};

struct HydroResult {
  std::vector<double> discharge;  // m3/s at the outlet, one per time step
  WaterBalance balance;
};

// Largest grid and longest forcing series a project may give: they bound the memory of a run
// (a few tens of megabytes) whatever numbers a project or forcing file holds.
constexpr long kMaxHydroCells = 1000000;
constexpr std::size_t kMaxForcingSteps = 1000000;

// Reads "time precipitation evaporation" rows. Returns 0, kNotOpened (2, no message, the
// reason in not_opened when that is not null) when the file cannot be opened, is not a
// regular file or is too large, or 1 after a message naming the file and line (a malformed
// row, a negative amount, a time that does not increase, more than max_rows rows, or a file
// without rows).
int ReadForcing(const std::string& path, Forcing* forcing,
                std::size_t max_rows = kMaxForcingSteps, std::string* not_opened = nullptr);

struct Project;
class replace_io;

// Reads the forcing file the project names, resolved through files. Returns 0, or 1 after
// the message.
int ReadProjectForcing(const Project& project, const replace_io& files, Forcing* forcing);

// False, with the reason, when a parameter lies outside its valid range.
bool CheckHydroParameters(const HydroParameters& parameters, std::string* problem);

// Runs the model over the whole forcing.
void SimulateHydro(const HydroGrid& grid, const HydroParameters& parameters,
                   const Forcing& forcing, HydroResult* result);

// The cells one of several processes simulates when they share a run: member m of M takes
// the cells m N / M .. (m + 1) N / M - 1 of the N cells in row order.
struct CellShare {
  long member = 0;
  long members = 1;
};

// What the cells of one share send to the outlet: routed holds the water arriving at the
// outlet in each step of the run and, after those, the water still on its way (cell-mm); its
// length depends only on the grid, the parameters and the forcing, so it is the same for
// every share. balance holds the share's precipitation, evaporation and storage (outflow is
// left to FinishHydro). The routed arrays and balances of all shares add up to those of the
// whole grid.
struct RoutedWater {
  std::vector<double> routed;
  WaterBalance balance;
};
void RouteHydroCells(const HydroGrid& grid, const HydroParameters& parameters,
                     const Forcing& forcing, const CellShare& share, RoutedWater* water);
// The outlet discharge and the outflow of the whole grid from its routed water.
void FinishHydro(const HydroGrid& grid, const Forcing& forcing, const RoutedWater& water,
                 HydroResult* result);

// Weighted squared error of the discharge against the observations plus the optional peak
// and volume terms. False, with the reason, when an observation time is not a forcing time
// or there are no observations.
bool HydroObjective(const Forcing& forcing, const std::vector<double>& discharge,
                    const observed_data& observed, double peak_weight, double volume_weight,
                    double* objective, std::string* problem);

}  // namespace tarne
