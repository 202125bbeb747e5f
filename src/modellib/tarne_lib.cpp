// Placeholder implementation so that every caller links; replaced by the stand-in library.
#include "modellib/tarne_lib.h"

#include <cstring>

namespace tarne {

mpi_setup::mpi_setup() = default;
mpi_setup::~mpi_setup() = default;
void mpi_setup::SetupPartitions(long) {}
void mpi_setup::communicate_across_partition(long, double*) {}
double* mpi_setup::communicate_through_partitions(long n, double* values) {
  double* out = new double[n];
  std::memcpy(out, values, sizeof(double) * static_cast<size_t>(n));
  return out;
}

replace_io::replace_io() = default;
replace_io::~replace_io() = default;
void replace_io::SetLinenum(long line) { linenum_ = line; }
void replace_io::SetBatchMode(int mode) { batch_mode_ = mode; }
void replace_io::SetBatchNum(long number) { batch_num_ = number; }
bool replace_io::getGopenName(const char* name, const char*, char* out, std::size_t out_size,
                              bool) const {
  if (std::strlen(name) + 1 > out_size) return false;
  std::strcpy(out, name);
  return true;
}
void replace_io::WriteFileHeader(std::FILE*) const {}
void replace_io::SetProjectPath(const char*) {}

gFILE::gFILE(const replace_io* settings) : settings_(settings) {}
gFILE::~gFILE() { close(); }
bool gFILE::open(const char* name, const char* mode) {
  close();
  fp = std::fopen(name, mode);
  return fp != nullptr;
}
void gFILE::close() {
  if (fp != nullptr) std::fclose(fp);
  fp = nullptr;
}

observed_data::observed_data() = default;
observed_data::~observed_data() = default;
int observed_data::read_observed_weighted_peakvol(const char*) { return 0; }
void observed_data::print_results(long, long, long, long, long, long, long, tarne_sim*) {}
void observed_data::clear() {}

tarne_sim::tarne_sim(mpi_setup* partition) : partition_(partition) {}
tarne_sim::~tarne_sim() = default;
int tarne_sim::main_tarne(const char*, run_results*, const char*) { return 0; }
double tarne_sim::main_calib(const char*, const char*, double*, observed_data*, long,
                             const char*, long) {
  return 0.0;
}
void tarne_sim::WriteFileHeader(std::FILE*) const {}

}  // namespace tarne

int daGetLine_noreplace(char*, std::size_t, tarne::gFILE*) { return 0; }
int daReadString(char*, char*, std::size_t) { return 0; }
int daReadInt(char*, int*) { return 0; }
int daReadDouble(char*, double*) { return 0; }
void caReadVARNOKProjectPath(const char*, tarne::replace_io*) {}
void d_alloc(double** out, long n, const char*) { *out = new double[n](); }
void l_alloc(int** out, long n, const char*) { *out = new int[n](); }
void d2_alloc(long, long, double*** out, const char*) { *out = nullptr; }
void d2_free(double**) {}
