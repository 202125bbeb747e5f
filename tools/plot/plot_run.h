// The pictures of one run directory, by kind of run: Monte Carlo (dotty plots), SCE
// (convergence and parameter traces), Levenberg-Marquardt and the global methods (phi per
// iteration, measured against calculated, residuals), and for hydro projects the simulated
// hydrograph over the observed one. Called by the tarne-plot command (plot_main.cpp).
#pragma once

#include <string>
#include <vector>

#include "picture.h"
#include "record_file.h"
#include "run_files.h"

namespace tarne_plot {

struct PlotRequest {
  std::string run_dir;     // the working directory of the run
  std::string out_dir;     // where data files, scripts and pictures go
  std::string run_name;    // shown in every title (the run directory's name)
  std::string tarne;       // tarne program for the best-parameter run of a hydro project
  std::string input;       // Monte Carlo or SCE input file named by the user, or ""
  std::string case_name;   // control file (without ".pst") named by the user, or ""
};

// What happened, one line each. Errors make the exit status non-zero.
struct PlotReport {
  std::vector<std::string> errors;
  std::vector<std::string> notes;
  std::vector<std::string> data_files;
};

// Which kinds of run the directory holds, from the files present.
bool HasMonteCarloRun(const PlotRequest& request);
bool HasSceRun(const PlotRequest& request);
bool HasLevenbergMarquardtRun(const PlotRequest& request);

void PlotMonteCarlo(const PlotRequest& request, PictureMaker& maker, PlotReport& report);
void PlotSce(const PlotRequest& request, PictureMaker& maker, PlotReport& report);
void PlotLevenbergMarquardt(const PlotRequest& request, PictureMaker& maker,
                            PlotReport& report);

// Shared by the builders.

// Writes a data file into the output folder and records it; false with an error reported.
bool WriteDataFile(const PlotRequest& request, const std::string& name,
                   const std::string& content, PlotReport& report);
// Makes a picture and reports its failure.
void MakePicture(PictureMaker& maker, const Picture& picture, PlotReport& report);
// A path relative to the run directory, as written in the run's input files.
std::string RunPath(const PlotRequest& request, const std::string& name);

// The best parameter set of a Monte Carlo or SCE calibration, run once more through tarne to
// get its hydrograph. prefix names the files ("mc", "sce"); what describes the set in the
// title ("best set of best.out").
struct BestHydroRun {
  std::string prefix;
  std::string what;
  const CalibrationInput* input = nullptr;
  const BestSet* best = nullptr;
};
void PlotBestHydrograph(const PlotRequest& request, const BestHydroRun& run, PictureMaker& maker,
                        PlotReport& report);

// The hydrograph left by the final model run of a Levenberg-Marquardt run on a hydro project,
// with the measured values of the record's results section placed on it in time through the
// instruction file that reads the hydrograph. Draws nothing for other kinds of project.
void PlotRecordHydrograph(const PlotRequest& request, const ControlFileInfo& control,
                          const RecordFile& record, std::size_t run_index,
                          const std::string& what, PictureMaker& maker, PlotReport& report);

// The axis label of a calibrated parameter: its name and, for a hydro project, its unit.
std::string ParameterLabel(const std::string& name, const ProjectFile* project);
// The label of the objective of a Monte Carlo or SCE calibration of the project.
std::string ObjectiveLabel(const ProjectFile* project);

}  // namespace tarne_plot
