#!/usr/bin/env python3
# Derives the constants of the engine's exponential (engine/exponential.h) and prints
# them as C++ hex literals: ln 2 split into a head whose products with any reduction
# count up to 2^11 are exact and a tail, and the coefficients of Q in
# exp(r) = 1 + r + r^2 Q(r) on |r| <= ln 2 / 2, a Chebyshev fit of
# (exp(r) - 1 - r) / r^2 computed at 60 digits and then rounded to double. It also
# prints the fit's worst relative error with the rounded coefficients.
# Needs python3-mpmath.
import mpmath as mp

mp.mp.dps = 60
ln2 = mp.log(2)
head = mp.floor(ln2 * 2**42 + mp.mpf('0.5')) / 2**42  # 42 significant bits
tail = float(ln2 - head)
half = ln2 / 2


def q_exact(r):
    if abs(r) < mp.mpf('1e-25'):
        return mp.mpf(1) / 2
    return (mp.exp(r) - 1 - r) / r**2


DEGREE = 10
poly, _ = mp.chebyfit(q_exact, [-half * mp.mpf('1.0001'), half * mp.mpf('1.0001')], DEGREE + 1, error=True)
coefficients = [float(c) for c in reversed(poly)]  # lowest power first

worst = mp.mpf(0)
for i in range(4001):
    r = -half + 2 * half * i / 4000
    q = mp.mpf(0)
    for c in reversed(coefficients):
        q = q * r + mp.mpf(c)
    worst = max(worst, abs((1 + r + r * r * q) / mp.exp(r) - 1))

print(f"constexpr double kInverseLn2 = {float(1 / ln2).hex()};")
print(f"constexpr double kLn2Head = {float(head).hex()};")
print(f"constexpr double kLn2Tail = {tail.hex()};")
for i, c in enumerate(coefficients):
    print(f"  {c.hex()},  // r^{i}")
print(f"// worst relative error of the fit: {mp.nstr(worst, 3)}")
