#!/usr/bin/env bash
# The long fuzz campaign: every harness runs FUZZ_RUNS executions (default 1 000 000) on its
# corpus, JOBS harnesses at a time (default 2), then a table gives each reader's executions
# and findings (crash, leak, timeout or out-of-memory inputs kept under build-fuzz/findings/).
#
#   bash scripts/fuzz_campaign.sh               # all readers
#   FUZZ_RUNS=5000000 bash scripts/fuzz_campaign.sh instruction restart
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/fuzz_common.sh

runs=${FUZZ_RUNS:-1000000}
selected=${*:-$fuzz_harnesses}
fuzz_build || exit 1
fuzz_corpus
mkdir -p "$fuzz_build_dir/findings"
rm -f "$fuzz_build_dir"/findings/*-campaign.log

export -f fuzz_run
export fuzz_build_dir runs
printf '%s\n' $selected | xargs -P "${JOBS:-2}" -I{} bash -c \
  'fuzz_run {} -runs="$runs" > "$fuzz_build_dir/findings/{}-campaign.log" 2>&1 || true'

status=0
printf '%-18s %12s  %s\n' reader executions findings
for h in $selected; do
  log=$fuzz_build_dir/findings/$h-campaign.log
  executions=$(grep -o 'number_of_executed_units: [0-9]*' "$log" | grep -o '[0-9]*$' || echo 0)
  findings=$(find "$fuzz_build_dir/findings" -maxdepth 1 \
    \( -name "$h-crash-*" -o -name "$h-leak-*" -o -name "$h-timeout-*" -o -name "$h-oom-*" \) | wc -l)
  if grep -q -E 'ERROR: (libFuzzer|AddressSanitizer|LeakSanitizer|UndefinedBehaviorSanitizer)|runtime error' "$log"; then
    findings=$((findings > 0 ? findings : 1))
  fi
  [ "$findings" -eq 0 ] || status=1
  printf '%-18s %12s  %s\n' "$h" "${executions:-0}" "$findings"
done
exit $status
