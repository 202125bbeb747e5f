// The ascending index sort of one-based values (the classic indexx), used by the global
// methods to rank their samples.
#pragma once

#include "numeric/numeric.h"

// Indices x[1..n] ordering values[1..n] ascending, by the quicksort index method with an
// explicit stack of 50 entries (the process ends through nr_error when it would overflow).
ivector indexx(long n, const dvector& values);
