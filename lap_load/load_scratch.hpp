// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the load computes with and keeps between loads besides the working
// state: the wear matrix (then the spline's normal equations), the spline
// coefficients, and the state of the solver and B-spline units. Owned next
// to the working state by the window's commands and by the command-line
// tool; nothing that draws or exports reads it.

#include "core_types/real.hpp"
#include "matrices/matrices.hpp"
#include "splines/bsplines.hpp"

namespace dz {

struct LoadScratch {
    NXN_MATRIX WEAR_MATRIX;  // wear matrix, then the spline normal equations
    N_VECTOR SPLINE_COEF;    // B-spline coefficients
    Matrices matrices;       // MAT_ORDER, PIVOTS and the LU scratch
    BSplines bsplines;       // the B-spline unit's state
};

}  // namespace dz
