// The library's line and item readers and its array allocation helpers.
#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include "modellib/tarne_lib.h"

int daGetLine_noreplace(char* line, std::size_t size, tarne::gFILE* file) {
  if (line == nullptr || size == 0) return 0;
  line[0] = '\0';
  if (file == nullptr || file->fp == nullptr) return 0;
  std::size_t length = 0;
  bool read_any = false;
  bool cut = false;
  int c;
  while ((c = std::getc(file->fp)) != EOF) {
    read_any = true;
    if (c == '\n') break;
    if (length + 1 < size) {
      line[length++] = static_cast<char>(c);
    } else if (c != '\r') {
      cut = true;  // a carriage return before the line end is no part of the line
    }
  }
  if (!read_any) return 0;
  if (length > 0 && line[length - 1] == '\r') --length;
  line[length] = '\0';
  return cut ? kLineCut : 1;
}

static char* SkipBlanks(char* p) {
  while (*p != '\0' && std::isspace(static_cast<unsigned char>(*p))) ++p;
  return p;
}

// An item ends at a blank, at the end of the line or where a '#' comment begins.
static bool EndsItem(const char* p) {
  return *p == '\0' || *p == '#' || std::isspace(static_cast<unsigned char>(*p));
}

// Removes everything before rest from line.
static void DropFront(char* line, const char* rest) {
  std::memmove(line, rest, std::strlen(rest) + 1);
}

int daReadString(char* line, char* out, std::size_t out_size) {
  if (line == nullptr || out == nullptr || out_size == 0) return 0;
  char* start = SkipBlanks(line);
  char* end = start;
  while (*end != '\0' && !std::isspace(static_cast<unsigned char>(*end))) ++end;
  const std::size_t length = static_cast<std::size_t>(end - start);
  if (length == 0 || length + 1 > out_size) return 0;
  std::memcpy(out, start, length);
  out[length] = '\0';
  DropFront(line, end);
  return 1;
}

int daReadInt(char* line, int* out) {
  if (line == nullptr || out == nullptr) return 0;
  char* start = SkipBlanks(line);
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(start, &end, 10);
  if (end == start || !EndsItem(end) || errno == ERANGE || value < INT_MIN || value > INT_MAX) {
    return 0;
  }
  *out = static_cast<int>(value);
  DropFront(line, end);
  return 1;
}

int daReadDouble(char* line, double* out) {
  if (line == nullptr || out == nullptr) return 0;
  char* start = SkipBlanks(line);
  char* end = nullptr;
  errno = 0;
  const double value = std::strtod(start, &end);
  if (end == start || !EndsItem(end) || !std::isfinite(value)) return 0;
  if (errno == ERANGE && std::fabs(value) > 1.0) return 0;
  *out = value;
  DropFront(line, end);
  return 1;
}

static void ReportAllocationFailure(const char* routine, const char* label) {
  std::fprintf(stderr, "allocation failure in %s(): %s\n", routine,
               label != nullptr ? label : "");
}

// Zero-filled array of n elements (at least one is allocated so that n = 0 still gives a
// pointer the caller can delete[]); null after a reported failure.
template <typename T>
static T* AllocateArray(long n, const char* routine, const char* label) {
  if (n < 0 || static_cast<unsigned long>(n) > PTRDIFF_MAX / sizeof(T)) {
    ReportAllocationFailure(routine, label);
    return nullptr;
  }
  T* array = new (std::nothrow) T[n > 0 ? static_cast<std::size_t>(n) : 1]();
  if (array == nullptr) ReportAllocationFailure(routine, label);
  return array;
}

void d_alloc(double** out, long n, const char* label) {
  if (out != nullptr) *out = AllocateArray<double>(n, "d_alloc", label);
}

void l_alloc(int** out, long n, const char* label) {
  if (out != nullptr) *out = AllocateArray<int>(n, "l_alloc", label);
}

// One block of rows x columns doubles with a table of row pointers; row 0 always points
// at the block so that d2_free can release it.
void d2_alloc(long rows, long columns, double*** out, const char* label) {
  if (out == nullptr) return;
  *out = nullptr;
  if (rows < 0 || columns < 0 ||
      (rows > 0 && static_cast<unsigned long>(columns) >
                       PTRDIFF_MAX / sizeof(double) / static_cast<unsigned long>(rows))) {
    ReportAllocationFailure("d2_alloc", label);
    return;
  }
  double** table = AllocateArray<double*>(rows, "d2_alloc", label);
  if (table == nullptr) return;
  double* block = AllocateArray<double>(rows * columns, "d2_alloc", label);
  if (block == nullptr) {
    delete[] table;
    return;
  }
  table[0] = block;
  for (long i = 1; i < rows; ++i) table[i] = block + i * columns;
  *out = table;
}

void d2_free(double** m) {
  if (m == nullptr) return;
  delete[] m[0];
  delete[] m;
}
