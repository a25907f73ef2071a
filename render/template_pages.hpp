// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The printed lap template: one routine paints a planned page onto any
// QPainter (PDF writer, printer, preview), another the bare lap (SVG). Sizes
// in millimetres; the painter is handed with 1 unit = 1 mm.

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <functional>
#include <string>

#include "lap_template/lap_geometry.hpp"
#include "lap_template/page_plan.hpp"
#include "lap_template/title_block.hpp"

class QPainter;
class QPagedPaintDevice;

namespace dz {

struct WorkingState;

// What every page of one template shows.
struct TemplateDocument {
    LapTemplate lap;
    PagePlan plan;
    Paper paper = Paper::a4;
    TitleBlock title;
};

// The document of the current lap. `date` as printed. The pages are planned
// only when there are at most MAX_TEMPLATE_PAGES of them (else the plan has
// none, and the PDF cannot be made; see printed_template_refusal).
[[nodiscard]] TemplateDocument template_document(const WorkingState& ws, Paper paper, char decimal_separator,
                                                 const std::string& date);

// Paints page `index` of doc.plan: the part of the lap the page shows at 1:1
// (leaves white with a thin outline on the grey of what is cut away, the
// rim, the centre mark), on tiles the alignment marks, the overlap strips and
// the page label, and on every page the title block and the 100 mm scale
// bar (and a 4-inch bar on letter paper). `painter` maps 1 unit to 1 mm from
// the top left corner of the paper, y downwards.
void paint_template_page(QPainter& painter, const TemplateDocument& doc, std::size_t index);

// Paints the lap alone in lap coordinates (mm, origin at the centre, y up):
// the grey disc, each leaf one closed filled path, the rim, the centre mark.
void paint_lap(QPainter& painter, const LapTemplate& lap);

// Called before each page with the pages done and the pages in all; false
// stops the painting (the user cancelled).
using PageProgress = std::function<bool(std::size_t done, std::size_t total)>;

// Every page of doc onto a paged device (a PDF writer or a printer) whose
// page size is doc.plan.paper, margins 0. False when painting cannot begin,
// when the plan has no pages, or when `progress` stopped it.
bool paint_template_pages(QPagedPaintDevice& device, const TemplateDocument& doc,
                          const PageProgress& progress = {});

// `text` as the character data of an XML element: & < > " ' as entities,
// and every character XML 1.0 forbids (the controls other than tab, line
// feed and carriage return, NUL, unpaired surrogates, U+FFFE, U+FFFF) as
// U+FFFD, so that any caption makes a well-formed file.
[[nodiscard]] QString xml_text(const QString& text);

// The PDF of every page, and the SVG of the lap at 1:1 (width and height in
// mm, a viewBox in mm, a 5 mm margin round the rim). Empty when they could
// not be made (or `progress` stopped the pages). Need a QGuiApplication
// (fonts).
[[nodiscard]] QByteArray template_pdf(const TemplateDocument& doc, const PageProgress& progress = {});
[[nodiscard]] QByteArray template_svg(const TemplateDocument& doc);

}  // namespace dz
