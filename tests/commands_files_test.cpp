// SPDX-License-Identifier: GPL-3.0-or-later
// The command handlers that reach files: the exports, the help file, reload
// and drop, and the notice of a save.

#include "tests/commands_test_support.hpp"

using namespace dz::commands_test;

namespace {

TEST_F(CommandsTest, Exports_ThroughSaveDialogs) {
    commands_.FormCreate({});
    // Before a load the saves only say so.
    commands_.Save1Click();
    commands_.Savetxt1Click();
    EXPECT_EQ(dialogs_.messages, std::vector<std::string>(2, dz::OPEN_FIRST_MESSAGE));
    EXPECT_TRUE(dialogs_.file_dialogs.empty());
    dialogs_.messages.clear();

    loaded();
    dialogs_.file_dialogs.clear();
    const auto before = std::distance(fs::directory_iterator(dir_), fs::directory_iterator());

    struct Case {
        void (LapCommands::*command)();
        const char* title;
        const char* filter;
        const char* preset;
    };
    const Case cases[] = {
        {&LapCommands::Save1Click, "Save half-leaf shape as Drawing eXchange File (.dxf).",
         "Drawing eXchange files (*.dxf)|*.dxf", ".dxf"},
        {&LapCommands::Savetxt1Click, "Save half-leaf shape in text file.", "Text files (*.txt)|*.txt", ".txt"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        // Cancel writes nothing.
        dialogs_.files = {std::nullopt};
        (commands_.*c.command)();
        ASSERT_EQ(dialogs_.file_dialogs.size(), 1u);
        EXPECT_EQ(dialogs_.file_dialogs[0].settings.title, c.title);
        EXPECT_EQ(dialogs_.file_dialogs[0].settings.filter, c.filter);
        EXPECT_EQ(dialogs_.file_dialogs[0].settings.file_name, c.preset);
        EXPECT_TRUE(dialogs_.file_dialogs[0].save);
        EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), before);

        // A name without extension is used as typed; an existing file is replaced.
        const auto path = write("shape", "old contents that are longer than nothing");
        dialogs_.files = {FileAnswer{path}};
        (commands_.*c.command)();
        const auto lines = dz::testing::crlf_lines(read_bytes(path));
        EXPECT_EQ(lines.front(), c.preset == std::string(".dxf") ? "  0" : "Test mirror 200");
        EXPECT_EQ(lines.size(), c.preset == std::string(".dxf") ? 3012u + 22 * 10 : 12u);
        // The preset comes back each time.
        dialogs_.files = {std::nullopt};
        (commands_.*c.command)();
        EXPECT_EQ(dialogs_.file_dialogs[2].settings.file_name, c.preset);

        // A file that cannot be created gives the system's message.
        dialogs_.files = {FileAnswer{(dir_ / "no-such-folder" / "x").string()}};
        (commands_.*c.command)();
        EXPECT_EQ(dialogs_.messages.size(), 1u);
        dialogs_.messages.clear();
        dialogs_.file_dialogs.clear();
        fs::remove(path);
    }
    // The exports change nothing in the working state.
    EXPECT_EQ(commands_.state().ZONE_COUNT, 10);
    EXPECT_EQ(commands_.state().EFFICIENCY, 100);
}

TEST_F(CommandsTest, Help_ChoiceAndSharedDialog) {
    commands_.FormCreate({});
    const auto guide = write("guide.hlp", "help");

    // First Help: no open before, so no filter; Cancel gives the built-in help.
    dialogs_.files = {std::nullopt};
    commands_.HELPClick();
    ASSERT_EQ(dialogs_.file_dialogs.size(), 1u);
    EXPECT_EQ(dialogs_.file_dialogs[0].settings.title, "Open the help file.");
    EXPECT_EQ(dialogs_.file_dialogs[0].settings.file_name, "tessaro.hlp");
    EXPECT_EQ(dialogs_.file_dialogs[0].settings.filter, "");
    EXPECT_TRUE(dialogs_.helps_opened.empty());
    EXPECT_EQ(dialogs_.builtin_help_shown, 1);
    EXPECT_FALSE(commands_.help_chosen());

    // An open command, cancelled, offers the help dialog's file name.
    dialogs_.files = {std::nullopt};
    commands_.Open1Click();
    EXPECT_EQ(dialogs_.file_dialogs[1].settings.file_name, "tessaro.hlp");

    // Help asks again, now with the open command's filter, and is chosen.
    dialogs_.files = {FileAnswer{guide, 1}};
    commands_.HELPClick();
    ASSERT_EQ(dialogs_.file_dialogs.size(), 3u);
    EXPECT_EQ(dialogs_.file_dialogs[2].settings.filter,
              "Text files (*.srf, *.txt)|*.srf;*.txt|All files (*.*)|*.*");
    EXPECT_EQ(dialogs_.helps_opened, std::vector<std::string>{guide});
    EXPECT_EQ(dialogs_.builtin_help_shown, 1);
    EXPECT_TRUE(commands_.help_chosen());
    EXPECT_EQ(commands_.help_file(), guide);

    // From now on Help opens the viewer at once; when the viewer fails the
    // built-in help stands in.
    dialogs_.help_opens = false;
    commands_.HELPClick();
    EXPECT_EQ(dialogs_.file_dialogs.size(), 3u);
    EXPECT_EQ(dialogs_.helps_opened, (std::vector<std::string>{guide, guide}));
    EXPECT_EQ(dialogs_.builtin_help_shown, 2);

    // The next open offers the help file, its folder and its filter choice,
    // under the open command's own title and filter.
    dialogs_.files = {std::nullopt};
    commands_.Open1Click();
    const auto& open = dialogs_.file_dialogs.back().settings;
    EXPECT_EQ(open.title, "Open Merovins' surface file.");
    EXPECT_EQ(open.file_name, guide);
    EXPECT_EQ(open.filter_index, 1);
    EXPECT_EQ(dialogs_.file_dialogs.back().folder, dir_.string());
    EXPECT_TRUE(dialogs_.messages.empty());
}

TEST_F(CommandsTest, Reload_AndDrop_ReadTheFileAgain) {
    commands_.FormCreate({});
    // Nothing loaded yet: Reload has nothing to read and says nothing.
    commands_.Reload1Click();
    EXPECT_TRUE(dialogs_.messages.empty());
    EXPECT_EQ(commands_.view().surface_path, "");
    EXPECT_FALSE(commands_.view().lap_drawn);

    // A dropped file loads like an opened one; its path is what Reload reads.
    const auto path = write("dropped.srf", surface_text("First test"));
    commands_.FileDrop(path);
    EXPECT_TRUE(commands_.state().loaded);
    EXPECT_EQ(commands_.view().surface_path, path);
    EXPECT_TRUE(commands_.view().lap_drawn);
    EXPECT_EQ(view_.shown.back().surface_path, path);

    // The optician tests again and overwrites the file; the settings made
    // since stay, the efficiency starts again at 100.
    dialogs_.answers = {"7", "80"};
    commands_.NP_LABELClick();
    commands_.INCR_LABELClick();
    write("dropped.srf", surface_text("Second test"));
    const int draws = view_.draws;
    commands_.Reload1Click();
    EXPECT_EQ(commands_.view().caption_text, "Second test");
    EXPECT_EQ(commands_.state().NUM_LEAVES, 7);
    EXPECT_EQ(commands_.state().EFFICIENCY, 100);
    EXPECT_EQ(view_.draws, draws + 1);

    // A file gone or no surface file any more: the message of an open, and
    // the lap drawn before stays, as does the path Reload reads.
    write("dropped.srf", "not a surface\r\n\r\nb?\r\n");
    commands_.Reload1Click();
    fs::remove(path);
    commands_.Reload1Click();
    ASSERT_EQ(dialogs_.messages.size(), 2u);
    EXPECT_EQ(dialogs_.messages[0].rfind("ERROR reading this line, expected b value", 0), 0u);
    EXPECT_EQ(dialogs_.messages[1], path + " not found, try again.");
    EXPECT_EQ(commands_.view().surface_path, path);
    EXPECT_TRUE(commands_.view().lap_drawn);
    EXPECT_EQ(view_.draws, draws + 1);

    // A dropped file that is missing is reported like one typed in the dialog.
    commands_.FileDrop((dir_ / "gone.srf").string());
    EXPECT_EQ(dialogs_.messages.back(), (dir_ / "gone.srf").string() + " not found, try again.");
}

TEST_F(CommandsTest, Saves_SayWhereTheFileWent) {
    loaded();
    const auto dxf = (dir_ / "leaf.dxf").string();
    const auto txt = (dir_ / "leaf.txt").string();
    dialogs_.files = {FileAnswer{dxf}, std::nullopt, FileAnswer{(dir_ / "no-such-folder" / "x").string()},
                      FileAnswer{txt}};
    commands_.Save1Click();
    commands_.Savetxt1Click();  // cancelled
    commands_.Savetxt1Click();  // cannot be written
    commands_.Savetxt1Click();
    EXPECT_EQ(view_.notices, (std::vector<std::string>{"Saved " + dxf, "Saved " + txt}));
    EXPECT_EQ(dialogs_.messages.size(), 1u);  // only the failed write is a message box
}

}  // namespace
