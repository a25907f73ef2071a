// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/template_print.hpp"

#include <QPageLayout>
#include <QPageSize>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QProgressDialog>

#include <algorithm>
#include <functional>
#include <memory>
#include <stdexcept>

#include "lap_template/template_files.hpp"
#include "render/template_pages.hpp"
#include "lap_template/lap_geometry.hpp"
#include "working_state/working_state.hpp"

namespace dz {

namespace {

QPageLayout paper_layout(Paper paper) {
    return QPageLayout(QPageSize(paper == Paper::letter ? QPageSize::Letter : QPageSize::A4), QPageLayout::Portrait,
                       QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
}

// From this many pages on, the painting shows its progress.
constexpr std::size_t LONG_TEMPLATE_PAGES = 20;

// A progress dialog for the pages of one template, with Cancel; made only
// for long work and when there is a window to own it.
class PagesProgress {
public:
    PagesProgress(QWidget* parent, const QString& label) : parent_(parent), label_(label) {}

    // The PageProgress callback: false once the user has cancelled.
    bool operator()(std::size_t done, std::size_t total) {
        if (parent_ == nullptr || total < LONG_TEMPLATE_PAGES) return true;
        if (!dialog_) {
            dialog_ = std::make_unique<QProgressDialog>(label_, QStringLiteral("Cancel"), 0,
                                                        static_cast<int>(total), parent_);
            dialog_->setObjectName(QStringLiteral("TEMPLATE_PROGRESS"));
            dialog_->setWindowTitle(QStringLiteral("Lap template"));
            dialog_->setWindowModality(Qt::WindowModal);
            dialog_->setMinimumDuration(0);
        }
        dialog_->setLabelText(label_ + QStringLiteral(" page %1 of %2").arg(std::min(done + 1, total)).arg(total));
        dialog_->setValue(static_cast<int>(done));  // lets the dialog take the user's Cancel
        cancelled_ = cancelled_ || dialog_->wasCanceled();
        return !cancelled_;
    }
    [[nodiscard]] bool cancelled() const { return cancelled_; }

private:
    QWidget* parent_;
    QString label_;
    std::unique_ptr<QProgressDialog> dialog_;
    bool cancelled_ = false;
};

}  // namespace

std::string template_bytes(const WorkingState& ws, TemplateKind kind, char decimal_separator, QWidget* parent) {
    if (kind == TemplateKind::dxf) return {};
    const Paper paper = environment_paper();
    if (const auto refused = kind == TemplateKind::pdf ? printed_template_refusal(ws, paper, decimal_separator)
                                                       : template_refusal(ws, decimal_separator)) {
        throw std::runtime_error(*refused);
    }
    const TemplateDocument doc = template_document(ws, paper, decimal_separator, template_date());
    PagesProgress progress(parent, QStringLiteral("Drawing the PDF:"));
    const QByteArray bytes =
        kind == TemplateKind::pdf ? template_pdf(doc, std::ref(progress)) : template_svg(doc);
    if (progress.cancelled()) throw std::runtime_error("Cancelled: the lap template was not saved.");
    return bytes.toStdString();
}

void print_lap_template(QWidget* parent, Dialogs& dialogs, const WorkingState& ws, char decimal_separator) {
    if (const auto refused = printed_template_refusal(ws, environment_paper(), decimal_separator)) {
        dialogs.message(*refused);
        return;
    }
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
        // The preview draws every page; the printer too, after its dialog.
        PagesProgress progress(&preview, QStringLiteral("Drawing the pages:"));
        paint_template_pages(*target, template_document(state, paper, decimal_separator, date), std::ref(progress));
    });
    preview.exec();
}

}  // namespace dz
