#!/bin/sh
# Remakes the data of the PEST-format example from seeded generators, in this directory:
#
#   sh make_example.sh <path of tarne_make_example>
#
# forcing.txt: 120 synthetic days (seed 20240917). The observations of catchment.pst: the
# daily discharge of truth.prj (the true parameters) with 2 % noise (seed 11), named q001 to
# q120, weight 1. catchment.ins reads the same 120 values from the model's hydrograph.out.
# Then, in this directory, "tarne -slm catchment" calibrates soil_capacity, shape, fast_k and
# split from the starting values of catchment.pst.
set -e
maker=${1:?usage: sh make_example.sh <path of tarne_make_example>}
"$maker" forcing forcing.txt 120 20240917
"$maker" observations truth.prj truth_hydrograph.out observed.tmp 11 0.02
rm -f truth_hydrograph.out

awk '!/^#/ && NF == 3 { n++; printf "q%03d %s %s discharge\n", n, $2, $3 }' observed.tmp \
  > observations.tmp
count=$(wc -l < observations.tmp)
rm -f observed.tmp

{
  echo "pif #"
  awk '{ printf "l1 w !%s!\n", $1 }' observations.tmp
} > catchment.ins

{
  cat <<HEAD
pcf
* control data
restart estimation
6 $count 2 0 1
1 1 single point 1 0 0
5.0 2.0 0.3 0.03 10
5.0 5.0 0.001 0
0.1 noaui
30 0.005 4 4 0.005 4
0 0 0
0 0 0.9 2 0.01
catchment.prj
* parameter groups
soil relative 0.01 0.0 switch 2.0 parabolic
route relative 0.01 0.0 switch 2.0 parabolic
* parameter data
soil_capacity log factor 100 20 1000 soil 1.0 0.0 1
shape none relative 3.0 0.2 10 soil 1.0 0.0 1
fast_k log factor 60 2 500 route 1.0 0.0 1
slow_k fixed factor 480 48 5000 route 1.0 0.0 1
split none relative 0.5 0.05 0.95 route 1.0 0.0 1
velocity fixed factor 0.1 0.01 1 route 1.0 0.0 1
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
* regularisation
1.0e-10 1.05e-10 0.1
1.0 1.0e-10 1.0e10
1.3 1.0e-2
TAIL
} > catchment.pst
rm -f observations.tmp
