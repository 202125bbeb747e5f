// The checks the control-file reader makes beyond the grammar: settings the search cannot
// work with, parameter transforms that name nothing, and section headers that show a count
// disagreeing with its section. Each returns an empty reason when the text can be used, else
// the reason for the reader's message, which names the file and line. Called by
// ReadControlFile where each value is read.
#pragma once

#include <string>

// Iterations whose phi history a search holds (one value each); NOPTMAX above is refused.
constexpr int kMaxIterations = 10000000;
// Lambdas one iteration may try: every trial is a model run whose results are kept until the
// iteration chooses, and lambda, multiplied or divided by RLAMFAC at every trial, has left
// any useful range long before.
constexpr int kMaxLambdas = 1000;

// NUMLAM: from 1 to kMaxLambdas.
std::string LambdaCountProblem(int NUMLAM);
// NOPTMAX: -1 (one Jacobian, no upgrade), 0 (one model run) or up to kMaxIterations.
std::string IterationLimitProblem(int NOPTMAX);
// NPHISTP: the termination test on phi reductions needs at least one iteration.
std::string PhiHistoryProblem(int NPHISTP);
// SLMMODE: 0 or 1.
std::string SecantModeProblem(int SLMMODE);
// SLMNCOL in the secant mode: at most one refreshed column per adjustable parameter.
std::string SecantColumnsProblem(int SLMMODE, int SLMNCOL, int adjustable);
// NTPLFLE and NINSFLE: at most kMaxModelFiles each (what is the name of the count).
std::string ModelFileCountProblem(const char* what, int count);
// PARTRANS: exactly "none", "log", "fixed" or "tied"; of_what names the parameter
// (" of parameter 3").
std::string TransformProblem(const std::string& PARTRANS, const std::string& of_what);

// The header line read where the section "* <expected>" begins. A line that does not begin
// with "*" is a line of the previous section beyond its count (count_hint says which count
// and what it is, e.g. "NOBS (2)"); a header of another known section means the expected
// one is missing. Any other "*" line is taken as the header, since its text is free.
std::string SectionHeaderProblem(const std::string& header, const char* expected,
                                 const std::string& count_hint);
