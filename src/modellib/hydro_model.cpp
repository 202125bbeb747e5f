// The "hydro" model kind (being written).
#include "modellib/model_kinds.h"
#include "modellib/text_util.h"

namespace tarne {

int RunHydroModel(const ModelRequest& request, double*) {
  ReportFileError("run", request.project->file, 0, "the hydro model is not available yet");
  return 1;
}

}  // namespace tarne
