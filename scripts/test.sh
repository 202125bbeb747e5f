#!/usr/bin/env bash
# Builds the project and runs the whole test suite twice: once in the ordinary build and once
# under AddressSanitizer and UndefinedBehaviorSanitizer; then the fuzz smoke pass.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${JOBS:-2}

# ---- Test tools ---------------------------------------------------------------------------
# gnuplot for the picture checks of tarne-plot (installed when missing and possible; the
# tests skip those checks with a message without it).
bash scripts/install_test_tools.sh

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$jobs"
ctest --test-dir build -j"$jobs" --output-on-failure

cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DTARNE_SANITIZE=ON -DTARNE_BUILD_BENCH=OFF
cmake --build build-sanitize -j"$jobs"
ctest --test-dir build-sanitize -j"$jobs" --output-on-failure -LE slow

# ---- Fuzz smoke pass ----------------------------------------------------------------------
# Each reader's fuzz harness runs a few seconds on its seed corpus (clang only; skipped with a
# message elsewhere). The long campaign is scripts/fuzz_campaign.sh.
bash scripts/fuzz_smoke.sh
