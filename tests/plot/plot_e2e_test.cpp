// End-to-end tests of tarne-plot: the real tarne runs a bundled example in a temporary copy,
// then tarne-plot draws its pictures. Each test checks that the data behind the pictures is
// what the run's own files say (read independently here), and then that every picture is a
// PNG and an SVG of a size that holds a plot; without gnuplot that last part is skipped.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "plot_test_util.h"

namespace fs = std::filesystem;

namespace {

using plot_test::DataRows;
using plot_test::ExpectNoTemporaryFiles;
using plot_test::ExpectPicture;
using plot_test::FilesEndingWith;
using plot_test::GnuplotInstalled;
using plot_test::LinesStartingWith;
using plot_test::Number;
using plot_test::PicturesSkipped;
using plot_test::RunPlot;
using testing_support::CopyIntoCwd;
using testing_support::ReadFile;
using testing_support::RunTarne;
using testing_support::SourcePath;
using testing_support::SplitLines;
using testing_support::TempDir;
using testing_support::WriteFile;

const std::vector<std::string> kHydroParameters = {"soil_capacity", "shape", "fast_k",
                                                    "slow_k",        "split", "velocity"};

std::vector<std::string> Words(const std::string& line) {
  std::vector<std::string> words;
  std::istringstream in(line);
  std::string word;
  while (in >> word) words.push_back(word);
  return words;
}

std::vector<std::string> Tabs(const std::string& line) {
  std::vector<std::string> fields;
  std::istringstream in(line);
  std::string field;
  while (std::getline(in, field, '\t')) fields.push_back(field);
  return fields;
}

// The objective of a hydro calibration, recomputed from the hydrograph and observation data
// files of a picture: the weighted mean of the squared differences at the observation times.
double HydroObjective(const std::string& prefix) {
  std::map<double, double> simulated;
  for (const auto& row : DataRows("plots/" + prefix + "_hydrograph.dat"))
    simulated[Number(row[0])] = Number(row[1]);
  double sum = 0.0, weights = 0.0;
  for (const auto& row : DataRows("plots/" + prefix + "_hydrograph_observed.dat")) {
    const auto found = simulated.find(Number(row[0]));
    if (found == simulated.end()) {
      ADD_FAILURE() << "no simulated value at time " << row[0];
      continue;
    }
    const double difference = found->second - Number(row[1]);
    sum += Number(row[2]) * difference * difference;
    weights += Number(row[2]);
  }
  return sum / weights;
}

class PlotExampleTest : public ::testing::Test {
 protected:
  // Copies examples/<name> into the temporary directory and works inside the copy.
  void Enter(const std::string& example) {
    CopyIntoCwd(SourcePath("examples/" + example));
    fs::current_path(example);
  }
  void Tarne(const std::vector<std::string>& args) {
    const auto run = RunTarne(args);
    ASSERT_EQ(run.exit_code, 0) << run.out << run.err;
  }
  void Plot(const std::vector<std::string>& args) {
    const auto run = RunPlot(args);
    ASSERT_EQ(run.exit_code, 0) << run.out << run.err;
  }
  void ExpectPictures(const std::vector<std::string>& names) {
    for (const std::string& name : names) EXPECT_TRUE(fs::exists("plots/" + name + ".gp")) << name;
    ExpectNoTemporaryFiles("plots");
    if (!GnuplotInstalled()) GTEST_SKIP() << PicturesSkipped();
    for (const std::string& name : names) ExpectPicture("plots", name);
  }

  TempDir temp_;
};

TEST_F(PlotExampleTest, MonteCarloDottyPlotsShowEveryLoggedSampleAndTheBestOfBestOut) {
  Enter("hydro");
  Tarne({"-m40", "mc.in"});
  Plot({"."});

  const auto log = SplitLines(ReadFile("log_file_p0.log"));
  ASSERT_EQ(log.size(), 41u);
  const auto samples = DataRows("plots/mc_samples.dat");
  ASSERT_EQ(samples.size(), 40u);
  for (std::size_t i = 0; i < samples.size(); ++i) {
    const auto fields = Tabs(log[i + 1]);
    ASSERT_EQ(samples[i].size(), 8u);
    ASSERT_EQ(fields.size(), 7u);
    EXPECT_EQ(samples[i][0], "0") << "partition";
    for (std::size_t k = 0; k < 7; ++k)
      EXPECT_EQ(Number(samples[i][k + 1]), Number(fields[k])) << "sample " << i << " column " << k;
  }

  // The marked point is best.out's set, which is a logged sample of the smallest magnitude.
  const auto best_words = Words(ReadFile("best.out"));
  const auto best = DataRows("plots/mc_best.dat");
  ASSERT_EQ(best.size(), 1u);
  ASSERT_EQ(best[0].size(), 7u);
  ASSERT_EQ(best_words.size(), 7u);
  EXPECT_EQ(Number(best[0][0]), Number(best_words[0].substr(0, best_words[0].size() - 1)));
  for (std::size_t k = 1; k < 7; ++k) EXPECT_EQ(Number(best[0][k]), Number(best_words[k]));
  const auto is_best = [&](const std::vector<std::string>& row) {
    for (std::size_t k = 1; k < 7; ++k)
      if (std::fabs(Number(row[k + 1]) - Number(best[0][k])) > 1e-6 * std::fabs(Number(best[0][k])))
        return false;
    return true;
  };
  EXPECT_TRUE(std::any_of(samples.begin(), samples.end(), is_best));
  for (const auto& row : samples)
    EXPECT_GE(std::fabs(Number(row[1])), std::fabs(Number(best[0][0])));

  // The hydrograph of the best set reproduces its objective.
  EXPECT_EQ(DataRows("plots/mc_hydrograph.dat").size(), 730u);
  EXPECT_EQ(DataRows("plots/mc_hydrograph_observed.dat").size(), 730u);
  const double objective = Number(best[0][0]);
  EXPECT_NEAR(HydroObjective("mc"), objective, 1e-5 + 1e-4 * objective);

  const std::string script = ReadFile("plots/mc_dotty_6_velocity.gp");
  EXPECT_NE(script.find("set xlabel 'velocity (m/s)'"), std::string::npos) << script;
  EXPECT_NE(script.find("(m³/s)²"), std::string::npos) << script;
  EXPECT_NE(script.find("40 samples"), std::string::npos) << script;

  std::vector<std::string> pictures = {"mc_hydrograph"};
  for (std::size_t i = 0; i < kHydroParameters.size(); ++i)
    pictures.push_back("mc_dotty_" + std::to_string(i + 1) + "_" + kHydroParameters[i]);
  ExpectPictures(pictures);
}

TEST_F(PlotExampleTest, SceConvergenceAndTracesFollowTheEvaluationLog) {
  Enter("hydro");
  Tarne({"-c", "sce.in"});
  Tarne({"-m10", "mc.in"});
  Plot({"--kind", "sce", "."});
  EXPECT_TRUE(FilesEndingWith("plots", {".gp"}).size() == 8u) << "only the SCE pictures";

  const auto log = SplitLines(ReadFile("sce_log_file.txt"));
  const auto evaluations = DataRows("plots/sce_evaluations.dat");
  ASSERT_EQ(evaluations.size() + 1, log.size());
  double previous_best = HUGE_VAL;
  for (std::size_t i = 0; i < evaluations.size(); ++i) {
    const auto words = Words(log[i + 1]);
    ASSERT_EQ(words.size(), 10u);
    ASSERT_EQ(evaluations[i].size(), 9u);
    EXPECT_EQ(Number(evaluations[i][0]), static_cast<double>(i + 1));
    EXPECT_EQ(Number(evaluations[i][1]), Number(words[1]));
    EXPECT_EQ(Number(evaluations[i][2]), Number(words[2]));
    for (std::size_t k = 0; k < 6; ++k)
      EXPECT_EQ(Number(evaluations[i][3 + k]), Number(words[4 + k]));
    EXPECT_LE(Number(evaluations[i][2]), previous_best) << "the best so far never rises";
    previous_best = Number(evaluations[i][2]);
  }

  const auto best_lines = SplitLines(ReadFile("sce_best.out"));
  const auto final_line = Words(SplitLines(ReadFile("sce_output.out")).back());
  const auto best = DataRows("plots/sce_best.dat");
  ASSERT_EQ(best.size(), 1u);
  ASSERT_EQ(best[0].size(), 7u);
  ASSERT_EQ(best_lines.size(), 7u);
  EXPECT_EQ(Number(best[0][0]), Number(final_line[0]));
  for (std::size_t k = 1; k < 7; ++k) EXPECT_EQ(Number(best[0][k]), Number(best_lines[k]));
  const double objective = Number(best[0][0]);
  EXPECT_NEAR(HydroObjective("sce"), objective, 1e-5 + 1e-4 * objective);

  const std::string trace = ReadFile("plots/sce_trace_3_fast_k.gp");
  EXPECT_NE(trace.find("set ylabel 'fast_k (h)'"), std::string::npos) << trace;
  EXPECT_NE(trace.find("sce.in"), std::string::npos) << "the title names the run";
  EXPECT_NE(ReadFile("plots/sce_convergence.gp").find("set logscale y"), std::string::npos);

  // Without --kind every run found in the directory is drawn.
  Plot({"."});
  EXPECT_TRUE(fs::exists("plots/mc_dotty_1_soil_capacity.gp"));

  std::vector<std::string> pictures = {"sce_convergence", "sce_hydrograph"};
  for (std::size_t i = 0; i < kHydroParameters.size(); ++i)
    pictures.push_back("sce_trace_" + std::to_string(i + 1) + "_" + kHydroParameters[i]);
  ExpectPictures(pictures);
}

// The rows of the record's observation table ("Observations ----->").
std::vector<std::vector<std::string>> ObservationTable(const std::vector<std::string>& lines,
                                                       std::size_t from) {
  std::vector<std::vector<std::string>> rows;
  std::size_t i = from;
  while (i < lines.size() && lines[i].rfind("Observation ", 0) != 0) ++i;
  for (i += 2; i < lines.size() && !Words(lines[i]).empty(); ++i) rows.push_back(Words(lines[i]));
  return rows;
}

TEST_F(PlotExampleTest, LevenbergMarquardtPicturesFollowTheRecordFile) {
  Enter("pest");
  Tarne({"-slm", "catchment"});
  Plot({"."});

  const std::string record = ReadFile("catchment.rec");
  const auto starting =
      LinesStartingWith(record, "Starting objective function value for this iteration\t: ");
  const auto final_phi =
      LinesStartingWith(record, "Sum of squared weighted residuals (ie phi)\t\t: ");
  const auto phi = DataRows("plots/lm_phi.dat");
  ASSERT_FALSE(starting.empty());
  ASSERT_EQ(final_phi.size(), 1u);
  ASSERT_EQ(phi.size(), starting.size() + 1);
  for (std::size_t i = 0; i < starting.size(); ++i) {
    EXPECT_EQ(Number(phi[i][0]), static_cast<double>(i + 1));
    EXPECT_EQ(Number(phi[i][1]), Number(starting[i]));
  }
  EXPECT_EQ(Number(phi.back()[1]), Number(final_phi[0]));
  const auto trial_lines = LinesStartingWith(record, "\tPhi =\t");
  const auto trials = DataRows("plots/lm_trials.dat");
  ASSERT_EQ(trials.size(), trial_lines.size());
  for (std::size_t i = 0; i < trials.size(); ++i)
    EXPECT_EQ(Number(trials[i][2]), Number(Words(trial_lines[i])[0]));

  const auto table = ObservationTable(SplitLines(record), 0);
  const auto observations = DataRows("plots/lm_observations.dat");
  ASSERT_EQ(table.size(), 120u);
  ASSERT_EQ(observations.size(), table.size());
  for (std::size_t i = 0; i < table.size(); ++i) {
    EXPECT_EQ(observations[i][1], table[i][0]);
    for (std::size_t k = 1; k <= 4; ++k)
      EXPECT_EQ(Number(observations[i][k + 1]), Number(table[i][k])) << table[i][0];
    EXPECT_NEAR(Number(observations[i][4]),
                Number(observations[i][2]) - Number(observations[i][3]), 1e-12);
  }

  // The instruction file reads line k of hydrograph.out into observation k: the measured
  // values stand at the hydrograph's time of that line.
  const auto hydrograph = SplitLines(ReadFile("hydrograph.out"));
  const auto simulated = DataRows("plots/lm_hydrograph.dat");
  const auto observed = DataRows("plots/lm_hydrograph_observed.dat");
  ASSERT_EQ(simulated.size(), hydrograph.size());
  ASSERT_EQ(observed.size(), table.size());
  for (std::size_t i = 0; i < hydrograph.size(); ++i) {
    EXPECT_EQ(Number(simulated[i][0]), Number(Words(hydrograph[i])[0]));
    EXPECT_EQ(Number(simulated[i][1]), Number(Words(hydrograph[i])[1]));
  }
  for (std::size_t i = 0; i < observed.size(); ++i) {
    EXPECT_EQ(Number(observed[i][0]), Number(Words(hydrograph[i])[0]));
    EXPECT_EQ(Number(observed[i][1]), Number(table[i][1]));
  }
  EXPECT_NE(ReadFile("plots/lm_phi.gp").find("set logscale y"), std::string::npos);
  ExpectPictures({"lm_phi", "lm_fit", "lm_residuals", "lm_hydrograph"});
}

TEST_F(PlotExampleTest, MultistartPhiShowsEverySearchAndTheFitOfTheLowestPhi) {
  Enter("global");
  Tarne({"-ms", "sine"});
  Plot({"."});

  // Eight samples and eight local searches stand in the case's record; the samples (runs
  // without iterations) are not searches.
  const auto phi = ReadFile("plots/lm_phi.dat");
  EXPECT_EQ(LinesStartingWith(phi, "# search ").size(), 8u);
  const auto finals = DataRows("plots/lm_phi_final.dat");
  ASSERT_EQ(finals.size(), 8u);
  double lowest = HUGE_VAL;
  for (const auto& row : finals) lowest = std::min(lowest, Number(row[2]));
  EXPECT_NEAR(lowest, 0.06201286, 1e-8);

  // The fit is that of the lowest phi: its weighted residuals add up to it.
  const auto observations = DataRows("plots/lm_observations.dat");
  ASSERT_EQ(observations.size(), 30u);
  double sum = 0.0;
  for (const auto& row : observations) {
    const double weighted = Number(row[4]) * Number(row[5]);
    sum += weighted * weighted;
  }
  EXPECT_NEAR(sum, lowest, 1e-6 * lowest);
  const std::string fit = ReadFile("plots/lm_fit.gp");
  EXPECT_NE(fit.find("multistart"), std::string::npos) << fit;
  EXPECT_NE(fit.find("local search 3 of 8 (lowest phi)"), std::string::npos) << fit;
  EXPECT_FALSE(fs::exists("plots/lm_hydrograph.gp")) << "not a hydro project";
  ExpectPictures({"lm_phi", "lm_fit", "lm_residuals"});
}

TEST_F(PlotExampleTest, WithoutGnuplotTheDataAndScriptsAreWrittenAndThePicturesSkipped) {
  Enter("hydro");
  Tarne({"-m20", "mc.in"});
  const auto run = RunPlot({"."}, /*hide_gnuplot=*/true);
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_NE(run.err.find("gnuplot was not found"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("apt-get install gnuplot-nox"), std::string::npos) << run.err;
  EXPECT_TRUE(FilesEndingWith("plots", {".png", ".svg"}).empty());
  EXPECT_EQ(FilesEndingWith("plots", {".gp"}).size(), 7u);
  EXPECT_EQ(DataRows("plots/mc_samples.dat").size(), 20u);
  EXPECT_EQ(DataRows("plots/mc_hydrograph.dat").size(), 730u);
  ExpectNoTemporaryFiles("plots");
}

}  // namespace
