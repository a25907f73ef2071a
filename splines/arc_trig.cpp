// SPDX-License-Identifier: GPL-3.0-or-later
#include "splines/arc_trig.hpp"

#include <cmath>
#include <type_traits>

#include "rounded_trig/rounded_trig.hpp"

namespace dz {

// The root below must be the extended one (sqrtl), not the 53-bit double
// function reached through a conversion.
static_assert(std::is_same_v<decltype(std::sqrt(Real{})), Real>);

namespace {

// x / sqrt(1 - x*x), one rounding per operation.
Real ratio(Real x) {
    const Real square = x * x;
    const Real root = std::sqrt(Real{1} - square);
    return x / root;
}

// atan(x / sqrt(1 - x*x)) for |x| < 1.
Real atan_of_ratio(Real x) { return rounded_atan(ratio(x)); }

// The arguments that take the arc tangent rather than an end value (NaN
// included, as in the single calls).
bool cos_inside(Real x) { return !(x >= Real{1}) && !(x <= Real{-1}); }
bool sin_inside(Real x) { return !(std::fabs(x) >= Real{1}); }

}  // namespace

Real ARC_COS(Real x) {
    // clamp at the ends of the range
    if (x >= Real{1}) {
        return Real{0};
    }
    if (x <= Real{-1}) {
        return PI;
    }
    return HALF_PI - atan_of_ratio(x);
}

namespace {

// The sweeps of ARC_COS_MANY and ARC_SIN_MANY: the quotient and its arc
// tangent where inside(x), then end(x, that arc tangent) for every element
// (passed by reference: where x is not inside, out holds nothing to read).
template <class Inside, class End>
void many(const Real* x, Real* out, std::size_t count, Inside inside, End end) {
    for (std::size_t k = 0; k < count; ++k) {
        if (inside(x[k])) out[k] = ratio(x[k]);
    }
    for (std::size_t k = 0; k < count; ++k) {
        if (inside(x[k])) out[k] = rounded_atan(out[k]);
    }
    for (std::size_t k = 0; k < count; ++k) {
        out[k] = end(x[k], out[k]);
    }
}

}  // namespace

void ARC_COS_MANY(const Real* x, Real* out, std::size_t count) {
    many(x, out, count, cos_inside, [](Real v, const Real& arctan) {
        return v >= Real{1} ? Real{0} : v <= Real{-1} ? PI : HALF_PI - arctan;
    });
}

void ARC_SIN_MANY(const Real* x, Real* out, std::size_t count) {
    many(x, out, count, sin_inside,
         [](Real v, const Real& arctan) { return sin_inside(v) ? arctan : std::copysign(HALF_PI, v); });
}

Real ARC_SIN(Real x) {
    // clamp at the ends of the range: pi/2 with the sign of x, copied
    if (std::fabs(x) >= Real{1}) {
        return std::copysign(HALF_PI, x);
    }
    return atan_of_ratio(x);
}

}  // namespace dz
