// One picture: its gnuplot script, written beside its data files in the output folder, and
// the PNG and SVG that gnuplot makes from it. gnuplot writes under a temporary name; only a
// complete, valid picture is renamed into place, so a failed or interrupted run never
// leaves a half-written picture.
#pragma once

#include <string>
#include <vector>

namespace tarne_plot {

struct Axis {
  std::string label;
  bool log = false;
};

struct Picture {
  std::string name;  // file stem in the output folder: <name>.gp, <name>.png, <name>.svg
  std::string title;
  Axis x, y;
  std::vector<std::string> settings;  // gnuplot commands between the axes and the plot
  std::string plot;                   // the arguments of the plot command
};

// Whether values ask for a logarithmic axis: all positive, the largest at least 30 times the
// smallest (one and a half decades).
bool WantsLogScale(const std::vector<double>& values);

// The text of the picture's gnuplot script; size is "<width>,<height>" in pixels.
std::string GnuplotScript(const Picture& picture, const std::string& size = "900,600");

bool LooksLikePng(const std::string& path);
bool LooksLikeSvg(const std::string& path);

class PictureMaker {
 public:
  // gnuplot: the program's path, or "" when it is missing (scripts are still written).
  PictureMaker(std::string out_dir, std::string gnuplot, std::string size = "900,600")
      : out_dir_(std::move(out_dir)), gnuplot_(std::move(gnuplot)), size_(std::move(size)) {}

  // Writes the script and, when gnuplot is there, the two pictures. On failure nothing of
  // the pictures is left and *error names the script and gnuplot's first message.
  bool Make(const Picture& picture, std::string* error);

  bool has_gnuplot() const { return !gnuplot_.empty(); }
  const std::vector<std::string>& made() const { return made_; }
  const std::vector<std::string>& scripts() const { return scripts_; }

 private:
  std::string out_dir_;
  std::string gnuplot_;
  std::string size_;
  std::vector<std::string> made_;     // picture files written
  std::vector<std::string> scripts_;  // scripts written
};

}  // namespace tarne_plot
