#include "splines/arc_trig.hpp"

#include <cmath>
#include <type_traits>

namespace dz {

// The overloads below must be the extended ones (atanl, sqrtl), not the
// 53-bit double functions reached through a conversion.
static_assert(std::is_same_v<decltype(std::atan(Real{})), Real>);
static_assert(std::is_same_v<decltype(std::sqrt(Real{})), Real>);

namespace {

// atan(x / sqrt(1 - x*x)) for |x| < 1, one rounding per operation.
Real atan_of_ratio(Real x) {
    const Real square = x * x;
    const Real root = std::sqrt(Real{1} - square);
    return std::atan(x / root);
}

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
