// SPDX-License-Identifier: GPL-3.0-or-later
#include "drawing/leaf_outline.hpp"

#include "rounded_trig/rounded_trig.hpp"

namespace dz {

void build_leaf_edges(WorkingState& ws) {
    const Real h = PI / static_cast<Real>(ws.NUM_LEAVES);
    const Real cp = rounded_cos(2 * h);
    const Real sp = rounded_sin(2 * h);
    const N_VECTOR& values = ws.SPINDLE ? ws.ZONE_RAW : ws.ZONE_PROFILE;
    const bool fit = ws.fit_drawn();

    // First pass: the largest shifted value, starting from 0.
    Real m = 0;
    if (!fit) {
        for (int k = 0; k <= ws.LAST_ZONE; ++k) {
            const Real v = values[static_cast<std::size_t>(k)] + ws.BASE_OFFSET;
            if (m < v) m = v;
        }
    }

    // Second pass: both edges of every zone.
    for (int k = 0; k <= ws.LAST_ZONE; ++k) {
        Real t = h;
        if (fit) {
            t = (ws.FIT_WIDTHS[static_cast<std::size_t>(k)] + 1) * h;
        } else if (m > 0) {
            const Real v = values[static_cast<std::size_t>(k)] + ws.BASE_OFFSET;
            t = (v / m + 1) * h;
        }
        const Real rho = ws.ZONE_RADIUS[static_cast<std::size_t>(k)] / ws.OUTER_RADIUS;
        const Real x = rho * rounded_sin(t);
        const Real y = rho * rounded_cos(t);
        ws.edge_at(0, k, 0) = x;
        ws.edge_at(0, k, 1) = y;
        ws.edge_at(1, k, 0) = sp * y - cp * x;
        ws.edge_at(1, k, 1) = sp * x + cp * y;
    }
}

}  // namespace dz
