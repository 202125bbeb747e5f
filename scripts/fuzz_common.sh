# Shared by fuzz_smoke.sh and fuzz_campaign.sh (sourced, from the source root): building the
# fuzz harnesses with clang in build-fuzz and making their seed corpora from examples/, the
# test data and fuzz/seeds/.

fuzz_build_dir=${FUZZ_BUILD_DIR:-build-fuzz}
fuzz_harnesses="web_form model_files montecarlo_input sce_input control_file template instruction restart stop_file method_input\
  resume_file pst_import"

# Builds the harnesses at -O1 with line tables (quick to compile, and what libFuzzer suggests)
# and without MPI, which no reader uses; returns 1 (after saying so) when there is no clang++
# to build them.
fuzz_build() {
  if ! command -v clang++ > /dev/null 2>&1; then
    echo "clang++ not found: the fuzz harnesses cannot be built here"
    return 1
  fi
  CC=clang CXX=clang++ cmake -S . -B "$fuzz_build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" -DTARNE_FUZZ=ON -DTARNE_BUILD_TESTS=OFF \
    -DTARNE_BUILD_BENCH=OFF -DTARNE_MPI=OFF > /dev/null
  cmake --build "$fuzz_build_dir" --target tarne_fuzzers -j"${JOBS:-2}"
}

# Copies file into corpus directory dir, with an optional first byte (the harness's selector).
fuzz_seed() {
  local dir=$1 file=$2 prefix=${3:-}
  local name
  name=$(echo "$file" | tr '/' '_')
  { printf '%s' "$prefix"; cat "$file"; } > "$dir/$prefix$name"
}

# An instruction file and a made-up model output for it, joined by a NUL byte.
fuzz_instruction_seed() {
  local dir=$1 instructions=$2 lines=$3 name=$4
  { cat "$instructions"; printf '\0'
    awk -v n="$lines" 'BEGIN { for (i = 1; i <= n; i++) printf "%d %.10e\n", i, sin(0.1 * i) }'
  } > "$dir/$name"
}

# A standard control file with the CSV files of its name (the keyword layout's external
# files), each after a NUL byte as its name, a line end and its content.
fuzz_pst_seed() {
  local dir=$1 file=$2 csv
  { cat "$file"
    for csv in "${file%.pst}"_*.csv; do
      [ -f "$csv" ] || continue
      printf '\0%s\n' "$(basename "$csv")"; cat "$csv"
    done
  } > "$dir/$(basename "$file")"
}

# Fills $fuzz_build_dir/corpus/<harness>/ with the seeds (inputs the fuzzer found in earlier
# passes stay there too).
fuzz_corpus() {
  local corpus=$fuzz_build_dir/corpus
  for h in $fuzz_harnesses; do
    mkdir -p "$corpus/$h"
    if [ -d "fuzz/seeds/$h" ]; then cp fuzz/seeds/"$h"/* "$corpus/$h/"; fi
  done
  local f
  for f in examples/*/*.prj; do fuzz_seed "$corpus/model_files" "$f" P; done
  for f in examples/*/*.lst; do fuzz_seed "$corpus/model_files" "$f" L; done
  for f in examples/*/*.val; do fuzz_seed "$corpus/model_files" "$f" V; done
  for f in examples/*/forcing.txt; do fuzz_seed "$corpus/model_files" "$f" F; done
  for f in examples/*/*.obs; do fuzz_seed "$corpus/model_files" "$f" O; done
  for f in examples/*/mc.in examples/montecarlo/*.in; do fuzz_seed "$corpus/montecarlo_input" "$f"; done
  for f in examples/*/sce.in examples/sce/*.in; do fuzz_seed "$corpus/sce_input" "$f"; done
  for f in examples/*/*.pst tests/data/pest/control/*.pst; do fuzz_seed "$corpus/control_file" "$f"; done
  for f in examples/*/*.tpl; do fuzz_seed "$corpus/template" "$f"; done
  fuzz_instruction_seed "$corpus/instruction" examples/pest/catchment.ins 120 catchment
  fuzz_instruction_seed "$corpus/instruction" examples/global/sine.ins 30 sine
  for f in examples/global/*.in; do fuzz_seed "$corpus/method_input" "$f"; done
  for f in tests/data/pst/import/*.pst; do fuzz_pst_seed "$corpus/pst_import" "$f"; done
}

# Runs harness h with the given libFuzzer options on its corpus, findings kept under
# $fuzz_build_dir/findings/. Its working files go to /dev/shm when there is one.
fuzz_run() {
  local h=$1
  shift
  mkdir -p "$fuzz_build_dir/findings"
  local scratch=/tmp
  if [ -d /dev/shm ] && [ -w /dev/shm ]; then scratch=/dev/shm; fi
  # The harnesses work in a directory of their own, so every path given them is absolute.
  local build
  build=$(cd "$fuzz_build_dir" && pwd)
  TMPDIR=$scratch "$build/fuzz/${h}_fuzzer" -close_fd_mask=3 -timeout=10 \
    -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$build/findings/$h-" "$@" "$build/corpus/$h"
}
