// SPDX-License-Identifier: GPL-3.0-or-later
// The least-squares design applied to the working state: the fitted outline
// draws the fitted widths, the constraints hold on the bundled examples, the
// fit never leaves more than the classic design, and the settings commands
// keep it current.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "drawing/leaf_outline.hpp"
#include "file_io/file_io.hpp"
#include "lap_design/lap_design.hpp"
#include "lap_load/calc_lap.hpp"
#include "removal/removal.hpp"
#include "tests/same_bits.hpp"

namespace {

using dz::LapDesign;
using dz::WorkingState;

std::string example(const std::string& name) {
    const auto bytes = dz::read_file(std::string(DOROZIRI_SOURCE_DIR) + "/examples/" + name + ".srf");
    EXPECT_TRUE(bytes.has_value()) << name;
    return bytes.value_or(std::string());
}

WorkingState loaded(const std::string& name) {
    WorkingState ws;
    EXPECT_EQ(dz::CALC_LAP(ws, example(name), false, '.'), std::nullopt);
    return ws;
}

std::vector<double> rho_of(const WorkingState& ws) {
    std::vector<double> rho;
    for (int k = 0; k < ws.ZONE_COUNT; ++k) {
        rho.push_back(static_cast<double>(ws.ZONE_RADIUS[static_cast<std::size_t>(k)] / ws.OUTER_RADIUS));
    }
    return rho;
}

constexpr double EPS = std::numeric_limits<double>::epsilon();

// The width at every zone read back from the outline's geometry: edge 0 lies
// at the angle t = (w + 1) h from the +y axis (zones at radius 0 skipped).
void expect_outline_draws(const WorkingState& ws, const std::vector<double>& widths) {
    const double h = M_PI / ws.NUM_LEAVES;
    for (int k = 0; k < ws.ZONE_COUNT; ++k) {
        const double x = static_cast<double>(ws.edge_at(0, k, 0));
        const double y = static_cast<double>(ws.edge_at(0, k, 1));
        if (std::hypot(x, y) < 1e-9) continue;
        // the edge's angle, rounded to extended precision and back, read by atan2
        EXPECT_NEAR(std::atan2(x, y) / h - 1, widths[static_cast<std::size_t>(k)], 32 * EPS) << "zone " << k;
    }
}

double share_left(const WorkingState& ws) { return dz::check_removal(ws, dz::WearModel(ws)).fit.share_left; }

TEST(LapDesign, FloorFollowsTheEfficiency) {
    EXPECT_DOUBLE_EQ(dz::fit_floor(100), 0.10);
    EXPECT_DOUBLE_EQ(dz::fit_floor(250), 0.10);
    EXPECT_DOUBLE_EQ(dz::fit_floor(95), 0.10);
    EXPECT_DOUBLE_EQ(dz::fit_floor(80), 0.20);
    EXPECT_DOUBLE_EQ(dz::fit_floor(50), 0.50);
    EXPECT_NEAR(dz::fit_floor(0.5), 0.995, 2 * EPS);
}

// On each example, with and without free focus and at two efficiencies: the
// outline draws the widths the fit chose, within the floor, the whole pitch
// and the curvature bound, and it leaves no more than the classic lap.
TEST(LapDesign, ExamplesWithinTheConstraints_NeverWorseThanClassic) {
    for (const char* name : {"mirror200", "profile500", "parabolise200"}) {
        for (const bool focus : {false, true}) {
            for (const double efficiency : {100.0, 80.0}) {
              for (const dz::WearLaw law : {dz::WearLaw::preston, dz::WearLaw::matrix}) {
                SCOPED_TRACE(std::string(name) + (focus ? " free focus" : "") + " at " + std::to_string(efficiency) +
                             (law == dz::WearLaw::matrix ? " by the matrix" : " by Preston's law"));
                WorkingState ws = loaded(name);
                ASSERT_EQ(dz::apply_efficiency(ws, efficiency), std::nullopt);
                ws.FREE_FOCUS = focus;
                ws.WEAR.model = law;
                const double classic = share_left(ws);
                const double classic_bend = dz::max_second_derivative(rho_of(ws), dz::classic_widths(ws));

                dz::DesignScratch scratch;
                ASSERT_EQ(dz::set_design(ws, scratch, LapDesign::fit, focus), std::nullopt);
                ASSERT_TRUE(ws.fit_drawn());
                const std::vector<double> widths = dz::leaf_widths(ws);
                EXPECT_EQ(widths, scratch.last.widths);  // exactly what the fit chose
                expect_outline_draws(ws, widths);

                const double floor = dz::fit_floor(efficiency);
                for (const double w : widths) {
                    EXPECT_GE(w, floor);
                    EXPECT_LE(w, 1.0);
                }
                const double bound = dz::fit_curvature_bound(ws);
                EXPECT_GE(bound, dz::MIN_CURVATURE_BOUND);
                EXPECT_GE(bound, classic_bend);
                EXPECT_LE(dz::max_second_derivative(rho_of(ws), widths), bound);

                // the predicted removal of the drawn lap is the fit's own figure
                const double fitted = share_left(ws);
                // the same predicted removal of the same widths and model
                EXPECT_NEAR(fitted, scratch.last.share_left, 256 * static_cast<double>(ws.ZONE_COUNT) * EPS * classic);
                EXPECT_LE(fitted, classic);
                if (focus || std::string(name) != "parabolise200") {
                    EXPECT_LE(fitted, 40.0);  // the sphere to paraboloid needs the focus for that
                }
                // by Preston's law at the default stroke the fit takes away
                // at least four fifths of the measured RMS
                if (law == dz::WearLaw::preston && std::string(name) != "parabolise200") {
                    EXPECT_LE(fitted, 20.0);
                }
              }
            }
        }
    }
}

// The design depends on the normalised problem only: every radius scaled by
// 2.3, or by 1.000001, gives the same widths and figures within rounding.
TEST(LapDesign, SameDesignWhateverTheUnitOfTheRadii) {
    for (const dz::WearLaw law : {dz::WearLaw::preston, dz::WearLaw::matrix}) {
        for (const bool focus : {false, true}) {
            SCOPED_TRACE(std::string(law == dz::WearLaw::matrix ? "matrix" : "Preston") + (focus ? ", free focus" : ""));
            WorkingState ws = loaded("mirror200");
            ws.WEAR.model = law;
            dz::DesignScratch scratch;
            ASSERT_EQ(dz::set_design(ws, scratch, LapDesign::fit, focus), std::nullopt);
            const auto base = dz::check_removal(ws, dz::WearModel(ws)).fit;
            for (const dz::Real factor : {2.3L, 1.000001L}) {
                WorkingState scaled = loaded("mirror200");
                scaled.WEAR.model = law;
                for (dz::Real& r : scaled.ZONE_RADIUS) r *= factor;
                scaled.OUTER_RADIUS *= factor;
                dz::DesignScratch other;
                ASSERT_EQ(dz::set_design(scaled, other, LapDesign::fit, focus), std::nullopt);
                for (std::size_t k = 0; k < scaled.FIT_WIDTHS.size(); ++k) {
                    EXPECT_NEAR(static_cast<double>(scaled.FIT_WIDTHS[k]), static_cast<double>(ws.FIT_WIDTHS[k]), 1e-6)
                        << "zone " << k << " at " << static_cast<double>(factor);
                }
                const auto fit = dz::check_removal(scaled, dz::WearModel(scaled)).fit;
                EXPECT_NEAR(fit.residual_pv, base.residual_pv, 1e-6 * base.measured_pv);
                EXPECT_NEAR(fit.share_left, base.share_left, 1e-6 * 100);
            }
        }
    }
}

// A design that leaves more P-V than was measured says so in the figures;
// one that does not, does not. A 50-zone sine surface, both laws.
TEST(LapDesign, LargerPVThanMeasuredIsSaidPlainly) {
    std::string bytes = "Sine\r\nx\r\n-1\r\n2000\r\nx\r\n";
    for (int k = 0; k < 50; ++k) {
        const double r = 100.0 * k / 49;
        bytes += std::to_string(r) + "\t0\t" + std::to_string(10000 * std::sin(0.25 * k)) + "\r\n";
    }
    for (const dz::WearLaw law : {dz::WearLaw::preston, dz::WearLaw::matrix}) {
        for (const bool focus : {false, true}) {
            for (const LapDesign design : {LapDesign::classic, LapDesign::fit}) {
                WorkingState ws;
                ws.WEAR.model = law;
                ASSERT_EQ(dz::CALC_LAP(ws, bytes, false, '.'), std::nullopt);
                dz::DesignScratch scratch;
                ASSERT_EQ(dz::set_design(ws, scratch, design, focus), std::nullopt);
                const auto check = dz::check_removal(ws, dz::WearModel(ws));
                const std::string table = dz::check_table(ws, check, '.');
                const bool says = table.find("\r\nWarning: the P-V left (") != std::string::npos;
                EXPECT_EQ(says, check.fit.residual_pv > check.fit.measured_pv) << table.substr(0, 400);
            }
        }
    }
    // the wording, on figures made for it
    dz::RemovalCheck check;
    check.fit.measured_pv = 19994.5;
    check.fit.residual_pv = 31159.4;
    WorkingState empty;
    EXPECT_NE(dz::check_table(empty, check, '.').find(
                  "\r\nWarning: the P-V left (31159.4) is larger than the measured P-V (19994.5).\r\n"),
              std::string::npos);
}

// A change of efficiency solves again from the kept set-up and gives the
// bits a fit from cold gives; the leaves redraw without a new fit; Spindle
// draws its classic outline and the stroke comes back fitted.
TEST(LapDesign, SettingsKeepTheFitCurrent) {
    WorkingState ws = loaded("mirror200");
    dz::DesignScratch scratch;
    ASSERT_EQ(dz::set_design(ws, scratch, LapDesign::fit, false), std::nullopt);
    const std::vector<double> at_100 = dz::leaf_widths(ws);

    ASSERT_EQ(dz::apply_efficiency(ws, 70), std::nullopt);
    ASSERT_EQ(dz::apply_design(ws, scratch), std::nullopt);
    EXPECT_TRUE(scratch.warm.reused());  // the same surface: its set-up kept
    const std::vector<double> at_70 = dz::leaf_widths(ws);
    EXPECT_NE(at_70, at_100);
    for (const double w : at_70) EXPECT_GE(w, 0.30 - 1e-15);
    {
        WorkingState cold = loaded("mirror200");
        ASSERT_EQ(dz::apply_efficiency(cold, 70), std::nullopt);
        dz::DesignScratch fresh;
        ASSERT_EQ(dz::set_design(cold, fresh, LapDesign::fit, false), std::nullopt);
        EXPECT_TRUE(dz::testing::same_bits(cold.FIT_WIDTHS, ws.FIT_WIDTHS));
        EXPECT_TRUE(dz::testing::same_bits(cold.LEAF_EDGES, ws.LEAF_EDGES));
    }

    ASSERT_EQ(dz::set_num_leaves(ws, 7), std::nullopt);  // the outline only
    EXPECT_EQ(dz::leaf_widths(ws), at_70);
    expect_outline_draws(ws, at_70);

    ASSERT_EQ(dz::set_lap_type(ws, true), std::nullopt);
    ASSERT_EQ(dz::apply_design(ws, scratch), std::nullopt);
    EXPECT_FALSE(ws.fit_drawn());
    EXPECT_TRUE(ws.FIT_WIDTHS.empty());
    WorkingState spindle = loaded("mirror200");
    ASSERT_EQ(dz::set_num_leaves(spindle, 7), std::nullopt);
    ASSERT_EQ(dz::set_lap_type(spindle, true), std::nullopt);
    EXPECT_TRUE(dz::testing::same_bits(ws.LEAF_EDGES, spindle.LEAF_EDGES));

    ASSERT_EQ(dz::set_lap_type(ws, false), std::nullopt);  // efficiency back to 100
    ASSERT_EQ(dz::apply_design(ws, scratch), std::nullopt);
    EXPECT_TRUE(ws.fit_drawn());
    EXPECT_EQ(dz::leaf_widths(ws), at_100);
}

// The choice stays across loads; back to classic gives the classic outline
// bit for bit.
TEST(LapDesign, StaysAcrossLoads_ClassicComesBackBitForBit) {
    WorkingState ws = loaded("mirror200");
    dz::DesignScratch scratch;
    ASSERT_EQ(dz::set_design(ws, scratch, LapDesign::fit, true), std::nullopt);
    ASSERT_EQ(dz::CALC_LAP(ws, example("parabolise200"), false, '.'), std::nullopt);
    EXPECT_EQ(ws.DESIGN, LapDesign::fit);
    EXPECT_TRUE(ws.FREE_FOCUS);
    EXPECT_FALSE(ws.fit_drawn());  // the load draws classic until the design is applied
    ASSERT_EQ(dz::apply_design(ws, scratch), std::nullopt);
    EXPECT_TRUE(ws.fit_drawn());
    EXPECT_FALSE(scratch.warm.reused());  // another surface: set up anew
    EXPECT_EQ(ws.FIT_WIDTHS.size(), static_cast<std::size_t>(ws.ZONE_COUNT));
    const std::string table = dz::check_table(ws, dz::check_removal(ws, dz::WearModel(ws)), '.');
    EXPECT_NE(table.find("\r\nDesign: least-squares fit of the leaf widths; free focus on"), std::string::npos);

    ASSERT_EQ(dz::set_design(ws, scratch, LapDesign::classic, false), std::nullopt);
    const WorkingState classic = loaded("parabolise200");
    EXPECT_TRUE(dz::testing::same_bits(ws.LEAF_EDGES, classic.LEAF_EDGES));
    EXPECT_EQ(dz::check_table(ws, dz::check_removal(ws, dz::WearModel(ws)), '.'),
              dz::check_table(classic, dz::check_removal(classic, dz::WearModel(classic)), '.'));
}

}  // namespace
