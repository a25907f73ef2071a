// SPDX-License-Identifier: GPL-3.0-or-later
// The window as a desktop program on the offscreen platform: shortcuts,
// title, dropped files, reload and the notice of a changed file, keyboard
// use of the value labels, the fixed size, the start, the prompts' size, the
// About box, and the plot on a screen of twice the pixel density.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFontMetrics>
#include <QImage>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "window/commands.hpp"
#include "window/qt_dialogs.hpp"
#include "window/main_window.hpp"
#include "drawing/lap_plot.hpp"
#include "scripted_dialogs.hpp"
#include "tests/test_files.hpp"
#include "tests/test_folder.hpp"
#include "tests/window_test_support.hpp"

namespace fs = std::filesystem;
using dz::TFORM1;
using dz::testing::FileAnswer;
using dz::testing::ScriptedDialogs;
using dz::testing::when_shown;
using dz::testing::whole_number_surface;

namespace {

// Some helpers serve only the tests of one of the two runs (plain, hidpi).
[[maybe_unused]] std::string read_bytes(const fs::path& path) { return dz::testing::file_bytes(path); }

template <class T>
T* child(const QWidget& window, const char* name) {
    auto* found = window.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
}

[[maybe_unused]] QAction* action(const QWidget& window, const char* name) { return child<QAction>(window, name); }

[[maybe_unused]] QWidget* notice(const QWidget& window) { return child<QWidget>(window, "NOTICE"); }
[[maybe_unused]] QString notice_text(const QWidget& window) { return child<QLabel>(window, "NOTICE_TEXT")->toolTip(); }

int pixels_of(const QImage& image, QRgb colour, QRect area) {
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) count += image.pixel(x, y) == colour;
    }
    return count;
}

[[maybe_unused]] QImage plot_image(const QWidget& window) { return child<QLabel>(window, "LAP_PIC")->pixmap().toImage(); }

class DesktopWindowTest : public ::testing::Test {
protected:
    void SetUp() override { dir_ = dz::testing::fresh_test_folder("doroziri_desktop_"); }
    void TearDown() override { fs::remove_all(dir_); }

    std::string write_surface(const std::string& name, const std::string& caption) const {
        std::ofstream(dir_ / name, std::ios::binary) << whole_number_surface(caption);
        return (dir_ / name).string();
    }

    static void activate(TFORM1& window) {
        window.show();
        QApplication::setActiveWindow(&window);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    }

    fs::path dir_;
    ScriptedDialogs dialogs_;
};

#ifndef DOROZIRI_HIDPI_RUN

TEST_F(DesktopWindowTest, Menus_ShowShortcutsThatWork_WithoutAccessKeys) {
    TFORM1 window({}, &dialogs_);
    struct Item {
        const char* name;
        const char* text;
        const char* keys;
    };
    const Item items[] = {
        {"Open1", "Open", "Ctrl+O"},       {"Reload1", "Reload", "F5"}, {"Save1", "Save .dxf", "Ctrl+S"},
        {"Savetxt1", "Save .txt", "Ctrl+Shift+S"}, {"Quit1", "Quit", "Ctrl+Q"}, {"Removal1", "Predicted removal", "Ctrl+E"},
        {"HELP", "Help", "F1"},
    };
    for (const Item& item : items) {
        SCOPED_TRACE(item.name);
        const QAction* a = action(window, item.name);
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(a->text(), item.text);
        EXPECT_EQ(a->shortcut().toString(QKeySequence::PortableText), item.keys);  // the one shown
    }
    // No menu text carries an access key.
    for (const QAction* top : window.menuBar()->actions()) {
        EXPECT_FALSE(top->text().contains(QLatin1Char('&'))) << top->text().toStdString();
        if (top->menu() == nullptr) continue;
        for (const QAction* a : top->menu()->actions()) EXPECT_FALSE(a->text().contains(QLatin1Char('&')));
    }

    activate(window);
    // Ctrl+O opens the dialog; F5 reads the file again.
    const std::string path = write_surface("mirror200.srf", "By keys");
    dialogs_.files = {FileAnswer{path}};
    QTest::keyClick(&window, Qt::Key_O, Qt::ControlModifier);
    ASSERT_EQ(dialogs_.file_dialogs.size(), 1u);
    EXPECT_EQ(child<QLabel>(window, "COMMENT_LABEL")->text(), "By keys");
    write_surface("mirror200.srf", "Again by keys");
    QTest::keyClick(&window, Qt::Key_F5);
    EXPECT_EQ(child<QLabel>(window, "COMMENT_LABEL")->text(), "Again by keys");
    // Ctrl+S and Ctrl+Shift+S reach their own save dialogs.
    dialogs_.files = {std::nullopt, std::nullopt};
    QTest::keyClick(&window, Qt::Key_S, Qt::ControlModifier);
    QTest::keyClick(&window, Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
    ASSERT_EQ(dialogs_.file_dialogs.size(), 3u);
    EXPECT_EQ(dialogs_.file_dialogs[1].settings.file_name, ".dxf");
    EXPECT_EQ(dialogs_.file_dialogs[2].settings.file_name, ".txt");
    // F1 is Help; Ctrl+Q closes the window.
    dialogs_.files = {std::nullopt};
    QTest::keyClick(&window, Qt::Key_F1);
    EXPECT_EQ(dialogs_.builtin_help_shown, 1);
    QTest::keyClick(&window, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_FALSE(window.isVisible());
    EXPECT_TRUE(dialogs_.messages.empty());
}

TEST_F(DesktopWindowTest, Title_NamesTheLoadedFile) {
    EXPECT_EQ(dz::window_title(""), "Doroziri");
    EXPECT_EQ(dz::window_title("/some/where/mirror200.srf"), "mirror200.srf \u2014 Doroziri");

    TFORM1 window({}, &dialogs_);
    EXPECT_EQ(window.windowTitle(), "Doroziri");
    dialogs_.files = {FileAnswer{write_surface("mirror200.srf", "M")}};
    action(window, "Open1")->trigger();
    EXPECT_EQ(window.windowTitle(), "mirror200.srf \u2014 Doroziri");
    // A file that is not loaded leaves the title at the one drawn.
    std::ofstream(dir_ / "broken.srf") << "no\nsurface\nhere\n";
    dialogs_.files = {FileAnswer{(dir_ / "broken.srf").string()}};
    action(window, "Open1")->trigger();
    EXPECT_EQ(dialogs_.messages.size(), 1u);
    EXPECT_EQ(window.windowTitle(), "mirror200.srf \u2014 Doroziri");
    // So does a command-line start.
    TFORM1 started({QString::fromStdString(write_surface("second.srf", "S"))}, &dialogs_);
    EXPECT_EQ(started.windowTitle(), "second.srf \u2014 Doroziri");
}

TEST_F(DesktopWindowTest, Drop_OpensALocalFile) {
    TFORM1 window({}, &dialogs_);
    const auto send_drag = [&](const QMimeData& data) {
        QDragEnterEvent enter(QPoint(300, 200), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&window, &enter);
        return enter.isAccepted();
    };
    EXPECT_TRUE(window.acceptDrops());

    // Text and remote addresses are not taken.
    QMimeData text;
    text.setText(QStringLiteral("mirror.srf"));
    EXPECT_FALSE(send_drag(text));
    QMimeData remote;
    remote.setUrls({QUrl(QStringLiteral("https://example.org/mirror.srf"))});
    EXPECT_FALSE(send_drag(remote));

    QMimeData local;
    const std::string path = write_surface("dropped.srf", "Dropped");
    local.setUrls({QUrl(QStringLiteral("https://example.org/x.srf")), QUrl::fromLocalFile(QString::fromStdString(path))});
    EXPECT_TRUE(send_drag(local));
    QDropEvent drop(QPointF(300, 200), Qt::CopyAction, &local, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &drop);
    EXPECT_TRUE(drop.isAccepted());
    EXPECT_TRUE(dialogs_.messages.empty());
    EXPECT_EQ(child<QLabel>(window, "COMMENT_LABEL")->text(), "Dropped");
    EXPECT_EQ(window.commands().view().surface_path, path);
    EXPECT_TRUE(dialogs_.file_dialogs.empty());  // no dialog asked

    // A source that proposes a move gets a copy (it must not delete its
    // file); one that offers only a move is refused.
    QDragEnterEvent move_or_copy(QPoint(300, 200), Qt::MoveAction | Qt::CopyAction, &local, Qt::LeftButton,
                                 Qt::ShiftModifier);
    move_or_copy.setDropAction(Qt::MoveAction);
    QApplication::sendEvent(&window, &move_or_copy);
    EXPECT_TRUE(move_or_copy.isAccepted());
    EXPECT_EQ(move_or_copy.dropAction(), Qt::CopyAction);
    QDropEvent moved(QPointF(300, 200), Qt::MoveAction | Qt::CopyAction, &local, Qt::LeftButton, Qt::ShiftModifier);
    moved.setDropAction(Qt::MoveAction);
    QApplication::sendEvent(&window, &moved);
    EXPECT_TRUE(moved.isAccepted());
    EXPECT_EQ(moved.dropAction(), Qt::CopyAction);
    QDragEnterEvent move_only(QPoint(300, 200), Qt::MoveAction, &local, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &move_only);
    EXPECT_FALSE(move_only.isAccepted());
    EXPECT_TRUE(fs::exists(path));
}

TEST_F(DesktopWindowTest, Reload_AndTheNoticeOfAChangedFile) {
    TFORM1 window({}, &dialogs_);
    window.show();
    EXPECT_FALSE(action(window, "Reload1")->isEnabled());
    const std::string path = write_surface("mirror200.srf", "First test");
    dialogs_.files = {FileAnswer{path}};
    action(window, "Open1")->trigger();
    EXPECT_TRUE(action(window, "Reload1")->isEnabled());
    EXPECT_FALSE(notice(window)->isVisible());

    // The optician tests again and the testing program overwrites the file.
    write_surface("mirror200.srf", "Second test");
    QTRY_VERIFY_WITH_TIMEOUT(notice(window)->isVisible(), 5000);
    EXPECT_EQ(notice_text(window), "mirror200.srf has changed on disk.");
    EXPECT_EQ(child<QLabel>(window, "COMMENT_LABEL")->text(), "First test");  // only offered
    auto* reload = child<QPushButton>(window, "NOTICE_ACTION");
    EXPECT_TRUE(reload->isVisible());
    EXPECT_EQ(reload->text(), "Reload");
    QTest::mouseClick(reload, Qt::LeftButton);
    EXPECT_FALSE(notice(window)->isVisible());
    EXPECT_EQ(child<QLabel>(window, "COMMENT_LABEL")->text(), "Second test");

    // A program that writes a new file and renames it over the old one: the
    // new file is watched as well, and the menu's Reload reads it.
    std::ofstream(dir_ / "new.srf", std::ios::binary) << whole_number_surface("Third test");
    fs::rename(dir_ / "new.srf", path);
    QTRY_VERIFY_WITH_TIMEOUT(notice(window)->isVisible(), 5000);
    QTest::mouseClick(child<QWidget>(window, "NOTICE_CLOSE"), Qt::LeftButton);
    EXPECT_FALSE(notice(window)->isVisible());
    write_surface("mirror200.srf", "Fourth test");
    QTRY_VERIFY_WITH_TIMEOUT(notice(window)->isVisible(), 5000);
    action(window, "Reload1")->trigger();  // F5: the notice goes with the reload
    EXPECT_EQ(child<QLabel>(window, "COMMENT_LABEL")->text(), "Fourth test");
    EXPECT_FALSE(notice(window)->isVisible());
    EXPECT_TRUE(dialogs_.messages.empty());

    // Another file loaded while the notice shows: the notice, which belongs
    // to the first file, goes; the first is no longer watched.
    write_surface("mirror200.srf", "Fifth test");
    QTRY_VERIFY_WITH_TIMEOUT(notice(window)->isVisible(), 5000);
    dialogs_.files = {FileAnswer{write_surface("other.srf", "Other")}};
    action(window, "Open1")->trigger();
    EXPECT_FALSE(notice(window)->isVisible());
    write_surface("mirror200.srf", "Sixth test");
    QTest::qWait(300);
    EXPECT_FALSE(notice(window)->isVisible());
}

TEST_F(DesktopWindowTest, ChangeNotice_DoesNotInterruptAPrompt) {
    // The window's own Qt dialogs: a real prompt is open when the file changes.
    TFORM1 window({QString::fromStdString(write_surface("mirror200.srf", "Before"))});
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    bool prompt_stayed = false;
    QTimer::singleShot(0, [&] {
        auto* prompt = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(prompt, nullptr);
        write_surface("mirror200.srf", "After");
        for (int wait = 0; wait < 500 && !notice(window)->isVisible(); ++wait) QTest::qWait(10);
        EXPECT_TRUE(notice(window)->isVisible());
        prompt_stayed = QApplication::activeModalWidget() == prompt;
        prompt->setTextValue(QStringLiteral("6"));
        prompt->accept();
    });
    QTest::mouseClick(child<QLabel>(window, "NP_LABEL"), Qt::LeftButton);
    EXPECT_TRUE(prompt_stayed);
    EXPECT_EQ(child<QLabel>(window, "NP_LABEL")->text(), "6");
    EXPECT_EQ(child<QLabel>(window, "COMMENT_LABEL")->text(), "Before");
}

TEST_F(DesktopWindowTest, ValueLabels_LookClickable_AndWorkFromTheKeyboard) {
    TFORM1 window({QString::fromStdString(write_surface("m.srf", "Caption"))}, &dialogs_);
    struct Label {
        const char* name;
        const char* tip_start;
        const char* prompt;
    };
    const Label labels[] = {
        {"NP_LABEL", "Click to change the number of leaves", "Number of leaves"},
        {"INCR_LABEL", "Click to change the efficiency", "% efficiency"},
        {"COMMENT_LABEL", "Click to change the plot caption", "Change plot caption"},
    };
    for (const Label& l : labels) {
        SCOPED_TRACE(l.name);
        const auto* label = child<QLabel>(window, l.name);
        EXPECT_TRUE(label->toolTip().startsWith(QString::fromLatin1(l.tip_start)));
        EXPECT_EQ(label->cursor().shape(), Qt::PointingHandCursor);
        EXPECT_EQ(label->focusPolicy(), Qt::TabFocus);  // a click gives no focus frame
    }
    // Tab: the lap-type group, Exit, then the three values.
    auto* quit = child<QWidget>(window, "QUIT");
    activate(window);
    quit->setFocus(Qt::TabFocusReason);
    const int keys[] = {Qt::Key_Return, Qt::Key_Space, Qt::Key_Enter};
    const char* answers[] = {"7", "90", "Typed caption"};
    for (int k = 0; k < 3; ++k) {
        SCOPED_TRACE(labels[k].name);
        QTest::keyClick(&window, Qt::Key_Tab);
        ASSERT_EQ(QApplication::focusWidget(), child<QWidget>(window, labels[k].name));
        dialogs_.answers = {answers[k]};
        QTest::keyClick(QApplication::focusWidget(), static_cast<Qt::Key>(keys[k]));
        ASSERT_EQ(dialogs_.prompts.size(), static_cast<std::size_t>(k + 1));
        EXPECT_EQ(dialogs_.prompts.back().caption, labels[k].prompt);
        EXPECT_EQ(child<QLabel>(window, labels[k].name)->text(), answers[k]);
    }
    // Other keys do nothing.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_A);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(dialogs_.prompts.size(), 3u);
}

TEST_F(DesktopWindowTest, Window_KeepsItsDesignedSize) {
    TFORM1 window({}, &dialogs_);
    const QSize designed = window.size();
    EXPECT_EQ(window.minimumSize(), designed);
    EXPECT_EQ(window.maximumSize(), designed);
    EXPECT_FALSE(window.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    window.showMaximized();
    QTRY_VERIFY(!window.isMaximized());
    QTest::qWait(20);
    EXPECT_EQ(window.size(), designed);
    window.showFullScreen();
    QTRY_VERIFY(!window.isFullScreen());
    QTest::qWait(20);
    EXPECT_EQ(window.size(), designed);
    EXPECT_EQ(window.centralWidget()->size(), QSize(692, 470));
    EXPECT_EQ(child<QLabel>(window, "LAP_PIC")->geometry(), QRect(20, 80, 641, 341));
}

TEST_F(DesktopWindowTest, Start_EmptyGridWithHint_SavesGreyedUntilALap) {
    TFORM1 window({}, &dialogs_);
    EXPECT_FALSE(action(window, "Save1")->isEnabled());
    EXPECT_FALSE(action(window, "Savetxt1")->isEnabled());
    const QImage start = plot_image(window);
    // The grid (green) and the rim are drawn, and the hint in black inside it.
    const QRect whole(0, 0, dz::PLOT_WIDTH, dz::PLOT_HEIGHT);
    const QRect hint_area(250, 195, 160, 20);
    EXPECT_GT(pixels_of(start, qRgb(0, 255, 0), whole), 500);
    EXPECT_GT(pixels_of(start, qRgb(0, 0, 0), hint_area), 30);
    EXPECT_EQ(pixels_of(start, qRgb(255, 0, 0), whole), 0);

    // A value click before a load keeps the hint; a load removes it.
    dialogs_.answers = {"6"};
    QTest::mouseClick(child<QLabel>(window, "NP_LABEL"), Qt::LeftButton);
    EXPECT_GT(pixels_of(plot_image(window), qRgb(0, 0, 0), hint_area), 30);
    dialogs_.files = {FileAnswer{write_surface("m.srf", "M")}};
    action(window, "Open1")->trigger();
    EXPECT_TRUE(action(window, "Save1")->isEnabled());
    EXPECT_TRUE(action(window, "Savetxt1")->isEnabled());
    EXPECT_LT(pixels_of(plot_image(window), qRgb(0, 0, 0), hint_area),
              pixels_of(start, qRgb(0, 0, 0), hint_area));
    EXPECT_TRUE(dialogs_.messages.empty());
}

TEST_F(DesktopWindowTest, Save_ConfirmsWhereTheFileWent_AndKeepsTheFileCaptionInTheDxf) {
    TFORM1 window({QString::fromStdString(write_surface("m.srf", "From the file"))}, &dialogs_);
    window.show();
    dialogs_.answers = {"EDITED CAPTION"};
    QTest::mouseClick(child<QLabel>(window, "COMMENT_LABEL"), Qt::LeftButton);
    const std::string dxf = (dir_ / "leaf.dxf").string();
    const std::string txt = (dir_ / "leaf.txt").string();
    dialogs_.files = {FileAnswer{dxf}, FileAnswer{txt}};
    action(window, "Save1")->trigger();
    EXPECT_TRUE(notice(window)->isVisible());
    EXPECT_EQ(notice_text(window), QString::fromStdString("Saved " + dxf));
    EXPECT_FALSE(child<QPushButton>(window, "NOTICE_ACTION")->isVisible());  // nothing to choose
    action(window, "Savetxt1")->trigger();
    EXPECT_EQ(notice_text(window), QString::fromStdString("Saved " + txt));
    EXPECT_TRUE(dialogs_.messages.empty());

    const std::string dxf_bytes = read_bytes(dxf);
    EXPECT_NE(dxf_bytes.find("4 Leaves\\PFrom the file\\PTarget:"), std::string::npos);
    EXPECT_EQ(dxf_bytes.find("EDITED"), std::string::npos);
    EXPECT_EQ(read_bytes(txt).rfind("EDITED CAPTION\r\n", 0), 0u);
}

TEST_F(DesktopWindowTest, Labels_ShowTheLargestValuesWhole_AndRefuseLarger) {
    TFORM1 window({QString::fromStdString(write_surface("m.srf", "M"))}, &dialogs_);
    auto* leaves = child<QLabel>(window, "NP_LABEL");
    auto* efficiency = child<QLabel>(window, "INCR_LABEL");
    // The largest taken values fit their labels.
    EXPECT_LE(QFontMetrics(leaves->font()).horizontalAdvance(QString::number(dz::MAX_LEAVES)),
              leaves->contentsRect().width());
    EXPECT_LE(QFontMetrics(efficiency->font()).horizontalAdvance(QStringLiteral("999")),
              efficiency->contentsRect().width());

    dialogs_.answers = {"1000000000", "1e9", "1e-300", std::nullopt};
    QTest::mouseClick(leaves, Qt::LeftButton);
    QTest::mouseClick(efficiency, Qt::LeftButton);
    QTest::mouseClick(efficiency, Qt::LeftButton);
    EXPECT_EQ(leaves->text(), "4");
    EXPECT_EQ(efficiency->text(), "100");
    ASSERT_EQ(dialogs_.messages.size(), 3u);
    EXPECT_EQ(dialogs_.messages[0], dz::LEAVES_RANGE_MESSAGE);
    // Cancel then takes the value shown, without a message.
    QTest::mouseClick(efficiency, Qt::LeftButton);
    EXPECT_EQ(dialogs_.messages.size(), 3u);
    EXPECT_EQ(efficiency->text(), "100");
}

TEST_F(DesktopWindowTest, Start_CancelledEfficiencyPromptIsNoError) {
    TFORM1 window({}, &dialogs_);
    dialogs_.answers = {std::nullopt};
    QTest::mouseClick(child<QLabel>(window, "INCR_LABEL"), Qt::LeftButton);
    ASSERT_EQ(dialogs_.prompts.size(), 1u);
    EXPECT_EQ(dialogs_.prompts[0].default_text, "100");
    EXPECT_TRUE(dialogs_.messages.empty());
}

TEST_F(DesktopWindowTest, Prompts_WideEnoughForTitleAndText) {
    QWidget parent;
    dz::QtDialogs dialogs(&parent);
    const QString long_caption =
        QStringLiteral("Mirror 254 mm f/5, third test after 40 minutes of the 7-leaf lap at 80 %, pitch warm");
    for (const auto& [title, text, value] :
         {std::tuple{QStringLiteral("Number of leaves"), QStringLiteral("> 2"), QStringLiteral("4")},
          std::tuple{QStringLiteral("Change plot caption"), QStringLiteral(" = First line in save file"), long_caption}}) {
        SCOPED_TRACE(title.toStdString());
        int width = 0;
        int edit_width = 0;
        int needed = 0;
        when_shown<QInputDialog>([&](QInputDialog* d) {
            width = d->width();
            const auto* edit = d->findChild<QLineEdit*>();
            ASSERT_NE(edit, nullptr);
            edit_width = edit->width();
            needed = QFontMetrics(edit->font()).horizontalAdvance(value);
            d->reject();
        });
        EXPECT_EQ(dialogs.prompt(title.toStdString(), text.toStdString(), value.toStdString()), value.toStdString());
        EXPECT_GE(width, QFontMetrics(QApplication::font("QMdiSubWindowTitleBar")).horizontalAdvance(title) + 100);
        EXPECT_GT(edit_width, needed);
    }
    // Never wider than the screen.
    const QFont font = QApplication::font();
    EXPECT_EQ(dz::prompt_width(QStringLiteral("T"), QString(), QString(5000, QLatin1Char('x')), font, font, 800), 720);
    EXPECT_LT(dz::prompt_width(QStringLiteral("T"), QString(), QStringLiteral("4"), font, font, 800), 720);
}

TEST_F(DesktopWindowTest, About_FromTheBuiltInHelp) {
    QWidget parent;
    dz::QtDialogs dialogs(&parent);
    dialogs.show_builtin_help();
    auto* help = parent.findChild<QWidget*>(QStringLiteral("BUILTIN_HELP"));
    ASSERT_NE(help, nullptr);
    auto* about_button = help->findChild<QPushButton*>(QStringLiteral("ABOUT_BUTTON"));
    ASSERT_NE(about_button, nullptr);
    QTest::mouseClick(about_button, Qt::LeftButton);
    auto* about = help->findChild<QMessageBox*>(QStringLiteral("ABOUT"));
    ASSERT_NE(about, nullptr);
    EXPECT_TRUE(about->isVisible());
    EXPECT_FALSE(about->isModal());
    const QString text = about->text();
    EXPECT_TRUE(text.contains(QStringLiteral("Doroziri " DOROZIRI_PROJECT_VERSION))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("GPL-3.0-or-later")));
    EXPECT_TRUE(text.contains(QStringLiteral("Qt ") + QString::fromLatin1(qVersion())));
    // It is painted: mostly the window colour, not a black box.
    ASSERT_TRUE(QTest::qWaitForWindowExposed(about));
    const QImage shown = about->grab().toImage();
    EXPECT_GT(pixels_of(shown, about->palette().color(QPalette::Window).rgb(), shown.rect()),
              shown.width() * shown.height() / 2);
    about->close();
    help->close();
}

#else  // DOROZIRI_HIDPI_RUN: the program runs with QT_SCALE_FACTOR=2

TEST_F(DesktopWindowTest, HighDensityScreen_PlotPaintedAtItsPixelRatio) {
    TFORM1 window({QString::fromStdString(write_surface("m.srf", "Twice the pixels"))}, &dialogs_);
    window.show();
    ASSERT_EQ(window.devicePixelRatio(), 2);
    const auto* plot = child<QLabel>(window, "LAP_PIC");
    // The same logical geometry...
    EXPECT_EQ(plot->geometry(), QRect(20, 80, 641, 341));
    const QPixmap pixmap = plot->pixmap();
    EXPECT_EQ(pixmap.devicePixelRatio(), 2);
    EXPECT_EQ(pixmap.deviceIndependentSize().toSize(), QSize(641, 341));
    // ...painted with four image pixels to each of the plot's: the outline
    // reaches the far corner of the image, not one quarter of it, and it is
    // not a 1x picture made larger: that one would have only pairs of equal
    // columns.
    const QImage image = pixmap.toImage();
    ASSERT_EQ(image.size(), QSize(1282, 682));
    EXPECT_GT(pixels_of(image, qRgb(255, 0, 0), QRect(641, 0, 641, 682)), 40);
    EXPECT_GT(pixels_of(image, qRgb(0, 255, 0), QRect(641, 341, 641, 341)), 200);
    int odd_columns_unlike_their_pair = 0;
    for (int x = 0; x + 1 < image.width(); x += 2) {
        for (int y = 0; y < image.height(); ++y) {
            if (image.pixel(x, y) != image.pixel(x + 1, y)) {
                ++odd_columns_unlike_their_pair;
                break;
            }
        }
    }
    EXPECT_GT(odd_columns_unlike_their_pair, 20);
    EXPECT_TRUE(dialogs_.messages.empty());
}

#endif

}  // namespace

int main(int argc, char** argv) {
#ifdef DOROZIRI_HIDPI_RUN
    qputenv("QT_SCALE_FACTOR", "2");
#endif
    return dz::testing::run_window_tests(argc, argv);
}
