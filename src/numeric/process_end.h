// The one way the program ends the process in the middle of a run: the numerical error exit,
// a stop request in the stop file, a semi-fixed instruction and the MPI layer's refusals all
// end through EndProcess. It stands alone in its source file so that a fuzz harness can link
// a definition of its own, which throws instead, and catch such an end where the program ends
// the process; the program itself always links the one here. A part of the program that must
// act first sets a process-end action (below).
#pragma once

#include <functional>

// Runs the process-end action, if one is set, then ends the process with the exit status
// (std::exit: buffered output is flushed).
[[noreturn]] void EndProcess(int status);

// What must happen before the process ends while several processes share the model runs:
// the others are told to end and the working copies are removed or kept. The action may also
// throw, to end one model run where it would have ended the process. Sets the action (an
// empty one clears it) and returns the one it replaces, so that a caller can restore it.
using ProcessEndAction = std::function<void(int status)>;
ProcessEndAction SetProcessEndAction(ProcessEndAction action);
// Calls the action once with the status; an EndProcess inside the action does not call it
// again. Called by EndProcess.
void RunProcessEndAction(int status);
