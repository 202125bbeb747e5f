// What the three global methods write alike: the banner on the screen, and in their record
// files the control section, the headings, the title row and the rows of samples and points,
// the table of a local search's start and result, and its model calls. Every format of these
// lines is here; the methods decide what to write and when.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "global/objectives.h"
#include "numeric/numeric.h"
#include "pest/problem.h"

// The banner: the line naming the method, the line of the calibration, the line naming its
// local search and the line of the implementation.
void PrintBanner(const char* method_line, const char* search_line);
// The screen line of the best result: run_name ("local search", "CT run"), its number and its
// total objective.
void PrintBestResult(const char* run_name, long run, double objective);

// One value of a control section: its label as the record shows it (up to and with ": "),
// then a whole number ("%ld") or a real one ("%lf").
struct ControlValue {
  const char* label;
  bool whole;
  long count;
  double real;

  static ControlValue Count(const char* label, long value) { return {label, true, value, 0.0}; }
  static ControlValue Real(const char* label, double value) { return {label, false, 0, value}; }
};

// The control section of a method's record: the title line ("CT_MS1" and the like), the user
// seed, the method's values and the case name.
void WriteControlSection(std::FILE* rec, const char* title, std::uint32_t seed,
                         const std::vector<ControlValue>& values, const char* case_name);

// The adjustable parameters' names, "Total" and, with_groups, every group's name.
void WriteTitleRow(std::FILE* rec, const ProblemRecord& record, bool with_groups);
// The heading of the sample runs and the title row with the groups.
void WriteSampleRunsHeading(std::FILE* rec, const ProblemRecord& record);
// The heading of the local searches of multistart and trajectory repulsion.
void WriteSearchRunsHeading(std::FILE* rec);
// The heading of the final lines of MLSL and trajectory repulsion.
void WriteGlobalResultsHeading(std::FILE* rec);

// How the record prints parameter values: "%lf" (and objectives "%lf"), or "%.10E" (and
// objectives in the result tables "%lE").
enum class Digits { kFixed, kScientific };

// A row: the adjustable parameters' values of point (stored values of all NPAR parameters,
// printed in natural units), then each of values as "%lf".
void WriteValuesRow(std::FILE* rec, const ProblemRecord& record, const dvector& point,
                    const Objectives& values, Digits digits);

// The start and the result of one local search.
struct SearchTable {
  const dvector& start;         // stored values of all parameters at the start
  const dvector& end;           // and where the search left them
  const Objectives& starting;   // the objectives at the start
  const Objectives& optimised;  // the objectives after the search
};

// "Parameter values:-" and "Objective function(s):-": the adjustable parameters' start and
// end values in natural units, then the total ("total") and every group's objective.
void WriteSearchTables(std::FILE* rec, const ProblemRecord& record, const SearchTable& table,
                       Digits digits);

// " Results of CT inversion run number" r and the tables of that search (multistart and
// trajectory repulsion).
void WriteCtRunResults(std::FILE* rec, long r, const ProblemRecord& record,
                       const SearchTable& table, Digits digits);

// The model calls of the latest search (run_name: "Local Search", "CT run") and of the
// method so far.
void WriteModelCalls(std::FILE* rec, const char* run_name, long calls, long total);
