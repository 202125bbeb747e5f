// The three model kinds behind the model run object: each takes a checked project and the
// resolved values of its parameters (in project order), writes its output files through
// the run's file settings, and gives an objective value when a calibration asks for one.
#pragma once

#include <vector>

#include "modellib/project.h"
#include "modellib/replacement.h"
#include "modellib/tarne_lib.h"

namespace tarne {

// What a run is for: a plain run (main_tarne) or a calibration evaluation (main_calib).
struct ModelRequest {
  const Project* project = nullptr;
  const std::vector<double>* values = nullptr;
  // Every name with a value in this run (calibrated names first, then the project's own
  // list): the external kind fills its templates from them. May be null.
  const std::vector<Substitution>* substitutions = nullptr;
  const replace_io* files = nullptr;     // name resolution and batch numbering
  const observed_data* observed = nullptr;  // calibration runs only, may be null
  bool wants_objective = false;
  // Whether the function and hydro kinds write their output file. Calibration evaluations
  // skip it: the searches take the returned objective, and thousands of rewritten files
  // would cost more than the evaluations themselves.
  bool writes_output = true;
  // Set when the members of a partition of several processes run this model together (the
  // hydro kind shares its cells among them); null when this process runs it alone.
  mpi_setup* partition = nullptr;
};

// Writes the project's output file, when it names one: "<first_name> <value>" when
// with_first, then "name value" for every parameter. Returns 0, or 1 after a message.
int WriteParameterListing(const ModelRequest& request, const char* first_name,
                          double first_value, bool with_first);

// Each returns 0, or 1 after printing a message; *objective is set when asked for.
int RunFunctionModel(const ModelRequest& request, double* objective);
int RunExternalModel(const ModelRequest& request, double* objective);
int RunHydroModel(const ModelRequest& request, double* objective);

}  // namespace tarne
