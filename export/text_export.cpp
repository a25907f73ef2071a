// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/text_export.hpp"

#include "text_io/numbers.hpp"

namespace dz {

std::string text_export(const WorkingState& ws, char decimal_separator) {
    std::string out;
    out.reserve(64 + 32 * static_cast<std::size_t>(ws.ZONE_COUNT));
    out += ws.PLOT_CAPTION;
    out += "\r\n";
    out += "radius, mm\tx/radius\ty/radius\r\n";
    for (int k = 0; k <= ws.LAST_ZONE && k < ws.ZONE_COUNT; ++k) {
        out += format_fixed(ws.ZONE_RADIUS[static_cast<std::size_t>(k)], 1, decimal_separator);
        out += '\t';
        out += format_fixed(ws.edge_at(0, k, 0), 4, decimal_separator);
        out += '\t';
        out += format_fixed(ws.edge_at(0, k, 1), 4, decimal_separator);
        out += "\r\n";
    }
    return out;
}

}  // namespace dz
