// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The text export: caption, column header and one line per zone with the
// radius and the normalised coordinates of edge 0. CR LF line ends.

#include <string>

#include "working_state/working_state.hpp"

namespace dz {

[[nodiscard]] std::string text_export(const WorkingState& ws, char decimal_separator);

}  // namespace dz
