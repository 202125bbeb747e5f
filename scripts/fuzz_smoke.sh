#!/usr/bin/env bash
# The fuzz smoke pass of the test command: builds the fuzz harnesses with clang in
# build-fuzz and runs each on its seed corpus for a few seconds (FUZZ_SECONDS, default 2),
# JOBS harnesses at a time (default 2). Any crash, leak, hang or sanitizer report fails it;
# the input is kept under build-fuzz/findings/. Skipped, with a message, without clang++.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/fuzz_common.sh

fuzz_build || { echo "fuzz smoke pass skipped"; exit 0; }
fuzz_corpus
mkdir -p "$fuzz_build_dir/findings"
rm -f "$fuzz_build_dir"/findings/*-smoke.log

export -f fuzz_run
export fuzz_build_dir
export FUZZ_SECONDS=${FUZZ_SECONDS:-2}
printf '%s\n' $fuzz_harnesses | xargs -P "${JOBS:-2}" -I{} bash -c \
  'fuzz_run {} -seed=1 -max_total_time="$FUZZ_SECONDS" > "$fuzz_build_dir/findings/{}-smoke.log" 2>&1 || echo failed >> "$fuzz_build_dir/findings/{}-smoke.log"'

status=0
for h in $fuzz_harnesses; do
  log=$fuzz_build_dir/findings/$h-smoke.log
  if tail -n 1 "$log" | grep -q '^failed$'; then
    cat "$log"
    echo "fuzz smoke pass: $h FAILED (its input is under $fuzz_build_dir/findings/)"
    status=1
  else
    echo "fuzz smoke pass: $h, $(grep -o 'number_of_executed_units: [0-9]*' "$log" | grep -o '[0-9]*$') executions"
  fi
done
exit $status
