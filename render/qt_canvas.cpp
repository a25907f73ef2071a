// SPDX-License-Identifier: GPL-3.0-or-later
#include "render/qt_canvas.hpp"

#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QPoint>
#include <QPolygon>
#include <QRect>
#include <QRectF>
#include <QString>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>

#include "rounded_trig/rounded_trig.hpp"

namespace dz {
namespace {

QColor to_qcolor(Rgb c) { return QColor(c.r, c.g, c.b); }

// One pixel of the plot wide: one pixel of the image, or as many as an image
// painted at a higher device pixel ratio gives a pixel of the plot.
QPen cosmetic_pen(Rgb c, int width) {
    QPen pen(to_qcolor(c));
    pen.setWidth(width);
    pen.setCosmetic(true);
    pen.setStyle(Qt::SolidLine);
    return pen;
}

QPoint to_qpoint(Pixel p) { return QPoint(p.x, p.y); }

}  // namespace

QtCanvas::QtCanvas(QImage& image)
    : painter_(std::make_unique<QPainter>(&image)),
      pen_width_(std::max(1, static_cast<int>(std::lround(image.devicePixelRatio())))) {
    painter_->setRenderHint(QPainter::Antialiasing, false);
    painter_->setRenderHint(QPainter::TextAntialiasing, false);
    painter_->setBackgroundMode(Qt::TransparentMode);  // text_out paints its own box
    painter_->setBrush(Qt::NoBrush);                   // fills go through fillRect only
    painter_->setPen(cosmetic_pen(pen_, pen_width_));
    painter_->setFont(label_font());
}

QtCanvas::~QtCanvas() { painter_->end(); }

QFont QtCanvas::label_font() {
    QFont font(QStringLiteral("Liberation Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(11);
    font.setStyleStrategy(QFont::NoAntialias);
    font.setHintingPreference(QFont::PreferFullHinting);
    return font;
}

void QtCanvas::set_brush_solid(Rgb colour) { brush_ = colour; }

void QtCanvas::set_pen_colour(Rgb colour) {
    pen_ = colour;
    painter_->setPen(cosmetic_pen(pen_, pen_width_));
}

void QtCanvas::set_font_colour(Rgb colour) { font_ = colour; }

void QtCanvas::fill_rect(int left, int top, int right, int bottom) {
    const QRect area(QPoint(std::min(left, right), std::min(top, bottom)),
                     QPoint(std::max(left, right) - 1, std::max(top, bottom) - 1));
    if (area.isEmpty()) {
        return;
    }
    painter_->fillRect(area, to_qcolor(brush_));
    // A one-pixel pen draws QRect's outline on its first and last rows and
    // columns.
    painter_->drawRect(area.adjusted(0, 0, -1, -1));
}

void QtCanvas::move_to(Pixel p) { current_ = p; }

void QtCanvas::line_to(Pixel p) {
    painter_->drawLine(to_qpoint(current_), to_qpoint(p));
    current_ = p;
}

void QtCanvas::polyline(std::span<const Pixel> points) {
    if (points.size() < 2) {
        return;  // a single point is no line
    }
    QPolygon polygon;
    polygon.reserve(static_cast<qsizetype>(points.size()));
    for (const Pixel& p : points) {
        polygon.append(to_qpoint(p));
    }
    painter_->drawPolyline(polygon);
}

QtCanvas::ArcAngles QtCanvas::arc_angles(int left, int top, int right, int bottom, Pixel start, Pixel end) {
    const double cx = (static_cast<double>(left) + right) / 2;
    const double cy = (static_cast<double>(top) + bottom) / 2;
    double rx = std::abs(static_cast<double>(right) - left) / 2;
    double ry = std::abs(static_cast<double>(bottom) - top) / 2;
    if (rx == 0) rx = 1;
    if (ry == 0) ry = 1;
    // Screen y grows downwards; the angles count upwards. Dividing by the
    // radii turns the ray's direction into the ellipse's parameter, which is
    // what Qt's arc angles are.
    // The angle is taken correctly rounded, so that it is the same on every
    // processor (the C library's double atan2 has variants for processors
    // with fused multiply-add that may differ in the last bit).
    const auto angle = [&](Pixel p) {
        const Real a = rounded_atan2(static_cast<Real>(-(p.y - cy) / ry), static_cast<Real>((p.x - cx) / rx));
        return static_cast<double>(a) * 180 / std::numbers::pi;
    };
    double a0 = angle(start);
    if (a0 < 0) {
        a0 += 360;
    }
    double span = std::fmod(angle(end) - a0, 360.0);
    if (span <= 0) {
        span += 360;  // coinciding rays: the full ellipse
    }
    return ArcAngles{a0, span};
}

void QtCanvas::arc(int left, int top, int right, int bottom, Pixel start, Pixel end) {
    const QRectF box(QPointF(std::min(left, right), std::min(top, bottom)),
                     QPointF(std::max(left, right), std::max(top, bottom)));
    const ArcAngles angles = arc_angles(left, top, right, bottom, start, end);
    QPainterPath path;
    path.arcMoveTo(box, angles.start);
    path.arcTo(box, angles.start, angles.span);
    painter_->drawPath(path);
}

void QtCanvas::text_out(Pixel top_left, std::string_view text) {
    const QString s = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    const QFontMetrics metrics(painter_->font());
    const QRect box(top_left.x, top_left.y, metrics.horizontalAdvance(s), metrics.height());
    painter_->fillRect(box, to_qcolor(brush_));
    painter_->setPen(cosmetic_pen(font_, pen_width_));
    painter_->drawText(QPoint(top_left.x, top_left.y + metrics.ascent()), s);
    painter_->setPen(cosmetic_pen(pen_, pen_width_));
}

}  // namespace dz
