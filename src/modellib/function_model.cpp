// The "function" and "external" model kinds.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "modellib/model_kinds.h"
#include "modellib/output_file.h"
#include "modellib/test_functions.h"
#include "modellib/text_util.h"

namespace tarne {

// Writes "<first_name> <value>" and then "name value" for every parameter.
static int WriteParameterListing(const ModelRequest& request, const char* first_name,
                                 double first_value, bool with_first) {
  const Project& project = *request.project;
  if (project.output.empty()) return 0;
  gFILE output(request.files);
  if (!OpenOutput(&output, project.output.c_str())) {
    ReportFileError("read", project.file, KeywordLine(project, "output"),
                    "cannot create the output file " + project.output);
    return 1;
  }
  if (with_first) std::fprintf(output.fp, "%s %.15E\n", first_name, first_value);
  for (std::size_t i = 0; i < project.parameters.size(); ++i) {
    std::fprintf(output.fp, "%s %.15E\n", project.parameters[i].name.c_str(),
                 (*request.values)[i]);
  }
  const bool written = FinishOutput(&output);
  if (!written) ReportFileError("write", project.output, 0, "write error");
  return written ? 0 : 1;
}

int RunFunctionModel(const ModelRequest& request, double* objective) {
  const Project& project = *request.project;
  const TestFunction* function = FindTestFunction(project.function_name);
  if (function == nullptr) return 1;  // ReadProject has refused such a project already
  const std::vector<double>& x = *request.values;
  const double value = function->evaluate(x.data(), static_cast<int>(x.size()));
  *objective = value;
  if (!request.writes_output) return 0;
  return WriteParameterListing(request, "objective", value, true);
}

// Reads the first number of the objective file.
static int ReadObjectiveFile(const ModelRequest& request, double* objective) {
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

int RunExternalModel(const ModelRequest& request, double* objective) {
  const Project& project = *request.project;
  if (WriteParameterListing(request, "", 0.0, false) != 0) return 1;
  if (!project.command.empty()) {
    std::fflush(nullptr);
    const int status = std::system(project.command.c_str());
    if (status != 0) {
      ReportFileError("read", project.file, KeywordLine(project, "command"),
                      "command '" + project.command + "' failed (status " +
                          std::to_string(status) + ")");
      return 1;
    }
  }
  if (!request.wants_objective) return 0;
  return ReadObjectiveFile(request, objective);
}

}  // namespace tarne
