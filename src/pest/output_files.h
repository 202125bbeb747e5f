// The case's output file names, the restart file and the stop file "pest.stp" of the
// Levenberg-Marquardt family. Called by the tool drivers, the engine and the Jacobian runs.
#pragma once

#include "problem.h"
#include "numeric/numeric.h"

struct OutputNames {
  char base[kTextField] = {};
  char rec[kTextField] = {};
  char sen[kTextField] = {};
  char mtt[kTextField] = {};
  char par[kTextField] = {};
  char rst[kTextField] = {};
};

// The control name up to its first "." is the base of the ".rec", ".sen", ".mtt", ".par"
// and ".rst" names. Returns 0, or 1 after a message when the names would not fit.
short FilesNamesForWrite(const char* control_name, OutputNames& names);
// Returns 0 when the calibration may go on; a stop request ends the process. A stop file with
// another code (or none) is deleted; a directory, device, unreadable or oversized file under
// its name is reported and left in place, and the calibration goes on.
short CheckStopFile();
// Deletes a stop file left from an earlier run, before a calibration starts. A directory under
// the name is reported and left in place, never removed. Returns 0.
short DeleteStaleStopFile();

// Saves the engine state at the end of an iteration under names.rst. The Jacobians cover
// rows 1..NOBS+NPRIOR and columns 1..NUMADJ; history holds entries 1..n, best_parameters
// 1..NPAR, best_simulated 1..NOBS, start_values 1..NUMADJ. The record gives the SLM settings,
// PHIRATIO, the simulated values, the stored parameter values, the group phis and RLAMBDA1.
// The file is written beside the old one and renamed over it, so a failure never leaves a
// partial file. Returns 0, or 1 after a reported failure.
short WriteRestartFile(const matrix& jacobian, const matrix& best_jacobian, int n, double phi,
                       double starting_phi, const dvector& history,
                       const dvector& best_parameters, const dvector& best_simulated,
                       double lowest_phi, int best_iteration, int switch_flag,
                       const ProblemRecord& record, const OutputNames& names,
                       double largest_change, int small_change_count, double last_change,
                       const dvector& start_values, long model_calls, int cyclic_position);

// Restores what WriteRestartFile saved, into the same items and the record; PHIRATIO
// becomes phi / starting phi. Matrices and vectors too small for the saved items are
// replaced by ones of the needed size. A restart file that cannot be opened ends the process
// (status 0) after a line naming it and the reason. Returns 0, or 1 after a reported failure:
// a directory or device under the name, a file that ends early, an item longer than 400
// characters, or a bad value (NaN anywhere; an infinity anywhere but PHIRATIO and the
// largest and last relative parameter changes).
short ReadRestartFile(matrix& jacobian, matrix& best_jacobian, int& n, double& phi,
                      double& starting_phi, dvector& history, dvector& best_parameters,
                      dvector& best_simulated, double& lowest_phi, int& best_iteration,
                      int& switch_flag, ProblemRecord& record, const OutputNames& names,
                      double& largest_change, int& small_change_count, double& last_change,
                      dvector& start_values, long& model_calls, int& cyclic_position);
