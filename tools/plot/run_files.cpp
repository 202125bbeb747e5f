#include "run_files.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

#include "plot_text.h"

namespace fs = std::filesystem;

namespace tarne_plot {

namespace {

// Parses words[first..] as exactly `count` numbers.
bool ParseNumbers(const std::vector<std::string>& words, std::size_t first, std::size_t count,
                  std::vector<double>* values, std::string* bad_word) {
  values->clear();
  if (words.size() < first || words.size() - first != count) return false;
  for (std::size_t i = first; i < words.size(); ++i) {
    double value = 0.0;
    if (!ParseNumber(words[i], &value)) {
      *bad_word = words[i];
      return false;
    }
    values->push_back(value);
  }
  return true;
}

std::string CountReason(const std::string& what, std::size_t expected, std::size_t found) {
  return "expected " + std::to_string(expected) + " " + what + ", found " +
         std::to_string(found);
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The words of a model-file line before a word that begins with '#'.
std::vector<std::string> WordsBeforeComment(const std::string& line) {
  std::vector<std::string> words;
  for (const std::string& word : SplitWords(line)) {
    if (word[0] == '#') break;
    words.push_back(word);
  }
  return words;
}

bool IsBlankOrComment(const std::string& line) {
  const std::vector<std::string> words = SplitWords(line);
  return words.empty() || words[0][0] == '#';
}

}  // namespace

std::vector<std::string> FindMonteCarloLogs(const std::string& directory) {
  std::vector<std::pair<long, std::string>> found;
  std::error_code code;
  for (fs::directory_iterator it(directory, code), end; !code && it != end; it.increment(code)) {
    const std::string name = it->path().filename().string();
    const std::string prefix = "log_file_p", suffix = ".log";
    if (name.size() <= prefix.size() + suffix.size() || name.rfind(prefix, 0) != 0 ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
      continue;
    long partition = 0;
    if (!ParseInteger(name.substr(prefix.size(), name.size() - prefix.size() - suffix.size()),
                      &partition))
      continue;
    found.emplace_back(partition, it->path().string());
  }
  std::sort(found.begin(), found.end());
  std::vector<std::string> paths;
  for (const auto& entry : found) paths.push_back(entry.second);
  return paths;
}

bool ReadMonteCarloLogs(const std::vector<std::string>& paths, SampleLog* log,
                        std::string* error) {
  log->names.clear();
  log->samples.clear();
  for (const std::string& path : paths) {
    std::vector<std::string> lines;
    if (!ReadLines(path, &lines, error)) return false;
    if (lines.empty()) {
      *error = FileError("read", path, 0, "the file is empty: no header and no samples");
      return false;
    }
    std::vector<std::string> header = SplitTabs(lines[0]);
    if (header.empty() || header[0].rfind("Cost", 0) != 0) {
      *error = FileError("read", path, 1, "the header does not begin with \"Cost\"");
      return false;
    }
    header.erase(header.begin());
    if (path == paths.front()) {
      log->names = header;
    } else if (header != log->names) {
      *error = FileError("read", path, 1, "its parameter columns differ from " + paths.front());
      return false;
    }
    const std::size_t n = header.size();
    // The partition number of "log_file_p<N>.log"; 0 for a log of any other name.
    const std::string file = fs::path(path).filename().string();
    long partition = 0;
    if (file.size() > 14) ParseInteger(file.substr(10, file.size() - 14), &partition);
    std::size_t count = 0;
    for (std::size_t i = 1; i < lines.size(); ++i) {
      if (lines[i].empty()) continue;
      std::vector<std::string> fields = SplitTabs(lines[i]);
      std::vector<double> numbers;
      std::string bad;
      if (!ParseNumbers(fields, 0, n + 1, &numbers, &bad)) {
        *error = FileError("read", path, static_cast<long>(i + 1),
                           bad.empty() ? CountReason("tab-separated numbers", n + 1, fields.size())
                                       : "\"" + bad + "\" is not a number");
        return false;
      }
      Sample sample;
      sample.source = partition;
      sample.objective = numbers[0];
      sample.values.assign(numbers.begin() + 1, numbers.end());
      log->samples.push_back(sample);
      ++count;
    }
    if (count == 0) {
      *error = FileError("read", path, 0, "no samples after the header line");
      return false;
    }
  }
  return true;
}

bool ReadMonteCarloBest(const std::string& path, std::size_t n, BestSet* best,
                        std::string* error) {
  std::vector<std::string> lines;
  if (!ReadLines(path, &lines, error)) return false;
  if (lines.empty() || SplitWords(lines[0]).empty()) {
    *error = FileError("read", path, 0, "the file is empty");
    return false;
  }
  std::vector<std::string> words = SplitWords(lines[0]);
  std::string objective = words[0];
  if (objective.empty() || objective.back() != ':') {
    *error = FileError("read", path, 1, "the objective value is not followed by ':'");
    return false;
  }
  objective.pop_back();
  std::string bad;
  if (!ParseNumber(objective, &best->objective)) {
    *error = FileError("read", path, 1, "\"" + objective + "\" is not a number");
    return false;
  }
  if (!ParseNumbers(words, 1, n, &best->values, &bad)) {
    *error = FileError("read", path, 1,
                       bad.empty() ? CountReason("parameter values", n, words.size() - 1)
                                   : "\"" + bad + "\" is not a number");
    return false;
  }
  best->has_objective = true;
  return true;
}

bool ReadSceLog(const std::string& path, SampleLog* log, std::string* error) {
  log->names.clear();
  log->samples.clear();
  std::vector<std::string> lines;
  if (!ReadLines(path, &lines, error)) return false;
  if (lines.empty()) {
    *error = FileError("read", path, 0, "the file is empty: no header and no evaluations");
    return false;
  }
  if (lines[0].rfind("Sim No.", 0) != 0) {
    *error = FileError("read", path, 1, "the header does not begin with \"Sim No.\"");
    return false;
  }
  std::size_t n = 0;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    if (lines[i].empty()) continue;
    const std::vector<std::string> words = SplitWords(lines[i]);
    const long line = static_cast<long>(i + 1);
    long number = 0;
    std::vector<double> head;
    std::string bad;
    if (words.size() < 4 || !ParseInteger(words[0], &number) || words[3] != ":" ||
        !ParseNumbers(std::vector<std::string>(words.begin() + 1, words.begin() + 3), 0, 2,
                      &head, &bad)) {
      *error = FileError("read", path, line,
                         "expected \"<number> <cost> <minimum cost> : <parameter values>\"");
      return false;
    }
    if (log->samples.empty()) n = words.size() - 4;
    Sample sample;
    if (!ParseNumbers(words, 4, n, &sample.values, &bad)) {
      *error = FileError("read", path, line,
                         bad.empty() ? CountReason("parameter values", n, words.size() - 4)
                                     : "\"" + bad + "\" is not a number");
      return false;
    }
    sample.source = number;
    sample.objective = head[0];
    sample.best_so_far = head[1];
    log->samples.push_back(sample);
  }
  if (log->samples.empty()) {
    *error = FileError("read", path, 0, "no evaluations after the header line");
    return false;
  }
  return true;
}

bool ReadSceBest(const std::string& path, std::size_t n, BestSet* best, std::string* error) {
  std::vector<std::string> lines;
  if (!ReadLines(path, &lines, error)) return false;
  if (lines.empty() || lines[0].rfind("The best results of the SCE calibration", 0) != 0) {
    *error = FileError("read", path, 1, "the first line is not the SCE result header");
    return false;
  }
  best->values.clear();
  best->has_objective = false;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const std::vector<std::string> words = SplitWords(lines[i]);
    if (words.empty()) continue;
    double value = 0.0;
    if (words.size() != 1 || !ParseNumber(words[0], &value)) {
      *error = FileError("read", path, static_cast<long>(i + 1),
                         "expected one parameter value");
      return false;
    }
    best->values.push_back(value);
  }
  if (best->values.size() != n) {
    *error = FileError("read", path, 0, CountReason("parameter values", n, best->values.size()));
    return false;
  }
  return true;
}

bool ReadSceFinalObjective(const std::string& path, double* objective, std::string* error) {
  std::vector<std::string> lines;
  if (!ReadLines(path, &lines, error)) return false;
  for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
    if (lines[i].find("PRINT THE FINAL PARAMETER ESTIMATE") == std::string::npos) continue;
    const std::vector<std::string> words = SplitWords(lines[i + 1]);
    if (!words.empty() && ParseNumber(words[0], objective)) return true;
    *error = FileError("read", path, static_cast<long>(i + 2), "no final objective value");
    return false;
  }
  *error = FileError("read", path, 0, "no final parameter estimate (the search has not ended)");
  return false;
}

bool ReadCalibrationInput(const std::string& path, CalibrationInput* input, std::string* error) {
  std::vector<std::string> lines;
  if (!ReadLines(path, &lines, error)) return false;
  if (lines.size() < 4) {
    *error = FileError("read", path, 0, "fewer than four lines");
    return false;
  }
  for (int i = 0; i < 3; ++i) {
    if (SplitWords(lines[i]).empty()) {
      *error = FileError("read", path, i + 1, "an empty line where a file name belongs");
      return false;
    }
  }
  input->path = path;
  input->project = SplitWords(lines[0])[0];
  input->list = SplitWords(lines[1])[0];
  input->observations = SplitWords(lines[2])[0];
  // The fourth line tells the two apart: one count in a Monte Carlo input, the seven numbers
  // of the first settings record in an SCE input.
  std::vector<std::string> words = SplitWords(lines[3]);
  std::size_t numbers = 0;
  while (numbers < words.size() && words[numbers][0] != '#') {
    double value = 0.0;
    if (!ParseNumber(words[numbers], &value)) break;
    ++numbers;
  }
  long count = 0;
  if (numbers == 1 && ParseInteger(words[0], &count) && count > 0 &&
      lines.size() >= 4 + static_cast<std::size_t>(count)) {
    input->kind = CalibrationInput::Kind::kMonteCarlo;
    // Every parameter line begins with its lower bound.
    for (std::size_t i = 4; i < 4 + static_cast<std::size_t>(count); ++i) {
      const std::vector<std::string> bounds = SplitWords(lines[i]);
      double bound = 0.0;
      if (bounds.empty() || !ParseNumber(bounds[0], &bound)) {
        *error = FileError("read", path, static_cast<long>(i + 1), "expected a lower bound");
        return false;
      }
    }
  } else if (numbers >= 7 && ParseInteger(words[6], &count) && count > 0) {
    input->kind = CalibrationInput::Kind::kSce;
  } else {
    *error = FileError("read", path, 4, "neither a Monte Carlo nor an SCE input file");
    return false;
  }
  input->parameter_count = static_cast<std::size_t>(count);
  return true;
}

bool ReadReplacementList(const std::string& path, ReplacementList* list, std::string* error) {
  std::vector<std::string> lines;
  if (!ReadLines(path, &lines, error)) return false;
  list->names.clear();
  list->formats.clear();
  long count = -1;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::vector<std::string> words = SplitWords(lines[i]);
    if (words.empty()) continue;
    const long line = static_cast<long>(i + 1);
    if (count < 0) {
      if (!ParseInteger(words[0], &count) || count < 0) {
        *error = FileError("read", path, line, "the first line is not a count of names");
        return false;
      }
      continue;
    }
    const std::string& field = words[0];
    if (field.size() < 3 || field.front() != '[' || field.back() != ']' || words.size() < 2) {
      *error = FileError("read", path, line, "expected [name] \"format\"");
      return false;
    }
    std::string format = lines[i].substr(lines[i].find(field) + field.size());
    const std::size_t open = format.find('"'), close = format.rfind('"');
    if (open == std::string::npos || close == open) {
      *error = FileError("read", path, line, "the format is not quoted");
      return false;
    }
    list->names.push_back(field.substr(1, field.size() - 2));
    list->formats.push_back(format.substr(open + 1, close - open - 1));
  }
  if (count < 0 || list->names.size() != static_cast<std::size_t>(count)) {
    *error = FileError("read", path, 0,
                       count < 0 ? "the file is empty"
                                 : CountReason("names", static_cast<std::size_t>(count),
                                               list->names.size()));
    return false;
  }
  return true;
}

bool ReadFirstValueLine(const std::string& path, std::vector<double>* values,
                        std::string* error) {
  std::vector<std::string> lines;
  if (!ReadLines(path, &lines, error)) return false;
  const std::vector<std::string> words = lines.empty() ? std::vector<std::string>{}
                                                       : SplitWords(lines[0]);
  std::string bad;
  if (!ParseNumbers(words, 0, words.size(), values, &bad)) {
    *error = FileError("read", path, 1, "\"" + bad + "\" is not a number");
    return false;
  }
  return true;
}

const ProjectFile::Entry* ProjectFile::Find(const std::string& keyword) const {
  for (const Entry& entry : entries)
    if (entry.keyword == keyword) return &entry;
  return nullptr;
}

bool ReadProjectFile(const std::string& path, ProjectFile* project, std::string* error) {
  project->path = path;
  project->kind.clear();
  project->entries.clear();
  if (!ReadLines(path, &project->lines, error)) return false;
  for (std::size_t i = 0; i < project->lines.size(); ++i) {
    std::vector<std::string> words = WordsBeforeComment(project->lines[i]);
    if (words.empty()) continue;
    ProjectFile::Entry entry;
    entry.keyword = words[0];
    entry.values.assign(words.begin() + 1, words.end());
    entry.line = i;
    if (entry.keyword == "kind" && !entry.values.empty()) project->kind = entry.values[0];
    project->entries.push_back(entry);
  }
  if (project->kind.empty()) {
    *error = FileError("read", path, 0, "it names no model kind");
    return false;
  }
  return true;
}

std::string ModelParameterOf(const ProjectFile& project, const std::string& replacement_name) {
  const std::string field = "[" + Lower(replacement_name) + "]";
  for (const ProjectFile::Entry& entry : project.entries) {
    if (entry.keyword == "parameter" && entry.values.size() == 2 &&
        Lower(entry.values[1]) == field)
      return entry.values[0];
  }
  return "";
}

std::string HydroParameterUnit(const std::string& model_parameter) {
  const std::string name = Lower(model_parameter);
  if (name == "soil_capacity") return "mm";
  if (name == "fast_k" || name == "slow_k") return "h";
  if (name == "velocity") return "m/s";
  if (name == "shape" || name == "split") return "-";
  return "";
}

bool ReadNumberTable(const std::string& path, std::size_t columns, Table* table,
                     std::string* error) {
  std::vector<std::string> lines;
  if (!ReadLines(path, &lines, error)) return false;
  table->rows.clear();
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (IsBlankOrComment(lines[i])) continue;
    const std::vector<std::string> words = WordsBeforeComment(lines[i]);
    std::vector<double> row;
    std::string bad;
    if (!ParseNumbers(words, 0, columns, &row, &bad)) {
      *error = FileError("read", path, static_cast<long>(i + 1),
                         bad.empty() ? CountReason("numbers", columns, words.size())
                                     : "\"" + bad + "\" is not a number");
      return false;
    }
    table->rows.push_back(row);
  }
  return true;
}

}  // namespace tarne_plot
