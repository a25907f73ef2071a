// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Working states built by hand for the drawing and rendering tests.

#include <cstddef>
#include <limits>

#include "drawing/leaf_outline.hpp"
#include "working_state/working_state.hpp"

namespace dz::testing {

// A loaded state of `zones` zones, radii evenly from `first_radius` to the
// outer radius of 100 mm, the values 1, 2, 3, 1, ... in both value arrays,
// and LEAF_EDGES sized but holding NaN until an outline is built.
inline WorkingState loaded_state(int zones, Real first_radius = 0) {
    WorkingState ws;
    ws.ZONE_COUNT = zones;
    ws.LAST_ZONE = zones - 1;
    ws.OUTER_RADIUS = 100;
    for (int k = 0; k < zones; ++k) {
        const Real r = zones == 1 ? 100 : first_radius + (100 - first_radius) * k / (zones - 1);
        ws.ZONE_RADIUS.push_back(r);
        ws.ZONE_RAW.push_back(1 + Real(k % 3));
        ws.ZONE_PROFILE.push_back(1 + Real(k % 3));
    }
    ws.LEAF_EDGES.assign(static_cast<std::size_t>(4 * zones), std::numeric_limits<Real>::quiet_NaN());
    ws.loaded = true;
    return ws;
}

// The same state with its outline built, as a command leaves it before it
// draws.
inline WorkingState drawn_state(int zones, Real first_radius = 0) {
    WorkingState ws = loaded_state(zones, first_radius);
    build_leaf_edges(ws);
    return ws;
}

}  // namespace dz::testing
