#!/usr/bin/env python3
"""Writes the expected files of the multistart golden test from first principles.

The case (see GoldenCase in tests/global/multistart_test.cpp): parameters a (none, 0..4),
k (log, 1..100), f (fixed, 3) and t (tied to a with ratio 2); five observations
y(x) = t / 2 + log10(k) x + f - 3 at x = 0..4, the first three in group g1 and the last two
in g2, all of weight 1. "ms.in" holds the seed 7 and N = 2.

The samples come from the generator as the method describes it (multiplier 16807 modulo
2^31 - 1 by Schrage's method, a 32-entry shuffle table, the seed chain
state * 1664525 + 1013904223 modulo 2^32 and seed = trunc(-state / 2)). The sample objectives
are the squared residuals of the model at the sampled values as the model sees them (the
value file holds "%.7E" numbers). The optimised values are the least-squares solution of the
linear model in a and log10(k), found from the normal equations, which every local search
reaches since the problem is linear in the stored values.

Run from this directory: python3 make_expected.py
"""
import math

MODULUS = 2147483647
table = [0] * 32
last = 0


def step(s):
    k = s // 127773
    s = 16807 * (s - k * 127773) - 2836 * k
    return s + MODULUS if s < 0 else s


def deviate(seed):
    global last
    if seed <= 0 or last == 0:
        seed = max(-seed, 1)
        for j in range(39, -1, -1):
            seed = step(seed)
            if j < 32:
                table[j] = seed
        last = table[0]
    seed = step(seed)
    j = last // 67108864
    last = table[j]
    table[j] = seed
    return min(last * 4.656612875245797e-10, 0.99999988), seed


X = [0, 1, 2, 3, 4]
GROUPS = ["g1", "g1", "g1", "g2", "g2"]
NOISE = [0.02, -0.01, 0.03, -0.02, 0.01]
OBS = [1.5 + 0.5 * x + n for x, n in zip(X, NOISE)]


def objectives(a, k, f, t):
    seen = [float("%.7E" % v) for v in (a, k, f, t)]
    phi = {"g1": 0.0, "g2": 0.0}
    for x, g, o in zip(X, GROUPS, OBS):
        y = seen[3] / 2 + math.log(seen[1]) / math.log(10) * x + seen[2] - 3
        phi[g] += (o - y) ** 2
    return [phi["g1"] + phi["g2"], phi["g1"], phi["g2"]]


def least_squares():
    n, sx, sxx = len(X), sum(X), sum(x * x for x in X)
    sy, sxy = sum(OBS), sum(x * o for x, o in zip(X, OBS))
    det = n * sxx - sx * sx
    return (sy * sxx - sx * sxy) / det, (n * sxy - sx * sy) / det


def main(seed=7, runs=2):
    state = seed
    samples, seeds = [], []
    for _ in range(runs):
        state = (state * 1664525 + 1013904223) % 2**32
        s = int(float(state) * -0.5)
        u, s = deviate(s)
        a = 4.0 * u
        u, s = deviate(s)
        k = 10 ** math.log10(99.0 * u + 1.0)
        samples.append((a, k, 3.0, 2.0 * a))
        seeds.append(s)
    with open("parameters.prn", "w") as out:
        for p in samples:
            out.write("".join("%.12E\t" % v for v in p) + "\n")
    with open("RandomNumberSeeds.prn", "w") as out:
        out.write("".join("%d\n" % s for s in seeds))
    a_opt, l_opt = least_squares()
    best = (a_opt, 10 ** l_opt, 3.0, 2.0 * a_opt)
    final = objectives(*best)
    rec = "                        CT_MS1 CONTROL INFORMATION\n\n"
    rec += "Input unsigned long random seed                             : %u\n" % seed
    rec += "Number of pre-inversion runs to carry out                   : %d\n" % runs
    rec += "Name of existing control file : case\n\n"
    rec += "                   RESULTS OF PRE-INVERSION SAMPLE RUNS\n\n"
    rec += "a\tk\tTotal\tg1\tg2\t\n"
    for p in samples:
        rec += "%f\t%f\t" % p[:2] + "".join("%f\t" % v for v in objectives(*p)) + "\n"
    rec += "\n\n                   RESULTS OF CT OPTIMIZATION RUNS\n\n\n"
    for r, p in enumerate(samples, 1):
        start = objectives(*p)
        rec += " Results of CT inversion run number %d --->\n\n" % r
        rec += "     Parameter values:-\n\n"
        rec += "         Parameter           Starting parameter  Optimised parameter\n"
        rec += "         name                value               value\n"
        rec += "\ta\t%f\t%f\n\tk\t%f\t%f\n" % (p[0], best[0], p[1], best[1])
        rec += "\n\n     Objective function(s):-\n\n"
        rec += "         Observation         Starting objective  Optimised objective\n"
        rec += "         group name          function value      function value\n"
        for name, s0, s1 in zip(["total", "g1", "g2"], start, final):
            rec += "\t%s\t%f\t%f\n" % (name, s0, s1)
        rec += "\n\n"
    with open("slm_kor_ms1.rec", "w") as out:
        out.write(rec)


if __name__ == "__main__":
    main()
