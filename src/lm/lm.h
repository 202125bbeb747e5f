// The Levenberg-Marquardt engine of the "-slm" tool: driver, iteration with its lambda search,
// secant Jacobian update, upgrade vector within bounds, sensitivities, record file and
// posterior statistics. Not built yet: the driver reports the tool as unavailable.
#pragma once
