#!/usr/bin/env python3
"""Writes the expected record file and seeds file of the MLSL record test (mlsl_test.cpp,
MlslRecord.LayoutOfAFullIteration) from the rules alone: the sampling generator and the seed
chain re-implemented here, the model of the test case evaluated here, and the least-squares
point of that linear model worked out by hand.

The case: adjustable a and b in [0, 0.01], c fixed at 2; observations a + b (0.007 and
0.008, group g1) and a - b (-0.001 and -0.002, group g2), weight 100. J'QJ is 40000 I, so
one Levenberg-Marquardt iteration with the optimum step reaches the least-squares point
a = 0.003, b = 0.0045, where each group contributes 2 x (100 x 0.0005)^2 = 0.005. With
NOPTMAX 1 a search makes its initial run, two Jacobian runs and one lambda trial (phi falls
below 0.3 of its start): 4 counted runs. The small range keeps the steps short, so that the
rounding of the value file (eight digits) moves the end points by far less than 1e-6.

mlsl.in: N 5, gamma 0.4, sigma 1e-6, dmin 0.0001, "Y", seed 12345, Kmax 1, Lmax 2, Lstall 5,
Kstall 3, f 0.001. The reduced sample holds the two best samples; alpha is tiny, so both
start a search; the second ends at the first one's end point (no new minimum). Lmax and Kmax
are both reached in iteration 1, and the Kmax rule (4) is reported.
"""
import math
import os

MODULUS = 2147483647
TABLE = 32
DIVISOR = 1 + (MODULUS - 1) // TABLE


class Generator:
    """The multiplicative congruential generator with a Bays-Durham shuffle table."""

    def __init__(self):
        self.last = 0
        self.table = [0] * TABLE

    @staticmethod
    def step(s):
        k = s // 127773
        s = 16807 * (s - k * 127773) - 2836 * k
        return s + MODULUS if s < 0 else s

    def deviate(self, seed):
        if seed <= 0 or self.last == 0:
            seed = max(-seed, 1)
            for j in range(TABLE + 7, -1, -1):
                seed = self.step(seed)
                if j < TABLE:
                    self.table[j] = seed
            self.last = self.table[0]
        seed = self.step(seed)
        j = self.last // DIVISOR
        self.last = self.table[j]
        self.table[j] = seed
        return min(self.last * 4.656612875245797e-10, 0.99999988), seed


def seed_chain(user_seed, count):
    state = user_seed
    seeds = []
    for _ in range(count):
        state = (state * 1664525 + 1013904223) % 2**32
        seeds.append(int(float(state) * -0.5))
    return seeds


def draw_samples(user_seed, count):
    """(seeds, samples): a and b of each sample, drawn in [0, 0.01]."""
    generator = Generator()
    seeds = seed_chain(user_seed, count)
    samples = []
    for seed in seeds:
        u, seed = generator.deviate(seed)
        v, seed = generator.deviate(seed)
        samples.append((0.01 * u + 0.0, 0.01 * v + 0.0))
    return seeds, samples


def objectives(a, b):
    """(total, g1, g2) as the model computes them from the values it is given ("%.7E")."""
    a = float("%.7E" % a)
    b = float("%.7E" % b)
    g1 = (100 * (0.007 - (a + b))) ** 2 + (100 * (0.008 - (a + b))) ** 2
    g2 = (100 * (-0.001 - (a - b))) ** 2 + (100 * (-0.002 - (a - b))) ** 2
    return (g1 + g2, g1, g2)


OPTIMUM = (0.003, 0.0045)
OPTIMUM_OBJECTIVES = (0.01, 0.005, 0.005)
SEARCH_RUNS = 4


def critical_distance(n, volume, sigma, m):
    return (math.gamma(1 + n / 2) * volume * sigma * math.log(m) / m) ** (1 / n) / math.sqrt(math.pi)


def main():
    n_samples, gamma, sigma = 5, 0.4, 1e-6
    seeds, samples = draw_samples(12345, n_samples)
    objs = [objectives(a, b) for a, b in samples]
    out = []
    w = out.append
    w("                        CT_MLSL CONTROL INFORMATION\n\n")
    w("Input unsigned long random seed                             : 12345\n")
    w("Uniform random sample size at step k                        : 5\n")
    w("Value for reduction of the sample                           : 0.400000\n")
    w("Value for sigma                                             : 0.000001\n")
    w("Maximum MLSL iterations to carry out                        : 1\n")
    w("Maximum number of local search inversions to carry out      : 2\n")
    w("Maximum number of CT runs with no objective function improvement    : 5\n")
    w("Maximum number of MLSL iterations with no objective function improvement    : 3\n")
    w("Improvement fraction judged to be negligible                : 0.001000\n")
    w("Name of existing control file : case\n\n")
    w("\nSampling Phase: Iteration 1\n\n")
    w("a\tb\tTotal\tg1\tg2\t\n")
    for (a, b), o in zip(samples, objs):
        w("%f\t%f\t%f\t%f\t%f\t\n" % (a, b, o[0], o[1], o[2]))
    w("\n")
    reduced_size = int(n_samples * gamma)
    order = sorted(range(n_samples), key=lambda m: objs[m][0])[:reduced_size]
    w("Reduced Sample Set: Iteration 1\n\n")
    w("a\tb\tTotal\t\n")
    for m in order:
        w("%f\t%f\t%f\t\n" % (samples[m][0], samples[m][1], objs[m][0]))
    alpha = critical_distance(2, 0.01 * 0.01, sigma, n_samples)
    w("\n\nFor iteration 1, alpha equals %f\n\n" % alpha)
    calls = n_samples
    for x, m in enumerate(order, start=1):
        calls += SEARCH_RUNS
        w("\nA LS will be performed from vector %d of the reduced sample in iteration 1\n" % x)
        if x == 1:
            w("\n Results of MLSL supervised local search 1 which occured in step 1 --->\n\n")
        else:
            w("\n THIS LOCAL SEARCH DID NOT RESULT IN A NEW LOCAL MINIMUM\n")
            w("\n Results of MLSL supervised local search which occured in step 1 --->\n\n")
        w("     Parameter values:-\n\n")
        w("         Parameter           Starting parameter  Optimised parameter\n")
        w("         name                value               value\n")
        for name, start, end in zip("ab", samples[m], OPTIMUM):
            w("\t%s\t%f\t%f\n" % (name, start, end))
        w("\n\n     Objective function(s):-\n\n")
        w("         Observation         Starting objective  Optimised objective\n")
        w("         group name          function value      function value\n")
        for name, start, end in zip(("total", "g1", "g2"), objs[m], OPTIMUM_OBJECTIVES):
            w("\t%s\t%f\t%f\n" % (name, start, end))
        w("\n\n")
        w(" Number of model runs for latest Local Search   = %d\n" % SEARCH_RUNS)
        w(" Total number of model calls so far       = %d\n" % calls)
        w("\n\n\n\n")
        if x == 1:
            # The trajectory holds only the start: NOPTMAX 1 records no later point.
            w("Upgrade vectors for Local Search 1 which occured during step 1 of MLSL\n\n")
            w("%f\t%f\t%f\t%f\t%f\t\n" % (samples[m][0], samples[m][1], objs[m][0],
                                         -999.999, -999.999))
            w("\n\n")
    w("\n\n\n\n                   RESULTS OF GLOBAL SEARCH PROCESS\n\n")
    w("Actual number of local searches performed is: 2\n")
    w("The number of local searches that yielded distinct local minima: 1\n")
    w("The number of MLSL iterations is: 1\n")
    w("The global search process yielded a total objective function value of %f\n" % 0.01)
    w("This value was obtained from reported inversion run number 1\n\n")
    w("Total model calls    = %d\n" % calls)
    w("Stopped because the maximum MLSL iterations, 1, to carry out were carried out\n\n")
    here = os.path.dirname(os.path.abspath(__file__))
    with open(os.path.join(here, "slm_kor_mlsl.rec"), "w") as f:
        f.write("".join(out))
    with open(os.path.join(here, "RandomNumberSeeds.prn"), "w") as f:
        f.write("".join("%d\n" % s for s in seeds))


if __name__ == "__main__":
    main()
