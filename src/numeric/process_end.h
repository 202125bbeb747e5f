// The one way the program ends the process in the middle of a run: the numerical error exit,
// a stop request in the stop file and a semi-fixed instruction all end through EndProcess.
// It stands alone in its source file so that a fuzz harness can link a definition of its
// own, which throws instead, and catch such an end where the program ends the process; the
// program itself always links the one here.
#pragma once

// Ends the process with the exit status (std::exit: buffered output is flushed).
[[noreturn]] void EndProcess(int status);
