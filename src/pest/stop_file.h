// The stop file "pest.stp", through which a user stops a running calibration by writing a
// code into it. Consulted after the model runs of a search (the model runner) and cleared
// by the tool drivers before a calibration starts.
#pragma once

// Returns when the calibration may go on; a stop request (code 1, 2 or 3) ends the process
// with status 0. A stop file with another code (or none) is deleted; a directory, device,
// unreadable or oversized file under its name is reported and left in place, and the
// calibration goes on.
void CheckStopFile();
// Deletes a stop file left from an earlier run, before a calibration starts. A directory under
// the name is reported and left in place, never removed.
void DeleteStaleStopFile();
