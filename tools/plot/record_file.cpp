#include "record_file.h"

#include <cctype>

#include "plot_text.h"

namespace tarne_plot {

namespace {

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

std::string TrimLeft(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  return text.substr(i);
}

// The number after the last ':' or '=' of a line such as
// "Starting objective function value for this iteration\t: 3.867627E+00".
bool NumberAfterSeparator(const std::string& line, char separator, double* value) {
  const std::size_t at = line.rfind(separator);
  if (at == std::string::npos) return false;
  const std::vector<std::string> words = SplitWords(line.substr(at + 1));
  return words.size() == 1 && ParseNumber(words[0], value);
}

// Reads the observation table that follows "Observations ----->": two heading lines, then
// one row per observation up to the first empty line.
bool ReadObservationTable(const std::string& path, const std::vector<std::string>& lines,
                          std::size_t* index, EngineRun* run, std::string* error) {
  std::size_t i = *index + 1;
  while (i < lines.size() && !StartsWith(lines[i], "Observation ")) ++i;
  i += 2;  // the two heading lines
  for (; i < lines.size() && !SplitWords(lines[i]).empty(); ++i) {
    const std::vector<std::string> words = SplitWords(lines[i]);
    ObservationRow row;
    if (words.size() != 6 || !ParseNumber(words[1], &row.measured) ||
        !ParseNumber(words[2], &row.calculated) || !ParseNumber(words[3], &row.residual) ||
        !ParseNumber(words[4], &row.weight)) {
      *error = FileError("read", path, static_cast<long>(i + 1),
                         "expected an observation row: name, measured, calculated, residual, "
                         "weight, group");
      return false;
    }
    row.name = words[0];
    row.group = words[5];
    run->observations.push_back(row);
  }
  *index = i;
  return true;
}

}  // namespace

bool ReadRecordFile(const std::string& path, RecordFile* record, std::string* error) {
  record->path = path;
  record->runs.clear();
  std::vector<std::string> lines;
  if (!ReadLines(path, &lines, error)) return false;
  if (lines.empty()) {
    *error = FileError("read", path, 0, "the file is empty");
    return false;
  }
  EngineRun* run = nullptr;
  auto start_run = [&](std::size_t i) {
    record->runs.emplace_back();
    run = &record->runs.back();
    run->first_line = static_cast<long>(i + 1);
  };
  auto bad_number = [&](std::size_t i) {
    *error = FileError("read", path, static_cast<long>(i + 1), "the number cannot be read");
    return false;
  };
  bool in_results = false;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    const std::string text = TrimLeft(line);
    if (StartsWith(text, "INITIAL CONDITIONS:")) {
      start_run(i);
      in_results = false;
    } else if (text.find(".....RESTART.....") != std::string::npos) {
      // A restart continues the run whose iterations stand above it.
      if (run == nullptr || run->has_results) start_run(i);
    } else if (StartsWith(text, "OPTIMIZATION ITERATION NO.")) {
      if (run == nullptr || run->has_results) start_run(i);
      in_results = false;
      Iteration iteration;
      double number = 0.0;
      if (!NumberAfterSeparator(line, ':', &number)) return bad_number(i);
      iteration.number = static_cast<long>(number);
      run->iterations.push_back(iteration);
    } else if (run == nullptr) {
      continue;
    } else if (StartsWith(text, "Sum of squared weighted residuals = ") && !in_results &&
               run->iterations.empty() && !run->has_initial_phi) {
      if (!NumberAfterSeparator(line, '=', &run->initial_phi)) return bad_number(i);
      run->has_initial_phi = true;
    } else if (StartsWith(text, "Model Calls so far") && !run->iterations.empty()) {
      double calls = 0.0;
      if (!NumberAfterSeparator(line, ':', &calls)) return bad_number(i);
      run->iterations.back().model_calls = static_cast<long>(calls);
    } else if (StartsWith(text, "Starting objective function value for this iteration") &&
               !run->iterations.empty()) {
      if (!NumberAfterSeparator(line, ':', &run->iterations.back().starting_phi))
        return bad_number(i);
    } else if (StartsWith(text, "Lambda = ") && !run->iterations.empty()) {
      const std::vector<std::string> words = SplitWords(text);
      LambdaTrial trial;
      if (words.size() < 3 || !ParseNumber(words[2], &trial.lambda)) return bad_number(i);
      trial.phi = -1.0;  // until its phi line is read
      run->iterations.back().trials.push_back(trial);
    } else if (StartsWith(text, "Phi =") && !run->iterations.empty() &&
               !run->iterations.back().trials.empty()) {
      const std::vector<std::string> words = SplitWords(text);
      if (words.size() < 3 || !ParseNumber(words[2], &run->iterations.back().trials.back().phi))
        return bad_number(i);
    } else if ((StartsWith(text, "Optimization complete") ||
                StartsWith(text, "Optimisation complete")) && run->stop_message.empty()) {
      run->stop_message = text;
    } else if (text.find("OPTIMISATION RESULTS") != std::string::npos) {
      in_results = true;
      run->has_results = true;
    } else if (in_results && text.find("No optimisation iterations carried out") == 0) {
      run->no_iterations = true;
    } else if (in_results && StartsWith(text, "Observations ----->")) {
      if (!ReadObservationTable(path, lines, &i, run, error)) return false;
    } else if (in_results && StartsWith(text, "Sum of squared weighted residuals (ie phi)")) {
      if (!NumberAfterSeparator(line, ':', &run->final_phi)) return bad_number(i);
    }
  }
  if (record->runs.empty()) {
    *error = FileError("read", path, 0,
                       "no optimisation record in it (the run stopped before its first model "
                       "run)");
    return false;
  }
  // A lambda trial without its phi line was cut off by the end of the file.
  for (EngineRun& engine_run : record->runs)
    for (Iteration& iteration : engine_run.iterations)
      if (!iteration.trials.empty() && iteration.trials.back().phi < 0.0)
        iteration.trials.pop_back();
  return true;
}

bool ReadControlFileInfo(const std::string& path, ControlFileInfo* info, std::string* error) {
  std::vector<std::string> lines;
  if (!ReadLines(path, &lines, error)) return false;
  // The control data section is a stream of 40 words after the first two lines; the 8th and
  // 9th are the numbers of template and instruction files, the 40th the project file.
  std::vector<std::string> words;
  for (std::size_t i = 2; i < lines.size() && words.size() < 40; ++i) {
    for (const std::string& word : SplitWords(lines[i])) words.push_back(word);
  }
  long templates = 0, instructions = 0;
  if (words.size() < 40 || !ParseInteger(words[7], &templates) ||
      !ParseInteger(words[8], &instructions) || templates < 0 || instructions < 0) {
    *error = FileError("read", path, 0, "its control data section is incomplete");
    return false;
  }
  info->project = words[39];
  info->instruction_files.clear();
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (!StartsWith(lines[i], "* model input/output")) continue;
    std::vector<std::string> pairs;
    for (std::size_t k = i + 1; k < lines.size() && !StartsWith(lines[k], "*"); ++k)
      for (const std::string& word : SplitWords(lines[k])) pairs.push_back(word);
    const std::size_t needed = 2 * static_cast<std::size_t>(templates + instructions);
    if (pairs.size() < needed) {
      *error = FileError("read", path, static_cast<long>(i + 1),
                         "fewer model input/output files than the control data announce");
      return false;
    }
    for (std::size_t k = 2 * static_cast<std::size_t>(templates); k < needed; k += 2)
      info->instruction_files.emplace_back(pairs[k], pairs[k + 1]);
    return true;
  }
  *error = FileError("read", path, 0, "no \"* model input/output\" section");
  return false;
}

bool MapObservationLines(const std::string& path, std::map<std::string, std::size_t>* lines,
                         std::string* error) {
  std::vector<std::string> text;
  if (!ReadLines(path, &text, error)) return false;
  const std::vector<std::string> first = text.empty() ? std::vector<std::string>{}
                                                      : SplitWords(text[0]);
  if (first.size() != 2 || first[0] != "pif" || first[1].size() != 1) {
    *error = FileError("read", path, 1, "expected \"pif <marker character>\"");
    return false;
  }
  const char marker = first[1][0];
  lines->clear();
  long current = -1;  // before the first line of the output file
  for (std::size_t i = 1; i < text.size(); ++i) {
    for (const std::string& word : SplitWords(text[i])) {
      long advance = 0;
      const char open = word[0];
      if ((open == 'l' || open == 'L') && ParseInteger(word.substr(1), &advance) && advance > 0) {
        current += advance;
      } else if (word == "w") {
        continue;
      } else if (current >= 0 && (open == '!' || open == '[' || open == '(') &&
                 word.size() > 2) {
        const char close = open == '!' ? '!' : (open == '[' ? ']' : ')');
        const std::size_t end = word.find(close, 1);
        if (end == std::string::npos || end == 1) {
          *error = FileError("follow", path, static_cast<long>(i + 1),
                             "\"" + word + "\" is not a complete observation read");
          return false;
        }
        std::string name = word.substr(1, end - 1);
        if (name != "dum") (*lines)[name] = static_cast<std::size_t>(current);
      } else {
        const std::string what = open == marker ? "a marker" : "the instruction \"" + word + "\"";
        *error = FileError("follow", path, static_cast<long>(i + 1),
                           what + " places observations by the output's content; only line "
                           "advances (l<n>) and reads at the current line are followed");
        return false;
      }
    }
  }
  return true;
}

}  // namespace tarne_plot
