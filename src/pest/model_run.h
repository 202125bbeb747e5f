// One model run of the Levenberg-Marquardt family (value file, model library, post-run
// command) and the finite-difference Jacobian built from such runs.
#pragma once

#include "problem.h"
#include "modellib/tarne_lib.h"
#include "numeric/numeric.h"
