#include "plot_test_util.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

namespace fs = std::filesystem;

namespace plot_test {

bool GnuplotInstalled() {
  const char* path = std::getenv("PATH");
  std::istringstream dirs(path == nullptr ? "" : path);
  std::string dir;
  while (std::getline(dirs, dir, ':')) {
    std::error_code code;
    if (!dir.empty() && fs::is_regular_file(fs::path(dir) / "gnuplot", code)) return true;
  }
  return false;
}

std::string PicturesSkipped() {
  return "gnuplot is not installed: the data files were checked, the pictures were skipped "
         "(apt-get install gnuplot-nox)";
}

testing_support::RunResult RunPlot(const std::vector<std::string>& args, bool hide_gnuplot) {
  std::map<std::string, std::string> env;
  if (hide_gnuplot) env["PATH"] = "/nonexistent-directory-of-tarne-plot-tests";
  return testing_support::RunProgram(TARNE_PLOT_BINARY, args, "", env);
}

std::vector<std::vector<std::string>> DataRows(const std::string& path) {
  std::vector<std::vector<std::string>> rows;
  for (const std::string& line : testing_support::SplitLines(testing_support::ReadFile(path))) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream words(line);
    std::vector<std::string> row;
    std::string word;
    while (words >> word) row.push_back(word);
    rows.push_back(row);
  }
  return rows;
}

std::vector<std::string> LinesStartingWith(const std::string& text, const std::string& prefix) {
  std::vector<std::string> found;
  for (const std::string& line : testing_support::SplitLines(text))
    if (line.compare(0, prefix.size(), prefix) == 0) found.push_back(line.substr(prefix.size()));
  return found;
}

double Number(const std::string& word) {
  char* end = nullptr;
  const double value = std::strtod(word.c_str(), &end);
  EXPECT_TRUE(end != word.c_str() && *end == '\0') << "not a number: \"" << word << "\"";
  return value;
}

void ExpectPicture(const std::string& dir, const std::string& name) {
  const std::string png = testing_support::ReadFile(dir + "/" + name + ".png");
  EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8)) << name << ".png";
  EXPECT_GT(png.size(), 5000u) << name << ".png is too small to hold a plot";
  EXPECT_NE(png.find("IEND"), std::string::npos) << name << ".png has no end chunk";
  const std::string svg = testing_support::ReadFile(dir + "/" + name + ".svg");
  const std::size_t root = svg.find("<svg");
  ASSERT_NE(root, std::string::npos) << name << ".svg has no svg element";
  EXPECT_EQ(svg.find_first_not_of(" \t\r\n"), svg.find('<')) << name << ".svg";
  EXPECT_NE(svg.rfind("</svg>"), std::string::npos) << name << ".svg is not closed";
  EXPECT_GT(svg.size(), 5000u) << name << ".svg is too small to hold a plot";
}

std::vector<std::string> FilesEndingWith(const std::string& dir,
                                         const std::vector<std::string>& extensions) {
  std::vector<std::string> names;
  std::error_code code;
  for (fs::directory_iterator it(dir, code), end; !code && it != end; it.increment(code)) {
    const std::string name = it->path().filename().string();
    for (const std::string& extension : extensions)
      if (name.size() >= extension.size() &&
          name.compare(name.size() - extension.size(), extension.size(), extension) == 0)
        names.push_back(name);
  }
  return names;
}

void ExpectNoTemporaryFiles(const std::string& dir) {
  std::error_code code;
  for (fs::directory_iterator it(dir, code), end; !code && it != end; it.increment(code)) {
    const std::string name = it->path().filename().string();
    EXPECT_EQ(name.find(".tmp"), std::string::npos) << "left behind: " << name;
    EXPECT_EQ(name.find(".gnuplot.log"), std::string::npos) << "left behind: " << name;
  }
}

std::vector<std::string> ErrorLines(const std::string& err) {
  return LinesStartingWith(err, "tarne-plot: cannot ");
}

}  // namespace plot_test
