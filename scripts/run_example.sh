#!/usr/bin/env bash
# Builds tarne and runs the main job on the bundled example: an SCE-UA calibration of the
# six parameters of the gridded hydro catchment against its observed hydrograph. The run
# happens in a copy of the example under build/example-run, so the source tree stays clean.
# tarne-plot is built too; the last line tells how to draw the pictures of the run with it.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${JOBS:-2}

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
cmake --build build -j"$jobs" --target tarne tarne-plot

rm -rf build/example-run
cp -r examples/hydro build/example-run
cd build/example-run
../src/driver/tarne -c sce.in
echo
echo "Results in $(pwd): sce_best.out, sce_output.out, sce_log_file.txt"
echo "Pictures of this run (convergence, parameter traces, best hydrograph; needs gnuplot):" \
     "build/tools/plot/tarne-plot build/example-run"
