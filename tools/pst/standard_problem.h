// A calibration problem as a standard PEST control file states it, in either layout (the
// positional version 1 or the keyword and CSV version 2), before it is turned into a case of
// this toolbox. Filled by the readers of tarne-pst, read by the case writer.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace pst {

// Where a value was read: file and line (0 when it lies in no line).
struct Origin {
  std::string file;
  long line = 0;
};

// A bad input: the one line tarne-pst prints is "cannot read <file> (line N): <reason>".
struct ImportError {
  Origin at;
  std::string reason;
};

// One named setting as written (numbers keep their text, with a Fortran "D" exponent made "E").
struct Setting {
  std::string value;
  Origin at;
};

struct ParameterGroup {
  std::string name, inctyp = "relative", derinc = "0.01", derinclb = "0.0", forcen = "switch",
                    derincmul = "2.0", dermthd = "parabolic";
  std::vector<std::string> split_settings;  // SPLITTHRESH SPLITRELDIFF SPLITACTION, as written
  Origin at;
};

struct Parameter {
  std::string name, partrans, parchglim = "factor", parval1, parlbnd, parubnd, group,
                              scale = "1.0", offset = "0.0", dercom = "1";
  std::string partied;  // parent of a tied parameter
  Origin at;
};

struct ObservationGroup {
  std::string name;
  std::string gtarg, covfile;  // optional words
  Origin at;
};

struct Observation {
  std::string name, obsval, weight, group;
  Origin at;
};

struct PriorTerm {
  double factor = 1.0;  // with the sign of its term
  bool log = false;
  std::string parameter;
};

struct PriorItem {
  std::string label;
  std::vector<PriorTerm> terms;
  std::string pival, weight, group;
  Origin at;
};

struct FilePair {
  std::string pest_file, model_file;
  Origin at;
};

struct StandardProblem {
  int version = 1;
  Origin control_file;
  // Control settings under their names in upper case (RLAMFAC, SVDMODE, PHIMLIM, and every
  // option of another engine, such as the "++" options, under its own name).
  std::map<std::string, Setting> settings;
  // Sections kept whole but not carried over ("sensitivity reuse", "pareto", ...).
  std::vector<std::pair<std::string, Origin>> skipped_sections;
  // Columns of CSV files that no field of the case takes.
  std::vector<std::pair<std::string, Origin>> extra_columns;
  bool has_regularisation_section = false;
  bool has_svd_section = false;
  std::vector<ParameterGroup> groups;
  std::vector<Parameter> parameters;
  std::vector<ObservationGroup> observation_groups;
  std::vector<Observation> observations;
  std::vector<Setting> commands;
  std::vector<FilePair> templates, instructions;
  std::vector<PriorItem> priors;

  const Setting* Find(const std::string& name) const {
    const auto it = settings.find(name);
    return it == settings.end() ? nullptr : &it->second;
  }
};

}  // namespace pst
