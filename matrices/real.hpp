#pragma once
// The one real type of the program and the two array types built on it.

#include <limits>
#include <vector>

namespace dz {

// Every computed quantity is an x86 extended-precision real: 80-bit format,
// 64-bit significand, rounded to nearest. The results are reproduced bit for
// bit, so nothing may silently fall back to a 53-bit double.
using Real = long double;
static_assert(std::numeric_limits<Real>::digits == 64,
              "Real must be the 80-bit extended type with a 64-bit significand");

// A growable array of reals; vector element i (counted from 1) sits at
// position i - 1. Used for right-hand sides, solutions and the zone arrays.
using N_VECTOR = std::vector<Real>;

// A square matrix of order MAT_ORDER held row after row in a flat growable
// array: element (i, j), counted from 1, at position (i - 1) * n + (j - 1).
using NXN_MATRIX = std::vector<Real>;

// pi and pi/2 rounded to the 64-bit significand.
inline constexpr Real PI = 3.14159265358979323846264338327950288L;
inline constexpr Real HALF_PI = 1.57079632679489661923132169163975144L;

}  // namespace dz
