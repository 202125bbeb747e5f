// The global search methods built on the Levenberg-Marquardt local search: random sampling
// with a replayable seed chain, multistart, MLSL and trajectory repulsion. Not built yet: the
// driver reports these tools as unavailable.
#pragma once
