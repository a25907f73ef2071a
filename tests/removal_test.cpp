// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of the predicted removal: the area weights, the leaf widths, the fit
// of time and piston, the wear model kept beside the load and the table.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "drawing/leaf_outline.hpp"
#include "lap_calc/wear_matrix.hpp"
#include "lap_load/calc_lap.hpp"
#include "removal/removal.hpp"
#include "tests/test_files.hpp"

namespace {

using dz::Real;
constexpr double EPS = std::numeric_limits<double>::epsilon();

// A surface file of the given zones (radius, measured value).
std::string surface_file(const std::vector<std::pair<const char*, const char*>>& zones) {
    std::string text = "Five zones\r\nfrom the test\r\n-1\r\n2000\r\nzones\r\n";
    for (const auto& [r, v] : zones) text += std::string(r) + " 0 " + v + "\r\n";
    return text;
}

dz::WorkingState load(const std::string& bytes, bool spindle = false) {
    dz::WorkingState ws;
    const auto failure = dz::CALC_LAP(ws, bytes, spindle, '.');
    EXPECT_FALSE(failure) << *failure;
    return ws;
}

// Weighted sum of squares of measured - (tau * shape + beta).
double objective(const std::vector<double>& shape, const std::vector<double>& measured,
                 const std::vector<double>& a, double tau, double beta) {
    double sum = 0;
    for (std::size_t k = 0; k < shape.size(); ++k) {
        const double r = measured[k] - tau * shape[k] - beta;
        sum += a[k] * r * r;
    }
    return sum;
}

TEST(Removal_AreaWeights, NeighboursInOrderOfRadius) {
    // in order: 0 weighs 0; 10 * (20 - 0) / 2; 20 * (40 - 10) / 2; one-sided 40 * (40 - 20) / 2
    EXPECT_EQ(dz::area_weights({0, 10, 20, 40}), (std::vector<double>{0, 100, 300, 400}));
    // the same zones out of file order come back in file order
    EXPECT_EQ(dz::area_weights({20, 0, 40, 10}), (std::vector<double>{300, 0, 400, 100}));
    // the first zone is one-sided too: 5 * (15 - 5) / 2
    EXPECT_EQ(dz::area_weights({5, 15, 25}), (std::vector<double>{25, 150, 125}));
    // one zone, and repeated radii, give no width
    EXPECT_EQ(dz::area_weights({30}), (std::vector<double>{0}));
    EXPECT_EQ(dz::area_weights({10, 10}), (std::vector<double>{0, 0}));
    EXPECT_TRUE(dz::area_weights({}).empty());
}

TEST(Removal_Fit, SmallCasesByHand) {
    // shape 0 1 2, measured 0 0 3, equal weights: centred s = -1 0 1,
    // m = -1 -1 2, tau = 3 / 2, beta = 1 - 3/2; residual 0.5 -1 0.5
    const auto fit = dz::predict_removal({0, 1, 2}, {0, 0, 3}, {1, 1, 1});
    EXPECT_DOUBLE_EQ(fit.tau, 1.5);
    EXPECT_DOUBLE_EQ(fit.beta, -0.5);
    EXPECT_EQ(fit.gamma, 0);
    const std::vector<double> residual{0.5, -1, 0.5};
    for (std::size_t k = 0; k < 3; ++k) EXPECT_NEAR(fit.residual[k], residual[k], 4 * EPS) << k;
    EXPECT_NEAR(fit.measured_rms, std::sqrt(2.0), 4 * EPS);
    EXPECT_NEAR(fit.residual_rms, std::sqrt(0.5), 4 * EPS);
    EXPECT_EQ(fit.measured_pv, 3);
    EXPECT_NEAR(fit.residual_pv, 1.5, 4 * EPS);
    EXPECT_NEAR(fit.share_left, 50, 1e3 * EPS);

    // an affine copy of the shape is taken away whole
    const auto exact = dz::predict_removal({0, 1, 2, 5}, {7, 9, 11, 17}, {0, 1, 3, 2});
    EXPECT_NEAR(exact.tau, 2, 16 * EPS);
    EXPECT_NEAR(exact.beta, 7, 64 * EPS);
    EXPECT_NEAR(exact.residual_rms, 0, 64 * EPS);
    EXPECT_NEAR(exact.share_left, 0, 1e-12);

    // weights that give no area: every zone weighs 1
    const auto single = dz::predict_removal({1}, {4}, {0});
    EXPECT_EQ(single.tau, 0);  // one zone: the shape does not vary
    EXPECT_EQ(single.beta, 4);
    EXPECT_EQ(single.share_left, 0);

    EXPECT_THROW(static_cast<void>(dz::predict_removal({1, 2}, {1}, {1, 1})), std::invalid_argument);
    EXPECT_THROW(static_cast<void>(dz::predict_removal({}, {}, {})), std::invalid_argument);
}

TEST(Removal_Fit, NoTimeWhenTheLapWouldAddGlass) {
    // the lap wears most where the mirror is lowest: the best tau is -1
    const auto fit = dz::predict_removal({0, 1, 2}, {2, 1, 0}, {1, 1, 1});
    EXPECT_EQ(fit.tau, 0);
    EXPECT_DOUBLE_EQ(fit.beta, 1);  // the piston alone: the mean
    EXPECT_EQ(fit.predicted, (std::vector<double>{1, 1, 1}));
    EXPECT_DOUBLE_EQ(fit.share_left, 100);
    // with a free focus the refit takes the focus alone
    const auto focus = dz::predict_removal({0, 1, 2}, {2, 1, 0}, {1, 1, 1}, true, {0, 0.5, 1});
    EXPECT_EQ(focus.tau, 0);
    EXPECT_LT(focus.gamma, 0);
    EXPECT_LT(focus.share_left, 100);
}

TEST(Removal_Fit, OptimalAgainstItsNeighbours) {
    // a set of zones with uneven weights: no small change of tau or beta
    // lowers the weighted sum of squares, and the residual is orthogonal to
    // 1 and to the shape
    std::vector<double> shape, measured, weights;
    for (int k = 0; k < 40; ++k) {
        shape.push_back(std::sin(0.3 * k) + 0.1 * k);
        measured.push_back(3 * std::cos(0.17 * k) + 0.05 * k * k);
        weights.push_back(0.5 + (k % 7));
    }
    const auto fit = dz::predict_removal(shape, measured, weights);
    ASSERT_GT(fit.tau, 0);
    const double best = objective(shape, measured, weights, fit.tau, fit.beta);
    for (const double step : {1e-3, -1e-3, 1e-6, -1e-6}) {
        EXPECT_GE(objective(shape, measured, weights, fit.tau + step, fit.beta), best) << step;
        EXPECT_GE(objective(shape, measured, weights, fit.tau, fit.beta + step), best) << step;
    }
    double along_one = 0, along_shape = 0, scale = 0;
    for (std::size_t k = 0; k < shape.size(); ++k) {
        along_one += weights[k] * fit.residual[k];
        along_shape += weights[k] * fit.residual[k] * shape[k];
        scale += weights[k] * std::fabs(measured[k]) * (1 + std::fabs(shape[k]));
    }
    EXPECT_LT(std::fabs(along_one), 64 * 40 * EPS * scale);
    EXPECT_LT(std::fabs(along_shape), 64 * 40 * EPS * scale);

    // the free focus, against the 3 x 3 normal equations solved apart in
    // extended precision (on values the lap can help, tau > 0)
    std::vector<double> rho, tilted;
    for (int k = 0; k < 40; ++k) {
        rho.push_back(k / 39.0);
        tilted.push_back(measured[static_cast<std::size_t>(k)] + 2 * shape[static_cast<std::size_t>(k)]);
    }
    const auto focus = dz::predict_removal(shape, tilted, weights, true, rho);
    Real n[3][4] = {};
    for (std::size_t k = 0; k < shape.size(); ++k) {
        const Real basis[3] = {shape[k], 1, Real(rho[k]) * rho[k]};
        for (int p = 0; p < 3; ++p) {
            for (int q = 0; q < 3; ++q) n[p][q] += weights[k] * basis[p] * basis[q];
            n[p][3] += weights[k] * basis[p] * tilted[k];
        }
    }
    for (int p = 0; p < 3; ++p) {  // Gauss-Jordan, the system is positive definite
        for (int q = 0; q < 3; ++q) {
            if (q == p) continue;
            const Real f = n[q][p] / n[p][p];
            for (int c = 0; c < 4; ++c) n[q][c] -= f * n[p][c];
        }
    }
    ASSERT_GT(n[0][3] / n[0][0], 0);
    EXPECT_NEAR(focus.tau, static_cast<double>(n[0][3] / n[0][0]), 1e-9 * std::fabs(focus.tau));
    EXPECT_NEAR(focus.beta, static_cast<double>(n[1][3] / n[1][1]), 1e-9 * (1 + std::fabs(focus.beta)));
    EXPECT_NEAR(focus.gamma, static_cast<double>(n[2][3] / n[2][2]), 1e-9 * (1 + std::fabs(focus.gamma)));
    EXPECT_LE(focus.residual_rms, dz::predict_removal(shape, tilted, weights).residual_rms);
}

TEST(Removal_WearModel, TheLoadsMatrixFilledOnFirstUse) {
    const dz::N_VECTOR radius{0, 6, 12, 22, 40};
    dz::NXN_MATRIX reference;
    dz::fill_wear_matrix_reference(radius, 5, 40, reference);
    const dz::WearModel model(radius, 5, 40, dz::WearSettings{.model = dz::WearLaw::matrix});
    ASSERT_EQ(model.size(), 5);
    const double* w = model.matrix();
    for (int e = 0; e < 25; ++e) EXPECT_EQ(w[e], static_cast<double>(reference[static_cast<std::size_t>(e)])) << e;
    // rows are mirror zones: row 0 is 2, 2, 0, 0, 0; row 1 column 0 is 0
    EXPECT_EQ(w[0], 2);
    EXPECT_EQ(w[1], 2);
    EXPECT_EQ(w[5], 0);
    // W * w row by row
    const auto shape = model.apply({1, 0, 0, 0, 1});
    for (int j = 0; j < 5; ++j) EXPECT_EQ(shape[static_cast<std::size_t>(j)], w[j * 5] + w[j * 5 + 4]) << j;
    EXPECT_THROW(static_cast<void>(model.apply({1, 2})), std::invalid_argument);

    // it belongs to its zones only
    dz::WorkingState ws = load(surface_file({{"0", "1"}, {"6", "1"}, {"12", "1"}, {"22", "1"}, {"40", "1"}}));
    EXPECT_FALSE(model.fits(ws));  // and to its wear settings
    ws.WEAR.model = dz::WearLaw::matrix;
    EXPECT_TRUE(model.fits(ws));
    ws.ZONE_RADIUS[2] = 13;
    EXPECT_FALSE(model.fits(ws));
    EXPECT_THROW(static_cast<void>(dz::check_removal(ws, model)), std::invalid_argument);
}

TEST(Removal_LeafWidths, AsTheOutlineDrawsThem) {
    // the width as a fraction of the pitch is the edge's angle: t = (w + 1) h
    dz::WorkingState ws = load(surface_file({{"0", "0.5"}, {"20", "-0.25"}, {"50", "1"}, {"80", "0.1"}, {"100", "2"}}));
    for (const bool spindle : {false, true}) {
        for (const Real efficiency : {Real(100), Real(150), Real(40)}) {
            ASSERT_FALSE(dz::set_lap_type(ws, spindle));
            ASSERT_FALSE(dz::apply_efficiency(ws, efficiency));
            const auto widths = dz::leaf_widths(ws);
            const Real h = dz::PI / ws.NUM_LEAVES;
            for (int k = 1; k < ws.ZONE_COUNT; ++k) {  // zone 0 lies at the centre
                const Real t = std::atan2(ws.edge_at(0, k, 0), ws.edge_at(0, k, 1));
                EXPECT_NEAR(widths[static_cast<std::size_t>(k)], static_cast<double>(t / h - 1), 1e-12)
                    << spindle << " " << static_cast<double>(efficiency) << " " << k;
            }
            EXPECT_LE(*std::max_element(widths.begin(), widths.end()), 1.0);
        }
    }
    // above 100 % the edges cross where the value was lowest
    ASSERT_FALSE(dz::set_lap_type(ws, true));
    ASSERT_FALSE(dz::apply_efficiency(ws, 150));
    EXPECT_LT(dz::leaf_widths(ws)[1], 0);
    // every value at or below the offset: m = 0, the leaf on its centre line
    ws.BASE_OFFSET = -10;
    EXPECT_EQ(dz::leaf_widths(ws), std::vector<double>(5, 0.0));
}

TEST(Removal_Check, WidthsSolvingTheWearSystemLeaveNothing) {
    // measured = W * x for a profile x > 0 with its largest value 1.5: the
    // lap of those widths (no smoothing, offset 0) removes the whole error
    constexpr int n = 60;
    dz::WorkingState ws;
    ws.ZONE_COUNT = n;
    ws.LAST_ZONE = n - 1;
    ws.OUTER_RADIUS = 150;
    std::vector<double> x;
    for (int k = 0; k < n; ++k) {
        ws.ZONE_RADIUS.push_back(150.0L * k / (n - 1));
        x.push_back(1 + 0.5 * std::sin(0.2 * k));
    }
    const dz::WearModel model(ws);
    const auto measured = model.apply(x);
    for (int k = 0; k < n; ++k) {
        ws.ZONE_RAW.push_back(measured[static_cast<std::size_t>(k)]);
        ws.ZONE_PROFILE.push_back(x[static_cast<std::size_t>(k)]);
    }
    ws.loaded = true;
    const auto check = dz::check_removal(ws, model);
    const double m = *std::max_element(x.begin(), x.end());
    EXPECT_NEAR(check.fit.tau, m, 1e3 * EPS * m);
    EXPECT_NEAR(check.fit.beta, 0, 1e3 * EPS);
    EXPECT_GT(check.fit.measured_rms, 0.1);
    EXPECT_LT(check.fit.residual_rms, 1e3 * EPS * check.fit.measured_rms);
    EXPECT_LT(check.fit.share_left, 1e-10);
}

TEST(Removal_Check, SpindleFollowsItsWidth) {
    // a spindle lap's width is the measured value shifted and scaled, so it
    // takes away every measured error whatever the efficiency, with the time
    // of the largest shifted value
    dz::WorkingState ws = load(surface_file({{"0", "0.5"}, {"20", "-0.25"}, {"50", "1"}, {"80", "0.1"}, {"100", "2"}}), true);
    ws.WEAR.model = dz::WearLaw::matrix;  // by Preston's law this stroke lap cannot help at all
    const dz::WearModel model(ws);
    for (const Real efficiency : {Real(100), Real(60)}) {
        ASSERT_FALSE(dz::apply_efficiency(ws, efficiency));
        const auto check = dz::check_removal(ws, model);
        EXPECT_EQ(check.widths, dz::leaf_widths(ws));
        // m = 2 + 0.25 * 100 / efficiency
        EXPECT_NEAR(check.fit.tau, static_cast<double>(2 + 0.25L * 100 / efficiency), 64 * EPS);
        EXPECT_LT(check.fit.residual_rms, 64 * EPS);
    }
    // the same surface under the stroke leaves some of it
    ASSERT_FALSE(dz::set_lap_type(ws, false));
    const auto stroke = dz::check_removal(ws, model);
    EXPECT_GT(stroke.fit.share_left, 1);
    EXPECT_GT(stroke.fit.tau, 0);
}

TEST(Removal_Check, NeverChangesTheWorkingState) {
    dz::WorkingState ws = load(surface_file({{"0", "0.5"}, {"20", "-0.25"}, {"50", "1"}, {"80", "0.1"}, {"100", "2"}}));
    const dz::WorkingState before = ws;
    const dz::WearModel model(ws);
    static_cast<void>(dz::check_table(ws, dz::check_removal(ws, model), ','));
    EXPECT_EQ(ws.LEAF_EDGES, before.LEAF_EDGES);
    EXPECT_EQ(ws.ZONE_PROFILE, before.ZONE_PROFILE);
    EXPECT_EQ(ws.BASE_OFFSET, before.BASE_OFFSET);
}

// The other model's share from a model the caller keeps is the one a model
// made for the call gives; a kept model of other settings is refused.
TEST(Removal_Check, KeptOtherModelGivesTheSameShare) {
    dz::WorkingState ws = load(surface_file({{"0", "0.5"}, {"20", "-0.25"}, {"50", "1"}, {"80", "0.1"}, {"100", "2"}}));
    for (const dz::WearSettings wear : {dz::WearSettings{}, dz::WearSettings{.stroke = 0.35, .lap_size = 0.7},
                                        dz::WearSettings{.model = dz::WearLaw::matrix}}) {
        ws.WEAR = wear;
        const dz::WearModel model(ws);
        const dz::WearModel other(ws.ZONE_RADIUS, ws.ZONE_COUNT, ws.OUTER_RADIUS, dz::other_wear_law(wear));
        const dz::RemovalCheck made = dz::check_removal(ws, model);
        EXPECT_EQ(dz::check_removal(ws, model, &other).other_share_left, made.other_share_left);
        EXPECT_NE(made.other_share_left, made.fit.share_left);
        EXPECT_THROW(static_cast<void>(dz::check_removal(ws, model, &model)), std::invalid_argument);
    }
}

// Values the load keeps (finite in extended precision) but that the
// analyses in double cannot hold: refused with a message naming the first
// zone out of range, never a NAN or INF in a figure. Values just inside the
// range give finite figures.
TEST(Removal_Range, FirstZoneOutOfRangeIsNamed) {
    struct Case {
        const char* what;
        std::vector<std::pair<const char*, const char*>> zones;
        const char* message;  // nullptr: in range
    };
    const Case cases[] = {
        {"one value 1e999", {{"0", "1"}, {"20", "2"}, {"50", "1e999"}, {"80", "1"}, {"100", "2"}},
         "Zone 3 of the surface file has a measured value of 1e+999, beyond the 1e60"},
        {"values of 1e300", {{"0", "1e300"}, {"20", "2e300"}, {"50", "1e300"}, {"80", "3e300"}, {"100", "2e300"}},
         "Zone 1 of the surface file has a measured value of 1e+300"},
        {"a radius of 1e70", {{"0", "1"}, {"20", "2"}, {"50", "1"}, {"1e70", "1"}, {"2e70", "2"}},
         "Zone 4 of the surface file has a radius of 1e+70"},
        {"values of 1e59", {{"0", "1e59"}, {"20", "-2e59"}, {"50", "1e59"}, {"80", "3e59"}, {"100", "2e59"}},
         nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        dz::WorkingState ws = load(surface_file(c.zones));
        const dz::WearModel model(ws);
        const auto refused = dz::removal_range_refusal(ws, '.');
        if (c.message == nullptr) {
            ASSERT_FALSE(refused.has_value()) << *refused;
            for (const bool free_focus : {false, true}) {
                ws.FREE_FOCUS = free_focus;
                const dz::RemovalCheck check = dz::check_removal(ws, model);
                const std::string table = dz::check_table(ws, check, '.');
                EXPECT_EQ(table.find("NAN"), std::string::npos) << table;
                EXPECT_EQ(table.find("INF"), std::string::npos) << table;
                EXPECT_EQ(dz::removal_summary(check.fit, '.').find("N"), std::string::npos);
            }
            continue;
        }
        ASSERT_TRUE(refused.has_value());
        EXPECT_EQ(refused->rfind(c.message, 0), 0u) << *refused;
        EXPECT_THROW(static_cast<void>(dz::check_removal(ws, model)), std::range_error);
    }
}

// The table of a small case under each wear model: the classic matrix keeps
// the figures it always gave, Preston's law (the default) its own.
TEST(Removal_Table, GoldenBytesOfASmallCase) {
    for (const auto& [law, file] : {std::pair{dz::WearLaw::matrix, "removal_five_zones.txt"},
                                    std::pair{dz::WearLaw::preston, "removal_five_zones_preston.txt"}}) {
        dz::WorkingState ws =
            load(surface_file({{"0", "0.5"}, {"20", "-0.25"}, {"50", "1"}, {"80", "0.1"}, {"100", "2"}}));
        ws.WEAR.model = law;
        const std::string table = dz::check_table(ws, dz::check_removal(ws, dz::WearModel(ws)), '.');
        const std::string golden = dz::testing::file_bytes(std::string(DOROZIRI_SOURCE_DIR) + "/tests/data/" + file);
        EXPECT_EQ(table, golden) << file;
        // the user's separator everywhere a number has one, nowhere else
        const std::string comma = dz::check_table(ws, dz::check_removal(ws, dz::WearModel(ws)), ',');
        std::string expected = golden;
        for (std::size_t k = 1; k + 1 < expected.size(); ++k) {
            if (expected[k] == '.' && std::isdigit(static_cast<unsigned char>(expected[k - 1])) &&
                std::isdigit(static_cast<unsigned char>(expected[k + 1]))) {
                expected[k] = ',';
            }
        }
        EXPECT_EQ(comma, expected) << file;
    }
}

TEST(Removal_Format, SignificantDigitsAndSigns) {
    EXPECT_EQ(dz::format_significant(21.3456, 4, '.'), "21.35");
    EXPECT_EQ(dz::format_significant(0.0123456, 4, '.'), "0.01235");
    EXPECT_EQ(dz::format_significant(12345.6, 4, ','), "12345,6");
    EXPECT_EQ(dz::format_significant(0, 4, '.'), "0.0000");
    EXPECT_EQ(dz::format_significant(-3.21987, 3, '.'), "-3.22");
    EXPECT_EQ(dz::format_decimals(-0.0000001, 6, '.'), "0.000000");
    EXPECT_EQ(dz::format_decimals(-0.25, 6, ','), "-0,250000");
    EXPECT_EQ(dz::format_decimals(71.4, 0, '.'), "71");
    EXPECT_THROW(static_cast<void>(dz::format_decimals(1, 13, '.')), std::invalid_argument);
    dz::PredictedRemoval fit;
    fit.measured_rms = 21.34;
    fit.residual_rms = 15.21;
    fit.share_left = 71.27;
    fit.measured_pv = 80.06;
    fit.residual_pv = 92.37;
    EXPECT_EQ(dz::removal_summary(fit, '.'), "RMS 21.3 \u2192 15.2, 71 % left; P-V 80.1 \u2192 92.4");
    // Out of the range the figures are computed in: refused before, never written as INF or NAN.
    EXPECT_EQ(dz::format_decimals(1e300, 2, '.').size(), 304u);
}

}  // namespace
