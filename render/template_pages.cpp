// SPDX-License-Identifier: GPL-3.0-or-later
#include "render/template_pages.hpp"

#include <QBuffer>
#include <QFont>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>
#include <QSvgGenerator>

#include <cmath>

#include "lap_template/template_files.hpp"
#include "working_state/working_state.hpp"

namespace dz {

namespace {

const QColor CUT_AWAY(0xd9, 0xd9, 0xd9);  // what is cut away: light grey
constexpr double LEAF_PEN = 0.2;         // mm
constexpr double RIM_PEN = 0.3;          // mm
constexpr double TEXT_SIZE = 2.6;        // mm, height of the title block's letters
constexpr double LINE_PITCH = 4.2;       // mm
constexpr double MM_PER_INCH = 25.4;

QPen pen(double width, const QColor& color = Qt::black) {
    QPen p(color, width);
    p.setCapStyle(Qt::FlatCap);
    p.setJoinStyle(Qt::MiterJoin);
    return p;
}

// Text of `size` mm at (x, y) mm (the baseline's left end unless `flags`
// align it in the box of `width`). Fonts have whole pixel sizes, so the text
// is drawn at ten times the size in a tenfold smaller scale.
void text(QPainter& painter, double x, double y, double size, const QString& s, bool bold = false,
          double width = 0, Qt::Alignment flags = Qt::AlignLeft) {
    painter.save();
    painter.translate(x, y);
    painter.scale(0.1, 0.1);
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPixelSize(static_cast<int>(std::lround(size * 10)));
    font.setBold(bold);
    painter.setFont(font);
    painter.setPen(Qt::black);
    QString shown = s;
    if (width > 0) shown = QFontMetricsF(font).elidedText(s, Qt::ElideRight, width * 10);
    if (flags & Qt::AlignHCenter) {
        painter.drawText(QRectF(0, -size * 10, width * 10, size * 13), Qt::AlignHCenter | Qt::AlignTop, shown);
    } else {
        painter.drawText(QPointF(0, 0), shown);
    }
    painter.restore();
}

// A scale bar of `length` mm from (x, y) with ticks every `step` mm and the label under it.
void scale_bar(QPainter& painter, double x, double y, double length, double step, const QString& label) {
    painter.setPen(pen(0.25));
    painter.setBrush(Qt::NoBrush);
    painter.drawLine(QPointF(x, y), QPointF(x + length, y));
    const int ticks = static_cast<int>(std::lround(length / step));
    for (int i = 0; i <= ticks; ++i) {
        const double tick = (i == 0 || i == ticks) ? 3 : (ticks == 10 && i == 5) ? 2 : 1.2;
        painter.drawLine(QPointF(x + i * step, y), QPointF(x + i * step, y - tick));
    }
    text(painter, x, y + 3.6, TEXT_SIZE, label, false, length, Qt::AlignHCenter);
}

// An alignment mark: a cross in a circle, lap coordinates.
void alignment_mark(QPainter& painter, double x, double y) {
    painter.setPen(pen(0.2));
    painter.setBrush(Qt::NoBrush);
    painter.drawLine(QPointF(x - 5, y), QPointF(x + 5, y));
    painter.drawLine(QPointF(x, y - 5), QPointF(x, y + 5));
    painter.drawEllipse(QPointF(x, y), 2.5, 2.5);
}

// Qt's SVG generator ends a closed subpath with a line back to its start but
// writes no closepath command, and cutter programs take only a path with one
// as a closed outline: a path whose last point is its first gets its "Z".
QByteArray close_paths(const QByteArray& svg) {
    QByteArray out;
    qsizetype at = 0;
    const QByteArray open = "<path ";
    while (true) {
        const qsizetype start = svg.indexOf(open, at);
        if (start < 0) break;
        const qsizetype d = svg.indexOf(" d=\"", start);
        const qsizetype end = d < 0 ? -1 : svg.indexOf('"', d + 4);
        if (end < 0) break;
        const QByteArray path = svg.mid(d + 4, end - d - 4);
        out += svg.mid(at, end - at);
        const qsizetype first_end = path.indexOf(' ');
        const qsizetype last_start = path.lastIndexOf(' ');
        if (path.startsWith('M') && first_end > 0 && last_start > 0 &&
            path.mid(1, first_end - 1) == path.mid(last_start + 2)) {
            out += " Z";
        }
        at = end;
    }
    out += svg.mid(at);
    return out;
}

}  // namespace

QString xml_text(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (const char32_t c : text.toUcs4()) {  // unpaired surrogates come as U+FFFD
        const bool allowed = c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
                             (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
        const char32_t shown = allowed ? c : U'\uFFFD';
        switch (shown) {
        case U'&': out += QStringLiteral("&amp;"); break;
        case U'<': out += QStringLiteral("&lt;"); break;
        case U'>': out += QStringLiteral("&gt;"); break;
        case U'"': out += QStringLiteral("&quot;"); break;
        case U'\'': out += QStringLiteral("&apos;"); break;
        default: out += QString::fromUcs4(&shown, 1);
        }
    }
    return out;
}

TemplateDocument template_document(const WorkingState& ws, Paper paper, char decimal_separator,
                                   const std::string& date) {
    TemplateDocument doc;
    doc.lap = build_lap_template(ws);
    if (page_count(doc.lap.outer_radius, paper) <= MAX_TEMPLATE_PAGES) {
        doc.plan = plan_pages(doc.lap.outer_radius, paper);
    }
    doc.paper = paper;
    doc.title = template_title(ws, decimal_separator, date);
    return doc;
}

void paint_lap(QPainter& painter, const LapTemplate& lap) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const double r = lap.outer_radius;
    // What is cut away: the disc, the leaves painted over it.
    painter.setPen(Qt::NoPen);
    painter.setBrush(CUT_AWAY);
    painter.drawEllipse(QPointF(0, 0), r, r);
    painter.setPen(pen(LEAF_PEN));
    painter.setBrush(Qt::white);
    for (const TemplateLeaf& leaf : lap.leaf) {
        if (leaf.outline.empty()) continue;
        QPainterPath path;
        path.setFillRule(Qt::WindingFill);
        path.moveTo(leaf.outline[0].x, leaf.outline[0].y);
        for (std::size_t j = 1; j < leaf.outline.size(); ++j) path.lineTo(leaf.outline[j].x, leaf.outline[j].y);
        path.closeSubpath();
        painter.drawPath(path);
    }
    painter.setBrush(Qt::NoBrush);
    painter.setPen(pen(RIM_PEN));
    painter.drawEllipse(QPointF(0, 0), r, r);
    painter.setPen(pen(LEAF_PEN));
    const double m = lap.centre_mark;
    painter.drawLine(QPointF(-m, 0), QPointF(m, 0));
    painter.drawLine(QPointF(0, -m), QPointF(0, m));
    painter.restore();
}

void paint_template_page(QPainter& painter, const TemplateDocument& doc, std::size_t index) {
    const PagePlan& plan = doc.plan;
    const PlannedPage& page = plan.pages.at(index);
    const QRectF area(page.area.x, page.area.y, page.area.width, page.area.height);

    // The lap's part of this page, at 1:1.
    painter.save();
    painter.setClipRect(area);
    painter.translate(page.area.x - page.lap_left, page.area.y + page.lap_top);
    painter.scale(1, -1);
    paint_lap(painter, doc.lap);
    if (plan.tiled) {
        for (const std::size_t i : page.marks) alignment_mark(painter, plan.marks[i].x, plan.marks[i].y);
    }
    painter.restore();

    if (plan.tiled) {
        // The window's frame and, dashed, where the neighbours' windows begin.
        painter.setBrush(Qt::NoBrush);
        painter.setPen(pen(0.15, Qt::darkGray));
        painter.drawRect(area);
        QPen dashed = pen(0.15, Qt::darkGray);
        dashed.setDashPattern({8, 8});
        painter.setPen(dashed);
        const double o = TILE_OVERLAP;
        if (page.column > 0) painter.drawLine(QPointF(area.left() + o, area.top()), QPointF(area.left() + o, area.bottom()));
        if (page.column + 1 < plan.columns) {
            painter.drawLine(QPointF(area.right() - o, area.top()), QPointF(area.right() - o, area.bottom()));
        }
        if (page.row > 0) painter.drawLine(QPointF(area.left(), area.top() + o), QPointF(area.right(), area.top() + o));
        if (page.row + 1 < plan.rows) {
            painter.drawLine(QPointF(area.left(), area.bottom() - o), QPointF(area.right(), area.bottom() - o));
        }
    }

    // Title block on the left, the page label and the scale bars on the right.
    const PlanRect& block = page.block;
    const double bars_width = 104;
    const double text_width = block.width - bars_width - 4;
    double y = block.y + 6;
    for (const auto& [label, value] : doc.title.rows) {
        text(painter, block.x, y, TEXT_SIZE, QString::fromUtf8(label) + QStringLiteral(":"), true);
        text(painter, block.x + 22, y, TEXT_SIZE, QString::fromUtf8(value), false, text_width - 22);
        y += LINE_PITCH;
    }
    const double bars_x = block.x + block.width - bars_width + 2;
    const int count = static_cast<int>(plan.pages.size());
    const QString label =
        plan.tiled ? QStringLiteral("Page %1 of %2: row %3, column %4")
                         .arg(index + 1)
                         .arg(count)
                         .arg(page.row + 1)
                         .arg(page.column + 1)
                   : QStringLiteral("Whole lap, 1:1");
    text(painter, bars_x, block.y + 6, TEXT_SIZE, label, true);
    scale_bar(painter, bars_x, block.y + 15, 100, 10, QStringLiteral("100 mm"));
    if (doc.paper == Paper::letter) scale_bar(painter, bars_x, block.y + 25, 4 * MM_PER_INCH, MM_PER_INCH, QStringLiteral("4 in"));
    text(painter, bars_x, block.y + (doc.paper == Paper::letter ? 34 : 26), TEXT_SIZE * 0.9,
         QStringLiteral("Print at 100 % (actual size): the bar must measure 100 mm."));
}

bool paint_template_pages(QPagedPaintDevice& device, const TemplateDocument& doc, const PageProgress& progress) {
    const std::size_t total = doc.plan.pages.size();
    if (total == 0) return false;
    QPainter painter;
    if (!painter.begin(&device)) return false;
    const double dots_per_mm = device.logicalDpiX() / MM_PER_INCH;
    for (std::size_t i = 0; i < total; ++i) {
        if (progress && !progress(i, total)) {
            painter.end();
            return false;
        }
        if (i > 0) device.newPage();
        painter.save();
        painter.scale(dots_per_mm, device.logicalDpiY() / MM_PER_INCH);
        paint_template_page(painter, doc, i);
        painter.restore();
    }
    if (progress) progress(total, total);
    return painter.end();
}

QByteArray template_pdf(const TemplateDocument& doc, const PageProgress& progress) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        writer.setResolution(1200);
        writer.setPageLayout(QPageLayout(QPageSize(doc.paper == Paper::letter ? QPageSize::Letter : QPageSize::A4),
                                         QPageLayout::Portrait, QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter));
        writer.setTitle(QString::fromUtf8(doc.title.rows.empty() ? "" : doc.title.rows[0].second) +
                        QStringLiteral(" - lap template"));
        writer.setCreator(QStringLiteral("Doroziri"));
        if (!paint_template_pages(writer, doc, progress)) return {};
    }
    return bytes;
}

QByteArray template_svg(const TemplateDocument& doc) {
    constexpr double margin = 5;
    // Whole millimetres, so that the size and the viewBox agree exactly.
    const double side = std::ceil(2 * (doc.lap.outer_radius + margin));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QSvgGenerator svg;
    svg.setOutputDevice(&buffer);
    svg.setResolution(254);  // ten units to the millimetre
    const int units = static_cast<int>(std::lround(side * 10));
    svg.setSize(QSize(units, units));
    svg.setViewBox(QRectF(0, 0, side, side));
    QString description;
    for (const auto& [label, value] : doc.title.rows) {
        description += QString::fromUtf8(label) + QStringLiteral(": ") + QString::fromUtf8(value) + QLatin1Char('\n');
    }
    // The generator writes both texts into the XML as they are.
    svg.setTitle(xml_text(QString::fromUtf8(doc.title.rows.empty() ? "" : doc.title.rows[0].second)));
    svg.setDescription(xml_text(description.trimmed()));
    QPainter painter;
    if (!painter.begin(&svg)) return {};
    painter.translate(side / 2, side / 2);
    painter.scale(1, -1);
    paint_lap(painter, doc.lap);
    if (!painter.end()) return {};
    return close_paths(bytes);
}

}  // namespace dz
