// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "drawing/lap_plot.hpp"
#include "drawing/leaf_outline.hpp"
#include "tests/recording_canvas.hpp"
#include "tests/test_states.hpp"

namespace {

using dz::testing::loaded_state;

using dz::CanvasCall;
using dz::CanvasOp;
using dz::Pixel;
using dz::Real;
using dz::RecordingCanvas;
using dz::Rgb;

constexpr Rgb WHITE{255, 255, 255};
constexpr Rgb BLACK{0, 0, 0};
constexpr Rgb GREEN{0, 255, 0};
constexpr Rgb RED{255, 0, 0};
constexpr Rgb BLUE{0, 0, 255};

// The plot of the state as it stands: the drawing builds nothing.
RecordingCanvas paint(const dz::WorkingState& ws, char sep = '.') {
    RecordingCanvas canvas;
    dz::DRAW_LAP(ws, canvas, sep);
    return canvas;
}

// What a command does: the outline built for the settings, then the plot.
RecordingCanvas draw(dz::WorkingState& ws, char sep = '.') {
    const auto n = static_cast<std::size_t>(ws.ZONE_COUNT);
    if (ws.loaded && ws.NUM_LEAVES >= 1 && ws.ZONE_COUNT >= 1 && ws.LEAF_EDGES.size() >= 4 * n) {
        dz::build_leaf_edges(ws);
    }
    return paint(ws, sep);
}

Pixel to_screen(Real x, Real y) { return dz::TO_SCREEN(301, x, y); }

TEST(ToScreen_Rounding, FrameAndHalvesToEven) {
    struct Case {
        int scale;
        Real x, y;
        Pixel expected;
    };
    const Real above_half = 0.25L + std::ldexp(1.0L, -62);  // x + 1 exactly above 1.25
    const std::vector<Case> cases = {
        {301, 0, 0, {321, 321}},          // lap centre
        {301, -1, 1, {20, 20}},           // top-left corner of the frame
        {301, 1, -1, {622, 622}},         // bottom-right corner of the outer square
        {301, 1, 0, {622, 321}},
        {2, 0.25L, 0.75L, {22, 20}},      // 2.5 -> 2, 0.5 -> 0
        {2, 0.75L, 0.25L, {24, 22}},      // 3.5 -> 4, 1.5 -> 2
        {2, -1.25L, 1.75L, {20, 18}},     // -0.5 -> 0, -1.5 -> -2
        {2, -1.75L, 2.25L, {18, 18}},     // -1.5 -> -2, -2.5 -> -2
        {2, above_half, 0, {23, 22}},     // just above a half rounds up
        {301, 0.2L, 0.2L, {381, 261}},    // 361.2 and 240.8
    };
    for (const auto& c : cases) {
        EXPECT_EQ(dz::TO_SCREEN(c.scale, c.x, c.y), c.expected) << "scale " << c.scale << " x " << double(c.x)
                                                                << " y " << double(c.y);
    }
    // The result must not follow a changed FPU rounding mode.
    const int saved = std::fegetround();
    for (int mode : {FE_UPWARD, FE_DOWNWARD, FE_TOWARDZERO}) {
        ASSERT_EQ(std::fesetround(mode), 0);
        EXPECT_EQ(dz::TO_SCREEN(2, 0.25L, 0.75L), (Pixel{22, 20})) << "mode " << mode;
        EXPECT_EQ(dz::TO_SCREEN(2, -1.75L, 0.25L), (Pixel{18, 22})) << "mode " << mode;
    }
    std::fesetround(saved);
}

TEST(ToScreen_Rounding, NonFiniteInputs) {
    const Real nan = std::numeric_limits<Real>::quiet_NaN();
    const Real inf = std::numeric_limits<Real>::infinity();
    for (Real bad : {nan, inf, -inf}) {
        EXPECT_FALSE(dz::to_screen_finite(301, bad, 0).has_value());
        EXPECT_FALSE(dz::to_screen_finite(301, 0, bad).has_value());
        (void)dz::TO_SCREEN(301, bad, bad);  // defined, clamped
    }
    EXPECT_EQ(dz::to_screen_finite(301, 0, 0), (Pixel{321, 321}));
    const Pixel far = dz::TO_SCREEN(301, 1e30L, -1e30L);
    EXPECT_GT(far.x, 1000000);
    EXPECT_GT(far.y, 1000000);
}

TEST(LapPlot_Frame, BackgroundGridLabelsAndOuterRim) {
    for (char sep : {'.', ','}) {
        dz::WorkingState ws;  // nothing loaded
        const RecordingCanvas canvas = draw(ws, sep);

        const auto rects = canvas.of(CanvasOp::fill_rect);
        ASSERT_EQ(rects.size(), 1u);
        EXPECT_EQ(canvas.calls().front().op, CanvasOp::set_brush_solid);
        EXPECT_EQ(rects[0].left, 0);
        EXPECT_EQ(rects[0].top, 0);
        EXPECT_EQ(rects[0].right, 641);
        EXPECT_EQ(rects[0].bottom, 341);
        EXPECT_EQ(rects[0].brush, WHITE);
        EXPECT_EQ(rects[0].pen, WHITE);

        const std::string s(1, sep);
        std::vector<std::string> expected_texts;
        for (const char* t : {"0.0", "0.2", "0.4", "0.6", "0.8", "1.0", "-1.0", "-0.8", "-0.6", "-0.4", "-0.2",
                              "0.0", "0.2", "0.4", "0.6", "0.8", "1.0"}) {
            std::string text(t);
            text.replace(text.find('.'), 1, s);
            expected_texts.push_back(text);
        }
        const auto texts = canvas.of(CanvasOp::text_out);
        ASSERT_EQ(texts.size(), expected_texts.size());
        for (std::size_t i = 0; i < texts.size(); ++i) {
            EXPECT_EQ(texts[i].text, expected_texts[i]) << i;
            EXPECT_EQ(texts[i].font, BLACK);
            EXPECT_EQ(texts[i].brush, WHITE);
        }
        // Left labels at (2, line - 7), bottom labels at (line - 10, 325).
        EXPECT_EQ(texts[0].p, (Pixel{2, 314}));
        EXPECT_EQ(texts[5].p, (Pixel{2, 13}));
        EXPECT_EQ(texts[6].p, (Pixel{10, 325}));
        EXPECT_EQ(texts[11].p, (Pixel{311, 325}));
        EXPECT_EQ(texts[16].p, (Pixel{612, 325}));

        // 17 grid lines: horizontals at i * 0.2, then verticals at j * 0.2.
        const auto moves = canvas.of(CanvasOp::move_to);
        const auto lines = canvas.of(CanvasOp::line_to);
        ASSERT_EQ(moves.size(), 17u);
        ASSERT_EQ(lines.size(), 17u);
        for (int i = 0; i <= 5; ++i) {
            const Real y = Real(i) * 0.2L;
            EXPECT_EQ(moves[i].p, to_screen(-1, y));
            EXPECT_EQ(lines[i].p, to_screen(1, y));
            EXPECT_EQ(lines[i].pen, i == 0 ? BLACK : GREEN) << i;
        }
        for (int j = -5; j <= 5; ++j) {
            const auto n = static_cast<std::size_t>(j + 11);
            const Real x = Real(j) * 0.2L;
            EXPECT_EQ(moves[n].p, to_screen(x, 0));
            EXPECT_EQ(lines[n].p, to_screen(x, 1));
            EXPECT_EQ(lines[n].pen, j == 0 ? BLACK : GREEN) << j;
        }
        EXPECT_EQ(lines[5].p, (Pixel{622, 20}));
        EXPECT_EQ(moves[11].p, (Pixel{321, 321}));

        // Only the outer rim: X 20 to 622, up to Y 20, from the right end to
        // the left end (counterclockwise over the top).
        const auto arcs = canvas.of(CanvasOp::arc);
        ASSERT_EQ(arcs.size(), 1u);
        EXPECT_EQ(arcs[0].left, 20);
        EXPECT_EQ(arcs[0].top, 20);
        EXPECT_EQ(arcs[0].right, 622);
        EXPECT_EQ(arcs[0].bottom, 622);
        EXPECT_EQ(arcs[0].p, (Pixel{622, 321}));
        EXPECT_EQ(arcs[0].q, (Pixel{20, 321}));
        EXPECT_EQ(arcs[0].pen, BLACK);
        EXPECT_EQ(canvas.count(CanvasOp::polyline), 0u);
    }
}

TEST(LapPlot_BeforeLoad, TouchesNoZoneArray) {
    // Arrays left by nothing in particular, but no completed load.
    dz::WorkingState ws = loaded_state(10);
    ws.loaded = false;
    ws.NUM_LEAVES = 0;  // not even a usable leaf count
    const RecordingCanvas canvas = paint(ws);
    EXPECT_EQ(canvas.count(CanvasOp::arc), 1u);
    EXPECT_EQ(canvas.count(CanvasOp::polyline), 0u);

    // A loaded state whose edge storage was never sized is drawn like the empty plot.
    dz::WorkingState unsized = loaded_state(10);
    unsized.LEAF_EDGES.clear();
    const RecordingCanvas c2 = paint(unsized);
    EXPECT_EQ(c2.count(CanvasOp::polyline), 0u);
}

TEST(LapPlot_Outline, PaintsTheOutlineItIsGiven) {
    // No outline built yet: the edges are NaN, so no polyline and no zone arc.
    dz::WorkingState ws = loaded_state(10, 20);
    const RecordingCanvas unbuilt = paint(ws);
    EXPECT_EQ(unbuilt.count(CanvasOp::polyline), 0u);
    EXPECT_EQ(unbuilt.count(CanvasOp::arc), 2u);  // the rims only

    // A hand-made outline, not the one the settings give, is painted as it is.
    for (int k = 0; k < 10; ++k) {
        for (int edge = 0; edge < 2; ++edge) {
            ws.edge_at(edge, k, 0) = (edge == 0 ? 1 : -1) * Real(k) / 20;
            ws.edge_at(edge, k, 1) = Real(k) / 10;
        }
    }
    ws.edge_at(1, 5, 0) = std::numeric_limits<Real>::infinity();  // splits edge 1 in two runs
    const auto polylines = paint(ws).of(CanvasOp::polyline);
    ASSERT_EQ(polylines.size(), 6u);
    EXPECT_EQ(polylines[0].points.size(), 10u);
    EXPECT_EQ(polylines[1].points.size(), 5u);
    EXPECT_EQ(polylines[2].points.size(), 4u);
    EXPECT_EQ(polylines[0].points[3], to_screen(Real(3) / 20, Real(3) / 10));
    EXPECT_EQ(polylines[3].points[3], to_screen(-Real(3) / 20, Real(3) / 10));  // mirrored edge 0
}

TEST(LapPlot_Outline, DrawsFourPolylinesInOrder) {
    for (int zones : {1, 2, 10, 500}) {
        dz::WorkingState ws = loaded_state(zones, 5);
        const RecordingCanvas canvas = draw(ws);
        for (Real v : ws.LEAF_EDGES) {
            ASSERT_TRUE(std::isfinite(v)) << zones;
        }
        const auto polylines = canvas.of(CanvasOp::polyline);
        ASSERT_EQ(polylines.size(), 4u);
        const Rgb colours[4] = {RED, RED, BLUE, BLUE};
        for (int n = 0; n < 4; ++n) {
            const int edge = n % 2;
            const bool mirror = n >= 2;
            EXPECT_EQ(polylines[n].pen, colours[n]);
            ASSERT_EQ(polylines[n].points.size(), static_cast<std::size_t>(zones));
            for (int k = 0; k < zones; ++k) {
                const Real x = ws.edge_at(edge, k, 0);
                const Real y = ws.edge_at(edge, k, 1);
                EXPECT_EQ(polylines[n].points[k], to_screen(mirror ? -x : x, y)) << n << " zone " << k;
            }
        }
    }
}

TEST(LapPlot_Order, ColoursAndSequenceOfDrawing) {
    dz::WorkingState ws = loaded_state(10, 20);
    const RecordingCanvas canvas = draw(ws);
    // Sequence of drawing calls (state changes left out) with their pen colours.
    std::vector<std::pair<CanvasOp, Rgb>> seen;
    for (const CanvasCall& c : canvas.calls()) {
        if (c.op == CanvasOp::fill_rect || c.op == CanvasOp::line_to || c.op == CanvasOp::polyline ||
            c.op == CanvasOp::arc) {
            seen.emplace_back(c.op, c.pen);
        }
    }
    std::vector<std::pair<CanvasOp, Rgb>> expected = {{CanvasOp::fill_rect, WHITE}};
    for (int i = 0; i <= 5; ++i) {
        expected.emplace_back(CanvasOp::line_to, i == 0 ? BLACK : GREEN);
    }
    for (int j = -5; j <= 5; ++j) {
        expected.emplace_back(CanvasOp::line_to, j == 0 ? BLACK : GREEN);
    }
    expected.emplace_back(CanvasOp::arc, BLACK);  // outer rim
    expected.emplace_back(CanvasOp::arc, BLACK);  // inner rim
    for (Rgb c : {RED, RED, BLUE, BLUE}) {
        expected.emplace_back(CanvasOp::polyline, c);
    }
    for (int pair = 0; pair < 2; ++pair) {  // zones 4 and 8
        expected.emplace_back(CanvasOp::arc, RED);
        expected.emplace_back(CanvasOp::arc, BLUE);
    }
    EXPECT_EQ(seen, expected);
}

TEST(LapPlot_Rims, InnerRimOnlyForPositiveFirstRadius) {
    struct Case {
        Real first_radius;
        bool inner;
    };
    for (const Case& c : {Case{0, false}, Case{-0.0L, false}, Case{1e-9L, true}, Case{0.5L, true},
                          Case{30, true}}) {
        dz::WorkingState ws = loaded_state(3, c.first_radius);
        const auto arcs = draw(ws).of(CanvasOp::arc);
        ASSERT_EQ(arcs.size(), c.inner ? 2u : 1u) << double(c.first_radius);
        if (c.inner) {
            const Real r = c.first_radius / 100;
            const Pixel tl = to_screen(-r, r);
            const Pixel br = to_screen(r, -r);
            EXPECT_EQ(arcs[1].left, tl.x);
            EXPECT_EQ(arcs[1].top, tl.y);
            EXPECT_EQ(arcs[1].right, br.x);
            EXPECT_EQ(arcs[1].bottom, br.y);
            EXPECT_EQ(arcs[1].p, to_screen(r, 0));
            EXPECT_EQ(arcs[1].q, to_screen(-r, 0));
            EXPECT_EQ(arcs[1].pen, BLACK);
        }
    }
}

TEST(LapPlot_ZoneArcs, EveryFourthZoneBelowTheLast) {
    struct Case {
        int zones;
        std::vector<int> arc_zones;
    };
    const std::vector<Case> cases = {
        {1, {}}, {5, {}}, {6, {4}}, {9, {4}}, {10, {4, 8}}, {13, {4, 8}}, {14, {4, 8, 12}},
    };
    for (const Case& c : cases) {
        dz::WorkingState ws = loaded_state(c.zones);  // first radius 0: no inner rim
        const auto arcs = draw(ws).of(CanvasOp::arc);
        const std::size_t rims = ws.ZONE_RADIUS[0] > 0 ? 2 : 1;  // one zone: the inner rim is the outer one
        ASSERT_EQ(arcs.size(), rims + 2 * c.arc_zones.size()) << c.zones << " zones";
        for (std::size_t n = 0; n < c.arc_zones.size(); ++n) {
            const int k = c.arc_zones[n];
            const CanvasCall& red = arcs[rims + 2 * n];
            const CanvasCall& blue = arcs[rims + 1 + 2 * n];
            const Real rho = ws.ZONE_RADIUS[k] / ws.OUTER_RADIUS;
            const Pixel tl = to_screen(-rho, rho);
            const Pixel br = to_screen(rho, -rho);
            for (const CanvasCall* a : {&red, &blue}) {
                EXPECT_EQ(a->left, tl.x);
                EXPECT_EQ(a->top, tl.y);
                EXPECT_EQ(a->right, br.x);
                EXPECT_EQ(a->bottom, br.y);
            }
            const Real x0 = ws.edge_at(0, k, 0), y0 = ws.edge_at(0, k, 1);
            const Real x1 = ws.edge_at(1, k, 0), y1 = ws.edge_at(1, k, 1);
            EXPECT_EQ(red.pen, RED);
            EXPECT_EQ(red.p, to_screen(x0, y0));
            EXPECT_EQ(red.q, to_screen(x1, y1));
            EXPECT_EQ(blue.pen, BLUE);
            EXPECT_EQ(blue.p, to_screen(-x1, y1));
            EXPECT_EQ(blue.q, to_screen(-x0, y0));
        }
    }
}

TEST(LapPlot_ZoneArcs, NoneWhereBothEdgesFallOnOnePixel) {
    dz::WorkingState ws = loaded_state(10);
    ws.ZONE_PROFILE[4] = 0;  // zero width: both edges on the centre line
    ws.ZONE_PROFILE[8] = 1e-6L;  // far narrower than a pixel
    const auto arcs = draw(ws).of(CanvasOp::arc);
    EXPECT_EQ(arcs.size(), 1u);
    for (int k : {4, 8}) {
        EXPECT_EQ(to_screen(ws.edge_at(0, k, 0), ws.edge_at(0, k, 1)),
                  to_screen(ws.edge_at(1, k, 0), ws.edge_at(1, k, 1)))
            << k;
    }

    // Only zone 8 narrow: the pair of zone 4 stays.
    dz::WorkingState ws2 = loaded_state(10);
    ws2.ZONE_PROFILE[8] = 0;
    const auto arcs2 = draw(ws2).of(CanvasOp::arc);
    ASSERT_EQ(arcs2.size(), 3u);
    EXPECT_EQ(arcs2[1].p, to_screen(ws2.edge_at(0, 4, 0), ws2.edge_at(0, 4, 1)));
}

TEST(LapPlot_Outline, FlatProfileDrawsWithoutFault) {
    // Every shifted value 0: the outline construction divides by 0. The
    // drawing must end, draw only sane pixels and keep the frame.
    dz::WorkingState ws = loaded_state(12, 10);
    ws.ZONE_PROFILE.assign(12, 0);
    const RecordingCanvas canvas = draw(ws);
    EXPECT_EQ(canvas.count(CanvasOp::fill_rect), 1u);
    EXPECT_EQ(canvas.count(CanvasOp::text_out), 17u);
    EXPECT_GE(canvas.count(CanvasOp::arc), 2u);  // both rims
    for (const CanvasCall& c : canvas.of(CanvasOp::polyline)) {
        for (const Pixel& p : c.points) {
            EXPECT_LT(std::abs(p.x), 100000);
            EXPECT_LT(std::abs(p.y), 100000);
        }
    }
}

TEST(LapPlot_Redraw, RepeatedDrawsAreIdentical) {
    dz::WorkingState ws = loaded_state(30, 3);
    const RecordingCanvas first = draw(ws);
    const RecordingCanvas second = draw(ws);
    ASSERT_EQ(first.calls().size(), second.calls().size());
    for (std::size_t i = 0; i < first.calls().size(); ++i) {
        const CanvasCall& a = first.calls()[i];
        const CanvasCall& b = second.calls()[i];
        EXPECT_EQ(a.op, b.op);
        EXPECT_EQ(a.p, b.p);
        EXPECT_EQ(a.q, b.q);
        EXPECT_EQ(a.points, b.points);
        EXPECT_EQ(a.text, b.text);
        EXPECT_EQ(a.pen, b.pen);
    }
    // Changing the number of leaves changes the outline on the next draw.
    ws.NUM_LEAVES = 7;
    const RecordingCanvas third = draw(ws);
    EXPECT_NE(third.of(CanvasOp::polyline)[0].points, first.of(CanvasOp::polyline)[0].points);
}

}  // namespace
