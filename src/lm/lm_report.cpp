#include "lm/lm_report.h"

#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <string>

#include "lm/lm_state.h"
#include "modellib/file_error.h"
#include "modellib/replace_file.h"
#include "pest/parameters.h"

namespace {

constexpr const char* kJacobianFileName = "jac.txt";

bool Equals(const char* text, const char* word) { return std::strcmp(text, word) == 0; }

// The same lines on the screen and then in the record file (which may be null).
template <typename Lines>
void Both(std::FILE* rec, Lines write_lines) {
  write_lines(stdout);
  if (rec != nullptr) write_lines(rec);
}

void WriteGroupContributions(std::FILE* out, const ProblemRecord& record, const char* format) {
  for (int g = 1; g <= record.NOBSGP; ++g) {
    std::fprintf(out, format, record.observation_groups[g].OBGNME,
                 record.observation_groups[g].phi);
  }
}

// "%lf" of every value, "\t" after each, as printf would write them, without printf's cost:
// the Jacobian file of a large problem holds millions of numbers.
void AppendFixed6(std::string& out, double value) {
  char buffer[400];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value,
                                    std::chars_format::fixed, 6);
  out.append(buffer, result.ptr);
}

}  // namespace

bool IsEstimationMode(const ProblemRecord& record) { return Equals(record.PESTMODE, "estimation"); }

bool IsRegularisationMode(const ProblemRecord& record) {
  return Equals(record.PESTMODE, "regularisation") || Equals(record.PESTMODE, "regularization");
}

void WriteRecordHeader(std::FILE* rec, const char* control_name, const ProblemRecord& record) {
  std::fprintf(rec, "\n                            RECORD FILE \n\n");
  std::fprintf(rec, "\nINPUT INFORMATION \n\n");
  std::fprintf(rec, "\nINPUT CONTROL FILE \n\n");
  std::fprintf(rec, "Input control file case name: %s\n\n", control_name);
  std::fprintf(rec, "\nALGORITHM \n\n");
  if (record.SLMMODE == 0) {
    std::fprintf(rec, "The LM method is employed for this case.");
  } else if (record.SLMMODE == 1) {
    std::fprintf(rec, "The SLM method is employed for this case.");
    std::fprintf(rec,
                 "\n\nThe number of columns used for cyclic updating with the SLM method for "
                 "this case is: %ld.",
                 static_cast<long>(record.SLMNCOL));
    if (record.SLMFULLUPD == 1) {
      std::fprintf(rec,
                   "\n\nFull updating of the model sensitivity matrix was activated with the "
                   "SLM method for this case.");
      std::fprintf(rec,
                   "\n\nThe threshold value (i.e., the ratio of the current to the previous "
                   "objective function value) specified to activate a full update with the SLM "
                   "method for this case is %lf.",
                   record.SLMFULLRAT);
    }
  }
  std::fprintf(rec, "\n\n\nCONTROL DATA INPUT");
  std::fprintf(rec,
               "\n\nThe number of parameters specified in the input control file is:\t\t\t\t%ld",
               static_cast<long>(record.NPAR));
  std::fprintf(rec,
               "\nThe number of adjustable model parameters specified in the input control file "
               "is:\t\t%ld",
               static_cast<long>(record.NUMADJ));
  std::fprintf(rec,
               "\nThe number of fixed model parameters specified in the input control file "
               "is:\t\t\t%ld",
               static_cast<long>(record.NUMFIXED));
  std::fprintf(rec,
               "\nThe number of tied model parameters specified in the input control file "
               "is:\t\t\t%ld",
               static_cast<long>(record.NUMTIED));
  std::fprintf(rec, "\nThe number of observations specified in the input control file is:\t\t\t\t%ld",
               static_cast<long>(record.NOBS));
  std::fprintf(rec,
               "\nThe number of pieces of prior information specified in the input control file "
               "is:\t\t%ld",
               static_cast<long>(record.NPRIOR));
  std::fprintf(rec,
               "\nThe number of parameter groups specified in the input control file "
               "is:\t\t\t\t%ld",
               static_cast<long>(record.NPARGP));
  std::fprintf(rec,
               "\nThe number of observation groups specified in the input control file "
               "is:\t\t\t%ld",
               static_cast<long>(record.NOBSGP));
  std::fprintf(rec, "\n\n\n");
  std::fflush(rec);
}

void WriteInitialScreenSection(double phi, const ProblemRecord& record, const char* case_name) {
  std::printf("\n");
  std::printf("Run record: case %s\n", case_name);
  std::printf("\n");
  std::printf("Model command line:\n");
  std::printf("pre TARNE batch file : ");
  std::printf("%s\n", record.PREBATCH);
  std::printf("post TARNE batch file : ");
  std::printf("%s\n", record.POSTBATCH);
  std::printf("\n");
  std::printf("Running model ...\n");
  std::printf("\n");
  if (IsRegularisationMode(record)) {
    std::printf("  Current regularization weight factor                      =  %E\n",
                record.WFINIT);
    std::printf("  Current value of measurement objective function           =  %E\n", phi);
    std::printf("  Current value of regularisation objective function        =  %E\n\n", phi);
  }
  std::printf("Sum of squared weighted residuals = %E\n", phi);
  WriteGroupContributions(stdout, record, "Contribution to phi from observation group '%s' = %E\n");
  std::printf("\n");
}

void WriteInitialRecordSection(std::FILE* rec, std::FILE* par, double phi,
                               const ProblemRecord& record) {
  std::fprintf(rec, "                            OPTIMIZATION RECORD\n\n");
  std::fprintf(rec, "INITIAL CONDITIONS:\n");
  if (IsRegularisationMode(record)) {
    std::fprintf(rec, "  Current regularization weight factor                      =  %E\n",
                 record.WFINIT);
    std::fprintf(rec, "  Current value of measurement objective function           =  %E\n", phi);
    std::fprintf(rec, "  Current value of regularisation objective function        =  %E\n\n",
                 phi);
  }
  std::fprintf(rec, "   Sum of squared weighted residuals = %E\n", phi);
  WriteGroupContributions(rec, record, "   Contribution to phi from observation group '%s' = %E\n");
  std::fprintf(rec, "\n");
  std::fprintf(rec, "      Current parameter values\n");
  for (int k = 1; k <= record.NPAR; ++k) {
    std::fprintf(rec, "      %s               %lf\n", record.parameters[k].PARNME,
                 NaturalValue(record.parameters[k]));
  }
  std::fflush(rec);
  WriteBestParameters(par, CurrentParameterValues(record), record);
}

void WriteRestartMark(std::FILE* rec) {
  std::fprintf(rec, "\n\n                             .....RESTART.....\n\n");
}

void WriteIterationHeaders(std::FILE* rec, const ProblemRecord& record, int n, long model_calls,
                           double phi) {
  const bool estimation = IsEstimationMode(record);
  const bool regularisation = IsRegularisationMode(record);
  if (!estimation && !regularisation) return;
  Both(rec, [&](std::FILE* out) {
    std::fprintf(out, "\n");
    std::fprintf(out, "OPTIMIZATION ITERATION NO.\t\t\t\t: %ld\n", static_cast<long>(n));
    std::fprintf(out, "Model Calls so far\t\t\t\t\t: %ld\n", model_calls);
    if (regularisation) {
      std::fprintf(out, "Current regularization weight factor                      =  %E\n",
                   record.WFCUR);
      std::fprintf(out, "Current value of measurement objective function           =  %E\n",
                   phi);
      std::fprintf(out, "Current value of regularisation objective function        =  %E\n\n",
                   phi);
    }
    std::fprintf(out, "Starting objective function value for this iteration\t: %E\n", phi);
    WriteGroupContributions(out, record, "Contribution to phi from observation group '%s'\t= %E\n");
    std::fprintf(out, "\n");
  });
  std::fflush(rec);
}

void WriteTrialStart(std::FILE* rec, double lambda) {
  Both(rec, [lambda](std::FILE* out) {
    std::fprintf(out, "\n");
    std::fprintf(out, "\tLambda = %E ----->\n", lambda);
    std::fprintf(out, "\trunning model ...\n");
  });
  std::fflush(stdout);
  std::fflush(rec);
}

void WriteTrialPhi(std::FILE* rec, double phi, double starting_phi) {
  Both(rec, [&](std::FILE* out) {
    std::fprintf(out, "\tPhi =\t%E\t\t(%E of starting phi)\n", phi, phi / starting_phi);
    std::fprintf(out, "\n");
  });
  std::fflush(rec);
}

void WriteUpgradeNotes(std::FILE* rec, const UpgradeNotes& notes, const ProblemRecord& record) {
  for (const UpgradeNote& note : notes) {
    const char* name = note.parameter > 0 ? record.parameters[note.parameter].PARNME : "";
    Both(rec, [&](std::FILE* out) {
      switch (note.kind) {
        case UpgradeNote::kFrozenGradientAndUpdate:
          std::fprintf(out, "      parameter \"%s\" frozen: gradient and update vectors out of "
                            "bounds\n", name);
          break;
        case UpgradeNote::kFrozenUpdate:
          std::fprintf(out, "      parameter \"%s\" frozen: update vectors out of bounds\n", name);
          break;
        case UpgradeNote::kNoWeightedSensitivity:
          std::fprintf(out, "      parameter \"%s\" has no weighted sensitivity: it is left out "
                            "of the upgrade vector in this iteration\n", name);
          break;
        case UpgradeNote::kStepLengthUndefined:
          std::fprintf(out, "      the upgrade vector changes no weighted model output: its "
                            "length is not scaled\n");
          break;
      }
    });
  }
}

void WriteSecantUpdateSkipped(std::FILE* rec) {
  Both(rec, [](std::FILE* out) {
    std::fprintf(out, "\tThe trial moved no adjustable parameter: the Jacobian is not updated.\n");
  });
}

void WriteParameterTable(std::FILE* rec, const ProblemRecord& record) {
  std::fprintf(rec, "      Current parameter values                 Previous parameter values\n");
  for (int k = 1; k <= record.NPAR; ++k) {
    const Parameter& parameter = record.parameters[k];
    std::fprintf(rec, "      %s             %10lf                %s               %lf\n",
                 parameter.PARNME, NaturalValue(parameter), parameter.PARNME,
                 NaturalValue(parameter, parameter.previous_value));
  }
  std::fprintf(rec, "\n");
  std::fflush(rec);
}

void WriteBestParameters(std::FILE* par, const dvector& values, const ProblemRecord& record) {
  if (par == nullptr) return;
  std::rewind(par);
  for (int k = 1; k <= record.NPAR; ++k) {
    std::fprintf(par, "%lf\n", NaturalValue(record.parameters[k], values[k]));
  }
  std::fflush(par);
  // Rewinding alone would leave the tail of a longer earlier content behind the new values.
  const long length = std::ftell(par);
  if (length >= 0 && ftruncate(fileno(par), length) != 0) {
    ReportFileError("write", "the best-parameter file", 0, std::strerror(errno));
  }
}

void AnnounceFinalRun() {
  std::printf("\n");
  std::printf("Running model one last time with best parameters...\n");
  std::printf("\n");
  std::printf("\n");
  std::fflush(stdout);
}

void WriteFinalRunBlock(std::FILE* rec) {
  std::fprintf(rec, "\n");
  std::fprintf(rec, "The model has been run one final time using best parameters.\n");
  std::fprintf(rec, "Thus all model input files contain best parameter values, and model\n");
  std::fprintf(rec, "output files contain model results based on these parameters.\n");
  std::fprintf(rec, "\n");
  std::fprintf(rec, "\n");
  std::fflush(rec);
}

void WriteIterationLimitReached(std::FILE* rec, long model_calls) {
  std::fprintf(rec, "Optimization complete: Maximum number of optimization iterations completed.\n");
  std::fprintf(rec, "Total Model Calls:\t%ld\n", model_calls);
}

void WriteAllAtLimits(std::FILE* rec, long model_calls) {
  Both(rec, [model_calls](std::FILE* out) {
    std::fprintf(out, "Optimisation complete: all parameters at their limits.\n");
    std::fprintf(out, "Total Model Calls:\t%ld\n", model_calls);
  });
}

short WriteJacobianFile(const matrix& jacobian, long rows, long cols) {
  const auto write_rows = [&jacobian, rows, cols](std::FILE* file) {
    std::string line;
    for (long i = 1; i <= rows; ++i) {
      line.clear();
      const double* row = jacobian[i];
      for (long j = 1; j <= cols; ++j) {
        AppendFixed6(line, row[j]);
        line += '\t';
      }
      line += '\n';
      if (std::fwrite(line.data(), 1, line.size(), file) != line.size()) return false;
    }
    return true;
  };
  return ReplaceFile(kJacobianFileName, write_rows, FileSync::kNone) ? 0 : 1;
}
