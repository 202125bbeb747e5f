// A small PEST-format case written into the working directory: control file, template,
// instruction file, an external-kind project and a post-run script that computes the model
// outputs with awk from "values.in" ($1 is the first parameter's natural value) and appends
// each run's values to "runs.txt". Used by the tests of the engine and of the -slm tool.
#pragma once

#include <string>
#include <vector>

namespace lm_test {

struct CaseParameter {
  std::string name;
  std::string transform = "none";
  double value = 1.0;
  double lower = -1000.0;
  double upper = 1000.0;
  std::string group = "pg";
  std::string tied_to = "";  // parent of a "tied" parameter
};

struct CaseGroup {
  std::string name = "pg";
  std::string forcen = "always_2";
  std::string method = "outside_pts";
};

struct CaseObservation {
  std::string expression;  // awk expression of $1, $2, ...
  double value = 0.0;
  double weight = 1.0;
  std::string group = "obs";
};

struct PestCase {
  std::string name = "case";
  std::string rstfle = "norestart";
  std::string mode = "estimation";
  double rlambda1 = 0.01, rlamfac = 2.0, phiratsuf = 0.3, phiredlam = 0.01;
  int numlam = 10;
  double phiredswh = 0.1;
  int noptmax = 20;
  double phiredstp = 0.001;
  int nphistp = 3, nphinored = 3;
  double relparstp = 0.001;
  int nrelpar = 3;
  int slmmode = 0, slmfullupd = 0;
  double slmfullrat = 0.9;
  int slmncol = 1;
  double lsdistmin = 0.01;
  std::vector<CaseGroup> groups = {CaseGroup()};
  std::vector<CaseParameter> parameters;
  std::vector<std::string> observation_groups = {"obs"};
  std::vector<CaseObservation> observations;
  std::vector<std::string> priors;  // prior information lines as written in the file
  std::string post_extra;           // shell lines run after the model in the post script

  // Writes every file of the case into the working directory.
  void Write() const;
  std::string ControlFileText() const;
};

// The numbers of a file with one "%lf" value per line, such as the best-parameter file.
std::vector<double> ParFileValues(const std::string& path);
// The number after the last "Total Model Calls:\t" in the text, or -1.
long LastModelCalls(const std::string& text);
// How often text occurs in haystack.
int Occurrences(const std::string& haystack, const std::string& text);

}  // namespace lm_test
