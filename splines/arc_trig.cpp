#include "splines/arc_trig.hpp"

#include <cmath>
#include <type_traits>

namespace dz {

// The overloads below must be the extended ones (atanl, sqrtl), not the
// 53-bit double functions reached through a conversion.
static_assert(std::is_same_v<decltype(std::atan(Real{})), Real>);
static_assert(std::is_same_v<decltype(std::sqrt(Real{})), Real>);

namespace {

// x / sqrt(1 - x*x), one rounding per operation.
Real ratio(Real x) {
    const Real square = x * x;
    const Real root = std::sqrt(Real{1} - square);
    return x / root;
}

// atan(x / sqrt(1 - x*x)) for |x| < 1.
Real atan_of_ratio(Real x) { return std::atan(ratio(x)); }

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

void ARC_COS_MANY(const Real* x, Real* out, std::size_t count) {
    for (std::size_t k = 0; k < count; ++k) {
        if (cos_inside(x[k])) out[k] = ratio(x[k]);
    }
    for (std::size_t k = 0; k < count; ++k) {
        if (cos_inside(x[k])) out[k] = std::atan(out[k]);
    }
    for (std::size_t k = 0; k < count; ++k) {
        out[k] = x[k] >= Real{1} ? Real{0} : x[k] <= Real{-1} ? PI : HALF_PI - out[k];
    }
}

void ARC_SIN_MANY(const Real* x, Real* out, std::size_t count) {
    for (std::size_t k = 0; k < count; ++k) {
        if (sin_inside(x[k])) out[k] = ratio(x[k]);
    }
    for (std::size_t k = 0; k < count; ++k) {
        if (sin_inside(x[k])) out[k] = std::atan(out[k]);
    }
    for (std::size_t k = 0; k < count; ++k) {
        if (!sin_inside(x[k])) out[k] = std::copysign(HALF_PI, x[k]);
    }
}

Real ARC_SIN(Real x) {
    // clamp at the ends of the range: pi/2 with the sign of x. Written as
    // (x * pi/2) / |x| this is one unit in the last place off for some
    // arguments and infinite or NaN for the largest ones; the sign is copied
    // instead, so the end value is exact for every argument.
    if (std::fabs(x) >= Real{1}) {
        return std::copysign(HALF_PI, x);
    }
    return atan_of_ratio(x);
}

}  // namespace dz
