// SPDX-License-Identifier: GPL-3.0-or-later
#include "lap_template/lap_geometry.hpp"

#include <charconv>
#include <cmath>
#include <numbers>
#include <stdexcept>

#include "rounded_trig/rounded_trig.hpp"
#include "splines/arc_trig.hpp"

namespace dz {

namespace {

// Angle of p from the leaf's centre line c (a unit vector), in the
// drawing's sense (from +y towards +x): positive on edge 0's side.
Real angle_from_centre(Real cx, Real cy, Real x, Real y) {
    const Real side = cy * x - cx * y;  // r sin(a - h)
    const Real along = cx * x + cy * y;  // r cos(a - h)
    return rounded_atan2(side, along);
}

// Appends the points strictly between the angles `from` and `to` (measured
// from the +y axis towards +x) of the circle of radius r, mm.
void append_arc(std::vector<TemplatePoint>& out, Real r, Real from, Real to) {
    if (r <= 0) return;
    const Real span = std::fabs(to - from);
    // The largest chord angle whose sagitta r (1 - cos(step / 2)) stays within the tolerance.
    const Real tol = std::min<Real>(ARC_TOLERANCE_MM, r);
    const Real step = 2 * ARC_COS(1 - tol / r);
    const auto n = static_cast<long>(std::ceil(span / step));
    for (long j = 1; j < n; ++j) {
        const Real a = from + (to - from) * static_cast<Real>(j) / static_cast<Real>(n);
        out.push_back({static_cast<double>(r * rounded_sin(a)), static_cast<double>(r * rounded_cos(a))});
    }
}

// A radius for a message: six significant digits, the user's separator.
std::string radius_text(Real radius, char decimal_separator) {
    char text[64];
    const auto written = std::to_chars(text, text + sizeof text, radius, std::chars_format::general, 6);
    if (written.ec != std::errc()) throw std::length_error("radius_text: the number does not fit its text");
    std::string s(text, written.ptr);
    if (const auto point = s.find('.'); point != std::string::npos) s[point] = decimal_separator;
    return s;
}

}  // namespace

std::optional<std::string> template_refusal(const WorkingState& ws, char decimal_separator) {
    const Real r = ws.OUTER_RADIUS;
    if (!(r > 0)) {
        return "The lap template needs an outer radius above 0 mm, and the last zone of this surface file lies at " +
               radius_text(r, decimal_separator) + " mm; nothing was written.";
    }
    if (!(r <= static_cast<Real>(MAX_TEMPLATE_RADIUS_MM))) {
        return "The lap template can draw an outer radius up to 1000000 mm (1 km), and this lap's is " +
               radius_text(r, decimal_separator) + " mm; nothing was written.";
    }
    return std::nullopt;
}

std::optional<std::string> printed_template_refusal(const WorkingState& ws, Paper paper, char decimal_separator) {
    if (auto refused = template_refusal(ws, decimal_separator)) return refused;
    const double pages = page_count(static_cast<double>(ws.OUTER_RADIUS), paper);
    if (pages <= MAX_TEMPLATE_PAGES) return std::nullopt;
    return "The printed lap template would take " + std::to_string(static_cast<long long>(pages)) + " pages of " +
           (paper == Paper::letter ? "letter" : "A4") + " paper, more than the " +
           std::to_string(MAX_TEMPLATE_PAGES) +
           " it may have: save the lap as SVG or as DXF to cut (doroziri-cli --svg or --lap-dxf, or Save lap "
           "template\u2026 with that file type), which have no pages; nothing was written.";
}

LapTemplate build_lap_template(const WorkingState& ws) {
    LapTemplate lap;
    const Real radius = ws.OUTER_RADIUS;
    lap.outer_radius = static_cast<double>(radius);
    lap.leaves = ws.NUM_LEAVES;
    lap.centre_mark = std::min(3.0, 0.05 * lap.outer_radius);
    const int zones = ws.ZONE_COUNT;
    if (zones <= 0 || ws.NUM_LEAVES < 1) return lap;

    const Real h = std::numbers::pi_v<Real> / static_cast<Real>(ws.NUM_LEAVES);
    const Real cx = rounded_sin(h), cy = rounded_cos(h);  // the centre line of leaf 0

    // Leaf 0, as drawn.
    TemplateLeaf first;
    std::vector<TemplatePoint>& out = first.outline;
    const auto point = [&](int edge, int zone) {
        return TemplatePoint{static_cast<double>(ws.edge_at(edge, zone, 0) * radius),
                             static_cast<double>(ws.edge_at(edge, zone, 1) * radius)};
    };
    // Edge 0 outwards; widths below zero put edge 0 on edge 1's side.
    for (int k = 0; k < zones; ++k) out.push_back(point(0, k));
    lap.negative_zones = negative_width_zones(ws);
    // Along the rim: edge 1 is edge 0 mirrored in the centre line, so the arc
    // runs from edge 0's angle to minus that angle, through the centre line.
    first.rim_begin = out.size();
    const int last = zones - 1;
    {
        const Real x = ws.edge_at(0, last, 0), y = ws.edge_at(0, last, 1);
        const Real d = angle_from_centre(cx, cy, x, y);
        append_arc(out, std::hypot(x, y) * radius, h + d, h - d);
    }
    // Edge 1 inwards; at a first zone at the centre its point is edge 0's first.
    first.edge1_begin = out.size();
    const Real x0 = ws.edge_at(0, 0, 0), y0 = ws.edge_at(0, 0, 1);
    const Real r0 = std::hypot(x0, y0);
    for (int k = last; k >= 0; --k) {
        if (k == 0 && r0 == 0) break;
        out.push_back(point(1, k));
    }
    // Across the first zone's circle, back to edge 0's first point.
    first.inner_begin = out.size();
    if (r0 > 0) {
        const Real d = angle_from_centre(cx, cy, x0, y0);
        append_arc(out, r0 * radius, h - d, h + d);
    }

    // Leaf i: leaf 0 turned by i * 2 pi / N in the drawing's sense.
    for (int i = 0; i < ws.NUM_LEAVES; ++i) {
        const Real phi = 2 * h * static_cast<Real>(i);
        const Real c = rounded_cos(phi), s = rounded_sin(phi);
        TemplateLeaf leaf = first;
        for (TemplatePoint& p : leaf.outline) {
            const Real x = p.x, y = p.y;
            p = {static_cast<double>(x * c + y * s), static_cast<double>(y * c - x * s)};
        }
        lap.leaf.push_back(std::move(leaf));
    }
    return lap;
}

int negative_width_zones(const WorkingState& ws) {
    if (ws.ZONE_COUNT <= 0 || ws.NUM_LEAVES < 1 ||
        ws.LEAF_EDGES.size() < static_cast<std::size_t>(ws.ZONE_COUNT) * 4) {
        return 0;
    }
    const Real h = std::numbers::pi_v<Real> / static_cast<Real>(ws.NUM_LEAVES);
    const Real cx = rounded_sin(h), cy = rounded_cos(h);  // the centre line of leaf 0
    int count = 0;
    for (int k = 0; k < ws.ZONE_COUNT; ++k) {
        const Real x = ws.edge_at(0, k, 0), y = ws.edge_at(0, k, 1);
        const Real r = std::hypot(x, y);
        if (r > 0 && cy * x - cx * y < -1e-15L * r) ++count;
    }
    return count;
}

namespace {

std::string crossed_warning(int zones) {
    if (zones == 0) return {};
    return "Warning: the leaf width is below zero at " + std::to_string(zones) + (zones == 1 ? " zone" : " zones") +
           " (the efficiency is more than the profile allows): the two edges of each leaf cross there and are drawn "
           "as they are.";
}

}  // namespace

std::string negative_width_warning(const WorkingState& ws) { return crossed_warning(negative_width_zones(ws)); }

std::string negative_width_warning(const LapTemplate& lap) { return crossed_warning(lap.negative_zones); }

}  // namespace dz
