// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The title block of a lap template: what every page, the DXF's notes and
// the SVG's description say about the lap.

#include <string>
#include <utility>
#include <vector>

#include "working_state/working_state.hpp"

namespace dz {

// Rows of (label, value), UTF-8, in the order printed: Caption, Target,
// Lap type, Design, Leaves, Efficiency, Outer radius, Date.
struct TitleBlock {
    std::vector<std::pair<std::string, std::string>> rows;
};

// The title block of the current lap. `caption_utf8` is the plot caption as
// the window shows it; `date` is printed as given (YYYY-MM-DD by the
// callers); numbers use `decimal_separator`. The target is the "b = ...,
// R = ..." part of TARGET_TEXT.
[[nodiscard]] TitleBlock title_block(const WorkingState& ws, const std::string& caption_utf8,
                                     char decimal_separator, const std::string& date);

}  // namespace dz
