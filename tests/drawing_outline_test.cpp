// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of the leaf outline built from the zone values.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "drawing/leaf_outline.hpp"
#include "working_state/working_state.hpp"

namespace {

using dz::Real;

constexpr Real EPS = std::numeric_limits<Real>::epsilon();  // 2^-63
const Real NaN = std::numeric_limits<Real>::quiet_NaN();

// A loaded state with the given radii (the last one outer) and values in
// both value arrays; the outline storage filled with NaN.
dz::WorkingState state(const std::vector<Real>& radius, const std::vector<Real>& values, int leaves = 4) {
    dz::WorkingState ws;
    ws.NUM_LEAVES = leaves;
    ws.ZONE_COUNT = static_cast<int>(radius.size());
    ws.LAST_ZONE = ws.ZONE_COUNT - 1;
    ws.ZONE_RADIUS = radius;
    ws.ZONE_RAW = values;
    ws.ZONE_PROFILE = values;
    ws.OUTER_RADIUS = radius.back();
    ws.LEAF_EDGES.assign(radius.size() * 4, NaN);
    ws.loaded = true;
    return ws;
}

struct Point {
    Real x, y;
};

Point edge(const dz::WorkingState& ws, int e, int k) { return {ws.edge_at(e, k, 0), ws.edge_at(e, k, 1)}; }

// Angle from the +y axis towards +x.
Real angle(Point p) { return std::atan2(p.x, p.y); }

// p reflected in the line through the origin at angle h from the +y axis.
Point reflect(Point p, Real h) {
    const Real ux = std::sin(h), uy = std::cos(h);
    const Real dot = p.x * ux + p.y * uy;
    return {2 * dot * ux - p.x, 2 * dot * uy - p.y};
}

void expect_near(Point got, Point want, Real tolerance) {
    EXPECT_LE(std::fabs(got.x - want.x), tolerance) << static_cast<double>(got.x) << " vs " << static_cast<double>(want.x);
    EXPECT_LE(std::fabs(got.y - want.y), tolerance) << static_cast<double>(got.y) << " vs " << static_cast<double>(want.y);
}

TEST(LeafOutline_Edges, EdgeZeroAtAngleAndEdgeOneItsMirror) {
    // Zone 4 lies inside zone 3: nothing is sorted, the last zone is the outer one.
    const std::vector<Real> radius = {0, 10, 25, 40, 5, 50};
    const std::vector<Real> values = {0.3L, 1, 0, 0.6L, 0.8L, -0.4L};  // m = 1
    const std::vector<Real> rho = {0, 0.2L, 0.5L, 0.8L, 0.1L, 1};
    for (int n : {1, 2, 3, 4, 6, 7, 12, 100}) {
        SCOPED_TRACE(std::to_string(n) + " leaves");
        dz::WorkingState ws = state(radius, values, n);
        dz::build_leaf_edges(ws);
        const Real h = dz::PI / n;
        for (int k = 0; k < 6; ++k) {
            SCOPED_TRACE("zone " + std::to_string(k));
            const auto z = static_cast<std::size_t>(k);
            const Real t = (values[z] + 1) * h;
            const Point e0 = edge(ws, 0, k), e1 = edge(ws, 1, k);
            // A few ulps of the radius for the sine and cosine of t, and for
            // the reflection through the pitch's sine and cosine.
            expect_near(e0, {rho[z] * std::sin(t), rho[z] * std::cos(t)}, 4 * EPS);
            expect_near(e1, reflect(e0, h), 16 * EPS);
            expect_near(e1, {rho[z] * std::sin(2 * h - t), rho[z] * std::cos(2 * h - t)}, 16 * EPS);
        }
        // The outer zone lies on the unit circle.
        const Point outer = edge(ws, 0, 5);
        EXPECT_LE(std::fabs(std::hypot(outer.x, outer.y) - 1), 4 * EPS);
    }
}

TEST(LeafOutline_FullPitch, FourLeavesGiveAxisPoints) {
    // N = 4, v = m, rho = 1: edge 0 on the +x axis, edge 1 on the +y axis.
    dz::WorkingState ws = state({20, 40}, {0.25L, 2});
    dz::build_leaf_edges(ws);
    expect_near(edge(ws, 0, 1), {1, 0}, 4 * EPS);
    expect_near(edge(ws, 1, 1), {0, 1}, 4 * EPS);
    // v = m / 4 at half the radius: the leaf spans h +- h/4.
    const Real h = dz::PI / 4;
    expect_near(edge(ws, 0, 0), {0.5L * std::sin(1.125L * h), 0.5L * std::cos(1.125L * h)}, 4 * EPS);
    expect_near(edge(ws, 1, 0), {0.5L * std::sin(0.875L * h), 0.5L * std::cos(0.875L * h)}, 8 * EPS);
}

TEST(LeafOutline_Width, ZeroNegativeAndCentreZones) {
    const Real h = dz::PI / 5;
    const Point centre_line = {std::sin(h), std::cos(h)};
    // A zero value among positive ones: both edges on the centre line.
    // A negative one: the edges cross it and change sides. Radius 0: the origin.
    dz::WorkingState ws = state({0, 30, 60, 80, 100}, {3, 0, -1, 2, 4}, 5);
    dz::build_leaf_edges(ws);
    expect_near(edge(ws, 1, 1), {0.3L * centre_line.x, 0.3L * centre_line.y}, 8 * EPS);
    expect_near(edge(ws, 0, 1), {0.3L * centre_line.x, 0.3L * centre_line.y}, 8 * EPS);
    EXPECT_LE(std::fabs(angle(edge(ws, 0, 2)) - 0.75L * h), 8 * EPS);
    EXPECT_LE(std::fabs(angle(edge(ws, 1, 2)) - 1.25L * h), 8 * EPS);
    EXPECT_LT(angle(edge(ws, 0, 2)), h);
    for (int e = 0; e < 2; ++e) {
        EXPECT_EQ(ws.edge_at(e, 0, 0), 0);
        EXPECT_EQ(ws.edge_at(e, 0, 1), 0);
    }

    // m = 0: every value 0 or below (a flat profile with no shift, or
    // everything shifted below 0): zero width everywhere, finite points.
    const std::vector<std::vector<Real>> flat = {{0, 0, 0}, {0, -1, -2}, {-5, -5, -5}};
    for (const auto& values : flat) {
        dz::WorkingState w = state({10, 20, 40}, values, 5);
        dz::build_leaf_edges(w);
        const Real rho[] = {0.25L, 0.5L, 1};
        for (int k = 0; k < 3; ++k) {
            const Point want = {rho[k] * centre_line.x, rho[k] * centre_line.y};
            expect_near(edge(w, 0, k), want, 8 * EPS);
            expect_near(edge(w, 1, k), want, 8 * EPS);
        }
    }
}

TEST(LeafOutline_Inputs, LapTypeOffsetAndLeafCount) {
    // Spindle reads the measured values, 2/5 Stroke the profile; the base
    // offset is added to each before the maximum is taken.
    dz::WorkingState ws = state({10, 20, 40}, {0, 0, 0}, 4);
    ws.ZONE_RAW = {-1, 0, 1};
    ws.ZONE_PROFILE = {3, 1, 2};
    struct Case {
        bool spindle;
        Real offset;
        std::vector<Real> fraction;  // expected v / m per zone
    };
    const std::vector<Case> cases = {
        {true, 0, {-1, 0, 1}},
        {true, 1, {0, 0.5L, 1}},
        {true, 3, {0.5L, 0.75L, 1}},
        {false, 0, {1, 1.0L / 3, 2.0L / 3}},
        {false, -1, {1, 0, 0.5L}},
        {false, -2, {1, -1, 0}},
    };
    for (int n : {3, 4, 9}) {
        const Real h = dz::PI / n;
        for (const Case& c : cases) {
            SCOPED_TRACE(std::to_string(n) + " leaves, offset " + std::to_string(static_cast<double>(c.offset)) +
                         (c.spindle ? ", Spindle" : ", 2/5 Stroke"));
            ws.NUM_LEAVES = n;
            ws.SPINDLE = c.spindle;
            ws.BASE_OFFSET = c.offset;
            ws.LEAF_EDGES.assign(12, NaN);
            dz::build_leaf_edges(ws);
            for (int k = 0; k < 3; ++k) {
                const Real t = (c.fraction[static_cast<std::size_t>(k)] + 1) * h;
                EXPECT_LE(std::fabs(angle(edge(ws, 0, k)) - t), 8 * EPS) << "zone " << k;
                EXPECT_LE(std::fabs(angle(edge(ws, 1, k)) - (2 * h - t)), 16 * EPS) << "zone " << k;
            }
        }
    }
}

}  // namespace
