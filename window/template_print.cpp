// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/template_print.hpp"

#include <QPageLayout>
#include <QPageSize>
#include <QPrintPreviewDialog>
#include <QPrinter>

#include "lap_template/template_files.hpp"
#include "render/template_pages.hpp"
#include "working_state/working_state.hpp"

namespace dz {

namespace {

QPageLayout paper_layout(Paper paper) {
    return QPageLayout(QPageSize(paper == Paper::letter ? QPageSize::Letter : QPageSize::A4), QPageLayout::Portrait,
                       QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
}

}  // namespace

std::string template_bytes(const WorkingState& ws, TemplateKind kind, char decimal_separator) {
    if (kind == TemplateKind::dxf) return {};
    const TemplateDocument doc = template_document(ws, environment_paper(), decimal_separator, template_date());
    const QByteArray bytes = kind == TemplateKind::pdf ? template_pdf(doc) : template_svg(doc);
    return bytes.toStdString();
}

void print_lap_template(QWidget* parent, const WorkingState& ws, char decimal_separator) {
    QPrinter printer(QPrinter::HighResolution);
    printer.setFullPage(true);  // page coordinates from the paper's corner
    printer.setPageLayout(paper_layout(environment_paper()));
    printer.setDocName(QStringLiteral("Lap template"));
    const WorkingState state = ws;
    const std::string date = template_date();
    QPrintPreviewDialog preview(&printer, parent);
    preview.setObjectName(QStringLiteral("PRINT_PREVIEW"));
    preview.setWindowTitle(QStringLiteral("Print the lap template at 100 %"));
    QObject::connect(&preview, &QPrintPreviewDialog::paintRequested, &preview, [&](QPrinter* target) {
        // Letter when the user picked it, A4 for everything else.
        const Paper paper =
            target->pageLayout().pageSize().id() == QPageSize::Letter ? Paper::letter : Paper::a4;
        target->setFullPage(true);
        target->setPageLayout(paper_layout(paper));
        paint_template_pages(*target, template_document(state, paper, decimal_separator, date));
    });
    preview.exec();
}

}  // namespace dz
