// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of the load and of the lap settings that follow it.

#include "tests/lap_calc_test_support.hpp"

namespace {

using namespace dz::lap_calc_test;


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
        // the solver's status first, then what most likely caused it
        {"singular wear matrix", surface_file({{"0", "1"}, {"0", "2"}, {"100", "3"}}),
         "INFO = 2\nWarning: line 7 of the surface file: the zone radius repeats that of line 6", true},
        {"two zones", surface_file({{"0", "1"}, {"50", "2"}}),
         "SPLINE INFO = 2\nWarning: the surface file has 2 zone lines; the smoothing of the profile needs three "
         "zones or more, at different radii.",
         false},
        {"one zone", surface_file({{"50", "2"}}),
         "SPLINE INFO = 1\nWarning: the surface file has 1 zone line; the smoothing of the profile needs three "
         "zones or more, at different radii.",
         false},
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
