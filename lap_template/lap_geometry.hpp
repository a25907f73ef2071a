// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The whole lap at full size: the rim, every leaf as one closed outline and
// a centre mark, in millimetres with the lap centre at the origin. What the
// cut-ready templates (DXF, SVG, printed pages) draw.

#include <optional>
#include <string>
#include <vector>

#include "lap_template/page_plan.hpp"

#include "working_state/working_state.hpp"

namespace dz {

// A point of the template, millimetres; x to the right, y upwards.
struct TemplatePoint {
    double x = 0;
    double y = 0;
};

// One leaf: a closed outline (the last point joins the first). The outline
// runs along edge 0 from the first zone outwards (points [0, rim_begin), one
// per zone), along the rim (the arc's inner points, [rim_begin,
// edge1_begin)), back down edge 1 from the last zone ([edge1_begin,
// inner_begin)) and, when the first zone is not at the centre, along the
// first zone's circle to where it began ([inner_begin, size)). With the first
// zone at the centre edge 1 ends at the second zone: its point at the centre
// is edge 0's first point, not written twice.
struct TemplateLeaf {
    std::vector<TemplatePoint> outline;
    std::size_t rim_begin = 0;    // first point after edge 0
    std::size_t edge1_begin = 0;  // first point of edge 1 (its last zone)
    std::size_t inner_begin = 0;  // first point after edge 1 (== size when none)
};

struct LapTemplate {
    double outer_radius = 0;  // mm: the rim
    int leaves = 0;
    std::vector<TemplateLeaf> leaf;  // leaf i turned by i * 2 pi / leaves
    double centre_mark = 0;          // half length of the two strokes of the centre mark, mm
    // Zones where the leaf's width is below zero (edges crossed), counted once.
    int negative_zones = 0;
};

// Largest distance, mm, between a sampled arc of the template and the true
// circle (the sagitta of one chord).
inline constexpr double ARC_TOLERANCE_MM = 0.001;

// build_lap_template makes the full-size lap from the drawn leaf outline.
//
// usage     after every redraw that an export follows:
//               const LapTemplate lap = build_lap_template(ws);
//
// on entry  ws  a loaded working state whose LEAF_EDGES describe the current
//               drawing (units of OUTER_RADIUS, angles from +y towards +x)
//               and NUM_LEAVES >= 1.
// on return the template. Leaf 0 is the drawn outline times OUTER_RADIUS;
//           leaf i is leaf 0 turned by i * 2 pi / N about the centre, in the
//           drawing's sense of angle (from +y towards +x).
//
// method    each leaf is built whole from both edges of LEAF_EDGES (never a
//           rounded half mirrored, whose halves need not meet): edge 0
//           outwards, the rim arc from the angle of edge 0's last point to
//           the angle of edge 1's last point (the short way, through the
//           leaf's centre line; also when the efficiency leaves the leaf
//           narrower than the pitch there), edge 1 inwards and the first
//           zone's circle back to edge 0 unless that zone lies at the centre.
//           Arcs are sampled as chords whose sagitta is at most
//           ARC_TOLERANCE_MM. Negative widths are kept as they are (the
//           edges cross); they are counted in negative_zones.
//
// accuracy  the points are those of LEAF_EDGES rounded once to double and
//           turned by one rotation: within a few ulps of the drawing.
[[nodiscard]] LapTemplate build_lap_template(const WorkingState& ws);

// negative_width_zones counts the zones of the outline now drawn (LEAF_EDGES
// of `ws`; 0 when it holds none) where the leaf's width is below zero:
// edge 0 lies beyond the leaf's centre line, on edge 1's side, by more than
// a few ulps of its radius.
[[nodiscard]] int negative_width_zones(const WorkingState& ws);

// The warning for a lap with negative widths, empty when there are none:
// of the state in force (what the plot, the removal view and every export
// show), or of a template built from it (the same count).
[[nodiscard]] std::string negative_width_warning(const WorkingState& ws);
[[nodiscard]] std::string negative_width_warning(const LapTemplate& lap);

// The largest outer radius the templates draw, mm. The rim alone takes
// pi sqrt(R / (2 ARC_TOLERANCE_MM)) chords (about 70,000 at this radius):
// beyond it the chords, and the SVG's size in tenths of a millimetre, grow
// past what a file of the lap can sensibly hold.
inline constexpr double MAX_TEMPLATE_RADIUS_MM = 1e6;
// The most pages a printed template (PDF, print) is made of.
inline constexpr int MAX_TEMPLATE_PAGES = 500;

// template_refusal says why the lap of `ws` cannot be drawn as a template
// (PDF, SVG, lap DXF, print), or nothing when it can: an outer radius of 0
// or less (the load takes a negative last radius as it stands), or one
// beyond MAX_TEMPLATE_RADIUS_MM or out of the range of double. Numbers in
// the message with `decimal_separator`.
[[nodiscard]] std::optional<std::string> template_refusal(const WorkingState& ws, char decimal_separator);

// printed_template_refusal: template_refusal, then, for the printed
// template on `paper`, more pages than MAX_TEMPLATE_PAGES. The message
// names the files that have no pages (SVG, lap DXF).
[[nodiscard]] std::optional<std::string> printed_template_refusal(const WorkingState& ws, Paper paper,
                                                                  char decimal_separator);

}  // namespace dz
