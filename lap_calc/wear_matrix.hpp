// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The zone wear matrix of a lap worked with a stroke offset of 0.2 of the
// outer radius, and its solve for the leaf profile.

#include <optional>
#include <string>

#include "core_types/real.hpp"
#include "matrices/matrices.hpp"
#include "parallel/helper_threads.hpp"

namespace dz {

// Fills the wear matrix.
//
//   radius   zone radii, mm; radius[0 .. count - 1] are used
//   count    number of zones, >= 1
//   outer    OUTER_RADIUS, the radius of the last zone (not 0)
//   matrix   on return count x count, row-major: row j, column i at
//            j * count + i. Column i multiplies the profile of zone i; row j
//            is the equation for the measured value of zone j.
//
// Method: with d = 0.2, rho = radius[i] / outer, r = radius[j] / outer,
// a = |rho - d|, s = sqrt(rho^2 + d^2), the arcsine term S = 2 for r <= rho,
// else ARC_SIN(rho / r) * 4 / pi, and inside the annulus a < r < rho + d the
// arccosine term K = ARC_COS(q) * 2 / pi with q the law-of-cosines cosine,
// the element is the first that applies of
//   r >= rho + d: 0;  r > s: K;  r > a: S - K;  rho > d: 0;  else S.
// The element in row 0, column 0 is then set to 2.
//
// Each trigonometric term is evaluated only where the element's case uses
// it; the values are the same as evaluating both everywhere.
void fill_wear_matrix(const N_VECTOR& radius, int count, Real outer, NXN_MATRIX& matrix);

// The same matrix stored column after column: element (j, i) at i * count + j.
void fill_wear_matrix_columns(const N_VECTOR& radius, int count, Real outer, NXN_MATRIX& matrix);

// The same matrix, each element computed exactly as the plain description
// reads (both terms wherever they are defined). The reference that proves the
// fast fill.
void fill_wear_matrix_reference(const N_VECTOR& radius, int count, Real outer, NXN_MATRIX& matrix);

// Fills, factors and solves: `profile` (count measured values on entry)
// receives the leaf profile; `matrix` is left holding the factors column
// after column (LU_FACTOR_COLUMNS). Returns "INFO = " and the status when the
// factorisation meets an exactly zero pivot; `profile` is then unchanged.
[[nodiscard]] std::optional<std::string> solve_wear(Matrices& solver, const N_VECTOR& radius, int count,
                                                    Real outer, NXN_MATRIX& matrix, N_VECTOR& profile);

// The same, sharing the fill and the factorisation with the caller's crew,
// which the caller may then let go (HelperCrew::stop) while it goes on, so
// that the helper winds down meanwhile: starting and ending a thread cost
// about 0.2 ms each here.
[[nodiscard]] std::optional<std::string> solve_wear(Matrices& solver, const N_VECTOR& radius, int count,
                                                    Real outer, NXN_MATRIX& matrix, N_VECTOR& profile,
                                                    HelperCrew& helpers);

// The helpers worth having for a wear matrix of `count` zones (0 or 1).
[[nodiscard]] int wear_helpers(int count);

}  // namespace dz
