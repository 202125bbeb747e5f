// The Levenberg-Marquardt local search: the initial model run (or the resumption from the
// restart file), the iterations with their Jacobian and lambda search, the final model run
// with the best parameters, and the final sensitivities and statistics. Run by the "-slm"
// tool once and by the global methods once per start point, each time on a fresh state.
#pragma once

#include <functional>
#include <memory>

#include "lm/lm_report.h"
#include "lm/lm_state.h"
#include "modellib/tarne_lib.h"
#include "pest/model_runner.h"
#include "pest/output_names.h"
#include "pest/problem.h"
#include "pest/restart_file.h"

// Everything a tool hands the engine for its searches.
struct LmContext {
  ProblemRecord& record;
  const OutputNames& names;
  CaseFiles files;
  FileHandleTable& templates;
  FileHandleTable& instructions;
  tarne::mpi_setup* partition;
  const char* first_argument;  // the option word, handed to the model library with every run
  bool restart = false;        // resume from the restart file instead of the initial run
  // With restart: the restart file as the tool read and checked it before opening its
  // output files; the search takes it instead of reading the file again. Null: the search
  // reads the restart file itself.
  std::unique_ptr<RestartRecord> resume_record = nullptr;
  // Benchmarks only: a computation in place of the model runs (see ModelRunner).
  ModelRunner::SyntheticModel synthetic_model = nullptr;
  // How the search makes its runs when not in the usual way (see ModelRunner::Settings).
  const ModelRunner::Settings* runner_settings = nullptr;
};

// Hooks through which a global method watches a search and may end it early. A search with
// no observer is the plain one.
struct SearchObserver {
  // After the initial sections are written (phi is the initial phi).
  std::function<void(const LmState&, const ProblemRecord&)> after_initial_run;
  // At the start of every iteration from the second on, once the best point is updated and
  // before the termination tests.
  std::function<void(const LmState&, const ProblemRecord&)> at_iteration_start;
  // From the second iteration on, when the termination tests did not stop the search: true
  // ends it as a termination test would, without a termination message.
  std::function<bool(const LmState&, const ProblemRecord&)> stops_search;
  // After the restart file is saved at the end of an iteration that another iteration
  // follows, so that a resume from that file goes on exactly as the search does: a non-zero
  // status ends the search with it.
  std::function<short(const LmState&, const ProblemRecord&)> after_restart_saved;
  bool writes_jacobian_file = true;
};

// Runs one local search on a state made by PrepareLocalSearch. Returns 0, or the first
// failing status of a routine it called (the search then ends at once, files as they are).
short RunLevenbergMarquardt(LmContext& context, LmState& state,
                            const SearchObserver* observer = nullptr);
