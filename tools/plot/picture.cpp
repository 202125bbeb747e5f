#include "picture.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "plot_text.h"

namespace fs = std::filesystem;

namespace tarne_plot {

namespace {

// A picture smaller than this holds no plot worth the name (an empty PNG canvas of our size
// compresses to a few hundred bytes, an empty SVG document to less).
constexpr std::uintmax_t kSmallestPicture = 1000;

std::string ReadPrefix(const std::string& path, std::size_t count) {
  std::ifstream in(path, std::ios::binary);
  std::string prefix(count, '\0');
  in.read(&prefix[0], static_cast<std::streamsize>(count));
  prefix.resize(static_cast<std::size_t>(in.gcount()));
  return prefix;
}

std::uintmax_t SizeOf(const std::string& path) {
  std::error_code code;
  const std::uintmax_t size = fs::file_size(path, code);
  return code ? 0 : size;
}

// gnuplot's message about a script: the line that names the script and its line, else the
// first line that is not blank.
std::string MessageOf(const std::string& log_path, const std::string& script_name) {
  std::ifstream in(log_path);
  std::string line, first;
  while (std::getline(in, line)) {
    if (line.find('"' + script_name + "\" line") != std::string::npos) return line;
    if (first.empty() && line.find_first_not_of(" \t\r") != std::string::npos) first = line;
  }
  return first;
}

void RemoveQuietly(const std::string& path) {
  std::error_code ignored;
  fs::remove(path, ignored);
}

}  // namespace

bool WantsLogScale(const std::vector<double>& values) {
  double low = 0.0, high = 0.0;
  bool any = false;
  for (double value : values) {
    if (!std::isfinite(value)) continue;
    if (value <= 0.0) return false;
    low = any ? std::min(low, value) : value;
    high = any ? std::max(high, value) : value;
    any = true;
  }
  return any && high >= 30.0 * low;
}

std::string GnuplotScript(const Picture& picture, const std::string& size) {
  std::ostringstream script;
  script << "# " << picture.title << "\n"
         << "# Written by tarne-plot beside its data files. Run here as \"gnuplot " << picture.name
         << ".gp\" it writes\n# " << picture.name << ".png and " << picture.name
         << ".svg again; tarne-plot sets 'out' to write them under a temporary name.\n"
         << "if (!exists(\"out\")) out = " << GnuplotQuote(picture.name) << "\n"
         << "set encoding utf8\n"
         << "if (strstrt(GPVAL_TERMINALS, \"pngcairo\") > 0) {\n"
         << "  set terminal pngcairo size " << size << " noenhanced font \"sans,10\"\n"
         << "} else {\n"
         << "  set terminal png size " << size << " noenhanced\n"
         << "}\n"
         << "set output out.'.png'\n"
         << "set title " << GnuplotQuote(picture.title) << "\n"
         << "set xlabel " << GnuplotQuote(picture.x.label) << "\n"
         << "set ylabel " << GnuplotQuote(picture.y.label) << "\n"
         << "set grid\n"
         << "set bmargin 5\n"
         << "set key at screen 0.5, screen 0.015 center bottom horizontal\n";
  if (picture.x.log) script << "set logscale x\nset format x '%g'\n";
  if (picture.y.log) script << "set logscale y\nset format y '%g'\n";
  for (const std::string& setting : picture.settings) script << setting << "\n";
  script << "plot " << picture.plot << "\n"
         << "set terminal svg size " << size
         << " noenhanced font \"sans,10\" background rgb 'white'\n"
         << "set output out.'.svg'\n"
         << "replot\n"
         << "set output\n";
  return script.str();
}

bool LooksLikePng(const std::string& path) {
  static const std::string kSignature = "\x89PNG\r\n\x1a\n";
  return SizeOf(path) >= kSmallestPicture && ReadPrefix(path, kSignature.size()) == kSignature;
}

bool LooksLikeSvg(const std::string& path) {
  if (SizeOf(path) < kSmallestPicture) return false;
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  const std::string text = content.str();
  const std::size_t root = text.find("<svg");
  const std::size_t end = text.rfind("</svg>");
  return root != std::string::npos && end != std::string::npos && root < end;
}

bool PictureMaker::Make(const Picture& picture, std::string* error) {
  const std::string script_name = picture.name + ".gp";
  const std::string script_path = (fs::path(out_dir_) / script_name).string();
  if (!WriteFileAtomically(script_path, GnuplotScript(picture, size_), error)) return false;
  scripts_.push_back(script_path);
  if (gnuplot_.empty()) return true;

  const std::string temporary = picture.name + ".tmp";
  const std::string log_name = picture.name + ".gnuplot.log";
  const fs::path dir(out_dir_);
  const std::string png_tmp = (dir / (temporary + ".png")).string();
  const std::string svg_tmp = (dir / (temporary + ".svg")).string();
  const std::string log_path = (dir / log_name).string();
  // The names are made of SafeFileWord characters, so only the two paths need quoting.
  const std::string command = "cd " + ShellQuote(out_dir_) + " && " + ShellQuote(gnuplot_) +
                              " -e \"out='" + temporary + "'\" " + script_name +
                              " < /dev/null > " + log_name + " 2>&1";
  const int status = std::system(command.c_str());
  const bool valid = status == 0 && LooksLikePng(png_tmp) && LooksLikeSvg(svg_tmp);
  if (!valid) {
    std::string message = MessageOf(log_path, script_name);
    if (message.empty())
      message = status == 0 ? "the pictures it wrote are empty or incomplete"
                            : "it ended with status " + std::to_string(status);
    *error = FileError("draw", script_path, 0, "gnuplot: " + message);
    RemoveQuietly(png_tmp);
    RemoveQuietly(svg_tmp);
    RemoveQuietly(log_path);
    return false;
  }
  RemoveQuietly(log_path);
  for (const char* extension : {".png", ".svg"}) {
    const std::string from = (dir / (temporary + extension)).string();
    const std::string to = (dir / (picture.name + extension)).string();
    std::error_code code;
    fs::rename(from, to, code);
    if (code) {
      *error = FileError("write", to, 0, code.message());
      RemoveQuietly(png_tmp);
      RemoveQuietly(svg_tmp);
      return false;
    }
    made_.push_back(to);
  }
  return true;
}

}  // namespace tarne_plot
