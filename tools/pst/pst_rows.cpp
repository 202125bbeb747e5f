#include "pst_rows.h"

#include <cmath>
#include <cstring>

#include "pst_text.h"

namespace pst {

namespace {

// A value of a positional line: 'i' whole number, 'r' real number, 't' any word.
struct Field {
  const char* name;
  char type;
};

// Optional words recognised by their text, wherever they stand after the required values.
struct OptionWord {
  const char* word;
  const char* setting;
};

struct LineLayout {
  std::vector<Field> required;
  std::vector<Field> optional;  // taken in order by the values that are not option words
  std::vector<OptionWord> words;
};

const std::vector<LineLayout>& Layouts(PositionalSection section) {
  static const std::vector<LineLayout> control = {
      {{{"RSTFLE", 't'}, {"PESTMODE", 't'}}, {}, {}},
      {{{"NPAR", 'i'}, {"NOBS", 'i'}, {"NPARGP", 'i'}, {"NPRIOR", 'i'}, {"NOBSGP", 'i'}},
       {{"MAXCOMPDIM", 'i'}, {"DERZEROLIM", 'r'}}, {}},
      {{{"NTPLFLE", 'i'}, {"NINSFLE", 'i'}, {"PRECIS", 't'}, {"DPOINT", 't'}},
       {{"NUMCOM", 'i'}, {"JACFILE", 'i'}, {"MESSFILE", 'i'}},
       {{"obsreref", "OBSREREF"}, {"noobsreref", "OBSREREF"}}},
      {{{"RLAMBDA1", 'r'}, {"RLAMFAC", 'r'}, {"PHIRATSUF", 'r'}, {"PHIREDLAM", 'r'},
        {"NUMLAM", 'i'}},
       {{"JACUPDATE", 'i'}},
       {{"lamforgive", "LAMFORGIVE"}, {"nolamforgive", "LAMFORGIVE"},
        {"derforgive", "DERFORGIVE"}, {"noderforgive", "DERFORGIVE"}}},
      {{{"RELPARMAX", 'r'}, {"FACPARMAX", 'r'}, {"FACORIG", 'r'}},
       {{"IBOUNDSTICK", 'i'}, {"UPVECBEND", 'i'}, {"ABSPARMAX", 'r'}}, {}},
      {{{"PHIREDSWH", 'r'}},
       {{"NOPTSWITCH", 'i'}, {"SPLITSWH", 'r'}},
       {{"aui", "DOAUI"}, {"noaui", "DOAUI"}, {"auid", "DOAUI"}, {"senreuse", "DOSENREUSE"},
        {"nosenreuse", "DOSENREUSE"}, {"boundscale", "BOUNDSCALE"},
        {"noboundscale", "BOUNDSCALE"}}},
      {{{"NOPTMAX", 'i'}, {"PHIREDSTP", 'r'}, {"NPHISTP", 'i'}, {"NPHINORED", 'i'},
        {"RELPARSTP", 'r'}, {"NRELPAR", 'i'}},
       {{"PHISTOPTHRESH", 'r'}, {"LASTRUN", 'i'}, {"PHIABANDON", 't'}}, {}},
      {{{"ICOV", 'i'}, {"ICOR", 'i'}, {"IEIG", 'i'}},
       {{"IRES", 'i'}},
       {{"jcosave", "JCOSAVE"}, {"nojcosave", "JCOSAVE"}, {"verboserec", "VERBOSEREC"},
        {"noverboserec", "VERBOSEREC"}, {"jcosaveitn", "JCOSAVEITN"},
        {"nojcosaveitn", "JCOSAVEITN"}, {"reisaveitn", "REISAVEITN"},
        {"noreisaveitn", "REISAVEITN"}, {"parsaveitn", "PARSAVEITN"},
        {"noparsaveitn", "PARSAVEITN"}, {"parsaverun", "PARSAVERUN"},
        {"noparsaverun", "PARSAVERUN"}}}};
  static const std::vector<LineLayout> singular = {
      {{{"SVDMODE", 'i'}}, {}, {}},
      {{{"MAXSING", 'i'}, {"EIGTHRESH", 'r'}}, {}, {}},
      {{{"EIGWRITE", 'i'}}, {}, {}}};
  static const std::vector<LineLayout> lsqr = {
      {{{"LSQRMODE", 'i'}}, {}, {}},
      {{{"LSQR_ATOL", 'r'}, {"LSQR_BTOL", 'r'}, {"LSQR_CONLIM", 'r'}, {"LSQR_ITNLIM", 'i'}},
       {}, {}},
      {{{"LSQRWRITE", 'i'}}, {}, {}}};
  static const std::vector<LineLayout> regularisation = {
      {{{"PHIMLIM", 'r'}, {"PHIMACCEPT", 'r'}},
       {{"FRACPHIM", 'r'}},
       {{"memsave", "MEMSAVE"}, {"nomemsave", "MEMSAVE"}}},
      {{{"WFINIT", 'r'}, {"WFMIN", 'r'}, {"WFMAX", 'r'}},
       {},
       {{"linreg", "LINREG"}, {"nonlinreg", "LINREG"}, {"continue", "REGCONTINUE"},
        {"nocontinue", "REGCONTINUE"}}},
      {{{"WFFAC", 'r'}, {"WFTOL", 'r'}},
       {{"IREGADJ", 'i'}, {"NOPTREGADJ", 'i'}, {"REGWEIGHTRAT", 'r'}, {"REGSINGTHRESH", 'r'}},
       {}}};
  switch (section) {
    case PositionalSection::kControlData: return control;
    case PositionalSection::kSingularValues: return singular;
    case PositionalSection::kLsqr: return lsqr;
    case PositionalSection::kRegularisation: break;
  }
  return regularisation;
}

std::string TypedValue(const Field& field, const std::string& word, const Origin& at) {
  if (field.type == 'i') return std::to_string(RequireInteger(word, at, field.name));
  if (field.type == 'r') return RequireNumber(word, at, field.name);
  return word;
}

const OptionWord* FindWord(const LineLayout& layout, const std::string& word) {
  for (const OptionWord& option : layout.words) {
    if (Lower(word) == option.word) return &option;
  }
  return nullptr;
}

void Put(StandardProblem* problem, const std::string& name, const std::string& value,
         const Origin& at) {
  problem->settings[name] = Setting{value, at};
}

// The prior term's parameter: the name inside log( ) when it is written so.
PriorTerm Term(double factor, const std::string& word, const Origin& at) {
  PriorTerm term;
  term.factor = factor;
  const std::string lower = Lower(word);
  if (lower.compare(0, 4, "log(") == 0) {
    if (lower.back() != ')' || lower.size() < 6) Fail(at, "the prior term '" + word + "' is not log(name)");
    term.log = true;
    term.parameter = lower.substr(4, lower.size() - 5);
  } else {
    term.parameter = lower;
  }
  return term;
}

void RequireWords(const std::vector<std::string>& words, std::size_t count, const Origin& at,
                  const char* what) {
  if (words.size() < count) {
    Fail(at, std::string(what) + " needs " + std::to_string(count) + " values, the line holds " +
                 std::to_string(words.size()));
  }
}

}  // namespace

int PositionalLineCount(PositionalSection section) {
  return static_cast<int>(Layouts(section).size());
}

void ReadPositionalLine(PositionalSection section, int index,
                        const std::vector<std::string>& words, const Origin& at,
                        StandardProblem* problem) {
  const LineLayout& layout = Layouts(section)[static_cast<std::size_t>(index)];
  if (words.size() < layout.required.size()) {
    Fail(at, "the line holds " + std::to_string(words.size()) + " values; " +
                 layout.required.back().name + " is missing");
  }
  std::size_t k = 0;
  for (const Field& field : layout.required) {
    Put(problem, field.name, TypedValue(field, words[k], at), at);
    ++k;
  }
  std::size_t next_optional = 0;
  for (; k < words.size(); ++k) {
    if (const OptionWord* option = FindWord(layout, words[k])) {
      Put(problem, option->setting, Lower(words[k]), at);
    } else if (next_optional < layout.optional.size()) {
      const Field& field = layout.optional[next_optional++];
      Put(problem, field.name, TypedValue(field, words[k], at), at);
    } else {
      Fail(at, "unexpected '" + words[k] + "' after " + layout.required.back().name);
    }
  }
}

void ReadKeywordLine(const std::vector<std::string>& words, const Origin& at,
                     StandardProblem* problem) {
  if (words.size() < 2) Fail(at, "the keyword '" + words[0] + "' has no value");
  std::string value = words[1];
  for (std::size_t k = 2; k < words.size(); ++k) value += " " + words[k];
  std::string number;
  if (NumberText(value, &number)) value = number;
  Put(problem, Upper(words[0]), value, at);
}

ParameterGroup ParameterGroupRow(const std::vector<std::string>& words, const Origin& at) {
  RequireWords(words, 7, at, "a parameter group");
  ParameterGroup group;
  group.name = Lower(words[0]);
  group.inctyp = Lower(words[1]);
  group.derinc = RequireNumber(words[2], at, "DERINC");
  group.derinclb = RequireNumber(words[3], at, "DERINCLB");
  group.forcen = Lower(words[4]);
  group.derincmul = RequireNumber(words[5], at, "DERINCMUL");
  group.dermthd = Lower(words[6]);
  group.split_settings.assign(words.begin() + 7, words.end());
  group.at = at;
  return group;
}

Parameter ParameterRow(const std::vector<std::string>& words, const Origin& at) {
  RequireWords(words, 10, at, "a parameter");
  if (words.size() > 10) Fail(at, "unexpected '" + words[10] + "' after DERCOM");
  Parameter p;
  p.name = Lower(words[0]);
  p.partrans = Lower(words[1]);
  p.parchglim = Lower(words[2]);
  p.parval1 = RequireNumber(words[3], at, "PARVAL1");
  p.parlbnd = RequireNumber(words[4], at, "PARLBND");
  p.parubnd = RequireNumber(words[5], at, "PARUBND");
  p.group = Lower(words[6]);
  p.scale = RequireNumber(words[7], at, "SCALE");
  p.offset = RequireNumber(words[8], at, "OFFSET");
  p.dercom = std::to_string(RequireInteger(words[9], at, "DERCOM"));
  p.at = at;
  return p;
}

void TieRow(const std::vector<std::string>& words, const Origin& at, StandardProblem* problem) {
  RequireWords(words, 2, at, "a tie line");
  for (Parameter& p : problem->parameters) {
    if (p.name != Lower(words[0])) continue;
    if (p.partrans != "tied") Fail(at, "the tie line names " + p.name + ", which is not tied");
    p.partied = Lower(words[1]);
    return;
  }
  Fail(at, "the tie line names '" + words[0] + "', which is no parameter");
}

ObservationGroup ObservationGroupRow(const std::vector<std::string>& words, const Origin& at) {
  if (words.size() > 3) Fail(at, "unexpected '" + words[3] + "' after the observation group");
  ObservationGroup group;
  group.name = Lower(words[0]);
  group.at = at;
  for (std::size_t k = 1; k < words.size(); ++k) {
    std::string number;
    if (k == 1 && NumberText(words[k], &number)) {
      group.gtarg = number;
    } else {
      group.covfile = words[k];
    }
  }
  return group;
}

Observation ObservationRow(const std::vector<std::string>& words, const Origin& at) {
  RequireWords(words, 4, at, "an observation");
  if (words.size() > 4) Fail(at, "unexpected '" + words[4] + "' after OBGNME");
  return Observation{Lower(words[0]), RequireNumber(words[1], at, "OBSVAL"),
                     RequireNumber(words[2], at, "WEIGHT"), Lower(words[3]), at};
}

FilePair FilePairRow(const std::vector<std::string>& words, const Origin& at, const char* what) {
  RequireWords(words, 2, at, what);
  if (words.size() > 2) Fail(at, "unexpected '" + words[2] + "' after the file pair");
  return FilePair{words[0], words[1], at};
}

std::size_t PriorEquation(const std::vector<std::string>& words, std::size_t first,
                          const Origin& at, PriorItem* item) {
  std::size_t k = first;
  double sign = 1.0;
  while (true) {
    if (k + 2 >= words.size()) Fail(at, "the prior equation ends before its '='");
    const double factor = RequireValue(words[k], at, "a prior factor");
    if (words[k + 1] != "*") Fail(at, "'" + words[k + 1] + "' stands where '*' should follow a prior factor");
    item->terms.push_back(Term(sign * factor, words[k + 2], at));
    k += 3;
    if (k >= words.size()) Fail(at, "the prior equation ends before its '='");
    if (words[k] == "=") break;
    if (words[k] != "+" && words[k] != "-") Fail(at, "'" + words[k] + "' stands where '+', '-' or '=' should follow a prior term");
    sign = words[k] == "-" ? -1.0 : 1.0;
    ++k;
  }
  if (k + 1 >= words.size()) Fail(at, "the prior equation has no value after '='");
  item->pival = RequireNumber(words[k + 1], at, "PIVAL");
  return k + 2;
}

PriorItem PriorRow(const std::vector<std::string>& words, const Origin& at) {
  PriorItem item;
  item.at = at;
  if (words.empty()) Fail(at, "an empty prior-information item");
  item.label = Lower(words[0]);
  const std::size_t k = PriorEquation(words, 1, at, &item);
  if (k + 2 != words.size()) {
    Fail(at, "the prior item " + item.label + " needs PIVAL, WEIGHT and OBGNME after '='");
  }
  item.weight = RequireNumber(words[k], at, "the prior WEIGHT");
  item.group = Lower(words[k + 1]);
  return item;
}

}  // namespace pst
