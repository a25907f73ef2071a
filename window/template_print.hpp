// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window's lap template: File > Print... (Qt's print preview, then its
// print dialog) and the PDF and SVG bytes of File > Save lap template...,
// all painted by render/template_pages.

#include <string>

#include "window/commands.hpp"
#include "lap_template/page_plan.hpp"

class QWidget;

namespace dz {

struct WorkingState;

// The paper of the user's locale (LC_ALL, LC_PAPER, LANG): letter in the US
// and Canada, A4 elsewhere.
[[nodiscard]] Paper window_paper();

// The PDF (on the locale's paper) or the SVG of the lap; empty for DXF.
// A PDF of many pages shows a progress dialog owned by `parent` (when
// given) whose Cancel stops it. std::runtime_error with the refusal of
// printed_template_refusal / template_refusal, or saying that the user
// cancelled.
[[nodiscard]] std::string template_bytes(const WorkingState& ws, TemplateKind kind, char decimal_separator,
                                         QWidget* parent = nullptr);

// Shows the print preview of the lap's pages on the locale's paper (letter
// or A4 as chosen in the printer's settings); the preview's Print button
// opens the print dialog. `parent` owns the dialog while it is shown. A lap
// the printed template refuses gets the refusal in a message instead; many
// pages are painted under a progress dialog with Cancel.
void print_lap_template(QWidget* parent, Dialogs& dialogs, const WorkingState& ws, char decimal_separator);

}  // namespace dz
