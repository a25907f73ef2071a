// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Smoothing of the leaf profile by a weighted least-squares quadratic
// B-spline in the zone index.

#include <optional>
#include <string>
#include <vector>

#include "core_types/real.hpp"
#include "matrices/matrices.hpp"
#include "splines/bsplines.hpp"

namespace dz {

// Knot vector of the fit for `zone_count` zones: three zeros, a knot every 20
// zone indices, three knots at zone_count; the last two interior values are
// overwritten by the end knots. Returns t[1..n] (n = size, m = n - 3
// coefficients). 41 zones: 0 0 0 20 41 41 41; 15 zones: 0 0 15 15 15.
[[nodiscard]] std::vector<Real> spline_knots(int zone_count);

// Replaces profile[0 .. zone_count - 1] by the weighted least-squares
// quadratic B-spline through the points (z, profile[z]) with weight z,
// evaluated at every zone index z, and sets profile_min = min(0, smoothed
// values).
//
//   solver    MAT_ORDER is set to the coefficient count m
//   bsplines  the B-spline state (remembered interval and differences)
//   matrix    storage for the normal equations; grown to m^2 if smaller
//   coef      storage for the coefficients; set to 50 entries
//
// Method: the normal equations G coef = h, G(a, e) = sum z B_a(z) B_e(z),
// h(a) = sum z y_z B_a(z), accumulated zone by zone from the three B-splines
// non-zero at z, solved by Cholesky. With at most 20 zones the knot vector
// starts with two zeros only and the first basis value, which belongs to no
// coefficient, is skipped.
//
// Returns "SPLINE INFO = " and the status when G is not positive definite
// (two zones: 2; one zone: 1); profile and profile_min are then unchanged.
[[nodiscard]] std::optional<std::string> smooth_profile(Matrices& solver, BSplines& bsplines,
                                                        NXN_MATRIX& matrix, N_VECTOR& coef,
                                                        N_VECTOR& profile, int zone_count,
                                                        Real& profile_min);

}  // namespace dz
