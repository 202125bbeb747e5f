#include "case_writer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <set>

#include "pst_text.h"

namespace pst {

namespace {

// Longest names and file names the toolbox's control file takes (its text fields).
constexpr std::size_t kMaxName = 99;
constexpr std::size_t kMaxObservationName = 103;
constexpr std::size_t kMaxPriorLabel = 23;
constexpr std::size_t kMaxPriorTerms = 10;
constexpr std::size_t kMaxModelFiles = 25;

struct Default {
  const char* name;
  const char* value;
};

// Every setting the case carries, with the value it gets when the standard file has none.
constexpr Default kDefaults[] = {
    {"RSTFLE", "restart"},   {"PESTMODE", "estimation"}, {"PRECIS", "single"},
    {"DPOINT", "point"},     {"RLAMBDA1", "10.0"},       {"RLAMFAC", "-3.0"},
    {"PHIRATSUF", "0.3"},    {"PHIREDLAM", "0.01"},      {"NUMLAM", "10"},
    {"RELPARMAX", "10.0"},   {"FACPARMAX", "10.0"},      {"FACORIG", "0.001"},
    {"IBOUNDSTICK", "0"},    {"PHIREDSWH", "0.1"},       {"DOAUI", "noaui"},
    {"NOPTMAX", "30"},       {"PHIREDSTP", "0.01"},      {"NPHISTP", "3"},
    {"NPHINORED", "3"},      {"RELPARSTP", "0.01"},      {"NRELPAR", "3"},
    {"ICOV", "1"},           {"ICOR", "1"},              {"IEIG", "1"},
    {"SVDMODE", "1"},        {"MAXSING", "0"},           {"EIGTHRESH", "5.0E-7"},
    {"EIGWRITE", "0"},       {"PHIMLIM", "1.0E-10"},     {"PHIMACCEPT", "1.05E-10"},
    {"FRACPHIM", "0.1"},     {"WFINIT", "1.0"},          {"WFMIN", "1.0E-10"},
    {"WFMAX", "1.0E10"},     {"WFFAC", "1.3"},           {"WFTOL", "0.01"}};

// Settings whose value the case takes from the sections themselves.
const char* const kCounts[] = {"NPAR",    "NOBS",    "NPARGP", "NPRIOR",  "NOBSGP",
                               "NTPLFLE", "NINSFLE", "NUMCOM", "JACFILE", "MESSFILE"};

class CaseBuilder {
 public:
  CaseBuilder(const StandardProblem& problem, const CaseOptions& options)
      : p_(problem), options_(options) {}

  ImportedCase Build(const std::string& project_name);

 private:
  std::string Value(const char* name) const;
  std::string Number(const char* name) const;
  std::string Integer(const char* name) const;
  std::string Word(const char* name, std::initializer_list<const char*> allowed) const;
  void Note(const Origin& at, const std::string& text) { notes_.push_back({at, text}); }
  std::vector<std::string> SortedNotes() const;
  static std::string Line(const Origin& at);
  void CheckNames();
  void CheckName(const std::string& name, std::size_t limit, const Origin& at, const char* what,
                 bool in_prior_equations = false) const;
  std::string ControlData(const std::string& project_name);
  std::string LambdaFactor();
  std::string LambdaCount();
  std::string ParameterGroups();
  std::string Parameters();
  std::string Observations();
  std::string ModelSections();
  std::string PriorItems();
  std::string Regularisation();
  std::string ProjectText() const;
  void ReportSettings();

  const StandardProblem& p_;
  const CaseOptions& options_;
  std::vector<ObservationGroup> observation_groups_;
  std::vector<ParameterGroup> groups_;
  std::vector<std::pair<Origin, std::string>> notes_;
  std::set<std::string> used_;  // settings the case has carried
};

std::string CaseBuilder::Line(const Origin& at) {
  return at.file + (at.line > 0 ? " (line " + std::to_string(at.line) + ")" : "") + ": ";
}

// The notes in the order of the files and lines they concern: the control file first, then the
// CSV files by name; within a file by line, notes about no single line last.
std::vector<std::string> CaseBuilder::SortedNotes() const {
  std::vector<std::pair<Origin, std::string>> notes = notes_;
  const std::string& control = p_.control_file.file;
  std::stable_sort(notes.begin(), notes.end(), [&control](const auto& x, const auto& y) {
    const Origin& a = x.first;
    const Origin& b = y.first;
    if (a.file != b.file) {
      if (a.file == control || b.file == control) return a.file == control;
      return a.file < b.file;
    }
    if ((a.line == 0) != (b.line == 0)) return b.line == 0;
    return a.line < b.line;
  });
  std::vector<std::string> lines;
  for (const auto& note : notes) lines.push_back(Line(note.first) + note.second);
  return lines;
}

std::string CaseBuilder::Value(const char* name) const {
  if (const Setting* setting = p_.Find(name)) return setting->value;
  for (const Default& entry : kDefaults) {
    if (std::string(name) == entry.name) return entry.value;
  }
  return "0";
}

// A setting that must be a number in the case.
std::string CaseBuilder::Number(const char* name) const {
  const Setting* setting = p_.Find(name);
  if (setting == nullptr) return Value(name);
  return RequireNumber(setting->value, setting->at, name);
}

// A setting that must be one of a few words, taken in lower case.
std::string CaseBuilder::Word(const char* name,
                              std::initializer_list<const char*> allowed) const {
  const std::string word = Lower(Value(name));
  std::string choices;
  for (const char* choice : allowed) {
    if (word == choice) return word;
    choices += std::string(choices.empty() ? "" : " or ") + choice;
  }
  const Setting* setting = p_.Find(name);
  Fail(setting != nullptr ? setting->at : p_.control_file,
       std::string(name) + " '" + Value(name) + "' is not " + choices);
}

// A setting that must be a whole number in the case.
std::string CaseBuilder::Integer(const char* name) const {
  const Setting* setting = p_.Find(name);
  if (setting == nullptr) return Value(name);
  return std::to_string(RequireInteger(setting->value, setting->at, name));
}

void CaseBuilder::CheckName(const std::string& name, std::size_t limit, const Origin& at,
                            const char* what, bool in_prior_equations) const {
  if (name.size() > limit) {
    Fail(at, std::string(what) + " '" + name + "' is longer than the " + std::to_string(limit) +
                 " characters the case can hold");
  }
  // The case's control file separates its items by blanks, so a name (which a CSV field may
  // hold) must be one word of visible characters; and its prior equations are read by their
  // '*' signs, so a name that stands in them holds none.
  const bool one_word = !name.empty() && std::none_of(name.begin(), name.end(), [](char c) {
    const unsigned char u = static_cast<unsigned char>(c);
    return u <= ' ' || u >= 0x7f;
  });
  if (!one_word) {
    Fail(at, std::string(what) + " '" + name + "' is not one word of visible characters, as "
                 "the case's control file needs");
  }
  if (in_prior_equations && name.find('*') != std::string::npos) {
    Fail(at, std::string(what) + " '" + name + "' holds a '*', which the case's prior "
                 "equations would read as a product");
  }
}

ImportedCase CaseBuilder::Build(const std::string& project_name) {
  CheckNames();
  ImportedCase result;
  result.control_text = "pcf\n* control data\n" + ControlData(project_name);
  result.control_text += ParameterGroups() + Parameters() + Observations() + ModelSections() +
                         PriorItems() + Regularisation();
  result.project_text = ProjectText();
  ReportSettings();
  result.report = SortedNotes();
  return result;
}

std::string CaseBuilder::LambdaFactor() {
  const std::string text = Number("RLAMFAC");
  const double factor = std::strtod(text.c_str(), nullptr);
  if (factor > 0.0) return text;
  const double magnitude = std::fabs(factor);
  const std::string used = magnitude > 1.0 ? RequireNumber(text.substr(1), {}, "RLAMFAC") : "2.0";
  const Setting* setting = p_.Find("RLAMFAC");
  Note(setting != nullptr ? setting->at : p_.control_file,
       "RLAMFAC " + text + ": a lambda found by a rule is not available; the case multiplies "
       "and divides lambda by " + used);
  return used;
}

// A NUMLAM below 1 (lambdas tried at once by parallel runs) becomes its magnitude, at least 1.
std::string CaseBuilder::LambdaCount() {
  const std::string text = Integer("NUMLAM");
  const long count = std::stol(text);
  if (count >= 1) return text;
  const std::string used = std::to_string(std::max(1L, -count));
  Note(p_.Find("NUMLAM")->at, "NUMLAM " + text + ": lambdas tried at once are not available; "
                              "the case tries up to " + used + " lambdas one after another");
  return used;
}

std::string CaseBuilder::ControlData(const std::string& project_name) {
  const std::string mode = Lower(Value("PESTMODE"));
  if (mode != "estimation" && mode != "regularisation" && mode != "regularization") {
    const Setting* setting = p_.Find("PESTMODE");
    Fail(setting != nullptr ? setting->at : p_.control_file,
         "PESTMODE '" + mode + "' is not supported: the case can estimate or regularise only");
  }
  CheckName(project_name, kMaxName, p_.control_file, "the project file name");
  if (const Setting* lambda = p_.Find("RLAMBDA1")) {
    if (RequireValue(lambda->value, lambda->at, "RLAMBDA1") < 0.0) {
      Fail(lambda->at, "RLAMBDA1 " + lambda->value + " is negative; the initial lambda must be 0 or more");
    }
  }
  std::string noptmax = Integer("NOPTMAX");
  if (noptmax[0] == '-') {
    Note(p_.Find("NOPTMAX")->at, "NOPTMAX " + noptmax + ": runs for derivatives only are not "
                                 "available; the case makes one model run (NOPTMAX 0)");
    noptmax = "0";
  }
  const std::string factor = LambdaFactor();
  const std::string lambdas = LambdaCount();
  char text[2048];
  std::snprintf(
      text, sizeof text,
      "%s %s\n%zu %zu %zu %zu %zu\n%zu %zu %s %s 1 0 0\n%s %s %s %s %s\n%s %s %s %s\n%s %s\n"
      "%s %s %s %s %s %s\n%s %s %s\n%s %s %s %s %s\n%s\n",
      Word("RSTFLE", {"restart", "norestart"}).c_str(), mode.c_str(), p_.parameters.size(),
      p_.observations.size(),
      groups_.size(), p_.priors.size(), observation_groups_.size(), p_.templates.size(),
      p_.instructions.size(), Word("PRECIS", {"single", "double"}).c_str(),
      Word("DPOINT", {"point", "nopoint"}).c_str(),
      Number("RLAMBDA1").c_str(), factor.c_str(), Number("PHIRATSUF").c_str(),
      Number("PHIREDLAM").c_str(), lambdas.c_str(), Number("RELPARMAX").c_str(),
      Number("FACPARMAX").c_str(), Number("FACORIG").c_str(), Integer("IBOUNDSTICK").c_str(),
      Number("PHIREDSWH").c_str(), Word("DOAUI", {"aui", "auid", "noaui"}).c_str(),
      noptmax.c_str(),
      Number("PHIREDSTP").c_str(), Integer("NPHISTP").c_str(), Integer("NPHINORED").c_str(),
      Number("RELPARSTP").c_str(), Integer("NRELPAR").c_str(), Integer("ICOV").c_str(),
      Integer("ICOR").c_str(), Integer("IEIG").c_str(), options_.slmmode.c_str(),
      options_.slmfullupd.c_str(), options_.slmfullrat.c_str(), options_.slmncol.c_str(),
      options_.lsdistmin.c_str(), project_name.c_str());
  for (const char* name : {"RSTFLE", "PESTMODE", "PRECIS", "DPOINT", "RLAMBDA1", "RLAMFAC",
                           "PHIRATSUF", "PHIREDLAM", "NUMLAM", "PHIREDSWH", "NOPTMAX",
                           "PHIREDSTP", "NPHISTP", "NPHINORED", "RELPARSTP", "NRELPAR", "ICOV",
                           "ICOR", "IEIG"}) {
    used_.insert(name);
  }
  std::string result = text;
  if (p_.has_svd_section) {
    result += "* singular value decomposition\n" + Integer("SVDMODE") + " " + Integer("MAXSING") +
              " " + Number("EIGTHRESH") + " " + Integer("EIGWRITE") + "\n";
  }
  return result;
}


bool HasGroup(const std::vector<ParameterGroup>& groups, const std::string& name) {
  for (const ParameterGroup& group : groups) {
    if (group.name == name) return true;
  }
  return false;
}

bool HasObservationGroup(const std::vector<ObservationGroup>& groups, const std::string& name) {
  for (const ObservationGroup& group : groups) {
    if (group.name == name) return true;
  }
  return false;
}

const Parameter* FindParameter(const StandardProblem& problem, const std::string& name) {
  for (const Parameter& parameter : problem.parameters) {
    if (parameter.name == name) return &parameter;
  }
  return nullptr;
}

// A group named where none is defined: version 2 files may leave the group sections out, and
// the group then gets the standard settings; version 1 files must define every group.
void NeedGroup(bool defined, int version, const std::string& name, const Origin& at,
               const char* what) {
  if (!defined && version == 1) Fail(at, std::string(what) + " '" + name + "' is not defined");
}

void CaseBuilder::CheckNames() {
  groups_ = p_.groups;
  observation_groups_ = p_.observation_groups;
  for (const ParameterGroup& g : groups_) CheckName(g.name, kMaxName, g.at, "the parameter group");
  for (const ObservationGroup& g : observation_groups_) {
    CheckName(g.name, kMaxName, g.at, "the observation group");
  }
  for (const Parameter& parameter : p_.parameters) {
    CheckName(parameter.name, kMaxName, parameter.at, "the parameter name", true);
    CheckName(parameter.group, kMaxName, parameter.at, "the parameter group");
    const std::string& t = parameter.partrans;
    if (t != "none" && t != "log" && t != "fixed" && t != "tied") {
      Fail(parameter.at, "PARTRANS '" + t + "' of " + parameter.name + " is not none, log, fixed or tied");
    }
    if (t == "log") {
      // The case stores a log parameter's value and bounds as their logarithms.
      for (const std::string* value :
           {&parameter.parval1, &parameter.parlbnd, &parameter.parubnd}) {
        if (!(RequireValue(*value, parameter.at, "a log parameter's value") > 0.0)) {
          Fail(parameter.at, "the log parameter " + parameter.name + " has the value or bound " +
                                 *value + "; its value and bounds must be above 0");
        }
      }
    }
    if (t == "tied" && FindParameter(p_, parameter.partied) == nullptr) {
      Fail(parameter.at, "the tied parameter " + parameter.name + " names no parent parameter");
    }
    if (!HasGroup(groups_, parameter.group)) {
      NeedGroup(false, p_.version, parameter.group, parameter.at, "the parameter group");
      ParameterGroup group;
      group.name = parameter.group;
      group.at = parameter.at;
      groups_.push_back(group);
    }
  }
  for (const Observation& o : p_.observations) {
    CheckName(o.name, kMaxObservationName, o.at, "the observation name");
    CheckName(o.group, kMaxName, o.at, "the observation group");
    if (!HasObservationGroup(observation_groups_, o.group)) {
      NeedGroup(false, p_.version, o.group, o.at, "the observation group");
      observation_groups_.push_back(ObservationGroup{o.group, "", "", o.at});
    }
  }
  for (const PriorItem& item : p_.priors) {
    CheckName(item.label, kMaxPriorLabel, item.at, "the prior label", true);
    CheckName(item.group, kMaxName, item.at, "the observation group");
    if (item.terms.size() > kMaxPriorTerms) {
      Fail(item.at, "the prior item " + item.label + " has " + std::to_string(item.terms.size()) +
                        " terms; the case takes at most 10");
    }
    for (const PriorTerm& term : item.terms) {
      if (FindParameter(p_, term.parameter) == nullptr) {
        Fail(item.at, "the prior item " + item.label + " names '" + term.parameter + "', which is no parameter");
      }
    }
    if (!HasObservationGroup(observation_groups_, item.group)) {
      NeedGroup(false, p_.version, item.group, item.at, "the observation group");
      observation_groups_.push_back(ObservationGroup{item.group, "", "", item.at});
    }
  }
  if (p_.templates.size() > kMaxModelFiles || p_.instructions.size() > kMaxModelFiles) {
    Fail(p_.control_file, "the case takes at most 25 template and 25 instruction files");
  }
  for (const FilePair& pair : p_.templates) {
    CheckName(pair.pest_file, kMaxName, pair.at, "the file name");
    CheckName(pair.model_file, kMaxName, pair.at, "the file name");
  }
  for (const FilePair& pair : p_.instructions) {
    CheckName(pair.pest_file, kMaxName, pair.at, "the file name");
    CheckName(pair.model_file, kMaxName, pair.at, "the file name");
  }
  if (p_.commands.empty()) Fail(p_.control_file, "the file names no model command");
}

// FORCEN and DERMTHD as the engine takes them; the five-point forms and the fitted
// derivatives become their nearest relatives.
std::string CaseBuilder::ParameterGroups() {
  std::string text = "* parameter groups\n";
  for (std::size_t index = 0; index < groups_.size(); ++index) {
    const ParameterGroup& g = groups_[index];
    std::string forcen = g.forcen, dermthd = g.dermthd;
    if (forcen == "always_5" || forcen == "switch_5") {
      forcen = forcen == "always_5" ? "always_3" : "switch";
      Note(g.at, "parameter group " + g.name + ": FORCEN " + g.forcen + " is not available; the case uses " + forcen);
    } else if (forcen != "always_2" && forcen != "always_3" && forcen != "switch") {
      Fail(g.at, "FORCEN '" + forcen + "' of parameter group " + g.name + " is not always_2, always_3 or switch");
    }
    if (dermthd != "parabolic" && dermthd != "outside_pts") {
      dermthd = "parabolic";
      Note(g.at, "parameter group " + g.name + ": DERMTHD " + g.dermthd + " is not available; the case uses parabolic");
    }
    if (index < p_.groups.size()) {  // a group the file defines, not one given the standard settings
      Note(g.at, "parameter group " + g.name + ": INCTYP " + g.inctyp + ", DERINC " + g.derinc +
                     ", DERINCLB " + g.derinclb + " and DERINCMUL " + g.derincmul +
                     " are not consulted; the engine's perturbation sizes are fixed");
    }
    if (!g.split_settings.empty()) {
      std::string split;
      for (const std::string& word : g.split_settings) split += " " + word;
      Note(g.at, "parameter group " + g.name + ": the derivative split settings" + split + " are not carried over");
    }
    const std::string inctyp = Lower(g.inctyp);
    if (inctyp != "relative" && inctyp != "absolute" && inctyp != "rel_to_max") {
      Fail(g.at, "INCTYP '" + g.inctyp + "' of parameter group " + g.name +
                     " is not relative, absolute or rel_to_max");
    }
    text += g.name + " " + inctyp + " " + RequireNumber(g.derinc, g.at, "DERINC") + " " +
            RequireNumber(g.derinclb, g.at, "DERINCLB") + " " + forcen + " " +
            RequireNumber(g.derincmul, g.at, "DERINCMUL") + " " + dermthd + "\n";
  }
  return text;
}

std::string CaseBuilder::Parameters() {
  std::string text = "* parameter data\n", ties, limits;
  for (const Parameter& q : p_.parameters) {
    const std::string limit = Lower(q.parchglim);
    if (limit != "factor" && limit != "relative" && limit.rfind("absolute(", 0) != 0) {
      Fail(q.at, "PARCHGLIM '" + q.parchglim + "' of " + q.name +
                     " is not factor, relative or absolute(N)");
    }
    text += q.name + " " + q.partrans + " " + limit + " " +
            RequireNumber(q.parval1, q.at, "PARVAL1") + " " +
            RequireNumber(q.parlbnd, q.at, "PARLBND") + " " +
            RequireNumber(q.parubnd, q.at, "PARUBND") + " " + q.group + " " +
            RequireNumber(q.scale, q.at, "SCALE") + " " + RequireNumber(q.offset, q.at, "OFFSET") +
            " " + std::to_string(RequireInteger(q.dercom, q.at, "DERCOM")) + "\n";
    if (q.partrans == "tied") ties += q.name + " " + q.partied + "\n";
    if (q.partrans != "fixed" && q.partrans != "tied") limits += (limits.empty() ? "" : ", ") + q.name + " " + q.parchglim;
    if (RequireValue(q.scale, q.at, "SCALE") != 1.0 ||
        RequireValue(q.offset, q.at, "OFFSET") != 0.0) {
      Note(q.at, "parameter " + q.name + ": SCALE " + q.scale + " and OFFSET " + q.offset +
                     " are not applied; the model input files receive the parameter's own value");
    }
    if (q.dercom != "1") {
      Note(q.at, "parameter " + q.name + ": DERCOM " + q.dercom + " is not carried over; its "
                 "derivatives are computed with the model command");
    }
  }
  if (!limits.empty()) {
    Note(p_.control_file, "PARCHGLIM (" + limits + "): parameter change limits are not "
                          "consulted; upgrades are kept within the parameter bounds only");
  }
  return text + ties;
}

std::string CaseBuilder::Observations() {
  std::string text = "* observation groups\n";
  for (const ObservationGroup& g : observation_groups_) {
    text += g.name + "\n";
    if (!g.gtarg.empty()) Note(g.at, "observation group " + g.name + ": GTARG " + g.gtarg + " is not carried over");
    if (!g.covfile.empty()) {
      Note(g.at, "observation group " + g.name + ": the covariance matrix file " + g.covfile +
                     " is not used; the case weighs the group's observations by their WEIGHT");
    }
  }
  text += "* observation data\n";
  for (const Observation& o : p_.observations) {
    text += o.name + " " + RequireNumber(o.obsval, o.at, "OBSVAL") + " " +
            RequireNumber(o.weight, o.at, "WEIGHT") + " " + o.group + "\n";
  }
  return text;
}

std::string CaseBuilder::ModelSections() {
  std::string text = "* model command line\nnone true\n* model input/output\n";
  for (const FilePair& pair : p_.templates) text += pair.pest_file + " " + pair.model_file + "\n";
  for (const FilePair& pair : p_.instructions) text += pair.pest_file + " " + pair.model_file + "\n";
  for (std::size_t k = 1; k < p_.commands.size(); ++k) {
    Note(p_.commands[k].at, "model command " + std::to_string(k + 1) + " '" + p_.commands[k].value +
                                "' is not carried over; the case runs the first command");
  }
  const Setting* jacfile = p_.Find("JACFILE");
  if (jacfile != nullptr && jacfile->value != "0") {
    Note(jacfile->at, "JACFILE " + jacfile->value + ": derivatives from the model are not read; the engine computes them");
  }
  const Setting* messfile = p_.Find("MESSFILE");
  if (messfile != nullptr && messfile->value != "0") {
    Note(messfile->at, "MESSFILE " + messfile->value + ": no message file is written for the model");
  }
  return text;
}

std::string FactorText(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.15g", value);
  return text;
}

std::string CaseBuilder::PriorItems() {
  std::string text = "* prior information\n";
  for (const PriorItem& item : p_.priors) {
    text += item.label;
    for (std::size_t k = 0; k < item.terms.size(); ++k) {
      const PriorTerm& term = item.terms[k];
      if (k == 0) {
        text += " " + FactorText(term.factor);
      } else {
        text += std::string(term.factor < 0.0 ? " - " : " + ") + FactorText(std::fabs(term.factor));
      }
      text += " * " + (term.log ? "log(" + term.parameter + ")" : term.parameter);
    }
    text += " = " + item.pival + " " + item.weight + " " + item.group + "\n";
  }
  return text;
}

std::string CaseBuilder::Regularisation() {
  const std::string mode = Lower(Value("PESTMODE"));
  const bool regularising = mode != "estimation";
  if (!regularising && !p_.has_regularisation_section) return "";
  if (regularising && !p_.has_regularisation_section && p_.Find("PHIMLIM") == nullptr) {
    Note(p_.control_file, "PESTMODE " + mode + " without regularisation settings: the case uses the defaults");
  }
  for (const char* name : {"PHIMLIM", "PHIMACCEPT", "FRACPHIM", "WFINIT", "WFMIN", "WFMAX", "WFFAC", "WFTOL"}) {
    used_.insert(name);
  }
  return "* regularisation\n" + Number("PHIMLIM") + " " + Number("PHIMACCEPT") + " " +
         Number("FRACPHIM") + "\n" + Number("WFINIT") + " " + Number("WFMIN") + " " +
         Number("WFMAX") + "\n" + Number("WFFAC") + " " + Number("WFTOL") + "\n";
}

std::string CaseBuilder::ProjectText() const {
  std::string text =
      "# Written by tarne-pst from " + p_.control_file.file + ". The model input files are\n"
      "# written from the templates with the values of \"values.in\", matched by name through\n"
      "# \"tarne.in\"; then the model command runs in the working directory.\n"
      "kind external\nreplace tarne.in\nvalues values.in\n";
  for (const FilePair& pair : p_.templates) text += "template " + pair.pest_file + " " + pair.model_file + "\n";
  return text + "command " + p_.commands[0].value + "\n";
}

// Every setting of the standard file that the case has not carried, one line each.
void CaseBuilder::ReportSettings() {
  for (const char* name : kCounts) used_.insert(name);
  std::string limits;
  for (const char* name : {"RELPARMAX", "FACPARMAX", "FACORIG", "IBOUNDSTICK"}) {
    used_.insert(name);
    if (const Setting* s = p_.Find(name)) limits += (limits.empty() ? "" : ", ") + std::string(name) + " " + s->value;
  }
  if (!limits.empty()) {
    Note(p_.Find("RELPARMAX") != nullptr ? p_.Find("RELPARMAX")->at : p_.control_file,
         limits + ": not consulted; upgrades are kept within the parameter bounds only");
  }
  used_.insert("DOAUI");
  if (const Setting* aui = p_.Find("DOAUI")) {
    if (Lower(aui->value) != "noaui") Note(aui->at, "DOAUI " + aui->value + ": automatic user intervention is not available");
  }
  if (p_.has_svd_section || p_.Find("SVDMODE") != nullptr) {
    std::string svd;
    for (const char* name : {"SVDMODE", "MAXSING", "EIGTHRESH", "EIGWRITE"}) {
      used_.insert(name);
      if (const Setting* s = p_.Find(name)) svd += (svd.empty() ? "" : ", ") + std::string(name) + " " + s->value;
    }
    Note(p_.Find("SVDMODE") != nullptr ? p_.Find("SVDMODE")->at : p_.control_file,
         svd + ": the engine solves the normal equations without truncated singular value decomposition");
  }
  for (const auto& entry : p_.settings) {
    if (used_.count(entry.first) != 0) continue;
    if (entry.first.compare(0, 2, "++") == 0) {
      Note(entry.second.at, entry.first + "(" + entry.second.value + "): an option of another engine; not carried over");
    } else {
      Note(entry.second.at, entry.first + " " + entry.second.value + ": not carried over; the engine has no such setting");
    }
  }
  for (const auto& section : p_.skipped_sections) Note(section.second, "section '* " + section.first + "': not carried over");
  for (const auto& column : p_.extra_columns) Note(column.second, "column '" + column.first + "': not carried over");
}

}  // namespace

ImportedCase BuildCase(const StandardProblem& problem, const std::string& project_name,
                       const CaseOptions& options) {
  CaseBuilder builder(problem, options);
  return builder.Build(project_name);
}

}  // namespace pst
