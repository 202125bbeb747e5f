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
if [ ! -x "$bench" ]; then
  echo "missing $bench: build first (cmake --build $build)" >&2
  exit 1
fi
if ! grep -q "TARNE_WITH_MPI:INTERNAL=ON" "$build/CMakeCache.txt" 2> /dev/null ||
   ! command -v mpirun > /dev/null 2>&1; then
  echo "$build was built without MPI (or mpirun is missing): nothing to compare" >&2
  exit 1
fi

mpirun_options=(--mca pml ob1 --mca btl self,vader --mca btl_vader_single_copy_mechanism none
                --bind-to none)
if [ "$(id -u)" = "0" ]; then mpirun_options+=(--allow-run-as-root); fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r "$root/examples/grid_lake/." "$work/"
mpirun "${mpirun_options[@]}" -np 2 -wdir "$work" "$bench"
