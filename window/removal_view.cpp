// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/removal_view.hpp"

#include <QDir>
#include <QFile>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QPaintEvent>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include "render/removal_chart_painter.hpp"
#include "window/user_interface.hpp"
#include "lap_document/lap_document.hpp"

namespace dz {

namespace {

constexpr const char* EMPTY_FIGURES = "Open a surface file to see what the lap would remove.";

}  // namespace

// The chart, painted from what the view hands it.
class RemovalView::Chart final : public QWidget {
public:
    explicit Chart(RemovalView& view) : QWidget(&view), view_(view) {
        setObjectName(QStringLiteral("REMOVAL_CHART"));
        setMinimumSize(REMOVAL_CHART_WIDTH, REMOVAL_CHART_HEIGHT);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), Qt::white);
        if (view_.check_) {
            paint_removal_chart(painter, rect(), *view_.check_, view_.caption_, view_.decimal_separator_);
        }
    }

private:
    RemovalView& view_;
};

RemovalView::RemovalView(QWidget* parent, Dialogs& dialogs, char decimal_separator)
    : QWidget(parent, Qt::Window), dialogs_(dialogs), decimal_separator_(decimal_separator),
      folder_(QFile::encodeName(QDir::currentPath()).toStdString()) {
    setObjectName(QStringLiteral("REMOVAL_VIEW"));
    setWindowTitle(QStringLiteral("Predicted removal"));
    chart_ = new Chart(*this);
    figures_ = new QLabel(QString::fromLatin1(EMPTY_FIGURES), this);
    figures_->setObjectName(QStringLiteral("REMOVAL_FIGURES"));
    save_ = new QPushButton(QStringLiteral("Save as PNG\u2026"), this);
    save_->setObjectName(QStringLiteral("REMOVAL_SAVE"));
    save_->setEnabled(false);
    connect(save_, &QPushButton::clicked, this, [this] { save_png(); });
    auto* row = new QHBoxLayout;
    row->addWidget(figures_, 1);
    row->addWidget(save_);
    auto* column = new QVBoxLayout(this);
    column->addWidget(chart_, 1);
    column->addLayout(row);
}

RemovalView::~RemovalView() = default;

void RemovalView::show_state(LapDocument& doc) {
    document_ = &doc;
    const WorkingState& ws = doc.state();
    if (!ws.loaded) {
        check_.reset();
        figures_->setText(QString::fromLatin1(EMPTY_FIGURES));
    } else {
        check_ = doc.removal_check();
        caption_ = ws.PLOT_CAPTION;
        std::string stroke = ws.SPINDLE ? "Spindle" : "2/5 Stroke";
        if (ws.fit_drawn()) stroke += std::string(", ") + ws.design_name();
        else if (ws.FREE_FOCUS) stroke += ", free focus";
        figures_->setText(QString::fromUtf8(removal_summary(check_->fit, decimal_separator_)) +
                          QStringLiteral("   (") + QString::fromStdString(stroke) + QStringLiteral(", ") +
                          QString::number(ws.NUM_LEAVES) + QStringLiteral(" leaves)"));
    }
    save_->setEnabled(check_.has_value());
    chart_->update();
}

QString RemovalView::figures() const { return figures_->text(); }

QImage RemovalView::chart_image() const {
    if (!check_) return {};
    return removal_chart_image(*check_, caption_, decimal_separator_);
}

void RemovalView::save_png() {
    if (!check_ || document_ == nullptr) return;
    FileDialogSettings dialog;
    dialog.title = "Save the chart of the predicted removal";
    dialog.filter = "PNG images (*.png)|*.png";
    dialog.file_name = "removal.png";
    if (!dialogs_.save_dialog(dialog, folder_)) return;
    const std::string& path = dialog.file_name;
    if (const auto refused = document_->save_refusal(path)) {
        dialogs_.message(*refused);
        return;
    }
    const QByteArray png = removal_chart_png(*check_, caption_, decimal_separator_);
    if (png.isEmpty()) {
        dialogs_.message("The chart could not be encoded as PNG.");
        return;
    }
    const std::string_view bytes(png.constData(), static_cast<std::size_t>(png.size()));
    if (const auto failure = document_->save(path, bytes).failure) dialogs_.message(*failure);
}

}  // namespace dz
