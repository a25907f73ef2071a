// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The DXF export: edge 1 of the leaf outline, in millimetres, written into the
// fixed AC1015 drawing template. CR LF line ends, periods as decimal points.
// The caption line names the lap type; when the least-squares fit draws the
// outline it reads "{2/5 Stroke Tessaro, least-squares fit, " (".. fit with
// free focus, " with the free focus) where the classic one reads
// "{2/5 Stroke Tessaro, ".

#include <string>

#include "working_state/working_state.hpp"

namespace dz {

[[nodiscard]] std::string dxf_export(const WorkingState& ws);

}  // namespace dz
