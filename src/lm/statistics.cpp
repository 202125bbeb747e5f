#include "lm/statistics.h"
