// The "function" model kind, and the parameter listing it shares with the external kind.
#include <cstdio>
#include <string>

#include "modellib/model_kinds.h"
#include "modellib/output_file.h"
#include "modellib/test_functions.h"
#include "modellib/text_util.h"

namespace tarne {

// Writes "<first_name> <value>" and then "name value" for every parameter.
int WriteParameterListing(const ModelRequest& request, const char* first_name,
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

}  // namespace tarne
