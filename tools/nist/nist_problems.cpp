#include "nist_problems.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace nist {

namespace {

constexpr double kPi = 3.14159265358979323846;

// The model functions, written as NIST states them; b[1..k], x[0] (x[0], x[1] for Nelson).
// Problems that share a formula but not their data still get a function each, so that every
// problem can be found by its name here.

double Bennett5(const double* b, const double* x) {
  return b[1] * std::pow(b[2] + x[0], -1.0 / b[3]);
}
double BoxBOD(const double* b, const double* x) { return b[1] * (1.0 - std::exp(-b[2] * x[0])); }
double Chwirut1(const double* b, const double* x) {
  return std::exp(-b[1] * x[0]) / (b[2] + b[3] * x[0]);
}
double Chwirut2(const double* b, const double* x) { return Chwirut1(b, x); }
double DanWood(const double* b, const double* x) { return b[1] * std::pow(x[0], b[2]); }
double Eckerle4(const double* b, const double* x) {
  const double z = (x[0] - b[3]) / b[2];
  return (b[1] / b[2]) * std::exp(-0.5 * z * z);
}
double ENSO(const double* b, const double* x) {
  const double t = 2.0 * kPi * x[0];
  return b[1] + b[2] * std::cos(t / 12.0) + b[3] * std::sin(t / 12.0) +
         b[5] * std::cos(t / b[4]) + b[6] * std::sin(t / b[4]) + b[8] * std::cos(t / b[7]) +
         b[9] * std::sin(t / b[7]);
}
double Gauss1(const double* b, const double* x) {
  const double u = x[0] - b[4];
  const double v = x[0] - b[7];
  return b[1] * std::exp(-b[2] * x[0]) + b[3] * std::exp(-u * u / (b[5] * b[5])) +
         b[6] * std::exp(-v * v / (b[8] * b[8]));
}
double Gauss2(const double* b, const double* x) { return Gauss1(b, x); }
double Gauss3(const double* b, const double* x) { return Gauss1(b, x); }
double Hahn1(const double* b, const double* x) {
  const double t = x[0];
  return (b[1] + b[2] * t + b[3] * t * t + b[4] * t * t * t) /
         (1.0 + b[5] * t + b[6] * t * t + b[7] * t * t * t);
}
double Kirby2(const double* b, const double* x) {
  const double t = x[0];
  return (b[1] + b[2] * t + b[3] * t * t) / (1.0 + b[4] * t + b[5] * t * t);
}
double Lanczos1(const double* b, const double* x) {
  return b[1] * std::exp(-b[2] * x[0]) + b[3] * std::exp(-b[4] * x[0]) +
         b[5] * std::exp(-b[6] * x[0]);
}
double Lanczos2(const double* b, const double* x) { return Lanczos1(b, x); }
double Lanczos3(const double* b, const double* x) { return Lanczos1(b, x); }
double MGH09(const double* b, const double* x) {
  const double t = x[0];
  return b[1] * (t * t + t * b[2]) / (t * t + t * b[3] + b[4]);
}
double MGH10(const double* b, const double* x) { return b[1] * std::exp(b[2] / (x[0] + b[3])); }
double MGH17(const double* b, const double* x) {
  return b[1] + b[2] * std::exp(-x[0] * b[4]) + b[3] * std::exp(-x[0] * b[5]);
}
double Misra1a(const double* b, const double* x) { return b[1] * (1.0 - std::exp(-b[2] * x[0])); }
double Misra1b(const double* b, const double* x) {
  return b[1] * (1.0 - std::pow(1.0 + b[2] * x[0] / 2.0, -2.0));
}
double Misra1c(const double* b, const double* x) {
  return b[1] * (1.0 - std::pow(1.0 + 2.0 * b[2] * x[0], -0.5));
}
double Misra1d(const double* b, const double* x) {
  return b[1] * b[2] * x[0] * std::pow(1.0 + b[2] * x[0], -1.0);
}
// Fits log(y); x[0] and x[1] are NIST's x1 and x2.
double Nelson(const double* b, const double* x) {
  return b[1] - b[2] * x[0] * std::exp(-b[3] * x[1]);
}
double Rat42(const double* b, const double* x) {
  return b[1] / (1.0 + std::exp(b[2] - b[3] * x[0]));
}
double Rat43(const double* b, const double* x) {
  return b[1] / std::pow(1.0 + std::exp(b[2] - b[3] * x[0]), 1.0 / b[4]);
}
// x - b4 is negative at every data point; atan keeps NIST's branch (atan2 would move it by pi).
double Roszman1(const double* b, const double* x) {
  return b[1] - b[2] * x[0] - std::atan(b[3] / (x[0] - b[4])) / kPi;
}
double Thurber(const double* b, const double* x) { return Hahn1(b, x); }

const std::vector<ProblemModel> kProblems = {
    // name, k, predictors, log response, parameters only, model
    {"Bennett5", 3, 1, false, false, Bennett5}, {"BoxBOD", 2, 1, false, false, BoxBOD},
    {"Chwirut1", 3, 1, false, false, Chwirut1}, {"Chwirut2", 3, 1, false, false, Chwirut2},
    {"DanWood", 2, 1, false, false, DanWood},   {"ENSO", 9, 1, false, false, ENSO},
    {"Eckerle4", 3, 1, false, false, Eckerle4}, {"Gauss1", 8, 1, false, false, Gauss1},
    {"Gauss2", 8, 1, false, false, Gauss2},     {"Gauss3", 8, 1, false, false, Gauss3},
    {"Hahn1", 7, 1, false, false, Hahn1},       {"Kirby2", 5, 1, false, false, Kirby2},
    {"Lanczos1", 6, 1, false, true, Lanczos1},  {"Lanczos2", 6, 1, false, false, Lanczos2},
    {"Lanczos3", 6, 1, false, false, Lanczos3}, {"MGH09", 4, 1, false, false, MGH09},
    {"MGH10", 3, 1, false, false, MGH10},       {"MGH17", 5, 1, false, false, MGH17},
    {"Misra1a", 2, 1, false, false, Misra1a},   {"Misra1b", 2, 1, false, false, Misra1b},
    {"Misra1c", 2, 1, false, false, Misra1c},   {"Misra1d", 2, 1, false, false, Misra1d},
    {"Nelson", 3, 2, true, false, Nelson},      {"Rat42", 3, 1, false, false, Rat42},
    {"Rat43", 4, 1, false, false, Rat43},       {"Roszman1", 4, 1, false, false, Roszman1},
    {"Thurber", 7, 1, false, false, Thurber},
};

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The whole of a word as a number; false for anything else, overflow included.
bool ParseNumber(const std::string& word, double& value) {
  if (word.empty()) return false;
  char* end = nullptr;
  errno = 0;
  value = std::strtod(word.c_str(), &end);
  return *end == '\0' && errno != ERANGE && std::isfinite(value);
}

std::vector<std::string> Words(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> words;
  std::string word;
  while (in >> word) words.push_back(word);
  return words;
}

bool StartsWith(const std::string& text, const char* prefix) {
  return text.compare(0, std::strlen(prefix), prefix) == 0;
}

// The number after the label on a line such as "Residual Sum of Squares:   1.2E-01".
bool LabelledNumber(const std::string& line, const char* label, double& value) {
  if (!StartsWith(line, label)) return false;
  const std::vector<std::string> words = Words(line.substr(std::strlen(label)));
  return !words.empty() && ParseNumber(words[0], value);
}

// A parameter line "  b3 =   0.02   0.010   1.05E-02  7.9E-04": index 3 and the four
// numbers (start 1, start 2, certified value, certified standard deviation).
bool ParameterLine(const std::string& line, int& index, std::vector<std::string>& numbers) {
  std::string text = line;
  text.erase(0, text.find_first_not_of(" \t"));
  if (text.size() < 2 || text[0] != 'b' || !std::isdigit(static_cast<unsigned char>(text[1]))) {
    return false;
  }
  const size_t equals = text.find('=');
  if (equals == std::string::npos) return false;
  index = std::atoi(text.c_str() + 1);
  numbers = Words(text.substr(equals + 1));
  return true;
}

bool Fail(std::string& error, const std::string& reason) {
  error = reason;
  return false;
}

// Reads the data rows that follow the last "Data:" line: the response, then the predictors.
bool ReadDataRows(const std::vector<std::string>& lines, size_t first, Dataset& d,
                  std::string& error) {
  const int columns = 1 + d.model->predictors;
  for (size_t i = first; i < lines.size(); ++i) {
    const std::vector<std::string> words = Words(lines[i]);
    if (words.empty()) continue;
    if (static_cast<int>(words.size()) != columns) {
      return Fail(error, "line " + std::to_string(i + 1) + ": a data row needs " +
                             std::to_string(columns) + " numbers");
    }
    double y = 0.0;
    if (!ParseNumber(words[0], y)) {
      return Fail(error, "line " + std::to_string(i + 1) + ": '" + words[0] + "' is not a number");
    }
    if (d.model->log_response && !(y > 0.0)) {
      return Fail(error, "line " + std::to_string(i + 1) + ": log(y) needs y > 0");
    }
    d.response_text.push_back(words[0]);
    d.response.push_back(d.model->log_response ? std::log(y) : y);
    for (int c = 1; c < columns; ++c) {
      double x = 0.0;
      if (!ParseNumber(words[c], x)) {
        return Fail(error,
                    "line " + std::to_string(i + 1) + ": '" + words[c] + "' is not a number");
      }
      d.predictor_text.push_back(words[c]);
      d.predictor.push_back(x);
    }
  }
  return true;
}

}  // namespace

const std::vector<ProblemModel>& AllProblems() { return kProblems; }

const ProblemModel* FindProblem(const std::string& name) {
  const std::string wanted = Lower(name);
  for (const ProblemModel& problem : kProblems) {
    if (Lower(problem.name) == wanted) return &problem;
  }
  return nullptr;
}

bool ReadDataset(const std::string& path, Dataset& d, std::string& error) {
  d = Dataset();
  d.model = FindProblem(std::filesystem::path(path).stem().string());
  if (d.model == nullptr) return Fail(error, path + ": not one of the 27 NIST StRD problems");
  std::ifstream in(path, std::ios::binary);
  if (!in) return Fail(error, "cannot open " + path);
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }

  const int k = d.model->parameters;
  for (std::vector<double>* v : {&d.start[0], &d.start[1], &d.certified, &d.certified_deviation})
    v->assign(k + 1, 0.0);
  for (std::vector<std::string>& v : d.start_text) v.assign(k + 1, "");
  int parameters_seen = 0;
  bool rss_seen = false;
  double observations = -1.0;
  size_t data_line = lines.size();
  for (size_t i = 0; i < lines.size(); ++i) {
    if (StartsWith(lines[i], "Data:")) data_line = i;  // the last one heads the data rows
  }
  if (data_line == lines.size()) return Fail(error, path + ": no \"Data:\" line");

  for (size_t i = 0; i < data_line; ++i) {
    int index = 0;
    std::vector<std::string> numbers;
    if (ParameterLine(lines[i], index, numbers)) {
      if (index != parameters_seen + 1 || index > k || numbers.size() != 4) {
        return Fail(error, path + " (line " + std::to_string(i + 1) + "): expected b" +
                               std::to_string(parameters_seen + 1) +
                               " with start 1, start 2, certified value and deviation");
      }
      double values[4];
      for (int j = 0; j < 4; ++j) {
        if (!ParseNumber(numbers[j], values[j])) {
          return Fail(error, path + " (line " + std::to_string(i + 1) + "): '" + numbers[j] +
                                 "' is not a number");
        }
      }
      for (int s = 0; s < 2; ++s) {
        d.start_text[s][index] = numbers[s];
        d.start[s][index] = values[s];
      }
      d.certified[index] = values[2];
      d.certified_deviation[index] = values[3];
      parameters_seen = index;
    } else if (LabelledNumber(lines[i], "Residual Sum of Squares:", d.certified_rss)) {
      rss_seen = true;
    } else {
      LabelledNumber(lines[i], "Number of Observations:", observations);
    }
  }
  if (parameters_seen != k) {
    return Fail(error, path + ": " + std::to_string(parameters_seen) + " parameters, the " +
                           d.model->name + " model has " + std::to_string(k));
  }
  if (!rss_seen) return Fail(error, path + ": no certified residual sum of squares");
  if (!ReadDataRows(lines, data_line + 1, d, error)) {
    error = path + " (" + error + ")";
    return false;
  }
  d.points = static_cast<int>(d.response.size());
  if (observations != d.points) {
    return Fail(error, path + ": " + std::to_string(d.points) +
                           " data rows, the header gives another number of observations");
  }
  return true;
}

double ResidualSumOfSquares(const Dataset& d, const std::vector<double>& b) {
  double sum = 0.0;
  for (int i = 0; i < d.points; ++i) {
    const double r = d.response[i] - d.model->predict(b.data(), d.point(i));
    sum += r * r;
  }
  return sum;
}

double LogRelativeError(double estimate, double certified) {
  if (!std::isfinite(estimate)) return 0.0;
  if (estimate == certified) return 11.0;
  const double relative = std::fabs(estimate - certified) / std::fabs(certified);
  if (!std::isfinite(relative)) return 0.0;  // certified 0: only an exact match counts
  return std::clamp(-std::log10(relative), 0.0, 11.0);
}

}  // namespace nist
