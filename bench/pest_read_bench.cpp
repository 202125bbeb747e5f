// Times the PEST readers on large problems: a control file with 50 000 observations, and an
// instruction file with 50 000 observations over a 50 000-line model output file. Prints the
// figures; asserts nothing.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "pest/control_file.h"
#include "pest/instruction_files.h"
#include "pest/problem.h"

namespace {

constexpr int kObservations = 50000;
constexpr int kParameters = 10;

double MillisecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
      .count();
}

bool WriteText(const char* name, const std::string& text) {
  std::FILE* file = std::fopen(name, "wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  return std::fclose(file) == 0 && written;
}

// A complete control file: ten parameters in one group, 50 000 observations in two groups,
// one template and one instruction file, no prior information.
std::string ControlFileText() {
  std::string text =
      "pcf\n* control data\nrestart estimation\n" + std::to_string(kParameters) + " " +
      std::to_string(kObservations) +
      " 1 0 2\n1 1 single point 1 0 0\n5.0 2.0 0.3 0.03 10\n3.0 3.0 0.001 0\n0.1 noaui\n"
      "30 0.01 3 3 0.01 3\n1 1 1\n0 0 1.1 1\n0.001\ncatchment.prj\n"
      "* parameter groups\ng1 relative 0.01 0.0 switch 2.0 parabolic\n* parameter data\n";
  char line[160];
  for (int k = 1; k <= kParameters; ++k) {
    std::snprintf(line, sizeof line, "p%d log factor %d.0 0.5 100.0 g1 1.0 0.0 1\n", k, k);
    text += line;
  }
  text += "* observation groups\nheads\nflows\n* observation data\n";
  for (int k = 1; k <= kObservations; ++k) {
    std::snprintf(line, sizeof line, "obs%d %.6f 1.0 %s\n", k, k * 0.001,
                  k % 2 == 0 ? "heads" : "flows");
    text += line;
  }
  text += "* model command line\nprebatch.bat\ntrue\n* model input/output\n"
          "model.tpl model.in\nbench.ins bench.out\n* prior information\n";
  return text;
}

int BenchControlFile() {
  if (!WriteText("bench.pst", ControlFileText())) return 1;
  ProblemRecord record;
  const auto start = std::chrono::steady_clock::now();
  const short status = ReadControlFile(record, "bench.pst");
  const double elapsed = MillisecondsSince(start);
  std::printf("control file, %d observations: %.1f ms (status %d, NOBS %d)\n", kObservations,
              elapsed, status, record.NOBS);
  return status;
}

// The output holds a title, a marker line and one "name value" line per observation; the
// instruction file finds the marker and reads every value by a mix of non-fixed and fixed
// reads, with the names in upper case so that the case forms are exercised.
bool WriteInstructionProblem(ProblemRecord& record) {
  std::string output = "Model output\nRESULTS\n";
  std::string instructions = "pif #\n#RESULTS#\n";
  record.NOBS = kObservations;
  record.observations.resize(kObservations + 1);
  char line[128];
  for (int k = 1; k <= kObservations; ++k) {
    std::snprintf(record.observations[k].OBSNME, kObsNameField, "obs%d", k);
    std::snprintf(line, sizeof line, "%12.5f obs%d\n", k * 0.001, k);
    output += line;
    if (k % 2 == 0) {
      std::snprintf(line, sizeof line, "l1 !OBS%d!\n", k);
    } else {
      std::snprintf(line, sizeof line, "l1 [OBS%d]1:12\n", k);
    }
    instructions += line;
  }
  record.NINSFLE = 1;
  record.instructions.resize(2);
  std::snprintf(record.instructions[1].INSFLE, kTextField, "bench.ins");
  std::snprintf(record.instructions[1].OUTFLE, kTextField, "bench.out");
  return WriteText("bench.ins", instructions) && WriteText("bench.out", output);
}

int BenchInstructionFile() {
  ProblemRecord record;
  if (!WriteInstructionProblem(record)) return 1;
  FileHandleTable handles;
  if (OpenInstructionFiles(record, handles) != 0) return 1;
  const auto start = std::chrono::steady_clock::now();
  const short status = ReadModelOutput(record, 1, kBaseSlot, handles);
  const double elapsed = MillisecondsSince(start);
  const double last = record.observations[kObservations].simulated[kBaseSlot];
  std::printf("instruction file, %d observations over a %d-line output: %.1f ms (status %d, "
              "last value %.3f)\n",
              kObservations, kObservations + 2, elapsed, status, last);
  CloseInstructionFiles(record, handles);
  return status;
}

}  // namespace

int main() {
  char directory[] = "/tmp/tarne_pest_read_bench_XXXXXX";
  if (mkdtemp(directory) == nullptr || chdir(directory) != 0) {
    std::perror("bench directory");
    return 1;
  }
  const int control_status = BenchControlFile();
  const int status = BenchInstructionFile();
  for (const char* name : {"bench.pst", "tarne.in"}) std::remove(name);
  std::remove("bench.ins");
  std::remove("bench.out");
  if (chdir("/") == 0) rmdir(directory);
  return control_status != 0 ? control_status : status;
}
