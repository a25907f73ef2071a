// SPDX-License-Identifier: GPL-3.0-or-later
#include "drawing/lap_plot.hpp"

#include <cmath>
#include <cstddef>
#include <vector>

#include "text_io/numbers.hpp"

namespace dz {
namespace {

constexpr Rgb WHITE{255, 255, 255};
constexpr Rgb BLACK{0, 0, 0};
constexpr Rgb GREEN{0, 255, 0};
constexpr Rgb RED{255, 0, 0};
constexpr Rgb BLUE{0, 0, 255};

constexpr int MARGIN = 20;
constexpr Real PIXEL_LIMIT = 16777216.0L;  // 2^24

// Nearest integer, halves to the even neighbour. Written out so that the
// result does not depend on the current FPU rounding mode. For |v| < 2^63 the
// difference v - floor(v) is exact.
Real round_half_even(Real v) {
    Real whole = std::floor(v);
    const Real frac = v - whole;
    if (frac > 0.5L || (frac == 0.5L && std::fmod(whole, 2.0L) != 0)) {
        whole += 1;
    }
    return whole;
}

int pixel_coord(Real product) {
    if (!(product >= -PIXEL_LIMIT)) {  // also NaN
        return -static_cast<int>(PIXEL_LIMIT) + MARGIN;
    }
    if (product > PIXEL_LIMIT) {
        return static_cast<int>(PIXEL_LIMIT) + MARGIN;
    }
    return static_cast<int>(round_half_even(product)) + MARGIN;
}

// The load sized the zone arrays and LEAF_EDGES for ZONE_COUNT zones.
bool zones_ready(const WorkingState& ws) {
    if (!ws.loaded || ws.ZONE_COUNT < 1 || ws.LAST_ZONE != ws.ZONE_COUNT - 1) {
        return false;
    }
    const auto n = static_cast<std::size_t>(ws.ZONE_COUNT);
    return ws.ZONE_RADIUS.size() >= n && ws.ZONE_RAW.size() >= n && ws.ZONE_PROFILE.size() >= n &&
           ws.LEAF_EDGES.size() >= 4 * n;
}

class Plot {
public:
    Plot(const WorkingState& ws, Canvas& canvas, char sep) : ws_(ws), canvas_(canvas), sep_(sep) {
        points_.reserve(static_cast<std::size_t>(ZONE_CAPACITY) + 1);
    }

    void draw() {
        background();
        horizontal_grid();
        vertical_grid();
        canvas_.set_pen_colour(BLACK);
        semicircle(1);
        if (!zones_ready(ws_)) {
            return;
        }
        if (ws_.ZONE_RADIUS[0] > 0) {
            semicircle(ws_.ZONE_RADIUS[0] / ws_.OUTER_RADIUS);
        }
        if (ws_.NUM_LEAVES < 1) {
            return;  // no pitch, so no outline was built
        }
        canvas_.set_pen_colour(RED);
        outline(0, false);
        outline(1, false);
        canvas_.set_pen_colour(BLUE);
        outline(0, true);
        outline(1, true);
        zone_arcs();
    }

private:
    [[nodiscard]] Pixel screen(Real x, Real y) const { return TO_SCREEN(ws_.PLOT_SCALE, x, y); }

    void background() {
        canvas_.set_brush_solid(WHITE);
        canvas_.set_pen_colour(WHITE);
        canvas_.fill_rect(0, 0, PLOT_WIDTH, PLOT_HEIGHT);
        canvas_.set_font_colour(BLACK);
    }

    void horizontal_grid() {
        const Real step = 0.2L;
        for (int i = 0; i <= 5; ++i) {
            const Real y = static_cast<Real>(i) * step;
            canvas_.set_pen_colour(i == 0 ? BLACK : GREEN);
            const Pixel a = screen(-1, y);
            canvas_.move_to(a);
            canvas_.line_to(screen(1, y));
            canvas_.text_out(Pixel{a.x - 18, a.y - 7}, format_fixed(y, 1, sep_));
        }
    }

    void vertical_grid() {
        const Real step = 0.2L;
        for (int j = -5; j <= 5; ++j) {
            const Real x = static_cast<Real>(j) * step;
            canvas_.set_pen_colour(j == 0 ? BLACK : GREEN);
            const Pixel a = screen(x, 0);
            canvas_.move_to(a);
            canvas_.line_to(screen(x, 1));
            canvas_.text_out(Pixel{a.x - 10, a.y + 4}, format_fixed(x, 1, sep_));
        }
    }

    // Upper half of the circle of radius r about the lap centre.
    void semicircle(Real r) {
        if (!std::isfinite(r)) {
            return;
        }
        const Pixel top_left = screen(-r, r);
        const Pixel bottom_right = screen(r, -r);
        canvas_.arc(top_left.x, top_left.y, bottom_right.x, bottom_right.y, screen(r, 0), screen(-r, 0));
    }

    // One edge of LEAF_EDGES as a polyline, mirrored in the y axis on request.
    // Runs of finite points are drawn as separate polylines.
    void outline(int edge, bool mirror) {
        points_.clear();
        for (int k = 0; k <= ws_.LAST_ZONE; ++k) {
            const Real x = ws_.edge_at(edge, k, 0);
            const Real y = ws_.edge_at(edge, k, 1);
            if (const auto p = to_screen_finite(ws_.PLOT_SCALE, mirror ? -x : x, y)) {
                points_.push_back(*p);
            } else if (!points_.empty()) {
                canvas_.polyline(points_);
                points_.clear();
            }
        }
        if (!points_.empty()) {
            canvas_.polyline(points_);
        }
    }

    void zone_arcs() {
        for (int k = 4; k < ws_.LAST_ZONE; k += 4) {
            const Real rho = ws_.ZONE_RADIUS[static_cast<std::size_t>(k)] / ws_.OUTER_RADIUS;
            const Real x0 = ws_.edge_at(0, k, 0);
            const Real y0 = ws_.edge_at(0, k, 1);
            const Real x1 = ws_.edge_at(1, k, 0);
            const Real y1 = ws_.edge_at(1, k, 1);
            const auto top_left = to_screen_finite(ws_.PLOT_SCALE, -rho, rho);
            const auto bottom_right = to_screen_finite(ws_.PLOT_SCALE, rho, -rho);
            const auto q0 = to_screen_finite(ws_.PLOT_SCALE, x0, y0);
            const auto q1 = to_screen_finite(ws_.PLOT_SCALE, x1, y1);
            if (!top_left || !bottom_right || !q0 || !q1 || *q0 == *q1) {
                continue;  // a coinciding start and end would draw the full circle
            }
            canvas_.set_pen_colour(RED);
            canvas_.arc(top_left->x, top_left->y, bottom_right->x, bottom_right->y, *q0, *q1);
            canvas_.set_pen_colour(BLUE);
            canvas_.arc(top_left->x, top_left->y, bottom_right->x, bottom_right->y, screen(-x1, y1),
                        screen(-x0, y0));
        }
    }

    const WorkingState& ws_;
    Canvas& canvas_;
    char sep_;
    std::vector<Pixel> points_;
};

}  // namespace

Pixel TO_SCREEN(int plot_scale, Real x, Real y) {
    const Real scale = static_cast<Real>(plot_scale);
    return Pixel{pixel_coord(scale * (x + 1)), pixel_coord(scale * (1 - y))};
}

std::optional<Pixel> to_screen_finite(int plot_scale, Real x, Real y) {
    if (!std::isfinite(x) || !std::isfinite(y)) {
        return std::nullopt;
    }
    return TO_SCREEN(plot_scale, x, y);
}

void DRAW_LAP(const WorkingState& ws, Canvas& canvas, char decimal_separator) {
    Plot(ws, canvas, decimal_separator).draw();
}

}  // namespace dz
