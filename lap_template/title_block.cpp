// SPDX-License-Identifier: GPL-3.0-or-later
#include "lap_template/title_block.hpp"

#include "lap_template/lap_geometry.hpp"
#include "text_io/numbers.hpp"

namespace dz {

namespace {

// "b = -1.000, R = 2400.000" out of "CAPTION\PTarget:  b = -1.000, R = 2400.000}".
std::string target_of(const std::string& target_text) {
    const std::string key = "\\PTarget:";
    const std::size_t at = target_text.rfind(key);
    if (at == std::string::npos) return target_text;
    std::string target = target_text.substr(at + key.size());
    while (!target.empty() && target.front() == ' ') target.erase(target.begin());
    if (!target.empty() && target.back() == '}') target.pop_back();
    return target;
}

// The design; a fitted lap also names the wear model and stroke it was fitted
// for (it does its job under those only).
std::string design_text(const WorkingState& ws, char decimal_separator) {
    std::string text = ws.design_name();
    if (ws.fit_drawn()) text += " for " + wear_settings_text(ws.WEAR, decimal_separator);
    return text;
}

}  // namespace

TitleBlock title_block(const WorkingState& ws, const std::string& caption_utf8, char decimal_separator,
                       const std::string& date) {
    TitleBlock block;
    block.rows = {
        {"Caption", caption_utf8},
        {"Target", target_of(ws.TARGET_TEXT)},
        {"Lap type", ws.SPINDLE ? "Spindle" : "2/5 Stroke"},
        {"Design", design_text(ws, decimal_separator)},
        {"Leaves", std::to_string(ws.NUM_LEAVES)},
        {"Efficiency", format_fixed(ws.EFFICIENCY, 1, decimal_separator) + " %"},
        {"Outer radius", format_fixed(ws.OUTER_RADIUS, 2, decimal_separator) + " mm"},
        {"Date", date},
    };
    return block;
}

}  // namespace dz
