// SPDX-License-Identifier: GPL-3.0-or-later
#include "drawing/leaf_outline.hpp"

#include <cmath>

namespace dz {

// Method: with the half pitch h = pi / N, each zone's shifted value v_k (the
// measured value for "Spindle", the smoothed profile otherwise, plus
// BASE_OFFSET) and m the largest of 0 and all v_k, the leaf spans at zone k
// the angles 2h - t_k .. t_k from the +y axis, t_k = (v_k / m + 1) h. Edge 0
// is the point at angle t_k on the zone circle, edge 1 its reflection in the
// leaf's centre line (the ray at angle h). With m = 0 every zone has zero
// width: both edges lie on the centre line.
void build_leaf_edges(WorkingState& ws) {
    const Real h = PI / static_cast<Real>(ws.NUM_LEAVES);
    const Real cp = std::cos(2 * h);
    const Real sp = std::sin(2 * h);
    const N_VECTOR& values = ws.SPINDLE ? ws.ZONE_RAW : ws.ZONE_PROFILE;

    // First pass: the largest shifted value, starting from 0.
    Real m = 0;
    for (int k = 0; k <= ws.LAST_ZONE; ++k) {
        const Real v = values[static_cast<std::size_t>(k)] + ws.BASE_OFFSET;
        if (m < v) m = v;
    }

    // Second pass: both edges of every zone.
    for (int k = 0; k <= ws.LAST_ZONE; ++k) {
        const Real v = values[static_cast<std::size_t>(k)] + ws.BASE_OFFSET;
        const Real t = m > 0 ? (v / m + 1) * h : h;
        const Real rho = ws.ZONE_RADIUS[static_cast<std::size_t>(k)] / ws.OUTER_RADIUS;
        const Real x = rho * std::sin(t);
        const Real y = rho * std::cos(t);
        ws.edge_at(0, k, 0) = x;
        ws.edge_at(0, k, 1) = y;
        ws.edge_at(1, k, 0) = sp * y - cp * x;
        ws.edge_at(1, k, 1) = sp * x + cp * y;
    }
}

}  // namespace dz
