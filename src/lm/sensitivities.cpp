#include "lm/sensitivities.h"
