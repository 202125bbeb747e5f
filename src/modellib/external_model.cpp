// The "external" model kind: the library writes the model's input files (a parameter listing
// and the files of its templates), runs the project's commands in order, and reads the
// objective of a calibration run from the file the commands leave.
#include <cstdio>
#include <string>

#include "modellib/command_runner.h"
#include "modellib/model_kinds.h"
#include "modellib/output_file.h"
#include "modellib/template_fill.h"
#include "modellib/text_util.h"

namespace tarne {

namespace {

// Reads the first number of the objective file.
int ReadObjectiveFile(const ModelRequest& request, double* objective) {
  const Project& project = *request.project;
  if (project.objective_file.empty()) {
    ReportFileError("evaluate", project.file, 0,
                    "an external project needs 'objective' to be calibrated this way");
    return 1;
  }
  gFILE file(request.files);
  std::string reason;
  if (!file.open_input(project.objective_file.c_str(), kMaxInputFileBytes, &reason)) {
    ReportUnopenedFile(project, "objective", project.objective_file, reason);
    return 1;
  }
  std::string line;
  long line_number = 0;
  while (ReadTextLine(file.fp, &line)) {
    ++line_number;
    const std::vector<std::string> words = SplitWords(line);
    if (words.empty()) continue;
    if (LineTooLong(line)) {
      ReportFileError("read", project.objective_file, line_number, LineTooLongReason());
      return 1;
    }
    if (ParseDouble(words[0], objective)) return 0;
    ReportFileError("read", project.objective_file, line_number,
                    "'" + words[0] + "' is not a number");
    return 1;
  }
  ReportFileError("read", project.objective_file, 0, "the file holds no objective value");
  return 1;
}

// The path of a file named on a project line: relative names are taken relative to the
// project's directory. A model input file keeps its own name in batch runs, since the
// model's command reads it under that name.
bool ProjectPath(const ModelRequest& request, const std::string& name, long line,
                 std::string* path) {
  char buffer[kPathMax];
  if (!request.files->getGopenName(name.c_str(), "r", buffer, sizeof buffer, true)) {
    ReportFileError("read", request.project->file, line, "the path of " + name + " is too long");
    return false;
  }
  *path = buffer;
  return true;
}

// Writes the model input file of one template line.
int WriteFromTemplate(const ModelRequest& request, const ProjectTemplate& line,
                      const std::vector<Substitution>& values) {
  const Project& project = *request.project;
  std::string template_path, input_path, reason;
  if (!ProjectPath(request, line.template_file, line.line, &template_path) ||
      !ProjectPath(request, line.input_file, line.line, &input_path)) {
    return 1;
  }
  std::FILE* file = OpenInputFile(template_path, "rb", kMaxInputFileBytes, &reason);
  if (file == nullptr) {
    ReportFileError("read", project.file, line.line,
                    "cannot open the template file " + template_path + ": " + reason);
    return 1;
  }
  std::string text;
  TextFault fault;
  const bool read = ReadInputText(file, kMaxInputFileBytes, kMaxInputLine, &text, &fault);
  std::fclose(file);
  if (!read) {
    ReportFileError("read", template_path, fault.line, fault.reason);
    return 1;
  }
  FillTemplate parsed;
  std::string filled;
  if (ParseTemplate(template_path, std::move(text), &parsed) != 0 ||
      FillFields(parsed, values, &filled) != 0) {
    return 1;
  }
  gFILE output(nullptr);
  if (!OpenOutput(&output, input_path.c_str())) {
    ReportFileError("read", project.file, line.line,
                    "cannot create the model input file " + input_path);
    return 1;
  }
  const bool written = std::fwrite(filled.data(), 1, filled.size(), output.fp) == filled.size();
  if (!FinishOutput(&output) || !written) {
    ReportFileError("write", input_path, 0, "write error");
    return 1;
  }
  return 0;
}

int RunCommands(const Project& project) {
  for (const ProjectCommand& command : project.commands) {
    std::string start_error;
    const int status = RunCommandLine(command.text, &start_error);
    if (status == -1 && !start_error.empty()) {
      ReportFileError("read", project.file, command.line,
                      "command '" + command.text + "' could not be started: " + start_error);
      return 1;
    }
    if (status != 0) {
      ReportFileError("read", project.file, command.line,
                      "command '" + command.text + "' failed (status " +
                          std::to_string(status) + ")");
      return 1;
    }
  }
  return 0;
}

}  // namespace

int RunExternalModel(const ModelRequest& request, double* objective) {
  const Project& project = *request.project;
  if (WriteParameterListing(request, "", 0.0, false) != 0) return 1;
  const std::vector<Substitution> none;
  const std::vector<Substitution>& values =
      request.substitutions != nullptr ? *request.substitutions : none;
  for (const ProjectTemplate& line : project.templates) {
    if (WriteFromTemplate(request, line, values) != 0) return 1;
  }
  if (RunCommands(project) != 0) return 1;
  if (!request.wants_objective) return 0;
  return ReadObjectiveFile(request, objective);
}

}  // namespace tarne
