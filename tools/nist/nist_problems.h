// The 27 nonlinear regression problems of the NIST Statistical Reference Datasets: one model
// function per problem, the reading of NIST's .dat files (starting values, certified values,
// data) and the measures a fit is judged by. Used by the tarne_nist tool.
#pragma once

#include <string>
#include <vector>

namespace nist {

// Prediction at one data point: b[1..k] are the parameters (b[0] is not used), x[0] the
// predictor (x[0] and x[1] for the two predictors of Nelson).
using ModelFunction = double (*)(const double* b, const double* x);

struct ProblemModel {
  const char* name;        // dataset name as NIST spells it, also the .dat file's stem
  int parameters;          // k
  int predictors;          // 1, or 2 for Nelson
  bool log_response;       // the model fits log(y) rather than y (Nelson)
  bool parameters_only;    // certified RSS below double precision: judge by parameters only
  ModelFunction predict;
};

// All 27 problems, in alphabetical order.
const std::vector<ProblemModel>& AllProblems();
// The problem of that name, compared without regard to case; nullptr when unknown.
const ProblemModel* FindProblem(const std::string& name);

// One .dat file as read. Parameter vectors are indexed from 1 (slot 0 not used); data are
// stored point after point, `predictors` values per point.
struct Dataset {
  const ProblemModel* model = nullptr;
  std::vector<std::string> start_text[2];  // starting values as written in the file
  std::vector<double> start[2];
  std::vector<double> certified;
  std::vector<double> certified_deviation;
  double certified_rss = 0.0;
  int points = 0;
  std::vector<std::string> response_text;   // y as written
  std::vector<double> response;             // the fitted response: y, or log(y) for Nelson
  std::vector<std::string> predictor_text;  // as written, `predictors` per point
  std::vector<double> predictor;

  int parameter_count() const { return model->parameters; }
  // The predictors of point i (0-based).
  const double* point(int i) const {
    return &predictor[static_cast<size_t>(i) * static_cast<size_t>(model->predictors)];
  }
};

// Reads a NIST StRD .dat file (CRLF or LF line ends). The problem is named by the file's
// stem. Returns false with a reason when the file cannot be read, names an unknown problem,
// or disagrees with itself or with the model (parameter count, number of observations,
// columns of a data row).
bool ReadDataset(const std::string& path, Dataset& dataset, std::string& error);

// Residual sum of squares of the fitted response at the parameters b[1..k].
double ResidualSumOfSquares(const Dataset& dataset, const std::vector<double>& b);

// Log relative error -log10(|estimate - certified| / |certified|), held within 0 .. 11
// (11 for an exact match; 0 for a non-finite estimate).
double LogRelativeError(double estimate, double certified);

// The digits a fit must agree in, and the relative distance its RSS may lie from the
// certified one, for the problem to count as solved.
constexpr double kSolvedLre = 4.0;
constexpr double kSolvedRssRelative = 1e-6;

}  // namespace nist
