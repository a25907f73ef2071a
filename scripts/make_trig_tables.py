#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes rounded_trig/trig_tables.hpp: the constants and tables of the
correctly rounded arc tangent, sine and cosine, each an unevaluated sum of
long doubles (64-bit significands) computed with mpmath at 400 bits.

Usage: make_trig_tables.py > rounded_trig/trig_tables.hpp
The tests check every entry against MPFR, so a table edited by hand fails.
"""

from mpmath import mp, mpf, floor, log, atan, sin, cos, pi, nint

mp.prec = 400


def round_bits(x, bits):
    """x rounded to nearest with a significand of `bits` bits."""
    if x == 0:
        return mpf(0)
    e = int(floor(log(abs(x), 2)))
    # guard the exponent against log's rounding
    while abs(x) >= mpf(2) ** (e + 1):
        e += 1
    while abs(x) < mpf(2) ** e:
        e -= 1
    return nint(x * mpf(2) ** (bits - 1 - e)) * mpf(2) ** (e - bits + 1)


def literal(x):
    """A hexadecimal floating literal that reads back exactly."""
    if x == 0:
        return "0.0L"
    sign = "-" if x < 0 else ""
    x = abs(x)
    e = int(floor(log(x, 2)))
    while x >= mpf(2) ** (e + 1):
        e += 1
    while x < mpf(2) ** e:
        e -= 1
    m = int(x * mpf(2) ** (63 - e))
    assert mpf(m) * mpf(2) ** (e - 63) == x, "not a 64-bit value"
    return f"{sign}0x{m:016X}p{e - 63}L"


def pair(x):
    hi = round_bits(x, 64)
    lo = round_bits(x - hi, 64)
    return f"{{{literal(hi)}, {literal(lo)}}}"


def pieces(x, bits, count):
    out = []
    for _ in range(count):
        # truncated, not rounded, so the pieces keep one sign
        e = int(floor(log(abs(x), 2)))
        p = floor(x * mpf(2) ** (bits - 1 - e)) * mpf(2) ** (e - bits + 1)
        out.append(p)
        x -= p
    return out


print("""// SPDX-License-Identifier: GPL-3.0-or-later
// Written by scripts/make_trig_tables.py; do not edit.
#pragma once
// Constants and tables of the correctly rounded arc tangent, sine and cosine:
// each value v is the pair {hi, lo} with hi = v rounded to 64 bits and lo the
// rest rounded to 64 bits (|v - hi - lo| <= 2^-128 |v|).

#include "rounded_trig/pair_arithmetic.hpp"

namespace dz::rounded_trig_detail {
""")
print(f"inline constexpr Pair PI_PAIR = {pair(pi)};")
print(f"inline constexpr Pair HALF_PI_PAIR = {pair(pi / 2)};")
print(f"inline constexpr Real TWO_OVER_PI = {literal(round_bits(2 / pi, 64))};")
p = pieces(pi / 2, 60, 3)
print("// pi/2 = HALF_PI_1 + HALF_PI_2 + HALF_PI_3 + (less than 2^-179), each piece of")
print("// at most 60 significant bits, so that k * piece is exact for |k| <= 16.")
for i, v in enumerate(p, 1):
    print(f"inline constexpr Real HALF_PI_{i} = {literal(v)};")
print()
print("// atan(k / 256), k = 0 .. 256.")
print("inline constexpr Pair ATAN_TABLE[257] = {")
for k in range(257):
    print(f"    {pair(atan(mpf(k) / 256))},")
print("};")
print()
print("// sin(j / 64) and cos(j / 64), j = 0 .. 52.")
print("inline constexpr Pair SIN_TABLE[53] = {")
for j in range(53):
    print(f"    {pair(sin(mpf(j) / 64))},")
print("};")
print("inline constexpr Pair COS_TABLE[53] = {")
for j in range(53):
    print(f"    {pair(cos(mpf(j) / 64))},")
print("};")
print()
print("}  // namespace dz::rounded_trig_detail")
