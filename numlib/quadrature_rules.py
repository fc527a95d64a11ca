#!/usr/bin/env python3
"""Generates the tables of numlib/quadrature_rules.hpp: the stored Gauss rules.

Run: python3 numlib/quadrature_rules.py > tables.txt, then paste the three
tables between the header lines of numlib/quadrature_rules.hpp.

For each point count the roots of the orthogonal polynomial are bracketed by a
sign-change scan in floating point and then refined by Newton's method in
60-digit decimal arithmetic; the weights follow from the classical formulas:
  Legendre  w = 2 / ((1 - x^2) P_n'(x)^2)
  Hermite   w = 1 / (sum_{k<n} p_k(x)^2)   with p_k the orthonormal Hermite
            polynomials for the weight exp(-x^2) (Christoffel numbers)
  Laguerre  w = 1 / (x L_n'(x)^2)
Hermite and Laguerre weights are stored adjusted: times exp(x^2) and exp(x).
Only the python3 standard library is used.
"""
import math
from decimal import Decimal as D, getcontext

getcontext().prec = 60
COUNTS = [1, 2, 3, 4, 5, 6, 8, 10, 12, 14, 16, 20, 24, 32, 48, 64]


def pi_dec():
    # Machin: pi = 16 atan(1/5) - 4 atan(1/239)
    def atan_inv(k):
        x = D(1) / k
        x2 = x * x
        s, t, n = D(0), x, 1
        while True:
            term = t / n
            if abs(term) < D(10) ** -70:
                break
            s += term
            t = -t * x2
            n += 2
        return s
    return 16 * atan_inv(5) - 4 * atan_inv(239)


PI = pi_dec()
SQRTPI = PI.sqrt()


# ---- Legendre: P_n and P_{n-1} by the three-term recurrence
def legendre(n, x):
    p0, p1 = type(x)(1), x
    if n == 0:
        return p0, type(x)(0)
    for k in range(2, n + 1):
        p0, p1 = p1, ((2 * k - 1) * x * p1 - (k - 1) * p0) / k
    return p1, p0


def legendre_dp(n, x):
    pn, pm = legendre(n, x)
    return pn, n * (x * pn - pm) / (x * x - 1)


# ---- Hermite, orthonormal for exp(-x^2): p_0 = pi^-1/4,
# p_k = x sqrt(2/k) p_{k-1} - sqrt((k-1)/k) p_{k-2}
def hermite_all(n, x, sqrt_, p0):
    ps = [p0]
    pm, p = type(x)(0), p0
    for k in range(1, n + 1):
        pm, p = p, x * sqrt_(type(x)(2) / k) * p - sqrt_(type(x)(k - 1) / k) * pm
        ps.append(p)
    return ps  # p_0..p_n


def hermite_val_dp(n, x):
    ps = hermite_all(n, x, lambda v: v.sqrt(), D(1) / SQRTPI.sqrt())
    # p_n' = sqrt(2n) p_{n-1}
    return ps[n], (D(2) * n).sqrt() * ps[n - 1], ps


def hermite_float(n, x):
    return hermite_all(n, x, math.sqrt, math.pi ** -0.25)[n]


# ---- Laguerre, L_n by recurrence, L_n' = n (L_n - L_{n-1}) / x
def laguerre(n, x):
    l0, l1 = type(x)(1), 1 - x
    if n == 0:
        return l0, type(x)(0)
    for k in range(2, n + 1):
        l0, l1 = l1, ((2 * k - 1 - x) * l1 - (k - 1) * l0) / k
    return l1, l0


def laguerre_dp(n, x):
    ln, lm = laguerre(n, x)
    return ln, n * (ln - lm) / x


def scan(f, pts):
    brackets = []
    prev = None
    for t in pts:
        v = f(t)
        if prev is not None and (v == 0 or (v > 0) != (prev[1] > 0)):
            brackets.append((prev[0], t))
        prev = (t, v)
    return brackets


def refine(fdp, lo, hi):
    # float bisection to a good start, then decimal Newton
    x = (lo + hi) / 2
    for _ in range(60):
        m = (lo + hi) / 2
        if (float(fdp(D(m))[0]) > 0) == (float(fdp(D(lo))[0]) > 0):
            lo = m
        else:
            hi = m
    x = D((lo + hi) / 2)
    for _ in range(8):
        v, dv = fdp(x)[:2]
        x = x - v / dv
    return x


def rules_legendre(n):
    # roots in (0, 1) by scanning theta = arccos(x); half rule, t descending
    th = [i * (math.pi / 2) / 20000 for i in range(0, 20001)]
    pts = [math.cos(t) for t in th]  # descending from 1 to 0
    br = scan(lambda x: legendre(n, x)[0], pts)
    roots = []
    for a, b in br:
        if b <= 1e-300 and n % 2 == 1:
            continue
        roots.append(refine(lambda x: legendre_dp(n, x), min(a, b), max(a, b)))
    roots = [r for r in roots if r > D("1e-30")]
    if n % 2 == 1:
        roots.append(D(0))
    assert len(roots) == (n + 1) // 2, (n, len(roots))
    out = []
    for x in roots:
        _, dp = legendre_dp(n, x) if x != 0 else (None, None)
        if x == 0:
            # P_n'(0) from the derivative recurrence: use n P_{n-1}(0) (x^2-1 = -1, x P_n = 0)
            pn, pm = legendre(n, D(0))
            dp = n * (0 - pm) / D(-1)
        w = 2 / ((1 - x * x) * dp * dp)
        out.append((x, w))
    return out


def rules_hermite(n):
    lim = math.sqrt(2 * n + 1) + 1
    pts = [i * lim / 40000 for i in range(40001)]  # ascending from 0
    br = scan(lambda x: hermite_float(n, x), pts)
    roots = []
    for a, b in br:
        if a == 0 and n % 2 == 1:
            continue
        roots.append(refine(lambda x: hermite_val_dp(n, x), a, b))
    roots = [r for r in roots if r > D("1e-30")]
    roots.sort(reverse=True)
    if n % 2 == 1:
        roots.append(D(0))
    assert len(roots) == (n + 1) // 2, (n, len(roots))
    out = []
    for x in roots:
        ps = hermite_val_dp(n, x)[2]
        w = 1 / sum(p * p for p in ps[:n])
        out.append((x, w * (x * x).exp()))
    return out


def rules_laguerre(n):
    lim = math.sqrt(4 * n + 2 + 2 * math.sqrt(n) + 10)
    pts = [(i * lim / 60000) ** 2 for i in range(1, 60001)]
    br = scan(lambda x: laguerre(n, x)[0], pts)
    roots = [refine(lambda x: laguerre_dp(n, x), a, b) for a, b in br]
    assert len(roots) == n, (n, len(roots))
    out = []
    for x in roots:
        _, dp = laguerre_dp(n, x)
        w = 1 / (x * dp * dp)
        out.append((x, w * x.exp()))
    return out


def fmt(v):
    return repr(float(v))


def emit(name, rules):
    lines = []
    lines.append(f"// {name}: (abscissa, weight) pairs of the {len(COUNTS)} rules one after the other.")
    lines.append(f"inline constexpr double k{name}[][2] = {{")
    for n, r in zip(COUNTS, rules):
        lines.append(f"    // n = {n}")
        for x, w in r:
            lines.append(f"    {{{fmt(x)}, {fmt(w)}}},")
    lines.append("};")
    return "\n".join(lines)


if __name__ == "__main__":
    leg = [rules_legendre(n) for n in COUNTS]
    her = [rules_hermite(n) for n in COUNTS]
    lag = [rules_laguerre(n) for n in COUNTS]
    print(emit("Legendre", leg))
    print(emit("Hermite", her))
    print(emit("Laguerre", lag))
