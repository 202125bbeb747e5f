#!/usr/bin/env bash
# Runs "tarne -slm" on the 27 NIST StRD nonlinear regression problems from both starting
# points, each run in a fresh temporary directory made by "tarne_nist make", and prints one
# scored row per run ("tarne_nist score") and a summary: problems solved per start (targets:
# 24 of 27 from start 1, 25 of 27 from start 2) and the median model calls of the solved
# runs. Builds nothing.
#
#   bench/nist_table.sh [options] [TARNE [TARNE_NIST]]
#
#   TARNE        the tarne program (default build/src/driver/tarne under the repository)
#   TARNE_NIST   the tarne_nist program (default build/tools/nist/tarne_nist)
#   --secant     run the secant variant of the control settings (SLMMODE 1) as well and
#                show the model calls of both side by side
#   --data DIR   directory of the 27 .dat files (default /work/shared/reference/nist-strd)
#   --timeout S  end a run after S seconds (default 600; needs the timeout command)
#   --keep       keep the run directories and print where they are
set -euo pipefail

usage() {
  sed -n '8,16p' "$0" | sed 's/^# \{0,1\}//' >&2
  exit 2
}

root=$(cd "$(dirname "$0")/.." && pwd)
secant=0
keep=0
data=/work/shared/reference/nist-strd
run_seconds=600
programs=()
while [ $# -gt 0 ]; do
  case $1 in
    --secant) secant=1 ;;
    --keep) keep=1 ;;
    --data) [ $# -ge 2 ] || usage; data=$2; shift ;;
    --timeout) [ $# -ge 2 ] || usage; run_seconds=$2; shift ;;
    -h|--help) usage ;;
    -*) echo "nist_table.sh: unknown option $1" >&2; usage ;;
    *) programs+=("$1") ;;
  esac
  shift
done
[ ${#programs[@]} -le 2 ] || usage
tarne=${programs[0]:-$root/build/src/driver/tarne}
tarne_nist=${programs[1]:-$root/build/tools/nist/tarne_nist}

# The runs happen in other directories: the programs need absolute paths.
absolute() { (cd "$(dirname "$1")" && echo "$(pwd)/$(basename "$1")"); }
for program in "$tarne" "$tarne_nist"; do
  if [ ! -x "$program" ]; then
    echo "nist_table.sh: $program is not an executable program (build it first)" >&2
    exit 2
  fi
done
tarne=$(absolute "$tarne")
tarne_nist=$(absolute "$tarne_nist")
if [ ! -d "$data" ]; then
  echo "nist_table.sh: no directory $data" >&2
  exit 2
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/nist_table.XXXXXX")
if [ $keep -eq 0 ]; then trap 'rm -rf "$work"' EXIT; fi

# A build without the engine says so instead of running: stop before 54 empty runs.
mkdir "$work/probe"
probe=$(cd "$work/probe" && "$tarne" -slm no_such_case 2>&1 || true)
case $probe in
  *"not available"*)
    echo "nist_table.sh: $tarne has no Levenberg-Marquardt tool (-slm) yet" >&2
    exit 2 ;;
esac

limit=()
if command -v timeout > /dev/null; then limit=(timeout "$run_seconds"); fi

variants=(plain)
if [ $secant -eq 1 ]; then variants=(plain secant); fi

problems=$(find "$data" -maxdepth 1 -name '*.dat' | wc -l)
results=$work/results.tsv
: > "$results"
"$tarne_nist" header
for dat in "$data"/*.dat; do
  for start in 1 2; do
    for variant in "${variants[@]}"; do
      problem=$(basename "$dat" .dat)
      dir=$work/$problem-$start-$variant
      flags=()
      if [ "$variant" = secant ]; then flags=(--secant); fi
      if ! name=$("$tarne_nist" make "$dat" "$start" "$dir" "${flags[@]}"); then
        printf '%-9s %5s %-8s cannot make the problem\n' "$problem" "$start" "$variant"
        printf '%s\t%s\t%s\t-1\tnan\tnan\tnan\t0\tunmade\t0\t-\t-1\n' "$problem" "$start" \
          "$variant" >> "$results"
        continue
      fi
      (cd "$dir" && "${limit[@]}" "$tarne" -slm "$name" > run.log 2>&1) || true
      "$tarne_nist" score "$dat" "$dir" || true
      "$tarne_nist" score "$dat" "$dir" --tsv >> "$results" || true
    done
  done
done

# Columns of results.tsv: problem start settings calls rss certified_rss relative_difference
# min_lre status min_sd_lre stop calls_to_reach lre...
if [ $secant -eq 1 ]; then
  echo
  echo "Model calls until phi came within 1e-6 of the certified RSS, plain against secant"
  echo "(total calls in brackets; * = not solved)"
  awk -F'\t' '
    { key = $1 " " $2; if (!(key in seen)) { seen[key] = 1; order[++n] = key }
      reach[key, $3] = $12; solved[key, $3] = ($9 == "solved")
      shown[key, $3] = ($12 < 0 ? "-" : $12) " (" ($4 < 0 ? "-" : $4) ")" ($9 == "solved" ? "" : "*") }
    END {
      printf "%-9s %5s %16s %16s %7s\n", "Problem", "Start", "plain", "secant", "ratio"
      for (i = 1; i <= n; i++) {
        split(order[i], part, " ")
        ratio = "-"
        if (solved[order[i], "plain"] && solved[order[i], "secant"] &&
            reach[order[i], "plain"] > 0 && reach[order[i], "secant"] > 0) {
          r = reach[order[i], "secant"] / reach[order[i], "plain"]
          ratio = sprintf("%.2f", r); logs += log(r); count++
        }
        printf "%-9s %5s %16s %16s %7s\n", part[1], part[2], shown[order[i], "plain"],
               shown[order[i], "secant"], ratio
      }
      if (count > 0)
        printf "Geometric mean of secant / plain over the %d runs both solve: %.3f (target at most 0.75)\n",
               count, exp(logs / count)
    }' "$results"
fi

echo
for variant in "${variants[@]}"; do
  awk -F'\t' -v variant="$variant" -v problems="$problems" '
    function median(list, count,    sorted, i, j, t) {
      if (count == 0) return "-"
      for (i = 1; i <= count; i++) sorted[i] = list[i]
      for (i = 2; i <= count; i++)
        for (j = i; j > 1 && sorted[j - 1] > sorted[j]; j--) {
          t = sorted[j]; sorted[j] = sorted[j - 1]; sorted[j - 1] = t
        }
      return count % 2 ? sorted[(count + 1) / 2] : (sorted[count / 2] + sorted[count / 2 + 1]) / 2
    }
    $3 == variant {
      if ($9 == "solved") {
        solved[$2]++; calls[$2, solved[$2]] = $4; all[++total] = $4 + 0
        if ($10 > 0) deviations[++with_deviations] = $10 + 0
      } else failed[$2] = failed[$2] " " $1 " (" $11 ")"
    }
    END {
      target[1] = 24; target[2] = 25
      printf "Summary (%s settings)\n", variant
      for (s = 1; s <= 2; s++) {
        n = solved[s] + 0
        for (i = 1; i <= n; i++) list[i] = calls[s, i] + 0
        printf "  start %d: %2d of %2d solved (target %d) %s; median model calls of the solved: %s\n",
               s, n, problems, target[s], (n >= target[s] ? "met" : "NOT met"), median(list, n)
        if (failed[s] != "") printf "           not solved (stop test):%s\n", failed[s]
      }
      printf "  both starts: median model calls of the solved: %s\n", median(all, total)
      printf "  median over the solved of the smallest LRE of the standard deviations: %s (target 3)\n",
             median(deviations, with_deviations)
    }' "$results"
done
if [ $keep -eq 1 ]; then echo "Run directories: $work"; fi
