// SPDX-License-Identifier: GPL-3.0-or-later
#include "preston_wear/wear_settings.hpp"

#include <charconv>
#include <cmath>

namespace dz {

std::optional<std::string> check_wear_settings(const WearSettings& s) {
    if (!std::isfinite(s.stroke) || s.stroke < MIN_STROKE || s.stroke > MAX_STROKE)
        return "The stroke must lie between 0.02 and 1 of the diameter.";
    if (!std::isfinite(s.offset) || s.offset < 0 || s.offset > MAX_STROKE_OFFSET)
        return "The stroke's offset must lie between 0 and 0.5 of the diameter.";
    if (!std::isfinite(s.lap_size) || s.lap_size < MIN_LAP_SIZE || s.lap_size > MAX_LAP_SIZE)
        return "The lap's size must lie between 0.3 and 1 of the mirror's diameter.";
    return std::nullopt;
}

namespace {

// x >= 0 with two decimals.
std::string two_decimals(double x, char decimal_separator) {
    char buffer[64];
    const auto written = std::to_chars(buffer, buffer + sizeof buffer, x, std::chars_format::fixed, 2);
    std::string text(buffer, written.ec == std::errc() ? written.ptr : buffer);
    if (const auto point = text.find('.'); point != std::string::npos) text[point] = decimal_separator;
    return text;
}

}  // namespace

std::string wear_settings_text(const WearSettings& s, char decimal_separator) {
    const char sep = decimal_separator;
    if (s.model == WearLaw::matrix) return "the classic zone wear matrix (stroke " + two_decimals(0.2, sep) + " of the diameter)";
    std::string text = "Preston's law, stroke " + two_decimals(s.stroke, sep) + " of the diameter";
    if (s.offset != 0) text += ", offset " + two_decimals(s.offset, sep) + " of the diameter";
    if (s.lap_size != 1) text += ", lap " + two_decimals(s.lap_size, sep) + " of the mirror's diameter";
    if (s.pressure == PressureModel::load) text += ", constant total load";
    return text;
}

}  // namespace dz
