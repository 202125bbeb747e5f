// What a Levenberg-Marquardt search writes as it goes: the header and the sections of the
// record file, the matching screen lines, the best-parameter file and "jac.txt". Every
// format of these files is here, at the call that writes it; the engine decides when.
#pragma once

#include <cstdio>

#include "lm/upgrade.h"
#include "numeric/numeric.h"
#include "pest/problem.h"

// The case's four output files, owned by the tool that opened them.
struct CaseFiles {
  std::FILE* rec = nullptr;  // record file
  std::FILE* sen = nullptr;  // sensitivity file
  std::FILE* mtt = nullptr;  // created empty, never written
  std::FILE* par = nullptr;  // best parameters
};

bool IsEstimationMode(const ProblemRecord& record);
bool IsRegularisationMode(const ProblemRecord& record);

// RECORD FILE, INPUT INFORMATION, ALGORITHM and CONTROL DATA INPUT; control_name as typed.
void WriteRecordHeader(std::FILE* rec, const char* control_name, const ProblemRecord& record);

// After the initial model run: the screen section (case name, model commands, phi by group)
// and the record section with the parameter values; the best-parameter file gets them too.
void WriteInitialScreenSection(double phi, const ProblemRecord& record, const char* case_name);
void WriteInitialRecordSection(std::FILE* rec, std::FILE* par, double phi,
                               const ProblemRecord& record);
void WriteRestartMark(std::FILE* rec);

// The header of iteration n, on the screen and in the record file alike.
void WriteIterationHeaders(std::FILE* rec, const ProblemRecord& record, int n, long model_calls,
                           double phi);

// A lambda trial: its lambda before the model run and its phi after it, screen and record.
void WriteTrialStart(std::FILE* rec, double lambda);
void WriteTrialPhi(std::FILE* rec, double phi, double starting_phi);
// Frozen parameters and the other notes of an upgrade: screen, then record file.
void WriteUpgradeNotes(std::FILE* rec, const UpgradeNotes& notes, const ProblemRecord& record);
// A secant update skipped because the trial did not move any adjustable parameter.
void WriteSecantUpdateSkipped(std::FILE* rec);
// The table of current and previous values that closes an iteration in the record file.
void WriteParameterTable(std::FILE* rec, const ProblemRecord& record);

// Rewrites the best-parameter file from the top: one "%lf" line per parameter in natural
// units, and nothing of an earlier, longer content left behind.
void WriteBestParameters(std::FILE* par, const dvector& values, const ProblemRecord& record);

// The final model run: announced on the screen, and the block that the record file gets.
void AnnounceFinalRun();
void WriteFinalRunBlock(std::FILE* rec);
void WriteIterationLimitReached(std::FILE* rec, long model_calls);
void WriteAllAtLimits(std::FILE* rec, long model_calls);

// "jac.txt" anew: rows 1..rows of the Jacobian, every value as "%lf\t", a line end per row.
// Returns 0, or 1 after a reported failure.
short WriteJacobianFile(const matrix& jacobian, long rows, long cols);
