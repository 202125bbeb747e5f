// Reads a standard PEST control file of either layout into a StandardProblem: version 1 (the
// positional control data with its optional words, "++" option lines, comments and blank
// lines, prior items continued on "&" lines) and version 2 ("pcf version=2", a keyword control
// data section, and sections given as external CSV files). Called by tarne-pst import.
#pragma once

#include <string>

#include "standard_problem.h"

namespace pst {

// Reads and checks the file at path. Throws ImportError for input it cannot read.
StandardProblem ReadStandardControlFile(const std::string& path);

}  // namespace pst
