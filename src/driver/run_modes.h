// Dispatch of one run request to its mode: single and batch project runs on fresh model
// objects, the version banner, the Monte Carlo and SCE calibrations, and the
// Levenberg-Marquardt tools. Called once by main; the calibration entries are reached
// through a table so that tests can watch what each mode calls.
#pragma once

#include "driver/command_line.h"
#include "modellib/tarne_lib.h"

// The entries the modes call. A null tool entry is a tool not built into this program.
struct ModeEntries {
  // One model run of input_file on a fresh model object; argument is the first command-line
  // argument as typed. batch_index < 0 makes a single run, otherwise run batch_index of a
  // batch. Returns what the model library returned.
  int (*project_run)(tarne::mpi_setup* partition, const char* input_file,
                     const char* argument, long batch_index);
  // Returns 1 after a run whose results were written, 0 after a failure.
  int (*monte_carlo)(tarne::mpi_setup* partition, long total_samples, const char* input_file);
  // Returns 0 after a run whose results were written, 1 after a failure.
  int (*sce)(tarne::mpi_setup* partition, const char* input_file);
  // Levenberg-Marquardt tools; each receives the partition object and the whole command
  // line, and returns its status, which becomes the exit code.
  int (*secant_lm)(tarne::mpi_setup* partition, int argc, char** argv);
  int (*multistart)(tarne::mpi_setup* partition, int argc, char** argv);
  int (*trajectory_repulsion)(tarne::mpi_setup* partition, int argc, char** argv);
  int (*mlsl)(tarne::mpi_setup* partition, int argc, char** argv);
};

// The entries of this build.
ModeEntries default_mode_entries();

// The model run of modes 1 and 3: a tarne_sim built on the partition object in storage
// cleared to zero, used for one main_tarne call and destroyed at once.
int run_project_on_fresh_model(tarne::mpi_setup* partition, const char* input_file,
                               const char* argument, long batch_index);

// Runs the mode of request and returns the process exit code: the model's result in a
// single project run; for a calibration 0 after a finished run and non-zero after a failure
// (a tool's own status, 1 otherwise); 0 for the banners and a batch of runs. A status whose
// low byte is zero is reported as 1. in_web_start makes the single run use one partition.
int run_mode(tarne::mpi_setup& partition, const RunRequest& request, int argc, char** argv,
             bool in_web_start, const ModeEntries& entries);
