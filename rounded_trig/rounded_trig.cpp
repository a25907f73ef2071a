// SPDX-License-Identifier: GPL-3.0-or-later
#include "rounded_trig/rounded_trig.hpp"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "rounded_trig/rounded_trig_detail.hpp"
#include "rounded_trig/trig_tables.hpp"

namespace dz {

namespace rounded_trig_detail {

bool rounds_alike(Pair p, Real bound, Real& out) {
    const Real e = 2 * bound * std::fabs(p.hi);
    const Real below = p.hi + (p.lo - e);
    const Real above = p.hi + (p.lo + e);
    if (below != above) return false;
    out = below;
    return true;
}

namespace {

// nearest_int: y rounded to the nearest integer (ties to even), for
// |y| < 2^61. Adding 3 * 2^62 leaves a sum in [2^63, 2^64), whose unit in
// the last place is 1, so the one rounding of the addition is the rounding
// of y, and the sum's 64-bit significand is the integer 3 * 2^62 + round(y).
// This avoids std::nearbyint, whose extended version saves and restores the
// whole floating-point environment on every call, and a conversion to int,
// which switches the x87 rounding mode.
int nearest_int(Real y) {
    constexpr Real shift = 0x3p62L;
    const Real sum = y + shift;
    std::uint64_t significand = 0;
    std::memcpy(&significand, &sum, sizeof significand);  // the low 8 bytes of the 80-bit format
    return static_cast<int>(static_cast<std::int64_t>(significand - (std::uint64_t{3} << 62)));
}

// atan_reduced: atan(t) for a pair t with 0 <= t <= 1 (+ 2^-63).
//
// Error: the table pair 2^-128, the reduced argument d (exact numerator,
// denominator to 2^-126, quotient 2^-123) 2^-122 relative; in the series
// d + d^3 A(d^2) the tail B = 1/5 - d^2/7 + ... + d^8/13 is summed in plain
// reals (2^-62 relative), so d^2 B (<= 2^-20.3) is off by 2^-81.8, A
// (~ -1/3) by 2^-80.2 relative and d^3 A (<= 2^-19.6 |d|) by 2^-99.8 |d|;
// the series' first omitted term is d^15/15 <= 2^-129.9 |d|. The sum
// atan(c) + atan(d) (|atan(d)| <= atan(c)/2 for c > 0) keeps the relative
// error below 2^-98, well inside ATAN_BOUND even after pi/2 - that.
Pair atan_reduced(Pair t) {
    // nearest table point c = k / 256
    const int k = nearest_int(t.hi * 256);
    Pair d = t;
    if (k != 0) {
        const Real c = static_cast<Real>(k) / 256;
        // t - c: t.hi - c is exact (within a factor 2 of each other)
        const Pair num = two_sum(t.hi - c, t.lo);
        // 1 + t c: t.hi * c is exact in two_prod (c has 9 bits)
        const Pair tc = two_prod(t.hi, c);
        const Pair one_tc = fast_two_sum(Real{1}, tc.hi);
        const Pair den = fast_two_sum(one_tc.hi, one_tc.lo + (tc.lo + t.lo * c));
        d = div(num, den);
    }

    // atan(d) = d + d^3 (-1/3 + d^2 B(d^2))
    const Pair d2 = mul(d, d);
    const Real z = d2.hi;
    const Real b = 1.0L / 5 + z * (-1.0L / 7 + z * (1.0L / 9 + z * (-1.0L / 11 + z * (1.0L / 13))));
    constexpr Pair minus_third = {-0xAAAAAAAAAAAAAAABp-65L, 0xAAAAAAAAAAAAAAABp-130L};
    const Pair a = add(minus_third, two_prod(z, b));
    Pair result = add(d, mul(d, mul(d2, a)));
    if (k != 0) result = add(ATAN_TABLE[k], result);
    return result;
}

// reduce_quarter: x = k pi/2 + r for 0 <= x <= 4 pi, |r| <= pi/4 + 2^-60;
// r as a pair, exact to 2^-108 relative (see rounded_sin's header).
Pair reduce_quarter(Real x, int& k) {
    k = nearest_int(x * TWO_OVER_PI);
    if (k == 0) return {x, 0};
    const Real kk = static_cast<Real>(k);
    // x - k P1 is exact (Sterbenz); k P2 and k P3 are exact products.
    const Pair r = two_sum(x - kk * HALF_PI_1, -(kk * HALF_PI_2));
    return fast_two_sum(r.hi, r.lo - kk * HALF_PI_3);
}

// sin_reduced, cos_reduced: sin(r), cos(r) for a pair |r| <= pi/4 + 2^-60.
//
// Error: r = c + s exactly (c = j/64, two_sum), |s| <= 2^-7 (s^2 <= 2^-14).
// sin(s) = s + s^3 S(s^2), the tail T = 1/120 - s^2/5040 + ... - s^8/11!
// in plain reals, s^2 T off by 2^-82.4, S (~ -1/6) by 2^-79.8 relative,
// s^3 S by 2^-96.4 |s|; omitted s^13/13! <= 2^-116 |s|. cos(s) = 1 + s^2 C,
// C = -1/2 + s^2 U, U = 1/24 - ... + s^10/12! in plain reals: s^2 U off by
// 2^-80, s^2 C by 2^-95 absolute; omitted s^14/14! <= 2^-134. The table
// pairs are exact to 2^-128. In sin(c) cos(s) + cos(c) sin(s) the two terms
// add to at least a third of their absolute sum (|s| <= c/2 for c > 0), so
// the result is good to 3 * 2^-95 + 2^-108 < 2^-93 relative; cos(r) >= 0.7
// gives the same for the cosine.
struct SinCos {
    Pair sin_s;
    Pair cos_s;
    int j;
};

SinCos sin_cos_small(Pair r, bool quick) {
    const int j = nearest_int(r.hi * 64);
    // r.hi - j/64 is exact (within a factor 2 of each other)
    const Pair s = two_sum(r.hi - static_cast<Real>(j) / 64, r.lo);
    if (quick) {
        // the series in plain reals after their first term (see
        // sin_or_cos_quick): sin(s) = s + s z S(z), cos(s) = 1 + z C(z)
        const Real z = s.hi * s.hi;
        const Real sv = -1.0L / 6 + z * (1.0L / 120 + z * (-1.0L / 5040 + z * (1.0L / 362880)));
        const Real cv = -0.5L + z * (1.0L / 24 + z * (-1.0L / 720 + z * (1.0L / 40320 + z * (-1.0L / 3628800))));
        return {fast_two_sum(s.hi, s.lo + s.hi * z * sv), fast_two_sum(Real{1}, z * cv), j};
    }
    const Pair s2 = mul(s, s);
    const Real z = s2.hi;
    // sine
    const Real t = 1.0L / 120 + z * (-1.0L / 5040 + z * (1.0L / 362880 + z * (-1.0L / 39916800)));
    constexpr Pair minus_sixth = {-0xAAAAAAAAAAAAAAABp-66L, 0xAAAAAAAAAAAAAAABp-131L};
    const Pair sine = add(s, mul(s, mul(s2, add(minus_sixth, two_prod(z, t)))));
    // cosine
    const Real u = 1.0L / 24 +
                   z * (-1.0L / 720 + z * (1.0L / 40320 + z * (-1.0L / 3628800 + z * (1.0L / 479001600))));
    const Pair c = add(Pair{-0.5L, 0}, two_prod(z, u));
    const Pair cosine = add(Pair{1, 0}, mul(s2, c));
    return {sine, cosine, j};
}

Pair negate(Pair p) { return {-p.hi, -p.lo}; }

// sin(r) (want_sin) or cos(r) for the reduced pair r.
Pair sin_or_cos_reduced(Pair r, bool want_sin, bool quick) {
    const SinCos sc = sin_cos_small(r, quick);
    if (sc.j == 0) return want_sin ? sc.sin_s : sc.cos_s;
    const int j = sc.j < 0 ? -sc.j : sc.j;
    const Pair sin_c = sc.j < 0 ? negate(SIN_TABLE[j]) : SIN_TABLE[j];
    const Pair cos_c = COS_TABLE[j];
    if (want_sin) return add(mul(sin_c, sc.cos_s), mul(cos_c, sc.sin_s));
    return add(mul(cos_c, sc.cos_s), negate(mul(sin_c, sc.sin_s)));
}

// sin(x) or cos(x) for 2^-33 <= |x| <= 4 pi: sin(|x|) gets x's sign.
//
// quick: the series of sin(s) and cos(s) in plain reals after their first
// term. sin(s) = s + s z S(z), z = s.hi^2, S = -1/6 + ... + z^3/9!: z is off
// by 2^-62 relative (rounding, s.lo left out), S by 2^-62, so s z S
// (<= 2^-16.6 |s|) by 2^-77.6 |s|; the first omitted term s^11/11! is
// below 2^-95 |s|. cos(s) = 1 + z C(z), C = -1/2 + ... - z^4/10!: z C
// (<= 2^-15) off by 2^-76.9 absolute; omitted s^12/12! <= 2^-112. With the
// factor 3 of the sum (see sin_cos_small) the result is good to 2^-75,
// inside SIN_COS_QUICK_BOUND.
Pair sin_or_cos(Real x, bool want_sin, bool quick) {
    int k = 0;
    const Pair r = reduce_quarter(std::fabs(x), k);
    // sin(k pi/2 + r), cos(k pi/2 + r) by the quadrant k mod 4
    const int quadrant = (k + (want_sin ? 0 : 1)) & 3;
    Pair v = sin_or_cos_reduced(r, quadrant % 2 == 0, quick);
    if (quadrant >= 2) v = negate(v);
    if (want_sin && x < 0) v = negate(v);
    return v;
}

}  // namespace

// atan_quick: the first, cheaper try at atan(x) for 2^-33 <= |x| < 2^64.
//
// Method: with a = |x|, b = 1 for |x| <= 1 and a = 1, b = |x| beyond, and c
// = k/256 nearest a/b, atan(a/b) = atan(c) + atan(d), d = (a - b c)/(b + a c),
// with no 1/x formed: c has 9 bits, so c |x| is split exactly into two reals
// with one Veltkamp split, a - b c and b + a c are kept to 2^-126, and d is
// one quotient corrected by its residual (a pair to 2^-122). atan(d) = d +
// d^3 A(d^2) with A = -1/3 + d^2/5 - d^4/7 + d^6/9 in plain reals; the
// first omitted term d^11/11 is below 2^-93 |d|.
//
// Error: A is good to 2^-62, d^3 A (<= 2^-19.6 |d|) to 2^-80 |d|; leaving
// out d's low part in d^2 costs 2^-83 |d|; the table pair and the sums of
// the low parts 2^-125. Since |atan(d)| <= atan(c) for c > 0, and pi/2 minus
// the sum stays above pi/4, the error is below 2^-79 of the result, well
// inside ATAN_QUICK_BOUND.
Pair atan_quick(Real x) {
    const Real ax = std::fabs(x);
    const bool inverse = ax > 1;
    const int k = nearest_int(inverse ? 256 / ax : ax * 256);
    const Real c = static_cast<Real>(k) / 256;
    // c |x| = p + e exactly (c has at most 9 significant bits)
    const Pair xs = split(ax);
    const Real p = c * ax;
    const Real e = (c * xs.hi - p) + c * xs.lo;
    Real num;
    Pair den;
    if (!inverse) {
        num = ax - c;  // exact: within a factor 2, or c = 0
        den = fast_two_sum(Real{1}, p);
        den.lo += e;
    } else {
        num = (1 - p) - e;  // 1 - p exact: c |x| in [2/3, 2], or c = 0
        den = two_sum(ax, c);
    }
    // d = num / den, corrected by the residual num - q den.hi (exact)
    const Real q = num / den.hi;
    const Pair qd = two_prod(q, den.hi);
    const Real d_lo = (((num - qd.hi) - qd.lo) - q * den.lo) / den.hi;
    // atan(d) = q + (d_lo + q z A)
    const Real z = q * q;
    const Real a = -1.0L / 3 + z * (1.0L / 5 + z * (-1.0L / 7 + z * (1.0L / 9)));
    const Real tail = d_lo + q * z * a;
    const Pair& t = ATAN_TABLE[k];
    Pair v;
    if (!inverse) {
        const Pair s = two_sum(t.hi, q);
        v = fast_two_sum(s.hi, s.lo + (t.lo + tail));
    } else {
        const Pair s1 = two_sum(HALF_PI_PAIR.hi, -t.hi);
        const Pair s2 = two_sum(s1.hi, -q);
        v = fast_two_sum(s2.hi, (s1.lo + s2.lo) + ((HALF_PI_PAIR.lo - t.lo) - tail));
    }
    return x < 0 ? Pair{-v.hi, -v.lo} : v;
}

Pair atan_pair(Real x) {
    const Real ax = std::fabs(x);
    Pair v;
    if (ax <= 1) {
        v = atan_reduced({ax, 0});
    } else {
        // 1/x as a pair: q + (1 - q x) / x, the residual exact from two_prod
        const Real q = 1 / ax;
        Pair t = {q, 0};
        if (ax < 0x1p80L) {
            const Pair p = two_prod(q, ax);
            t.lo = ((1 - p.hi) - p.lo) / ax;
        }
        // beyond 2^80, q alone is off by 2^-144 (2^-143 of the result)
        v = add(HALF_PI_PAIR, negate(atan_reduced(t)));
    }
    return x < 0 ? negate(v) : v;
}

Pair atan2_pair(Real y, Real x, bool& ok) {
    ok = false;
    const Real ay = std::fabs(y), ax = std::fabs(x);
    if (!(std::isfinite(ax) && std::isfinite(ay)) || ax == 0 || ay == 0) return {};
    const bool steep = ay > ax;
    const Real big = steep ? ay : ax, small = steep ? ax : ay;
    const int e = std::ilogb(big);
    if (e - std::ilogb(small) > 32) return {};
    // scaled by the same power of two (exact): big in [1, 2)
    const Real n = std::scalbn(small, -e), m = std::scalbn(big, -e);
    // quotient n / m in [2^-34, 1] as a pair, the residual exact
    const Real q = n / m;
    const Pair p = two_prod(q, m);
    const Pair t = fast_two_sum(q, ((n - p.hi) - p.lo) / m);
    Pair a = atan_reduced(t);  // atan(small / big) in [0, pi/4]
    // the angle of (ax, ay) in the first quadrant
    if (steep) a = add(HALF_PI_PAIR, negate(a));
    // the other quadrants
    if (x < 0) a = add(PI_PAIR, negate(a));
    if (y < 0) a = negate(a);
    ok = true;
    return a;
}

Pair sin_pair(Real x) { return sin_or_cos(x, true, false); }
Pair cos_pair(Real x) { return sin_or_cos(x, false, false); }
Pair sin_quick(Real x) { return sin_or_cos(x, true, true); }
Pair cos_quick(Real x) { return sin_or_cos(x, false, true); }

}  // namespace rounded_trig_detail

using namespace rounded_trig_detail;

Real rounded_atan(Real x) {
    if (std::isnan(x)) return x;
    if (std::fabs(x) < 0x1p-33L) return x;
    Real out;
    if (std::fabs(x) < 0x1p64L && rounds_alike(atan_quick(x), ATAN_QUICK_BOUND, out)) return out;
    if (rounds_alike(atan_pair(x), ATAN_BOUND, out)) return out;
    return exact_atan(x);
}

Real rounded_atan2(Real y, Real x) {
    bool ok = false;
    const Pair p = atan2_pair(y, x, ok);
    Real out;
    if (ok && rounds_alike(p, ATAN_BOUND, out)) return out;
    return exact_atan2(y, x);
}

Real rounded_sin(Real x) {
    if (std::isnan(x)) return x;
    if (std::fabs(x) > 4 * PI) return exact_sin(x);  // outside the table's range: rare, slow, still exact
    if (std::fabs(x) < 0x1p-33L) return x;
    Real out;
    if (rounds_alike(sin_quick(x), SIN_COS_QUICK_BOUND, out)) return out;
    if (rounds_alike(sin_pair(x), SIN_COS_BOUND, out)) return out;
    return exact_sin(x);
}

Real rounded_cos(Real x) {
    if (std::isnan(x)) return x;
    if (std::fabs(x) > 4 * PI) return exact_cos(x);  // outside the table's range: rare, slow, still exact
    if (std::fabs(x) < 0x1p-33L) return 1;
    Real out;
    if (rounds_alike(cos_quick(x), SIN_COS_QUICK_BOUND, out)) return out;
    if (rounds_alike(cos_pair(x), SIN_COS_BOUND, out)) return out;
    return exact_cos(x);
}

}  // namespace dz
