// SPDX-License-Identifier: GPL-3.0-or-later
#include "preston_wear/wear_settings.hpp"

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

}  // namespace dz
