// The messages with which rank 0 hands model runs to the other processes, written into bytes
// and read back: what every process must know of the runs (RunSetup), what one run gives
// back (RunOutcome), and the waiting for a message. Used by run_spread.h and copy_run.h.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "modellib/tarne_lib.h"
#include "numeric/numeric.h"
#include "pest/console_capture.h"

// Message tags. From rank 0: prepare the working copy, run a share of a batch, stop a share,
// end, make a whole local search, give up the search under way. From the others: the copy is
// made (or why not), one run's outcome, the share is done, ended, a search is finished (or
// given up).
enum RunMessage {
  kPrepareCopy = 1,
  kRunShare,
  kStopShare,
  kEndWork,
  kCopyMade,
  kRunOutcome,
  kShareDone,
  kWorkEnded,
  kRunSearch,
  kStopSearch,
  kSearchDone,
};

// Writes numbers and texts into the bytes of a message. The processes of a run are taken to
// run on machines of one architecture: numbers travel as their bytes.
class MessageWriter {
 public:
  void Long(long value);
  void Double(double value);
  void Text(const std::string& text);
  // A one-based vector: its size, then its values.
  void Values(const dvector& values);
  const std::string& bytes() const { return bytes_; }

 private:
  std::string bytes_;
};

// Reads back what a MessageWriter wrote, in the same order. Every call returns false once
// the bytes run out (a garbled message), and so does every later one.
class MessageReader {
 public:
  explicit MessageReader(const std::string& bytes) : bytes_(bytes) {}
  bool Long(long* value);
  bool Double(double* value);
  bool Text(std::string* text);
  bool Values(dvector* values);
  bool good() const { return good_; }

 private:
  bool Take(void* out, std::size_t size);
  const std::string& bytes_;
  std::size_t at_ = 0;
  bool good_ = true;
};

// What every process needs to make the runs of a problem in its working copy.
struct RunSetup {
  std::string project;         // PROJFLE
  std::string post_command;    // POSTBATCH
  std::string first_argument;  // handed to the model library with every run
  std::vector<std::pair<std::string, std::string>> instructions;  // INSFLE, OUTFLE
  std::vector<std::string> observations;                          // names, in order
  std::vector<std::string> files;  // the files of a working copy (working_copy.h)
  std::vector<std::string> fingerprints;  // of the first (named) files as rank 0 sees them
};
std::string EncodeRunSetup(const RunSetup& setup);
bool DecodeRunSetup(const std::string& bytes, RunSetup* setup);

// What one run gives back, in the order in which one process would have met it: the console
// text up to the end of the model and the post-run command, whether they ran (then the run
// counts and prints its progress line), the console text of the output reading, the status
// (0, or that of the first failing step), the status of a process end met during the run
// (-1 for none), and the simulated values read, one per observation in order, NaN for an
// observation that no instruction read.
struct RunOutcome {
  ConsoleText before;
  bool model_ran = false;
  ConsoleText after;
  int status = 0;
  int ended = -1;
  std::vector<double> simulated;
};
void EncodeRunOutcome(const RunOutcome& outcome, MessageWriter* out);
bool DecodeRunOutcome(MessageReader* in, RunOutcome* outcome);

// A message taken from the partition object.
struct Message {
  long from = -1;
  int tag = 0;
  std::string bytes;
};
// Waits for the next message to this process, sleeping between looks so that a waiting
// process leaves the processor to those that compute.
Message WaitForMessage(tarne::mpi_setup& partition);
// Waits until every message this process posted is on its way.
void WaitUntilDelivered(tarne::mpi_setup& partition);
