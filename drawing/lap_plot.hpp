// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The lap plot: grid, labels, rims, the leaf outline and its mirror image.

#include <optional>

#include "drawing/canvas.hpp"
#include "working_state/working_state.hpp"

namespace dz {

inline constexpr int PLOT_WIDTH = 641;
inline constexpr int PLOT_HEIGHT = 341;

// Normalised lap coordinates to pixels:
//   X = round(plot_scale * (x + 1)) + 20,  Y = round(plot_scale * (1 - y)) + 20,
// products in extended precision, halves to even (independent of the FPU
// rounding mode). Pixel coordinates are clamped to +-2^24 around the margin;
// a NaN gives the lower clamp. DRAW_LAP only passes finite values.
[[nodiscard]] Pixel TO_SCREEN(int plot_scale, Real x, Real y);

// TO_SCREEN for values that may not be finite: empty when x or y is NaN or
// infinite.
[[nodiscard]] std::optional<Pixel> to_screen_finite(int plot_scale, Real x, Real y);

// Repaints the whole plot on a canvas of PLOT_WIDTH x PLOT_HEIGHT pixels and
// changes nothing in the working state: it paints the LEAF_EDGES the caller
// built (build_leaf_edges, once per command) for the state's settings. Before
// any load it draws the empty plot (background, grid, labels, outer rim) and
// reads no zone array. Points of the outline that are not finite are left out
// of the polylines, and a zone arc that would need one is not drawn.
void DRAW_LAP(const WorkingState& ws, Canvas& canvas, char decimal_separator);

}  // namespace dz
