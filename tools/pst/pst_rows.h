// The entries of a standard control file, one parser per kind of row: the positional
// control-data lines with their optional words, keyword lines, parameter groups, parameters,
// tie lines, observation groups, observations, file pairs and prior-information equations.
// Shared by the version 1 and version 2 readers of tarne-pst.
#pragma once

#include <string>
#include <vector>

#include "standard_problem.h"

namespace pst {

// The positional lines of the "control data" section (8 lines) and of the "singular value
// decomposition", "lsqr" and "regularisation" sections (3 lines each).
enum class PositionalSection { kControlData, kSingularValues, kLsqr, kRegularisation };
int PositionalLineCount(PositionalSection section);
// Reads line number index (from 0) of the section into problem->settings.
void ReadPositionalLine(PositionalSection section, int index, const std::vector<std::string>& words,
                        const Origin& at, StandardProblem* problem);

// A "name value" line of a keyword section.
void ReadKeywordLine(const std::vector<std::string>& words, const Origin& at,
                     StandardProblem* problem);

ParameterGroup ParameterGroupRow(const std::vector<std::string>& words, const Origin& at);
Parameter ParameterRow(const std::vector<std::string>& words, const Origin& at);
// A tie line "name parent": sets the parent of the tied parameter it names.
void TieRow(const std::vector<std::string>& words, const Origin& at, StandardProblem* problem);
ObservationGroup ObservationGroupRow(const std::vector<std::string>& words, const Origin& at);
Observation ObservationRow(const std::vector<std::string>& words, const Origin& at);
FilePair FilePairRow(const std::vector<std::string>& words, const Origin& at, const char* what);

// The terms and value of a prior equation "f1 * p1 + f2 * log(p2) = value", given as words
// starting at first; returns the index of the first word after the value.
std::size_t PriorEquation(const std::vector<std::string>& words, std::size_t first,
                          const Origin& at, PriorItem* item);
// A whole prior-information item: label, equation, weight, group.
PriorItem PriorRow(const std::vector<std::string>& words, const Origin& at);

}  // namespace pst
