// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Arc sine and arc cosine built from one arc tangent, clamped at +-1.

#include <cstddef>

#include "core_types/real.hpp"

namespace dz {

// ARC_COS: arc cosine of x, in [0, pi], with no error for |x| >= 1.
//
// Usual call: angle = ARC_COS(u / v) with |u| and |v| zone radii, where
// rounding may push the quotient a little past +-1.
//
// x       on entry, the argument; unchanged.
// return  0 for x >= 1, PI for x <= -1, else pi/2 - atan(x / sqrt(1 - x*x)).
//
// No status: every argument gives a result. A NaN argument gives NaN.
//
// Method: one arc tangent of x / sqrt(1 - x*x), all in extended precision,
// each operation rounded once in this order (x*x, 1 - that, sqrtl, divide,
// the correctly rounded arc tangent, HALF_PI - that), so the result is the
// same bit for bit every run and on every processor.
[[nodiscard]] Real ARC_COS(Real x);

// ARC_SIN: arc sine of x, in [-pi/2, pi/2], with no error for |x| >= 1.
//
// Usual call: angle = ARC_SIN(u / v), as for ARC_COS.
//
// x       on entry, the argument; unchanged.
// return  HALF_PI with the sign of x for |x| >= 1 (infinities included),
//         else atan(x / sqrt(1 - x*x)).
//
// No status. The end value is exact for every |x| >= 1: the sign is copied
// rather than formed as (x * HALF_PI) / |x|, which is one unit in the last
// place off for some arguments and infinite or NaN for the largest. A NaN
// argument gives NaN.
//
// Method: as ARC_COS, without the final subtraction.
[[nodiscard]] Real ARC_SIN(Real x);

// ARC_COS_MANY, ARC_SIN_MANY: ARC_COS (ARC_SIN) of x[0 .. count - 1] into
// out[0 .. count - 1], bit for bit what one call per element gives.
//
// x      on entry, the arguments; unchanged. Must not overlap out.
// out    on return, the results.
//
// Method: the same operations on each element, done in sweeps over all of
// them: first every root and quotient, then every arc tangent, then the end
// values. One element's divisions and roots then no longer wait on the
// previous element's arc tangent, and those of different elements overlap.
void ARC_COS_MANY(const Real* x, Real* out, std::size_t count);
void ARC_SIN_MANY(const Real* x, Real* out, std::size_t count);

}  // namespace dz
