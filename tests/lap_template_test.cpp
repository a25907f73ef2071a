// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of the full-size lap template: the leaves built from the drawn
// outline, the page plan of the printed template and the paper of a locale.

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

#include "drawing/leaf_outline.hpp"
#include "export/dxf_export.hpp"
#include "lap_template/lap_dxf.hpp"
#include "lap_template/lap_geometry.hpp"
#include "lap_template/page_plan.hpp"
#include "lap_template/title_block.hpp"
#include "test_states.hpp"
#include "working_state/working_state.hpp"

namespace {

using dz::LapTemplate;
using dz::TemplatePoint;

constexpr double PI = std::numbers::pi;
constexpr double EPS = std::numeric_limits<double>::epsilon();

// The template's lengths in mm come from the drawn outline rounded once to
// double, turned by one rotation and measured with hypot or atan2: each
// within a few roundings of the length compared. ULPS roundings of
// `length` (at least of 1 mm, for values near 0).
constexpr double ULPS = 16;
double within(double length) { return ULPS * EPS * std::max(std::fabs(length), 1.0); }

// A drawn state: `zones` zones from `first_radius` to 100 mm, values 1, 2, 3,
// 1, ... shifted by `offset`, `leaves` leaves.
dz::WorkingState drawn(int zones, double first_radius, int leaves, double offset = 0) {
    dz::WorkingState ws = dz::testing::loaded_state(zones, first_radius);
    ws.NUM_LEAVES = leaves;
    ws.BASE_OFFSET = offset;
    dz::build_leaf_edges(ws);
    return ws;
}

// Angle of p from the centre line of leaf i, positive towards +x.
double angle_from_centre(const TemplatePoint& p, int leaf, int leaves) {
    const double c = PI / leaves + 2 * PI * leaf / leaves;
    return std::atan2(std::cos(c) * p.x - std::sin(c) * p.y, std::sin(c) * p.x + std::cos(c) * p.y);
}

// The leaf's width at every zone, mm along the zone's circle, from the
// values alone: (2 pi / N) v_k / m times the radius (negative when v_k < 0).
std::vector<double> expected_widths(const dz::WorkingState& ws) {
    double m = 0;
    for (int k = 0; k < ws.ZONE_COUNT; ++k) m = std::max(m, double(ws.ZONE_PROFILE[k] + ws.BASE_OFFSET));
    std::vector<double> widths;
    for (int k = 0; k < ws.ZONE_COUNT; ++k) {
        const double v = double(ws.ZONE_PROFILE[k] + ws.BASE_OFFSET);
        widths.push_back(2 * PI / ws.NUM_LEAVES * v / m * double(ws.ZONE_RADIUS[k]));
    }
    return widths;
}

TEST(LapTemplate_Leaves, WidthAtEveryZoneMatchesTheValues) {
    struct Case {
        int zones;
        double first_radius;
        int leaves;
        double offset;
    };
    // At the centre and away from it; 5 leaves (odd), 1 leaf (the whole
    // disc); an offset that leaves a gap at the rim; one that crosses edges.
    for (const Case c : {Case{7, 0, 4, 0}, Case{7, 20, 5, 0}, Case{12, 35, 3, -0.5}, Case{6, 0, 1, 0},
                         Case{7, 10, 6, -1.5}}) {
        SCOPED_TRACE("zones " + std::to_string(c.zones) + " first " + std::to_string(c.first_radius) +
                     " leaves " + std::to_string(c.leaves) + " offset " + std::to_string(c.offset));
        const dz::WorkingState ws = drawn(c.zones, c.first_radius, c.leaves, c.offset);
        const LapTemplate lap = dz::build_lap_template(ws);
        const std::vector<double> widths = expected_widths(ws);
        ASSERT_EQ(lap.leaves, c.leaves);
        ASSERT_EQ(lap.leaf.size(), static_cast<std::size_t>(c.leaves));
        EXPECT_EQ(lap.outer_radius, 100);
        int negative = 0;
        for (double w : widths) negative += w < 0 ? 1 : 0;
        EXPECT_EQ(lap.negative_zones, negative);
        for (int i = 0; i < c.leaves; ++i) {
            const dz::TemplateLeaf& leaf = lap.leaf[static_cast<std::size_t>(i)];
            const std::size_t zones = static_cast<std::size_t>(c.zones);
            ASSERT_EQ(leaf.rim_begin >= zones, true);
            for (int k = 0; k < c.zones; ++k) {
                const double r = double(ws.ZONE_RADIUS[k]);
                if (r == 0) continue;
                // Edge 0 of zone k is point k; edge 1 of zone k counts back from edge1_begin.
                const TemplatePoint e0 = leaf.outline[static_cast<std::size_t>(k)];
                const TemplatePoint e1 = leaf.outline[leaf.edge1_begin + zones - 1 - static_cast<std::size_t>(k)];
                EXPECT_NEAR(std::hypot(e0.x, e0.y), r, within(r));
                EXPECT_NEAR(std::hypot(e1.x, e1.y), r, within(r));
                const double half = widths[static_cast<std::size_t>(k)] / 2;
                // (Modulo a whole turn: one leaf as wide as the pitch spans +-pi.)
                const auto off = [&](const TemplatePoint& p, double want) {
                    return r * std::remainder(angle_from_centre(p, i, c.leaves) - want / r, 2 * PI);
                };
                EXPECT_NEAR(off(e0, half), 0, 0.01) << "leaf " << i << " zone " << k;
                EXPECT_NEAR(off(e1, -half), 0, 0.01) << "leaf " << i << " zone " << k;
                // Every outline point on this zone's circle lies within the leaf's span.
                for (const TemplatePoint& p : leaf.outline) {
                    if (std::fabs(std::hypot(p.x, p.y) - r) > within(r)) continue;
                    EXPECT_LE(std::fabs(r * angle_from_centre(p, i, c.leaves)), std::fabs(half) + 0.01);
                }
            }
        }
    }
}

TEST(LapTemplate_Leaves, OutlineIsClosedAlongTheRimAndTheFirstZone) {
    for (const double first : {0.0, 20.0}) {
        SCOPED_TRACE("first zone at " + std::to_string(first));
        const dz::WorkingState ws = drawn(7, first, 5, -0.5);  // a gap at the rim
        const LapTemplate lap = dz::build_lap_template(ws);
        const dz::TemplateLeaf& leaf = lap.leaf[0];
        const std::size_t n = leaf.outline.size();
        // The rim arc and (away from the centre) the inner arc lie on their
        // circles, their chords within the tolerance of the circle.
        const auto on_circle = [&](std::size_t from, std::size_t to, double r) {
            for (std::size_t j = from; j < to; ++j) {
                const TemplatePoint a = leaf.outline[j == 0 ? n - 1 : j - 1], b = leaf.outline[j];
                EXPECT_NEAR(std::hypot(b.x, b.y), r, within(r));
                const double sagitta = r - std::hypot((a.x + b.x) / 2, (a.y + b.y) / 2);
                EXPECT_LE(sagitta, dz::ARC_TOLERANCE_MM * 1.001);
            }
        };
        ASSERT_GT(leaf.edge1_begin, leaf.rim_begin + 10);  // the rim arc is sampled
        on_circle(leaf.rim_begin, leaf.edge1_begin, 100);
        if (first == 0) {
            // At the centre the outline meets itself in the origin once.
            EXPECT_EQ(leaf.inner_begin, n);
            EXPECT_EQ(leaf.edge1_begin + 6, n);
            EXPECT_EQ(leaf.outline[0].x, 0);
            EXPECT_EQ(leaf.outline[0].y, 0);
        } else {
            ASSERT_GT(n, leaf.inner_begin + 2);
            on_circle(leaf.inner_begin, n, first);
            // ... and the closing chord from the last point back to the first.
            on_circle(0, 1, first);
        }
        // At the centre the closing segment runs from edge 1 of the second
        // zone to the origin.
        if (first == 0) {
            const TemplatePoint last = leaf.outline[n - 1];
            const double r = double(ws.ZONE_RADIUS[1]);
            EXPECT_NEAR(std::hypot(last.x, last.y), r, within(r));
        }
    }
}

TEST(LapTemplate_Leaves, EachLeafIsTheFirstTurnedByThePitch) {
    const dz::WorkingState ws = drawn(9, 12, 5);
    const LapTemplate lap = dz::build_lap_template(ws);
    // Leaf 0 is the drawn outline in mm.
    for (int k = 0; k < ws.ZONE_COUNT; ++k) {
        EXPECT_EQ(lap.leaf[0].outline[static_cast<std::size_t>(k)].x, double(ws.edge_at(0, k, 0) * 100));
        EXPECT_EQ(lap.leaf[0].outline[static_cast<std::size_t>(k)].y, double(ws.edge_at(0, k, 1) * 100));
    }
    for (int i = 1; i < 5; ++i) {
        ASSERT_EQ(lap.leaf[static_cast<std::size_t>(i)].outline.size(), lap.leaf[0].outline.size());
        for (std::size_t j = 0; j < lap.leaf[0].outline.size(); ++j) {
            const TemplatePoint p = lap.leaf[0].outline[j], q = lap.leaf[static_cast<std::size_t>(i)].outline[j];
            const double r = std::hypot(p.x, p.y);
            EXPECT_NEAR(std::hypot(q.x, q.y), r, within(r));
            // Angles from +y towards +x grow by i * 72 degrees: the arc
            // between them within a few roundings of a whole turn's length.
            double turn = std::atan2(q.x, q.y) - std::atan2(p.x, p.y) - 2 * PI * i / 5;
            turn = std::remainder(turn, 2 * PI);
            EXPECT_NEAR(turn * r, 0, within(2 * PI * r)) << "leaf " << i << " point " << j;
        }
    }
}

TEST(LapTemplate_Leaves, NegativeWidthsAreWarnedAbout) {
    EXPECT_EQ(dz::negative_width_warning(dz::build_lap_template(drawn(7, 0, 4))), "");
    const std::string warning = dz::negative_width_warning(dz::build_lap_template(drawn(7, 10, 6, -1.5)));
    EXPECT_NE(warning.find("below zero at 3 zones"), std::string::npos) << warning;  // the three zones of value 1
}

TEST(LapTemplate_TitleBlock, NamesTheDesignThatMadeTheWidths) {
    dz::WorkingState ws = drawn(3, 0, 4);
    EXPECT_EQ(std::string(ws.design_name()), "classic");
    ws.FREE_FOCUS = true;  // changes the figures, not the lap
    EXPECT_EQ(std::string(ws.design_name()), "classic");
    ws.DESIGN = dz::LapDesign::fit;
    EXPECT_EQ(std::string(ws.design_name()), "classic");  // chosen, but no fitted widths drawn
    ws.FIT_WIDTHS.assign(static_cast<std::size_t>(ws.ZONE_COUNT), dz::Real(0.5));
    EXPECT_EQ(std::string(ws.design_name()), "least-squares fit with free focus");
    ws.FREE_FOCUS = false;
    EXPECT_EQ(std::string(ws.design_name()), "least-squares fit");
    ws.SPINDLE = true;  // a spindle lap is always classic
    EXPECT_EQ(std::string(ws.design_name()), "classic");
}

// A fitted lap does its job only under the stroke and wear model it was
// fitted for: its title block and DXF caption name them; the classic lap's
// stay as they always were.
TEST(LapTemplate_TitleBlock, FittedLapNamesItsStrokeAndModel) {
    auto design_row = [](const dz::WorkingState& ws, char sep) {
        for (const auto& [label, value] : dz::title_block(ws, "c", sep, "2026-01-01").rows)
            if (label == "Design") return value;
        return std::string("(none)");
    };
    auto caption = [](const dz::WorkingState& ws) {
        const std::string dxf = dz::dxf_export(ws);
        const std::size_t at = dxf.rfind('{', dxf.find(" Tessaro, "));
        return dxf.substr(at, dxf.find("\\P", at) - at);
    };
    struct Case {
        bool fit;
        dz::WearSettings wear;
        char sep;
        const char* design;
        const char* caption;
    };
    const Case cases[] = {
        {false, {.stroke = 0.35}, '.', "classic", "{2/5 Stroke Tessaro, 4 Leaves"},
        {false, {.model = dz::WearLaw::matrix}, ',', "classic", "{2/5 Stroke Tessaro, 4 Leaves"},
        {true, {}, '.', "least-squares fit for Preston's law, stroke 0.20 of the diameter",
         "{2/5 Stroke Tessaro, least-squares fit for Preston's law, stroke 0.20 of the diameter, 4 Leaves"},
        {true, {.stroke = 1.0 / 3, .lap_size = 0.6}, ',',
         "least-squares fit for Preston's law, stroke 0,33 of the diameter, lap 0,60 of the mirror's diameter",
         "{2/5 Stroke Tessaro, least-squares fit for Preston's law, stroke 0.33 of the diameter, lap 0.60 of the "
         "mirror's diameter, 4 Leaves"},
        {true, {.stroke = 0.35, .offset = 0.05, .pressure = dz::PressureModel::load}, '.',
         "least-squares fit for Preston's law, stroke 0.35 of the diameter, offset 0.05 of the diameter, constant "
         "total load",
         "{2/5 Stroke Tessaro, least-squares fit for Preston's law, stroke 0.35 of the diameter, offset 0.05 of the "
         "diameter, constant total load, 4 Leaves"},
        {true, {.stroke = 0.35, .model = dz::WearLaw::matrix}, '.',
         "least-squares fit for the classic zone wear matrix (stroke 0.20 of the diameter)",
         "{2/5 Stroke Tessaro, least-squares fit for the classic zone wear matrix (stroke 0.20 of the diameter), "
         "4 Leaves"},
    };
    for (const Case& c : cases) {
        dz::WorkingState ws = drawn(3, 0, 4);
        ws.WEAR = c.wear;
        if (c.fit) {
            ws.DESIGN = dz::LapDesign::fit;
            ws.FIT_WIDTHS.assign(static_cast<std::size_t>(ws.ZONE_COUNT), dz::Real(0.5));
        }
        SCOPED_TRACE(c.design);
        EXPECT_EQ(design_row(ws, c.sep), c.design);
        EXPECT_EQ(caption(ws), c.caption);
    }
}

// --- the page plan --------------------------------------------------------

bool window_holds(const dz::PlannedPage& page, double x, double y) {
    return x >= page.lap_left && x <= page.lap_left + page.area.width && y <= page.lap_top &&
           y >= page.lap_top - page.area.height;
}

TEST(LapTemplate_PagePlan, PagesForSmallAndLargeLaps) {
    struct Case {
        double diameter;
        dz::Paper paper;
        int rows, columns;
    };
    for (const Case c : {Case{100, dz::Paper::a4, 1, 1}, Case{100, dz::Paper::letter, 1, 1},
                         Case{180, dz::Paper::a4, 1, 1}, Case{185, dz::Paper::letter, 1, 1},
                         Case{181, dz::Paper::a4, 1, 2}, Case{300, dz::Paper::a4, 2, 2},
                         Case{300, dz::Paper::letter, 2, 2}, Case{500, dz::Paper::a4, 3, 3}}) {
        SCOPED_TRACE(std::to_string(c.diameter) + " mm on " + dz::paper_name(c.paper));
        const dz::PagePlan plan = dz::plan_pages(c.diameter / 2, c.paper);
        EXPECT_EQ(plan.rows, c.rows);
        EXPECT_EQ(plan.columns, c.columns);
        ASSERT_EQ(plan.pages.size(), static_cast<std::size_t>(c.rows * c.columns));
        EXPECT_EQ(plan.tiled, c.rows * c.columns > 1);
        const dz::PaperSize paper = plan.paper;
        // Sums and halves of paper lengths: a few roundings of the paper.
        const double tol = within(std::max(paper.width, paper.height));
        for (const dz::PlannedPage& page : plan.pages) {
            // Everything within the margins; the block below the lap's area.
            EXPECT_GE(page.area.x, dz::PAGE_MARGIN - tol);
            EXPECT_GE(page.area.y, dz::PAGE_MARGIN - tol);
            EXPECT_LE(page.area.x + page.area.width, paper.width - dz::PAGE_MARGIN + tol);
            EXPECT_LE(page.block.y + page.block.height, paper.height - dz::PAGE_MARGIN + tol);
            EXPECT_GE(page.block.y, page.area.y + page.area.height - tol);
        }
        if (!plan.tiled) {
            // Centred across, the whole lap in the area.
            const dz::PlannedPage& page = plan.pages[0];
            EXPECT_NEAR(page.area.x + page.area.width / 2, paper.width / 2, tol);
            EXPECT_NEAR(page.area.width, c.diameter, tol);
            EXPECT_NEAR(page.lap_left, -c.diameter / 2, tol);
            EXPECT_TRUE(plan.marks.empty());
            continue;
        }
        // Every point of the lap's square is on some page; neighbours overlap.
        for (double x = -c.diameter / 2; x <= c.diameter / 2; x += c.diameter / 40) {
            for (double y = -c.diameter / 2; y <= c.diameter / 2; y += c.diameter / 40) {
                bool held = false;
                for (const dz::PlannedPage& page : plan.pages) held = held || window_holds(page, x, y);
                EXPECT_TRUE(held) << x << ", " << y;
            }
        }
        for (std::size_t p = 0; p + 1 < plan.pages.size(); ++p) {
            const dz::PlannedPage &a = plan.pages[p], &b = plan.pages[p + 1];
            if (a.row != b.row) continue;
            EXPECT_EQ(b.column, a.column + 1);
            EXPECT_NEAR(a.lap_left + a.area.width - b.lap_left, dz::TILE_OVERLAP, within(c.diameter));
        }
        // Each mark is on at least two pages, so the pages can be lined up.
        ASSERT_FALSE(plan.marks.empty());
        for (const auto& mark : plan.marks) {
            int pages = 0;
            for (const dz::PlannedPage& page : plan.pages) pages += window_holds(page, mark.x, mark.y) ? 1 : 0;
            EXPECT_GE(pages, 2) << mark.x << ", " << mark.y;
        }
    }
}

TEST(LapTemplate_PagePlan, PaperOfTheLocale) {
    struct Case {
        const char *all, *paper, *lang;
        dz::Paper expected;
    };
    for (const Case c : {Case{nullptr, nullptr, nullptr, dz::Paper::a4}, Case{nullptr, nullptr, "en_US.UTF-8", dz::Paper::letter},
                         Case{nullptr, nullptr, "fr_CA", dz::Paper::letter}, Case{nullptr, nullptr, "de_DE.UTF-8", dz::Paper::a4},
                         Case{nullptr, "en_GB.UTF-8", "en_US.UTF-8", dz::Paper::a4},
                         Case{"en_US.UTF-8", "de_DE.UTF-8", nullptr, dz::Paper::letter},
                         Case{"", "en_CA.UTF-8", nullptr, dz::Paper::letter}, Case{"C", "en_US", nullptr, dz::Paper::a4},
                         Case{nullptr, nullptr, "C.UTF-8", dz::Paper::a4}, Case{nullptr, nullptr, "en_USA", dz::Paper::a4},
                         Case{nullptr, nullptr, "es_US@euro", dz::Paper::letter}}) {
        EXPECT_EQ(dz::locale_paper(c.all, c.paper, c.lang), c.expected)
            << (c.all ? c.all : "-") << " " << (c.paper ? c.paper : "-") << " " << (c.lang ? c.lang : "-");
    }
    EXPECT_EQ(dz::parse_paper("a4"), dz::Paper::a4);
    EXPECT_EQ(dz::parse_paper("letter"), dz::Paper::letter);
    EXPECT_EQ(dz::parse_paper("A5"), std::nullopt);
}

}  // namespace

// Each page lists exactly the marks whose cross (5 mm from its centre)
// reaches into its window, and no page of a large lap carries more than a
// few dozen, so the pages cost time in proportion to their number.
TEST(LapTemplate_PagePlan, MarksPerPageAndPageCount) {
    const auto reaches = [](const dz::PlannedPage& page, const dz::PagePlan::Mark& m) {
        return m.x + 5 >= page.lap_left && m.x - 5 <= page.lap_left + page.area.width && m.y - 5 <= page.lap_top &&
               m.y + 5 >= page.lap_top - page.area.height;
    };
    for (const double radius : {50.0, 90.5, 150.0, 250.0, 1000.0, 2000.0}) {
        for (const dz::Paper paper : {dz::Paper::a4, dz::Paper::letter}) {
            SCOPED_TRACE(std::to_string(radius) + " mm on " + dz::paper_name(paper));
            const dz::PagePlan plan = dz::plan_pages(radius, paper);
            EXPECT_EQ(dz::page_count(radius, paper), static_cast<double>(plan.pages.size()));
            std::size_t most = 0;
            for (const dz::PlannedPage& page : plan.pages) {
                std::vector<std::size_t> expected;
                for (std::size_t i = 0; i < plan.marks.size(); ++i) {
                    if (reaches(page, plan.marks[i])) expected.push_back(i);
                }
                std::vector<std::size_t> listed = page.marks;
                std::sort(listed.begin(), listed.end());
                EXPECT_EQ(listed, expected) << "page " << page.row << ", " << page.column;
                most = std::max(most, listed.size());
            }
            EXPECT_LE(most, 40u);
        }
    }
    EXPECT_EQ(dz::page_count(2000, dz::Paper::a4), 456);  // 24 columns by 19 rows
    EXPECT_GT(dz::page_count(1e300, dz::Paper::a4), 1e300);  // no overflow
}

// The templates refuse an outer radius of 0 or less, beyond what they draw,
// or out of double's range, and the printed one more than 500 pages.
TEST(LapTemplate_Refusal, RadiusAndPages) {
    struct Case {
        dz::Real radius;
        const char* refused;        // nullptr: drawn; else a part of the message
        const char* printed;        // the same for the PDF and print on A4
    };
    const Case cases[] = {
        {100, nullptr, nullptr},
        {1e-3L, nullptr, nullptr},
        {2000, nullptr, nullptr},  // 456 pages
        {2500, nullptr, "690 pages of A4"},
        {1e6L, nullptr, "pages of A4"},
        {0, "above 0 mm", "above 0 mm"},
        {-100, "lies at -100 mm", "lies at -100 mm"},
        {1e6L * 1.000001L, "up to 1000000 mm", "up to 1000000 mm"},
        {1e12L, "this lap's is 1e+12 mm", "this lap's is 1e+12 mm"},
        {1e400L, "1e+400 mm", "1e+400 mm"},  // beyond double
        {std::numeric_limits<dz::Real>::quiet_NaN(), "nan mm", "nan mm"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<double>(c.radius));
        dz::WorkingState ws = drawn(5, 0, 4);
        ws.OUTER_RADIUS = c.radius;
        const auto refused = dz::template_refusal(ws, '.');
        const auto printed = dz::printed_template_refusal(ws, dz::Paper::a4, '.');
        ASSERT_EQ(refused.has_value(), c.refused != nullptr) << refused.value_or("");
        if (c.refused) {
            EXPECT_NE(refused->find(c.refused), std::string::npos) << *refused;
        }
        ASSERT_EQ(printed.has_value(), c.printed != nullptr) << printed.value_or("");
        if (c.printed) {
            EXPECT_NE(printed->find(c.printed), std::string::npos) << *printed;
        }
    }
    dz::WorkingState ws = drawn(5, 0, 4);
    ws.OUTER_RADIUS = 2500;
    EXPECT_NE(dz::printed_template_refusal(ws, dz::Paper::a4, '.')->find("--svg or --lap-dxf"), std::string::npos);
    ws.OUTER_RADIUS = -0.5;
    EXPECT_NE(dz::template_refusal(ws, ',')->find("-0,5 mm"), std::string::npos);
}

// Every real of the lap DXF is a whole number text, also for coordinates
// of 1e56 mm and more (beyond what the templates are asked to draw): read
// back, each gives the double it was written from, and no byte is left
// unset.
TEST(LapTemplate_Dxf, EveryNumberIsWrittenWhole) {
    for (const double radius : {1.0, 1e56, 1e300}) {
        SCOPED_TRACE(radius);
        dz::LapTemplate lap;
        lap.outer_radius = radius;
        lap.leaves = 1;
        lap.leaf.push_back({{{radius, 0}, {0, radius}, {-radius / 3, -radius}}});
        lap.centre_mark = 3;
        dz::TitleBlock title;
        title.rows = {{"Caption", "huge"}};
        const std::string dxf = dz::lap_dxf(lap, title);
        std::istringstream in(dxf);
        std::string code, value;
        int reals = 0;
        bool extmax = false;
        while (std::getline(in, code) && std::getline(in, value)) {
            ASSERT_FALSE(value.empty());
            ASSERT_EQ(value.back(), '\r');
            value.pop_back();
            const int gc = std::stoi(code);
            if (gc == 9) extmax = value == "$EXTMAX";
            if (!((gc >= 10 && gc <= 59) || (gc >= 110 && gc <= 149) || (gc >= 210 && gc <= 239))) continue;
            double parsed = std::numeric_limits<double>::quiet_NaN();
            const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), parsed);
            ASSERT_TRUE(ec == std::errc() && end == value.data() + value.size()) << "group " << gc << ": " << value;
            EXPECT_TRUE(std::isfinite(parsed)) << value;
            ++reals;
            if (extmax && gc == 10) {
                EXPECT_EQ(parsed, std::fabs(radius));  // the rim's extent, to the last bit
                extmax = false;
            }
        }
        EXPECT_GT(reals, 50);
    }
}
