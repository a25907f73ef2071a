// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The load: read a surface file, solve the wear system, smooth the profile
// and perform the lap-type reset. Shared by the window and the command line.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "lap_load/load_scratch.hpp"
#include "working_state/working_state.hpp"

namespace dz {

// Runs the whole load on the bytes of a surface file. On success the working
// state holds the new surface, SPINDLE = spindle_selected, EFFICIENCY = 100,
// BASE_OFFSET from the lap-type reset, NUM_LEAVES, PLOT_SCALE, DESIGN and
// FREE_FOCUS kept, FIT_WIDTHS empty (the classic outline: a chosen fit is
// made afterwards by lap_design's apply_design), LEAF_EDGES built, loaded = true, and
// the result is empty, and `scratch` holds what the solve and the fit left.
// On failure the result is the message to show and every value of the
// working state and of `scratch` is as it was before the call. When
// `warning` is given, it receives the reader's warning line on success
// (empty when there is nothing to say) and is left alone on failure. A
// solver's status message ("INFO = K", "SPLINE INFO = K") is followed, on a
// line of its own, by the reader's warning when there is one (a repeated
// radius), or by a line saying that one or two zones cannot be smoothed.
[[nodiscard]] std::optional<std::string> CALC_LAP(WorkingState& ws, LoadScratch& scratch,
                                                  std::string_view file_bytes, bool spindle_selected,
                                                  char decimal_separator, std::string* warning = nullptr);
// The same load for a caller that keeps no scratch: the solver's storage is
// made anew and dropped afterwards. The working state comes out the same.
[[nodiscard]] std::optional<std::string> CALC_LAP(WorkingState& ws, std::string_view file_bytes,
                                                  bool spindle_selected, char decimal_separator,
                                                  std::string* warning = nullptr);

// The lap-type command and the reset that ends every load: SPINDLE,
// BASE_OFFSET = -(RAW_MIN for "Spindle", PROFILE_MIN for "2/5 Stroke"), and
// EFFICIENCY = 100. Rebuilds LEAF_EDGES when a surface is loaded. Refused
// (message, nothing changed) when the outline would not be finite.
[[nodiscard]] std::optional<std::string> set_lap_type(WorkingState& ws, bool spindle);

// The number-of-leaves command once the number is read: refused below 1.
[[nodiscard]] std::optional<std::string> set_num_leaves(WorkingState& ws, std::int32_t leaves);

// The efficiency command once the value is read: refused at 0 or below.
// EFFICIENCY = efficiency, BASE_OFFSET = -(chosen minimum) * 100 / EFFICIENCY.
[[nodiscard]] std::optional<std::string> apply_efficiency(WorkingState& ws, Real efficiency);

// The messages of those refusals.
inline constexpr const char* LEAVES_REFUSED = "The number of leaves must be 1 or more.";
inline constexpr const char* EFFICIENCY_REFUSED = "The efficiency must be more than 0 %.";
inline constexpr const char* NOT_FINITE_REFUSED =
    "These values give a leaf outline that cannot be computed (numbers out of range); nothing was changed.";
inline constexpr const char* LOAD_NOT_FINITE =
    "The surface file's numbers give results out of the range of numbers this program computes with; "
    "the file was not loaded.";

// The ".srf" rule for a file name given on a command line.
[[nodiscard]] std::string surface_file_name(std::string name);

}  // namespace dz
