// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Arithmetic on unevaluated sums hi + lo of two extended reals (about 128
// significant bits), built from error-free transformations. Every routine
// needs round-to-nearest extended operations and no fused multiply-add: the
// folder is built with -ffp-contract=off, and x86-64 has no extended FMA.
// Overflow and underflow are the caller's to avoid (the Dekker split
// multiplies by 2^32 + 1).

#include "core_types/real.hpp"

namespace dz::rounded_trig_detail {

// A value hi + lo with |lo| <= ulp(hi) / 2 once normalised.
struct Pair {
    Real hi;
    Real lo;
};

// two_sum: s + e == a + b exactly, s = fl(a + b) (Knuth, six operations).
inline Pair two_sum(Real a, Real b) {
    const Real s = a + b;
    const Real bb = s - a;
    const Real e = (a - (s - bb)) + (b - bb);
    return {s, e};
}

// fast_two_sum: as two_sum when |a| >= |b| or a == 0 (Dekker, three operations).
inline Pair fast_two_sum(Real a, Real b) {
    const Real s = a + b;
    return {s, b - (s - a)};
}

// split: a == hi + lo with hi and lo of at most 32 significant bits each
// (Veltkamp, with the constant 2^32 + 1 for a 64-bit significand).
inline Pair split(Real a) {
    constexpr Real splitter = 4294967297.0L;  // 2^32 + 1
    const Real c = splitter * a;
    const Real hi = c - (c - a);
    return {hi, a - hi};
}

// two_prod: p + e == a * b exactly, p = fl(a * b) (Dekker).
inline Pair two_prod(Real a, Real b) {
    const Real p = a * b;
    const Pair x = split(a);
    const Pair y = split(b);
    const Real e = ((x.hi * y.hi - p) + x.hi * y.lo + x.lo * y.hi) + x.lo * y.lo;
    return {p, e};
}

// Sum of two pairs, normalised; relative error at most 2^-125 when a and b
// have the same sign (accurate sum, two two_sums).
inline Pair add(Pair a, Pair b) {
    const Pair s = two_sum(a.hi, b.hi);
    const Pair t = two_sum(a.lo, b.lo);
    Pair u = fast_two_sum(s.hi, s.lo + t.hi);
    return fast_two_sum(u.hi, u.lo + t.lo);
}

// Pair times pair, normalised; relative error at most 2^-124.
inline Pair mul(Pair a, Pair b) {
    const Pair p = two_prod(a.hi, b.hi);
    return fast_two_sum(p.hi, p.lo + (a.hi * b.lo + a.lo * b.hi));
}

// Pair times one real, normalised; relative error at most 2^-124.
inline Pair mul(Pair a, Real b) {
    const Pair p = two_prod(a.hi, b);
    return fast_two_sum(p.hi, p.lo + a.lo * b);
}

// Pair divided by pair, normalised; relative error at most 2^-123.
inline Pair div(Pair a, Pair b) {
    const Real q = a.hi / b.hi;
    const Pair p = two_prod(q, b.hi);
    // a - q b, whose leading part a.hi - p.hi - p.lo is exact
    const Real r = (((a.hi - p.hi) - p.lo) + a.lo) - q * b.lo;
    return fast_two_sum(q, r / b.hi);
}

}  // namespace dz::rounded_trig_detail
