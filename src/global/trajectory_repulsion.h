// The global method trajectory repulsion ("-tr"): pre-inversion samples and local searches
// started farthest from earlier trajectories; its record file "slm_kor_ms2.rec".
// Started by the command line through the driver's mode table.
#pragma once

#include "modellib/tarne_lib.h"

// argv: word 1 the option, word 2 the control name, optional word 3 "/r". Returns 1 on a
// usage or mode error, 0 when the control file's content is refused, otherwise the status
// of the method's last step.
short RunTrajectoryRepulsion(tarne::mpi_setup* partition, int argc, char** argv);
