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
#include <QScreen>
#include <QTabBar>
#include <QVBoxLayout>

#include <algorithm>

#include "lap_document/lap_document.hpp"  // with the comparison's words (wear_compare/)
#include "lap_template/lap_geometry.hpp"
#include "render/removal_chart_painter.hpp"
#include "text_io/caption_text.hpp"
#include "text_io/numbers.hpp"
#include "window/user_interface.hpp"

namespace dz {

namespace {

constexpr const char* EMPTY_FIGURES = "Open a surface file to see what the lap would remove.";

// The chart's size on screen when it is short of room (the saved PNG keeps
// its own size), and the room between the view and the main window.
constexpr QSize LEAST_CHART(480, 300);
constexpr int GAP = 8;
// The line that says where the PNG went, under the button.
constexpr int SAVED_WIDTH = 240;
// The tabs over the chart, once there is a comparison.
constexpr int DESIGN_TAB = 0;
constexpr int COMPARISON_TAB = 1;

// A line of the check table's as a line of the view: without its CR LF.
std::string without_line_end(std::string line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    return line;
}

}  // namespace

QRect frame_beside(const QRect& main, QSize wanted, QSize least, const QRect& screen) {
    // the room on each side of the main window, within the screen
    const QRect right(main.right() + 1 + GAP, screen.top(), screen.right() - main.right() - GAP, screen.height());
    const QRect left(screen.left(), screen.top(), main.left() - GAP - screen.left(), screen.height());
    const QRect below(screen.left(), main.bottom() + 1 + GAP, screen.width(), screen.bottom() - main.bottom() - GAP);
    const QRect above(screen.left(), screen.top(), screen.width(), main.top() - GAP - screen.top());
    const QRect sides[] = {right, left, below, above};
    const auto fits = [](const QRect& room, QSize size) {
        return room.width() >= size.width() && room.height() >= size.height();
    };
    const QRect* chosen = nullptr;
    for (const QRect& room : sides) {
        if (fits(room, wanted)) {
            chosen = &room;
            break;
        }
    }
    QSize size = wanted;
    if (chosen == nullptr) {
        // the most room, the frame shrunk into it
        const auto area = [&](const QRect& room) {
            const QSize s = wanted.boundedTo(room.size()).expandedTo(least);
            return fits(room, s) ? static_cast<long long>(s.width()) * s.height() : -1;
        };
        chosen = &sides[0];
        for (const QRect& room : sides) {
            if (area(room) > area(*chosen)) chosen = &room;
        }
        size = wanted.boundedTo(chosen->size()).expandedTo(least);
    }
    const QRect& room = *chosen;
    // in line with the main window's top (beside) or left (above, below)
    const bool beside = &room == &sides[0] || &room == &sides[1];
    int x = beside ? (&room == &sides[0] ? room.left() : room.right() + 1 - size.width()) : main.left();
    int y = beside ? main.top() : (&room == &sides[2] ? room.top() : room.bottom() + 1 - size.height());
    // within the room; where even the least size does not fit it, within the screen
    const QRect& bounds = fits(room, size) ? room : screen;
    x = std::clamp(x, bounds.left(), std::max(bounds.left(), bounds.right() + 1 - size.width()));
    y = std::clamp(y, bounds.top(), std::max(bounds.top(), bounds.bottom() + 1 - size.height()));
    return QRect(QPoint(x, y), size);
}

// The chart, painted from what the view hands it.
class RemovalView::Chart final : public QWidget {
public:
    explicit Chart(RemovalView& view) : QWidget(&view), view_(view) {
        setObjectName(QStringLiteral("REMOVAL_CHART"));
        setMinimumSize(LEAST_CHART);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), Qt::white);
        if (const auto& check = view_.shown()) {
            paint_removal_chart(painter, rect(), *check, view_.shown_caption(), view_.decimal_separator_,
                                view_.shown_text());
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
    tabs_ = new QTabBar(this);
    tabs_->setObjectName(QStringLiteral("REMOVAL_TABS"));
    tabs_->addTab(QStringLiteral("Predicted removal of the design"));
    tabs_->setVisible(false);
    connect(tabs_, &QTabBar::currentChanged, this, [this] { chart_->update(); });
    chart_ = new Chart(*this);
    figures_ = new QLabel(QString::fromLatin1(EMPTY_FIGURES), this);
    figures_->setObjectName(QStringLiteral("REMOVAL_FIGURES"));
    figures_->setWordWrap(true);
    save_ = new QPushButton(QStringLiteral("Save as PNG\u2026"), this);
    save_->setObjectName(QStringLiteral("REMOVAL_SAVE"));
    save_->setEnabled(false);
    connect(save_, &QPushButton::clicked, this, [this] { save_png(); });
    saved_ = new QLabel(this);
    saved_->setObjectName(QStringLiteral("REMOVAL_SAVED"));
    auto* row = new QHBoxLayout;
    row->addWidget(figures_, 1);
    auto* save_column = new QVBoxLayout;
    save_column->addWidget(save_);
    save_column->addWidget(saved_);
    row->addLayout(save_column);
    auto* column = new QVBoxLayout(this);
    column->addWidget(tabs_);
    column->addWidget(chart_, 1);
    column->addLayout(row);
}

RemovalView::~RemovalView() = default;

void RemovalView::show_state(LapDocument& doc) {
    document_ = &doc;
    const WorkingState& ws = doc.state();
    const std::optional<std::string> refused =
        ws.loaded ? removal_range_refusal(ws, decimal_separator_) : std::nullopt;
    if (!ws.loaded) {
        check_.reset();
        figures_->setText(QString::fromLatin1(EMPTY_FIGURES));
    } else if (refused) {
        // Values beyond what the prediction computes with: said, not charted.
        check_.reset();
        figures_->setText(QString::fromUtf8(*refused));
    } else {
        check_ = doc.removal_check();
        caption_ = ws.PLOT_CAPTION;
        std::string stroke = ws.SPINDLE ? "Spindle" : "2/5 Stroke";
        if (ws.fit_drawn()) stroke += std::string(", ") + ws.design_name();
        else if (ws.FREE_FOCUS) stroke += ", free focus";
        QString text = QString::fromUtf8(removal_summary(check_->fit, decimal_separator_)) + QStringLiteral("\n(") +
                       QString::fromStdString(stroke) + QStringLiteral(", ") + QString::number(ws.NUM_LEAVES) +
                       QStringLiteral(" leaves, ") +
                       QString::fromStdString(format_fixed(ws.EFFICIENCY, 0, decimal_separator_)) +
                       QStringLiteral(" % efficiency)");
        // The law and the stroke the prediction used; a "Spindle" lap wears
        // as its width under either.
        if (check_->stroke) {
            text += QStringLiteral("\nWear model: ") +
                    QString::fromUtf8(wear_model_summary(check_->wear, decimal_separator_));
        }
        // With a rate known, the prediction in minutes of polishing.
        if (const auto rate = doc.rate()) {
            const std::string line = without_line_end(polishing_time_line(check_->fit.tau, *rate, decimal_separator_));
            if (!line.empty()) text += QStringLiteral("\n") + QString::fromUtf8(line);
        }
        if (const auto& comparison = doc.comparison()) {
            text += QStringLiteral("\nLater test after ") +
                    QString::fromUtf8(format_significant(comparison->minutes, 3, decimal_separator_)) +
                    QStringLiteral(" minutes of polishing: ") +
                    QString::fromUtf8(comparison_summary(*comparison, decimal_separator_));
        }
        // The same warning as the plot and the exports where the edges cross.
        if (const std::string crossed = negative_width_warning(ws); !crossed.empty()) {
            text += QStringLiteral("\n") + QString::fromUtf8(crossed);
        }
        figures_->setText(text);
    }
    // The comparison's chart, while the document keeps the comparison.
    const auto& comparison = doc.comparison();
    if (comparison && check_) {
        RemovalCheck compared;
        compared.radius = comparison->radius;
        compared.measured = comparison->removal;
        compared.fit = comparison->chosen.fit;
        compared.wear = check_->wear;
        compared.stroke = check_->stroke;
        compared_ = std::move(compared);
        compared_caption_ = "Later test after " + format_significant(comparison->minutes, 3, decimal_separator_) +
                            " minutes: " + caption_to_utf8(comparison->later_caption);
        // The summary's figures in fewer words, to fit the chart's width.
        compared_figures_ = "Rate " + format_significant(comparison->chosen.rate, 4, decimal_separator_) +
                            " per minute: " +
                            format_decimals(comparison->chosen.share_explained, 1, decimal_separator_) +
                            " % explained by " + comparison->chosen.model + " (" +
                            format_decimals(comparison->other.share_explained, 1, decimal_separator_) + " % by " +
                            comparison->other.model + ")";
        if (tabs_->count() == 1) tabs_->addTab(QStringLiteral("Measured against predicted"));
        tabs_->setTabText(COMPARISON_TAB, QStringLiteral("Later test: measured against predicted"));
        tabs_->setVisible(true);
    } else {
        compared_.reset();
        if (tabs_->count() > 1) tabs_->removeTab(COMPARISON_TAB);
        tabs_->setVisible(false);
    }
    save_->setEnabled(shown().has_value());
    chart_->update();
}

const std::optional<RemovalCheck>& RemovalView::shown() const {
    return showing_comparison() ? compared_ : check_;
}

bool RemovalView::showing_comparison() const { return compared_ && tabs_->currentIndex() == COMPARISON_TAB; }

void RemovalView::select_comparison() {
    if (compared_) tabs_->setCurrentIndex(COMPARISON_TAB);
    save_->setEnabled(shown().has_value());
}

void RemovalView::select_design() {
    tabs_->setCurrentIndex(DESIGN_TAB);
    save_->setEnabled(shown().has_value());
}

RemovalChartText RemovalView::shown_text() const {
    if (!showing_comparison()) return {};
    return RemovalChartText{compared_figures_, {"measured removal", "predicted removal", "misfit"}};
}

std::string RemovalView::shown_caption() const { return showing_comparison() ? compared_caption_ : caption_; }

QString RemovalView::figures() const { return figures_->text(); }

void RemovalView::show_beside(const QWidget& main) {
    // The frame's decorations, as the desktop adds them to the main window
    // (none without a window manager).
    const QSize decoration = main.frameGeometry().size() - main.size();
    const QSize wanted = QSize(REMOVAL_CHART_WIDTH, REMOVAL_CHART_HEIGHT) + QSize(24, 90) + decoration;
    const QSize least = LEAST_CHART + QSize(24, 90) + decoration;
    const QScreen* screen = main.screen();
    const QRect available = screen != nullptr ? screen->availableGeometry() : QRect(0, 0, 1280, 1024);
    const QRect frame = frame_beside(main.frameGeometry(), wanted, least, available);
    resize(frame.size() - decoration);
    move(frame.topLeft());
    show();
}

QImage RemovalView::chart_image() const {
    const auto& check = shown();
    if (!check) return {};
    return removal_chart_image(*check, shown_caption(), decimal_separator_, shown_text());
}

void RemovalView::save_png() {
    const auto& check = shown();
    if (!check || document_ == nullptr) return;
    FileDialogSettings dialog;
    dialog.title = "Save the chart of the predicted removal";
    dialog.filter = "PNG images (*.png)|*.png";
    dialog.file_name = "removal.png";
    if (!dialogs_.save_dialog(dialog, folder_)) return;
    std::string path = dialog.file_name;
    const std::size_t slash = path.rfind('/');
    const QString name = QString::fromStdString(slash == std::string::npos ? path : path.substr(slash + 1));
    if (!name.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive)) path += ".png";
    if (const auto refused = document_->save_refusal(path)) {
        dialogs_.message(*refused);
        return;
    }
    const QByteArray png = removal_chart_png(*check, shown_caption(), decimal_separator_, shown_text());
    if (png.isEmpty()) {
        dialogs_.message("The chart could not be encoded as PNG.");
        return;
    }
    const SaveOutcome saved = document_->save(path, std::string_view(png.constData(), static_cast<std::size_t>(png.size())));
    if (saved.failure) {
        dialogs_.message(*saved.failure);
        saved_->clear();
        return;
    }
    const QString where = QString::fromStdString(SAVED_NOTICE) + QFile::decodeName(QByteArray::fromStdString(path));
    saved_->setText(saved_->fontMetrics().elidedText(where, Qt::ElideMiddle, SAVED_WIDTH));
    saved_->setToolTip(where);
}

}  // namespace dz
