// The PNG renderer module: the lap plot drawn through the window's canvas on
// an image of the window's size, saved as PNG.

#include "app/png_module.hpp"

#include <QGuiApplication>
#include <QImage>
#include <QString>
#include <QtGlobal>

#include <algorithm>
#include <cstring>
#include <exception>
#include <memory>
#include <string>

#include "app/qt_canvas.hpp"
#include "drawing/lap_plot.hpp"
#include "working_state/working_state.hpp"

namespace {

void set_error(char* error, std::size_t error_size, const std::string& message) {
    if (error == nullptr || error_size == 0) {
        return;
    }
    const std::size_t n = std::min(message.size(), error_size - 1);
    std::memcpy(error, message.data(), n);
    error[n] = '\0';
}

// Draws and saves; a QGuiApplication exists.
std::string render(const dz::WorkingState& state, const char* path, char decimal_separator) {
    dz::WorkingState ws = state;  // drawing rebuilds LEAF_EDGES
    QImage image(dz::PLOT_WIDTH, dz::PLOT_HEIGHT, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        dz::QtCanvas canvas(image);
        dz::DRAW_LAP(ws, canvas, decimal_separator);
    }
    if (!image.save(QString::fromLocal8Bit(path), "PNG")) {
        return std::string("cannot write ") + path;
    }
    return {};
}

}  // namespace

// The one symbol the module exports (the others are hidden).
extern "C" Q_DECL_EXPORT int doroziri_render_png(const dz::WorkingState* ws, const char* path,
                                                 char decimal_separator, char* error, std::size_t error_size) {
    set_error(error, error_size, "");
    if (ws == nullptr || path == nullptr || *path == '\0') {
        set_error(error, error_size, "no state or no file name for the PNG");
        return 2;
    }
    try {
        std::string failure;
        if (QGuiApplication::instance() != nullptr) {
            failure = render(*ws, path, decimal_separator);
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
            failure = render(*ws, path, decimal_separator);
        }
        if (!failure.empty()) {
            set_error(error, error_size, failure);
            return 1;
        }
        return 0;
    } catch (const std::exception& e) {
        set_error(error, error_size, e.what());
        return 1;
    }
}
