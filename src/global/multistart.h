// The multistart global method ("-ms"): random starting points inside the bounds, one sample
// model run at each and a full Levenberg-Marquardt local search from every one, reported
// side by side in its record file "slm_kor_ms1.rec". Started through the driver's mode table.
#pragma once

#include "modellib/tarne_lib.h"

// argv: word 1 the option, word 2 the control name, optional word 3 "/r". Returns 1 on a
// usage or mode error, 0 when the control file's content is refused, otherwise the status
// of the method's last step.
short RunMultistart(tarne::mpi_setup* partition, int argc, char** argv);
