#!/bin/sh
# Remakes the data of the trade-off example from seeded generators, in this directory:
#
#   sh make_example.sh <path of tarne_make_example>
#
# forcing.txt: 100 synthetic days (seed 20240918). observed.obs: the daily discharge of
# truth.prj (the true parameters) with 5 % noise (seed 7), weight 1. The observations of
# catchment.pst are the same 100 values, named q001 to q100; catchment.ins reads them from
# the model's hydrograph.out.
set -e
maker=${1:?usage: sh make_example.sh <path of tarne_make_example>}
"$maker" forcing forcing.txt 100 20240918
"$maker" observations truth.prj truth_hydrograph.out observed.obs 7 0.05
rm -f truth_hydrograph.out

awk '!/^#/ && NF == 3 { n++; printf "q%03d %s %s discharge\n", n, $2, $3 }' observed.obs \
  > observations.tmp
count=$(wc -l < observations.tmp)

{
  echo "pif #"
  awk '{ printf "l1 w !%s!\n", $1 }' observations.tmp
} > catchment.ins

{
  cat <<HEAD
pcf
* control data
norestart estimation
5 $count 1 0 1
1 1 single point 1 0 0
0.01 2.0 0.3 0.01 10
5.0 5.0 0.001 0
0.1 noaui
50 1e-5 4 6 1e-5 4
0 0 0
0 0 0.9 1 0.02
catchment.prj
* parameter groups
catchment relative 0.01 0.0 switch 2.0 parabolic
* parameter data
soil_capacity none relative 200 50 500 catchment 1.0 0.0 1
shape none relative 3 0.5 8 catchment 1.0 0.0 1
fast_k none relative 50 5 1000 catchment 1.0 0.0 1
slow_k none relative 500 5 1000 catchment 1.0 0.0 1
split none relative 0.7 0.42 0.95 catchment 1.0 0.0 1
* observation groups
discharge
* observation data
HEAD
  cat observations.tmp
  cat <<TAIL
* model command line
none true
* model input/output
catchment.tpl catchment.prj
catchment.ins hydrograph.out
* prior information
TAIL
} > catchment.pst
rm -f observations.tmp

