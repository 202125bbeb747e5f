// Helpers of the tarne-plot tests: running the command with or without gnuplot on PATH,
// reading its data files back as rows of words, and checking the pictures it wrote.
#pragma once

#include <string>
#include <vector>

#include "support/test_support.h"

namespace plot_test {

// Whether gnuplot is on PATH; the picture checks are skipped without it.
bool GnuplotInstalled();
// The message of a test that checked the data but not the pictures.
std::string PicturesSkipped();

// Runs tarne-plot in the current directory. Without gnuplot, PATH names no directory, so the
// command finds none even where it is installed.
testing_support::RunResult RunPlot(const std::vector<std::string>& args,
                                   bool hide_gnuplot = false);

// The rows of a data file (comment lines left out), each split into words.
std::vector<std::vector<std::string>> DataRows(const std::string& path);
// The words of a text's lines that begin with prefix (after the prefix).
std::vector<std::string> LinesStartingWith(const std::string& text, const std::string& prefix);
double Number(const std::string& word);

// Fails the test unless <dir>/<name>.png is a PNG and <dir>/<name>.svg an SVG document, both
// of a size that holds a plot.
void ExpectPicture(const std::string& dir, const std::string& name);
// The names of the files in dir that end in one of the given extensions.
std::vector<std::string> FilesEndingWith(const std::string& dir,
                                         const std::vector<std::string>& extensions);
// Fails the test when dir holds a temporary file of the command.
void ExpectNoTemporaryFiles(const std::string& dir);

// The error lines ("tarne-plot: cannot ...") of the command's standard error.
std::vector<std::string> ErrorLines(const std::string& err);

}  // namespace plot_test
