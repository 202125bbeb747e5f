#!/bin/sh
# The post-run command of grid.pst: the lake model, run after the catchment's model run.
exec awk -f lake.awk values.in hydrograph.out > lake.out
