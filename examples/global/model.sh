#!/bin/sh
# y(t) = amplitude * sin(frequency * t) + offset at t = 0.2, 0.4, ..., 6.0, one value a line.
awk '{ for (i = 1; i <= 30; i++) printf "%.15e\n", $1 * sin($2 * 0.2 * i) + $3 }' values.in > model.out
