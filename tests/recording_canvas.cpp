// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/recording_canvas.hpp"

#include <algorithm>
#include <iterator>

namespace dz {

CanvasCall& RecordingCanvas::record(CanvasOp op) {
    CanvasCall& call = calls_.emplace_back();
    call.op = op;
    call.pen = pen_;
    call.brush = brush_;
    call.font = font_;
    return call;
}

void RecordingCanvas::set_brush_solid(Rgb colour) {
    brush_ = colour;
    record(CanvasOp::set_brush_solid).colour = colour;
}

void RecordingCanvas::set_pen_colour(Rgb colour) {
    pen_ = colour;
    record(CanvasOp::set_pen_colour).colour = colour;
}

void RecordingCanvas::set_font_colour(Rgb colour) {
    font_ = colour;
    record(CanvasOp::set_font_colour).colour = colour;
}

void RecordingCanvas::fill_rect(int left, int top, int right, int bottom) {
    CanvasCall& call = record(CanvasOp::fill_rect);
    call.left = left;
    call.top = top;
    call.right = right;
    call.bottom = bottom;
}

void RecordingCanvas::move_to(Pixel p) { record(CanvasOp::move_to).p = p; }

void RecordingCanvas::line_to(Pixel p) { record(CanvasOp::line_to).p = p; }

void RecordingCanvas::polyline(std::span<const Pixel> points) {
    record(CanvasOp::polyline).points.assign(points.begin(), points.end());
}

void RecordingCanvas::arc(int left, int top, int right, int bottom, Pixel start, Pixel end) {
    CanvasCall& call = record(CanvasOp::arc);
    call.left = left;
    call.top = top;
    call.right = right;
    call.bottom = bottom;
    call.p = start;
    call.q = end;
}

void RecordingCanvas::text_out(Pixel top_left, std::string_view text) {
    CanvasCall& call = record(CanvasOp::text_out);
    call.p = top_left;
    call.text.assign(text);
}

std::size_t RecordingCanvas::count(CanvasOp op) const {
    return static_cast<std::size_t>(
        std::count_if(calls_.begin(), calls_.end(), [op](const CanvasCall& c) { return c.op == op; }));
}

std::vector<CanvasCall> RecordingCanvas::of(CanvasOp op) const {
    std::vector<CanvasCall> out;
    std::copy_if(calls_.begin(), calls_.end(), std::back_inserter(out),
                 [op](const CanvasCall& c) { return c.op == op; });
    return out;
}

void RecordingCanvas::clear() {
    calls_.clear();
    pen_ = Rgb{0, 0, 0};
    brush_ = Rgb{255, 255, 255};
    font_ = Rgb{0, 0, 0};
}

}  // namespace dz
