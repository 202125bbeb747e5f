#!/bin/sh
# The "model": y = a x^2 + b at x = 0 .. 4, written to result.out as "x y" lines, and the
# sum of squared differences from the curve with a = 2, b = -1 written to objective.out.
awk '{ v[$1] = $2 }
END {
  sum = 0
  for (x = 0; x <= 4; x++) {
    y = v["a"] * x * x + v["b"]
    printf "%d %.10e\n", x, y > "result.out"
    d = y - (2 * x * x - 1)
    sum += d * d
  }
  printf "%.10e\n", sum > "objective.out"
}' params.out
