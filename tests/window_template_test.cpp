// SPDX-License-Identifier: GPL-3.0-or-later
// File > Save lap template... and File > Print...: the command with scripted
// dialogs and a stand-in renderer, then the window's own menu entries and
// Qt pages on the offscreen platform.

#include <gtest/gtest.h>

#include <QAction>
#include <QByteArray>
#include <QString>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "window/commands.hpp"
#include "window/main_window.hpp"
#include "lap_template/template_files.hpp"
#include "render/template_pages.hpp"
#include "window/template_print.hpp"
#include "lap_load/calc_lap.hpp"
#include "scripted_dialogs.hpp"
#include "tests/test_files.hpp"
#include "tests/test_folder.hpp"
#include "tests/window_test_support.hpp"

namespace fs = std::filesystem;
using dz::TemplateKind;
using dz::testing::FileAnswer;
using dz::testing::RecordingView;
using dz::testing::ScriptedDialogs;

namespace {

class TemplateCommandTest : public ::testing::Test {
protected:
    void SetUp() override { dir_ = dz::testing::fresh_test_folder("doroziri_template_"); }
    void TearDown() override { fs::remove_all(dir_); }

    std::string surface(const std::string& name) const {
        std::ofstream(dir_ / name, std::ios::binary) << dz::testing::whole_number_surface("Template mirror");
        return (dir_ / name).string();
    }
    void load() {
        commands_.FormCreate({});
        dialogs_.files.push_back(FileAnswer{surface("mirror.srf")});
        commands_.Open1Click();
        ASSERT_TRUE(commands_.state().loaded);
    }
    // Saves through the dialog's answer; the stand-in renderer records each call.
    void save(const std::string& name, int filter) {
        dialogs_.files.push_back(FileAnswer{(dir_ / name).string(), filter});
        commands_.SaveTemplate1Click([this](const dz::WorkingState& ws, TemplateKind kind) {
            rendered_.push_back(kind);
            return std::string(kind == TemplateKind::pdf ? "%PDF stand-in " : "<svg stand-in ") +
                   std::to_string(ws.NUM_LEAVES);
        });
    }

    fs::path dir_;
    ScriptedDialogs dialogs_;
    RecordingView view_;
    dz::LapCommands commands_{dialogs_, view_, '.', "start"};
    std::vector<TemplateKind> rendered_;
};

TEST_F(TemplateCommandTest, SaveTemplate_ByTheChosenFilter) {
    // Before a load: the message of the other saves, no dialog.
    save("early.pdf", 0);
    EXPECT_EQ(dialogs_.messages, std::vector<std::string>{dz::OPEN_FIRST_MESSAGE});
    EXPECT_TRUE(dialogs_.file_dialogs.empty());
    dialogs_.files.clear();
    dialogs_.messages.clear();
    load();

    // The dialog offers the three kinds; a name without an extension of one
    // of them gets the chosen kind's; one with it (any case) keeps its name
    // and is written in the kind it names, whatever the filter.
    save("lap", 0);
    ASSERT_EQ(dialogs_.file_dialogs.size(), 2u);
    EXPECT_EQ(dialogs_.file_dialogs.back().settings.filter, dz::TEMPLATE_FILTER);
    EXPECT_EQ(dz::testing::file_bytes(dir_ / "lap.pdf"), "%PDF stand-in 4");
    save("cut.SVG", 1);
    EXPECT_EQ(dz::testing::file_bytes(dir_ / "cut.SVG"), "<svg stand-in 4");
    EXPECT_FALSE(fs::exists(dir_ / "cut.SVG.svg"));
    // The next dialog starts with the kind chosen last.
    EXPECT_EQ(dialogs_.file_dialogs.back().settings.filter_index, 0);
    save("typed.svg", 0);  // the PDF filter, a name typed with ".svg": an SVG of that name
    EXPECT_EQ(dialogs_.file_dialogs.back().settings.filter_index, 1);
    EXPECT_EQ(dz::testing::file_bytes(dir_ / "typed.svg"), "<svg stand-in 4");
    EXPECT_FALSE(fs::exists(dir_ / "typed.svg.pdf"));
    EXPECT_EQ(view_.notices.back(), dz::SAVED_NOTICE + (dir_ / "typed.svg").string());
    save("cam.v2", 2);  // the DXF filter, no extension of the three: ".dxf" is added
    const std::string dxf = dz::testing::file_bytes(dir_ / "cam.v2.dxf");
    EXPECT_EQ(dxf, dz::lap_dxf_bytes(commands_.state(), dz::template_date()));
    EXPECT_EQ(rendered_, (std::vector<TemplateKind>{TemplateKind::pdf, TemplateKind::svg, TemplateKind::svg}));
    EXPECT_TRUE(dialogs_.messages.empty());
    EXPECT_EQ(view_.notices.back(), dz::SAVED_NOTICE + (dir_ / "cam.v2.dxf").string());

    // Cancel writes nothing; the surface file itself is refused.
    dialogs_.files.push_back(std::nullopt);
    commands_.SaveTemplate1Click([](const dz::WorkingState&, TemplateKind) { return std::string("x"); });
    EXPECT_EQ(rendered_.size(), 3u);
    dialogs_.files.push_back(FileAnswer{surface("again.svg")});  // a surface file of that name, loaded
    commands_.Open1Click();
    save("again.svg", 1);
    EXPECT_EQ(dialogs_.messages, std::vector<std::string>{dz::export_onto_surface_message((dir_ / "again.svg").string())});
    EXPECT_EQ(dz::testing::file_bytes(dir_ / "again.svg"), dz::testing::whole_number_surface("Template mirror"));
    // A renderer that fails leaves no file and says so.
    dialogs_.messages.clear();
    dialogs_.files.push_back(FileAnswer{(dir_ / "none.svg").string(), 1});
    commands_.SaveTemplate1Click([](const dz::WorkingState&, TemplateKind) { return std::string(); });
    EXPECT_EQ(dialogs_.messages, std::vector<std::string>{"The lap template could not be made."});
    EXPECT_FALSE(fs::exists(dir_ / "none.svg"));
}

TEST_F(TemplateCommandTest, SaveTemplate_WarnsOfCrossedEdges) {
    load();
    dz::WorkingState crossed = commands_.state();
    ASSERT_FALSE(dz::apply_efficiency(crossed, 400).has_value());
    const std::string warning = dz::negative_width_warning(dz::build_lap_template(crossed));
    ASSERT_FALSE(warning.empty());
    dialogs_.answers = {"400"};
    commands_.INCR_LABELClick();
    save("crossed.svg", 1);
    EXPECT_EQ(dialogs_.messages, std::vector<std::string>{warning});
    EXPECT_TRUE(fs::exists(dir_ / "crossed.svg"));  // drawn as it is
}

// The window's entries and its real pages.
TEST_F(TemplateCommandTest, Window_EntriesAndPages) {
    dz::TFORM1 window({}, &dialogs_);
    auto* save_template = window.findChild<QAction*>(QStringLiteral("SaveTemplate1"));
    auto* print = window.findChild<QAction*>(QStringLiteral("Print1"));
    ASSERT_NE(save_template, nullptr);
    ASSERT_NE(print, nullptr);
    EXPECT_EQ(print->shortcut(), QKeySequence(QStringLiteral("Ctrl+P")));
    EXPECT_FALSE(save_template->isEnabled());
    EXPECT_FALSE(print->isEnabled());
    dialogs_.files.push_back(FileAnswer{surface("mirror.srf")});
    window.findChild<QAction*>(QStringLiteral("Open1"))->trigger();
    EXPECT_TRUE(save_template->isEnabled());
    EXPECT_TRUE(print->isEnabled());

    // Through the menu entry: the PDF and the SVG of the window's pages.
    dialogs_.files.push_back(FileAnswer{(dir_ / "lap").string(), 0});
    save_template->trigger();
    dialogs_.files.push_back(FileAnswer{(dir_ / "lap").string(), 1});
    save_template->trigger();
    EXPECT_TRUE(dialogs_.messages.empty());
    const std::string pdf = dz::testing::file_bytes(dir_ / "lap.pdf");
    const std::string svg = dz::testing::file_bytes(dir_ / "lap.svg");
    EXPECT_EQ(pdf.rfind("%PDF-", 0), 0u);
    const std::size_t leaves = static_cast<std::size_t>(window.commands().state().NUM_LEAVES);
    std::size_t paths = 0;
    for (std::size_t at = svg.find("<path"); at != std::string::npos; at = svg.find("<path", at + 1)) ++paths;
    EXPECT_EQ(paths, leaves);

    // One page routine for every device: a PDF of the plan's page count.
    const dz::TemplateDocument doc =
        dz::template_document(window.commands().state(), dz::Paper::a4, '.', "2026-01-02");
    const QByteArray again = dz::template_pdf(doc);
    std::size_t pages = 0;
    for (qsizetype at = again.indexOf("/Type /Page\n"); at >= 0; at = again.indexOf("/Type /Page\n", at + 1)) ++pages;
    const std::size_t planned = doc.plan.pages.size();
    EXPECT_GE(planned, 1u);
    EXPECT_EQ(pages, planned) << "pages as the plan has them";
}

}  // namespace

int main(int argc, char** argv) { return dz::testing::run_window_tests(argc, argv); }
