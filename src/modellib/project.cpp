#include "modellib/project.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "modellib/hydro_model.h"
#include "modellib/test_functions.h"
#include "modellib/text_util.h"

namespace tarne {

const char* const kHydroParameterNames[6] = {"soil_capacity", "shape",   "fast_k",
                                             "slow_k",        "split",   "velocity"};

namespace {

// Which model kinds accept a keyword.
enum KindMask { kAll = 7, kHydroOnly = 1, kFunctionOnly = 2, kExternalOnly = 4 };

int MaskOf(ModelKind kind) {
  switch (kind) {
    case ModelKind::kHydro: return kHydroOnly;
    case ModelKind::kFunction: return kFunctionOnly;
    case ModelKind::kExternal: return kExternalOnly;
    case ModelKind::kNone: break;
  }
  return 0;
}

const char* KindName(ModelKind kind) {
  switch (kind) {
    case ModelKind::kHydro: return "hydro";
    case ModelKind::kFunction: return "function";
    case ModelKind::kExternal: return "external";
    case ModelKind::kNone: break;
  }
  return "none";
}

struct Keyword {
  const char* name;
  int values;  // number of values; -1 = the rest of the line (at least one word)
  int kinds;
  bool repeats = false;  // may be given on several lines
};

const Keyword kKeywords[] = {
    {"kind", 1, kAll},          {"parameter", 2, kAll, true},   {"output", 1, kAll},
    {"replace", 1, kAll},       {"values", 1, kAll},            {"function", 1, kFunctionOnly},
    {"command", -1, kExternalOnly, true}, {"objective", 1, kExternalOnly},
    {"template", 2, kExternalOnly, true}, {"grid", 2, kHydroOnly},
    {"cell_size", 1, kHydroOnly},   {"time_step", 1, kHydroOnly},    {"forcing", 1, kHydroOnly},
    {"outlet", 2, kHydroOnly},      {"rain_gradient", 1, kHydroOnly},
    {"initial_soil", 1, kHydroOnly}, {"peak_weight", 1, kHydroOnly},
    {"volume_weight", 1, kHydroOnly},
};
constexpr std::size_t kKeywordCount = sizeof kKeywords / sizeof kKeywords[0];

// State of one reading: the project, where each keyword was seen, and the current line.
struct Reader {
  Project* project;
  long seen_at[kKeywordCount] = {};
  long line = 0;
  std::string reason;
};

bool Fail(Reader* reader, const std::string& reason) {
  reader->reason = reason;
  return false;
}

bool NumberValue(Reader* reader, const std::string& word, double low, double* out,
                 double high = HUGE_VAL) {
  if (!ParseDouble(word, out)) return Fail(reader, "'" + word + "' is not a number");
  if (*out < low) return Fail(reader, "value " + word + " is too small");
  if (*out > high) return Fail(reader, "value " + word + " is too large");
  return true;
}

bool CountValue(Reader* reader, const std::string& word, long* out) {
  if (!ParseLong(word, out) || *out < 1) {
    return Fail(reader, "'" + word + "' is not a whole number of at least 1");
  }
  return true;
}

// The grid's cell count bounds the memory of a run; the test divides so that it cannot
// overflow whatever counts were given.
bool GridValues(Reader* reader, const std::string& columns, const std::string& rows) {
  Project* p = reader->project;
  if (!CountValue(reader, columns, &p->grid_columns) || !CountValue(reader, rows, &p->grid_rows)) {
    return false;
  }
  if (p->grid_columns > kMaxHydroCells / p->grid_rows) {
    return Fail(reader, "the grid has more than " + std::to_string(kMaxHydroCells) + " cells");
  }
  return true;
}

bool SetKind(Reader* reader, const std::string& word) {
  Project* p = reader->project;
  if (word == "hydro") p->kind = ModelKind::kHydro;
  else if (word == "function") p->kind = ModelKind::kFunction;
  else if (word == "external") p->kind = ModelKind::kExternal;
  else return Fail(reader, "unknown model kind '" + word + "' (hydro, function or external)");
  return true;
}

bool AddParameter(Reader* reader, const std::string& name, const std::string& value) {
  Project* p = reader->project;
  if (name.find_first_of("[]") != std::string::npos) {
    return Fail(reader, "a parameter name may not contain brackets");
  }
  if (FindParameter(*p, name) >= 0) return Fail(reader, "parameter " + name + " given twice");
  p->parameters.push_back({name, value, reader->line});
  return true;
}

// Stores the values of one keyword line; words[0] is the keyword.
bool Apply(Reader* reader, const std::string& key, const std::vector<std::string>& words,
           const std::string& rest) {
  Project* p = reader->project;
  const std::string& v = words[1];
  if (key == "kind") return SetKind(reader, v);
  if (key == "parameter") return AddParameter(reader, v, words[2]);
  if (key == "output") p->output = v;
  else if (key == "replace") p->replace_list = v;
  else if (key == "values") p->value_file = v;
  else if (key == "function") p->function_name = v;
  else if (key == "command") p->commands.push_back({rest, reader->line});
  else if (key == "template") p->templates.push_back({v, words[2], reader->line});
  else if (key == "objective") p->objective_file = v;
  else if (key == "forcing") p->forcing = v;
  else if (key == "grid") return GridValues(reader, v, words[2]);
  else if (key == "outlet") return CountValue(reader, v, &p->outlet_column) &&
                                   CountValue(reader, words[2], &p->outlet_row);
  else if (key == "cell_size") return NumberValue(reader, v, 1e-9, &p->cell_size);
  else if (key == "time_step") return NumberValue(reader, v, 1e-9, &p->time_step);
  // Beyond +-2 the rain factor of the first or last row would be negative.
  else if (key == "rain_gradient") return NumberValue(reader, v, -2.0, &p->rain_gradient, 2.0);
  else if (key == "initial_soil") return NumberValue(reader, v, 0.0, &p->initial_soil);
  else if (key == "peak_weight") return NumberValue(reader, v, 0.0, &p->peak_weight);
  else if (key == "volume_weight") return NumberValue(reader, v, 0.0, &p->volume_weight);
  return true;
}

// The text of line after its first word (the keyword), without surrounding blanks.
std::string RestAfterKeyword(const std::string& line, const std::string& keyword) {
  std::size_t start = line.find(keyword) + keyword.size();
  std::size_t end = line.size();
  while (start < end && std::strchr(" \t", line[start]) != nullptr) ++start;
  while (end > start && std::strchr(" \t\r", line[end - 1]) != nullptr) --end;
  return line.substr(start, end - start);
}

bool ReadLine(Reader* reader, const std::string& line) {
  if (LineTooLong(line)) return Fail(reader, LineTooLongReason());
  const std::vector<std::string> words = SplitWords(line);
  if (words.empty()) return true;
  const std::string& key = words[0];
  std::size_t k = 0;
  while (k < kKeywordCount && key != kKeywords[k].name) ++k;
  if (k == kKeywordCount) return Fail(reader, "unknown keyword '" + key + "'");
  const Keyword& keyword = kKeywords[k];
  const std::size_t given = words.size() - 1;
  if (given == 0 || (keyword.values > 0 && given < static_cast<std::size_t>(keyword.values))) {
    return Fail(reader, "missing value after '" + key + "'");
  }
  if (keyword.values > 0 && given > static_cast<std::size_t>(keyword.values)) {
    return Fail(reader, "unexpected text after the value of '" + key + "'");
  }
  if (reader->seen_at[k] != 0 && !keyword.repeats) {
    return Fail(reader, "'" + key + "' given twice (first on line " +
                            std::to_string(reader->seen_at[k]) + ")");
  }
  reader->seen_at[k] = reader->line;
  reader->project->keyword_lines.emplace_back(key, reader->line);
  return Apply(reader, key, words, keyword.values < 0 ? RestAfterKeyword(line, key) : "");
}

// Line of the first keyword seen that the project's kind does not use, or 0.
long KeywordOutsideKind(const Reader& reader, std::string* key) {
  const int mask = MaskOf(reader.project->kind);
  for (std::size_t k = 0; k < kKeywordCount; ++k) {
    if (reader.seen_at[k] != 0 && (kKeywords[k].kinds & mask) == 0) {
      *key = kKeywords[k].name;
      return reader.seen_at[k];
    }
  }
  return 0;
}

// Compared as string views: with the names known at compile time, g++ misreads a strcmp of
// two constants of different lengths as one of a string against a shorter array.
long SeenAt(const Reader& reader, std::string_view name) {
  for (std::size_t k = 0; k < kKeywordCount; ++k) {
    if (name == kKeywords[k].name) return reader.seen_at[k];
  }
  return 0;
}

bool CheckFunctionProject(Reader* reader) {
  const Project& p = *reader->project;
  if (p.function_name.empty()) return Fail(reader, "a function project needs 'function'");
  reader->line = SeenAt(*reader, "function");
  const TestFunction* function = FindTestFunction(p.function_name);
  if (function == nullptr) {
    return Fail(reader, "unknown function '" + p.function_name + "' (" +
                            TestFunctionNames() + ")");
  }
  const long n = static_cast<long>(p.parameters.size());
  if (n < function->min_dimension || n > function->max_dimension) {
    return Fail(reader, p.function_name + " takes " + std::to_string(function->min_dimension) +
                            (function->max_dimension > function->min_dimension ? " or more" : "") +
                            " parameters, the project gives " + std::to_string(n));
  }
  return true;
}

bool CheckHydroProject(Reader* reader) {
  const Project& p = *reader->project;
  reader->line = 0;
  if (p.grid_columns == 0) return Fail(reader, "a hydro project needs 'grid'");
  if (p.forcing.empty()) return Fail(reader, "a hydro project needs 'forcing'");
  if (p.output.empty()) return Fail(reader, "a hydro project needs 'output'");
  if (p.outlet_column > p.grid_columns || p.outlet_row > p.grid_rows) {
    reader->line = SeenAt(*reader, "outlet");
    return Fail(reader, "the outlet lies outside the grid");
  }
  if (p.initial_soil > 1.0) {
    reader->line = SeenAt(*reader, "initial_soil");
    return Fail(reader, "initial_soil must lie between 0 and 1");
  }
  for (const ProjectParameter& parameter : p.parameters) {
    bool known = false;
    for (const char* name : kHydroParameterNames) known = known || ToLower(parameter.name) == name;
    if (!known) {
      reader->line = parameter.line;
      return Fail(reader, "the hydro model has no parameter '" + parameter.name + "'");
    }
  }
  for (const char* name : kHydroParameterNames) {
    if (FindParameter(p, name) < 0) return Fail(reader, std::string("parameter ") + name + " is missing");
  }
  return true;
}

bool CheckProject(Reader* reader) {
  const Project& p = *reader->project;
  reader->line = 0;
  if (p.kind == ModelKind::kNone) return Fail(reader, "the project names no model 'kind'");
  std::string key;
  reader->line = KeywordOutsideKind(*reader, &key);
  if (reader->line != 0) {
    return Fail(reader, "'" + key + "' is not used by a " + KindName(p.kind) + " model");
  }
  if (p.replace_list.empty() != p.value_file.empty()) {
    reader->line = SeenAt(*reader, p.replace_list.empty() ? "values" : "replace");
    return Fail(reader, "'replace' and 'values' must be given together");
  }
  if (p.kind == ModelKind::kFunction) return CheckFunctionProject(reader);
  if (p.kind == ModelKind::kHydro) return CheckHydroProject(reader);
  return true;
}

}  // namespace

long KeywordLine(const Project& project, const char* keyword) {
  for (const auto& entry : project.keyword_lines) {
    if (entry.first == keyword) return entry.second;
  }
  return 0;
}

void ReportUnopenedFile(const Project& project, const char* keyword, const std::string& path,
                        const std::string& reason) {
  ReportFileError("read", project.file, KeywordLine(project, keyword),
                  std::string("cannot open the ") + keyword + " file " + path + ": " + reason);
}

int FindParameter(const Project& project, const std::string& name) {
  const std::string lower = ToLower(name);
  for (std::size_t i = 0; i < project.parameters.size(); ++i) {
    if (ToLower(project.parameters[i].name) == lower) return static_cast<int>(i);
  }
  return -1;
}

int ReadProject(const std::string& path, Project* project) {
  *project = Project();
  project->file = path;
  std::string reason;
  std::FILE* file = OpenInputFile(path, "r", kMaxInputFileBytes, &reason);
  if (file == nullptr) {
    ReportFileError("open", path, 0, reason);
    return 1;
  }
  Reader reader;
  reader.project = project;
  std::string line;
  bool ok = true;
  while (ok && ReadTextLine(file, &line)) {
    ++reader.line;
    ok = ReadLine(&reader, line);
  }
  std::fclose(file);
  if (ok) ok = CheckProject(&reader);
  if (!ok) {
    ReportFileError("read", path, reader.line, reader.reason);
    return 1;
  }
  return 0;
}

}  // namespace tarne
