#!/usr/bin/env bash
# Does the secant mode of "tarne -slm" save model runs? Runs plain Levenberg-Marquardt
# (SLMMODE 0) and the secant mode (SLMMODE 1) with every combination of SLMNCOL 0, 1, 2 and
# full updates off (SLMFULLUPD 0) or on with SLMFULLRAT 0.5, 0.9, 0.99, on the 27 NIST StRD
# problems from both starts ("tarne_nist make", all other control settings as there) and on
# the catchment of examples/tradeoff from two starts (the control file's, which plain mode
# takes to the exchanged minimum, and 100 2 10 100 0.8, which it takes to the global one),
# with the same control settings as the NIST problems. Per setting it prints the runs solved,
# the runs that plain mode solves and the setting does not (lost), and the geometric mean
# over the runs both solve of the model calls until phi first came within 1e-6 of the
# target (the certified RSS; for the catchment the phi plain mode ends at from that start),
# as a ratio to plain mode's, and the same for the total model calls. Builds nothing.
#
#   bench/secant_table.sh [options] [TARNE [TARNE_NIST]]
#
#   TARNE        the tarne program (default build/src/driver/tarne under the repository)
#   TARNE_NIST   the tarne_nist program (default build/tools/nist/tarne_nist)
#   --jobs N     runs at a time (default 2)
#   --data DIR   directory of the 27 .dat files (default /work/shared/reference/nist-strd)
#   --timeout S  end a run after S seconds (default 600; needs the timeout command)
#   --rows       print every run's row (problem, start, setting, calls, to reach, status)
#   --keep       keep the run directories and print where they are
set -euo pipefail

usage() {
  sed -n '15,23p' "$0" | sed 's/^# \{0,1\}//' >&2
  exit 2
}

root=$(cd "$(dirname "$0")/.." && pwd)
jobs=2
keep=0
rows=0
data=/work/shared/reference/nist-strd
run_seconds=600
programs=()
while [ $# -gt 0 ]; do
  case $1 in
    --jobs) [ $# -ge 2 ] || usage; jobs=$2; shift ;;
    --keep) keep=1 ;;
    --rows) rows=1 ;;
    --data) [ $# -ge 2 ] || usage; data=$2; shift ;;
    --timeout) [ $# -ge 2 ] || usage; run_seconds=$2; shift ;;
    -h|--help) usage ;;
    -*) echo "secant_table.sh: unknown option $1" >&2; usage ;;
    *) programs+=("$1") ;;
  esac
  shift
done
[ ${#programs[@]} -le 2 ] || usage
tarne=${programs[0]:-$root/build/src/driver/tarne}
tarne_nist=${programs[1]:-$root/build/tools/nist/tarne_nist}
absolute() { (cd "$(dirname "$1")" && echo "$(pwd)/$(basename "$1")"); }
for program in "$tarne" "$tarne_nist"; do
  if [ ! -x "$program" ]; then
    echo "secant_table.sh: $program is not an executable program (build it first)" >&2
    exit 2
  fi
done
tarne=$(absolute "$tarne")
tarne_nist=$(absolute "$tarne_nist")
[ -d "$data" ] || { echo "secant_table.sh: no directory $data" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/secant_table.XXXXXX")
if [ $keep -eq 0 ]; then trap 'rm -rf "$work"' EXIT; fi
limit=()
if command -v timeout > /dev/null; then limit=(timeout "$run_seconds"); fi

# The settings: label, then the --set words of tarne_nist make.
settings=("plain|")
for ncol in 0 1 2; do
  settings+=("ncol$ncol-nofull|--set SLMMODE=1 --set SLMNCOL=$ncol --set SLMFULLUPD=0")
  for ratio in 0.5 0.9 0.99; do
    settings+=("ncol$ncol-full$ratio|--set SLMMODE=1 --set SLMNCOL=$ncol --set SLMFULLUPD=1 --set SLMFULLRAT=$ratio")
  done
done

# The catchment: its two starts and the phi plain mode ends at from each.
hydro_start=("" "100 2 10 100 0.8")
hydro_target=(1008.925435 1003.990831)

# One run: label, problem, start, the --set words -> one tab-separated row on standard
# output: problem start label calls reach status (reach: the calls until phi came within 1e-6
# of the target, -1 when it never did).
run_one() {
  local label=$1 problem=$2 start=$3 set_words=$4
  local dir=$work/$label/$problem-$start
  if [ "$problem" = hydro ]; then
    # The NIST problems' control data (lines 6 to 11) for this setting, in the example's
    # control file, whose other lines and layout are the same.
    # shellcheck disable=SC2086
    local name
    name=$("$tarne_nist" make "$data/${problems[0]}.dat" 1 "$dir.ctl" $set_words)
    mkdir -p "$dir" && cp "$root"/examples/tradeoff/* "$dir"/
    awk -v control="$(sed -n 6,11p "$dir.ctl/$name.pst")" -v values="${hydro_start[$((start - 1))]}" '
      BEGIN { n = split(values, v, " ") }
      NR == 6 { print control } NR >= 6 && NR <= 11 { next }
      /^\* / { section = $0 }
      section == "* parameter data" && NF == 10 && n > 0 { $4 = v[++i] }
      { print }' "$root/examples/tradeoff/catchment.pst" > "$dir/catchment.pst"
    (cd "$dir" && "${limit[@]}" "$tarne" -slm catchment > run.log 2>&1) || true
    local calls reach status=failed
    calls=$(awk -F'\t' '/^Total Model Calls:/ { c = $2 } END { print (c == "" ? -1 : c) }' \
      "$dir/catchment.rec" 2> /dev/null || echo -1)
    reach=$("$tarne_nist" reach "$dir/run.log" "${hydro_target[$((start - 1))]}" 1e-6 || true)
    if [ "$reach" -ge 0 ] && [ "$calls" -ge 0 ]; then status=solved; fi
    printf '%s\t%s\t%s\t%s\t%s\t%s\n' hydro "$start" "$label" "$calls" "$reach" "$status"
  else
    # shellcheck disable=SC2086
    if ! "$tarne_nist" make "$data/$problem.dat" "$start" "$dir" $set_words > /dev/null; then
      printf '%s\t%s\t%s\t-1\t-1\tunmade\n' "$problem" "$start" "$label"
      return
    fi
    (cd "$dir" && "${limit[@]}" "$tarne" -slm "$problem" > run.log 2>&1) || true
    "$tarne_nist" score "$data/$problem.dat" "$dir" --tsv |
      awk -F'\t' -v label="$label" '{ printf "%s\t%s\t%s\t%s\t%s\t%s\n", $1, $2, label, $4, $12, $9 }' \
      || true
  fi
  if [ $keep -eq 0 ]; then rm -rf "$dir" "$dir.ctl"; fi
}

# Every run in the background, at most $jobs at a time, each writing its own row file; the
# rows are then gathered in task order.
problems=()
for dat in "$data"/*.dat; do problems+=("$(basename "$dat" .dat)"); done
problems+=(hydro)
task=0
for setting in "${settings[@]}"; do
  label=${setting%%|*}
  words=${setting#*|}
  mkdir -p "$work/$label"
  for problem in "${problems[@]}"; do
    for start in 1 2; do
      task=$((task + 1))
      while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n || true; done
      run_one "$label" "$problem" "$start" "$words" > "$work/row.$task" 2> /dev/null &
    done
  done
done
wait
results=$work/results.tsv
for i in $(seq 1 "$task"); do cat "$work/row.$i"; done > "$results"
if [ $rows -eq 1 ]; then
  printf 'problem\tstart\tsetting\tcalls\treach\tstatus\n'
  cat "$results"
  echo
fi

# Per setting against plain mode.
awk -F'\t' '
  { key = $1 " " $2; solved[$3, key] = ($6 == "solved"); reach[$3, key] = $5; calls[$3, key] = $4
    if (!($3 in seen)) { seen[$3] = 1; order[++n] = $3 }
    if (!(key in runs)) { runs[key] = 1; total++ } }
  END {
    printf "%-17s %7s %5s %6s %6s %12s %12s  %s\n", "setting", "solved", "lost", "gained",
           "both", "reach ratio", "calls ratio", "lost runs"
    for (i = 1; i <= n; i++) {
      s = order[i]; count = 0; lost = 0; gained = 0; both = 0; lr = 0; lc = 0; names = ""
      for (key in runs) {
        count += solved[s, key]
        if (solved["plain", key] && !solved[s, key]) { lost++; names = names " " key }
        if (!solved["plain", key] && solved[s, key]) gained++
        if (solved["plain", key] && solved[s, key] && reach["plain", key] > 0 && reach[s, key] > 0) {
          both++; lr += log(reach[s, key] / reach["plain", key]); lc += log(calls[s, key] / calls["plain", key])
        }
      }
      printf "%-17s %3d/%-3d %5d %6d %6d %12.3f %12.3f %s\n", s, count, total, lost, gained, both,
             both ? exp(lr / both) : 0, both ? exp(lc / both) : 0, names
    }
    print "reach ratio: geometric mean over the runs both solve of the calls until phi came within"
    print "1e-6 of the target, setting / plain; calls ratio: the same for the total calls (target:"
    print "a reach ratio of at most 0.75 with no run lost)"
  }' "$results"
if [ $keep -eq 1 ]; then echo "Run directories: $work"; fi
