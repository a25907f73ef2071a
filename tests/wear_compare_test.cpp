// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of predicted against measured: the rate and share learnt from two
// tests, the refusals, the table's lines and the polishing time.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <limits>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "lap_load/calc_lap.hpp"
#include "removal/removal.hpp"
#include "removal/wear_model.hpp"
#include "tests/test_files.hpp"
#include "wear_compare/wear_compare.hpp"

namespace {

constexpr int ZONES = 41;
constexpr double OUTER = 100;

// The earlier test's error, nm, at radius r mm: a raised centre, a low zone
// and a turned edge.
double error_nm(double r) {
    const double rho = r / OUTER;
    return 30 * std::exp(-(rho / 0.25) * (rho / 0.25)) - 20 * std::exp(-((rho - 0.6) / 0.12) * ((rho - 0.6) / 0.12)) -
           40 * std::max(0.0, (rho - 0.85) / 0.15) * std::max(0.0, (rho - 0.85) / 0.15);
}

// A surface file of zones (radius mm, value), in the order given.
std::string surface_file(const std::vector<std::pair<double, double>>& zones, const char* caption = "test") {
    std::string text = std::string(caption) + "\r\nzones\r\n-1\r\n2000\r\nradius reading error\r\n";
    char line[96];
    for (const auto& [r, v] : zones) {
        std::snprintf(line, sizeof line, "%.6f 0 %.9f\r\n", r, v);
        text += line;
    }
    return text;
}

std::vector<std::pair<double, double>> earlier_zones() {
    std::vector<std::pair<double, double>> zones;
    for (int k = 0; k < ZONES; ++k) {
        const double r = OUTER * k / (ZONES - 1);
        zones.emplace_back(r, error_nm(r));
    }
    return zones;
}

struct Earlier {
    dz::WorkingState ws;
    dz::ComparedShape matrix;
    dz::ComparedShape spindle;  // w itself: a second, different model
};

Earlier earlier() {
    Earlier e;
    const auto failure = dz::CALC_LAP(e.ws, surface_file(earlier_zones()), false, '.');
    EXPECT_FALSE(failure) << *failure;
    const auto w = dz::leaf_widths(e.ws);
    e.matrix = {"matrix", dz::WearModel(e.ws).apply(w)};
    e.spindle = {"width", w};
    return e;
}

TEST(WearCompare_Rate, KnownRateComesBackThroughNoise) {
    const Earlier e = earlier();
    const double shape_rms = dz::weighted_rms(e.matrix.shape, dz::area_weights(dz::zone_radii(e.ws)));
    ASSERT_GT(shape_rms, 0);
    // removals of 60 to 150 nm RMS in various times, 2 nm RMS of noise (uniform,
    // seeded), a piston between the tests, and the later test's zones in
    // reverse file order but for the outermost, which a file gives last
    struct Case { double removal_rms, minutes, piston; std::uint32_t seed; };
    for (const Case c : {Case{60, 5, 0, 1}, Case{80, 20, -7, 2}, Case{150, 60, 120, 3}, Case{60, 0.5, 3, 4}}) {
        const double rate = c.removal_rms / (c.minutes * shape_rms);
        std::mt19937 random(c.seed);
        std::vector<std::pair<double, double>> later;
        for (int i = 1; i <= ZONES; ++i) {
            const int k = i == ZONES ? ZONES - 1 : ZONES - 1 - i;
            const double noise = 2 * std::sqrt(3.0) * (2 * (static_cast<double>(random()) / 4294967296.0) - 1);
            const double r = OUTER * k / (ZONES - 1);
            later.emplace_back(r, error_nm(r) - rate * c.minutes * e.matrix.shape[k] + c.piston + noise);
        }
        const auto result = dz::compare_tests(e.ws, surface_file(later), c.minutes, e.matrix, e.spindle, '.');
        ASSERT_TRUE(result.comparison) << result.message;
        const dz::WearComparison& got = *result.comparison;
        EXPECT_NEAR(got.chosen.rate, rate, 0.03 * rate) << c.removal_rms;
        EXPECT_GE(got.chosen.share_explained, 95) << c.removal_rms;
        EXPECT_LE(got.chosen.share_explained, 100);
        // the other model explains less, and its own rate is its own
        EXPECT_LT(got.other.share_explained, got.chosen.share_explained);
        EXPECT_EQ(got.chosen.model, "matrix");
        EXPECT_EQ(got.other.model, "width");
        EXPECT_DOUBLE_EQ(got.chosen.fit.tau, got.chosen.rate * c.minutes);
    }
}

TEST(WearCompare_Removal, InterpolatedLinearlyInRadius) {
    // earlier zones every 25 mm, all 0; the later test at 0, 50, 100 (out of
    // order) with 0, -10, -30: the removal is the later values' negative,
    // halfway between its zones
    dz::WorkingState ws;
    ASSERT_FALSE(dz::CALC_LAP(ws, surface_file({{0, 0}, {25, 0}, {50, 0}, {75, 0}, {100, 0}}), false, '.'));
    const dz::ComparedShape flat{"a", std::vector<double>(5, 1.0)};
    const auto result =
        dz::compare_tests(ws, surface_file({{50, -10}, {0, 0}, {50, -10}, {100, -30}}), 1, flat, flat, '.');
    ASSERT_TRUE(result.comparison) << result.message;
    EXPECT_EQ(result.comparison->removal, (std::vector<double>{0, 5, 10, 20, 30}));
}

TEST(WearCompare_Rate, PistonAloneGivesRateAndShareZero) {
    const Earlier e = earlier();
    // the same test again, raised by a piston of several sizes (also none)
    for (const double piston : {0.0, 5.0, -1234.5678, 1e-9}) {
        auto later = earlier_zones();
        for (auto& zone : later) zone.second += piston;
        const auto result = dz::compare_tests(e.ws, surface_file(later), 30, e.matrix, e.spindle, '.');
        ASSERT_TRUE(result.comparison) << result.message;
        for (const dz::ModelComparison* m : {&result.comparison->chosen, &result.comparison->other}) {
            EXPECT_EQ(m->rate, 0) << piston;
            EXPECT_EQ(m->share_explained, 0) << piston;
            EXPECT_TRUE(std::isfinite(m->fit.beta)) << piston;
        }
    }
}

TEST(WearCompare_Refusal, NothingComparedAndSaysWhy) {
    const Earlier e = earlier();
    auto scaled = [](double factor, double first) {
        std::vector<std::pair<double, double>> zones;
        for (int k = 0; k < ZONES; ++k) zones.emplace_back(first + (OUTER * factor - first) * k / (ZONES - 1), 0.0);
        return surface_file(zones);
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Case { std::string after; double minutes; std::string message; };
    const Case cases[] = {
        {scaled(1, 0), 0, dz::MINUTES_REFUSED},
        {scaled(1, 0), -5, dz::MINUTES_REFUSED},
        {scaled(1, 0), nan, dz::MINUTES_REFUSED},
        {scaled(1, 0), inf, dz::MINUTES_REFUSED},
        {"caption\r\nline\r\nnot a number\r\n2000\r\nzones\r\n0 0 1\r\n", 10,
         "The later test could not be read: ERROR reading this line, expected b value"},
        {scaled(1.03, 0), 10, "The later test is of another mirror: its outer radius is 103.000 mm, the earlier "
                              "test's 100.000 mm (more than 2 % apart); nothing was compared."},
        {scaled(0.97, 0), 10, "The later test is of another mirror: its outer radius is 97.000 mm, the earlier "
                              "test's 100.000 mm (more than 2 % apart); nothing was compared."},
        {scaled(0.99, 0), 10, "The zone at radius 100.000 mm of the earlier test lies outside the later test's "
                              "zones (0.000 to 99.000 mm); nothing was compared."},
        {scaled(1, 2.5), 10, "The zone at radius 0.000 mm of the earlier test lies outside the later test's "
                             "zones (2.500 to 100.000 mm); nothing was compared."},
    };
    for (const Case& c : cases) {
        const auto result = dz::compare_tests(e.ws, c.after, c.minutes, e.matrix, e.spindle, '.');
        EXPECT_FALSE(result.comparison) << c.message;
        EXPECT_EQ(result.message.substr(0, c.message.size()), c.message);
    }
    // within 2 % is the same mirror
    EXPECT_TRUE(dz::compare_tests(e.ws, scaled(1.019, 0), 10, e.matrix, e.spindle, '.').comparison);
    // no earlier test
    EXPECT_FALSE(dz::compare_tests(dz::WorkingState{}, scaled(1, 0), 10, e.matrix, e.spindle, '.').comparison);
}

TEST(WearCompare_Table, LinesScriptsCanRead) {
    const Earlier e = earlier();
    auto later = earlier_zones();
    for (std::size_t k = 0; k < later.size(); ++k) later[k].second -= 0.3 * 10 * e.matrix.shape[k];
    const auto result = dz::compare_tests(e.ws, surface_file(later, "after"), 10, e.matrix, e.spindle, '.');
    ASSERT_TRUE(result.comparison) << result.message;
    const dz::WearComparison& c = *result.comparison;

    // the table with the comparison, decimal comma: the four lines read back
    // the figures, each names its model, and every zone line gains three columns
    const dz::RemovalCheck check = dz::check_removal(e.ws, dz::WearModel(e.ws));
    const std::string table = dz::with_comparison(dz::check_table(e.ws, check, ','), c, ',');
    auto figure = [&](const std::string& pattern) {
        std::smatch match;
        EXPECT_TRUE(std::regex_search(table, match, std::regex(pattern))) << pattern;
        std::string text = match.size() > 1 ? match[1].str() : "nan";
        for (char& ch : text) ch = ch == ',' ? '.' : ch;
        return std::stod(text);
    };
    EXPECT_NEAR(figure("\r\nRate: ([0-9,]+) per minute \\(matrix\\)\r\n"), c.chosen.rate, 1e-3 * c.chosen.rate);
    EXPECT_NEAR(figure("\r\nShare of the measured removal explained: ([0-9,]+) % \\(matrix\\)\r\n"),
                c.chosen.share_explained, 0.05);
    EXPECT_NEAR(figure("\r\nRate: ([0-9,]+) per minute \\(width\\)\r\n"), c.other.rate, 1e-3 * c.other.rate);
    EXPECT_NEAR(figure("\r\nShare of the measured removal explained: ([0-9,]+) % \\(width\\)\r\n"),
                c.other.share_explained, 0.05);
    EXPECT_NE(table.find("Later test (after 10,0 minutes of polishing): after\r\nRate:"), std::string::npos);

    const auto header = table.find("radius, mm");
    ASSERT_NE(header, std::string::npos);
    int zone_lines = 0;
    for (std::size_t pos = table.find("\r\n", header) + 2; pos < table.size(); ++zone_lines) {
        const std::size_t end = table.find("\r\n", pos);
        const std::string line = table.substr(pos, end - pos);
        EXPECT_EQ(std::count(line.begin(), line.end(), '\t'), 7) << line;
        pos = end + 2;
    }
    EXPECT_EQ(zone_lines, ZONES);
    EXPECT_NE(table.find("residual\tmeasured removal\tpredicted removal\tmisfit\r\n"), std::string::npos);
    EXPECT_THROW((void)dz::with_comparison("no header\r\n", c, '.'), std::invalid_argument);
}

TEST(WearCompare_Minutes, FittedTimeOverRate) {
    EXPECT_EQ(dz::polishing_time_line(30, 1.5, ','), "Polishing time: 20,0 minutes at 1,500 per minute\r\n");
    // no rate, or none that gives a finite time; --rate takes only a rate > 0
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for (const double rate : {0.0, -1.0, nan, inf, 1e-320}) EXPECT_FALSE(dz::polishing_minutes(30, rate)) << rate;
    for (const double rate : {0.0, -1.0, nan, inf}) EXPECT_EQ(dz::check_rate(rate), dz::RATE_REFUSED) << rate;
    EXPECT_FALSE(dz::check_rate(1e-320));
    EXPECT_EQ(dz::polishing_time_line(30, 0, '.'), "");
}

// The example pair: made by the time-stepped Preston simulation of the tests
// from the classic lap of wear-before.srf at the default stroke, 45 minutes
// at 30 per minute, 2 nm of noise (scripts/make_examples.py).
#if __has_include("preston_wear/wear_settings.hpp")
TEST(WearCompare_Example, PairGivesBackItsRateByPreston) {
    const std::string folder = std::string(DOROZIRI_SOURCE_DIR) + "/examples/";
    dz::WorkingState ws;
    ASSERT_FALSE(dz::CALC_LAP(ws, dz::testing::file_bytes(folder + "wear-before.srf"), false, '.'));
    const auto w = dz::leaf_widths(ws);
    dz::WearSettings preston;
    preston.model = dz::WearLaw::preston;
    dz::WearSettings matrix;
    matrix.model = dz::WearLaw::matrix;
    const dz::ComparedShape by_preston{"Preston", dz::WearModel(ws.ZONE_RADIUS, ws.ZONE_COUNT, ws.OUTER_RADIUS, preston).apply(w)};
    const dz::ComparedShape by_matrix{"matrix", dz::WearModel(ws.ZONE_RADIUS, ws.ZONE_COUNT, ws.OUTER_RADIUS, matrix).apply(w)};
    const auto result =
        dz::compare_tests(ws, dz::testing::file_bytes(folder + "wear-after.srf"), 45, by_preston, by_matrix, '.');
    ASSERT_TRUE(result.comparison) << result.message;
    EXPECT_NEAR(result.comparison->chosen.rate, 30, 0.03 * 30);
    EXPECT_GE(result.comparison->chosen.share_explained, 95);
    // the matrix over-wears the centre: it explains less
    EXPECT_LT(result.comparison->other.share_explained, result.comparison->chosen.share_explained);
}
#endif

}  // namespace
