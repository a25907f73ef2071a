// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Renders the lap plot to a PNG file through the Qt rendering module, which is
// loaded only when a PNG is asked for, so that the command-line tool starts
// without loading Qt.

#include <iosfwd>
#include <optional>
#include <string>

#include "render/png_module.hpp"
#include "lap_template/page_plan.hpp"
#include "removal/removal.hpp"
#include "working_state/working_state.hpp"

namespace dz {

// Writes the PNG to `path`, or to `out` when `path` is "-". Returns the
// message to show when the module cannot be loaded or the file cannot be
// written.
[[nodiscard]] std::optional<std::string> render_png(const WorkingState& ws, const std::string& path,
                                                    char decimal_separator, std::ostream& out);

// The same for the chart of the predicted removal `check` of `ws`
// (REMOVAL_CHART_WIDTH x REMOVAL_CHART_HEIGHT pixels).
[[nodiscard]] std::optional<std::string> render_removal_png(const WorkingState& ws, const RemovalCheck& check,
                                                            const std::string& path, char decimal_separator,
                                                            std::ostream& out);
// Writes the lap template (PDF pages on `paper`, or the SVG) to `path`, or
// to `out` when `path` is "-", through the same module; `date` goes into the
// title block. Returns the message to show on failure.
[[nodiscard]] std::optional<std::string> render_template(const WorkingState& ws, TemplateFormat format, Paper paper,
                                                         char decimal_separator, const std::string& date,
                                                         const std::string& path, std::ostream& out);

}  // namespace dz
