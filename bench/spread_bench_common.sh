# Sourced by the scripts of the spread benchmarks (slm_spread_bench.sh,
# global_spread_bench.sh): checks that the build in $build was made with MPI and holds the
# programs named as arguments, and sets mpirun_options, the mpirun options for one machine.
check_spread_build() {
  local program
  for program in "$@"; do
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
  mpirun_options=(--mca pml ob1 --mca btl self,vader --mca btl_vader_single_copy_mechanism none
                  --bind-to none)
  if [ "$(id -u)" = "0" ]; then mpirun_options+=(--allow-run-as-root); fi
}
