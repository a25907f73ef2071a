// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The lap plot's canvas on a Qt image: the window and the PNG output both
// draw through it, so they show the same pixels.

#include <memory>

#include "drawing/canvas.hpp"

class QFont;
class QImage;
class QPainter;

namespace dz {

// Paints on a QImage through a QPainter held for the canvas's lifetime:
// no antialiasing, cosmetic solid pens one pixel wide, one fixed label font.
// A QGuiApplication must exist (text needs the font database). An image with
// a device pixel ratio above 1 (a high-density screen) is painted with the
// same coordinates, sharper: its pens are as many image pixels wide as the
// ratio, rounded.
//
// Pixel conventions:
// - fill_rect(l, t, r, b) covers columns l .. r-1 and rows t .. b-1 (right and
//   bottom excluded), filled with the brush and outlined by the pen along its
//   outermost pixels. (0, 0, width, height) covers the whole image.
// - line_to and polyline include both end points.
// - arc(l, t, r, b, start, end) is the ellipse inscribed in the rectangle
//   whose corners are the pixel centres (l, t) and (r, b), so (20, 20, 622, 622)
//   touches columns 20 and 622; drawn counterclockwise on screen from the ray
//   through `start` to the ray through `end`; coinciding rays give the full
//   ellipse.
// - text_out fills the text's box in the brush colour, then writes the text in
//   the font colour, the box's top-left corner at the given point.
class QtCanvas final : public Canvas {
public:
    explicit QtCanvas(QImage& image);
    ~QtCanvas() override;
    QtCanvas(const QtCanvas&) = delete;
    QtCanvas& operator=(const QtCanvas&) = delete;

    void set_brush_solid(Rgb colour) override;
    void set_pen_colour(Rgb colour) override;
    void set_font_colour(Rgb colour) override;
    void fill_rect(int left, int top, int right, int bottom) override;
    void move_to(Pixel p) override;
    void line_to(Pixel p) override;
    void polyline(std::span<const Pixel> points) override;
    void arc(int left, int top, int right, int bottom, Pixel start, Pixel end) override;
    void text_out(Pixel top_left, std::string_view text) override;

    // The label font: Liberation Sans, 11 pixels, no antialiasing, full hinting.
    [[nodiscard]] static QFont label_font();

    // Start angle and counterclockwise span, in degrees, of the arc from the
    // ray through `start` to the ray through `end` about the centre of the
    // rectangle, as angles of the ellipse's parametrisation (Qt's convention:
    // 0 at three o'clock, counterclockwise on screen positive). The start lies
    // in [0, 360), the span in (0, 360].
    struct ArcAngles {
        double start = 0;
        double span = 0;
    };
    [[nodiscard]] static ArcAngles arc_angles(int left, int top, int right, int bottom, Pixel start, Pixel end);

private:
    std::unique_ptr<QPainter> painter_;
    int pen_width_ = 1;
    Rgb pen_{0, 0, 0};
    Rgb brush_{255, 255, 255};
    Rgb font_{0, 0, 0};
    Pixel current_;
};

}  // namespace dz
