// SPDX-License-Identifier: GPL-3.0-or-later
#include "render/removal_chart_painter.hpp"

#include <QBuffer>
#include <QByteArray>
#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QRect>
#include <QString>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <utility>
#include <vector>

namespace dz {

namespace {

// Tick marks of an axis: a step of 1, 2 or 5 times a power of ten giving
// about `count` intervals over [low, high], and the decimals its labels need.
struct Ticks {
    double first = 0, step = 1;
    int decimals = 0;
};

Ticks ticks_for(double low, double high, int count) {
    Ticks t;
    const double raw = (high - low) / count;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    const double fraction = raw / power;
    t.step = (fraction <= 1 ? 1 : fraction <= 2 ? 2 : fraction <= 5 ? 5 : 10) * power;
    t.first = std::ceil(low / t.step - 1e-9) * t.step;
    t.decimals = std::clamp(static_cast<int>(-std::floor(std::log10(t.step) + 1e-9)), 0, 12);
    return t;
}

QString text_of(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

struct Series {
    const std::vector<double>* values;
    QColor colour;
    Qt::PenStyle style;
    const std::string* name;
};

}  // namespace

void paint_removal_chart(QPainter& painter, const QRect& area, const RemovalCheck& check,
                         const std::string& caption, char decimal_separator, const RemovalChartText& text) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.fillRect(area, Qt::white);
    QFont font = painter.font();
    font.setPixelSize(13);
    painter.setFont(font);
    const QFontMetrics metrics(font);
    const int line = metrics.height();

    // title and figures
    painter.setPen(Qt::black);
    QRect title(area.left() + 8, area.top() + 6, area.width() - 16, line);
    painter.drawText(title, Qt::AlignHCenter | Qt::AlignVCenter,
                     metrics.elidedText(text_of(caption), Qt::ElideRight, title.width()));
    QFont bold = font;
    bold.setBold(true);
    painter.setFont(bold);
    const QRect figures = title.translated(0, line + 2);
    // A figures line of the caller's may be longer than the chart is wide.
    const QString figures_text = text.figures.empty()
                                     ? text_of(removal_summary(check.fit, decimal_separator))
                                     : QFontMetrics(bold).elidedText(text_of(text.figures), Qt::ElideRight,
                                                                     figures.width());
    painter.drawText(figures, Qt::AlignHCenter | Qt::AlignVCenter, figures_text);
    painter.setFont(font);

    if (check.radius.empty()) {
        painter.restore();
        return;
    }

    // the ranges of both axes
    const auto [r_low, r_high] = std::minmax_element(check.radius.begin(), check.radius.end());
    double x0 = std::min(0.0, *r_low), x1 = *r_high;
    if (!(x1 > x0)) x1 = x0 + 1;
    double y0 = 0, y1 = 0;
    for (const auto* values : {&check.measured, &check.fit.predicted, &check.fit.residual}) {
        for (const double v : *values) {
            if (std::isfinite(v)) {
                y0 = std::min(y0, v);
                y1 = std::max(y1, v);
            }
        }
    }
    if (!(y1 > y0)) y1 = y0 + 1;
    const double pad = 0.06 * (y1 - y0);
    y0 -= pad;
    y1 += pad;

    // The y labels first: the plot leaves them the room the widest needs,
    // and beyond a third of the width they are written with an exponent.
    const Ticks yt = ticks_for(y0, y1, 6);
    std::vector<std::pair<double, QString>> y_labels;
    for (double y = yt.first; y <= y1 + 1e-9 * (y1 - y0); y += yt.step) {
        y_labels.emplace_back(y, text_of(format_decimals(std::fabs(y) < 1e-9 * yt.step ? 0.0 : y, yt.decimals,
                                                         decimal_separator)));
    }
    const auto widest = [&] {
        int w = 0;
        for (const auto& label : y_labels) w = std::max(w, metrics.horizontalAdvance(label.second));
        return w;
    };
    const int label_room = area.width() / 3;
    if (widest() > label_room) {
        for (auto& [y, label] : y_labels) {
            label = QString::number(std::fabs(y) < 1e-9 * yt.step ? 0.0 : y, 'g', 4);
            label.replace(QLatin1Char('.'), QLatin1Char(decimal_separator));
        }
    }
    const int left_room = std::max(70, widest() + line + 14);

    // the plot rectangle, with room for the tick labels and the axis titles
    const QRect plot(area.left() + left_room, figures.bottom() + line + 4, area.width() - left_room - 20,
                     area.height() - (figures.bottom() - area.top()) - line * 3 - 22);
    if (plot.width() < 40 || plot.height() < 40) {
        painter.restore();
        return;
    }
    // The data keep MARKER_ROOM pixels from the frame at both ends, so that
    // the markers of the first and the last zone stand whole inside it.
    constexpr double MARKER_ROOM = 6;
    const auto px = [&](double x) {
        return plot.left() + MARKER_ROOM + (x - x0) / (x1 - x0) * (plot.width() - 2 * MARKER_ROOM);
    };
    const auto py = [&](double y) { return plot.bottom() - (y - y0) / (y1 - y0) * plot.height(); };

    // grid, ticks and their labels
    const QPen grid(QColor(225, 225, 225), 1);
    const QPen axis(Qt::black, 1);
    const Ticks xt = ticks_for(x0, x1, 8);
    for (double x = xt.first; x <= x1 + 1e-9 * (x1 - x0); x += xt.step) {
        painter.setPen(grid);
        painter.drawLine(QPointF(px(x), plot.top()), QPointF(px(x), plot.bottom()));
        painter.setPen(axis);
        painter.drawText(QRectF(px(x) - 40, plot.bottom() + 4, 80, line), Qt::AlignHCenter | Qt::AlignTop,
                         text_of(format_decimals(x, xt.decimals, decimal_separator)));
    }
    for (const auto& [y, label] : y_labels) {
        painter.setPen(grid);
        painter.drawLine(QPointF(plot.left(), py(y)), QPointF(plot.right(), py(y)));
        painter.setPen(axis);
        painter.drawText(QRectF(plot.left() - left_room + line + 4, py(y) - line / 2.0, left_room - line - 10, line),
                         Qt::AlignRight | Qt::AlignVCenter, label);
    }
    painter.setPen(QPen(QColor(150, 150, 150), 1, Qt::DotLine));
    painter.drawLine(QPointF(plot.left(), py(0)), QPointF(plot.right(), py(0)));
    painter.setPen(axis);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(plot);

    // axis titles
    painter.drawText(QRect(plot.left(), plot.bottom() + line + 6, plot.width(), line), Qt::AlignHCenter,
                     QStringLiteral("radius, mm"));
    painter.save();
    painter.translate(area.left() + 4 + line / 2.0, plot.center().y());
    painter.rotate(-90);
    painter.drawText(QRectF(-plot.height() / 2.0, -line / 2.0, plot.height(), line), Qt::AlignCenter,
                     QStringLiteral("height (units of the surface file)"));
    painter.restore();

    // the three curves, zones in order of radius
    std::vector<std::size_t> order(check.radius.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t p, std::size_t q) { return check.radius[p] < check.radius[q]; });
    const Series series[] = {{&check.measured, QColor(0, 0, 0), Qt::SolidLine, &text.series[0]},
                             {&check.fit.predicted, QColor(0, 90, 200), Qt::SolidLine, &text.series[1]},
                             {&check.fit.residual, QColor(200, 30, 30), Qt::DashLine, &text.series[2]}};
    painter.setClipRect(plot.adjusted(1, 1, -1, -1));
    // the prediction first, so that the measured values stay in sight where
    // the two meet
    for (const int index : {1, 0, 2}) {
        const Series& s = series[index];
        QPainterPath path;
        bool started = false;
        for (const std::size_t k : order) {
            const QPointF p(px(check.radius[k]), py((*s.values)[k]));
            if (!started) path.moveTo(p);
            else path.lineTo(p);
            started = true;
        }
        painter.setPen(QPen(s.colour, 2, s.style));
        painter.drawPath(path);
        if (order.size() <= 60) {
            painter.setBrush(s.colour);
            for (const std::size_t k : order) painter.drawEllipse(QPointF(px(check.radius[k]), py((*s.values)[k])), 2.5, 2.5);
            painter.setBrush(Qt::NoBrush);
        }
    }
    painter.setClipping(false);

    // the legend, top right inside the plot
    int legend_width = 120;
    for (const Series& s : series) legend_width = std::max(legend_width, metrics.horizontalAdvance(text_of(*s.name)) + 56);
    const QRect legend(plot.right() - legend_width - 8, plot.top() + 8, legend_width, line * 3 + 10);
    painter.setPen(QPen(QColor(160, 160, 160), 1));
    painter.setBrush(QColor(255, 255, 255, 230));
    painter.drawRect(legend);
    painter.setBrush(Qt::NoBrush);
    for (int k = 0; k < 3; ++k) {
        const double y = legend.top() + 5 + line * (k + 0.5);
        painter.setPen(QPen(series[k].colour, 2, series[k].style));
        painter.drawLine(QPointF(legend.left() + 8, y), QPointF(legend.left() + 36, y));
        painter.setPen(Qt::black);
        painter.drawText(QRectF(legend.left() + 44, y - line / 2.0, legend_width - 48, line),
                         Qt::AlignLeft | Qt::AlignVCenter, text_of(*series[k].name));
    }
    painter.restore();
}

QImage removal_chart_image(const RemovalCheck& check, const std::string& caption, char decimal_separator,
                           const RemovalChartText& text) {
    QImage image(REMOVAL_CHART_WIDTH, REMOVAL_CHART_HEIGHT, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    paint_removal_chart(painter, image.rect(), check, caption, decimal_separator, text);
    return image;
}

QByteArray removal_chart_png(const RemovalCheck& check, const std::string& caption, char decimal_separator,
                             const RemovalChartText& text) {
    const QImage image = removal_chart_image(check, caption, decimal_separator, text);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG")) bytes.clear();
    return bytes;
}

}  // namespace dz
