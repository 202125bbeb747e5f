// The importer over a table of standard control files of both layouts, each with every
// optional section or word of one kind: the written case is compared field by field with the
// expected case (numbers within rounding, words exactly), the project line by line and the
// report of what was not carried over exactly.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "case_writer.h"
#include "pst_text.h"
#include "standard_reader.h"
#include "support/test_support.h"

namespace {

using testing_support::ReadFile;
using testing_support::SplitLines;

struct ImportCase {
  const char* input;    // the standard file in tests/data/pst/import
  const char* control;  // expected/<control>.pst
  const char* project;  // expected/<project>.prj
};

const ImportCase kCases[] = {
    {"v1_minimal", "base", "base"},
    {"v1_optional_words", "base", "base"},
    {"v1_comments", "base", "base"},
    {"v1_plusplus", "base", "base"},
    {"v1_svd", "svd", "base"},
    {"v1_lsqr", "lsqr", "base"},
    {"v1_regularisation", "regularisation", "base"},
    {"v1_prior", "prior", "base"},
    {"v1_obsgroups_cov", "obsgroups_cov", "base"},
    {"v1_tied_fixed", "tied_fixed", "base"},
    {"v1_commands", "commands", "commands"},
    {"v1_two_files", "two_files", "two_files"},
    {"v1_limits", "limits", "base"},
    {"v2_basic", "base", "base"},
    {"v2_quoted", "base", "base"},
    {"v2_priors_ties", "priors_ties", "base"},
    {"v2_defaults", "base", "base"},
};

bool SameField(const std::string& expected, const std::string& actual) {
  std::string a, b;
  double x = 0.0, y = 0.0;
  if (pst::NumberText(expected, &a, &x) && pst::NumberText(actual, &b, &y)) {
    return std::abs(x - y) <= 1e-12 * std::max(1.0, std::abs(x));
  }
  return expected == actual;
}

void ExpectSameFields(const std::string& expected, const std::string& actual, const char* name) {
  const std::vector<std::string> want = SplitLines(expected), got = SplitLines(actual);
  ASSERT_EQ(want.size(), got.size()) << name << ":\n" << actual;
  for (std::size_t k = 0; k < want.size(); ++k) {
    const std::vector<std::string> w = pst::Words(want[k]), g = pst::Words(got[k]);
    bool same = w.size() == g.size();
    for (std::size_t f = 0; same && f < w.size(); ++f) same = SameField(w[f], g[f]);
    EXPECT_TRUE(same) << name << " line " << k + 1 << ": expected '" << want[k] << "', got '"
                      << got[k] << "'";
  }
}

// The project without its comment lines, which name the file it came from.
std::string ProjectLines(const std::string& text) {
  std::string lines;
  for (const std::string& line : SplitLines(text)) {
    if (line.empty() || line[0] != '#') lines += line + "\n";
  }
  return lines;
}

std::string ReportText(const std::vector<std::string>& report) {
  std::string text;
  for (const std::string& line : report) text += line + "\n";
  return text;
}

TEST(ImportTable, EveryStandardFileBecomesItsExpectedCase) {
  const std::filesystem::path previous = std::filesystem::current_path();
  // The reports name the files as given.
  std::filesystem::current_path(std::string(TARNE_TEST_DATA) + "/pst/import");
  for (const ImportCase& c : kCases) {
    SCOPED_TRACE(c.input);
    pst::ImportedCase imported;
    try {
      imported = pst::BuildCase(pst::ReadStandardControlFile(std::string(c.input) + ".pst"),
                                "case.prj", pst::CaseOptions());
    } catch (const pst::ImportError& error) {
      ADD_FAILURE() << error.at.file << " (line " << error.at.line << "): " << error.reason;
      continue;
    }
    auto expected = [](const char* name, const char* ext) {
      return ReadFile("expected/" + std::string(name) + ext);
    };
    ExpectSameFields(expected(c.control, ".pst"), imported.control_text, c.input);
    EXPECT_EQ(ProjectLines(imported.project_text), expected(c.project, ".prj"));
    EXPECT_EQ(ReportText(imported.report), expected(c.input, ".report"));
  }
  // The toolbox's own settings come from the options.
  pst::CaseOptions options;
  options.slmmode = "1";
  options.slmfullupd = "1";
  options.slmfullrat = "0.75";
  options.slmncol = "2";
  options.lsdistmin = "0.5";
  const pst::ImportedCase imported =
      pst::BuildCase(pst::ReadStandardControlFile("v1_minimal.pst"), "case.prj", options);
  std::filesystem::current_path(previous);
  EXPECT_NE(imported.control_text.find("\n1 1 0.75 2 0.5\ncase.prj\n"), std::string::npos)
      << imported.control_text;
}

}  // namespace
