// The global method Multi Level Single Linkage ("-mlsl"): iterations of uniform samples, the
// reduced sample, the critical distance and the start rules for local searches; its record file
// "slm_kor_mlsl.rec".
// Started by the command line through the driver's mode table.
#pragma once

#include "modellib/tarne_lib.h"

// argv: word 1 the option, word 2 the control name, optional word 3 "/r". Returns 1 on a
// usage or mode error, 0 when the control file's content is refused, otherwise the status
// of the method's last step.
short RunMlsl(tarne::mpi_setup* partition, int argc, char** argv);
