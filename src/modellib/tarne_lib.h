// The model library interface: the only operations the driver and the calibration tools call.
// This stand-in library implements them with three small model kinds (hydro, function,
// external); a real TARNE library can replace it without any change to its callers.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace tarne {

class tarne_sim;

// Something a mode attaches to the partition object while it runs, so that code that is
// handed only the partition object finds it (the calibration tools' spreading of model runs
// over the processes). Owned by whoever attaches it.
class partition_attachment {
 public:
  virtual ~partition_attachment() = default;
};

// Longest path the library builds for a file it opens (getGopenName, gFILE).
constexpr std::size_t kPathMax = 4096;

// The partition object: one per process. It groups the processes of a run into partitions
// of equal size; each partition works on one thing at a time (one Monte Carlo sample, one
// model run), its leader (rank_in_partition 0) draws, logs and reports for it. Built with MPI
// and started by an MPI launcher (mpirun), the processes are MPI's; otherwise the process
// runs alone: rank 0, one partition of one member. From construction on every process is its
// own partition. The two exchange calls are virtual so that a test can replace them.
class mpi_setup {
 public:
  mpi_setup();
  virtual ~mpi_setup();
  mpi_setup(const mpi_setup&) = delete;
  mpi_setup& operator=(const mpi_setup&) = delete;

  // Called by every process with the same count, before any model object is made: count is
  // the number of processes in each partition (1: every process its own partition;
  // total_threads: one partition of all). Under MPI a count that does not divide the number
  // of processes is refused with a message, and every process then ends with status 1; a
  // process that runs alone makes one partition whatever the count.
  virtual void SetupPartitions(long count);
  // Every member of a partition calls this with the same n; afterwards each holds the
  // leader's n values.
  virtual void communicate_across_partition(long n, double* values);
  // Partition leaders only, all of them: returns new double[n * partition_count], the n
  // values of each partition in partition order, on every leader. The caller deletes it
  // with delete[].
  virtual double* communicate_through_partitions(long n, double* values);

  // Messages between two single processes of the run, with which the calibration tools hand
  // model runs from rank 0 to the others. No call waits: a posted message goes out in the
  // background of later calls, and the messages from one process to another arrive in the
  // order they were posted. A process that runs alone has nobody to message: nothing is
  // posted and nothing arrives. The messages do not disturb the exchange calls above.
  virtual void post_message(long to, int tag, const std::string& bytes);
  // Takes the next message that has arrived for this process, if any.
  virtual bool take_message(long* from, int* tag, std::string* bytes);
  // True while messages this process posted are still on their way.
  virtual bool messages_in_flight();

  long process_rank = 0;       // 0 = master process
  long total_threads = 1;      // threads over all processes (one thread per process)
  long rank_in_partition = 0;  // 0 = partition leader
  long partition_count = 1;
  long partition_id = 0;
  long partition_size = 1;     // members per partition; only handed to print_results
  partition_attachment* attachment = nullptr;  // see partition_attachment; not owned

 private:
  // The MPI communicators of the partition and of the partition leaders; null while the
  // process runs alone.
  struct Communicators;
  std::unique_ptr<Communicators> communicators_;
  // The library's own exchanges within a partition during one model run.
  friend class PartitionExchange;
};

// Settings of parameter replacement and of where the library opens its files.
class replace_io {
 public:
  replace_io();
  virtual ~replace_io();

  void SetLinenum(long line);     // line of the value file used in batch mode (from 0)
  void SetBatchMode(int mode);    // 1 = batch mode
  void SetBatchNum(long number);  // batch number carried by the output file names
  long GetLinenum() const { return linenum_; }
  int GetBatchMode() const { return batch_mode_; }
  long GetBatchNum() const { return batch_num_; }

  // Writes into out (out_size bytes) the path under which the library opens name: relative
  // names are taken relative to the recorded project location when relative is true.
  // Returns false when the path does not fit.
  bool getGopenName(const char* name, const char* mode, char* out, std::size_t out_size,
                    bool relative) const;
  // Writes the column headings of the calibrated parameters ("name\t" each).
  virtual void WriteFileHeader(std::FILE* file) const;

  // Directory of the project file, with a trailing '/', or empty.
  const char* ProjectPath() const { return project_path_; }
  void SetProjectPath(const char* path);

 protected:
  long linenum_ = 0;
  int batch_mode_ = 0;
  long batch_num_ = 0;
  char project_path_[kPathMax] = {};
  // False when the recorded project location did not fit in project_path_; relative
  // names then cannot be resolved and getGopenName refuses them.
  bool project_path_ok_ = true;
};

// A file opened through the library's name resolution. The driver writes through fp,
// which is null while no file is open. The handle closes itself on destruction.
class gFILE {
 public:
  explicit gFILE(const replace_io* settings = nullptr);
  ~gFILE();
  gFILE(const gFILE&) = delete;
  gFILE& operator=(const gFILE&) = delete;

  bool open(const char* name, const char* mode);
  // Opens name for reading, through the same name resolution, when it names a regular file
  // of at most max_bytes bytes (see OpenInputFile); false, with the reason, otherwise.
  bool open_input(const char* name, std::uint64_t max_bytes, std::string* reason);
  void close();

  std::FILE* fp = nullptr;

 private:
  const replace_io* settings_;
};

// Observations a model is compared with: time, value and weight per row.
class observed_data {
 public:
  observed_data();
  ~observed_data();
  observed_data(const observed_data&) = delete;
  observed_data& operator=(const observed_data&) = delete;

  // Reads "time value weight" rows ('#' starts a comment). Returns the number of rows read
  // (0 is valid), or -1 when the file cannot be opened or a row is malformed.
  int read_observed_weighted_peakvol(const char* path);
  // One short progress line per evaluation on standard output. With several partitions the
  // lines go out in batches of whole lines, at most half a second late.
  void print_results(long process_rank, long partition_id, long rank_in_partition,
                     long partition_size, long partition_count, long runs,
                     long runs_per_partition, tarne_sim* sim);

  long count() const { return static_cast<long>(times_.size()); }
  const double* times() const { return times_.data(); }
  const double* values() const { return values_.data(); }
  const double* weights() const { return weights_.data(); }

 private:
  void clear();
  std::vector<double> times_;
  std::vector<double> values_;
  std::vector<double> weights_;
  long evaluations_ = 0;
  // Progress lines not yet written, and when they were last written.
  std::string pending_;
  std::chrono::steady_clock::time_point last_flush_;
};

// Result record of main_tarne; the driver always passes null.
struct run_results;

// One model run. Made fresh for every run and destroyed after it.
class tarne_sim : public replace_io {
 public:
  explicit tarne_sim(mpi_setup* partition);
  ~tarne_sim() override;
  tarne_sim(const tarne_sim&) = delete;
  tarne_sim& operator=(const tarne_sim&) = delete;

  // Runs one project. Returns 0 on success, non-zero after a reported failure.
  int main_tarne(const char* project_file, run_results* results, const char* argument);
  // Runs the project with parameters[1..n] (parameters[0] unused) put in place of the
  // names listed in the replacement list second_path, and returns the objective value
  // (smaller is better).
  double main_calib(const char* second_path, const char* project_file, double* parameters,
                    observed_data* observed, long n, const char* tag, long rank);

  // Reads the project file, the replacement list second_path and the input files every
  // calibration run of the project reads (for the hydro kind its forcing file), without
  // running the model. Returns 0, or 1 after a message naming the file and the reason. A
  // calibration spread over several processes asks each of them before its first sample.
  int check_calib_inputs(const char* second_path, const char* project_file);
  void WriteFileHeader(std::FILE* file) const override;
  double last_objective() const { return last_objective_; }

 private:
  mpi_setup* partition_;  // the members of its partition run the model together
  double last_objective_ = 0.0;
  // Names of the calibrated parameters of the last main_calib, "name\t" each.
  std::string header_;
};

}  // namespace tarne

// Line and item readers and array allocation of the library.

// Reads the next line of file (without its line end) into line (size bytes). A longer line
// is cut at size - 1 characters and the rest of it is skipped. Returns 1 when a line was
// read, kLineCut when a line was read and cut, 0 at end of file.
int daGetLine_noreplace(char* line, std::size_t size, tarne::gFILE* file);
constexpr int kLineCut = 2;
// Take the next blank-separated item off the front of line (line is shifted in place) and
// return non-zero when one was read and converted. daReadString refuses (returns 0) an
// item that does not fit in out_size bytes.
int daReadString(char* line, char* out, std::size_t out_size);
int daReadInt(char* line, int* out);
int daReadDouble(char* line, double* out);

// Records the directory of project_file in settings, for getGopenName.
void caReadVARNOKProjectPath(const char* project_file, tarne::replace_io* settings);

// n elements (0..n-1), zero-filled; released by the caller with delete[]. The label names
// the array in the message printed when the allocation fails (out is then null).
void d_alloc(double** out, long n, const char* label);
void l_alloc(int** out, long n, const char* label);
// rows x columns doubles, released with d2_free.
void d2_alloc(long rows, long columns, double*** out, const char* label);
void d2_free(double** m);
