// The objective of the SCE search (one model run per point) and the evaluation log
// "sce_log_file.txt". Called by the search and the complex evolution for every evaluation.
#pragma once

#include "sce/sce_run.h"

// The magnitude of the model's objective at point[1..n], computed on a fresh model run
// object (or by run.objective_hook when one is set). A value that is not a number counts
// as +infinity so that such a point ranks last.
double objective(SceRun& run, const double* point);

// The model's raw objective at point[1..n]: a fresh model run object, the model run and its
// progress line. What objective uses when no hook is set.
double model_objective(SceRun& run, const double* point);

// Creates the log with its header line at search start (unless the log is disabled or
// already open). When it cannot be created the log is disabled after one message.
void prepare_sce_log(SceRun& run);

// Appends the line of evaluation number with its value, the smallest value so far and the
// point. The first failure to open or write the log is reported once; the log is then
// disabled so that it never has a gap.
void log_evaluation(SceRun& run, int number, double value, double fmin, const double* point);

// One evaluation as the search makes it: objective, fmin update, log line for eval_no, and
// eval_no advanced by one. Returns the objective value.
double evaluate_point(SceRun& run, const double* point, int& eval_no, double& fmin);
