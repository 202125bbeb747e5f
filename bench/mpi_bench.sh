#!/usr/bin/env bash
# Samples per second of "tarne -m" on the hydro example and the time of one single run of a
# large hydro grid, with one process and with two under mpirun, timed inside the processes
# (bench_partition) and end to end, with the start of the program and of mpirun counted.
# Targets on a two-core machine: two processes at least 1.8 times the samples per second of
# one, and the single run at least 1.6 times faster. Builds nothing.
#
#   bench/mpi_bench.sh [BUILD_DIR [SAMPLES [GRID_SIDE]]]
#
#   BUILD_DIR  a build with MPI (default build under the repository)
#   SAMPLES    Monte Carlo samples (default 20000)
#   GRID_SIDE  cells along each side of the large grid (default 540: about a second)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
samples=${2:-20000}
side=${3:-540}
bench=$build/bench/bench_partition
tarne=$build/src/driver/tarne
for program in "$bench" "$tarne"; do
  if [ ! -x "$program" ]; then
    echo "missing $program: build first (cmake --build $build)" >&2
    exit 1
  fi
done
if ! grep -q "TARNE_WITH_MPI:INTERNAL=ON" "$build/CMakeCache.txt" 2> /dev/null ||
   ! command -v mpirun > /dev/null 2>&1; then
  echo "$build was built without MPI (or mpirun is missing): nothing to compare" >&2
  exit 1
fi

mpirun_options=(--mca pml ob1 --mca btl self,vader --mca btl_vader_single_copy_mechanism none)
if [ "$(id -u)" = "0" ]; then mpirun_options+=(--allow-run-as-root); fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r "$root/examples/hydro/." "$work/"
cd "$work"
# The example catchment on a grid of side x side cells, the outlet in its last cell.
sed -e "s/^grid .*/grid $side $side/" -e "s/^outlet .*/outlet $side $side/" \
    -e "s/^output .*/output big.out/" catchment.prj > big.prj

seconds_of() { # command...: wall-clock seconds of the command, its output dropped
  local start end
  start=$(date +%s.%N)
  "$@" > /dev/null
  end=$(date +%s.%N)
  awk -v s="$start" -v e="$end" 'BEGIN { printf "%.3f", e - s }'
}

echo "Monte Carlo on the hydro example (tarne -m$samples mc.in) and one run of a" \
     "${side} x ${side} grid, $(nproc) cores"
rm -f log_file_p*.log
mc1=$("$bench" mc "$samples" mc.in)
rm -f log_file_p*.log
mc2=$(mpirun "${mpirun_options[@]}" -np 2 "$bench" mc "$samples" mc.in)
run1=$("$bench" run big.prj)
run2=$(mpirun "${mpirun_options[@]}" -np 2 "$bench" run big.prj)
rm -f log_file_p*.log
wall1=$(seconds_of "$tarne" "-m$samples" mc.in)
rm -f log_file_p*.log
wall2=$(seconds_of mpirun "${mpirun_options[@]}" -np 2 "$tarne" "-m$samples" mc.in)
single1=$(seconds_of "$tarne" big.prj)
single2=$(seconds_of mpirun "${mpirun_options[@]}" -np 2 "$tarne" big.prj)

awk -v mc1="$mc1" -v mc2="$mc2" -v run1="$run1" -v run2="$run2" \
    -v wall1="$wall1" -v wall2="$wall2" -v n="$samples" \
    -v single1="$single1" -v single2="$single2" '
BEGIN {
  split(mc1, a); split(mc2, b); split(run1, c); split(run2, d)
  printf "  Monte Carlo, 1 process:   %8.1f samples/s (%.3f s)\n", a[5], a[4]
  printf "  Monte Carlo, 2 processes: %8.1f samples/s (%.3f s)   ratio %.2f (target 1.8)\n",
         b[5], b[4], b[5] / a[5]
  printf "  end to end, tarne alone:  %8.1f samples/s (%.3f s)\n", n / wall1, wall1
  printf "  end to end, mpirun -np 2: %8.1f samples/s (%.3f s)   ratio %.2f\n",
         n / wall2, wall2, wall1 / wall2
  printf "  single run, 1 process:    %8.3f s\n", c[3]
  printf "  single run, 2 processes:  %8.3f s   speed-up %.2f (target 1.6)\n", d[3], c[3] / d[3]
  printf "  end to end, tarne alone:  %8.3f s\n", single1
  printf "  end to end, mpirun -np 2: %8.3f s   speed-up %.2f\n", single2, single1 / single2
}'
