// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Predicates on the 80-bit encoding of a Real, for the solvers' fast paths:
// they decide which values an update by an exact zero leaves as they are
// and which can be moved as bytes. Inline, because they sit in the inner
// loops of the factorisation and the solve.
//
// The 80 bits of a Real: a 64-bit significand whose top bit is the explicit
// integer bit, then 16 bits of sign (top) and 15-bit biased exponent.
//   exponent 0x7fff          infinity (significand 0x8000...0) or NaN
//   exponent 0, integer 0    zero (significand 0) or subnormal
//   exponent 0, integer 1    pseudo-denormal (never produced by arithmetic)
//   exponent > 0, integer 0  unnormal (never produced by arithmetic)
//   exponent > 0, integer 1  normal number
// Arithmetic on the last two kinds gives canonical results, so adding a zero
// to them changes their bits; the routines below tell them apart.

#include <cstdint>
#include <cstring>

#include "core_types/real.hpp"

namespace dz::real_encoding {

// The 80 significant bits of a real, split as they are stored.
struct RealBits {
    std::uint64_t significand = 0;
    std::uint16_t sign_exponent = 0;
};

// bits_of: the 80 bits of x (the padding bytes of the type are not read).
inline RealBits bits_of(const Real& x)
{
    static_assert(sizeof(Real) >= 10);
    RealBits b;
    std::memcpy(&b.significand, &x, 8);
    std::memcpy(&b.sign_exponent, reinterpret_cast<const unsigned char*>(&x) + 8, 2);
    return b;
}

// same_bits: true when a and b have the same 80 bits; this tells -0 from +0
// and one NaN from another, which == does not.
inline bool same_bits(const Real& a, const Real& b)
{
    const RealBits ba = bits_of(a);
    const RealBits bb = bits_of(b);
    return ba.significand == bb.significand && ba.sign_exponent == bb.sign_exponent;
}

// is_plus_zero: true when x is +0, bit for bit (false for -0).
inline bool is_plus_zero(const Real& x)
{
    return same_bits(x, Real{0});
}

// is_zero: true when x is an exact zero of either sign.
inline bool is_zero(const Real& x)
{
    const RealBits b = bits_of(x);
    return b.significand == 0 && (b.sign_exponent & 0x7fffU) == 0;
}

// is_canonical_finite: true when x is finite and in canonical form: not an
// infinity or NaN, not a pseudo-denormal and not an unnormal (see the table
// above). Zeros and subnormals are canonical.
inline bool is_canonical_finite(const Real& x)
{
    const RealBits b = bits_of(x);
    const unsigned exponent = b.sign_exponent & 0x7fffU;
    const bool integer_bit = (b.significand >> 63) != 0;
    return exponent != 0x7fffU && integer_bit == (exponent != 0);
}

// kept_by_zero_updates: true when v + z gives v again, bit for bit, for
// every exact zero z of either sign: v is +0 or a normal number (of either
// sign). False for -0 (-0 + +0 is +0), subnormals, infinities, NaNs and the
// non-canonical encodings, which the updates must meet one by one.
inline bool kept_by_zero_updates(const Real& v)
{
    const RealBits b = bits_of(v);
    const unsigned exponent = b.sign_exponent & 0x7fffU;
    if (exponent == 0) {
        return b.sign_exponent == 0 && b.significand == 0;
    }
    return exponent != 0x7fffU && (b.significand >> 63) != 0;
}

}  // namespace dz::real_encoding
