// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The leaf outline: for every zone, the two points where the zone circle
// meets the leaf's edges.

#include "working_state/working_state.hpp"

namespace dz {

// Fills every point of both edges of LEAF_EDGES from NUM_LEAVES, SPINDLE,
// ZONE_RAW / ZONE_PROFILE, BASE_OFFSET, ZONE_RADIUS and OUTER_RADIUS. Requires
// a loaded surface (LEAF_EDGES sized 2 x ZONE_COUNT x 2) and NUM_LEAVES >= 1.
//
// Method: with the half pitch h = pi / N, each zone's shifted value v_k (the
// measured value for "Spindle", the smoothed profile otherwise, plus
// BASE_OFFSET) and m the largest of 0 and all v_k, the leaf spans at zone k
// the angles 2h - t_k .. t_k from the +y axis, t_k = (v_k / m + 1) h. Edge 0
// is the point at angle t_k on the zone circle, edge 1 its reflection in the
// leaf's centre line (the ray at angle h). With m = 0 every zone has zero
// width: both edges lie on the centre line. When the fit draws the outline
// (ws.fit_drawn()), the fitted widths take the place of v_k / m:
// t_k = (FIT_WIDTHS_k + 1) h, so that the width at zone k, as a fraction of
// the pitch, is the fitted width itself.
void build_leaf_edges(WorkingState& ws);

}  // namespace dz
