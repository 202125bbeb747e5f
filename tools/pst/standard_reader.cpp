#include "standard_reader.h"

#include <algorithm>
#include <functional>
#include <set>

#include "csv_table.h"
#include "pst_rows.h"
#include "pst_text.h"

namespace pst {

namespace {

struct Section {
  std::string name;       // lower case, without "*" and the layout word
  bool external = false;  // "external": the lines name CSV files
  bool keyword = false;   // "keyword": "name value" lines
  Origin at;
  std::vector<std::pair<std::vector<std::string>, Origin>> rows;  // words of each line
  std::vector<std::pair<std::string, Origin>> texts;              // each line's text
};

const char* const kSkippedSections[] = {"sensitivity reuse", "automatic user intervention",
                                        "svd assist",        "predictive analysis",
                                        "pareto",            "derivatives command line"};

// "++name(value) name2(value2)" options of another engine, kept under "++name".
void ReadPlusLine(const std::string& text, const Origin& at, StandardProblem* problem) {
  std::string rest = Trim(text.substr(2));
  while (!rest.empty()) {
    const std::size_t open = rest.find('(');
    const std::size_t close = rest.find(')', open == std::string::npos ? 0 : open);
    if (open == std::string::npos || close == std::string::npos) {
      Fail(at, "the option '" + rest + "' is not written name(value)");
    }
    const std::string name = Lower(Trim(rest.substr(0, open)));
    problem->settings["++" + name] = Setting{rest.substr(open + 1, close - open - 1), at};
    rest = Trim(rest.substr(close + 1));
  }
}

// Splits the file into sections; the first line is the "pcf" line.
std::vector<Section> SplitSections(const std::vector<TextLine>& lines, const std::string& path,
                                   StandardProblem* problem) {
  std::vector<Section> sections;
  bool first = true;
  for (const TextLine& line : lines) {
    const Origin at{path, line.number};
    std::string text = line.text;
    const std::size_t comment = text.find('#');
    if (comment != std::string::npos) text.erase(comment);
    text = Trim(text);
    if (text.empty()) continue;
    if (first) {
      const std::vector<std::string> words = Words(Lower(text));
      if (words[0] != "pcf") Fail(at, "a PEST control file begins with 'pcf', not '" + words[0] + "'");
      if (words.size() > 1) problem->version = words[1] == "version=2" ? 2 : words[1] == "version=1" ? 1 : -1;
      if (words.size() > 2 || problem->version < 0) Fail(at, "unknown layout '" + text + "'");
      first = false;
      continue;
    }
    if (text.compare(0, 2, "++") == 0) {
      ReadPlusLine(text, at, problem);
    } else if (text[0] == '*') {
      Section section;
      std::vector<std::string> words = Words(Lower(text.substr(1)));
      if (!words.empty() && words.back() == "external") section.external = true;
      if (!words.empty() && words.back() == "keyword") section.keyword = true;
      if (section.external || section.keyword) words.pop_back();
      for (const std::string& word : words) section.name += (section.name.empty() ? "" : " ") + word;
      section.at = at;
      sections.push_back(section);
    } else if (sections.empty()) {
      Fail(at, "'" + Words(text)[0] + "' stands before the first section");
    } else if (text[0] == '&' && !sections.back().rows.empty()) {
      // A prior-information item continued on the next line.
      for (const std::string& word : Words(text.substr(1))) sections.back().rows.back().first.push_back(word);
    } else {
      sections.back().rows.push_back({Words(text), at});
      sections.back().texts.push_back({text, at});
    }
  }
  if (first) Fail({path, 0}, "the file is empty");
  return sections;
}

void ReadPositional(const Section& section, PositionalSection kind, StandardProblem* problem) {
  const int needed = PositionalLineCount(kind);
  if (static_cast<int>(section.rows.size()) != needed) {
    Fail(section.at, "the section '* " + section.name + "' holds " +
                         std::to_string(section.rows.size()) + " lines; " +
                         std::to_string(needed) + " are needed");
  }
  for (int k = 0; k < needed; ++k) {
    const auto& row = section.rows[static_cast<std::size_t>(k)];
    ReadPositionalLine(kind, k, row.first, row.second, problem);
  }
}

using Rows = std::vector<std::pair<std::vector<std::string>, Origin>>;
// The words of one CSV row as the line of version 1 would hold them (appended to rows).
using CsvRowWords = std::function<void(const CsvTable&, std::size_t, const Origin&, Rows*)>;

// The rows of a section: the words of its lines or, when it is external, of the rows of the
// CSV files its lines name (relative to the control file), whose columns other than used
// are reported.
Rows SectionRows(const Section& section, const std::string& directory,
                 const std::vector<std::string>& required, const std::vector<std::string>& used,
                 const CsvRowWords& row_words, StandardProblem* problem) {
  if (!section.external) return section.rows;
  Rows rows;
  for (const auto& line : section.rows) {
    if (line.first.size() > 1) {
      Fail(line.second, "unexpected '" + line.first[1] +
                            "' after the file name: external files are read as comma-separated");
    }
    const CsvTable table = ReadCsv(directory + line.first[0]);
    table.RequireColumns(required);
    for (const std::string& column : table.OtherColumns(used)) {
      problem->extra_columns.push_back({column, Origin{table.file, 1}});
    }
    for (std::size_t r = 0; r < table.rows.size(); ++r) {
      row_words(table, r, Origin{table.file, table.row_lines[r]}, &rows);
    }
  }
  return rows;
}

// A CSV row whose columns are the words of the line, in order, with defaults for empty or
// missing optional columns; the optional trailing columns are added only when given.
CsvRowWords ColumnsInOrder(std::vector<std::pair<const char*, const char*>> columns,
                           std::vector<const char*> trailing = {}) {
  return [columns, trailing](const CsvTable& t, std::size_t r, const Origin& at, Rows* rows) {
    std::vector<std::string> words;
    for (const auto& column : columns) {
      words.push_back(t.Field(r, column.first, column.second));
      if (words.back().empty()) Fail(at, std::string("the row has no value in column '") + column.first + "'");
    }
    for (const char* column : trailing) {
      if (!t.Field(r, column).empty()) words.push_back(t.Field(r, column));
    }
    rows->push_back({words, at});
  };
}

void ReadParameterGroups(const Section& section, const std::string& directory,
                         StandardProblem* problem) {
  const ParameterGroup standard;
  const CsvRowWords words = ColumnsInOrder(
      {{"pargpnme", ""}, {"inctyp", standard.inctyp.c_str()}, {"derinc", standard.derinc.c_str()},
       {"derinclb", standard.derinclb.c_str()}, {"forcen", standard.forcen.c_str()},
       {"derincmul", standard.derincmul.c_str()}, {"dermthd", standard.dermthd.c_str()}},
      {"splitthresh", "splitreldiff", "splitaction"});
  const std::vector<std::string> used = {"pargpnme", "inctyp", "derinc", "derinclb", "forcen",
                                         "derincmul", "dermthd", "splitthresh", "splitreldiff",
                                         "splitaction"};
  for (const auto& row : SectionRows(section, directory, {"pargpnme"}, used, words, problem)) {
    problem->groups.push_back(ParameterGroupRow(row.first, row.second));
  }
}

// Parameter lines, then tie lines "name parent"; a CSV row of a tied parameter makes both.
void ReadParameters(const Section& section, const std::string& directory,
                    StandardProblem* problem) {
  const std::vector<std::string> required = {"parnme", "partrans", "parval1", "parlbnd",
                                             "parubnd", "pargp"};
  std::vector<std::string> used = required;
  for (const char* optional : {"parchglim", "scale", "offset", "dercom", "partied"}) used.push_back(optional);
  const CsvRowWords line = ColumnsInOrder(
      {{"parnme", ""}, {"partrans", ""}, {"parchglim", "factor"}, {"parval1", ""},
       {"parlbnd", ""}, {"parubnd", ""}, {"pargp", ""}, {"scale", "1.0"}, {"offset", "0.0"},
       {"dercom", "1"}});
  Rows ties;
  const CsvRowWords words = [&line, &ties](const CsvTable& t, std::size_t r, const Origin& at,
                                           Rows* rows) {
    line(t, r, at, rows);
    if (Lower(t.Field(r, "partrans")) == "tied") ties.push_back({{t.Field(r, "parnme"), t.Field(r, "partied")}, at});
  };
  Rows rows = SectionRows(section, directory, required, used, words, problem);
  rows.insert(rows.end(), ties.begin(), ties.end());
  for (const auto& row : rows) {
    if (row.first.size() == 2) {
      TieRow(row.first, row.second, problem);
    } else {
      problem->parameters.push_back(ParameterRow(row.first, row.second));
    }
  }
}

void ReadObservationGroups(const Section& section, const std::string& directory,
                           StandardProblem* problem) {
  const CsvRowWords words = ColumnsInOrder({{"obgnme", ""}}, {"gtarg", "covfile"});
  for (const auto& row : SectionRows(section, directory, {"obgnme"},
                                     {"obgnme", "gtarg", "covfile"}, words, problem)) {
    problem->observation_groups.push_back(ObservationGroupRow(row.first, row.second));
  }
}

void ReadObservations(const Section& section, const std::string& directory,
                      StandardProblem* problem) {
  const std::vector<std::string> columns = {"obsnme", "obsval", "weight", "obgnme"};
  const CsvRowWords words = ColumnsInOrder({{"obsnme", ""}, {"obsval", ""}, {"weight", ""}, {"obgnme", ""}});
  for (const auto& row : SectionRows(section, directory, columns, columns, words, problem)) {
    problem->observations.push_back(ObservationRow(row.first, row.second));
  }
}

void ReadFilePairs(const Section& section, const std::string& directory,
                   std::vector<FilePair>* pairs, const char* what, StandardProblem* problem) {
  const std::vector<std::string> columns = {"pest_file", "model_file"};
  const CsvRowWords words = ColumnsInOrder({{"pest_file", ""}, {"model_file", ""}});
  for (const auto& row : SectionRows(section, directory, columns, columns, words, problem)) {
    pairs->push_back(FilePairRow(row.first, row.second, what));
  }
}

// A CSV row of prior information holds the equation in one field.
void PriorWords(const CsvTable& t, std::size_t r, const Origin& at, Rows* rows) {
  std::vector<std::string> words = {t.Field(r, "pilbl")};
  for (const std::string& word : Words(t.Field(r, "equation"))) words.push_back(word);
  words.push_back(t.Field(r, "weight"));
  words.push_back(t.Field(r, "obgnme"));
  rows->push_back({words, at});
}

void ReadPriors(const Section& section, const std::string& directory, StandardProblem* problem) {
  const std::vector<std::string> columns = {"pilbl", "equation", "weight", "obgnme"};
  for (const auto& row : SectionRows(section, directory, columns, columns, PriorWords, problem)) {
    problem->priors.push_back(PriorRow(row.first, row.second));
  }
}

// The model input/output section of version 1: NTPLFLE template pairs, then the instruction
// pairs.
void ReadModelFiles(const Section& section, StandardProblem* problem) {
  const Setting* count = problem->Find("NTPLFLE");
  if (count == nullptr) Fail(section.at, "the model input/output section comes without NTPLFLE");
  const long templates = RequireInteger(count->value, count->at, "NTPLFLE");
  for (std::size_t k = 0; k < section.rows.size(); ++k) {
    const auto& row = section.rows[k];
    if (static_cast<long>(k) < templates) {
      problem->templates.push_back(FilePairRow(row.first, row.second, "a template pair"));
    } else {
      problem->instructions.push_back(FilePairRow(row.first, row.second, "an instruction pair"));
    }
  }
}

void ReadSection(const Section& section, const std::string& directory, StandardProblem* problem) {
  const std::string& name = section.name;
  if (section.keyword && name != "control data") Fail(section.at, "only the control data section is read as keywords");
  if (section.external && (name == "control data" || name == "model command line" ||
                           name == "model input/output")) {
    Fail(section.at, "the section '* " + name + "' cannot be external");
  }
  if (name == "control data") {
    if (section.keyword || problem->version == 2) {
      for (const auto& row : section.rows) ReadKeywordLine(row.first, row.second, problem);
    } else {
      ReadPositional(section, PositionalSection::kControlData, problem);
    }
  } else if (name == "singular value decomposition") {
    ReadPositional(section, PositionalSection::kSingularValues, problem);
    problem->has_svd_section = true;
  } else if (name == "lsqr") {
    ReadPositional(section, PositionalSection::kLsqr, problem);
  } else if (name == "regularisation" || name == "regularization") {
    ReadPositional(section, PositionalSection::kRegularisation, problem);
    problem->has_regularisation_section = true;
  } else if (name == "parameter groups") {
    ReadParameterGroups(section, directory, problem);
  } else if (name == "parameter data") {
    ReadParameters(section, directory, problem);
  } else if (name == "observation groups") {
    ReadObservationGroups(section, directory, problem);
  } else if (name == "observation data") {
    ReadObservations(section, directory, problem);
  } else if (name == "model command line") {
    for (const auto& text : section.texts) problem->commands.push_back(Setting{text.first, text.second});
  } else if (name == "model input/output") {
    ReadModelFiles(section, problem);
  } else if (name == "model input") {
    ReadFilePairs(section, directory, &problem->templates, "a template pair", problem);
  } else if (name == "model output") {
    ReadFilePairs(section, directory, &problem->instructions, "an instruction pair", problem);
  } else if (name == "prior information") {
    ReadPriors(section, directory, problem);
  } else if (std::find(std::begin(kSkippedSections), std::end(kSkippedSections), name) !=
             std::end(kSkippedSections)) {
    problem->skipped_sections.push_back({name, section.at});
  } else {
    Fail(section.at, "unknown section '* " + name + "'");
  }
}

// A version 1 file states its counts; each must match its section.
void CheckCount(const StandardProblem& problem, const char* name, std::size_t held,
                const char* what) {
  const Setting* count = problem.Find(name);
  if (count == nullptr) return;
  const long stated = RequireInteger(count->value, count->at, name);
  if (stated != static_cast<long>(held)) {
    Fail(count->at, std::string(name) + " is " + std::to_string(stated) + " but the file holds " +
                        std::to_string(held) + " " + what);
  }
}

void CheckCounts(const StandardProblem& p) {
  CheckCount(p, "NPAR", p.parameters.size(), "parameters");
  CheckCount(p, "NOBS", p.observations.size(), "observations");
  CheckCount(p, "NPARGP", p.groups.size(), "parameter groups");
  CheckCount(p, "NPRIOR", p.priors.size(), "prior-information items");
  CheckCount(p, "NOBSGP", p.observation_groups.size(), "observation groups");
  CheckCount(p, "NTPLFLE", p.templates.size(), "template files");
  CheckCount(p, "NINSFLE", p.instructions.size(), "instruction files");
}

}  // namespace

StandardProblem ReadStandardControlFile(const std::string& path) {
  StandardProblem problem;
  problem.control_file = Origin{path, 0};
  const std::vector<Section> sections = SplitSections(ReadLines(path), path, &problem);
  std::set<std::string> seen;
  for (const Section& section : sections) {
    if (!seen.insert(section.name).second) Fail(section.at, "the section '* " + section.name + "' is given twice");
    ReadSection(section, DirectoryOf(path), &problem);
  }
  if (seen.count("control data") == 0) Fail({path, 0}, "the file has no control data section");
  if (problem.version == 1) CheckCounts(problem);
  return problem;
}

}  // namespace pst
