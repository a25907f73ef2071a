// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <unistd.h>

#include <QColor>
#include <QDir>
#include <QGuiApplication>
#include <QImage>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "render/png_module.hpp"
#include "render/qt_canvas.hpp"
#include "drawing/lap_plot.hpp"
#include "tests/test_states.hpp"

namespace {

using dz::testing::drawn_state;

using dz::Pixel;
using dz::QtCanvas;
using dz::Rgb;

constexpr Rgb RED{255, 0, 0};
constexpr Rgb BLACK{0, 0, 0};

Rgb at(const QImage& image, int x, int y) {
    const QColor c = image.pixelColor(x, y);
    return Rgb{static_cast<std::uint8_t>(c.red()), static_cast<std::uint8_t>(c.green()),
               static_cast<std::uint8_t>(c.blue())};
}

QImage blank(QColor fill = Qt::white) {
    QImage image(dz::PLOT_WIDTH, dz::PLOT_HEIGHT, QImage::Format_RGB32);
    image.fill(fill);
    return image;
}

// Angle of pixel (x, y) about (cx, cy), counterclockwise on screen from three
// o'clock, in degrees 0..360.
double screen_angle(double x, double y, double cx, double cy) {
    const double a = std::atan2(-(y - cy), x - cx) * 180 / std::numbers::pi;
    return a < 0 ? a + 360 : a;
}


TEST(QtCanvas_Arc, AnglesCountCounterclockwiseOnScreen) {
    struct Case {
        int l, t, r, b;
        Pixel start, end;
        double start_deg, span_deg;
    };
    const std::vector<Case> cases = {
        {20, 20, 622, 622, {622, 321}, {20, 321}, 0, 180},   // upper half
        {20, 20, 622, 622, {20, 321}, {622, 321}, 180, 180},  // lower half
        {0, 0, 200, 200, {100, 0}, {0, 100}, 90, 90},         // top to left
        {0, 0, 200, 200, {0, 100}, {100, 0}, 180, 270},       // left round the bottom to top
        {0, 0, 200, 200, {150, 50}, {150, 50}, 45, 360},      // same ray: full circle
        {0, 0, 200, 200, {300, 300}, {150, 150}, 315, 360},   // same ray, different distances
        {0, 0, 400, 200, {400, 0}, {0, 0}, 45, 90},           // ellipse: parameter angles
    };
    for (const Case& c : cases) {
        const auto a = QtCanvas::arc_angles(c.l, c.t, c.r, c.b, c.start, c.end);
        EXPECT_NEAR(a.start, c.start_deg, 1e-9) << c.start.x << "," << c.start.y;
        EXPECT_NEAR(a.span, c.span_deg, 1e-9) << c.start.x << "," << c.start.y;
    }
}

TEST(QtCanvas_Arc, ColoursOnlyAcrossTheLeaf) {
    // A narrow leaf about the +y axis: edge 0 at 80 degrees (right of the
    // axis), edge 1 at 100 degrees; counterclockwise from edge 0 to edge 1 is
    // the short way over the top.
    struct Case {
        double from_deg, to_deg;
    };
    for (const Case& c : {Case{80, 100}, Case{88, 92}, Case{100, 80}}) {
        QImage image = blank();
        const double r = 200;
        const auto point = [&](double deg) {
            const double a = deg * std::numbers::pi / 180;
            return Pixel{static_cast<int>(std::lround(321 + r * std::cos(a))),
                         static_cast<int>(std::lround(321 - r * std::sin(a)))};
        };
        {
            QtCanvas canvas(image);
            canvas.set_pen_colour(RED);
            canvas.arc(121, 121, 521, 521, point(c.from_deg), point(c.to_deg));
        }
        const double span = std::fmod(c.to_deg - c.from_deg + 360, 360);
        int red = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                if (at(image, x, y) == RED) {
                    ++red;
                    const double off = std::fmod(screen_angle(x, y, 321, 321) - c.from_deg + 360, 360);
                    const double slack = 1.0;  // degrees, for the pixel grid
                    EXPECT_TRUE(off <= span + slack || off >= 360 - slack)
                        << "pixel " << x << "," << y << " outside the arc from " << c.from_deg;
                    EXPECT_NEAR(std::hypot(x - 321.0, y - 321.0), r, 1.5);
                }
            }
        }
        // About one pixel per pixel of arc length; the long arc leaves the
        // image below but still shows most of the upper half.
        const double minimum = span < 180 ? 0.7 * r * span * std::numbers::pi / 180 : 300;
        EXPECT_GT(red, static_cast<int>(minimum)) << c.from_deg;
        if (span < 180) {
            EXPECT_EQ(at(image, 321, 121), RED);  // top of the circle
        }
    }
}

TEST(QtCanvas_Primitives, RectangleLinesAndText) {
    QImage image = blank(Qt::black);
    {
        QtCanvas canvas(image);
        canvas.set_brush_solid(Rgb{255, 255, 255});
        canvas.set_pen_colour(Rgb{255, 255, 255});
        canvas.fill_rect(0, 0, dz::PLOT_WIDTH, dz::PLOT_HEIGHT);
        canvas.set_pen_colour(Rgb{0, 255, 0});
        canvas.move_to({10, 10});
        canvas.line_to({30, 10});
        const Pixel single[] = {{50, 50}};
        canvas.polyline(single);  // one point draws nothing
        canvas.set_brush_solid(Rgb{255, 255, 0});
        canvas.set_font_colour(Rgb{0, 0, 255});
        canvas.text_out({100, 100}, "-0,8");
    }
    for (Pixel p : {Pixel{0, 0}, Pixel{640, 0}, Pixel{0, 340}, Pixel{640, 340}, Pixel{50, 50}}) {
        EXPECT_EQ(at(image, p.x, p.y), (Rgb{255, 255, 255})) << p.x << "," << p.y;
    }
    for (int x = 10; x <= 30; ++x) {
        EXPECT_EQ(at(image, x, 10), (Rgb{0, 255, 0})) << x;
    }
    EXPECT_EQ(at(image, 9, 10), (Rgb{255, 255, 255}));
    EXPECT_EQ(at(image, 31, 10), (Rgb{255, 255, 255}));
    // Text box: opaque in the brush colour from its top-left corner, glyphs in the font colour.
    EXPECT_EQ(at(image, 100, 100), (Rgb{255, 255, 0}));
    EXPECT_EQ(at(image, 99, 100), (Rgb{255, 255, 255}));
    EXPECT_EQ(at(image, 100, 99), (Rgb{255, 255, 255}));
    int glyph = 0;
    for (int y = 100; y < 115; ++y) {
        for (int x = 100; x < 125; ++x) {
            const Rgb c = at(image, x, y);
            glyph += c == Rgb{0, 0, 255};
            EXPECT_TRUE(c == (Rgb{0, 0, 255}) || c == (Rgb{255, 255, 0}) || c == (Rgb{255, 255, 255}))
                << "blended pixel " << x << "," << y;
        }
    }
    EXPECT_GT(glyph, 8);
}

TEST(QtCanvas_LapPlot, EmptyAndLoadedPlots) {
    const dz::WorkingState empty;
    const dz::WorkingState loaded = drawn_state(20, 10);
    for (const dz::WorkingState* ws : {&empty, &loaded}) {
        QImage image = blank(Qt::black);  // the background must cover everything
        {
            QtCanvas canvas(image);
            dz::DRAW_LAP(*ws, canvas, '.');
        }
        for (Pixel p : {Pixel{0, 0}, Pixel{640, 0}, Pixel{0, 340}, Pixel{640, 340}, Pixel{640, 200}}) {
            EXPECT_EQ(at(image, p.x, p.y), (Rgb{255, 255, 255})) << p.x << "," << p.y;
        }
        EXPECT_EQ(at(image, 321, 20), BLACK);                // top of the outer rim
        EXPECT_EQ(at(image, 321, 200), BLACK);               // vertical axis
        EXPECT_EQ(at(image, 400, 261), (Rgb{0, 255, 0}));    // grid line y = 0.2
        // The rim at 135 degrees, within a pixel.
        bool rim = false;
        for (int dy = -1; dy <= 1; ++dy) {
            for (int dx = -1; dx <= 1; ++dx) {
                rim = rim || at(image, 108 + dx, 108 + dy) == BLACK;
            }
        }
        EXPECT_TRUE(rim);
        // Label "1.0" of the top grid line at (2, 13).
        int ink = 0;
        for (int y = 13; y < 26; ++y) {
            for (int x = 2; x < 18; ++x) {
                ink += at(image, x, y) == BLACK;
            }
        }
        EXPECT_GT(ink, 5);
        int red = 0, blue = 0;
        for (int y = 20; y < 321; ++y) {
            for (int x = 20; x <= 622; ++x) {
                const Rgb c = at(image, x, y);
                red += c == RED && x >= 321;
                blue += c == Rgb{0, 0, 255} && x <= 321;
                EXPECT_FALSE(c == RED && x < 318) << x << "," << y;
            }
        }
        if (ws->loaded) {
            EXPECT_GT(red, 300);
            EXPECT_GT(blue, 300);
        } else {
            EXPECT_EQ(red + blue, 0);
        }
    }
}

TEST(QtCanvas_PngModule, SameImageAsTheWindowDraws) {
    void* module = dlopen(DOROZIRI_PNG_MODULE, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << dlerror();
    const auto render = reinterpret_cast<dz::RenderPngFunction>(dlsym(module, dz::PNG_RENDER_SYMBOL));
    ASSERT_NE(render, nullptr) << dlerror();

    const dz::WorkingState ws = drawn_state(30, 10);
    const std::string path =
        QDir::temp().filePath(QStringLiteral("dz_qt_canvas_test_%1.png").arg(::getpid())).toStdString();
    char error[256] = "";
    ASSERT_EQ(render(&ws, path.c_str(), ',', error, sizeof error), 0) << error;
    const QImage saved(QString::fromStdString(path));
    std::remove(path.c_str());
    ASSERT_EQ(saved.size(), QSize(dz::PLOT_WIDTH, dz::PLOT_HEIGHT));

    QImage direct = blank();
    {
        QtCanvas canvas(direct);
        dz::DRAW_LAP(ws, canvas, ',');
    }
    EXPECT_EQ(saved.convertToFormat(QImage::Format_RGB32), direct);
    dlclose(module);
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (::testing::GTEST_FLAG(list_tests)) {
        return RUN_ALL_TESTS();  // test discovery at build time needs no platform
    }
    QGuiApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
