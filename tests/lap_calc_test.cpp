// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of the lap computation: the wear matrix and its solve, the spline
// smoothing, and the load with the lap settings that follow it.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <limits>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "drawing/leaf_outline.hpp"
#include "lap_calc/spline_fit.hpp"
#include "lap_calc/wear_matrix.hpp"
#include "lap_load/calc_lap.hpp"
#include "matrices/matrices.hpp"
#include "splines/arc_trig.hpp"
#include "splines/bsplines.hpp"
#include "surface/surface_reader.hpp"
#include "tests/same_bits.hpp"
#include "text_io/tokenizer.hpp"

namespace {

using dz::Real;

constexpr Real EPS = std::numeric_limits<Real>::epsilon();  // 2^-63
const Real NaN = std::numeric_limits<Real>::quiet_NaN();

// The stroke offset and its square as the wear model takes them.
constexpr Real D = 0.2L;
const Real D2 = D * D;

// The arccosine term of column radius rho and row radius r, as the formula reads.
Real K(Real rho, Real r) {
    const Real q = ((r * r + D2 - rho * rho) * 0.5L / r) / D;
    return dz::ARC_COS(q) * 2 / dz::PI;
}

// The arcsine term.
Real S(Real rho, Real r) { return r <= rho ? Real(2) : dz::ARC_SIN(rho / r) * 4 / dz::PI; }

using dz::testing::bits;
using dz::testing::Bits;
using dz::testing::same_bits;

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string example(const std::string& name) { return slurp(std::string(DOROZIRI_SOURCE_DIR) + "/examples/" + name); }

// The zone radii of a surface file, `count` of them.
std::vector<Real> radii_of(const std::string& bytes, int& count) {
    dz::Tokenizer tokenizer('.');
    const dz::SurfaceReadResult r = dz::read_surface(bytes, tokenizer, dz::ZONE_CAPACITY);
    EXPECT_TRUE(r.data.has_value()) << r.message;
    if (!r.data) return {};
    count = r.data->zone_count;
    return r.data->radius;
}

// A surface file of the given zones (radius, measured value), '.' separator.
std::string surface_file(const std::vector<std::pair<std::string, std::string>>& zones,
                         const std::string& caption = "cap") {
    std::string out = caption + "\r\nx\r\n-1\r\n2000\r\nx\r\n";
    for (const auto& [radius, value] : zones) out += radius + " 0 " + value + "\r\n";
    return out;
}

// ------------------------------------------------------------- wear matrix

TEST(WearMatrix_FiveZones, ElementsAsTheTermsGive) {
    const std::vector<Real> radius = {0, 6, 12, 22, 40};
    const Real outer = 40;
    auto rho = [&](int i) { return radius[static_cast<std::size_t>(i)] / outer; };
    const Real r1 = rho(1), r2 = rho(2), r3 = rho(3), r4 = rho(4);
    const std::vector<Real> expected = {
        2, 2, 0, 0, 0,
        0, 2 - K(r1, r1), 2 - K(r2, r1), 0, 0,
        0, K(r1, r2), 2 - K(r2, r2), 0, 0,
        0, 0, 0, 2 - K(r3, r3), 0,
        0, 0, 0, 0, 2 - K(r4, r4),
    };
    // The last diagonal element is 2 - (2/pi) arccos(0.1) to within rounding.
    const Real last = 2 - 2 / dz::PI * std::acos(0.1L);
    EXPECT_LE(std::fabs(expected[24] - last), 8 * EPS);
    // The terms are neither 0 nor 2, so every element above tells its case.
    for (Real k : {K(r1, r1), K(r2, r1), K(r1, r2), K(r2, r2), K(r3, r3), K(r4, r4)}) {
        EXPECT_GT(k, 0);
        EXPECT_LT(k, 2);
    }
    for (bool reference : {false, true}) {
        SCOPED_TRACE(reference ? "reference fill" : "fast fill");
        dz::NXN_MATRIX m(3, NaN);
        if (reference) {
            dz::fill_wear_matrix_reference(radius, 5, outer, m);
        } else {
            dz::fill_wear_matrix(radius, 5, outer, m);
        }
        ASSERT_EQ(m.size(), 25u);
        for (int j = 0; j < 5; ++j) {
            for (int i = 0; i < 5; ++i) {
                const auto p = static_cast<std::size_t>(j * 5 + i);
                EXPECT_EQ(m[p], expected[p]) << "row " << j << " column " << i;
            }
        }
    }
}

TEST(WearMatrix_Orientation, SolveUsesRowsAsEquations) {
    // Zones at 0, 6, 12, 22, 40 mm, every measured value 1. The matrix is
    //   2 2 0 0 0 / 0 a b 0 0 / 0 c e 0 0 / 0 0 0 f 0 / 0 0 0 0 g
    // with a = 2 - K(.15,.15), b = 2 - K(.3,.15), c = K(.15,.3), e = 2 - K(.3,.3).
    const std::vector<Real> radius = {0, 6, 12, 22, 40};
    const Real p1 = 6.0L / 40, p2 = 12.0L / 40, p3 = 22.0L / 40;
    const Real a = 2 - K(p1, p1), b = 2 - K(p2, p1), c = K(p1, p2), e = 2 - K(p2, p2);
    const Real f = 2 - K(p3, p3), g = 2 - K(1, 1);
    // Rows as equations, by Cramer's rule on the 2 x 2 block.
    const Real det = a * e - b * c;
    const Real x1 = (e - b) / det, x2 = (a - c) / det;
    const std::vector<Real> rows = {(1 - 2 * x1) / 2, x1, x2, 1 / f, 1 / g};
    // Columns as equations (the transposed matrix): 2 y0 = 1, then the block.
    const Real y0 = 0.5L;
    const Real y1 = ((1 - 2 * y0) * e - c) / det, y2 = (a - b * (1 - 2 * y0)) / det;
    const std::vector<Real> columns = {y0, y1, y2, 1 / f, 1 / g};

    dz::Matrices solver;
    dz::NXN_MATRIX m;
    dz::N_VECTOR profile(5, 1);
    ASSERT_EQ(dz::solve_wear(solver, radius, 5, 40, m, profile), std::nullopt);
    // The 2 x 2 block is well conditioned (|det| > 1); 64 eps covers both computations.
    ASSERT_GT(std::fabs(det), 1);
    for (int i = 0; i < 5; ++i) {
        const auto k = static_cast<std::size_t>(i);
        EXPECT_LE(std::fabs(profile[k] - rows[k]), 64 * EPS * std::fabs(rows[k])) << "zone " << i;
        if (i < 3) {
            EXPECT_GT(std::fabs(rows[k] - columns[k]), 0.01L) << "zone " << i;
        }
    }
}

TEST(WearMatrix_StatedElements, BoundariesDiagonalCentreAndLastColumn) {
    // Two zones with the outer radius 1: element (row 1, column 0) has the
    // column radius rho = radius[0] and the row radius r = radius[1].
    auto element = [](Real rho, Real r) {
        const std::vector<Real> radius = {rho, r};
        dz::NXN_MATRIX fast(4, NaN), reference(4, NaN);
        dz::fill_wear_matrix(radius, 2, 1, fast);
        dz::fill_wear_matrix_reference(radius, 2, 1, reference);
        EXPECT_TRUE(same_bits(fast, reference)) << "rho " << static_cast<double>(rho);
        return fast[2];
    };
    const Real rhos[] = {0, 0.05L, 0.1L, 0.15L, 0.2L, 0.25L, 0.3L, 0.55L, 0.8L, 1};
    for (Real rho : rhos) {
        SCOPED_TRACE(static_cast<double>(rho));
        // r = rho + d: 0.
        EXPECT_EQ(element(rho, rho + D), 0);
        // r = a: S when rho <= d, else 0.
        const Real a = std::fabs(rho - D);
        EXPECT_EQ(element(rho, a), rho <= D ? S(rho, a) : Real(0));
        // r = rho: S = 2; 2 - K inside the annulus (rho > 0.1), else 2.
        const Real diagonal = element(rho, rho);
        if (rho > 0.1L) {
            EXPECT_EQ(diagonal, 2 - K(rho, rho));
        } else {
            EXPECT_EQ(diagonal, 2);
        }
        // r = s: not beyond s, so S - K.
        const Real s = std::sqrt(rho * rho + D2);
        if (rho > 0) {
            EXPECT_EQ(element(rho, s), S(rho, s) - K(rho, s));
        }
        // Just beyond s: K alone.
        const Real above_s = std::nextafter(s, Real(2));
        if (above_s < rho + D) {
            EXPECT_EQ(element(rho, above_s), K(rho, above_s));
        }
        // Just below rho + d: the K case (the circles nearly touch, so K may round to 0).
        const Real below = std::nextafter(rho + D, Real(0));
        if (below > s) {
            EXPECT_EQ(element(rho, below), K(rho, below));
        }
    }
    // A column at the centre: 2 in a row at radius 0, 0 elsewhere.
    for (Real r : {0.0L, 0.01L, 0.1L, 0.19L, 0.2L, 0.5L, 1.0L}) {
        EXPECT_EQ(element(0, r), r == 0 ? 2 : 0) << static_cast<double>(r);
    }
    // The column of the outer zone: 0 up to 0.8, then 2 - K up to 1.
    const Real a_last = 1 - D;  // |1 - d|, the lower edge of the band
    for (Real r : {0.0L, 0.5L, a_last, std::nextafter(a_last, Real(1)), 0.9L, 1.0L}) {
        EXPECT_EQ(element(1, r), r <= a_last ? Real(0) : 2 - K(1, r)) << static_cast<double>(r);
        if (r > a_last) {
            EXPECT_GT(element(1, r), 0);
        }
    }
}

TEST(WearMatrix_EqualRadiiAndFirstElement, IdenticalColumnsAndForcedTwo) {
    // Zones 2 and 3 share a radius: identical columns, 2 - K where they pair.
    const std::vector<Real> radius = {5, 12, 14, 14, 30, 40};
    dz::NXN_MATRIX m;
    dz::fill_wear_matrix(radius, 6, 40, m);
    for (int j = 0; j < 6; ++j) {
        EXPECT_TRUE(same_bits(m[static_cast<std::size_t>(j * 6 + 2)], m[static_cast<std::size_t>(j * 6 + 3)]))
            << "row " << j;
    }
    const Real p = 14.0L / 40;
    EXPECT_EQ(m[2 * 6 + 3], 2 - K(p, p));
    EXPECT_EQ(m[3 * 6 + 2], 2 - K(p, p));
    // The first zone beyond 0.1 of the outer radius: the table gives 2 - K,
    // the element is 2 all the same.
    const std::vector<Real> far = {30, 40};
    dz::fill_wear_matrix(far, 2, 40, m);
    EXPECT_EQ(m[0], 2);
    EXPECT_NE(2 - K(0.75L, 0.75L), 2);
}

TEST(WearMatrix_FastFill, BitForBitAsReference) {
    std::vector<std::pair<std::string, std::vector<Real>>> sets;
    std::vector<Real> outers;
    for (const char* name : {"mirror200.srf", "profile500.srf"}) {
        int count = 0;
        std::vector<Real> r = radii_of(example(name), count);
        ASSERT_GT(count, 0) << name;
        r.resize(static_cast<std::size_t>(count));
        outers.push_back(r.back());
        sets.emplace_back(name, r);
    }
    // Random radii, sorted and not, some repeated, the last one the outer one.
    std::mt19937_64 random(20240611);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    for (int round = 0; round < 6; ++round) {
        std::vector<Real> r;
        for (int k = 0; k < 120; ++k) r.push_back(static_cast<Real>(uniform(random)) * 100);
        for (int k = 0; k < 10; ++k) r.push_back(r[static_cast<std::size_t>(k * 7)]);  // equal radii
        if (round % 2 == 0) std::sort(r.begin(), r.end());
        r.push_back(100);
        outers.push_back(100);
        sets.emplace_back("random " + std::to_string(round), r);
    }
    // Boundary radii with the outer radius 1: rho + d, |rho - d|, sqrt(rho^2 + d^2),
    // rho itself, and their neighbours.
    std::vector<Real> edges;
    for (Real rho : {0.0L, 0.05L, 0.1L, 0.15L, 0.2L, 0.3L, 0.4L, 0.55L, 0.6L, 0.8L, 1.0L}) {
        for (Real r : {rho, rho + D, std::fabs(rho - D), std::sqrt(rho * rho + D2)}) {
            edges.push_back(r);
            edges.push_back(std::nextafter(r, Real(-1)));
            edges.push_back(std::nextafter(r, Real(2)));
        }
    }
    outers.push_back(1);
    sets.emplace_back("boundaries", edges);
    // the same in ascending order, where the zero runs of each column are
    // found by bisection: the boundaries fall exactly on the run ends
    std::vector<Real> sorted_edges = edges;
    std::sort(sorted_edges.begin(), sorted_edges.end());
    outers.push_back(1);
    sets.emplace_back("boundaries ascending", sorted_edges);
    for (std::size_t s = 0; s < sets.size(); ++s) {
        const auto& [name, r] = sets[s];
        SCOPED_TRACE(name);
        const int count = static_cast<int>(r.size());
        dz::NXN_MATRIX fast(7, NaN), reference(11, NaN);
        dz::fill_wear_matrix(r, count, outers[s], fast);
        dz::fill_wear_matrix_reference(r, count, outers[s], reference);
        ASSERT_EQ(fast.size(), r.size() * r.size());
        EXPECT_TRUE(same_bits(fast, reference));
        EXPECT_TRUE(std::all_of(fast.begin(), fast.end(), [](Real v) { return std::isfinite(v); }));
        // column after column: the transpose, bit for bit
        dz::NXN_MATRIX columns(3, NaN);
        dz::fill_wear_matrix_columns(r, count, outers[s], columns);
        ASSERT_EQ(columns.size(), reference.size());
        const auto n = r.size();
        dz::NXN_MATRIX transposed(columns.size());
        for (std::size_t i = 0; i < n; ++i) {
            for (std::size_t j = 0; j < n; ++j) transposed[j * n + i] = columns[i * n + j];
        }
        EXPECT_TRUE(same_bits(transposed, reference));
    }
}

TEST(WearMatrix_Solve, SameBitsAsTheStraightforwardSolve) {
    // The load's solve (column-major fill, factors and solve) against the
    // reference fill, the reference elimination and the plain solve, on the
    // wear matrices of the example files.
    for (const char* name : {"mirror200.srf", "profile500.srf"}) {
        SCOPED_TRACE(name);
        dz::Tokenizer tokenizer('.');
        const auto read = dz::read_surface(example(name), tokenizer, dz::ZONE_CAPACITY);
        ASSERT_TRUE(read.data);
        const dz::SurfaceData& surface = *read.data;
        const int n = surface.zone_count;
        const Real outer = surface.radius[static_cast<std::size_t>(n - 1)];

        dz::Matrices reference;
        reference.MAT_ORDER = n;
        dz::NXN_MATRIX m;
        dz::fill_wear_matrix_reference(surface.radius, n, outer, m);
        int status = -1;
        reference.LU_FACTOR_REFERENCE(m, status);
        ASSERT_EQ(status, 0);
        dz::N_VECTOR want(surface.raw.begin(), surface.raw.begin() + n);
        reference.LU_SOLVE(m, want);

        dz::Matrices solver;
        dz::NXN_MATRIX storage;
        dz::N_VECTOR got(surface.raw.begin(), surface.raw.begin() + n);
        EXPECT_EQ(dz::solve_wear(solver, surface.radius, n, outer, storage, got), std::nullopt);
        EXPECT_EQ(solver.PIVOTS, reference.PIVOTS);
        EXPECT_TRUE(same_bits(got, want));
    }
}

TEST(WearMatrix_Singular, ZeroPivotGivesInfo) {
    // Radii 0, 0, 100: two identical columns, an exactly zero pivot at step 2.
    dz::Matrices solver;
    dz::NXN_MATRIX m;
    const std::vector<Real> radius = {0, 0, 100};
    dz::N_VECTOR profile = {1.5L, -2, 3};
    const dz::N_VECTOR before = profile;
    EXPECT_EQ(dz::solve_wear(solver, radius, 3, 100, m, profile), std::optional<std::string>("INFO = 2"));
    EXPECT_TRUE(same_bits(profile, before));
}

TEST(CalcLap_Straightforward, SameProfileAndOutlineBits) {
    // The whole load against the straightforward transcription of it: the
    // reference fill in rows, the one-step elimination, the plain solve, then
    // the same smoothing and outline. The smoothed profile, PROFILE_MIN and
    // LEAF_EDGES must come out bit for bit, under both lap types.
    for (const char* name : {"mirror200.srf", "profile500.srf"}) {
        for (const bool spindle : {false, true}) {
            SCOPED_TRACE(std::string(name) + (spindle ? " spindle" : " stroke"));
            dz::WorkingState loaded;
            ASSERT_EQ(dz::CALC_LAP(loaded, example(name), spindle, '.'), std::nullopt);

            dz::Tokenizer tokenizer('.');
            const dz::SurfaceData surface = *dz::read_surface(example(name), tokenizer, dz::ZONE_CAPACITY).data;
            dz::WorkingState plain;
            dz::LoadScratch work;
            const int n = surface.zone_count;
            plain.ZONE_COUNT = n;
            plain.LAST_ZONE = n - 1;
            plain.OUTER_RADIUS = surface.radius[static_cast<std::size_t>(n - 1)];
            plain.ZONE_RADIUS = surface.radius;
            plain.ZONE_RAW = surface.raw;
            plain.ZONE_PROFILE = surface.raw;
            plain.RAW_MIN = surface.raw_min;
            work.matrices.MAT_ORDER = n;
            dz::fill_wear_matrix_reference(plain.ZONE_RADIUS, n, plain.OUTER_RADIUS, work.WEAR_MATRIX);
            int status = -1;
            work.matrices.LU_FACTOR_REFERENCE(work.WEAR_MATRIX, status);
            ASSERT_EQ(status, 0);
            work.matrices.LU_SOLVE(work.WEAR_MATRIX, plain.ZONE_PROFILE);
            ASSERT_EQ(dz::smooth_profile(work.matrices, work.bsplines, work.WEAR_MATRIX, work.SPLINE_COEF,
                                         plain.ZONE_PROFILE, n, plain.PROFILE_MIN),
                      std::nullopt);
            plain.SPINDLE = spindle;
            plain.BASE_OFFSET = spindle ? -plain.RAW_MIN : -plain.PROFILE_MIN;
            plain.LEAF_EDGES.assign(static_cast<std::size_t>(n) * 4, NaN);
            dz::build_leaf_edges(plain);

            const dz::N_VECTOR profile(loaded.ZONE_PROFILE.begin(), loaded.ZONE_PROFILE.begin() + n);
            const dz::N_VECTOR want(plain.ZONE_PROFILE.begin(), plain.ZONE_PROFILE.begin() + n);
            EXPECT_TRUE(same_bits(profile, want));
            EXPECT_TRUE(same_bits(loaded.PROFILE_MIN, plain.PROFILE_MIN));
            EXPECT_TRUE(same_bits(loaded.LEAF_EDGES, plain.LEAF_EDGES));
        }
    }
}

// ------------------------------------------------------------- spline fit

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

// ------------------------------------------------------------- the load

// Every value of the working state.
void expect_same_state(const dz::WorkingState& a, const dz::WorkingState& b) {
    EXPECT_EQ(a.NUM_LEAVES, b.NUM_LEAVES);
    EXPECT_EQ(Bits{a.EFFICIENCY}, Bits{b.EFFICIENCY});
    EXPECT_EQ(a.SPINDLE, b.SPINDLE);
    EXPECT_EQ(Bits{a.BASE_OFFSET}, Bits{b.BASE_OFFSET});
    EXPECT_EQ(a.PLOT_CAPTION, b.PLOT_CAPTION);
    EXPECT_EQ(a.TARGET_TEXT, b.TARGET_TEXT);
    EXPECT_EQ(bits(a.ZONE_RADIUS), bits(b.ZONE_RADIUS));
    EXPECT_EQ(bits(a.ZONE_RAW), bits(b.ZONE_RAW));
    EXPECT_EQ(bits(a.ZONE_PROFILE), bits(b.ZONE_PROFILE));
    EXPECT_EQ(a.ZONE_COUNT, b.ZONE_COUNT);
    EXPECT_EQ(a.LAST_ZONE, b.LAST_ZONE);
    EXPECT_EQ(Bits{a.OUTER_RADIUS}, Bits{b.OUTER_RADIUS});
    EXPECT_EQ(Bits{a.RAW_MIN}, Bits{b.RAW_MIN});
    EXPECT_EQ(Bits{a.PROFILE_MIN}, Bits{b.PROFILE_MIN});
    EXPECT_EQ(bits(a.LEAF_EDGES), bits(b.LEAF_EDGES));
    EXPECT_EQ(a.PLOT_SCALE, b.PLOT_SCALE);
    EXPECT_EQ(a.loaded, b.loaded);
}

// Every value the load keeps beside the working state: the solver and
// B-spline state included.
void expect_same_scratch(const dz::LoadScratch& a, const dz::LoadScratch& b) {
    EXPECT_EQ(bits(a.WEAR_MATRIX), bits(b.WEAR_MATRIX));
    EXPECT_EQ(bits(a.SPLINE_COEF), bits(b.SPLINE_COEF));
    EXPECT_EQ(a.matrices.MAT_ORDER, b.matrices.MAT_ORDER);
    EXPECT_EQ(a.matrices.PIVOTS, b.matrices.PIVOTS);
    EXPECT_EQ(a.bsplines.LAST_INTERVAL, b.bsplines.LAST_INTERVAL);
    EXPECT_EQ(a.bsplines.BSPL_LEVEL, b.bsplines.BSPL_LEVEL);
    EXPECT_EQ(bits(a.bsplines.DELTA_L), bits(b.bsplines.DELTA_L));
    EXPECT_EQ(bits(a.bsplines.DELTA_R), bits(b.bsplines.DELTA_R));
}

Real minimum_with_zero(const dz::N_VECTOR& v, int count) {
    return std::min(Real(0), *std::min_element(v.begin(), v.begin() + count));
}

TEST(CalcLap_Load, StateAfterASuccessfulLoad) {
    const std::string bytes = example("mirror200.srf");
    for (bool spindle : {false, true}) {
        SCOPED_TRACE(spindle ? "Spindle" : "2/5 Stroke");
        dz::WorkingState ws;
        ASSERT_EQ(dz::set_num_leaves(ws, 6), std::nullopt);
        ws.EFFICIENCY = 55;
        ASSERT_EQ(dz::CALC_LAP(ws, bytes, spindle, '.'), std::nullopt);
        EXPECT_TRUE(ws.loaded);
        EXPECT_EQ(ws.NUM_LEAVES, 6);
        EXPECT_EQ(ws.SPINDLE, spindle);
        EXPECT_EQ(ws.EFFICIENCY, 100);
        EXPECT_EQ(ws.PLOT_CAPTION, "200 mm f/5 paraboloid, test of 7 December");
        EXPECT_EQ(ws.TARGET_TEXT, ws.PLOT_CAPTION + "\\PTarget:  b = -1.000, R = 2000.000}");
        ASSERT_EQ(ws.ZONE_COUNT, 41);
        EXPECT_EQ(ws.LAST_ZONE, 40);
        EXPECT_EQ(ws.OUTER_RADIUS, 100);
        EXPECT_EQ(ws.ZONE_RADIUS[1], 2.5L);
        EXPECT_EQ(ws.ZONE_RAW[0], 50);
        EXPECT_EQ(ws.ZONE_RAW[40], -43);
        EXPECT_EQ(ws.RAW_MIN, minimum_with_zero(ws.ZONE_RAW, 41));
        EXPECT_EQ(ws.PROFILE_MIN, minimum_with_zero(ws.ZONE_PROFILE, 41));
        EXPECT_LT(ws.PROFILE_MIN, 0);
        EXPECT_EQ(ws.BASE_OFFSET, spindle ? -ws.RAW_MIN : -ws.PROFILE_MIN);
        ASSERT_EQ(ws.LEAF_EDGES.size(), 41u * 4);
        EXPECT_TRUE(std::all_of(ws.LEAF_EDGES.begin(), ws.LEAF_EDGES.end(), [](Real v) { return std::isfinite(v); }));
        // The profile is the solved and smoothed one.
        dz::Matrices solver;
        dz::BSplines bsplines;
        dz::NXN_MATRIX matrix;
        dz::N_VECTOR coef, profile(ws.ZONE_RAW.begin(), ws.ZONE_RAW.begin() + 41);
        Real minimum = NaN;
        ASSERT_EQ(dz::solve_wear(solver, ws.ZONE_RADIUS, 41, 100, matrix, profile), std::nullopt);
        ASSERT_EQ(dz::smooth_profile(solver, bsplines, matrix, coef, profile, 41, minimum), std::nullopt);
        EXPECT_TRUE(same_bits(profile, dz::N_VECTOR(ws.ZONE_PROFILE.begin(), ws.ZONE_PROFILE.begin() + 41)));
        // At 100 % the lowest zone of the chosen values has zero width.
        const dz::N_VECTOR& values = spindle ? ws.ZONE_RAW : ws.ZONE_PROFILE;
        const auto lowest = static_cast<int>(std::min_element(values.begin(), values.begin() + 41) - values.begin());
        const Real rho = ws.ZONE_RADIUS[static_cast<std::size_t>(lowest)] / 100;
        for (int c = 0; c < 2; ++c) {
            EXPECT_LE(std::fabs(ws.edge_at(0, lowest, c) - ws.edge_at(1, lowest, c)), 8 * EPS * rho);
        }
    }
}

TEST(CalcLap_LapSettings, BaseOffsetAndEfficiencyRule) {
    dz::WorkingState ws;
    ASSERT_EQ(dz::CALC_LAP(ws, example("mirror200.srf"), false, '.'), std::nullopt);
    const Real raw = -ws.RAW_MIN, profile = -ws.PROFILE_MIN;
    ASSERT_GT(raw, 0);
    ASSERT_GT(profile, 0);
    ASSERT_NE(raw, profile);
    EXPECT_EQ(ws.BASE_OFFSET, profile);

    struct Step {
        const char* what;
        bool is_lap;  // lap-type command, else efficiency
        bool spindle;
        Real efficiency;
        Real offset;  // expected BASE_OFFSET
        Real expected_efficiency;
    };
    const std::vector<Step> steps = {
        {"efficiency 80", false, false, 80, profile * 100 / 80, 80},
        {"Spindle", true, true, 0, raw, 100},
        {"efficiency 125", false, true, 125, raw * 100 / 125, 125},
        {"efficiency 87.5", false, true, 87.5L, raw * 100 / 87.5L, 87.5L},
        {"Spindle again", true, true, 0, raw, 100},
        {"2/5 Stroke", true, false, 0, profile, 100},
        {"efficiency 100", false, false, 100, profile, 100},
        {"efficiency 1e-3", false, false, 1e-3L, profile * 100 / 1e-3L, 1e-3L},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        const dz::N_VECTOR edges_before = ws.LEAF_EDGES;
        const auto failure = s.is_lap ? dz::set_lap_type(ws, s.spindle) : dz::apply_efficiency(ws, s.efficiency);
        ASSERT_EQ(failure, std::nullopt);
        EXPECT_EQ(ws.SPINDLE, s.spindle);
        EXPECT_EQ(ws.EFFICIENCY, s.expected_efficiency);
        EXPECT_EQ(ws.BASE_OFFSET, s.offset);
        // The outline is rebuilt: the lowest zone of the chosen values sits
        // at offset (100 / efficiency - 1) * |minimum| above zero.
        const dz::N_VECTOR& values = ws.SPINDLE ? ws.ZONE_RAW : ws.ZONE_PROFILE;
        const Real lowest = *std::min_element(values.begin(), values.begin() + ws.ZONE_COUNT);
        if (s.expected_efficiency == 100) {
            EXPECT_EQ(lowest + ws.BASE_OFFSET, 0);
        }
        if (std::string(s.what) != "efficiency 100") {  // the one step that changes no value
            EXPECT_FALSE(same_bits(edges_before, ws.LEAF_EDGES));
        }
    }
    // The number of leaves changes the outline only.
    const Real offset = ws.BASE_OFFSET;
    const dz::N_VECTOR edges = ws.LEAF_EDGES;
    ASSERT_EQ(dz::set_num_leaves(ws, 7), std::nullopt);
    EXPECT_EQ(ws.NUM_LEAVES, 7);
    EXPECT_EQ(ws.BASE_OFFSET, offset);
    EXPECT_FALSE(same_bits(edges, ws.LEAF_EDGES));
    // A new load resets the efficiency and keeps leaves and the lap type chosen.
    ASSERT_EQ(dz::CALC_LAP(ws, example("mirror200.srf"), true, '.'), std::nullopt);
    EXPECT_EQ(ws.NUM_LEAVES, 7);
    EXPECT_EQ(ws.EFFICIENCY, 100);
    EXPECT_TRUE(ws.SPINDLE);
    EXPECT_EQ(ws.BASE_OFFSET, raw);
}

TEST(CalcLap_AllOrNothing, FailedLoadsChangeNothing) {
    std::string many;
    for (int k = 1; k <= 501; ++k) many += std::to_string(k) + " 0 1\n";
    std::string huge = surface_file({{"0", "1e4932"}, {"10", "-1e4932"}, {"20", "1e4932"}, {"30", "-1e4932"},
                                     {"40", "1e4932"}});
    struct Case {
        const char* what;
        std::string bytes;
        std::string message;  // whole message, or a part of it when `part`
        bool part;
    };
    const std::vector<Case> cases = {
        {"line 3", "new caption\nx\nb = 1\n2000\nx\n1 0 1\n",
         "ERROR reading this line, expected b value (probably wrong file):  \"b = 1\"", false},
        {"line 4 token", "new caption\nx\n1\nR\nx\n1 0 1\n", "'R' is not a valid floating point value", false},
        {"line 4 missing", "new caption\nx\n1\n", "expected R value", true},
        {"data token", surface_file({{"1", "1"}, {"2", "y"}}), "'y' is not a valid floating point value", false},
        {"short data line", "new caption\nx\n1\n2000\nx\n1 0 1\n2 0\n", "Line 7", true},
        {"no data", "new caption\nx\n1\n2000\nx\n", "no zone", true},
        {"501 zones", "new caption\nx\n1\n2000\nx\n" + many, "500", true},
        {"last radius 0", surface_file({{"10", "1"}, {"0", "1"}}), "radius 0", true},
        {"singular wear matrix", surface_file({{"0", "1"}, {"0", "2"}, {"100", "3"}}), "INFO = 2", false},
        {"two zones", surface_file({{"0", "1"}, {"50", "2"}}), "SPLINE INFO = 2", false},
        {"one zone", surface_file({{"50", "2"}}), "SPLINE INFO = 1", false},
        {"numbers out of range", huge, dz::LOAD_NOT_FINITE, false},
    };
    // Before any load, and after a load with changed settings.
    for (bool loaded : {false, true}) {
        dz::WorkingState ws;
        dz::LoadScratch scratch;
        if (loaded) {
            ASSERT_EQ(dz::CALC_LAP(ws, scratch, example("mirror200.srf"), false, '.'), std::nullopt);
            ASSERT_EQ(dz::set_num_leaves(ws, 6), std::nullopt);
            ASSERT_EQ(dz::apply_efficiency(ws, 80), std::nullopt);
            ws.PLOT_CAPTION = "edited caption";
        }
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.what) + (loaded ? ", loaded" : ", empty"));
            const dz::WorkingState before = ws;
            const dz::LoadScratch scratch_before = scratch;
            const std::optional<std::string> failure = dz::CALC_LAP(ws, scratch, c.bytes, true, '.');
            ASSERT_TRUE(failure.has_value());
            if (c.part) {
                EXPECT_NE(failure->find(c.message), std::string::npos) << *failure;
            } else {
                EXPECT_EQ(*failure, c.message);
            }
            expect_same_state(ws, before);
            expect_same_scratch(scratch, scratch_before);
        }
    }
}

TEST(CalcLap_AllOrNothing, RefusedSettingsChangeNothing) {
    dz::WorkingState ws;
    ASSERT_EQ(dz::CALC_LAP(ws, example("mirror200.srf"), false, '.'), std::nullopt);
    ASSERT_EQ(dz::apply_efficiency(ws, 90), std::nullopt);
    struct Case {
        const char* what;
        std::optional<std::string> (*command)(dz::WorkingState&);
        const char* message;
    };
    const std::vector<Case> cases = {
        {"0 leaves", [](dz::WorkingState& w) { return dz::set_num_leaves(w, 0); }, dz::LEAVES_REFUSED},
        {"-3 leaves", [](dz::WorkingState& w) { return dz::set_num_leaves(w, -3); }, dz::LEAVES_REFUSED},
        {"INT32_MIN leaves",
         [](dz::WorkingState& w) { return dz::set_num_leaves(w, std::numeric_limits<std::int32_t>::min()); },
         dz::LEAVES_REFUSED},
        {"efficiency 0", [](dz::WorkingState& w) { return dz::apply_efficiency(w, 0); }, dz::EFFICIENCY_REFUSED},
        {"efficiency -0", [](dz::WorkingState& w) { return dz::apply_efficiency(w, -0.0L); }, dz::EFFICIENCY_REFUSED},
        {"efficiency -5", [](dz::WorkingState& w) { return dz::apply_efficiency(w, -5); }, dz::EFFICIENCY_REFUSED},
        {"efficiency NaN", [](dz::WorkingState& w) { return dz::apply_efficiency(w, NaN); }, dz::EFFICIENCY_REFUSED},
        {"efficiency -inf",
         [](dz::WorkingState& w) { return dz::apply_efficiency(w, -std::numeric_limits<Real>::infinity()); },
         dz::EFFICIENCY_REFUSED},
        // Positive but so small that the base offset overflows.
        {"efficiency 1e-4940", [](dz::WorkingState& w) { return dz::apply_efficiency(w, 1e-4940L); },
         dz::NOT_FINITE_REFUSED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const dz::WorkingState before = ws;
        EXPECT_EQ(c.command(ws), std::optional<std::string>(c.message));
        expect_same_state(ws, before);
    }
    // The state still works: a valid value afterwards is applied.
    ASSERT_EQ(dz::apply_efficiency(ws, 50), std::nullopt);
    EXPECT_EQ(ws.BASE_OFFSET, -ws.PROFILE_MIN * 100 / 50);
}

TEST(SurfaceFileName_CommandLine, SrfAppendedUnlessFourthLastIsDot) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"mirror", "mirror.srf"},
        {"a.b", "a.b.srf"},
        {"scan.data", "scan.data.srf"},
        {"C:\\scans\\m1.srf", "C:\\scans\\m1.srf"},
        {"mirror.txt", "mirror.txt"},
        {"a.srf", "a.srf"},
        {".srf", ".srf"},
        {"abc", "abc.srf"},
        {"", ".srf"},
        {"x.y.z", "x.y.z"},    // fourth-last is the first dot
        {"dir.d/file", "dir.d/file.srf"},
    };
    for (const auto& [name, expected] : cases) EXPECT_EQ(dz::surface_file_name(name), expected) << name;
}

}  // namespace
