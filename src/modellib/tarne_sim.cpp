// The model run object: reads the project, puts replaced parameter values in place, and
// runs the project's model kind, for single and batch runs (main_tarne) and for the
// objective evaluations of the calibration tools (main_calib).
#include <cmath>
#include <string>
#include <vector>

#include "modellib/hydro_model.h"
#include "modellib/model_kinds.h"
#include "modellib/partition_exchange.h"
#include "modellib/project.h"
#include "modellib/replacement.h"
#include "modellib/tarne_lib.h"
#include "modellib/text_util.h"

namespace tarne {

// Objective returned by an evaluation that failed (after its message): larger than any
// real objective, so that a search never keeps it as its best.
constexpr double kFailedObjective = 1.0e30;

namespace {

// The path under which a file named in the project is read.
bool InputPath(const replace_io& settings, const std::string& name, std::string* path) {
  char buffer[kPathMax];
  if (!settings.getGopenName(name.c_str(), "r", buffer, sizeof buffer, true)) {
    ReportFileError("open", name, 0, "the path is too long");
    return false;
  }
  *path = buffer;
  return true;
}

// Substitutions from the project's own replacement list and value file; in batch mode the
// value file line is the run's line number, otherwise its first line.
int ProjectSubstitutions(const Project& project, const replace_io& settings,
                         std::vector<Substitution>* substitutions) {
  if (project.replace_list.empty()) return 0;
  std::string list_path, value_path;
  if (!InputPath(settings, project.replace_list, &list_path) ||
      !InputPath(settings, project.value_file, &value_path)) {
    return 1;
  }
  std::vector<ReplacementEntry> list;
  std::string not_opened;
  int status = ReadReplacementList(list_path, &list, &not_opened);
  if (status == kNotOpened) ReportUnopenedFile(project, "replace", list_path, not_opened);
  if (status != 0) return 1;
  const long line = settings.GetBatchMode() == 1 ? settings.GetLinenum() : 0;
  std::vector<double> values;
  status = ReadValueLine(value_path, line, &values, &not_opened);
  if (status == kNotOpened) ReportUnopenedFile(project, "values", value_path, not_opened);
  if (status != 0) return 1;
  if (values.size() != list.size()) {
    ReportFileError("read", value_path, line + 1,
                    "found " + std::to_string(values.size()) + " values for the " +
                        std::to_string(list.size()) + " names of " + list_path);
    return 1;
  }
  return BuildSubstitutions(list_path, list, values.data(), static_cast<long>(values.size()),
                            substitutions);
}

// The numeric value of every project parameter after replacement.
int ResolveParameters(const Project& project, const std::vector<Substitution>& substitutions,
                      std::vector<double>* values) {
  values->clear();
  std::string text, problem;
  for (const ProjectParameter& parameter : project.parameters) {
    if (!SubstituteNames(parameter.value_text, substitutions, &text, &problem)) {
      ReportFileError("read", project.file, parameter.line,
                      "no value for " + problem + " in the value of " + parameter.name);
      return 1;
    }
    double value = 0.0;
    if (!ParseDouble(text, &value)) {
      ReportFileError("read", project.file, parameter.line,
                      "value '" + text + "' of " + parameter.name + " is not a number");
      return 1;
    }
    values->push_back(value);
  }
  return 0;
}

int RunModel(const ModelRequest& request, double* objective) {
  switch (request.project->kind) {
    case ModelKind::kFunction: return RunFunctionModel(request, objective);
    case ModelKind::kExternal: return RunExternalModel(request, objective);
    case ModelKind::kHydro: return RunHydroModel(request, objective);
    case ModelKind::kNone: break;
  }
  return 1;
}

// Runs the model of a prepared project; prepared is 0, or the status of a failed preparation.
// A process that runs alone just runs it. The members of a partition of several processes
// all come here, whatever their preparation gave, and stay in step: they first agree that
// every member prepared the same kind of model; a hydro model then shares its cells among
// them, any other kind runs on the leader alone (so its files are written once), which hands
// its status and objective to the others.
int RunOnPartition(mpi_setup* partition, int prepared, ModelRequest& request,
                   const char* project_file, double* objective) {
  const long members = partition != nullptr ? PartitionExchange::Members(*partition) : 1;
  if (members <= 1) return prepared != 0 ? prepared : RunModel(request, objective);
  const bool leader = PartitionExchange::Member(*partition) == 0;
  const long kind = prepared == 0 ? static_cast<long>(request.project->kind) : -1;
  long agreement[3] = {prepared != 0 ? 1 : 0, kind, -kind};
  PartitionExchange::MaxOverMembers(*partition, 3, agreement);
  if (agreement[0] != 0) {
    if (prepared == 0 && leader) {
      ReportFileError("run", project_file, 0,
                      "another process of its partition could not prepare the run");
    }
    return prepared != 0 ? prepared : 1;
  }
  if (agreement[1] != -agreement[2]) {
    if (leader) {
      ReportFileError("run", project_file, 0,
                      "the processes of its partition read different model kinds");
    }
    return 1;
  }
  if (request.project->kind == ModelKind::kHydro) {
    request.partition = partition;
    return RunModel(request, objective);
  }
  double outcome[2] = {1.0, kFailedObjective};
  if (leader) {
    outcome[0] = RunModel(request, objective);
    outcome[1] = *objective;
  }
  partition->communicate_across_partition(2, outcome);
  *objective = outcome[1];
  return static_cast<int>(outcome[0]);
}

// Reads the project and puts the calibrated values 1..n in place of the names listed in
// second_path (they win over the project's own list). Returns 0, or 1 after the message.
// header receives the names of the list, "name\t" each.
// The project (whose location settings records) and the replacement list of a calibration
// run. Returns 0, or 1 after the message.
int ReadCalibrationFiles(replace_io& settings, const std::string& list_path,
                         const char* project_file, Project* project,
                         std::vector<ReplacementEntry>* list) {
  if (project_file == nullptr || ReadProject(project_file, project) != 0) return 1;
  caReadVARNOKProjectPath(project_file, &settings);
  std::string not_opened;
  const int status = ReadReplacementList(list_path, list, &not_opened);
  if (status == kNotOpened) ReportFileError("open", list_path, 0, not_opened);
  return status != 0 ? 1 : 0;
}

int PrepareCalibration(replace_io& settings, const char* second_path, const char* project_file,
                       const double* parameters, long n, Project* project,
                       std::vector<double>* values, std::vector<Substitution>* substitutions,
                       std::string* header) {
  const std::string list_path = second_path != nullptr ? second_path : "";
  std::vector<ReplacementEntry> list;
  if (ReadCalibrationFiles(settings, list_path, project_file, project, &list) != 0) return 1;
  header->clear();
  for (const ReplacementEntry& entry : list) *header += entry.name + "\t";
  if (n > 0 && parameters == nullptr) {
    ReportFileError("evaluate", project_file, 0, "no parameter values were given");
    return 1;
  }
  substitutions->clear();
  if (BuildSubstitutions(list_path, list, parameters + 1, n, substitutions) != 0 ||
      ProjectSubstitutions(*project, settings, substitutions) != 0 ||
      ResolveParameters(*project, *substitutions, values) != 0) {
    return 1;
  }
  return 0;
}

}  // namespace

tarne_sim::tarne_sim(mpi_setup* partition) : partition_(partition) {}
tarne_sim::~tarne_sim() = default;

int tarne_sim::main_tarne(const char* project_file, run_results* /*results*/,
                          const char* /*argument*/) {
  Project project;
  std::vector<double> values;
  std::vector<Substitution> substitutions;
  int prepared = 1;
  if (project_file != nullptr && ReadProject(project_file, &project) == 0) {
    caReadVARNOKProjectPath(project_file, this);
    if (ProjectSubstitutions(project, *this, &substitutions) == 0 &&
        ResolveParameters(project, substitutions, &values) == 0) {
      prepared = 0;
    }
  }
  ModelRequest request;
  request.project = &project;
  request.values = &values;
  request.substitutions = &substitutions;
  request.files = this;
  double objective = 0.0;
  const int status = RunOnPartition(partition_, prepared, request,
                                    project_file != nullptr ? project_file : "", &objective);
  last_objective_ = objective;
  return status;
}

double tarne_sim::main_calib(const char* second_path, const char* project_file,
                             double* parameters, observed_data* observed, long n,
                             const char* /*tag*/, long /*rank*/) {
  last_objective_ = kFailedObjective;
  Project project;
  std::vector<double> values;
  std::vector<Substitution> substitutions;
  const int prepared =
      PrepareCalibration(*this, second_path, project_file, parameters, n, &project, &values,
                         &substitutions, &header_);
  ModelRequest request;
  request.project = &project;
  request.values = &values;
  request.substitutions = &substitutions;
  request.files = this;
  request.observed = observed;
  request.wants_objective = true;
  request.writes_output = false;
  double objective = 0.0;
  const char* name = project_file != nullptr ? project_file : "";
  if (RunOnPartition(partition_, prepared, request, name, &objective) != 0) {
    return last_objective_;
  }
  // A search cannot rank a value that is not a number; it fails like any other evaluation.
  if (std::isnan(objective)) {
    if (partition_ == nullptr || PartitionExchange::Member(*partition_) == 0) {
      ReportFileError("evaluate", name, 0, "the objective is not a number");
    }
    return last_objective_;
  }
  last_objective_ = objective;
  return last_objective_;
}

int tarne_sim::check_calib_inputs(const char* second_path, const char* project_file) {
  Project project;
  std::vector<ReplacementEntry> list;
  if (ReadCalibrationFiles(*this, second_path != nullptr ? second_path : "", project_file,
                           &project, &list) != 0) {
    return 1;
  }
  if (project.kind != ModelKind::kHydro) return 0;
  Forcing forcing;
  return ReadProjectForcing(project, *this, &forcing);
}

void tarne_sim::WriteFileHeader(std::FILE* file) const {
  if (file != nullptr) std::fputs(header_.c_str(), file);
}

}  // namespace tarne
