// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The leaf outline: for every zone, the two points where the zone circle
// meets the leaf's edges.

#include "working_state/working_state.hpp"

namespace dz {

// Fills every point of both edges of LEAF_EDGES from NUM_LEAVES, SPINDLE,
// ZONE_RAW / ZONE_PROFILE, BASE_OFFSET, ZONE_RADIUS and OUTER_RADIUS. Requires
// a loaded surface (LEAF_EDGES sized 2 x ZONE_COUNT x 2) and NUM_LEAVES >= 1.
void build_leaf_edges(WorkingState& ws);

}  // namespace dz
