// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The parts of the correctly rounded functions, for their tests and
// benchmarks: the fast pair results, the rounding test and the exact path.

#include "rounded_trig/pair_arithmetic.hpp"

namespace dz::rounded_trig_detail {

// Proven bounds of the fast paths' errors, relative to the result:
// |exact - (hi + lo)| <= bound * |hi|.
inline constexpr Real ATAN_QUICK_BOUND = 0x1p-75L;
inline constexpr Real ATAN_BOUND = 0x1p-90L;
inline constexpr Real SIN_COS_QUICK_BOUND = 0x1p-72L;
inline constexpr Real SIN_COS_BOUND = 0x1p-88L;

// rounds_alike: Ziv's rounding test.
//
// p       on entry, a normalised pair; the exact value v is known to lie
//         within bound * |p.hi| of p.hi + p.lo.
// bound   on entry, the relative error bound (at most 2^-70).
// out     on return, when the test decides, v rounded to nearest.
// return  true when every real within the bound rounds to the same value,
//         false when the test cannot decide.
//
// Method: rounding to nearest is monotone, so when hi + (lo - e) and
// hi + (lo + e) round alike, every value between them does too. e is twice
// the bound, which covers the rounding of lo +- e.
bool rounds_alike(Pair p, Real bound, Real& out);

// The fast paths: the pair before the rounding test.
// atan_quick: the cheaper first try, for 2^-33 <= |x| < 2^64, within
// ATAN_QUICK_BOUND; atan_pair: for 2^-33 <= |x| (infinities included),
// within ATAN_BOUND.
Pair atan_quick(Real x);
Pair atan_pair(Real x);
// atan2_pair: for finite nonzero x and y with 2^-33 <= |y / x| <= 2^33 after
// scaling; *ok false when the arguments are outside that (no pair then).
Pair atan2_pair(Real y, Real x, bool& ok);
// sin_pair, cos_pair: for 2^-33 <= |x| <= 4 pi, within SIN_COS_BOUND;
// sin_quick, cos_quick: the cheaper first tries, within SIN_COS_QUICK_BOUND.
Pair sin_quick(Real x);
Pair cos_quick(Real x);
Pair sin_pair(Real x);
Pair cos_pair(Real x);

// The exact path: MPFR's correctly rounded function at 64 bits
// (subnormal results rounded once, to their own precision).
Real exact_atan(Real x);
Real exact_atan2(Real y, Real x);
Real exact_sin(Real x);
Real exact_cos(Real x);

}  // namespace dz::rounded_trig_detail
