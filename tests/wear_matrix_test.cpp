// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of the zone wear matrix, its fill and its solve for the leaf profile,
// and of the whole load against its straightforward transcription.

#include "parallel/helper_threads.hpp"
#include "tests/lap_calc_test_support.hpp"

namespace {

using namespace dz::lap_calc_test;


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
        // the same bits whether the fill and the factors are shared with a
        // helper thread or not (a helper starts only where another core is free)
        for (const int helpers : {0, 1}) {
            dz::HelperCrew crew(helpers);
            dz::N_VECTOR shared(surface.raw.begin(), surface.raw.begin() + n);
            EXPECT_EQ(dz::solve_wear(solver, surface.radius, n, outer, storage, shared, crew), std::nullopt);
            EXPECT_TRUE(same_bits(shared, want)) << "helpers " << helpers;
        }
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
    // (What the load gives is pinned by the golden files of
    // golden_load_test; this shows that the fast paths reach it too.)
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

}  // namespace
