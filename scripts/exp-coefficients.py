#!/usr/bin/env python3
# Derives the constants of the engine's exponential (engine/exponential.h,
# engine/exponential_table.h) and prints them as C++ hex literals:
#  - ln 2 / 128 split into a head whose products with any reduction count up to 2^18 are
#    exact and a tail;
#  - for j = 0..127, 2^(j/128) as a double and the rest (2^(j/128) - that double);
#  - the coefficients of Q in exp(r) = 1 + r + r^2 Q(r) on |r| <= ln 2 / 256, a Chebyshev
#    fit of (exp(r) - 1 - r) / r^2 computed at 60 digits and then rounded to double, with
#    the fit's worst relative error.
# Needs python3-mpmath. usage: scripts/exp-coefficients.py [table]
import sys

import mpmath as mp

mp.mp.dps = 60
N = 128
ln2 = mp.log(2)
step = ln2 / N
head = mp.floor(step * 2**43 + mp.mpf('0.5')) / 2**43  # 35 significant bits
tail = float(step - head)
half = step / 2

if sys.argv[1:] == ['table']:
    for j in range(N):
        v = mp.power(2, mp.mpf(j) / N)
        hi = float(v)
        lo = float(v - mp.mpf(hi))
        print(f"    {{{hi.hex()}, {lo.hex()}}},")
    sys.exit(0)


def q_exact(r):
    if abs(r) < mp.mpf('1e-25'):
        return mp.mpf(1) / 2
    return (mp.exp(r) - 1 - r) / r**2


DEGREE = 3
poly, _ = mp.chebyfit(q_exact, [-half * mp.mpf('1.001'), half * mp.mpf('1.001')], DEGREE + 1, error=True)
coefficients = [float(c) for c in reversed(poly)]  # lowest power first

worst = mp.mpf(0)
for i in range(4001):
    r = -half + 2 * half * i / 4000
    q = mp.mpf(0)
    for c in reversed(coefficients):
        q = q * r + mp.mpf(c)
    worst = max(worst, abs((1 + r + r * r * q) / mp.exp(r) - 1))

print(f"constexpr double kInverseStep = {float(1 / step).hex()};  // 128 / ln 2")
print(f"constexpr double kStepHead = {float(head).hex()};")
print(f"constexpr double kStepTail = {tail.hex()};")
for i, c in enumerate(coefficients):
    print(f"  {c.hex()},  // r^{i}")
print(f"// worst relative error of the fit: {mp.nstr(worst, 3)}")
