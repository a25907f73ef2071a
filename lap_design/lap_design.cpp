// SPDX-License-Identifier: GPL-3.0-or-later
#include "lap_design/lap_design.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <span>

#include "drawing/leaf_outline.hpp"
#include "removal/removal.hpp"

namespace dz {

namespace {

// The constant-load fit: at most this many refits, ended when no width moves
// more than this.
constexpr int LOAD_ROUNDS = 6;
constexpr double LOAD_SETTLED = 1e-4;

// Back to the classic outline when fitted widths were drawn. Under
// "Spindle" the outline is the classic one already: every stage that sets
// SPINDLE builds it, and the fit never draws a "Spindle" lap.
void drop_fit(WorkingState& ws) {
    if (ws.FIT_WIDTHS.empty()) return;
    ws.FIT_WIDTHS.clear();
    if (ws.loaded && !ws.SPINDLE) build_leaf_edges(ws);
}

}  // namespace

double fit_floor(Real efficiency) {
    return std::max(MIN_FIT_FLOOR, static_cast<double>(1 - efficiency / 100));
}

double fit_curvature_bound(const WorkingState& ws) {
    return std::max(MIN_CURVATURE_BOUND, max_second_derivative(normalised_radii(ws), classic_widths(ws)));
}

std::optional<std::string> apply_design(WorkingState& ws, DesignScratch& scratch) {
    if (ws.DESIGN != LapDesign::fit || ws.SPINDLE || !ws.loaded || ws.ZONE_COUNT < 1) {
        drop_fit(ws);
        return std::nullopt;
    }
    if (const auto refused = removal_range_refusal(ws, '.')) {
        ws.FIT_WIDTHS.clear();
        build_leaf_edges(ws);
        return std::string(FIT_FAILED) + *refused;
    }
    const WearModel& model = scratch.wear_model(ws);
    const auto n = static_cast<std::size_t>(ws.ZONE_COUNT);
    const std::vector<double> radius = zone_radii(ws);
    const std::vector<double> measured = measured_values(ws);
    const std::vector<double> weights = area_weights(radius);
    const std::vector<double> fit_weights = centre_weights(radius, weights);
    const std::vector<double> rho = normalised_radii(ws);

    FitProblem problem;
    problem.wear = std::span<const double>(model.matrix(), n * n);
    problem.measured = measured;
    problem.weights = weights;
    problem.fit_weights = fit_weights;
    problem.radii = rho;
    problem.floor = fit_floor(ws.EFFICIENCY);
    problem.curvature_bound = fit_curvature_bound(ws);
    problem.free_focus = ws.FREE_FOCUS;
    problem.warm = &scratch.warm;
    scratch.last = fit_lap(problem);
    // the constant-load pressure depends on the lap's contact: fit again
    // with the pressure of the last widths until they settle
    std::vector<double> loaded;
    for (int round = 0; round < LOAD_ROUNDS && model.depends_on_widths() && scratch.last.status == FitStatus::ok;
         ++round) {
        loaded = model.matrix_for(scratch.last.widths);
        problem.wear = loaded;
        problem.warm = nullptr;
        const std::vector<double> before = scratch.last.widths;
        scratch.last = fit_lap(problem);
        double moved = 0;
        for (std::size_t k = 0; k < n && scratch.last.status == FitStatus::ok; ++k)
            moved = std::max(moved, std::fabs(scratch.last.widths[k] - before[k]));
        if (moved <= LOAD_SETTLED) break;
    }
    const bool finite = std::all_of(scratch.last.widths.begin(), scratch.last.widths.end(),
                                    [](double w) { return std::isfinite(w); });
    if (scratch.last.status == FitStatus::ok && !finite) {
        scratch.last.status = FitStatus::no_solution;
        scratch.last.message = "its widths come out beyond the range of numbers it is computed with.";
    }
    if (scratch.last.status != FitStatus::ok) {
        ws.FIT_WIDTHS.clear();
        build_leaf_edges(ws);
        return std::string(FIT_FAILED) + scratch.last.message;
    }
    ws.FIT_WIDTHS.assign(scratch.last.widths.begin(), scratch.last.widths.end());
    build_leaf_edges(ws);
    return std::nullopt;
}

std::optional<std::string> set_design(WorkingState& ws, DesignScratch& scratch, LapDesign design,
                                      bool free_focus) {
    ws.DESIGN = design;
    ws.FREE_FOCUS = free_focus;
    return apply_design(ws, scratch);
}

}  // namespace dz
