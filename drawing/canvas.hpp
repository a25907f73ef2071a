// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The small drawing interface the lap plot draws on. The Qt painter and the
// test recorder implement it.

#include <cstdint>
#include <span>
#include <string_view>

namespace dz {

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

struct Pixel {
    int x = 0, y = 0;
    friend bool operator==(const Pixel&, const Pixel&) = default;
};

class Canvas {
public:
    virtual ~Canvas() = default;
    virtual void set_brush_solid(Rgb colour) = 0;
    virtual void set_pen_colour(Rgb colour) = 0;  // width 1, solid
    virtual void set_font_colour(Rgb colour) = 0;
    // Filled rectangle with the brush (outline in the pen colour), from
    // (left, top) to (right, bottom), right and bottom excluded.
    virtual void fill_rect(int left, int top, int right, int bottom) = 0;
    virtual void move_to(Pixel p) = 0;
    virtual void line_to(Pixel p) = 0;  // from the current position; moves it
    virtual void polyline(std::span<const Pixel> points) = 0;
    // Elliptical arc in the bounding box (left, top)-(right, bottom), drawn
    // counterclockwise on screen from the ray through `start` to the ray
    // through `end` (the Windows GDI Arc semantics).
    virtual void arc(int left, int top, int right, int bottom, Pixel start, Pixel end) = 0;
    // Text (UTF-8) with its top-left corner at p, on an opaque background in
    // the brush colour.
    virtual void text_out(Pixel top_left, std::string_view text) = 0;
};

}  // namespace dz
