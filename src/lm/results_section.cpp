#include "lm/results_section.h"
