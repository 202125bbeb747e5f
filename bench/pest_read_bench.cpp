// Times the PEST readers on large problems: an instruction file with 50 000 observations
// over a 50 000-line model output file. Prints the figures; asserts nothing.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "pest/instruction_files.h"
#include "pest/problem.h"

namespace {

constexpr int kObservations = 50000;

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
  const int status = BenchInstructionFile();
  std::remove("bench.ins");
  std::remove("bench.out");
  if (chdir("/") == 0) rmdir(directory);
  return status;
}
