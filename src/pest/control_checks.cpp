#include "pest/control_checks.h"

#include "modellib/text_util.h"
#include "pest/problem.h"

namespace {

// The headers of the PEST control file's sections, in lower case, without the "*".
const char* const kKnownSections[] = {
    "control data",        "singular value decomposition", "lsqr",
    "svd assist",          "sensitivity reuse",            "parameter groups",
    "parameter data",      "observation groups",           "observation data",
    "derivatives command line", "model command line",      "model input/output",
    "model input",         "model output",                 "prior information",
    "predictive analysis", "regularisation",               "regularization",
    "pareto",              "automatic user intervention"};

std::string Trimmed(const std::string& text) {
  const size_t begin = text.find_first_not_of(" \t\r\n");
  if (begin == std::string::npos) return "";
  const size_t end = text.find_last_not_of(" \t\r\n");
  return text.substr(begin, end - begin + 1);
}

// The section a "*" header names (lower case, blanks collapsed), or "".
std::string SectionOf(const std::string& header) {
  std::string name;
  for (char c : tarne::ToLower(Trimmed(header.substr(1)))) {
    if (c == ' ' || c == '\t') {
      if (!name.empty() && name.back() != ' ') name += ' ';
    } else {
      name += c;
    }
  }
  return name;
}

bool IsKnownSection(const std::string& name) {
  for (const char* known : kKnownSections) {
    if (name == known) return true;
  }
  return false;
}

}  // namespace

std::string LambdaCountProblem(int NUMLAM) {
  if (NUMLAM < 1) {
    return "NUMLAM is " + std::to_string(NUMLAM) +
           "; at least one lambda must be tried in each iteration";
  }
  if (NUMLAM > kMaxLambdas) {
    return "NUMLAM is " + std::to_string(NUMLAM) + "; at most " + std::to_string(kMaxLambdas) +
           " lambdas can be tried in one iteration";
  }
  return "";
}

std::string IterationLimitProblem(int NOPTMAX) {
  if (NOPTMAX < -1) {
    return "NOPTMAX is " + std::to_string(NOPTMAX) +
           "; it must be -1, 0 or a number of iterations";
  }
  if (NOPTMAX > kMaxIterations) {
    return "NOPTMAX is " + std::to_string(NOPTMAX) + "; the phi history holds at most " +
           std::to_string(kMaxIterations) + " iterations";
  }
  return "";
}

std::string PhiHistoryProblem(int NPHISTP) {
  if (NPHISTP >= 1) return "";
  return "NPHISTP is " + std::to_string(NPHISTP) +
         "; the phi reduction test needs at least 1 iteration";
}

std::string SecantModeProblem(int SLMMODE) {
  if (SLMMODE == 0 || SLMMODE == 1) return "";
  return "SLMMODE is " + std::to_string(SLMMODE) +
         "; it must be 0 (Levenberg-Marquardt) or 1 (secant updates)";
}

std::string SecantColumnsProblem(int SLMMODE, int SLMNCOL, int adjustable) {
  if (SLMMODE != 1 || SLMNCOL <= adjustable) return "";
  return "SLMNCOL is " + std::to_string(SLMNCOL) + ", but the problem has " +
         std::to_string(adjustable) +
         (adjustable == 1 ? " adjustable parameter" : " adjustable parameters") +
         "; the secant mode refreshes at most one column per adjustable parameter in an "
         "iteration";
}

std::string ModelFileCountProblem(const char* what, int count) {
  if (count <= kMaxModelFiles) return "";
  return std::string(what) + " is " + std::to_string(count) + "; at most " +
         std::to_string(kMaxModelFiles) + " files are supported";
}

std::string TransformProblem(const std::string& PARTRANS, const std::string& of_what) {
  for (const char* word : {"none", "log", "fixed", "tied"}) {
    if (PARTRANS == word) return "";
  }
  return "PARTRANS \"" + PARTRANS.substr(0, 60) + "\"" + of_what +
         " is not one of none, log, fixed and tied (written in lower case)";
}

std::string SectionHeaderProblem(const std::string& header, const char* expected,
                                 const std::string& count_hint) {
  const std::string line = Trimmed(header);
  const std::string section = std::string("\"* ") + expected + "\"";
  if (line.empty() || line[0] != '*') {
    const std::string found = line.empty() ? "an empty line" : "\"" + line.substr(0, 60) + "\"";
    return found + " stands where the section " + section + " should begin" +
           (count_hint.empty() ? "" : ": " + count_hint);
  }
  const std::string name = SectionOf(line);
  if (name != expected && IsKnownSection(name)) {
    return "the section " + section + " is missing: \"" + line.substr(0, 60) +
           "\" stands in its place";
  }
  return "";
}
