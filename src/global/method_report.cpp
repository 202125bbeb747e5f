#include "global/method_report.h"

#include "pest/parameters.h"

void PrintBanner(const char* method_line, const char* search_line) {
  std::printf("%s", method_line);
  std::printf("as implemented directly in TARNE, to calibrate the current TARNE model.\n");
  std::printf("%s", search_line);
  std::printf("as implemented directly in TARNE, for local search.\n\n");
}

void PrintBestResult(const char* run_name, long run, double objective) {
  std::printf("\nBest result: %s %ld, with a total objective function value of %lf.\n",
              run_name, run, objective);
}

void WriteControlSection(std::FILE* rec, const char* title, std::uint32_t seed,
                         const std::vector<ControlValue>& values, const char* case_name) {
  std::fprintf(rec, "                        %s CONTROL INFORMATION\n\n", title);
  std::fprintf(rec, "Input unsigned long random seed                             : %u\n",
               static_cast<unsigned>(seed));
  for (const ControlValue& value : values) {
    if (value.whole) {
      std::fprintf(rec, "%s%ld\n", value.label, value.count);
    } else {
      std::fprintf(rec, "%s%lf\n", value.label, value.real);
    }
  }
  std::fprintf(rec, "Name of existing control file : %s\n\n", case_name);
  std::fflush(rec);
}

void WriteTitleRow(std::FILE* rec, const ProblemRecord& record, bool with_groups) {
  for (int k = 1; k <= record.NPAR; ++k) {
    const Parameter& p = record.parameters[k];
    if (IsAdjustableParameter(p)) std::fprintf(rec, "%s\t", p.PARNME);
  }
  std::fprintf(rec, "Total\t");
  if (with_groups) {
    for (int g = 1; g <= record.NOBSGP; ++g) {
      std::fprintf(rec, "%s\t", record.observation_groups[g].OBGNME);
    }
  }
  std::fprintf(rec, "\n");
}

void WriteSampleRunsHeading(std::FILE* rec, const ProblemRecord& record) {
  std::fprintf(rec, "                   RESULTS OF PRE-INVERSION SAMPLE RUNS\n\n");
  WriteTitleRow(rec, record, true);
}

void WriteSearchRunsHeading(std::FILE* rec) {
  std::fprintf(rec, "\n\n                   RESULTS OF CT OPTIMIZATION RUNS\n\n\n");
  std::fflush(rec);
}

void WriteGlobalResultsHeading(std::FILE* rec) {
  std::fprintf(rec, "\n\n\n\n                   RESULTS OF GLOBAL SEARCH PROCESS\n\n");
}

void WriteValuesRow(std::FILE* rec, const ProblemRecord& record, const dvector& point,
                    const Objectives& values, Digits digits) {
  for (int k = 1; k <= record.NPAR; ++k) {
    const Parameter& p = record.parameters[k];
    if (!IsAdjustableParameter(p)) continue;
    if (digits == Digits::kFixed) {
      std::fprintf(rec, "%lf\t", NaturalValue(p, point[k]));
    } else {
      std::fprintf(rec, "%.10E\t", NaturalValue(p, point[k]));
    }
  }
  for (double value : values) std::fprintf(rec, "%lf\t", value);
  std::fprintf(rec, "\n");
  std::fflush(rec);
}

void WriteSearchTables(std::FILE* rec, const ProblemRecord& record, const SearchTable& table,
                       Digits digits) {
  const bool fixed = digits == Digits::kFixed;
  std::fprintf(rec, "     Parameter values:-\n\n");
  std::fprintf(rec, "         Parameter           Starting parameter  Optimised parameter\n");
  std::fprintf(rec, "         name                value               value\n");
  for (int k = 1; k <= record.NPAR; ++k) {
    const Parameter& p = record.parameters[k];
    if (!IsAdjustableParameter(p)) continue;
    const double start = NaturalValue(p, table.start[k]);
    const double end = NaturalValue(p, table.end[k]);
    if (fixed) {
      std::fprintf(rec, "\t%s\t%lf\t%lf\n", p.PARNME, start, end);
    } else {
      std::fprintf(rec, "\t%s\t%.10E\t%.10E\n", p.PARNME, start, end);
    }
  }
  std::fprintf(rec, "\n\n     Objective function(s):-\n\n");
  std::fprintf(rec, "         Observation         Starting objective  Optimised objective\n");
  std::fprintf(rec, "         group name          function value      function value\n");
  for (int g = 0; g <= record.NOBSGP; ++g) {
    const char* name = g == 0 ? "total" : record.observation_groups[g].OBGNME;
    if (fixed) {
      std::fprintf(rec, "\t%s\t%lf\t%lf\n", name, table.starting[g], table.optimised[g]);
    } else {
      std::fprintf(rec, "\t%s\t%lE\t%lE\n", name, table.starting[g], table.optimised[g]);
    }
  }
  std::fprintf(rec, "\n\n");
  std::fflush(rec);
}

void WriteCtRunResults(std::FILE* rec, long r, const ProblemRecord& record,
                       const SearchTable& table, Digits digits) {
  std::fprintf(rec, " Results of CT inversion run number %ld --->\n\n", r);
  WriteSearchTables(rec, record, table, digits);
}

void WriteModelCalls(std::FILE* rec, const char* run_name, long calls, long total) {
  std::fprintf(rec, " Number of model runs for latest %s   = %ld\n", run_name, calls);
  std::fprintf(rec, " Total number of model calls so far       = %ld\n", total);
  std::fprintf(rec, "\n\n");
  std::fprintf(rec, "\n\n");
  std::fflush(rec);
}
