#!/bin/sh
# Remakes the data of this example from seeded generators, in this directory:
#
#   sh make_example.sh <path of tarne_make_example>
#
# forcing.txt: 365 synthetic days (seed 20240921). The observations of grid.pst, all daily:
# the discharge of truth.prj at the catchment's outlet (q001 to q365), and the outflow and
# level of the lake that lake.awk computes from that discharge with the lake's true
# parameters (o001 to o365, h001 to h365), each with 2 % noise (seeds 21, 22 and 23).
# grid.ins and lake.ins read the same values from the model's hydrograph.out and lake.out.
# Then, in a copy of this directory, "tarne -slm grid" calibrates the twelve parameters
# from the starting values of grid.pst.
set -e
maker=${1:?usage: sh make_example.sh <path of tarne_make_example>}
"$maker" forcing forcing.txt 365 20240921
"$maker" observations truth.prj truth_hydrograph.out discharge.tmp 21 0.02
# The lake's true parameters: area 10 km2, weir 30, crest 0.8 m, seepage 0.002 a day,
# spring 0.3 m3/s, level 1.2 m at the start.
printf '120 2.5 48 720 0.6 0.2 10 30 0.8 0.002 0.3 1.2' > truth_values.tmp
awk -f lake.awk truth_values.tmp truth_hydrograph.out > truth_lake.tmp
awk '{ print $1, $2 }' truth_lake.tmp > truth_outflow.tmp
awk '{ print $1, $3 }' truth_lake.tmp > truth_level.tmp
# The maker runs truth.prj again each time and adds noise to the series it is given.
"$maker" observations truth.prj truth_outflow.tmp outflow.tmp 22 0.02
"$maker" observations truth.prj truth_level.tmp level.tmp 23 0.02
rm -f truth_hydrograph.out truth_values.tmp truth_lake.tmp truth_outflow.tmp truth_level.tmp

# name value weight group, from the "time value weight" rows of a maker's output.
observations() {
  awk -v prefix="$2" -v weight="$3" -v group="$4" '!/^#/ && NF == 3 {
    n++; printf "%s%03d %s %s %s\n", prefix, n, $2, weight, group }' "$1"
}
{
  observations discharge.tmp q 1 discharge
  observations outflow.tmp o 1 outflow
  observations level.tmp h 10 level
} > observations.tmp
count=$(wc -l < observations.tmp)
days=$(grep -c '^q' observations.tmp)
rm -f discharge.tmp outflow.tmp level.tmp

awk -v days="$days" 'BEGIN {
  print "pif #"
  for (d = 1; d <= days; d++) printf "l1 w !q%03d!\n", d
}' > grid.ins
awk -v days="$days" 'BEGIN {
  print "pif #"
  for (d = 1; d <= days; d++) printf "l1 w !o%03d! !h%03d!\n", d, d
}' > lake.ins

{
  cat <<HEAD
pcf
* control data
restart estimation
12 $count 3 0 3
1 2 single point 1 0 0
5.0 2.0 0.3 0.03 10
5.0 5.0 0.001 0
0.1 noaui
8 0.005 4 4 0.005 4
0 0 0
0 0 0.9 2 0.01
grid.prj
* parameter groups
soil relative 0.01 0.0 switch 2.0 parabolic
route relative 0.01 0.0 switch 2.0 parabolic
lake relative 0.01 0.0 switch 2.0 parabolic
* parameter data
soil_capacity log factor 200 20 1000 soil 1.0 0.0 1
shape none relative 1.5 0.2 10 soil 1.0 0.0 1
fast_k log factor 24 2 500 route 1.0 0.0 1
slow_k log factor 480 48 5000 route 1.0 0.0 1
split none relative 0.5 0.05 0.95 route 1.0 0.0 1
velocity log factor 0.1 0.01 1 route 1.0 0.0 1
lake_area log factor 6 1 50 lake 1.0 0.0 1
weir_coef log factor 20 2 200 lake 1.0 0.0 1
crest none relative 0.5 0.0 3.0 lake 1.0 0.0 1
seepage none relative 0.005 0.0 0.05 lake 1.0 0.0 1
spring none relative 0.1 0.0 2.0 lake 1.0 0.0 1
level0 none relative 1.0 0.0 5.0 lake 1.0 0.0 1
* observation groups
discharge
outflow
level
* observation data
HEAD
  cat observations.tmp
  cat <<TAIL
* model command line
none ./lake.sh
* model input/output
grid.tpl grid.prj
grid.ins hydrograph.out
lake.ins lake.out
* prior information
* regularisation
1.0e-10 1.05e-10 0.1
1.0 1.0e-10 1.0e10
1.3 1.0e-2
TAIL
} > grid.pst
rm -f observations.tmp
