// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the command-line tool and the window share for the cut-ready lap
// templates: the date on them, the title block and the DXF bytes.

#include <string>

#include "lap_template/lap_geometry.hpp"
#include "lap_template/page_plan.hpp"
#include "lap_template/title_block.hpp"
#include "working_state/working_state.hpp"

namespace dz {

// Today's date as YYYY-MM-DD, local time; when SOURCE_DATE_EPOCH is set to a
// number of seconds, that moment's date in UTC instead (reproducible files).
[[nodiscard]] std::string template_date();

// The paper of the process's locale (LC_ALL, LC_PAPER, LANG: letter in the
// US and Canada, A4 elsewhere; see locale_paper).
[[nodiscard]] Paper environment_paper();

// The title block of the current lap, the caption as the window shows it.
[[nodiscard]] TitleBlock template_title(const WorkingState& ws, char decimal_separator, const std::string& date);

// The whole lap as DXF (lap_dxf of lap_template/); the numbers of its notes
// are written with a period, as every DXF of the program is.
// std::runtime_error with the message of template_refusal when the lap
// cannot be drawn.
[[nodiscard]] std::string lap_dxf_bytes(const WorkingState& ws, const std::string& date);

// Where a lap template named `path` in the save dialog goes, and as what:
// `kind` 0 PDF, 1 SVG, 2 DXF (the dialog's filters in that order). A name
// that ends in one of the three extensions (any case) is written in that
// format whatever the filter; any other name gets the extension of the
// filter `filter_index` added.
struct TemplateTarget {
    std::string path;
    int kind = 0;
};
[[nodiscard]] TemplateTarget template_target(const std::string& path, int filter_index);

}  // namespace dz
