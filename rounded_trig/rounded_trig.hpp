// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Correctly rounded arc tangent, sine and cosine of extended reals: each
// result is the exact value rounded to nearest (ties to even) to 64 bits, so
// it is the same on every processor and with every C library.

#include "core_types/real.hpp"

namespace dz {

// rounded_atan: arc tangent of x, correctly rounded.
//
// Usual call: angle = rounded_atan(x / sqrt(1 - x*x)) in ARC_SIN and ARC_COS.
//
// x       on entry, any real (infinities give +-pi/2 rounded, NaN gives NaN).
// return  atan(x) rounded to nearest, in [-pi/2, pi/2].
//
// Method: for |x| > 1, atan(x) = pi/2 - atan(1/x) with 1/x kept as a pair of
// reals. For t = |x| or 1/|x| in [0, 1], c = k/256 is the table point
// nearest t and atan(t) = atan(c) + atan(d), d = (t - c) / (1 + t c),
// |d| <= 2^-9, atan(c) from a table of pairs and atan(d) from its odd
// series to d^13, all in pair arithmetic. The pair result is proven to round
// like the exact value by Ziv's test with the error bound 2^-90 |result|;
// when the test cannot decide (about once in 2^25 calls), MPFR rounds it.
//
// Accuracy: correctly rounded for every argument.
[[nodiscard]] Real rounded_atan(Real x);

// rounded_atan2: the angle of the point (x, y) from the +x axis, correctly
// rounded.
//
// Usual call: angle = rounded_atan2(r sin a, r cos a).
//
// y, x    on entry, the coordinates; unchanged.
// return  atan2(y, x) rounded to nearest, in [-pi, pi], with the C library's
//         rules for zeros, infinities and NaN (atan2(+-0, -0) = +-pi, ...).
//
// Method: the quotient of the smaller coordinate by the larger, as a pair,
// its arc tangent as in rounded_atan, then +-pi/2 or +-pi added; Ziv's test,
// and MPFR for the undecided and the extreme (|quotient| < 2^-33).
//
// Accuracy: correctly rounded for every argument.
[[nodiscard]] Real rounded_atan2(Real y, Real x);

// rounded_sin, rounded_cos: sine and cosine of x, correctly rounded.
//
// Usual call: rounded_sin(t) for an angle of the lap in [-4 pi, 4 pi].
//
// x       on entry, the angle in radians, any real. The fast paths cover
//         |x| <= 4 pi, the range the lap uses; beyond it (an outline of
//         strongly negative widths) MPFR computes every value, correctly
//         rounded but slowly. Infinities give NaN.
// return  sin(x) (cos(x)) rounded to nearest.
//
// Method: x = k pi/2 + r with |r| <= pi/4 + 2^-60, pi/2 in three pieces of
// 60 bits (Cody and Waite): k * piece is exact and x - k * piece_1 loses
// nothing, and since no extended real of |x| <= 4 pi lies closer than
// 2^-66 to a nonzero multiple of pi/2, the 2^-176 left of pi/2 leaves r
// exact to 2^-108 relative. Then r = j/64 + s, |s| <= 2^-7, and
// sin(r) = sin(j/64) cos(s) + cos(j/64) sin(s) (cosine alike) from tables
// of pairs and the series of sin(s) to s^11 and cos(s) to s^12 in pair
// arithmetic; Ziv's test with the bound 2^-88 |result| and MPFR when it
// cannot decide.
//
// Accuracy: correctly rounded for every argument.
[[nodiscard]] Real rounded_sin(Real x);
[[nodiscard]] Real rounded_cos(Real x);

}  // namespace dz
