#!/usr/bin/env python3
"""Writes the expected record file and seeds file of the trajectory repulsion record test
(trajectory_repulsion_test.cpp, TrRecord.LayoutOfTwoCtRuns) from the rules alone. The case,
the generator and the least-squares point are those of ../mlsl/make_expected.py.

tr.in: "Y", seed 12345, Npre 4, Nct 2, Nstall 5, f 0.001. CT run 1 starts from the best
sample; its trajectory is then only its start (NOPTMAX 1 records no later point), so CT run 2
starts from the unused sample farthest from that start in normalised squared distance over a
and b (both ranges 1; c is fixed). Both runs end at the least-squares point with the same
objective, so run 1 stays the best.
"""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "mlsl"))
from make_expected import OPTIMUM, OPTIMUM_OBJECTIVES, SEARCH_RUNS, draw_samples, objectives  # noqa: E402


def main():
    n_samples, n_ct = 4, 2
    seeds, samples = draw_samples(12345, n_samples)
    objs = [objectives(a, b) for a, b in samples]
    out = []
    w = out.append
    w("                        CT_MS2 CONTROL INFORMATION\n\n")
    w("Input unsigned long random seed                             : 12345\n")
    w("Number of pre-inversion runs to carry out                   : 4\n")
    w("Maximum number of CT inversions to carry out                : 2\n")
    w("Number of CT runs with no objective function improvement    : 5\n")
    w("Improvement fraction judged to be negligible                : 0.001000\n")
    w("Name of existing control file : case\n\n")
    w("                   RESULTS OF PRE-INVERSION SAMPLE RUNS\n\n")
    w("a\tb\tTotal\tg1\tg2\t\n")
    for (a, b), o in zip(samples, objs):
        w("%.10E\t%.10E\t%f\t%f\t%f\t\n" % (a, b, o[0], o[1], o[2]))
    w("\n\n                   RESULTS OF CT OPTIMIZATION RUNS\n\n\n")
    order = sorted(range(n_samples), key=lambda m: objs[m][0])
    first = order[0]
    trajectory = [samples[first]]
    unused = [m for m in order if m != first]

    def score(m):
        return max((samples[m][0] - t[0]) ** 2 + (samples[m][1] - t[1]) ** 2 for t in trajectory)

    second = max(unused, key=score)  # max keeps the first of equal scores, as the rule does
    calls = n_samples
    for r, m in enumerate((first, second), start=1):
        calls += SEARCH_RUNS
        w(" Results of CT inversion run number %d --->\n\n" % r)
        w("     Parameter values:-\n\n")
        w("         Parameter           Starting parameter  Optimised parameter\n")
        w("         name                value               value\n")
        for name, start, end in zip("ab", samples[m], OPTIMUM):
            w("\t%s\t%.10E\t%.10E\n" % (name, start, end))
        w("\n\n     Objective function(s):-\n\n")
        w("         Observation         Starting objective  Optimised objective\n")
        w("         group name          function value      function value\n")
        for name, start, end in zip(("total", "g1", "g2"), objs[m], OPTIMUM_OBJECTIVES):
            w("\t%s\t%E\t%E\n" % (name, start, end))
        w("\n\n")
        w(" Number of model runs for latest CT run   = %d\n" % SEARCH_RUNS)
        w(" Total number of model calls so far       = %d\n" % calls)
        w("\n\n\n\n")
    w("\n\n\n\n                   RESULTS OF GLOBAL SEARCH PROCESS\n\n")
    w("The global search process yielded a total objective function value of %f\n" % 0.01)
    w("This value was obtained from inversion run number 1\n\n")
    here = os.path.dirname(os.path.abspath(__file__))
    with open(os.path.join(here, "slm_kor_ms2.rec"), "w") as f:
        f.write("".join(out))
    with open(os.path.join(here, "RandomNumberSeeds.prn"), "w") as f:
        f.write("".join("%d\n" % s for s in seeds))


if __name__ == "__main__":
    main()
