// What the three global methods share: loading the problem with the checks of the -slm tool
// and the case's output files, the sample run (the search with NOPTMAX 0: one model run and
// phi by group) and a fresh local search from a given point. Used by multistart, MLSL and
// trajectory repulsion.
#pragma once

#include <string>
#include <vector>

#include "lm/lm_engine.h"
#include "lm/slm_driver.h"
#include "modellib/tarne_lib.h"
#include "pest/output_files.h"
#include "pest/problem.h"

struct GlobalProblem {
  ProblemRecord record;
  FileHandleTable templates;
  FileHandleTable instructions;
  OutputNames names;
  CaseFileHolder files;
  tarne::mpi_setup* partition = nullptr;
  const char* first_argument = "";
  bool restart = false;         // "/r" followed the control file name
  double control_lambda = 0.0;  // RLAMBDA1 as the control file gives it

  // A context for a search of this problem; restart as given.
  LmContext Context(bool resume);
};

// Loads the control file named by argv[2] with its template and instruction files, deletes
// "pest.stp", refuses "prediction" (with lines naming tool, such as "slm_kor_ms1", or no
// lines when tool is empty), counts the parameters and
// checks them against their bounds, links tied parameters, names and opens the case files
// (the record and sensitivity files for appending after "/r"). A third word other than "/r"
// is refused, and so is "/r" without a restart file to resume from, before any model run.
// Returns the status; *stop is true when the method must end with that status.
short LoadGlobalProblem(tarne::mpi_setup* partition, int argc, char** argv,
                        const std::string& tool, GlobalProblem& problem, bool* stop);

// Closes the template and instruction files of a method that ended well; returns the status
// of closing them.
short CloseGlobalProblem(GlobalProblem& problem);

// One model run at the current values through the search with NOPTMAX 0 (its initial
// sections go to the case files); afterwards the group contributions hold the sample's
// objectives. Returns the search's status.
short RunSampleModel(GlobalProblem& problem);

// The sum of all observation groups' contributions: the total objective.
double TotalObjective(const ProblemRecord& record);

// A complete local search from start (the stored values of all NPAR parameters) on a fresh
// state with the control file's lambda; resume makes it continue from the restart file.
// model_calls receives its model calls. Returns its status.
short RunLocalSearch(GlobalProblem& problem, const dvector& start, bool resume,
                     long& model_calls);
