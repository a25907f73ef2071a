// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The design of the leaf widths: the classic design of the load, or the
// least-squares fit by the wear model (lap_fit/), applied to the working state
// so that the outline, the exports and the predicted removal all show it.

#include <optional>
#include <string>
#include <vector>

#include "lap_fit/lap_fit.hpp"
#include "removal/wear_model.hpp"
#include "working_state/working_state.hpp"

namespace dz {

// The fit's least width is never below this (a leaf must stay in one piece).
inline constexpr double MIN_FIT_FLOOR = 0.10;

// What the fit keeps between commands: the wear model of the surface (for
// the working state's wear settings) in double and the fit's factorised set-up, so that a change of efficiency
// re-solves without building either again. Owned beside the working state by
// whoever owns that (the window's commands, one command-line run); not for
// two threads at once. Both parts notice a new surface by themselves.
struct DesignScratch {
    std::optional<WearModel> model;
    FitWarmStart warm;
    FitResult last;  // the last fit made (status bad_input before the first)

    // The wear model of the zones of `ws` (a loaded state), filled again
    // only when the zones have changed since it was made. The fit and the
    // predicted removal of the same owner share it.
    const WearModel& wear_model(const WorkingState& ws) {
        if (!model || !model->fits(ws)) model.emplace(ws);
        return *model;
    }

    // The wear model of the same zones under the other wear law (the check
    // table's second share), kept the same way.
    std::optional<WearModel> other_model;
    const WearModel& other_wear_model(const WorkingState& ws) {
        const WearSettings other = other_wear_law(ws.WEAR);
        if (!other_model || !(other_model->settings() == other) || !other_model->same_zones(ws))
            other_model.emplace(ws.ZONE_RADIUS, ws.ZONE_COUNT, ws.OUTER_RADIUS, other);
        return *other_model;
    }
};

// fit_floor: the least width the fit may give a zone at an efficiency.
//
//   on entry  efficiency  E in percent (> 0).
//   returns               max(MIN_FIT_FLOOR, 1 - E / 100), in double: 0.10
//                         at 100 % and above, 0.20 at 80 %; a lower
//                         efficiency keeps more of the lap, as it does in the
//                         classic design.
[[nodiscard]] double fit_floor(Real efficiency);

// fit_curvature_bound: the bound on the fitted outline's bending.
//
//   on entry  ws  a loaded working state under "2/5 Stroke".
//   returns       max(MIN_CURVATURE_BOUND, max_second_derivative(rho,
//                 classic_widths(ws))), rho = ZONE_RADIUS / OUTER_RADIUS:
//                 the fit may bend as sharply as the classic design does
//                 on the same file and settings, and at least by 40.
[[nodiscard]] double fit_curvature_bound(const WorkingState& ws);

// apply_design: makes the outline of `ws` the one its design asks for.
//
//   on entry  ws       a working state (loaded or not); DESIGN and FREE_FOCUS
//                      as chosen; LEAF_EDGES as the last load or setting
//                      command built them.
//             scratch  the design scratch that belongs to `ws`.
//   on return with the fit chosen, "2/5 Stroke" and a surface loaded:
//             FIT_WIDTHS the fitted widths (fit_lap with floor
//             fit_floor(EFFICIENCY), bound fit_curvature_bound(ws), the area
//             weights for the figures and centre_weights of them for the
//             objective, the measured values and FREE_FOCUS; the smoothing
//             by its rule) and LEAF_EDGES
//             built from them, so that leaf_widths(ws) gives them back.
//             Otherwise FIT_WIDTHS is emptied and, if it held widths, the
//             classic outline built again, bit for bit as the load builds it.
//   returns   nothing on success; when the fit fails (a surface the fit
//             cannot take, such as every zone at radius 0) the message, and
//             `ws` then draws the classic outline.
// method    the wear model (WEAR of `ws`: Preston's law for its stroke, or
//           the classic matrix) is kept in `scratch` while the zones and the
//           settings stay the same. With the constant-load pressure the
//           matrix depends on the lap's contact: the fit is made again with
//           the matrix of the last widths (at most 6 times, until no width
//           moves by more than 1e-4); the fit hands `scratch.warm` over, so that a new
//           efficiency (its floor and the classic lap's curvature move) is
//           solved from the previous set-up: about 5 ms for 500
//           zones (bench/bench_design), and the same bits as from cold.
// deterministic: the same state gives the same widths, bit for bit.
[[nodiscard]] std::optional<std::string> apply_design(WorkingState& ws, DesignScratch& scratch);

// The design command: DESIGN = design, FREE_FOCUS = free_focus, then
// apply_design. The choice stays even when the fit fails (the message is
// returned and the classic outline drawn); the next load tries again.
[[nodiscard]] std::optional<std::string> set_design(WorkingState& ws, DesignScratch& scratch, LapDesign design,
                                                    bool free_focus);

// The message that starts a failed fit's report.
inline constexpr const char* FIT_FAILED = "The least-squares fit cannot be made for this surface: ";

}  // namespace dz
