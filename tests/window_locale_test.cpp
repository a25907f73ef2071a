// SPDX-License-Identifier: GPL-3.0-or-later
// The window started under a locale name that this system does not have
// ("de_DE", no such locale generated): Qt reads a decimal comma into the
// name, the C library falls back to the C locale. The window must take the
// tool's separator, so that a file loads in both or in neither.

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLocale>
#include <filesystem>
#include <fstream>
#include <locale>
#include <sstream>

#include "cli/cli.hpp"
#include "window/main_window.hpp"
#include "scripted_dialogs.hpp"
#include "tests/test_folder.hpp"
#include "text_io/locale_separator.hpp"

namespace {

constexpr const char* UNINSTALLED = "de_DE";

bool installed(const char* name) {
    try {
        std::locale{name};
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

TEST(WindowLocale, SameSeparatorAsTheTool) {
    if (installed(UNINSTALLED)) GTEST_SKIP() << UNINSTALLED << " is installed here";
    ASSERT_EQ(QLocale::system().decimalPoint(), ",");  // Qt's own reading of the name

    const auto dir = dz::testing::fresh_test_folder("doroziri_window_locale_");
    const auto file = dir / "m.srf";
    std::ofstream(file, std::ios::binary) << "Dots\nx\n-1.0\n1200.0\nx\n0 0 0.0\n2.5 0 0.5\n5.0 0 1.5\n7.5 0 0.5\n"
                                             "10.0 0 0.25\n12.5 0 0.0\n";
    dz::testing::ScriptedDialogs dialogs;
    dz::TFORM1 window({QString::fromStdString(file.string())}, &dialogs);
    EXPECT_EQ(window.decimal_separator(), '.');
    EXPECT_EQ(window.decimal_separator(), dz::locale_decimal_separator());
    EXPECT_TRUE(dialogs.messages.empty()) << dialogs.messages.front();
    EXPECT_EQ(window.findChild<QLabel*>("COMMENT_LABEL")->text(), "Dots");

    // The tool under the same environment loads the same file.
    std::ostringstream out, err;
    EXPECT_EQ(dz::run_cli({file.string()}, dz::locale_decimal_separator(), out, err), 0) << err.str();
    std::filesystem::remove_all(dir);
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("LC_ALL", UNINSTALLED);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
