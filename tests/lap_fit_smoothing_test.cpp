// SPDX-License-Identifier: GPL-3.0-or-later
// The least-squares design's two refinements: the roughness penalty chosen
// by its rule (the strongest of the ladder within the allowance, smoother
// than no penalty) and the centre zone (its weight in the objective and the
// bound on its residual), on the bundled examples and on hand cases.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "lap_fit/lap_fit.hpp"
#include "tests/lap_fit_support.hpp"
#include "tests/test_files.hpp"

namespace {

std::string example(const std::string& name)
{
    return dz::testing::file_bytes(std::string(DOROZIRI_SOURCE_DIR) + "/examples/" + name);
}

// The ripple of an outline: the RMS of its second derivative by the
// normalised radius over the 48 interior samples of the curvature measure
// (the widths read off straight lines between the zones at 50 equally
// spaced radii).
double ripple(const std::vector<double>& rho, const std::vector<double>& widths)
{
    std::vector<std::pair<double, double>> zones;
    for (std::size_t k = 0; k < rho.size(); ++k) zones.emplace_back(rho[k], widths[k]);
    std::stable_sort(zones.begin(), zones.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    const double lo = zones.front().first, hi = zones.back().first, h = (hi - lo) / 49;
    std::vector<double> v;
    std::size_t a = 0;
    for (int i = 0; i < 50; ++i) {
        const double x = i == 49 ? hi : lo + (hi - lo) * i / 49;
        while (a + 1 < zones.size() && zones[a + 1].first <= x) ++a;
        if (a + 1 == zones.size()) {
            v.push_back(zones[a].second);
        } else {
            const auto [ra, wa] = zones[a];
            const auto [rb, wb] = zones[a + 1];
            v.push_back(wa + (wb - wa) * (x - ra) / (rb - ra));
        }
    }
    double sum = 0;
    for (int i = 1; i < 49; ++i) sum += std::pow((v[i - 1] - 2 * v[i] + v[i + 1]) / (h * h), 2);
    return std::sqrt(sum / 48);
}

bool same_widths(const dz::FitResult& a, const dz::FitResult& b)
{
    return a.widths.size() == b.widths.size() &&
           std::memcmp(a.widths.data(), b.widths.data(), a.widths.size() * sizeof(double)) == 0;
}

const char* const EXAMPLES[] = {"mirror200.srf", "profile500.srf", "parabolise200.srf"};

// On every example, with and without free focus: the rule's fit leaves no
// more than the allowance above the unpenalised fit, no larger P-V than
// that fit or the measured surface, every stronger penalty of the ladder
// breaks one of those, a fixed penalty of the chosen strength gives the same
// bits, and the outline ripples less than without the penalty.
TEST(LapFit_Smoothing, StrongestPenaltyWithinTheAllowance_Smoother)
{
    for (const char* name : EXAMPLES) {
        const auto s = dz::testing::fit_surface(example(name));
        ASSERT_TRUE(s);
        for (const bool focus : {false, true}) {
            SCOPED_TRACE(std::string(name) + (focus ? ", free focus" : ""));
            dz::FitProblem p = dz::testing::problem_of(*s, 0.10, focus);
            const dz::FitResult rule = dz::fit_lap(p);
            p.smoothing = 0;
            const dz::FitResult plain = dz::fit_lap(p);
            ASSERT_EQ(rule.status, dz::FitStatus::ok) << rule.message;
            ASSERT_EQ(plain.status, dz::FitStatus::ok) << plain.message;
            EXPECT_EQ(plain.smoothing, 0);
            EXPECT_EQ(rule.share_unsmoothed, plain.share_left);

            const double share_allowed =
                plain.share_left + std::max(dz::SMOOTHING_ALLOWANCE_POINTS,
                                            dz::SMOOTHING_ALLOWANCE_RELATIVE * plain.share_left);
            const double pv_allowed = std::max(plain.pv_left, plain.pv_measured);
            EXPECT_LE(rule.share_left, share_allowed);
            EXPECT_LE(rule.pv_left, pv_allowed);
            EXPECT_LE(rule.max_curvature, p.curvature_bound);
            ASSERT_GT(rule.smoothing, 0);  // every example takes some smoothing
            for (const double c : dz::SMOOTHING_LADDER) {
                if (c <= rule.smoothing) break;
                p.smoothing = c;
                const dz::FitResult stronger = dz::fit_lap(p);
                ASSERT_EQ(stronger.status, dz::FitStatus::ok);
                EXPECT_TRUE(stronger.share_left > share_allowed || stronger.pv_left > pv_allowed) << "c = " << c;
            }
            p.smoothing = rule.smoothing;
            EXPECT_TRUE(same_widths(dz::fit_lap(p), rule));

            const double smooth = ripple(s->rho, rule.widths), rough = ripple(s->rho, plain.widths);
            std::printf("%-18s focus %d  c %-6g share %6.2f %% (unpenalised %6.2f %%)  P-V %7.2f of %7.2f  "
                        "ripple %6.1f (unpenalised %6.1f)  curvature %.1f\n",
                        name, focus, rule.smoothing, rule.share_left, plain.share_left, rule.pv_left,
                        rule.pv_measured, smooth, rough, rule.max_curvature);
            EXPECT_LT(smooth, 0.95 * rough);
        }
    }
}

TEST(LapFit_Centre, CentreWeightsHandCases)
{
    // the zone at radius 0 stands for the disc of radius d/2, d = 2.5:
    // (1.25)^2 / 2; the other weights stay
    const std::vector<double> r = {0, 2.5, 5, 7.5};
    const std::vector<double> a = dz::testing::area_weights(r);
    const std::vector<double> w = dz::centre_weights(r, a);
    EXPECT_EQ(a[0], 0);
    EXPECT_DOUBLE_EQ(w[0], 1.25 * 1.25 / 2);
    for (std::size_t k = 1; k < r.size(); ++k) EXPECT_EQ(w[k], a[k]);
    // file order and a negative radius: the least |r| above 0 counts
    EXPECT_DOUBLE_EQ(dz::centre_weights(std::vector<double>{5, 0, -2}, std::vector<double>{1, 0, 1})[1], 0.5);
    // a weight given to the centre already stays; no radius above 0 changes nothing
    EXPECT_EQ(dz::centre_weights(std::vector<double>{0, 4}, std::vector<double>{3, 1})[0], 3);
    EXPECT_EQ(dz::centre_weights(std::vector<double>{0, 0}, std::vector<double>{0, 0}), (std::vector<double>{0, 0}));
}

// The centre rule: on the examples the fit leaves no larger P-V than the
// measured surface (without the rule the free focus leaves a spike at the
// centre that exceeds it).
TEST(LapFit_Centre, ExamplesLeaveNoMoreThanTheMeasuredPV)
{
    for (const char* name : EXAMPLES) {
        const auto s = dz::testing::fit_surface(example(name));
        ASSERT_TRUE(s);
        ASSERT_EQ(s->radius_mm[0], 0);
        for (const bool focus : {false, true}) {
            SCOPED_TRACE(std::string(name) + (focus ? ", free focus" : ""));
            dz::FitProblem p = dz::testing::problem_of(*s, 0.10, focus);
            const dz::FitResult r = dz::fit_lap(p);
            ASSERT_EQ(r.status, dz::FitStatus::ok) << r.message;
            EXPECT_LE(r.pv_left, r.pv_measured);
            p.fit_weights = {};
            p.bound_centre = false;
            const dz::FitResult ignored = dz::fit_lap(p);
            ASSERT_EQ(ignored.status, dz::FitStatus::ok);
            std::printf("%-18s focus %d  P-V left %7.2f (centre ignored %7.2f) of %7.2f, centre %8.2f (%8.2f)\n",
                        name, focus, r.pv_left, ignored.pv_left, r.pv_measured, r.residual[0], ignored.residual[0]);
            if (focus && std::string(name) != "profile500.srf") {
                EXPECT_GT(ignored.pv_left, r.pv_measured);
            }
        }
    }
}

}  // namespace

// A centre that is the surface's lowest or highest point, against an edge
// at the other extreme: the centre bound never asks for more than the lap
// of widths 1 already gives, so the fit always finds a lap.
TEST(LapFit_Centre, CentreAtAnExtremeStillFits)
{
    for (const int n : {41, 200}) {
        dz::testing::FitSurface s;
        for (int k = 0; k < n; ++k) {
            s.radius_mm.push_back(100.0 * k / (n - 1));
            s.rho.push_back(static_cast<double>(k) / (n - 1));
        }
        s.weights = dz::testing::area_weights(s.radius_mm);
        s.fit_weights = dz::centre_weights(s.radius_mm, s.weights);
        s.wear = dz::testing::wear_matrix(s.radius_mm);
        for (const double height : {100.0, -100.0}) {
            // powers of the radius, and (power 0) a spike at the zone next to the centre
            for (const double power : {0.0, 0.5, 1.0, 4.0}) {
                for (const bool focus : {false, true}) {
                    SCOPED_TRACE(std::to_string(n) + " zones, " + std::to_string(height) + " rho^" +
                                 std::to_string(power) + (focus ? ", free focus" : ""));
                    s.measured.clear();
                    for (std::size_t k = 0; k < s.rho.size(); ++k)
                        s.measured.push_back(power == 0 ? (k == 1 ? height : 0.0) : height * std::pow(s.rho[k], power));
                    const dz::FitResult r = dz::fit_lap(dz::testing::problem_of(s, 0.1, focus));
                    ASSERT_EQ(r.status, dz::FitStatus::ok) << r.message;
                    for (double w : r.widths) {
                        EXPECT_GE(w, 0.1);
                        EXPECT_LE(w, 1.0);
                    }
                }
            }
        }
    }
}
