#!/usr/bin/env bash
# The model runs of "tarne -slm" spread over two processes against one process, on the
# example examples/grid_lake (a 150 x 150 hydro grid and a lake, twelve parameters): the
# Jacobian phase (target speed-up 1.8), the whole calibration (target 1.5), the cost of
# dispatching one run beyond the run itself (target under 1 ms), and the speed-up to expect
# at 4, 16, 64 and 256 processes for 50 parameters (bench_slm_spread, timed inside the
# processes); then the whole calibration end to end, with the start of the program and of
# mpirun counted. Builds nothing; takes about a minute on an idle two-core machine.
#
#   bench/slm_spread_bench.sh [BUILD_DIR]
#
#   BUILD_DIR  a build with MPI (default build under the repository)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
bench=$build/bench/bench_slm_spread
tarne=$build/src/driver/tarne
# shellcheck source=bench/spread_bench_common.sh
source "$root/bench/spread_bench_common.sh"
check_spread_build "$bench" "$tarne"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fresh_copy() { # a fresh copy of the example in $work/$1
  rm -rf "${work:?}/$1"
  mkdir -p "$work/$1"
  cp -r "$root/examples/grid_lake/." "$work/$1/"
}

fresh_copy inside
mpirun "${mpirun_options[@]}" -np 2 -wdir "$work/inside" "$bench" grid

seconds_of() { # directory command...: wall-clock seconds of the command run there
  local start end
  start=$(date +%s.%N)
  (cd "$1" && shift && "$@" > /dev/null)
  end=$(date +%s.%N)
  awk -v s="$start" -v e="$end" 'BEGIN { printf "%.3f", e - s }'
}
fresh_copy one
fresh_copy two
alone=$(seconds_of "$work/one" "$tarne" -slm grid)
spread=$(seconds_of "$work/two" mpirun "${mpirun_options[@]}" -np 2 "$tarne" -slm grid)
if ! cmp -s "$work/one/grid.rec" "$work/two/grid.rec"; then
  echo "the record files of one and two processes differ" >&2
  exit 1
fi
awk -v one="$alone" -v two="$spread" 'BEGIN {
  printf "  end to end, tarne -slm grid:  %.3f s alone, %.3f s under mpirun -np 2: speed-up %.2f" \
         " (the same record file)\n", one, two, one / two
}'
