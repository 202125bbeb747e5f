// Writing a model output file over an earlier one. Used by the model kinds for the files a
// run writes (hydrograph, function value, parameter listing).
#pragma once

namespace tarne {

class gFILE;

// Opens name through file's settings for rewriting: an existing file is written over in
// place and cut to its new length by FinishOutput, rather than emptied on opening, because
// emptying a file and writing it again makes some file systems flush it to disk at once
// (milliseconds per run). False when the file can be neither opened nor created.
bool OpenOutput(gFILE* file, const char* name);
// Flushes, cuts the file after what was written, and closes it. False on a write error.
bool FinishOutput(gFILE* file);

}  // namespace tarne
