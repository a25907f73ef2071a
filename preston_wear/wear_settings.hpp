// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How the lap is worked and which law turns that into wear: the stroke, its
// sideways offset, the lap's size, the pressure and the wear model. Values
// only; the working state keeps one set across loads.

#include <cstdint>
#include <optional>
#include <string>

namespace dz {

// The wear model: Preston's law (removal = pressure x sliding path, the
// lap's leaves acting through their width) or the zone wear matrix of the
// classic computation (lap_calc/wear_matrix.hpp), kept so that its figures
// can be reproduced.
enum class WearLaw : std::uint8_t { preston = 0, matrix = 1 };

// The pressure under the lap: uniform (the same wherever the lap touches) or
// a constant total load spread over the contact (pressure = load / area).
enum class PressureModel : std::uint8_t { uniform = 0, load = 1 };

// Limits of the settings.
inline constexpr double MIN_STROKE = 0.02;  // end to end, fraction of the diameter
inline constexpr double MAX_STROKE = 1.0;
inline constexpr double MAX_STROKE_OFFSET = 0.5;
inline constexpr double MIN_LAP_SIZE = 0.3;
inline constexpr double MAX_LAP_SIZE = 1.0;

struct WearSettings {
    // Stroke length end to end as a fraction of the mirror's diameter: the
    // lap's centre travels `stroke` outer radii either side of the mirror's
    // centre (0.2: the classic "2/5 Stroke").
    double stroke = 0.2;
    // Sideways offset of the stroke's line from the mirror's centre, as a
    // fraction of the diameter (W-like strokes); 0: through the centre.
    double offset = 0;
    // Lap diameter as a fraction of the mirror's, MIN_LAP_SIZE .. 1.
    double lap_size = 1;
    PressureModel pressure = PressureModel::uniform;
    WearLaw model = WearLaw::preston;

    // In units of the outer radius: the stroke's half-length d, the offset
    // e and the lap's radius L.
    [[nodiscard]] double half_stroke() const { return stroke; }
    [[nodiscard]] double offset_radius() const { return 2 * offset; }
    [[nodiscard]] double lap_radius() const { return lap_size; }

    bool operator==(const WearSettings&) const = default;
};

// The model's short name, as tables name it: "Preston" or "matrix".
[[nodiscard]] constexpr const char* wear_law_name(WearLaw law) {
    return law == WearLaw::preston ? "Preston" : "matrix";
}

// The same settings under the other wear law.
[[nodiscard]] constexpr WearSettings other_wear_law(WearSettings s) {
    s.model = s.model == WearLaw::preston ? WearLaw::matrix : WearLaw::preston;
    return s;
}

// check_wear_settings: why `s` cannot be used, or nothing when it can.
//   returns  nothing when MIN_STROKE <= stroke <= MAX_STROKE,
//            0 <= offset <= MAX_STROKE_OFFSET, MIN_LAP_SIZE <= lap_size <=
//            MAX_LAP_SIZE (all finite); else a message naming the value.
[[nodiscard]] std::optional<std::string> check_wear_settings(const WearSettings& s);

// wear_settings_text: the model and the stroke in words, as the check table,
// the fitted lap's title block and its DXF caption name them.
//   returns  "the classic zone wear matrix (stroke 0.20 of the diameter)" for
//            the matrix; else "Preston's law, stroke S of the diameter"
//            followed by ", offset E of the diameter" (when not 0), ", lap L
//            of the mirror's diameter" (when not 1) and ", constant total
//            load" (that pressure). Numbers with two decimals, rounded to
//            nearest as printf does, with `decimal_separator`.
[[nodiscard]] std::string wear_settings_text(const WearSettings& s, char decimal_separator);

}  // namespace dz
