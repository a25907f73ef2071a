// SPDX-License-Identifier: GPL-3.0-or-later
#include "lap_load/calc_lap.hpp"

#include <cmath>
#include <utility>

#include "drawing/leaf_outline.hpp"
#include "lap_calc/spline_fit.hpp"
#include "lap_calc/wear_matrix.hpp"
#include "surface/surface_reader.hpp"
#include "text_io/tokenizer.hpp"

namespace dz {

namespace {

bool all_finite(const N_VECTOR& values, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        if (!std::isfinite(values[i])) return false;
    }
    return true;
}

// BASE_OFFSET at 100 % efficiency for the chosen lap type.
Real base_offset(const WorkingState& ws) { return ws.SPINDLE ? -ws.RAW_MIN : -ws.PROFILE_MIN; }

bool outline_finite(const WorkingState& ws) { return all_finite(ws.LEAF_EDGES, ws.LEAF_EDGES.size()); }

// Applies a change of the lap settings and rebuilds the outline; when the
// outline would not be finite, puts the settings and their outline back and
// refuses.
template <typename Change>
std::optional<std::string> change_settings(WorkingState& ws, Change change) {
    const auto leaves = ws.NUM_LEAVES;
    const auto efficiency = ws.EFFICIENCY;
    const auto spindle = ws.SPINDLE;
    const auto offset = ws.BASE_OFFSET;
    change();
    if (!ws.loaded) return std::nullopt;
    N_VECTOR edges = ws.LEAF_EDGES;
    build_leaf_edges(ws);
    if (std::isfinite(ws.BASE_OFFSET) && outline_finite(ws)) return std::nullopt;
    ws.NUM_LEAVES = leaves;
    ws.EFFICIENCY = efficiency;
    ws.SPINDLE = spindle;
    ws.BASE_OFFSET = offset;
    ws.LEAF_EDGES = std::move(edges);  // the outline of the settings put back
    return NOT_FINITE_REFUSED;
}

// A solver's status ("INFO = K", "SPLINE INFO = K") first, as it has always
// been shown, then on a line of its own what most likely caused it: the
// reader's warning about a doubtful radius (a repeated one makes the wear
// matrix singular), or, with fewer than three zones, that the smoothing
// needs more.
std::string with_cause(const std::string& status, const std::string& warning, int zones) {
    if (!warning.empty()) return status + "\n" + warning;
    if (zones < 3) {
        return status + "\nWarning: the surface file has " + std::to_string(zones) +
               (zones == 1 ? " zone line" : " zone lines") +
               "; the smoothing of the profile needs three zones or more, at different radii.";
    }
    return status;
}

}  // namespace

std::optional<std::string> CALC_LAP(WorkingState& ws, LoadScratch& scratch, std::string_view file_bytes,
                                    bool spindle_selected, char decimal_separator, std::string* warning) {
    // Read the file into scratch storage.
    Tokenizer tokenizer(decimal_separator);
    SurfaceReadResult read = read_surface(file_bytes, tokenizer, dz::ZONE_CAPACITY);
    if (!read.data) return read.message;
    SurfaceData& surface = *read.data;

    // The new state and scratch; they replace the caller's only when all has
    // succeeded.
    WorkingState next;
    next.NUM_LEAVES = ws.NUM_LEAVES;
    next.PLOT_SCALE = ws.PLOT_SCALE;
    next.DESIGN = ws.DESIGN;  // the fit's widths are made again for the new surface
    next.FREE_FOCUS = ws.FREE_FOCUS;
    next.WEAR = ws.WEAR;  // the stroke and the wear model stay across loads
    LoadScratch work;
    work.matrices = scratch.matrices;
    work.bsplines = scratch.bsplines;
    next.PLOT_CAPTION = std::move(surface.caption);
    next.TARGET_TEXT = std::move(surface.target_text);
    next.ZONE_COUNT = surface.zone_count;
    next.LAST_ZONE = surface.zone_count - 1;
    next.OUTER_RADIUS = surface.radius[static_cast<std::size_t>(next.LAST_ZONE)];
    next.RAW_MIN = surface.raw_min;
    next.ZONE_RADIUS = std::move(surface.radius);
    next.ZONE_PROFILE = surface.raw;
    next.ZONE_RAW = std::move(surface.raw);
    next.LEAF_EDGES.assign(static_cast<std::size_t>(next.ZONE_COUNT) * 4, 0);

    // Solve the wear system for the leaf profile. The helper is let go at
    // once and winds down while the smoothing and the outline are made.
    HelperCrew helpers(wear_helpers(next.ZONE_COUNT));
    auto solved = solve_wear(work.matrices, next.ZONE_RADIUS, next.ZONE_COUNT, next.OUTER_RADIUS,
                             work.WEAR_MATRIX, next.ZONE_PROFILE, helpers);
    helpers.stop();
    if (solved) {
        return with_cause(*solved, read.warning, next.ZONE_COUNT);
    }
    // Smooth it.
    if (auto failure = smooth_profile(work.matrices, work.bsplines, work.WEAR_MATRIX, work.SPLINE_COEF,
                                      next.ZONE_PROFILE, next.ZONE_COUNT, next.PROFILE_MIN)) {
        return with_cause(*failure, read.warning, next.ZONE_COUNT);
    }

    // The lap-type reset with the lap type selected now, and the outline.
    next.SPINDLE = spindle_selected;
    next.BASE_OFFSET = base_offset(next);
    next.EFFICIENCY = EFFICIENCY_RESET;
    next.loaded = true;
    build_leaf_edges(next);
    const auto count = static_cast<std::size_t>(next.ZONE_COUNT);
    if (!all_finite(next.ZONE_PROFILE, count) || !std::isfinite(next.BASE_OFFSET) || !outline_finite(next)) {
        return std::string(LOAD_NOT_FINITE);
    }
    ws = std::move(next);
    scratch = std::move(work);
    if (warning != nullptr) *warning = std::move(read.warning);
    return std::nullopt;
}

std::optional<std::string> CALC_LAP(WorkingState& ws, std::string_view file_bytes, bool spindle_selected,
                                    char decimal_separator, std::string* warning) {
    LoadScratch scratch;
    return CALC_LAP(ws, scratch, file_bytes, spindle_selected, decimal_separator, warning);
}

std::optional<std::string> set_lap_type(WorkingState& ws, bool spindle) {
    return change_settings(ws, [&] {
        ws.SPINDLE = spindle;
        ws.BASE_OFFSET = base_offset(ws);
        ws.EFFICIENCY = EFFICIENCY_RESET;
    });
}

std::optional<std::string> set_num_leaves(WorkingState& ws, std::int32_t leaves) {
    if (leaves < 1) return std::string(LEAVES_REFUSED);
    return change_settings(ws, [&] { ws.NUM_LEAVES = leaves; });
}

std::optional<std::string> apply_efficiency(WorkingState& ws, Real efficiency) {
    if (!(efficiency > 0)) return std::string(EFFICIENCY_REFUSED);
    return change_settings(ws, [&] {
        ws.EFFICIENCY = efficiency;
        ws.BASE_OFFSET = base_offset(ws);
        ws.BASE_OFFSET = ws.BASE_OFFSET * 100 / ws.EFFICIENCY;
    });
}

std::string surface_file_name(std::string name) {
    if (name.size() < 4 || name[name.size() - 4] != '.') name += ".srf";
    return name;
}

}  // namespace dz
