// SPDX-License-Identifier: GPL-3.0-or-later
// The PNG renderer module: the lap plot drawn through the window's canvas on
// an image of the window's size, saved as PNG.

#include "render/png_module.hpp"

#include <QBuffer>
#include <QByteArray>
#include <QGuiApplication>
#include <QImage>
#include <QString>
#include <QtGlobal>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <string>

#include "render/qt_canvas.hpp"
#include "render/removal_chart_painter.hpp"
#include "render/template_pages.hpp"
#include "drawing/lap_plot.hpp"
#include "file_io/file_io.hpp"
#include "lap_template/lap_geometry.hpp"
#include "working_state/working_state.hpp"

namespace {

// From this many pages on, the PDF's progress is shown.
constexpr std::size_t LONG_PDF_PAGES = 50;

void set_error(char* error, std::size_t error_size, const std::string& message) {
    if (error == nullptr || error_size == 0) {
        return;
    }
    const std::size_t n = std::min(message.size(), error_size - 1);
    std::memcpy(error, message.data(), n);
    error[n] = '\0';
}

// Draws and encodes; a QGuiApplication exists. Empty result: not encoded.
QByteArray render(const dz::WorkingState& ws, char decimal_separator) {
    QImage image(dz::PLOT_WIDTH, dz::PLOT_HEIGHT, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        dz::QtCanvas canvas(image);
        dz::DRAW_LAP(ws, canvas, decimal_separator);
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG")) bytes.clear();
    return bytes;
}

// Renders with a QGuiApplication, making one for the call when the process
// has none. Returns the message of a failure, empty on success.
template <class Render>
std::string with_application(Render render_bytes, QByteArray& png, const char* what) {
    if (QGuiApplication::instance() != nullptr) {
        png = render_bytes();
    } else {
        // The image never reaches a screen: the offscreen platform works
        // with and without a display and does not connect to one.
        char name[] = "doroziri";
        char platform_option[] = "-platform";
        char platform[] = "offscreen";
        char* argv[] = {name, platform_option, platform, nullptr};
        int argc = 3;
        // Qt's start-up notes (such as a missing runtime directory) are
        // not the command line's business; failures come back as status.
        const QtMessageHandler previous =
            qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
        struct Restore {
            QtMessageHandler handler;
            ~Restore() { qInstallMessageHandler(handler); }
        } restore{previous};
        const auto app = std::make_unique<QGuiApplication>(argc, argv);
        png = render_bytes();
    }
    if (png.isEmpty()) return std::string(what) + " could not be encoded as PNG";
    return {};
}

// Hands the bytes of `render_bytes` to `sink`; the entry points' status.
template <class Render>
int render_to_sink(Render render_bytes, const char* what, void (*sink)(void*, const char*, std::size_t),
                   void* context, char* error, std::size_t error_size) {
    try {
        QByteArray png;
        if (const std::string failure = with_application(render_bytes, png, what); !failure.empty()) {
            set_error(error, error_size, failure);
            return 1;
        }
        sink(context, png.constData(), static_cast<std::size_t>(png.size()));
        return 0;
    } catch (const std::exception& e) {
        set_error(error, error_size, e.what());
        return 1;
    }
}

}  // namespace

// The symbols the module exports (the others are hidden).
extern "C" Q_DECL_EXPORT int doroziri_render_png_bytes(
    const dz::WorkingState* ws, char decimal_separator, void (*sink)(void*, const char*, std::size_t),
    void* context, char* error, std::size_t error_size) {
    set_error(error, error_size, "");
    if (ws == nullptr || sink == nullptr) {
        set_error(error, error_size, "no state or nowhere to put the PNG");
        return 2;
    }
    return render_to_sink([&] { return render(*ws, decimal_separator); }, "the lap plot", sink, context, error,
                          error_size);
}

extern "C" Q_DECL_EXPORT int doroziri_render_removal_png_bytes(
    const dz::RemovalCheck* check, const char* caption, std::size_t caption_size, char decimal_separator,
    void (*sink)(void*, const char*, std::size_t), void* context, char* error, std::size_t error_size) {
    set_error(error, error_size, "");
    if (check == nullptr || sink == nullptr || (caption == nullptr && caption_size > 0)) {
        set_error(error, error_size, "no predicted removal or nowhere to put the PNG");
        return 2;
    }
    const auto chart = [&] {
        const std::string text = caption_size > 0 ? std::string(caption, caption_size) : std::string();
        return dz::removal_chart_png(*check, text, decimal_separator);
    };
    return render_to_sink(chart, "the chart of the predicted removal", sink, context, error, error_size);
}

extern "C" Q_DECL_EXPORT int doroziri_render_png(const dz::WorkingState* ws, const char* path,
                                                 char decimal_separator, char* error, std::size_t error_size) {
    set_error(error, error_size, "");
    if (path == nullptr || *path == '\0') {
        set_error(error, error_size, "no state or no file name for the PNG");
        return 2;
    }
    std::string png;
    const auto keep = [](void* context, const char* bytes, std::size_t size) {
        static_cast<std::string*>(context)->assign(bytes, size);
    };
    if (const int status = doroziri_render_png_bytes(ws, decimal_separator, keep, &png, error, error_size)) {
        return status;
    }
    try {
        if (const auto failure = dz::write_file_replace(path, png)) {
            set_error(error, error_size, *failure);
            return 1;
        }
        return 0;
    } catch (const std::exception& e) {
        set_error(error, error_size, e.what());
        return 1;
    }
}

extern "C" Q_DECL_EXPORT int doroziri_render_template_bytes(const dz::WorkingState* ws, int format, int paper,
                                                            char decimal_separator, const char* date,
                                                            void (*sink)(void*, const char*, std::size_t),
                                                            void* context, char* error, std::size_t error_size) {
    set_error(error, error_size, "");
    if (ws == nullptr || sink == nullptr || (format != 0 && format != 1) || (paper != 0 && paper != 1)) {
        set_error(error, error_size, "no state, nowhere to put the template, or an unknown format or paper");
        return 2;
    }
    try {
        const dz::Paper chosen = paper == 1 ? dz::Paper::letter : dz::Paper::a4;
        if (const auto refused = format == 0 ? dz::printed_template_refusal(*ws, chosen, decimal_separator)
                                             : dz::template_refusal(*ws, decimal_separator)) {
            set_error(error, error_size, *refused);
            return 1;
        }
        const dz::TemplateDocument doc =
            dz::template_document(*ws, chosen, decimal_separator, date == nullptr ? "" : date);
        // Long work says how far it is, on standard error, every tenth of the pages.
        const auto progress = [](std::size_t done, std::size_t total) {
            const bool next_tenth = done == 0 || done * 10 / total != (done - 1) * 10 / total;
            if (total >= LONG_PDF_PAGES && done < total && next_tenth) {
                std::fprintf(stderr, "doroziri-cli: PDF page %zu of %zu\n", done + 1, total);
            }
            return true;
        };
        QByteArray bytes;
        const auto draw = [&] { return format == 0 ? dz::template_pdf(doc, progress) : dz::template_svg(doc); };
        if (!with_application(draw, bytes, "the lap template").empty()) {
            set_error(error, error_size, format == 0 ? "the lap template could not be made as PDF"
                                                     : "the lap template could not be made as SVG");
            return 1;
        }
        sink(context, bytes.constData(), static_cast<std::size_t>(bytes.size()));
        return 0;
    } catch (const std::exception& e) {
        set_error(error, error_size, e.what());
        return 1;
    }
}
