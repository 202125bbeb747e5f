// The global method Multi Level Single Linkage ("-mlsl"): iterations of uniform samples, the
// reduced sample and local searches from the points the start rules accept (mlsl_rules.h),
// reported in its record file "slm_kor_mlsl.rec". Started through the driver's mode table.
#pragma once

#include <cstdio>

#include "global/mlsl_rules.h"
#include "modellib/tarne_lib.h"

// argv: word 1 the option, word 2 the control name, optional word 3 "/r". Returns 1 on a
// usage or mode error, 0 when the control file's content is refused, otherwise the status
// of the method's last step.
short RunMlsl(tarne::mpi_setup* partition, int argc, char** argv);

// The record lines of the verdict on the point at position x, one per rejection.
void WriteRejections(std::FILE* rec, long x, double dmin, const StartVerdict& verdict);
