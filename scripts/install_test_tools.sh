#!/usr/bin/env bash
# Installs the system tools that some tests use, when they are missing and the machine lets
# us: gnuplot, which tarne-plot runs to draw its pictures, and OpenMPI (libopenmpi-dev,
# openmpi-bin), on which the build backs the partition object and with which the tests run
# tarne under mpirun. Never fails: without gnuplot the plot tests check the data behind the
# pictures and report the picture checks as skipped; without OpenMPI the build runs one
# process and the MPI tests report themselves as skipped.
set -u

need_gnuplot=0
need_mpi=0
command -v gnuplot > /dev/null 2>&1 || need_gnuplot=1
{ command -v mpicxx > /dev/null 2>&1 && command -v mpirun > /dev/null 2>&1; } || need_mpi=1
if [ "$need_gnuplot" = 0 ] && [ "$need_mpi" = 0 ]; then
  exit 0
fi

gnuplot_note="the picture checks of the plot tests will be skipped"
mpi_note="the build will run one process and the MPI tests will be skipped"
if [ "$(id -u)" != "0" ] || ! command -v apt-get > /dev/null 2>&1; then
  if [ "$need_gnuplot" = 1 ]; then
    echo "note: gnuplot is not installed (apt-get install gnuplot-nox); $gnuplot_note"
  fi
  if [ "$need_mpi" = 1 ]; then
    echo "note: OpenMPI is not installed (apt-get install libopenmpi-dev openmpi-bin); $mpi_note"
  fi
  exit 0
fi

# Installs the packages quietly; false when that fails.
install_packages() {
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$@" \
    > /dev/null 2>&1
}

DEBIAN_FRONTEND=noninteractive apt-get update -qq > /dev/null 2>&1
if [ "$need_gnuplot" = 1 ]; then
  echo "Installing gnuplot-nox for the picture checks of the plot tests ..."
  install_packages gnuplot-nox || echo "note: gnuplot-nox could not be installed; $gnuplot_note"
fi
if [ "$need_mpi" = 1 ]; then
  echo "Installing OpenMPI (libopenmpi-dev, openmpi-bin) for the runs under mpirun ..."
  install_packages libopenmpi-dev openmpi-bin ||
    echo "note: OpenMPI could not be installed; $mpi_note"
fi
exit 0
