#include "modellib/hydro_model.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "modellib/model_kinds.h"
#include "modellib/output_file.h"
#include "modellib/partition_exchange.h"
#include "modellib/replacement.h"
#include "modellib/text_util.h"

namespace tarne {

namespace {

// Reads up to three numbers of one forcing row; returns how many were read, or -1 when an
// item is not a number.
int ParseForcingRow(const char* text, double row[3]) {
  int count = 0;
  const char* p = text;
  while (true) {
    while (*p == ' ' || *p == '\t' || *p == '\r') ++p;
    if (*p == '\0' || *p == '#') return count;
    if (count == 3) return 4;
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(p, &end);
    if (end == p || !std::isfinite(value) || (*end != '\0' && *end != ' ' && *end != '\t' &&
                                              *end != '\r' && *end != '#')) {
      return -1;
    }
    row[count++] = value;
    p = end;
  }
}

// The fault of a forcing row (count as ParseForcingRow gives it, -2 for a line too long), or
// an empty text.
std::string CheckForcingRow(int count, const double row[3], const Forcing& forcing,
                            std::size_t max_rows) {
  if (count == -2) return LineTooLongReason();
  if (count < 0) return "an item is not a number";
  if (forcing.time.size() >= max_rows) {
    return "the file holds more than " + std::to_string(max_rows) + " forcing rows";
  }
  if (count != 3) return "expected time, precipitation and potential evaporation";
  if (row[1] < 0.0 || row[2] < 0.0) return "negative precipitation or evaporation";
  if (!forcing.time.empty() && row[0] <= forcing.time.back()) return "time does not increase";
  return "";
}

}  // namespace

int ReadForcing(const std::string& path, Forcing* forcing, std::size_t max_rows,
                std::string* not_opened) {
  *forcing = Forcing();
  std::string reason;
  std::FILE* file = OpenInputFile(path, "r", kMaxInputFileBytes, &reason);
  if (file == nullptr) {
    if (not_opened != nullptr) *not_opened = reason;
    return kNotOpened;
  }
  std::string line;
  long line_number = 0;
  while (ReadTextLine(file, &line)) {
    ++line_number;
    double row[3] = {0.0, 0.0, 0.0};
    const int count = LineTooLong(line) ? -2 : ParseForcingRow(line.c_str(), row);
    if (count == 0) continue;
    const std::string problem = CheckForcingRow(count, row, *forcing, max_rows);
    if (!problem.empty()) {
      std::fclose(file);
      ReportFileError("read", path, line_number, problem);
      return 1;
    }
    forcing->time.push_back(row[0]);
    forcing->precipitation.push_back(row[1]);
    forcing->evaporation.push_back(row[2]);
  }
  std::fclose(file);
  if (forcing->time.empty()) {
    ReportFileError("read", path, 0, "the file holds no forcing rows");
    return 1;
  }
  return 0;
}

int ReadProjectForcing(const Project& project, const replace_io& files, Forcing* forcing) {
  char forcing_path[kPathMax];
  if (!files.getGopenName(project.forcing.c_str(), "r", forcing_path, sizeof forcing_path,
                          true)) {
    ReportFileError("open", project.forcing, 0, "the path is too long");
    return 1;
  }
  std::string not_opened;
  const int read_status = ReadForcing(forcing_path, forcing, kMaxForcingSteps, &not_opened);
  if (read_status == kNotOpened) ReportUnopenedFile(project, "forcing", forcing_path, not_opened);
  return read_status != 0 ? 1 : 0;
}

bool CheckHydroParameters(const HydroParameters& p, std::string* problem) {
  if (!(p.soil_capacity > 0.0)) *problem = "soil_capacity must be greater than 0";
  else if (!(p.shape > 0.0)) *problem = "shape must be greater than 0";
  else if (!(p.fast_k > 0.0)) *problem = "fast_k must be greater than 0";
  else if (!(p.slow_k > 0.0)) *problem = "slow_k must be greater than 0";
  else if (!(p.split >= 0.0 && p.split <= 1.0)) *problem = "split must lie between 0 and 1";
  else if (!(p.velocity > 0.0)) *problem = "velocity must be greater than 0";
  else return true;
  return false;
}

namespace {

// State and totals of one cell over the run.
struct CellRun {
  double rain_factor;
  long lag_steps;      // whole steps of travel to the outlet
  double lag_weight;   // share of the release that arrives one step later still
};

// Constants of one run shared by all cells.
struct CellConstants {
  double capacity;
  double inverse_capacity;
  double shape;
  double split;
  double fast_release;  // fraction of the fast reservoir released per step
  double slow_release;
  double initial_soil;  // mm
};

// Runs N cells side by side over all steps, adding their releases to routed (cell-mm per
// step). The cells' water balances are independent chains of arithmetic; running several at
// once lets the processor overlap them.
template <int N>
void SimulateCells(const CellRun* cells, const CellConstants& c, const Forcing& forcing,
                   std::vector<double>* routed, WaterBalance* balance) {
  double soil[N], fast[N], slow[N], rain_total[N], evaporation_total[N];
  double* arrival[N];
  for (int k = 0; k < N; ++k) {
    soil[k] = c.initial_soil;
    fast[k] = slow[k] = rain_total[k] = evaporation_total[k] = 0.0;
    arrival[k] = routed->data() + cells[k].lag_steps;
    balance->storage_start += soil[k];
  }
  const std::size_t steps = forcing.time.size();
  const double* rain = forcing.precipitation.data();
  const double* demand = forcing.evaporation.data();
  for (std::size_t t = 0; t < steps; ++t) {
    for (int k = 0; k < N; ++k) {
      const double precipitation = rain[t] * cells[k].rain_factor;
      const double x = soil[k] * c.inverse_capacity;
      double runoff = precipitation * x / (x + c.shape * (1.0 - x));
      soil[k] += precipitation - runoff;
      if (soil[k] > c.capacity) {
        runoff += soil[k] - c.capacity;
        soil[k] = c.capacity;
      }
      const double evaporation = std::min(demand[t] * soil[k] * c.inverse_capacity, soil[k]);
      soil[k] -= evaporation;
      fast[k] += c.split * runoff;
      slow[k] += (1.0 - c.split) * runoff;
      const double released_fast = fast[k] * c.fast_release;
      const double released_slow = slow[k] * c.slow_release;
      fast[k] -= released_fast;
      slow[k] -= released_slow;
      const double release = released_fast + released_slow;
      arrival[k][t] += release * (1.0 - cells[k].lag_weight);
      arrival[k][t + 1] += release * cells[k].lag_weight;
      rain_total[k] += precipitation;
      evaporation_total[k] += evaporation;
    }
  }
  for (int k = 0; k < N; ++k) {
    balance->precipitation += rain_total[k];
    balance->evaporation += evaporation_total[k];
    balance->storage_end += soil[k] + fast[k] + slow[k];
  }
}

CellRun MakeCell(const HydroGrid& grid, const HydroParameters& p, long column, long row) {
  CellRun cell;
  const double relative_row =
      grid.rows > 1 ? static_cast<double>(row) / static_cast<double>(grid.rows - 1) : 0.5;
  cell.rain_factor = 1.0 + grid.rain_gradient * (relative_row - 0.5);
  const double dx = static_cast<double>(column - (grid.outlet_column - 1)) * grid.cell_size;
  const double dy = static_cast<double>(row - (grid.outlet_row - 1)) * grid.cell_size;
  const double lag = std::sqrt(dx * dx + dy * dy) / (p.velocity * grid.time_step * 3600.0);
  // Travel times beyond any sensible run are cut so that the arrival array stays small;
  // water that arrives after the run ends is storage either way.
  const double capped = std::min(lag, 1.0e7);
  cell.lag_steps = static_cast<long>(std::floor(capped));
  cell.lag_weight = capped - static_cast<double>(cell.lag_steps);
  return cell;
}

}  // namespace

void RouteHydroCells(const HydroGrid& grid, const HydroParameters& p, const Forcing& forcing,
                     const CellShare& share, RoutedWater* water) {
  water->balance = WaterBalance();
  const std::size_t steps = forcing.time.size();
  // The routed array has the same length in every share: it reaches the longest lag of the
  // grid, which belongs to a corner (the cell farthest from the outlet).
  long max_lag = 0;
  for (long row : {0L, grid.rows - 1}) {
    for (long column : {0L, grid.columns - 1}) {
      max_lag = std::max(max_lag, MakeCell(grid, p, column, row).lag_steps);
    }
  }
  // Arrivals beyond the run are only summed, so lags longer than the run share one slot.
  const long lag_limit = static_cast<long>(steps) + 1;
  water->routed.assign(steps + static_cast<std::size_t>(std::min(max_lag, lag_limit)) + 2, 0.0);
  CellConstants constants;
  constants.capacity = p.soil_capacity;
  constants.inverse_capacity = 1.0 / p.soil_capacity;
  constants.shape = p.shape;
  constants.split = p.split;
  constants.fast_release = 1.0 - std::exp(-grid.time_step / p.fast_k);
  constants.slow_release = 1.0 - std::exp(-grid.time_step / p.slow_k);
  constants.initial_soil = grid.initial_soil * p.soil_capacity;
  // This share's cells: a contiguous run of the cells in row order, laid out alone, so that
  // the members of a partition divide the setting up as well as the simulation.
  const std::size_t members = static_cast<std::size_t>(std::max(share.members, 1L));
  const std::size_t member = static_cast<std::size_t>(
      std::clamp(share.member, 0L, static_cast<long>(members) - 1));
  const std::size_t total = static_cast<std::size_t>(grid.rows * grid.columns);
  const std::size_t begin = total * member / members;
  const std::size_t end = total * (member + 1) / members;
  std::vector<CellRun> cells;
  cells.reserve(end - begin);
  const std::size_t columns = static_cast<std::size_t>(grid.columns);
  for (std::size_t index = begin; index < end; ++index) {
    CellRun cell = MakeCell(grid, p, static_cast<long>(index % columns),
                            static_cast<long>(index / columns));
    if (cell.lag_steps > lag_limit) cell.lag_steps = lag_limit;
    cells.push_back(cell);
  }
  constexpr int kBlock = 4;
  std::size_t first = 0;
  for (; first + kBlock <= cells.size(); first += kBlock) {
    SimulateCells<kBlock>(&cells[first], constants, forcing, &water->routed, &water->balance);
  }
  for (; first < cells.size(); ++first) {
    SimulateCells<1>(&cells[first], constants, forcing, &water->routed, &water->balance);
  }
}

void FinishHydro(const HydroGrid& grid, const Forcing& forcing, const RoutedWater& water,
                 HydroResult* result) {
  result->balance = water.balance;
  result->balance.outflow = 0.0;
  const std::size_t steps = forcing.time.size();
  const double to_discharge =
      1.0e-3 * grid.cell_size * grid.cell_size / (grid.time_step * 3600.0);
  result->discharge.assign(steps, 0.0);
  for (std::size_t t = 0; t < steps; ++t) {
    result->balance.outflow += water.routed[t];
    result->discharge[t] = water.routed[t] * to_discharge;
  }
  for (std::size_t t = steps; t < water.routed.size(); ++t) {
    result->balance.storage_end += water.routed[t];
  }
}

void SimulateHydro(const HydroGrid& grid, const HydroParameters& p, const Forcing& forcing,
                   HydroResult* result) {
  RoutedWater water;
  RouteHydroCells(grid, p, forcing, CellShare(), &water);
  FinishHydro(grid, forcing, water, result);
}

namespace {

// Index of the forcing time equal (within 1e-6, relative for large times) to time, or -1.
long StepAt(const std::vector<double>& times, double time) {
  const double tolerance = 1e-6 * std::max(1.0, std::fabs(time));
  auto it = std::lower_bound(times.begin(), times.end(), time - tolerance);
  if (it == times.end() || std::fabs(*it - time) > tolerance) return -1;
  return static_cast<long>(it - times.begin());
}

}  // namespace

bool HydroObjective(const Forcing& forcing, const std::vector<double>& discharge,
                    const observed_data& observed, double peak_weight, double volume_weight,
                    double* objective, std::string* problem) {
  const long n = observed.count();
  if (n <= 0) {
    *problem = "a hydro calibration needs at least one observation row";
    return false;
  }
  double weighted = 0.0, weight_sum = 0.0, sim_sum = 0.0, obs_sum = 0.0;
  double sim_peak = -HUGE_VAL, obs_peak = -HUGE_VAL;
  for (long i = 0; i < n; ++i) {
    const long step = StepAt(forcing.time, observed.times()[i]);
    if (step < 0 || static_cast<std::size_t>(step) >= discharge.size()) {
      char text[64];
      std::snprintf(text, sizeof text, "%g", observed.times()[i]);
      *problem = std::string("observation time ") + text + " is not a forcing time";
      return false;
    }
    const double s = discharge[static_cast<std::size_t>(step)];
    const double o = observed.values()[i];
    const double w = observed.weights()[i];
    weighted += w * (s - o) * (s - o);
    weight_sum += w;
    sim_sum += s;
    obs_sum += o;
    sim_peak = std::max(sim_peak, s);
    obs_peak = std::max(obs_peak, o);
  }
  const double volume_error = (sim_sum - obs_sum) / static_cast<double>(n);
  *objective = (weight_sum > 0.0 ? weighted / weight_sum : 0.0) +
               peak_weight * (sim_peak - obs_peak) * (sim_peak - obs_peak) +
               volume_weight * volume_error * volume_error;
  return true;
}

namespace {

HydroParameters ParametersOf(const Project& project, const std::vector<double>& values) {
  double named[6];
  for (int i = 0; i < 6; ++i) {
    named[i] = values[static_cast<std::size_t>(FindParameter(project, kHydroParameterNames[i]))];
  }
  HydroParameters p;
  p.soil_capacity = named[0];
  p.shape = named[1];
  p.fast_k = named[2];
  p.slow_k = named[3];
  p.split = named[4];
  p.velocity = named[5];
  return p;
}

HydroGrid GridOf(const Project& project) {
  HydroGrid grid;
  grid.columns = project.grid_columns;
  grid.rows = project.grid_rows;
  grid.cell_size = project.cell_size;
  grid.time_step = project.time_step;
  grid.outlet_column = project.outlet_column;
  grid.outlet_row = project.outlet_row;
  grid.rain_gradient = project.rain_gradient;
  grid.initial_soil = project.initial_soil;
  return grid;
}

// False when a number of the run left the range of doubles (a project or forcing file with
// absurdly large amounts or sizes); such a hydrograph must not pass for a result.
bool RunStayedFinite(const HydroResult& result) {
  const WaterBalance& b = result.balance;
  if (!std::isfinite(b.precipitation + b.evaporation + b.outflow + b.storage_end)) return false;
  for (double q : result.discharge) {
    if (!std::isfinite(q)) return false;
  }
  return true;
}

int WriteHydrograph(const ModelRequest& request, const Forcing& forcing,
                    const std::vector<double>& discharge) {
  const std::string& name = request.project->output;
  gFILE output(request.files);
  if (!OpenOutput(&output, name.c_str())) {
    ReportFileError("read", request.project->file, KeywordLine(*request.project, "output"),
                    "cannot create the output file " + name);
    return 1;
  }
  for (std::size_t t = 0; t < discharge.size(); ++t) {
    std::fprintf(output.fp, "%.6f %.9e\n", forcing.time[t], discharge[t]);
  }
  const bool written = FinishOutput(&output);
  if (!written) ReportFileError("write", name, 0, "write error");
  return written ? 0 : 1;
}

// Checks the parameters and reads the forcing. Returns 0, or 1 after the message.
int PrepareHydroRun(const ModelRequest& request, HydroParameters* parameters, Forcing* forcing) {
  const Project& project = *request.project;
  *parameters = ParametersOf(project, *request.values);
  std::string problem;
  if (!CheckHydroParameters(*parameters, &problem)) {
    ReportFileError("run", project.file, 0, problem);
    return 1;
  }
  return ReadProjectForcing(project, *request.files, forcing);
}

// The members of a partition that share a run add up their routed water in one reduction,
// after agreeing that every member prepared the run and laid out the same routing. False
// (the leader says why when it was not its own fault) when the run cannot go on.
bool CombineShares(mpi_setup& partition, const Project& project, int prepared, bool leader,
                   RoutedWater* water) {
  const long length = prepared == 0 ? static_cast<long>(water->routed.size()) : 0;
  long agreement[3] = {prepared != 0 ? 1 : 0, length, -length};
  PartitionExchange::MaxOverMembers(partition, 3, agreement);
  if (agreement[0] != 0) {
    if (prepared == 0 && leader) {
      ReportFileError("run", project.file, 0,
                      "another process of its partition could not prepare the run");
    }
    return false;
  }
  if (agreement[1] != -agreement[2]) {
    if (leader) {
      ReportFileError("run", project.file, 0,
                      "the processes of its partition read different grids or forcing");
    }
    return false;
  }
  // The balance travels at the end of the routed array, so one reduction carries both.
  std::vector<double>& routed = water->routed;
  const std::size_t steps = routed.size();
  WaterBalance& balance = water->balance;
  routed.insert(routed.end(), {balance.precipitation, balance.evaporation,
                               balance.storage_start, balance.storage_end});
  PartitionExchange::SumOverMembers(partition, static_cast<long>(routed.size()), routed.data());
  balance.precipitation = routed[steps];
  balance.evaporation = routed[steps + 1];
  balance.storage_start = routed[steps + 2];
  balance.storage_end = routed[steps + 3];
  routed.resize(steps);
  return true;
}

// What follows from the hydrograph: the overflow check, the output file and the objective.
// Only the member that reports (the leader, or a process that runs alone) prints and writes;
// the others come to the same status on the same numbers.
int FinishHydroRun(const ModelRequest& request, const Forcing& forcing, const HydroResult& result,
                   bool reports, double* objective) {
  const Project& project = *request.project;
  if (!RunStayedFinite(result)) {
    if (reports) {
      ReportFileError("run", project.file, 0,
                      "the simulation overflowed: amounts or sizes are too large");
    }
    return 1;
  }
  if (request.writes_output && reports &&
      WriteHydrograph(request, forcing, result.discharge) != 0) {
    return 1;
  }
  if (!request.wants_objective) return 0;
  std::string problem;
  if (request.observed == nullptr ||
      !HydroObjective(forcing, result.discharge, *request.observed, project.peak_weight,
                      project.volume_weight, objective, &problem)) {
    if (request.observed == nullptr) problem = "no observations were given";
    if (reports) ReportFileError("compare", project.file, 0, problem);
    return 1;
  }
  return 0;
}

}  // namespace

// One run of the model. When the members of a partition share it, each routes its share of
// the cells, one reduction adds the shares up, and all of them finish the same hydrograph,
// which the leader writes; they agree on the final status, so that all return the same.
int RunHydroModel(const ModelRequest& request, double* objective) {
  const Project& project = *request.project;
  mpi_setup* partition = request.partition;
  CellShare share;
  if (partition != nullptr) {
    share.members = PartitionExchange::Members(*partition);
    share.member = PartitionExchange::Member(*partition);
  }
  const bool leader = share.member == 0;
  const HydroGrid grid = GridOf(project);
  HydroParameters parameters;
  Forcing forcing;
  const int prepared = PrepareHydroRun(request, &parameters, &forcing);
  RoutedWater water;
  if (prepared == 0) RouteHydroCells(grid, parameters, forcing, share, &water);
  if (share.members > 1) {
    if (!CombineShares(*partition, project, prepared, leader, &water)) return 1;
  } else if (prepared != 0) {
    return 1;
  }
  HydroResult result;
  FinishHydro(grid, forcing, water, &result);
  const int status = FinishHydroRun(request, forcing, result, leader, objective);
  if (share.members <= 1) return status;
  long agreed = status;
  PartitionExchange::MaxOverMembers(*partition, 1, &agreed);
  return static_cast<int>(agreed);
}

}  // namespace tarne
