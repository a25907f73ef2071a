// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The PNG renderer lives in a loadable module so that the command-line tool
// starts without Qt and loads it only when a PNG is asked for. The module
// file is doroziri_png.so, built next to the executables.

#include <cstddef>

namespace dz {
struct RemovalCheck;
struct WorkingState;
}

extern "C" {

// Draws the lap plot of `ws` exactly as the window does (641 x 341 pixels,
// labels with `decimal_separator`) and hands the PNG bytes to `sink` (called
// once, with `context`, before the function returns). The state is only
// read: the plot shows the LEAF_EDGES the caller built. Creates a
// QGuiApplication when the process has none (the "offscreen" platform
// unless QT_QPA_PLATFORM names another) and removes it again before
// returning. Returns 0 on success; otherwise non-zero with the
// message, NUL-terminated and cut to fit, in error[0 .. error_size - 1].
// Not for use from more than one thread at a time.
int doroziri_render_png_bytes(const dz::WorkingState* ws, char decimal_separator,
                              void (*sink)(void* context, const char* bytes, std::size_t size), void* context,
                              char* error, std::size_t error_size);

// The chart of the predicted removal `check` (measured, predicted and
// residual against the radius, with the figures) under the caption of
// `caption_size` bytes at `caption`, as the window's view draws it, handed
// to `sink` as PNG bytes; otherwise as doroziri_render_png_bytes. The check
// is the caller's (its owner keeps the wear model it was made with).
int doroziri_render_removal_png_bytes(const dz::RemovalCheck* check, const char* caption, std::size_t caption_size,
                                      char decimal_separator,
                                      void (*sink)(void* context, const char* bytes, std::size_t size),
                                      void* context, char* error, std::size_t error_size);

// The same plot written to the file `path` the way every export is written
// (write_file_replace: the old file stays whole until the new one is
// complete); a failed write gives "Cannot write PATH: REASON.".
int doroziri_render_png(const dz::WorkingState* ws, const char* path, char decimal_separator, char* error,
                        std::size_t error_size);

// The cut-ready lap template of `ws` at 1:1 (render/template_pages.hpp):
// `format` 0 a PDF of the planned pages on `paper` (0 A4, 1 letter), 1 an
// SVG of the whole lap; `date` (UTF-8) goes into the title block. The bytes
// go to `sink` as for the PNG; the status and `error` as above.
int doroziri_render_template_bytes(const dz::WorkingState* ws, int format, int paper, char decimal_separator,
                                   const char* date, void (*sink)(void* context, const char* bytes, std::size_t size),
                                   void* context, char* error, std::size_t error_size);

}  // extern "C"

namespace dz {

enum class TemplateFormat { pdf = 0, svg = 1 };
using RenderTemplateBytesFunction = int (*)(const WorkingState*, int, int, char, const char*,
                                            void (*)(void*, const char*, std::size_t), void*, char*, std::size_t);
inline constexpr const char* TEMPLATE_RENDER_BYTES_SYMBOL = "doroziri_render_template_bytes";

using RenderPngFunction = int (*)(const WorkingState*, const char*, char, char*, std::size_t);
using PngSink = void (*)(void*, const char*, std::size_t);
using RenderPngBytesFunction = int (*)(const WorkingState*, char, PngSink, void*, char*, std::size_t);
using RenderRemovalPngBytesFunction = int (*)(const RemovalCheck*, const char*, std::size_t, char, PngSink, void*,
                                              char*, std::size_t);

inline constexpr const char* PNG_MODULE_FILE = "doroziri_png.so";
inline constexpr const char* PNG_RENDER_SYMBOL = "doroziri_render_png";
inline constexpr const char* PNG_RENDER_BYTES_SYMBOL = "doroziri_render_png_bytes";
inline constexpr const char* REMOVAL_PNG_BYTES_SYMBOL = "doroziri_render_removal_png_bytes";

}  // namespace dz
