// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of the spline smoothing of the leaf profile.

#include "tests/lap_calc_test_support.hpp"

namespace {

using namespace dz::lap_calc_test;


TEST(SplineKnots_ZoneCounts, KnotVectors) {
    struct Case {
        int zones;
        std::vector<Real> knots;
    };
    const std::vector<Case> cases = {
        {100, {0, 0, 0, 20, 40, 60, 100, 100, 100}},
        {41, {0, 0, 0, 20, 41, 41, 41}},
        {61, {0, 0, 0, 20, 40, 61, 61, 61}},
        {60, {0, 0, 0, 20, 60, 60, 60}},
        {40, {0, 0, 0, 40, 40, 40}},
        {30, {0, 0, 0, 30, 30, 30}},
        {21, {0, 0, 0, 21, 21, 21}},
        {20, {0, 0, 20, 20, 20}},
        {15, {0, 0, 15, 15, 15}},
        {2, {0, 0, 2, 2, 2}},
        {1, {0, 0, 1, 1, 1}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(dz::spline_knots(c.zones), c.knots) << c.zones << " zones";
    }
    // From 41 zones on: 0 0 0, 20 .. 20 (p - 2), then three times the count,
    // p = floor((count - 1) / 20) + 1; m = p + 1 coefficients.
    for (int zones = 41; zones <= 500; ++zones) {
        const int p = (zones - 1) / 20 + 1;
        std::vector<Real> knots = {0, 0, 0};
        for (int k = 1; k <= p - 2; ++k) knots.push_back(static_cast<Real>(20 * k));
        knots.insert(knots.end(), 3, static_cast<Real>(zones));
        ASSERT_EQ(dz::spline_knots(zones), knots) << zones << " zones";
    }
    EXPECT_EQ(dz::spline_knots(500).size(), 29u);
}

// The B-spline of coefficient a (1-based) on the knots t, order 3, at x, by
// the Cox-de Boor recurrence written out.
Real basis(const std::vector<Real>& t, int a, int order, Real x) {
    const auto i = static_cast<std::size_t>(a - 1);
    if (order == 1) return t[i] <= x && x < t[i + 1] ? 1 : 0;
    Real value = 0;
    const Real left_span = t[i + static_cast<std::size_t>(order) - 1] - t[i];
    const Real right_span = t[i + static_cast<std::size_t>(order)] - t[i + 1];
    if (left_span != 0) value += (x - t[i]) / left_span * basis(t, a, order - 1, x);
    if (right_span != 0) value += (t[i + static_cast<std::size_t>(order)] - x) / right_span * basis(t, a + 1, order - 1, x);
    return value;
}

struct Fit {
    std::optional<std::string> failure;
    dz::N_VECTOR profile;
    Real minimum;
};

Fit fit(const dz::N_VECTOR& values, Real minimum_before = NaN) {
    dz::Matrices solver;
    dz::BSplines bsplines;
    dz::NXN_MATRIX matrix(values.size() * values.size(), NaN);
    dz::N_VECTOR coef(3, NaN);
    Fit f{std::nullopt, values, minimum_before};
    f.failure = dz::smooth_profile(solver, bsplines, matrix, coef, f.profile, static_cast<int>(values.size()),
                                   f.minimum);
    return f;
}

TEST(SmoothProfile_Weighting, WeightedNormalEquationsHold) {
    // 41 zones alternating 0, 1: four coefficients on 0 0 0 20 41 41 41.
    dz::N_VECTOR y(41);
    for (int z = 0; z < 41; ++z) y[static_cast<std::size_t>(z)] = static_cast<Real>(z % 2);
    const Fit f = fit(y);
    ASSERT_EQ(f.failure, std::nullopt);
    const std::vector<Real> t = dz::spline_knots(41);
    for (int a = 1; a <= 4; ++a) {
        Real weighted = 0, unweighted = 0, scale = 0;
        for (int z = 0; z < 41; ++z) {
            const auto k = static_cast<std::size_t>(z);
            const Real x = static_cast<Real>(z);
            const Real ba = basis(t, a, 3, x);
            weighted += x * (y[k] - f.profile[k]) * ba;
            unweighted += (y[k] - f.profile[k]) * ba;
            scale += x * (std::fabs(y[k]) + std::fabs(f.profile[k])) * ba;
        }
        SCOPED_TRACE("coefficient " + std::to_string(a));
        EXPECT_LE(std::fabs(weighted), 32 * EPS * scale);
        // Equal weights would make these vanish instead; they are far from 0.
        EXPECT_GT(std::fabs(unweighted), 1e6L * 32 * EPS * scale);
    }
    EXPECT_EQ(f.minimum, std::min(Real(0), *std::min_element(f.profile.begin(), f.profile.end())));
    EXPECT_EQ(f.minimum, 0);
}

TEST(SmoothProfile_ZoneZero, HasNoInfluence) {
    for (int zones : {15, 30, 41, 100}) {
        dz::N_VECTOR y(static_cast<std::size_t>(zones));
        for (int z = 0; z < zones; ++z) y[static_cast<std::size_t>(z)] = std::sin(static_cast<Real>(z) * 0.3L);
        const Fit base = fit(y);
        ASSERT_EQ(base.failure, std::nullopt);
        for (Real first : {-1e6L, 0.0L, 123.25L}) {
            y[0] = first;
            const Fit changed = fit(y);
            ASSERT_EQ(changed.failure, std::nullopt);
            EXPECT_TRUE(same_bits(changed.profile, base.profile)) << zones << " zones, zone 0 = " << static_cast<double>(first);
        }
    }
}

TEST(SmoothProfile_Quadratic, ComesBackUnchanged) {
    struct Case {
        int zones;
        Real c0, c1, c2;  // y = c0 + c1 z + c2 z^2
    };
    const std::vector<Case> cases = {
        {100, 1.5L, 0.07L, -0.0009L},
        {61, -0.3L, -0.02L, 0.0008L},
        {41, 2, 0, 0},
        {30, 0.25L, -0.1L, 0.003L},
        {500, 10, -0.04L, 0.00005L},
        {21, 0, 1, -0.05L},
        {15, 0, 0.3L, -0.01L},  // two leading zeros: only curves through 0 at zone 0
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.zones) + " zones");
        dz::N_VECTOR y(static_cast<std::size_t>(c.zones));
        Real largest = 0, smallest = 0;
        for (int z = 0; z < c.zones; ++z) {
            const Real x = static_cast<Real>(z);
            y[static_cast<std::size_t>(z)] = c.c0 + c.c1 * x + c.c2 * x * x;
            largest = std::max(largest, std::fabs(y[static_cast<std::size_t>(z)]));
            smallest = std::min(smallest, y[static_cast<std::size_t>(z)]);
        }
        const Fit f = fit(y);
        ASSERT_EQ(f.failure, std::nullopt);
        // The normal equations are of order at most 26 and well conditioned.
        const Real tolerance = 64 * EPS * largest;
        for (int z = 0; z < c.zones; ++z) {
            const auto k = static_cast<std::size_t>(z);
            ASSERT_LE(std::fabs(f.profile[k] - y[k]), tolerance) << "zone " << z;
        }
        EXPECT_EQ(f.minimum, std::min(Real(0), *std::min_element(f.profile.begin(), f.profile.end())));
        EXPECT_LE(std::fabs(f.minimum - smallest), tolerance);
    }
}

TEST(SmoothProfile_FewZones, SplineInfoAndZeroAtCentre) {
    // Two zones: G of rank 1, second pivot exactly 0. One zone: G all zero.
    for (int zones : {2, 1}) {
        const dz::N_VECTOR y(static_cast<std::size_t>(zones), 0.75L);
        const Fit f = fit(y, 7.0L);
        EXPECT_EQ(f.failure, std::optional<std::string>("SPLINE INFO = " + std::to_string(zones)));
        EXPECT_TRUE(same_bits(f.profile, y));
        EXPECT_EQ(f.minimum, 7.0L);
    }
    // One zone with a 1-element matrix: the storage grows to the 4 it needs.
    dz::Matrices solver;
    dz::BSplines bsplines;
    dz::NXN_MATRIX matrix(1, NaN);
    dz::N_VECTOR coef, profile = {3};
    Real minimum = 5;
    EXPECT_EQ(dz::smooth_profile(solver, bsplines, matrix, coef, profile, 1, minimum),
              std::optional<std::string>("SPLINE INFO = 1"));
    // Three zones fit; with at most 20 zones the curve is 0 at zone 0.
    const Fit three = fit({5, 1, 2});
    ASSERT_EQ(three.failure, std::nullopt);
    EXPECT_EQ(three.profile[0], 0);
}

}  // namespace
