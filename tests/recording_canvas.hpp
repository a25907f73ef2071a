// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A canvas that draws nothing and records every call with its arguments and
// the pen, brush and font colours in force at that moment. Used by the tests
// and the fuzzers to check what the lap plot asks the platform to draw.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "drawing/canvas.hpp"

namespace dz {

enum class CanvasOp {
    set_brush_solid,
    set_pen_colour,
    set_font_colour,
    fill_rect,
    move_to,
    line_to,
    polyline,
    arc,
    text_out,
};

struct CanvasCall {
    CanvasOp op{};
    // The argument of the set_* calls.
    Rgb colour;
    // fill_rect and arc: the rectangle (left, top, right, bottom).
    int left = 0, top = 0, right = 0, bottom = 0;
    // move_to, line_to, text_out: p. arc: p = start, q = end.
    Pixel p, q;
    std::vector<Pixel> points;  // polyline
    std::string text;           // text_out
    // State after the call (for the set_* calls, including their own change).
    Rgb pen, brush, font;
};

class RecordingCanvas final : public Canvas {
public:
    void set_brush_solid(Rgb colour) override;
    void set_pen_colour(Rgb colour) override;
    void set_font_colour(Rgb colour) override;
    void fill_rect(int left, int top, int right, int bottom) override;
    void move_to(Pixel p) override;
    void line_to(Pixel p) override;
    void polyline(std::span<const Pixel> points) override;
    void arc(int left, int top, int right, int bottom, Pixel start, Pixel end) override;
    void text_out(Pixel top_left, std::string_view text) override;

    [[nodiscard]] const std::vector<CanvasCall>& calls() const { return calls_; }
    [[nodiscard]] std::size_t count(CanvasOp op) const;
    // The recorded calls of one kind, in order.
    [[nodiscard]] std::vector<CanvasCall> of(CanvasOp op) const;
    void clear();

private:
    CanvasCall& record(CanvasOp op);

    std::vector<CanvasCall> calls_;
    // The platform canvas starts with a black pen, a white brush and black text.
    Rgb pen_{0, 0, 0};
    Rgb brush_{255, 255, 255};
    Rgb font_{0, 0, 0};
};

}  // namespace dz
