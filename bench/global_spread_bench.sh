#!/usr/bin/env bash
# The global methods with their model runs spread over two processes against one process, on
# the example examples/grid_lake (a 150 x 150 hydro grid and a lake, twelve parameters):
# multistart with 8 starts (target speed-up 1.7) and the sample phase of MLSL, 24 sample
# runs (target 1.8), each also from processor seconds (bench_global_spread, timed inside the
# processes). Builds nothing; takes about three minutes on an idle two-core machine.
#
#   bench/global_spread_bench.sh [BUILD_DIR]
#
#   BUILD_DIR  a build with MPI (default build under the repository)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
bench=$build/bench/bench_global_spread
# shellcheck source=bench/spread_bench_common.sh
source "$root/bench/spread_bench_common.sh"
check_spread_build "$bench"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r "$root/examples/grid_lake/." "$work/"
mpirun "${mpirun_options[@]}" -np 2 -wdir "$work" "$bench"
