// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The working state: everything a loaded surface and the user's settings
// leave for the drawing and the exports, values only. One object, owned by
// the window or by the command-line tool; the solver's scratch lives beside
// it (LoadScratch of lap_load/).

#include <cstddef>
#include <cstdint>
#include <string>

#include "core_types/real.hpp"
#include "preston_wear/wear_settings.hpp"

namespace dz {

// Capacity of the zone arrays.
inline constexpr int ZONE_CAPACITY = 500;
// Default number of leaves, and the efficiency every load resets to.
inline constexpr std::int32_t DEFAULT_LEAVES = 4;
inline constexpr Real EFFICIENCY_RESET = 100;

// How the leaf widths of a "2/5 Stroke" lap are chosen: the classic design
// (the solved and smoothed profile, lifted to zero) or the least-squares fit
// of the widths to the measured values by the wear model (lap_design/).
enum class LapDesign : std::uint8_t { classic = 0, fit = 1 };

struct WorkingState {
    std::int32_t NUM_LEAVES = DEFAULT_LEAVES;
    Real EFFICIENCY = 0;  // percent; 0 (label empty) until the first load
    bool SPINDLE = false;  // lap type: true "Spindle", false "2/5 Stroke"
    Real BASE_OFFSET = 0;  // shift added to every zone value before the outline

    std::string PLOT_CAPTION;  // caption bytes as read (or as edited, UTF-8)
    std::string TARGET_TEXT;   // caption + "\PTarget:  b = ..., R = ...}"

    N_VECTOR ZONE_RADIUS;   // zone radii, mm
    N_VECTOR ZONE_RAW;      // measured values as read
    N_VECTOR ZONE_PROFILE;  // solved, then smoothed leaf profile
    std::int32_t ZONE_COUNT = 0;
    std::int32_t LAST_ZONE = 0;
    Real OUTER_RADIUS = 0;  // radius of the last zone, mm
    Real RAW_MIN = 0;       // min(0, measured values)
    Real PROFILE_MIN = 0;   // min(0, smoothed profile)

    // Leaf outline: edge (0, 1) x zone x (x, y), in units of OUTER_RADIUS.
    // Use edge_at() to address it.
    N_VECTOR LEAF_EDGES;

    std::int32_t PLOT_SCALE = 301;  // pixels per normalised unit

    // The design and the free focus; both stay across loads, like the lap
    // type. FIT_WIDTHS holds the fitted width of every zone (fraction of the
    // pitch, file order) while the fit draws the outline, and is empty
    // otherwise (classic design, "Spindle", or no fit made yet).
    LapDesign DESIGN = LapDesign::classic;
    bool FREE_FOCUS = false;  // the predicted removal may also take a term in rho^2
    N_VECTOR FIT_WIDTHS;

    // How the lap is worked and the wear model that judges it (stroke,
    // offset, lap size, pressure, Preston's law or the classic matrix); stays
    // across loads. The classic design itself does not depend on it, only its
    // predicted removal and the fit.
    WearSettings WEAR;

    // True once a load has run to its end (the "surface loaded" state).
    bool loaded = false;

    // True when the outline is drawn from FIT_WIDTHS: the fit is chosen,
    // the lap type is "2/5 Stroke" and the widths are of these zones.
    [[nodiscard]] bool fit_drawn() const {
        return DESIGN == LapDesign::fit && !SPINDLE && loaded && ZONE_COUNT > 0 &&
               FIT_WIDTHS.size() == static_cast<std::size_t>(ZONE_COUNT);
    }

    // The design that made the drawn widths, as the exports name it:
    // "classic" (the solved and smoothed profile, or the measured values of
    // a "Spindle" lap), "least-squares fit" or "least-squares fit with free
    // focus".
    [[nodiscard]] const char* design_name() const {
        if (!fit_drawn()) return "classic";
        return FREE_FOCUS ? "least-squares fit with free focus" : "least-squares fit";
    }

    [[nodiscard]] std::size_t edge_index(int edge, int zone, int coord) const {
        return (static_cast<std::size_t>(edge) * static_cast<std::size_t>(ZONE_COUNT) +
                static_cast<std::size_t>(zone)) * 2 + static_cast<std::size_t>(coord);
    }
    Real& edge_at(int edge, int zone, int coord) { return LEAF_EDGES[edge_index(edge, zone, coord)]; }
    [[nodiscard]] Real edge_at(int edge, int zone, int coord) const {
        return LEAF_EDGES[edge_index(edge, zone, coord)];
    }
};

}  // namespace dz
