// tarne-pst: brings a standard PEST problem to this toolbox.
//
//   tarne-pst import [options] standard.pst [case]
//
// reads a standard PEST control file (version 1, or version 2 with its CSV files) and writes,
// beside it, the case <case>.pst in the toolbox's control file subset and the 'external'
// project <case>.prj that it names as PROJFLE: the project writes the model's input files from
// the templates and runs the model command. <case> is the control file's name with "_tarne"
// added unless given. The options set the toolbox's own settings (defaults in brackets):
//   --slmmode N [0] --slmfullupd N [0] --slmfullrat X [0.9] --slmncol N [1] --lsdistmin X [0.01]
// Every setting that could not be carried over is listed at the end, one line each. Input that
// cannot be read is refused with one line naming the file, the line and the token (status 1).
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "case_writer.h"
#include "modellib/file_error.h"
#include "pst_text.h"
#include "pest/control_file.h"
#include "standard_reader.h"

namespace {

constexpr const char* kUsage =
    "usage: tarne-pst import [--slmmode N] [--slmfullupd N] [--slmfullrat X] [--slmncol N] "
    "[--lsdistmin X] standard.pst [case]\n";

int Usage(const std::string& problem) {
  std::fprintf(stderr, "tarne-pst: %s\n%s", problem.c_str(), kUsage);
  return 2;
}

struct Request {
  std::string input, case_name;
  pst::CaseOptions options;
};

// Reads the options and the two names; false with the reason otherwise.
bool ParseArguments(const std::vector<std::string>& args, Request* request, std::string* problem) {
  std::vector<std::string> names;
  for (std::size_t k = 0; k < args.size(); ++k) {
    const std::string& arg = args[k];
    if (arg.compare(0, 2, "--") != 0) {
      names.push_back(arg);
      continue;
    }
    if (k + 1 >= args.size()) return (*problem = "the option " + arg + " needs a value"), false;
    const std::string& value = args[++k];
    std::string number;
    bool whole = value.find_first_not_of("0123456789") == std::string::npos && !value.empty();
    pst::CaseOptions& o = request->options;
    std::string* target = arg == "--slmmode" ? &o.slmmode : arg == "--slmfullupd" ? &o.slmfullupd
                        : arg == "--slmfullrat" ? &o.slmfullrat : arg == "--slmncol" ? &o.slmncol
                        : arg == "--lsdistmin" ? &o.lsdistmin : nullptr;
    if (target == nullptr) return (*problem = "unknown option " + arg), false;
    const bool integer = target == &o.slmmode || target == &o.slmfullupd || target == &o.slmncol;
    if (integer ? !whole : !pst::NumberText(value, &number)) {
      return (*problem = "the value '" + value + "' of " + arg + " is not " +
                         (integer ? "a whole number" : "a number")), false;
    }
    if ((target == &o.slmmode || target == &o.slmfullupd) && value != "0" && value != "1") {
      return (*problem = arg + " takes 0 or 1"), false;
    }
    *target = integer ? value : number;
  }
  if (names.empty() || names.size() > 2) return (*problem = "name one control file and at most one case"), false;
  request->input = names[0];
  if (names.size() == 2) {
    request->case_name = names[1];
    if (request->case_name.size() > 4 &&
        request->case_name.compare(request->case_name.size() - 4, 4, ".pst") == 0) {
      request->case_name.resize(request->case_name.size() - 4);
    }
  } else {
    std::string base = names[0].substr(pst::DirectoryOf(names[0]).size());
    const std::size_t dot = base.rfind('.');
    if (dot != std::string::npos && dot > 0) base.resize(dot);
    request->case_name = base + "_tarne";
  }
  if (request->case_name.empty() || request->case_name.find('/') != std::string::npos) {
    return (*problem = "the case '" + request->case_name + "' must be a plain name: it is "
                       "written beside the control file, where the model's files are"), false;
  }
  return true;
}

// Writes text to path through a temporary file, so that a failed write leaves an earlier file.
bool WriteWhole(const std::string& path, const std::string& text) {
  const std::string temporary = path + ".tmp";
  std::FILE* file = std::fopen(temporary.c_str(), "wb");
  bool ok = file != nullptr && std::fwrite(text.data(), 1, text.size(), file) == text.size();
  if (file != nullptr) ok = std::fclose(file) == 0 && ok;
  if (ok) ok = std::rename(temporary.c_str(), path.c_str()) == 0;
  if (!ok) {
    std::fprintf(stderr, "%s\n", FileErrorMessage("write", path.c_str(), 0, std::strerror(errno)).c_str());
    std::remove(temporary.c_str());
  }
  return ok;
}

// The control file of the case is read once by tarne's own reader before anything is written,
// so that an import never leaves a case that tarne -slm would refuse (a setting outside what
// the engine takes, say): the reader's line names the setting, and nothing is written.
bool AcceptedByTarne(const std::string& control_path, const std::string& control_text,
                     const std::string& input) {
  const std::string check_path = control_path + ".check";
  if (!WriteWhole(check_path, control_text)) return false;
  ProblemRecord record;
  std::string replacement_list;
  const bool accepted = ReadControlFile(record, check_path.c_str(), replacement_list) == 0;
  std::fflush(stdout);
  std::remove(check_path.c_str());
  if (!accepted) {
    std::fprintf(stderr, "tarne-pst: the case made from %s breaks a rule of tarne's control "
                 "file (the line above names it); nothing was written\n", input.c_str());
  }
  return accepted;
}

// The case may not take the place of a file of the problem.
bool Collides(const pst::StandardProblem& problem, const std::string& directory,
              const std::string& path) {
  if (path == problem.control_file.file) return true;
  for (const auto* pairs : {&problem.templates, &problem.instructions}) {
    for (const pst::FilePair& pair : *pairs) {
      if (directory + pair.pest_file == path || directory + pair.model_file == path) return true;
    }
  }
  return false;
}

int Import(const Request& request) {
  const std::string directory = pst::DirectoryOf(request.input);
  const std::string control_path = directory + request.case_name + ".pst";
  const std::string project_path = directory + request.case_name + ".prj";
  pst::ImportedCase imported;
  try {
    const pst::StandardProblem problem = pst::ReadStandardControlFile(request.input);
    if (Collides(problem, directory, control_path) || Collides(problem, directory, project_path)) {
      std::fprintf(stderr, "tarne-pst: the case %s would replace a file of the problem; name "
                   "another case\n", request.case_name.c_str());
      return 1;
    }
    imported = pst::BuildCase(problem, request.case_name + ".prj", request.options);
  } catch (const pst::ImportError& error) {
    std::fprintf(stderr, "%s\n", FileErrorMessage("read", error.at.file.c_str(), error.at.line,
                                                  error.reason.c_str()).c_str());
    return 1;
  }
  if (!AcceptedByTarne(control_path, imported.control_text, request.input) ||
      !WriteWhole(project_path, imported.project_text) ||
      !WriteWhole(control_path, imported.control_text)) {
    return 1;
  }
  std::printf("tarne-pst: wrote %s and %s from %s\n", control_path.c_str(), project_path.c_str(),
              request.input.c_str());
  if (imported.report.empty()) {
    std::printf("every setting was carried over\n");
  } else {
    std::printf("not carried over (%zu):\n", imported.report.size());
    for (const std::string& line : imported.report) std::printf("%s\n", line.c_str());
  }
  std::printf("run it where %s lies: tarne -slm %s\n", request.input.c_str(), request.case_name.c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || std::strcmp(argv[1], "import") != 0) return Usage("the command is 'import'");
  Request request;
  std::string problem;
  if (!ParseArguments(std::vector<std::string>(argv + 2, argv + argc), &request, &problem)) {
    return Usage(problem);
  }
  return Import(request);
}
