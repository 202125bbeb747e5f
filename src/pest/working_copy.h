// The working copies of the run directory in which the processes of a run of several
// processes make their model runs: which files a copy holds, making one, removing one.
// Used by the spreading of model runs over the processes (run_spread.h).
#pragma once

#include <string>
#include <vector>

#include "pest/problem.h"

// The folder, inside the run directory, that holds the working copies of a run.
constexpr const char* kWorkingCopiesFolder = "tarne_copies";
// The working copy of process rank, relative to the run directory.
std::string WorkingCopyFolder(long rank);

// The files, by their paths relative to the run directory, that a working copy of the
// problem holds. First the files the problem and its project name: "tarne.in", the project
// file and the files it reads, every template file and the model input file it stands for,
// and every instruction file, as far as they exist (*named of them). Then, when the project
// is of the external kind (or cannot be read) or the problem has a post-run command, every
// other regular file at the top of the run directory, since a command may read files that
// nothing names. A file named by an absolute path is read where it is and not copied.
// Returns false, with the reason, for a relative path that leads out of the run directory
// (it would name another file from inside a copy).
bool WorkingCopyFiles(const ProblemRecord& record, std::vector<std::string>* files,
                      std::size_t* named, std::string* reason);

// A fingerprint of a file's bytes (its size and a 64-bit hash), so that every process can
// tell that it copied the files rank 0 sees; empty when the file cannot be read.
std::string CopyFingerprint(const std::string& path);

// Makes the working copy in folder, replacing one an earlier run left there: copies every
// file, keeping its permissions and its place below the run directory. The first files, one
// for each fingerprint, must be there and their copies must match their fingerprints; the
// others (which may be logs that change while they are copied) are copied as they are, when
// they are there. Returns false, with the reason, when the folder cannot be made, a file
// cannot be copied, or a copy is not the file rank 0 sees.
bool MakeWorkingCopy(const std::string& folder, const std::vector<std::string>& files,
                     const std::vector<std::string>& fingerprints, std::string* reason);

// Removes a working copy (nothing when there is none).
void RemoveWorkingCopy(const std::string& folder);
