#!/usr/bin/env bash
# Installs the system tools that some tests use, when they are missing and the machine lets
# us: gnuplot, which tarne-plot runs to draw its pictures. Never fails: without gnuplot the
# plot tests check the data behind the pictures and report the picture checks as skipped.
set -u

if command -v gnuplot > /dev/null 2>&1; then
  exit 0
fi
if [ "$(id -u)" != "0" ] || ! command -v apt-get > /dev/null 2>&1; then
  echo "note: gnuplot is not installed (apt-get install gnuplot-nox); the picture checks of" \
       "the plot tests will be skipped"
  exit 0
fi
echo "Installing gnuplot-nox for the picture checks of the plot tests ..."
if ! { DEBIAN_FRONTEND=noninteractive apt-get update -qq > /dev/null 2>&1 &&
       DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
         gnuplot-nox > /dev/null 2>&1; }; then
  echo "note: gnuplot-nox could not be installed; the picture checks of the plot tests will" \
       "be skipped"
fi
exit 0
