#include "pest/control_file.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <utility>

#include "modellib/file_error.h"
#include "modellib/file_handle.h"
#include "modellib/input_file.h"
#include "modellib/replace_file.h"
#include "modellib/text_util.h"
#include "modellib/token_reader.h"
#include "pest/control_checks.h"
#include "pest/control_reader.h"
#include "pest/instruction_files.h"
#include "pest/parameters.h"
#include "pest/template_files.h"

namespace {


// The whole control file. One that cannot be opened, or is not a regular file, is named with
// the reason on standard error before the fixed line that says it cannot be opened.
bool ReadWholeFile(const std::string& name, std::string& text) {
  std::string reason;
  FileHandle file(tarne::OpenInputFile(name, "r", tarne::kMaxInputFileBytes, &reason));
  if (!file) {
    std::fprintf(stderr, "%s\n", FileErrorMessage("open", name.c_str(), 0, reason.c_str()).c_str());
    std::fprintf(stderr, "Cannot open %s \n", name.c_str());
    return false;
  }
  tarne::TextFault fault;
  if (!tarne::ReadInputText(file.get(), tarne::kMaxInputFileBytes, tarne::kMaxInputLine, &text,
                            &fault)) {
    ReportFileError("read", name, fault.line, fault.reason);
    return false;
  }
  return true;
}

}  // namespace

std::string ControlFileName(const std::string& control_name) {
  return control_name.find('.') == std::string::npos ? control_name + ".pst" : control_name;
}

bool WriteReplacementList(const std::string& content) {
  return ReplaceFile("tarne.in", content, FileSync::kNone);
}

namespace {

// Settings the search cannot work with are refused where they are read, so the message
// names their line (see control_checks.h): a lambda search needs from 1 to 1000 trials and
// a lambda that stays positive; NOPTMAX sizes the phi history and the phi reduction test
// looks back over NPHISTP iterations; the secant mode needs SLMMODE 0 or 1, a full-update
// switch of 0 or 1 and a column count of at least 0 (its list of columns would otherwise
// hold entries that name no parameter). SLMNCOL is compared with the adjustable parameters
// once they are read.
bool CheckLambdaSettings(const ProblemRecord& r, ControlReader& in) {
  if (!in.Check(LambdaCountProblem(r.NUMLAM))) return false;
  if (!(r.RLAMBDA1 >= 0.0) || !(r.RLAMFAC > 0.0)) {
    return in.Fail("RLAMBDA1 must be 0 or more and RLAMFAC more than 0");
  }
  return true;
}

std::string FullUpdateProblem(int SLMFULLUPD) {
  if (SLMFULLUPD == 0 || SLMFULLUPD == 1) return "";
  return "SLMFULLUPD is " + std::to_string(SLMFULLUPD) + "; it must be 0 or 1";
}

std::string NegativeColumnsProblem(int SLMNCOL) {
  if (SLMNCOL >= 0) return "";
  return "SLMNCOL is " + std::to_string(SLMNCOL) + "; it cannot be negative";
}

// The model files beyond the supported 25 are refused where their count is read, before
// their pairs are looked for, with the lines that give the limit.
bool CheckModelFileCounts(const ProblemRecord& r, ControlReader& in) {
  if (!in.Check(ModelFileCountProblem("NTPLFLE", r.NTPLFLE))) {
    TemplateCountSupported(r.NTPLFLE);
    return false;
  }
  if (!in.Check(ModelFileCountProblem("NINSFLE", r.NINSFLE))) {
    InstructionCountSupported(r.NINSFLE);
    return false;
  }
  return true;
}

// Lines of the settings checked only after the parameters are read.
struct DeferredChecks {
  long slmncol_line = 0;
};

bool ReadControlData(ProblemRecord& r, ControlReader& in, DeferredChecks& deferred) {
  if (!(in.Text("RSTFLE", r.RSTFLE) && in.Text("PESTMODE", r.PESTMODE) &&
        in.Int("NPAR", r.NPAR) && in.Int("NOBS", r.NOBS) && in.Int("NPARGP", r.NPARGP) &&
        in.Int("NPRIOR", r.NPRIOR) && in.Int("NOBSGP", r.NOBSGP) &&
        in.Int("NTPLFLE", r.NTPLFLE) && in.Int("NINSFLE", r.NINSFLE) &&
        CheckModelFileCounts(r, in) &&
        in.Text("PRECIS", r.PRECIS) && in.Text("DPOINT", r.DPOINT) &&
        in.Int("NUMCOM", r.NUMCOM) && in.Int("JACFILE", r.JACFILE) &&
        in.Int("MESSFILE", r.MESSFILE) && in.Real("RLAMBDA1", r.RLAMBDA1) &&
        in.Real("RLAMFAC", r.RLAMFAC) && in.Real("PHIRATSUF", r.PHIRATSUF) &&
        in.Real("PHIREDLAM", r.PHIREDLAM) && in.Int("NUMLAM", r.NUMLAM) &&
        CheckLambdaSettings(r, in) &&
        in.Real("RELPARMAX", r.RELPARMAX) && in.Real("FACPARMAX", r.FACPARMAX) &&
        in.Real("FACORIG", r.FACORIG) &&
        in.Int("the integer before PHIREDSWH", r.ignored_integer) &&
        in.Real("PHIREDSWH", r.PHIREDSWH) &&
        in.Text("the word after PHIREDSWH", r.ignored_word) &&
        in.Int("NOPTMAX", r.NOPTMAX) && in.Check(IterationLimitProblem(r.NOPTMAX)) &&
        in.Real("PHIREDSTP", r.PHIREDSTP) &&
        in.Int("NPHISTP", r.NPHISTP) && in.Check(PhiHistoryProblem(r.NPHISTP)) &&
        in.Int("NPHINORED", r.NPHINORED) &&
        in.Real("RELPARSTP", r.RELPARSTP) && in.Int("NRELPAR", r.NRELPAR) &&
        in.Int("ICOV", r.ICOV) && in.Int("ICOR", r.ICOR) && in.Int("IEIG", r.IEIG) &&
        in.Int("SLMMODE", r.SLMMODE) && in.Check(SecantModeProblem(r.SLMMODE)) &&
        in.Int("SLMFULLUPD", r.SLMFULLUPD) && in.Check(FullUpdateProblem(r.SLMFULLUPD)) &&
        in.Real("SLMFULLRAT", r.SLMFULLRAT) &&
        in.Int("SLMNCOL", r.SLMNCOL) && in.Check(NegativeColumnsProblem(r.SLMNCOL)))) {
    return false;
  }
  deferred.slmncol_line = in.token_line();
  return in.Real("LSDISTMIN", r.LSDISTMIN) && in.Text("PROJFLE", r.PROJFLE);
}

// SLMNCOL against the adjustable parameters, reported on the line of SLMNCOL.
bool CheckSecantColumns(const ProblemRecord& r, const ControlReader& in,
                        const DeferredChecks& deferred) {
  int adjustable = 0;
  for (int i = 1; i <= r.NPAR; ++i) adjustable += IsAdjustableParameter(r.parameters[i]);
  return in.Check(SecantColumnsProblem(r.SLMMODE, r.SLMNCOL, adjustable), deferred.slmncol_line);
}

// The counts size the arrays, so a negative one is refused before anything is allocated.
bool CheckCounts(const ProblemRecord& r, ControlReader& in) {
  const std::pair<const char*, int> counts[] = {
      {"NPAR", r.NPAR},     {"NOBS", r.NOBS},       {"NPARGP", r.NPARGP},  {"NPRIOR", r.NPRIOR},
      {"NOBSGP", r.NOBSGP}, {"NTPLFLE", r.NTPLFLE}, {"NINSFLE", r.NINSFLE}};
  for (const auto& count : counts) {
    if (count.second < 0) {
      ReportFileError("read", in.file(), 0,
                     std::string(count.first) + " is " + std::to_string(count.second) +
                         "; a count cannot be negative");
      return false;
    }
  }
  return true;
}

// Two line reads; when the header just read is that of the singular-value section, its four
// values and the next header follow.
bool ReadSingularValueSection(ProblemRecord& r, ControlReader& in) {
  if (!in.SectionHeader(r.section_line, "parameter groups",
                        "the control data section holds more lines than its settings",
                        "singular value decomposition")) {
    return false;
  }
  if (std::strlen(r.section_line) < 10 || std::strncmp(r.section_line + 2, "singular", 8) != 0) {
    return true;
  }
  in.SetContext("");
  if (!(in.Int("SVDMODE", r.SVDMODE) && in.Int("MAXSING", r.MAXSING) &&
        in.Real("EIGTHRESH", r.EIGTHRESH) && in.Int("EIGWRITE", r.EIGWRITE))) {
    return false;
  }
  return in.SectionHeader(r.section_line, "parameter groups",
                          "the singular value decomposition section holds more lines than "
                          "SVDMODE, MAXSING, EIGTHRESH and EIGWRITE");
}

bool ReadParameterGroups(ProblemRecord& r, ControlReader& in) {
  if (!Allocate(r.groups, r.NPARGP, "NPARGP", in)) return false;
  for (int i = 1; i <= r.NPARGP; ++i) {
    ParameterGroup& g = r.groups[i];
    in.SetContext(Numbered("parameter group", i));
    if (!(in.Text("PARGPNME", g.PARGPNME) && in.Text("INCTYP", g.INCTYP) &&
          in.Real("DERINC", g.DERINC) && in.Real("DERINCLB", g.DERINCLB) &&
          in.Text("FORCEN", g.FORCEN) && in.Real("DERINCMUL", g.DERINCMUL) &&
          in.Text("DERMTHD", g.DERMTHD))) {
      return false;
    }
  }
  return true;
}

// Reads the parameter lines and builds the replacement list: the count after the first
// parameter, then one line per parameter naming it and its output format.
// How a section longer than its count shows in the message about the next header.
std::string Beyond(const char* section, const char* count_name, int count) {
  return std::string("the ") + section + " section holds more lines than " + count_name + " (" +
         std::to_string(count) + ")";
}

bool ReadParameters(ProblemRecord& r, ControlReader& in, std::string& list) {
  if (!in.SectionHeader(r.section_line, "parameter data",
                        Beyond("parameter groups", "NPARGP", r.NPARGP))) {
    return false;
  }
  if (!Allocate(r.parameters, r.NPAR, "NPAR", in)) return false;
  for (int i = 1; i <= r.NPAR; ++i) {
    Parameter& p = r.parameters[i];
    in.SetContext(Numbered("parameter", i));
    if (!(in.Text("PARNME", p.PARNME) && in.Text("PARTRANS", p.PARTRANS) &&
          in.Text("PARCHGLIM", p.PARCHGLIM) && in.Real("PARVAL1", p.value) &&
          in.Real("PARLBND", p.PARLBND) && in.Real("PARUBND", p.PARUBND) &&
          in.Text("PARGP", p.PARGP) && in.Real("SCALE", p.SCALE) &&
          in.Real("OFFSET", p.OFFSET) && in.Int("DERCOM", p.DERCOM))) {
      return false;
    }
    if (!in.Check(TransformProblem(p.PARTRANS, in.context()))) {
      return false;
    }
    p.transform = TransformOfWord(p.PARTRANS);
    if (i == 1) list += std::to_string(r.NPAR) + "\n";
    list += std::string("[") + p.PARNME + "] \"%16.8lf\"\n";
  }
  return true;
}

// Replaces the value and bounds of every "log" parameter by their base-10 logarithms.
bool TakeLogarithms(ProblemRecord& r) {
  for (int i = 1; i <= r.NPAR; ++i) {
    Parameter& p = r.parameters[i];
    if (!IsLogParameter(p)) continue;
    if (!(p.value > 0.0 && p.PARLBND > 0.0 && p.PARUBND > 0.0)) {
      std::printf("\nThe log transformed parameter %s has an input value less than zero!",
                  p.PARNME);
      std::printf("\nProgram terminating.\n");
      return false;
    }
    p.value = std::log10(p.value);
    p.PARLBND = std::log10(p.PARLBND);
    p.PARUBND = std::log10(p.PARUBND);
  }
  return true;
}

// One tie line per tied parameter, in parameter order, right after the parameter lines.
bool ReadTieLines(ProblemRecord& r, ControlReader& in) {
  for (int i = 1; i <= r.NPAR; ++i) {
    Parameter& p = r.parameters[i];
    if (!IsTiedParameter(p)) continue;
    in.SetContext(std::string(" of the tie line of ") + p.PARNME);
    if (!in.Text("the parameter name", p.tie_line_name)) return false;
    // One line fewer than the tied parameters: the next section's header stands there.
    if (p.tie_line_name[0] == '*') {
      return in.Fail(std::string("the tie line of ") + p.PARNME +
                     " is missing: a section header stands in its place");
    }
    if (!in.Text("PARTIED", p.PARTIED)) return false;
  }
  return true;
}

void SetBoundFlags(ProblemRecord& r) {
  for (int i = 1; i <= r.NPAR; ++i) {
    Parameter& p = r.parameters[i];
    p.at_upper = p.value == p.PARUBND ? 1 : 0;
    p.at_lower = p.value == p.PARLBND ? 1 : 0;
  }
}

bool ReadObservationGroups(ProblemRecord& r, ControlReader& in) {
  if (!in.SectionHeader(r.section_line, "observation groups",
                        Beyond("parameter data", "NPAR", r.NPAR) +
                            " and one tie line per tied parameter")) {
    return false;
  }
  if (!Allocate(r.observation_groups, r.NOBSGP, "NOBSGP", in)) return false;
  for (int i = 1; i <= r.NOBSGP; ++i) {
    in.SetContext(Numbered("observation group", i));
    if (!in.Text("OBGNME", r.observation_groups[i].OBGNME)) return false;
  }
  return true;
}

bool ReadObservations(ProblemRecord& r, ControlReader& in) {
  if (!in.SectionHeader(r.section_line, "observation data",
                        Beyond("observation groups", "NOBSGP", r.NOBSGP))) {
    return false;
  }
  if (!Allocate(r.observations, r.NOBS, "NOBS", in)) return false;
  for (int i = 1; i <= r.NOBS; ++i) {
    Observation& o = r.observations[i];
    in.SetContext(Numbered("observation", i));
    if (!(in.Text("OBSNME", o.OBSNME) && in.Real("OBSVAL", o.OBSVAL) &&
          in.Real("WEIGHT", o.WEIGHT) && in.Text("OBGNME", o.OBGNME))) {
      return false;
    }
  }
  return true;
}

bool ReadModelCommands(ProblemRecord& r, ControlReader& in) {
  if (!in.SectionHeader(r.section_line, "model command line",
                        Beyond("observation data", "NOBS", r.NOBS))) {
    return false;
  }
  in.SetContext(" in the model command line section");
  return in.Text("PREBATCH", r.PREBATCH) && in.Text("POSTBATCH", r.POSTBATCH);
}

bool ReadModelFiles(ProblemRecord& r, ControlReader& in) {
  if (!in.SectionHeader(r.section_line, "model input/output",
                        "the model command line section holds more than its one line")) {
    return false;
  }
  if (!Allocate(r.templates, r.NTPLFLE, "NTPLFLE", in) ||
      !Allocate(r.instructions, r.NINSFLE, "NINSFLE", in)) {
    return false;
  }
  for (int i = 1; i <= r.NTPLFLE; ++i) {
    in.SetContext(Numbered("template pair", i));
    if (!(in.Text("TEMPFLE", r.templates[i].TEMPFLE) && in.Text("INFLE", r.templates[i].INFLE))) {
      return false;
    }
  }
  for (int i = 1; i <= r.NINSFLE; ++i) {
    in.SetContext(Numbered("instruction pair", i));
    if (!(in.Text("INSFLE", r.instructions[i].INSFLE) &&
          in.Text("OUTFLE", r.instructions[i].OUTFLE))) {
      return false;
    }
  }
  return true;
}

// The parameter of a prior term: the name inside log( ) when the term is written so, else
// the token itself.
bool TermParameterName(const std::string& token, char (&name)[kTextField], ControlReader& in) {
  std::string result = token;
  size_t log = token.find("log");
  if (log != std::string::npos) {
    size_t open = token.rfind('(');
    if (open != std::string::npos && open > log) {
      size_t close = token.find(')', log);
      if (close == std::string::npos || close < open) {
        return in.Fail("the prior term \"" + token + "\" has no \")\" after its \"(\"");
      }
      result = token.substr(open + 1, close - open - 1);
    }
  }
  std::memcpy(name, result.c_str(), result.size() + 1);  // never longer than the token
  return true;
}

// One prior item on one line: label, then factor * parameter for every "*" on the line,
// joined by signs and closed by "=", then PIVAL, WEIGHT and the group.
bool ReadPriorItem(PriorItem& item, int index, ProblemRecord& r, ControlReader& in) {
  in.SetContext(Numbered("prior item", index));
  int terms = in.CountOnLine('*');
  const tarne::TokenReader::Mark start = in.Save();
  in.Line(r.section_line);
  in.Restore(start);
  if (!in.Text("PILBL", item.PILBL)) return false;
  if (terms > kMaxPriorTerms) {
    return in.Fail("the prior item " + std::string(item.PILBL) + " has " + std::to_string(terms) +
                   " terms; at most " + std::to_string(kMaxPriorTerms) + " are allowed");
  }
  item.num_terms = terms;
  item.factors.assign(static_cast<size_t>(terms) + 1, 0.0);
  std::string sign;
  for (int k = 1; k <= terms; ++k) {
    double factor = 0.0;
    std::string star, parameter;
    if (!in.Real("a factor", factor)) return false;
    item.factors[k] = (k > 1 && sign == "-") ? -factor : factor;
    if (!in.Word("\"*\"", star)) return false;
    if (star != "*") {
      std::printf("Error reading prior information");
      return false;
    }
    if (!in.Text("a parameter name", item.term_names[k])) return false;
    parameter = item.term_names[k];
    if (!TermParameterName(parameter, item.term_names[k], in)) return false;
    if (!in.Word("a sign or \"=\"", sign)) return false;
  }
  if (terms > 0 && sign != "=") {
    return in.Fail("the prior item " + std::string(item.PILBL) + " has \"" + sign +
                   "\" where \"=\" should follow its last term");
  }
  if (!(in.Real("PIVAL", item.PIVAL) && in.Real("WEIGHT", item.WEIGHT) &&
        in.Text("OBGNME", item.OBGNME))) {
    return false;
  }
  in.Line(r.section_line);
  return true;
}

bool ReadPriorInformation(ProblemRecord& r, ControlReader& in) {
  if (!in.SectionHeader(r.section_line, "prior information",
                        Beyond("model input/output", "NTPLFLE + NINSFLE", r.NTPLFLE + r.NINSFLE))) {
    return false;
  }
  if (!Allocate(r.priors, r.NPRIOR, "NPRIOR", in)) return false;
  for (int i = 1; i <= r.NPRIOR; ++i) {
    if (!ReadPriorItem(r.priors[i], i, r, in)) return false;
  }
  return true;
}

// The regularisation settings close the file. They matter only in regularisation mode, so
// elsewhere a file that ends before them (or holds something else there) leaves them unset.
bool ReadRegularisation(ProblemRecord& r, ControlReader& in) {
  in.Line(r.section_line);
  double* const fields[] = {&r.PHIMLIM, &r.PHIMACCEPT, &r.FRACPHIM, &r.WFINIT,
                            &r.WFMIN,   &r.WFMAX,      &r.WFFAC,    &r.WFTOL};
  const char* const names[] = {"PHIMLIM", "PHIMACCEPT", "FRACPHIM", "WFINIT",
                               "WFMIN",   "WFMAX",      "WFFAC",    "WFTOL"};
  bool required = std::strcmp(r.PESTMODE, "regularisation") == 0 ||
                  std::strcmp(r.PESTMODE, "regularization") == 0;
  in.SetContext(" in the regularisation section");
  for (int i = 0; i < 8; ++i) {
    bool read = required ? in.Real(names[i], *fields[i]) : in.TryReal(*fields[i]);
    if (!read) {
      if (required) return false;
      break;
    }
  }
  r.WFCUR = r.WFINIT;
  return true;
}

bool ReadSections(ProblemRecord& r, ControlReader& in, std::string& list) {
  in.Line(r.first_line);
  in.Line(r.second_line);
  in.SetContext("");
  DeferredChecks deferred;
  if (!(ReadControlData(r, in, deferred) && CheckCounts(r, in) &&
        ReadSingularValueSection(r, in) && ReadParameterGroups(r, in) &&
        ReadParameters(r, in, list) && CheckSecantColumns(r, in, deferred) &&
        TakeLogarithms(r) && ReadTieLines(r, in))) {
    return false;
  }
  SetBoundFlags(r);
  return ReadObservationGroups(r, in) && ReadObservations(r, in) && ReadModelCommands(r, in) &&
         ReadModelFiles(r, in) && ReadPriorInformation(r, in) && ReadRegularisation(r, in);
}

}  // namespace

short ReadControlFile(ProblemRecord& record, const char* control_name) {
  std::string list;
  // "tarne.in" is written only once the whole file has been read.
  if (ReadControlFile(record, control_name, list) != 0 || !WriteReplacementList(list)) return 1;
  return 0;
}

short ReadControlFile(ProblemRecord& record, const char* control_name,
                      std::string& replacement_list) {
  record = ProblemRecord();
  replacement_list.clear();
  std::string name = ControlFileName(control_name);
  std::string text;
  if (!ReadWholeFile(name, text)) return 1;
  ControlReader in(name, std::move(text));
  return ReadSections(record, in, replacement_list) ? 0 : 1;
}

void CountParameterTypes(ProblemRecord& record) {
  record.NUMADJ = record.NUMFIXED = record.NUMTIED = 0;
  record.frozen_count = record.no_effect_count = 0;
  record.NUMIW = 0;
  for (int i = 1; i <= record.NPAR; ++i) {
    Parameter& p = record.parameters[i];
    p.iw_flag = 0;
    p.iw_name[0] = '\0';
    if (IsTiedParameter(p)) {
      ++record.NUMTIED;
    } else if (IsFixedParameter(p)) {
      ++record.NUMFIXED;
    } else {
      ++record.NUMADJ;
      if (std::strncmp(p.PARNME, "iw_", 3) == 0) {
        p.iw_flag = 1;
        std::strcpy(p.iw_name, p.PARNME + 3);
        ++record.NUMIW;
      }
    }
  }
}

short SetTiedParameters(ProblemRecord& record) {
  for (int i = 1; i <= record.NPAR; ++i) {
    record.parameters[i].parent_index = 0;
    record.parameters[i].tie_ratio = 1.0;
  }
  if (record.NUMTIED <= 0) return 0;
  for (int i = 1; i <= record.NPAR; ++i) {
    Parameter& p = record.parameters[i];
    if (!IsTiedParameter(p)) continue;
    for (int m = 1; m <= record.NPAR; ++m) {
      const Parameter& parent = record.parameters[m];
      if (std::strcmp(parent.PARNME, p.PARTIED) != 0) continue;
      // A parent at zero would give an infinite ratio and carry nothing to its child.
      if (NaturalValue(parent) == 0.0) {
        std::printf("\nThe tied parameter %s cannot follow %s, whose value is zero.\n",
                    p.PARNME, parent.PARNME);
        return 1;
      }
      p.parent_index = m;
      p.tie_ratio = NaturalValue(p) / NaturalValue(parent);
      break;
    }
  }
  return 0;
}
