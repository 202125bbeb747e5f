// The files of a case besides its record, at one include: the output names
// (pest/output_names.h), the stop file (pest/stop_file.h) and the restart file
// (pest/restart_file.h). Included by the tool drivers, the engine and the model runs.
#pragma once

#include "pest/output_names.h"
#include "pest/restart_file.h"
#include "pest/stop_file.h"
