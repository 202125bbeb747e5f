#!/usr/bin/env bash
# Builds the project and runs the whole test suite twice: once in the ordinary build (with
# MPI when OpenMPI is there, and then with the runs under mpirun) and once under
# AddressSanitizer and UndefinedBehaviorSanitizer; then the fuzz smoke pass.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${JOBS:-2}

# ---- Test tools ---------------------------------------------------------------------------
# gnuplot for the picture checks of tarne-plot, and OpenMPI for the runs under mpirun
# (installed when missing and possible; without them the tests skip those checks and say so).
bash scripts/install_test_tools.sh

# The ordinary build backs the partition object with MPI when OpenMPI is there; its suite
# includes the runs of tarne under mpirun with 2, 3 and 4 processes (label mpi).
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$jobs"
if grep -q "^TARNE_WITH_MPI:INTERNAL=ON" build/CMakeCache.txt; then
  echo "MPI tests: run under mpirun in this build (ctest label mpi)"
else
  echo "MPI tests: SKIPPED - OpenMPI is not installed here, so the build runs one process"
fi
ctest --test-dir build -j"$jobs" --output-on-failure

# The sanitizer build runs one process (OpenMPI's own allocations would read as leaks); the
# MPI tests ran above.
cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DTARNE_SANITIZE=ON -DTARNE_BUILD_BENCH=OFF \
  -DTARNE_MPI=OFF
cmake --build build-sanitize -j"$jobs"
ctest --test-dir build-sanitize -j"$jobs" --output-on-failure -LE "slow|mpi"

# ---- Fuzz smoke pass ----------------------------------------------------------------------
# Each reader's fuzz harness runs a few seconds on its seed corpus (clang only; skipped with a
# message elsewhere). The long campaign is scripts/fuzz_campaign.sh.
bash scripts/fuzz_smoke.sh

if ! grep -q "^TARNE_WITH_MPI:INTERNAL=ON" build/CMakeCache.txt; then
  echo "note: the MPI tests were SKIPPED (no OpenMPI here); install libopenmpi-dev and" \
       "openmpi-bin to run them"
fi
