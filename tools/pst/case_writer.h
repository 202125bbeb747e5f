// Turns a standard control problem into a case of this toolbox: the control file in the
// toolbox's fixed subset, the 'external' project file it names as PROJFLE (templates, the
// model command), and the report of every setting that could not be carried over. Called by
// tarne-pst import after the standard file has been read.
#pragma once

#include <string>
#include <vector>

#include "standard_problem.h"

namespace pst {

// The settings of this toolbox that a standard file does not hold, as the case gets them.
struct CaseOptions {
  std::string slmmode = "0";       // plain Levenberg-Marquardt, full Jacobian every iteration
  std::string slmfullupd = "0";
  std::string slmfullrat = "0.9";
  std::string slmncol = "1";
  std::string lsdistmin = "0.01";
};

struct ImportedCase {
  std::string control_text;
  std::string project_text;
  std::vector<std::string> report;  // one line per setting not carried over
};

// project_name is PROJFLE as the control file names it. Throws ImportError for a problem the
// case cannot hold (an unsupported mode or transform, a name too long for its field, a name
// that refers to nothing).
ImportedCase BuildCase(const StandardProblem& problem, const std::string& project_name,
                       const CaseOptions& options);

}  // namespace pst
