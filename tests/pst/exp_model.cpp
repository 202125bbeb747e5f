// The model of the import tests: y = a exp(-b x) at x = 1 .. 10. It reads a and b from lines
// "name = value" of "model.in" or, when that file is absent, of "a.in" and "b.in" (the
// two-template layout), and writes the ten values to "model.out", the first five to
// "out1.txt" and the last five to "out2.txt", one "x y" pair a line.
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

// Reads every "name = value" line of path into a or b; false when the file is missing.
bool ReadValues(const char* path, double* a, double* b) {
  std::FILE* file = std::fopen(path, "r");
  if (file == nullptr) return false;
  char name[64];
  double value = 0.0;
  while (std::fscanf(file, " %63s = %lf", name, &value) == 2) {
    if (std::strcmp(name, "a") == 0) *a = value;
    if (std::strcmp(name, "b") == 0) *b = value;
  }
  std::fclose(file);
  return true;
}

bool WriteValues(const char* path, double a, double b, int first, int last) {
  std::FILE* file = std::fopen(path, "w");
  if (file == nullptr) return false;
  for (int x = first; x <= last; ++x) std::fprintf(file, "%d %.12e\n", x, a * std::exp(-b * x));
  return std::fclose(file) == 0;
}

}  // namespace

int main() {
  double a = NAN, b = NAN;
  if (!ReadValues("model.in", &a, &b) && !(ReadValues("a.in", &a, &b) && ReadValues("b.in", &a, &b))) {
    std::fprintf(stderr, "model: no input file\n");
    return 1;
  }
  if (std::isnan(a) || std::isnan(b)) {
    std::fprintf(stderr, "model: a or b is missing\n");
    return 1;
  }
  const bool written = WriteValues("model.out", a, b, 1, 10) && WriteValues("out1.txt", a, b, 1, 5) &&
                       WriteValues("out2.txt", a, b, 6, 10);
  return written ? 0 : 1;
}
