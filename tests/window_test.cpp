// SPDX-License-Identifier: GPL-3.0-or-later
// The Qt main window on the offscreen platform: its controls, start-up and
// the way clicks reach the commands, with scripted dialogs.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFontInfo>
#include <QGroupBox>
#include <QImage>
#include <QInputDialog>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTabBar>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <functional>
#include <string>

#include "window/commands.hpp"
#include "window/main_window.hpp"
#include "window/qt_dialogs.hpp"
#include "render/removal_chart_painter.hpp"
#include "window/removal_view.hpp"
#include "lap_template/lap_geometry.hpp"
#include "file_io/file_io.hpp"
#include "wear_compare/wear_compare.hpp"
#include "scripted_dialogs.hpp"
#include "tests/test_folder.hpp"
#include "tests/window_test_support.hpp"

namespace fs = std::filesystem;
using dz::TFORM1;
using dz::testing::FileAnswer;
using dz::testing::ScriptedDialogs;
using dz::testing::when_shown;
using dz::testing::whole_number_surface;

namespace {

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = dz::testing::fresh_test_folder("doroziri_window_");
    }
    void TearDown() override { fs::remove_all(dir_); }

    QString write_surface(const std::string& name, const std::string& caption) const {
        std::ofstream(dir_ / name, std::ios::binary) << whole_number_surface(caption);
        return QString::fromStdString((dir_ / name).string());
    }

    template <class T>
    static T* child(const TFORM1& window, const char* name) {
        auto* found = window.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    // Pixels of the plot in pure red, the colour of the leaf outline.
    static int red_pixels(const TFORM1& window) {
        const QImage image = child<QLabel>(window, "LAP_PIC")->pixmap().toImage();
        int count = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) count += image.pixel(x, y) == qRgb(255, 0, 0);
        }
        return count;
    }

    fs::path dir_;
    ScriptedDialogs dialogs_;
};

TEST_F(WindowTest, TFORM1_ControlsAsDesigned) {
    TFORM1 window({}, &dialogs_);
    EXPECT_EQ(window.windowTitle(), "Doroziri");
    EXPECT_EQ(window.centralWidget()->size(), QSize(692, 470));

    struct Control {
        const char* name;
        QRect geometry;
        const char* text;
        int pixels;  // font height
        bool white;
        Qt::Alignment alignment;
    };
    const Control labels[] = {
        {"LAP_PIC", {20, 80, 641, 341}, "", 15, false, Qt::AlignLeft},
        {"Label1", {116, 10, 55, 18}, "# Leaves", 15, false, Qt::AlignLeft},
        {"NP_LABEL", {180, 10, 31, 21}, "4", 16, true, Qt::AlignHCenter},
        {"Label2", {213, 11, 32, 18}, "> 2", 16, true, Qt::AlignLeft},
        {"INCR_LABEL", {144, 47, 27, 21}, "", 16, true, Qt::AlignRight},
        {"Label3", {175, 48, 71, 18}, "% effective", 15, false, Qt::AlignLeft},
        {"COMMENT_LABEL", {20, 430, 641, 15}, "Plot Caption", 13, true, Qt::AlignHCenter},
    };
    for (const auto& c : labels) {
        SCOPED_TRACE(c.name);
        const QLabel* label = child<QLabel>(window, c.name);
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->geometry(), c.geometry);
        EXPECT_EQ(label->text(), QString::fromUtf8(c.text));
        EXPECT_EQ(label->font().pixelSize(), c.pixels);
        EXPECT_TRUE(label->font().bold());
        EXPECT_EQ(label->font().family(), "CG Times");
        EXPECT_EQ(label->autoFillBackground() && label->palette().color(QPalette::Window) == Qt::white, c.white);
        EXPECT_EQ(label->alignment() & Qt::AlignHorizontal_Mask, c.alignment);
    }
    // The designed serif is replaced by one with its metrics.
    EXPECT_EQ(QFontInfo(child<QLabel>(window, "NP_LABEL")->font()).family(), "Liberation Serif");
    EXPECT_EQ(child<QLabel>(window, "LAP_PIC")->pixmap().size(), QSize(641, 341));

    const auto* choice = child<QGroupBox>(window, "LAP_CHOICE");
    EXPECT_EQ(choice->geometry(), QRect(310, 0, 101, 61));
    EXPECT_EQ(choice->title(), "Lap Type");
    EXPECT_FALSE(choice->isVisibleTo(&window));
    const auto radios = choice->findChildren<QRadioButton*>();
    ASSERT_EQ(radios.size(), 2);
    EXPECT_EQ(radios[0]->text(), "2/5 Stroke");
    EXPECT_TRUE(radios[0]->isChecked());
    EXPECT_EQ(radios[1]->text(), "Spindle");

    const auto* quit = child<QPushButton>(window, "QUIT");
    EXPECT_EQ(quit->geometry(), QRect(520, 20, 71, 31));
    EXPECT_EQ(quit->text(), "E&xit");
    EXPECT_FALSE(quit->icon().isNull());
    EXPECT_EQ(radios[0]->nextInFocusChain(), radios[1]);

    const auto menus = window.menuBar()->actions();
    ASSERT_EQ(menus.size(), 4);
    EXPECT_EQ(menus[0]->text(), "File");
    EXPECT_EQ(menus[1]->text(), "View");
    EXPECT_EQ(menus[2]->text(), "Design");
    EXPECT_EQ(menus[3]->text(), "Help");
    EXPECT_EQ(menus[3]->menu(), nullptr);
    ASSERT_NE(menus[2]->menu(), nullptr);
    QStringList designs;
    for (const QAction* action : menus[2]->menu()->actions()) designs << action->text();
    EXPECT_EQ(designs, QStringList({"Classic", "Least-squares fit", "", "Free focus", "", QString::fromUtf8("Stroke\u2026"),
                                    "Wear model"}));
    QStringList laws;
    for (const QAction* action : menus[2]->menu()->actions().back()->menu()->actions()) laws << action->text();
    EXPECT_EQ(laws, QStringList({"Preston's law", "Classic zone wear matrix"}));
    EXPECT_TRUE(child<QAction>(window, "WearPreston1")->isChecked());
    EXPECT_TRUE(child<QAction>(window, "DesignClassic1")->isChecked());
    EXPECT_FALSE(child<QAction>(window, "DesignFit1")->isChecked());
    EXPECT_FALSE(child<QAction>(window, "FreeFocus1")->isChecked());
    ASSERT_NE(menus[1]->menu(), nullptr);
    ASSERT_EQ(menus[1]->menu()->actions().size(), 1);
    EXPECT_EQ(menus[1]->menu()->actions()[0]->text(), "Predicted removal");
    ASSERT_NE(menus[0]->menu(), nullptr);
    QStringList items;
    for (const QAction* action : menus[0]->menu()->actions()) items << action->text();
    EXPECT_EQ(items, QStringList({"Open", "Reload", "Save .dxf", "Save .txt", QString::fromUtf8("Save lap template\u2026"),
                                  QString::fromUtf8("Print\u2026"), "",
                                  QString::fromUtf8("Compare with a later test\u2026"), "", "Quit"}));
}

TEST_F(WindowTest, TFORM1_StartUpArgument) {
    // A file on the command line is drawn before the window is shown.
    {
        TFORM1 window({write_surface("mirror.srf", "Mirror 1")}, &dialogs_);
        EXPECT_TRUE(dialogs_.messages.empty());
        EXPECT_TRUE(child<QGroupBox>(window, "LAP_CHOICE")->isVisibleTo(&window));
        EXPECT_EQ(child<QLabel>(window, "INCR_LABEL")->text(), "100");
        EXPECT_EQ(child<QLabel>(window, "COMMENT_LABEL")->text(), "Mirror 1");
        EXPECT_GT(red_pixels(window), 20);
    }
    // A missing one is reported before the window is shown, which opens empty.
    const QString missing = QString::fromStdString((dir_ / "nothere").string());
    const TFORM1* shown = nullptr;
    bool visible_at_message = true;
    dialogs_.on_message = [&] { visible_at_message = shown != nullptr && shown->isVisible(); };
    TFORM1 window({missing}, &dialogs_);
    shown = &window;
    window.show();
    EXPECT_EQ(dialogs_.messages, std::vector<std::string>{(missing + ".srf not found, try again.").toStdString()});
    EXPECT_FALSE(visible_at_message);
    EXPECT_FALSE(child<QGroupBox>(window, "LAP_CHOICE")->isVisible());
    EXPECT_EQ(child<QLabel>(window, "COMMENT_LABEL")->text(), "Plot Caption");
    EXPECT_EQ(red_pixels(window), 0);
}

// The load's warning is one line under the caption, not a dialog; it goes
// with the next clean load. Its whole text is in the tooltip.
TEST_F(WindowTest, TFORM1_WarningLine) {
    TFORM1 window({}, &dialogs_);
    window.show();
    auto* warning = child<QLabel>(window, "WARNING_LABEL");
    ASSERT_NE(warning, nullptr);
    EXPECT_EQ(warning->geometry(), QRect(20, 450, 641, 16));
    EXPECT_FALSE(warning->isVisible());

    std::string doubtful = whole_number_surface("Doubtful");
    doubtful.replace(doubtful.find("\n10 0 5\n"), 8, "\n99 0 5\n");  // zone 2 beyond the last
    std::ofstream(dir_ / "doubtful.srf", std::ios::binary) << doubtful;
    dialogs_.files = {FileAnswer{(dir_ / "doubtful.srf").string()}};
    window.findChild<QAction*>("Open1")->trigger();
    EXPECT_TRUE(dialogs_.messages.empty());
    EXPECT_TRUE(warning->isVisible());
    EXPECT_TRUE(QApplication::activeModalWidget() == nullptr);
    const QString expected = QStringLiteral(
        "Warning: line 8 of the surface file: the zone radius lies beyond that of the last zone, the outer "
        "radius:  \"99 0 5\" (and 1 more such line); the file was read as it stands.");
    EXPECT_EQ(warning->toolTip(), expected);
    EXPECT_TRUE(warning->text().startsWith(QStringLiteral("Warning: line 8 ")));
    EXPECT_LE(warning->fontMetrics().horizontalAdvance(warning->text()), warning->width());
    EXPECT_EQ(child<QLabel>(window, "COMMENT_LABEL")->text(), "Doubtful");

    dialogs_.files = {FileAnswer{write_surface("clean.srf", "Clean").toStdString()}};
    window.findChild<QAction*>("Open1")->trigger();
    EXPECT_FALSE(warning->isVisible());
    EXPECT_EQ(warning->toolTip(), "");
}

TEST_F(WindowTest, TFORM1_ClicksReachCommands) {
    TFORM1 window({}, &dialogs_);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    auto* np = child<QLabel>(window, "NP_LABEL");
    auto* incr = child<QLabel>(window, "INCR_LABEL");
    auto* caption = child<QLabel>(window, "COMMENT_LABEL");

    // Before a load: the saves are greyed out, the value labels draw the empty plot.
    window.findChild<QAction*>("Save1")->trigger();
    window.findChild<QAction*>("Savetxt1")->trigger();
    EXPECT_TRUE(dialogs_.messages.empty());
    EXPECT_TRUE(dialogs_.file_dialogs.empty());
    dialogs_.answers = {"6"};
    QTest::mouseClick(np, Qt::LeftButton);
    EXPECT_EQ(np->text(), "6");
    const QImage empty_plot = child<QLabel>(window, "LAP_PIC")->pixmap().toImage();
    QImage blank(empty_plot.size(), empty_plot.format());
    blank.fill(Qt::white);
    EXPECT_NE(empty_plot, blank);
    EXPECT_EQ(red_pixels(window), 0);

    // Open through the menu.
    dialogs_.files = {FileAnswer{write_surface("m.srf", "Opened").toStdString()}};
    window.findChild<QAction*>("Open1")->trigger();
    EXPECT_EQ(caption->text(), "Opened");
    EXPECT_EQ(incr->text(), "100");
    auto* choice = child<QGroupBox>(window, "LAP_CHOICE");
    EXPECT_TRUE(choice->isVisible());
    const QImage six_leaves = child<QLabel>(window, "LAP_PIC")->pixmap().toImage();
    EXPECT_GT(red_pixels(window), 20);

    dialogs_.answers = {"3"};
    QTest::mouseClick(np, Qt::LeftButton);
    EXPECT_EQ(np->text(), "3");
    EXPECT_NE(child<QLabel>(window, "LAP_PIC")->pixmap().toImage(), six_leaves);

    dialogs_.answers = {"80"};
    QTest::mouseClick(incr, Qt::LeftButton);
    EXPECT_EQ(incr->text(), "80");

    // Choosing "Spindle" resets the efficiency.
    auto* spindle = choice->findChildren<QRadioButton*>().at(1);
    QTest::mouseClick(spindle, Qt::LeftButton);
    EXPECT_TRUE(window.commands().state().SPINDLE);
    EXPECT_EQ(incr->text(), "100");

    dialogs_.answers = {"New caption"};
    QTest::mouseClick(caption, Qt::LeftButton);
    EXPECT_EQ(caption->text(), "New caption");
    EXPECT_EQ(window.commands().state().PLOT_CAPTION, "New caption");

    dialogs_.files = {std::nullopt};
    window.findChild<QAction*>("HELP")->trigger();
    EXPECT_EQ(dialogs_.builtin_help_shown, 1);
    EXPECT_EQ(dialogs_.prompts.size(), 4u);
    EXPECT_TRUE(dialogs_.messages.empty());

    // A later load keeps the lap type shown in the group.
    dialogs_.files = {FileAnswer{write_surface("n.srf", "Next").toStdString()}};
    window.findChild<QAction*>("Open1")->trigger();
    EXPECT_TRUE(spindle->isChecked());
    EXPECT_TRUE(window.commands().state().SPINDLE);
}

TEST_F(WindowTest, RemovalView_FollowsEveryChangeAndSaves) {
    TFORM1 window({}, &dialogs_);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_EQ(window.removal_view(), nullptr);  // made when first asked for

    // opened before a load: nothing to show, nothing to save
    window.findChild<QAction*>("Removal1")->trigger();
    dz::RemovalView* view = window.removal_view();
    ASSERT_NE(view, nullptr);
    EXPECT_TRUE(view->isVisible());
    EXPECT_TRUE(view->isWindow());
    EXPECT_FALSE(view->check().has_value());
    EXPECT_FALSE(child<QPushButton>(window, "REMOVAL_SAVE")->isEnabled());
    EXPECT_EQ(window.size(), QSize(692, 470 + window.menuBar()->sizeHint().height()));

    // a load, then the leaves, the efficiency and the lap type: each redraws
    // it with the state the commands left
    const std::string surface = write_surface("m.srf", "Opened").toStdString();
    dialogs_.files = {FileAnswer{surface}};
    window.findChild<QAction*>("Open1")->trigger();
    ASSERT_TRUE(view->check().has_value());
    auto expected = [&] {
        return dz::check_removal(window.commands().state(), dz::WearModel(window.commands().state()));
    };
    EXPECT_EQ(view->check()->fit.predicted, expected().fit.predicted);
    EXPECT_TRUE(view->figures().startsWith("RMS ")) << view->figures().toStdString();
    EXPECT_TRUE(view->figures().contains(" % left")) << view->figures().toStdString();
    // the P-V beside the RMS, and the settings with the efficiency
    EXPECT_TRUE(view->figures().contains("; P-V ")) << view->figures().toStdString();
    EXPECT_TRUE(view->figures().contains("4 leaves, 100 % efficiency")) << view->figures().toStdString();
    // inside the screen (the offscreen screen, 800 x 600, has no room beside
    // the main window; frame_beside is tested on its own below)
    EXPECT_TRUE(window.screen()->availableGeometry().contains(view->frameGeometry()))
        << view->frameGeometry().x() << "," << view->frameGeometry().y();
    EXPECT_EQ(view->chart_image().size(), QSize(dz::REMOVAL_CHART_WIDTH, dz::REMOVAL_CHART_HEIGHT));

    dialogs_.answers = {"3"};
    QTest::mouseClick(child<QLabel>(window, "NP_LABEL"), Qt::LeftButton);
    EXPECT_TRUE(view->figures().contains("3 leaves")) << view->figures().toStdString();
    const QImage stroke = view->chart_image();
    auto* spindle = child<QGroupBox>(window, "LAP_CHOICE")->findChildren<QRadioButton*>().at(1);
    QTest::mouseClick(spindle, Qt::LeftButton);
    EXPECT_EQ(view->check()->fit.residual, expected().fit.residual);
    EXPECT_TRUE(view->figures().contains("Spindle"));
    EXPECT_NE(view->chart_image(), stroke);
    // the efficiency moves the spindle's widths (its offset is the lowest
    // measured value, -4)
    const std::vector<double> at_100 = view->check()->widths;
    dialogs_.answers = {"80"};
    QTest::mouseClick(child<QLabel>(window, "INCR_LABEL"), Qt::LeftButton);
    EXPECT_NE(view->check()->widths, at_100);
    EXPECT_EQ(view->check()->widths, expected().widths);

    // Save as PNG: the chart as shown; never onto the surface file
    const std::string png = (dir_ / "chart.png").string();
    dialogs_.files = {FileAnswer{png}};
    QTest::mouseClick(child<QPushButton>(window, "REMOVAL_SAVE"), Qt::LeftButton);
    EXPECT_TRUE(dialogs_.messages.empty());
    QImage saved;
    ASSERT_TRUE(saved.load(QString::fromStdString(png)));
    EXPECT_EQ(saved.convertToFormat(QImage::Format_RGB32), view->chart_image());
    EXPECT_EQ(child<QLabel>(window, "REMOVAL_SAVED")->toolTip().toStdString(), "Saved " + png);
    const auto bytes_of = [](const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    // a name without ".png" gets it, so the surface's own name never names the chart
    dialogs_.files = {FileAnswer{surface}};
    QTest::mouseClick(child<QPushButton>(window, "REMOVAL_SAVE"), Qt::LeftButton);
    EXPECT_TRUE(dialogs_.messages.empty());
    EXPECT_TRUE(saved.load(QString::fromStdString(surface + ".png")));
    EXPECT_EQ(child<QLabel>(window, "REMOVAL_SAVED")->toolTip().toStdString(), "Saved " + surface + ".png");
    EXPECT_EQ(whole_number_surface("Opened"), bytes_of(surface));
    // a surface file named like a PNG is refused all the same
    const std::string png_named = write_surface("scan.PNG", "Opened").toStdString();
    dialogs_.files = {FileAnswer{png_named}};
    window.findChild<QAction*>("Open1")->trigger();
    dialogs_.files = {FileAnswer{png_named}};
    QTest::mouseClick(child<QPushButton>(window, "REMOVAL_SAVE"), Qt::LeftButton);
    ASSERT_EQ(dialogs_.messages.size(), 1u);
    EXPECT_EQ(dialogs_.messages[0], dz::export_onto_surface_message(png_named));
    EXPECT_EQ(whole_number_surface("Opened"), bytes_of(png_named));

    // opened again: the same window, raised
    window.findChild<QAction*>("Removal1")->trigger();
    EXPECT_EQ(window.removal_view(), view);
}

TEST_F(WindowTest, DesignMenu_RedrawsAndStaysAcrossLoads) {
    TFORM1 window({}, &dialogs_);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.findChild<QAction*>("Removal1")->trigger();
    dz::RemovalView* view = window.removal_view();
    ASSERT_NE(view, nullptr);
    const std::string surface = write_surface("m.srf", "Designed").toStdString();
    dialogs_.files = {FileAnswer{surface}};
    window.findChild<QAction*>("Open1")->trigger();
    const QImage classic = child<QLabel>(window, "LAP_PIC")->pixmap().toImage();
    const double classic_left = view->check()->fit.share_left;

    // the fit: a new outline at once, its widths in the removal view
    auto* fit = child<QAction>(window, "DesignFit1");
    fit->trigger();
    EXPECT_TRUE(dialogs_.messages.empty());
    EXPECT_TRUE(fit->isChecked());
    EXPECT_FALSE(child<QAction>(window, "DesignClassic1")->isChecked());
    EXPECT_EQ(window.commands().state().DESIGN, dz::LapDesign::fit);
    EXPECT_TRUE(window.commands().state().fit_drawn());
    EXPECT_NE(child<QLabel>(window, "LAP_PIC")->pixmap().toImage(), classic);
    EXPECT_TRUE(view->figures().contains("least-squares fit")) << view->figures().toStdString();
    EXPECT_LE(view->check()->fit.share_left, classic_left);
    const std::vector<double> fitted = view->check()->widths;

    // a lower efficiency: solved again at once with the higher floor
    dialogs_.answers = {"80"};
    QTest::mouseClick(child<QLabel>(window, "INCR_LABEL"), Qt::LeftButton);
    EXPECT_TRUE(dialogs_.messages.empty());
    EXPECT_NE(view->check()->widths, fitted);
    for (const double w : view->check()->widths) EXPECT_GE(w, 0.20);
    dialogs_.answers = {"100"};
    QTest::mouseClick(child<QLabel>(window, "INCR_LABEL"), Qt::LeftButton);
    EXPECT_EQ(view->check()->widths, fitted);

    // free focus: the removal view takes the focus term
    auto* focus = child<QAction>(window, "FreeFocus1");
    focus->trigger();
    EXPECT_TRUE(focus->isChecked());
    EXPECT_TRUE(window.commands().state().FREE_FOCUS);
    EXPECT_TRUE(view->figures().contains("free focus")) << view->figures().toStdString();
    focus->trigger();
    EXPECT_FALSE(window.commands().state().FREE_FOCUS);

    // a new load keeps the design and fits the new surface again
    dialogs_.files = {FileAnswer{surface}};
    window.findChild<QAction*>("Open1")->trigger();
    EXPECT_TRUE(fit->isChecked());
    EXPECT_TRUE(window.commands().state().fit_drawn());
    EXPECT_EQ(view->check()->widths, fitted);

    // a "Spindle" lap has no design to choose: both choices greyed out, with why
    auto* spindle = child<QGroupBox>(window, "LAP_CHOICE")->findChildren<QRadioButton*>().at(1);
    QTest::mouseClick(spindle, Qt::LeftButton);
    for (const char* name : {"DesignClassic1", "DesignFit1"}) {
        EXPECT_FALSE(child<QAction>(window, name)->isEnabled()) << name;
        EXPECT_TRUE(child<QAction>(window, name)->toolTip().contains("Spindle")) << name;
    }
    EXPECT_TRUE(focus->isEnabled());  // it changes the figures of every lap
    auto* stroke = child<QGroupBox>(window, "LAP_CHOICE")->findChildren<QRadioButton*>().at(0);
    QTest::mouseClick(stroke, Qt::LeftButton);
    EXPECT_TRUE(fit->isEnabled());
    EXPECT_TRUE(fit->isChecked());

    // back to classic: the classic outline, pixel for pixel
    child<QAction>(window, "DesignClassic1")->trigger();
    EXPECT_FALSE(window.commands().state().fit_drawn());
    EXPECT_EQ(child<QLabel>(window, "LAP_PIC")->pixmap().toImage(), classic);
    EXPECT_TRUE(dialogs_.messages.empty());
}

// Design > Stroke... and Design > Wear model redraw the view, whose words
// name the model and the stroke; a refusal is a message and changes nothing.
// File > Compare with a later test... shows the later test on a tab of the
// view, with the rate and the share in words, and the minutes after it.
TEST_F(WindowTest, WearSettingsAndCompare_ShownInTheRemovalView) {
    TFORM1 window({}, &dialogs_);
    window.show();
    EXPECT_FALSE(child<QAction>(window, "Compare1")->isEnabled());  // nothing to compare with yet
    const std::string examples = std::string(DOROZIRI_SOURCE_DIR) + "/examples/";
    dialogs_.files = {FileAnswer{examples + "wear-before.srf"}};
    window.findChild<QAction*>("Open1")->trigger();
    window.findChild<QAction*>("Removal1")->trigger();
    dz::RemovalView* view = window.removal_view();
    ASSERT_NE(view, nullptr);
    const auto words = [&] { return view->figures().toStdString(); };
    const auto summary = [&] {
        return "Wear model: " + dz::wear_model_summary(window.commands().state().WEAR, '.');
    };
    EXPECT_NE(words().find(summary()), std::string::npos) << words();
    EXPECT_NE(words().find("stroke 0.20 of the diameter"), std::string::npos) << words();

    dz::WearSettings wear;
    wear.stroke = 0.3;
    dialogs_.strokes = {wear};
    child<QAction>(window, "Stroke1")->trigger();
    EXPECT_TRUE(dialogs_.messages.empty());
    EXPECT_EQ(window.commands().state().WEAR, wear);
    EXPECT_NE(words().find("stroke 0.30 of the diameter"), std::string::npos) << words();
    const std::string at_03 = words();
    wear.lap_size = 0.1;
    dialogs_.strokes = {wear};
    child<QAction>(window, "Stroke1")->trigger();
    ASSERT_EQ(dialogs_.messages.size(), 1u);
    EXPECT_EQ(words(), at_03);
    dialogs_.messages.clear();

    auto* matrix = child<QAction>(window, "WearMatrix1");
    auto* preston = child<QAction>(window, "WearPreston1");
    EXPECT_TRUE(preston->isChecked());
    matrix->trigger();
    EXPECT_TRUE(matrix->isChecked());
    EXPECT_EQ(window.commands().state().WEAR.model, dz::WearLaw::matrix);
    EXPECT_NE(words().find("classic zone wear matrix"), std::string::npos) << words();
    preston->trigger();
    EXPECT_EQ(words(), at_03);
    dialogs_.strokes = {dz::WearSettings{}};
    child<QAction>(window, "Stroke1")->trigger();

    // the example pair: 45 minutes at 30 per minute by Preston's law
    const QImage design_chart = view->chart_image();
    EXPECT_EQ(words().find("Polishing time"), std::string::npos);
    dialogs_.files = {FileAnswer{examples + "wear-after.srf"}};
    dialogs_.answers = {"45"};
    child<QAction>(window, "Compare1")->trigger();
    EXPECT_TRUE(dialogs_.messages.empty());
    const auto& comparison = window.commands().document().comparison();
    ASSERT_TRUE(comparison);
    EXPECT_TRUE(view->isVisible());
    EXPECT_TRUE(view->showing_comparison());
    EXPECT_TRUE(child<QTabBar>(window, "REMOVAL_TABS")->isVisible());
    ASSERT_TRUE(view->compared());
    EXPECT_EQ(view->compared()->measured, comparison->removal);
    EXPECT_EQ(view->compared()->fit.predicted, comparison->chosen.fit.predicted);
    EXPECT_NE(words().find(dz::comparison_summary(*comparison, '.')), std::string::npos) << words();
    EXPECT_NE(words().find("% of the measured removal explained by Preston"), std::string::npos) << words();
    EXPECT_NE(words().find("Polishing time: "), std::string::npos) << words();
    EXPECT_GE(comparison->chosen.share_explained, 95);
    const QImage compared_chart = view->chart_image();
    EXPECT_NE(compared_chart, design_chart);
    view->select_design();
    EXPECT_EQ(view->chart_image(), design_chart);

    // a refusal changes nothing; a change of the lap ends the comparison,
    // the rate stays
    dialogs_.files = {FileAnswer{examples + "wear-after.srf"}};
    dialogs_.answers = {"0"};
    child<QAction>(window, "Compare1")->trigger();
    EXPECT_EQ(dialogs_.messages, std::vector<std::string>{dz::MINUTES_REFUSED});
    EXPECT_TRUE(window.commands().document().comparison());
    dialogs_.answers = {"90"};
    QTest::mouseClick(child<QLabel>(window, "INCR_LABEL"), Qt::LeftButton);
    EXPECT_FALSE(view->compared());
    EXPECT_FALSE(view->showing_comparison());
    EXPECT_FALSE(child<QTabBar>(window, "REMOVAL_TABS")->isVisible());
    EXPECT_EQ(words().find("Later test"), std::string::npos) << words();
    EXPECT_NE(words().find("Polishing time: "), std::string::npos) << words();
}

// Crossed edges are said under the plot as soon as they are drawn, and in
// the removal view, in the words of the exports; they go with the setting.
TEST_F(WindowTest, CrossedEdges_WarnedUnderThePlotAndInTheView) {
    TFORM1 window({}, &dialogs_);
    window.show();
    dialogs_.files = {FileAnswer{write_surface("m.srf", "Crossed").toStdString()}};
    window.findChild<QAction*>("Open1")->trigger();
    window.findChild<QAction*>("Removal1")->trigger();
    auto* warning = child<QLabel>(window, "WARNING_LABEL");
    EXPECT_FALSE(warning->isVisible());
    dialogs_.answers = {"300"};
    QTest::mouseClick(child<QLabel>(window, "INCR_LABEL"), Qt::LeftButton);
    const std::string expected = dz::negative_width_warning(window.commands().state());
    ASSERT_FALSE(expected.empty());
    EXPECT_TRUE(warning->isVisible());
    EXPECT_EQ(warning->toolTip().toStdString(), expected);
    EXPECT_TRUE(window.removal_view()->figures().contains(QString::fromStdString(expected)));
    dialogs_.answers = {"100"};
    QTest::mouseClick(child<QLabel>(window, "INCR_LABEL"), Qt::LeftButton);
    EXPECT_FALSE(warning->isVisible());
    EXPECT_FALSE(window.removal_view()->figures().contains("below zero"));
}

// The removal view's frame beside the main window's: inside the screen and
// never over the main window where any side has room; the sides in the
// order right, left, below, above; shrunk (not below the least) into the
// largest room otherwise.
TEST(RemovalView_Placement, BesideInsideTheScreenNeverOver) {
    struct Case {
        QRect main, screen;
        QSize wanted, least;
        const char* side;  // "right", "left", "below", "above", or "shrunk"
    };
    const QSize wanted(744, 530), least(504, 390);
    const Case cases[] = {
        {QRect(20, 31, 692, 494), QRect(0, 0, 1920, 1080), wanted, least, "right"},
        {QRect(1200, 31, 692, 494), QRect(0, 0, 1920, 1080), wanted, least, "left"},
        {QRect(20, 31, 692, 494), QRect(0, 0, 1280, 1100), wanted, least, "below"},
        {QRect(20, 560, 692, 494), QRect(0, 0, 1280, 1100), wanted, least, "above"},
        {QRect(20, 31, 692, 494), QRect(0, 0, 1280, 1024), wanted, least, "shrunk"},  // Xvfb's screen
        {QRect(1940, 50, 692, 494), QRect(1920, 0, 2560, 1440), wanted, least, "right"},  // a second screen
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.side);
        const QRect frame = dz::frame_beside(c.main, c.wanted, c.least, c.screen);
        EXPECT_TRUE(c.screen.contains(frame)) << frame.x() << "," << frame.y() << " " << frame.width() << "x"
                                              << frame.height();
        EXPECT_FALSE(frame.intersects(c.main));
        const std::string side = c.side;
        if (side == "shrunk") {
            EXPECT_TRUE(frame.width() < c.wanted.width() || frame.height() < c.wanted.height());
            EXPECT_GE(frame.width(), c.least.width());
            EXPECT_GE(frame.height(), c.least.height());
            continue;
        }
        EXPECT_EQ(frame.size(), c.wanted);
        const bool where = side == "right"   ? frame.left() > c.main.right()
                           : side == "left"  ? frame.right() < c.main.left()
                           : side == "below" ? frame.top() > c.main.bottom()
                                             : frame.bottom() < c.main.top();
        EXPECT_TRUE(where);
    }
}

TEST_F(WindowTest, TFORM1_ExitClosesWithAltX) {
    TFORM1 window({}, &dialogs_);
    window.show();
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QTest::keyClick(window.windowHandle(), Qt::Key_X, Qt::AltModifier);
    // The button shows itself pressed for a moment before it acts.
    for (int wait = 0; wait < 100 && window.isVisible(); ++wait) QTest::qWait(10);
    EXPECT_FALSE(window.isVisible());
}

TEST_F(WindowTest, QtDialogs_PromptMessageAndFileDialog) {
    QWidget parent;
    dz::QtDialogs dialogs(&parent);

    when_shown<QInputDialog>([](QInputDialog* d) {
        EXPECT_EQ(d->windowTitle(), "Number of leaves");
        EXPECT_EQ(d->labelText(), "> 2");
        EXPECT_EQ(d->textValue(), "4");
        d->setTextValue("6");
        d->accept();
    });
    EXPECT_EQ(dialogs.prompt("Number of leaves", "> 2", "4"), "6");
    when_shown<QInputDialog>([](QInputDialog* d) {
        d->setTextValue("typed, then cancelled");
        d->reject();
    });
    EXPECT_EQ(dialogs.prompt("% efficiency", "", "88"), "88");

    when_shown<QMessageBox>([](QMessageBox* d) {
        EXPECT_EQ(d->windowTitle(), "Doroziri");
        EXPECT_EQ(d->text(), "m.srf not found, try again.");
        EXPECT_EQ(d->standardButtons(), QMessageBox::Ok);
        d->accept();
    });
    dialogs.message("m.srf not found, try again.");

    // The file dialog opens in the given folder with the given filter, and
    // hands back the path, the filter and the folder chosen.
    const QString chosen = write_surface("chosen.srf", "c");
    dz::FileDialogSettings settings{"Open Merovins' surface file.",
                                    "Text files (*.srf, *.txt)|*.srf;*.txt|All files (*.*)|*.*", "tessaro.hlp", 1};
    std::string folder = dir_.string();
    when_shown<QFileDialog>([&](QFileDialog* d) {
        EXPECT_EQ(d->windowTitle(), "Open Merovins' surface file.");
        EXPECT_EQ(d->directory().absolutePath().toStdString(), dir_.string());
        auto* types = d->findChild<QComboBox*>("fileTypeCombo");
        ASSERT_NE(types, nullptr);
        ASSERT_EQ(types->count(), 2);
        EXPECT_EQ(types->itemText(0), "Text files (*.srf, *.txt)");
        EXPECT_EQ(types->itemText(1), "All files (*.*)");
        EXPECT_EQ(types->currentIndex(), 1);
        types->setCurrentIndex(0);
        d->selectFile(chosen);
        static_cast<QDialog*>(d)->accept();  // QFileDialog's own accept is protected
    });
    ASSERT_TRUE(dialogs.open_dialog(settings, folder));
    EXPECT_EQ(settings.file_name, chosen.toStdString());
    EXPECT_EQ(settings.filter_index, 0);
    EXPECT_EQ(folder, dir_.string());

    settings.file_name = ".txt";
    folder = "/";
    when_shown<QFileDialog>([](QFileDialog* d) { d->reject(); });
    EXPECT_FALSE(dialogs.save_dialog(settings, folder));
    EXPECT_EQ(settings.file_name, ".txt");
    EXPECT_EQ(folder, "/");
}

// The stroke dialog: the values in force preset, its limits those the
// document takes, OK hands back what was set (the model untouched), Restore
// Defaults the classic geometry, Cancel nothing.
TEST_F(WindowTest, QtDialogs_StrokeDialog) {
    QWidget parent;
    dz::QtDialogs dialogs(&parent);
    dz::WearSettings wear;
    wear.stroke = 0.35;
    wear.offset = 0.05;
    wear.lap_size = 0.8;
    wear.model = dz::WearLaw::matrix;
    const auto box = [](QDialog* d, const char* name) {
        auto* found = d->findChild<QDoubleSpinBox*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    };
    when_shown<QDialog>([&](QDialog* d) {
        EXPECT_EQ(d->objectName(), "STROKE_DIALOG");
        struct Limits {
            const char* name;
            double value, low, high;
        };
        for (const Limits& l : {Limits{"STROKE", 0.35, dz::MIN_STROKE, dz::MAX_STROKE},
                                Limits{"STROKE_OFFSET", 0.05, 0, dz::MAX_STROKE_OFFSET},
                                Limits{"LAP_SIZE", 0.8, dz::MIN_LAP_SIZE, dz::MAX_LAP_SIZE}}) {
            QDoubleSpinBox* b = box(d, l.name);
            if (b == nullptr) continue;
            EXPECT_DOUBLE_EQ(b->value(), l.value) << l.name;
            EXPECT_DOUBLE_EQ(b->minimum(), l.low) << l.name;
            EXPECT_DOUBLE_EQ(b->maximum(), l.high) << l.name;
        }
        EXPECT_EQ(d->focusWidget(), box(d, "STROKE"));
        // typed, as from the keyboard
        box(d, "STROKE")->selectAll();
        QTest::keyClicks(box(d, "STROKE"), "0.5");
        d->findChild<QComboBox*>("PRESSURE")->setCurrentIndex(1);
        QTest::keyClick(d, Qt::Key_Return);
    });
    ASSERT_TRUE(dialogs.stroke_dialog(wear));
    EXPECT_EQ(wear.stroke, 0.5);
    EXPECT_EQ(wear.offset, 0.05);
    EXPECT_EQ(wear.pressure, dz::PressureModel::load);
    EXPECT_EQ(wear.model, dz::WearLaw::matrix);

    when_shown<QDialog>([&](QDialog* d) {
        d->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::RestoreDefaults)->click();
        d->accept();
    });
    ASSERT_TRUE(dialogs.stroke_dialog(wear));
    dz::WearSettings classic;
    classic.model = dz::WearLaw::matrix;
    EXPECT_EQ(wear, classic);

    wear.stroke = 0.25;
    when_shown<QDialog>([&](QDialog* d) {
        box(d, "STROKE")->setValue(0.9);
        QTest::keyClick(d, Qt::Key_Escape);
    });
    EXPECT_FALSE(dialogs.stroke_dialog(wear));
    EXPECT_EQ(wear.stroke, 0.25);
}

TEST(QtDialogs_NameFilters, PairsBecomeQtFilters) {
    struct Case {
        std::string filter;
        QStringList expected;
    };
    const Case cases[] = {
        {"", {}},
        {"Text files (*.srf, *.txt)|*.srf;*.txt|All files (*.*)|*.*",
         {"Text files (*.srf, *.txt) (*.srf *.txt)", "All files (*.*) (*)"}},
        {"Drawing eXchange files (*.dxf)|*.dxf", {"Drawing eXchange files (*.dxf) (*.dxf)"}},
        {"Odd|*.a; *.b|Dangling", {"Odd (*.a *.b)"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.filter);
        EXPECT_EQ(dz::qt_name_filters(c.filter), c.expected);
    }
}

}  // namespace

int main(int argc, char** argv) { return dz::testing::run_window_tests(argc, argv); }
