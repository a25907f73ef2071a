// SPDX-License-Identifier: GPL-3.0-or-later
// The command handlers of the main window, driven through scripted dialogs.
// Start-up, opening, the value prompts, the lap type and the caption.

#include "tests/commands_test_support.hpp"

using namespace dz::commands_test;

namespace {

TEST_F(CommandsTest, FormCreate_ArgumentRule) {
    write("mirror.srf", surface_text("From the command line"));
    write("a.b.srf", surface_text("a.b"));
    write("scan.data.srf", surface_text("scan.data"));
    write("m1.txt", surface_text("m1"));
    struct Case {
        std::vector<std::string> arguments;
        std::string caption;  // empty: nothing loaded
        std::vector<std::string> messages;
    };
    const std::string absolute = (dir_ / "m1.txt").string();
    const std::vector<Case> cases = {
        {{"mirror"}, "From the command line", {}},
        {{"mirror.srf"}, "From the command line", {}},
        {{"a.b"}, "a.b", {}},
        {{"scan.data"}, "scan.data", {}},
        {{absolute}, "m1", {}},
        {{"mirror", "a.b"}, "", {}},
        {{}, "", {}},
        {{"nothere"}, "", {"nothere.srf not found, try again."}},
        {{"m1.srf"}, "", {"m1.srf not found, try again."}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.empty() ? "(none)" : c.arguments.front());
        ScriptedDialogs dialogs;
        RecordingView view;
        LapCommands commands(dialogs, view, '.', dir_.string());
        commands.FormCreate(c.arguments);
        EXPECT_EQ(commands.state().PLOT_SCALE, 301);
        EXPECT_EQ(dialogs.messages, c.messages);
        EXPECT_EQ(commands.state().loaded, !c.caption.empty());
        ASSERT_FALSE(view.shown.empty());
        const auto& shown = view.shown.back();
        EXPECT_EQ(shown.lap_choice_visible, !c.caption.empty());
        EXPECT_EQ(shown.caption_text, c.caption.empty() ? "Plot Caption" : c.caption);
        EXPECT_EQ(shown.efficiency_text, c.caption.empty() ? "" : "100");
        EXPECT_EQ(shown.leaves_text, "4");
        // The empty grid at once, then the lap of a loaded file.
        EXPECT_EQ(view.draws, c.caption.empty() ? 1 : 2);
        EXPECT_EQ(shown.lap_drawn, !c.caption.empty());
    }
}

TEST_F(CommandsTest, Open_DialogAndLoads) {
    commands_.FormCreate({});
    const auto good = write("good.srf", surface_text("Good"));
    const auto other = write("other.srf", surface_text("Other"));
    const auto bad = write("bad.srf", surface_text("Bad", "b = -1"));
    const auto bad_r = write("bad_r.srf", "Bad R\r\nx\r\n1.0\r\nR?\r\nx\r\n0 0 0\r\n");

    // Cancel: nothing happens.
    dialogs_.files.push_back(std::nullopt);
    commands_.Open1Click();
    ASSERT_EQ(dialogs_.file_dialogs.size(), 1u);
    EXPECT_EQ(dialogs_.file_dialogs[0].settings.title, "Open Merovins' surface file.");
    EXPECT_EQ(dialogs_.file_dialogs[0].settings.filter,
              "Text files (*.srf, *.txt)|*.srf;*.txt|All files (*.*)|*.*");
    EXPECT_EQ(dialogs_.file_dialogs[0].folder, "start-folder");
    EXPECT_FALSE(dialogs_.file_dialogs[0].save);
    EXPECT_TRUE(dialogs_.messages.empty());
    EXPECT_FALSE(commands_.state().loaded);

    // A missing file, then a good one.
    const auto missing = (dir_ / "missing.srf").string();
    dialogs_.files.push_back(FileAnswer{missing});
    commands_.Open1Click();
    EXPECT_EQ(dialogs_.messages, std::vector<std::string>{missing + " not found, try again."});
    EXPECT_FALSE(commands_.state().loaded);
    EXPECT_EQ(view_.draws, 1);  // the empty grid of the start

    dialogs_.files.push_back(FileAnswer{good});
    commands_.Open1Click();
    EXPECT_EQ(dialogs_.messages.size(), 1u);
    EXPECT_EQ(view_.draws, 2);
    EXPECT_GT(view_.last_plot.count(dz::CanvasOp::polyline), 0u);
    EXPECT_EQ(commands_.state().ZONE_COUNT, 10);
    EXPECT_EQ(commands_.view().caption_text, "Good");
    EXPECT_EQ(commands_.view().efficiency_text, "100");
    EXPECT_TRUE(commands_.view().lap_choice_visible);
    // The next dialog offers the last file and opens in its folder.
    EXPECT_EQ(commands_.file_open().file_name, good);
    EXPECT_EQ(commands_.dialog_folder(), dir_.string());

    // Failed loads leave the surface, the labels and the plot as they were.
    for (const auto& path : {bad, bad_r}) {
        SCOPED_TRACE(path);
        const auto messages = dialogs_.messages.size();
        const auto view_before = commands_.view();
        dialogs_.files.push_back(FileAnswer{path});
        commands_.Open1Click();
        ASSERT_EQ(dialogs_.messages.size(), messages + 1);
        EXPECT_EQ(commands_.view(), view_before);
        EXPECT_EQ(commands_.state().PLOT_CAPTION, "Good");
        EXPECT_EQ(commands_.state().ZONE_COUNT, 10);
        EXPECT_EQ(view_.draws, 2);
    }
    EXPECT_EQ(dialogs_.messages[1],
              "ERROR reading this line, expected b value (probably wrong file):  \"b = -1\"");
    EXPECT_EQ(dialogs_.messages[2], "'R?' is not a valid floating point value");

    // Another file replaces the surface, keeps leaves and lap type, and resets
    // the efficiency.
    dialogs_.answers = {"7", "60"};
    commands_.NP_LABELClick();
    commands_.LAP_CHOICEClick(1);
    commands_.INCR_LABELClick();
    EXPECT_EQ(commands_.view().efficiency_text, "60");
    dialogs_.files.push_back(FileAnswer{other});
    commands_.Open1Click();
    EXPECT_EQ(commands_.view().caption_text, "Other");
    EXPECT_EQ(commands_.view().efficiency_text, "100");
    EXPECT_EQ(commands_.view().leaves_text, "7");
    EXPECT_EQ(commands_.view().lap_choice_index, 1);
    EXPECT_EQ(commands_.state().EFFICIENCY, 100);
    EXPECT_EQ(commands_.state().NUM_LEAVES, 7);
    EXPECT_TRUE(commands_.state().SPINDLE);
    EXPECT_EQ(commands_.state().BASE_OFFSET, -commands_.state().RAW_MIN);
}

TEST_F(CommandsTest, NumberOfLeaves_Answers) {
    loaded();
    struct Step {
        std::optional<std::string> answer;  // nullopt: Cancel
        int leaves;
        std::string message;
        bool redraws;
    };
    const std::vector<Step> steps = {
        {"6", 6, "", true},
        {"six", 6, "'six' is not a valid integer value", false},
        {"", 6, "", true},
        {std::nullopt, 6, "", true},
        {"  12  ", 12, "", true},
        {"0", 12, dz::LEAVES_REFUSED, false},
        {"-3", 12, dz::LEAVES_REFUSED, false},
        {"3.5", 12, "'3.5' is not a valid integer value", false},
        {"1", 1, "", true},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.answer.value_or("(cancel)"));
        const int default_leaves = commands_.state().NUM_LEAVES;
        const int draws = view_.draws;
        dialogs_.messages.clear();
        dialogs_.answers.push_back(step.answer);
        commands_.NP_LABELClick();
        ASSERT_FALSE(dialogs_.prompts.empty());
        EXPECT_EQ(dialogs_.prompts.back().caption, "Number of leaves");
        EXPECT_EQ(dialogs_.prompts.back().text, "> 2");
        EXPECT_EQ(dialogs_.prompts.back().default_text, std::to_string(default_leaves));
        EXPECT_EQ(commands_.state().NUM_LEAVES, step.leaves);
        EXPECT_EQ(commands_.view().leaves_text, std::to_string(step.leaves));
        EXPECT_EQ(dialogs_.messages,
                  step.message.empty() ? std::vector<std::string>{} : std::vector<std::string>{step.message});
        EXPECT_EQ(view_.draws, draws + (step.redraws ? 1 : 0));
    }
}

TEST_F(CommandsTest, Efficiency_Answers) {
    loaded();
    const dz::Real profile_min = commands_.state().PROFILE_MIN;
    ASSERT_LT(profile_min, 0);
    struct Step {
        std::optional<std::string> answer;
        dz::Real efficiency;
        std::string label;
        std::string message;
        bool redraws;
    };
    const std::vector<Step> steps = {
        {"87.5", 87.5L, "88", "", true},
        {std::nullopt, 88, "88", "", true},  // Cancel returns the rounded default
        {"abc", 88, "88", "'abc' is not a valid floating point value", false},
        {"0", 88, "88", dz::EFFICIENCY_REFUSED, false},
        {"-5", 88, "88", dz::EFFICIENCY_REFUSED, false},
        {"", 88, "88", "", true},
        {"150", 150, "150", "", true},
        {"99.49", 99.49L, "99", "", true},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.answer.value_or("(cancel)"));
        const int draws = view_.draws;
        const std::string default_text = commands_.view().efficiency_text;
        dialogs_.messages.clear();
        dialogs_.answers.push_back(step.answer);
        commands_.INCR_LABELClick();
        EXPECT_EQ(dialogs_.prompts.back().caption, "% efficiency");
        EXPECT_EQ(dialogs_.prompts.back().text, "");
        EXPECT_EQ(dialogs_.prompts.back().default_text, default_text);
        EXPECT_EQ(commands_.state().EFFICIENCY, step.efficiency);
        EXPECT_EQ(commands_.view().efficiency_text, step.label);
        EXPECT_EQ(commands_.state().BASE_OFFSET, -profile_min * 100 / step.efficiency);
        EXPECT_EQ(dialogs_.messages,
                  step.message.empty() ? std::vector<std::string>{} : std::vector<std::string>{step.message});
        EXPECT_EQ(view_.draws, draws + (step.redraws ? 1 : 0));
    }
}

// The plot only paints what the command built: after every command that
// redraws, LEAF_EDGES is the outline of the settings now in force.
TEST_F(CommandsTest, EveryRedrawShowsTheOutlineOfTheSettings) {
    LapCommands& commands = loaded();
    auto expect_outline_of_settings = [&](const char* after) {
        dz::WorkingState rebuilt = commands.state();
        dz::build_leaf_edges(rebuilt);
        EXPECT_TRUE(dz::testing::same_bits(commands.state().LEAF_EDGES, rebuilt.LEAF_EDGES)) << after;
    };
    expect_outline_of_settings("the load");
    const dz::N_VECTOR at_load = commands.state().LEAF_EDGES;
    dialogs_.answers = {"7", "60"};
    commands.NP_LABELClick();
    expect_outline_of_settings("7 leaves");
    EXPECT_FALSE(dz::testing::same_bits(commands.state().LEAF_EDGES, at_load));
    commands.INCR_LABELClick();
    expect_outline_of_settings("60 %");
    commands.LAP_CHOICEClick(1);
    expect_outline_of_settings("Spindle");
    dialogs_.answers = {"0"};
    commands.NP_LABELClick();  // refused: the outline stays that of the settings kept
    EXPECT_EQ(commands.state().NUM_LEAVES, 7);
    expect_outline_of_settings("a refused number of leaves");
    EXPECT_TRUE(dialogs_.answers.empty());
}

TEST_F(CommandsTest, ValueCommands_BeforeLoadDrawEmptyPlot) {
    // With a comma as the user's separator, and no surface loaded.
    LapCommands commands(dialogs_, view_, ',', dir_.string());
    commands.FormCreate({});
    EXPECT_EQ(view_.draws, 1);
    dialogs_.answers = {"5", "87,5", "87.5"};
    commands.NP_LABELClick();
    EXPECT_EQ(commands.view().leaves_text, "5");
    EXPECT_EQ(view_.draws, 2);
    EXPECT_GT(view_.last_plot.count(dz::CanvasOp::fill_rect), 0u);
    EXPECT_GT(view_.last_plot.count(dz::CanvasOp::arc), 0u);
    commands.INCR_LABELClick();
    EXPECT_EQ(dialogs_.prompts.back().default_text, "100");  // what every load starts with
    EXPECT_EQ(commands.state().EFFICIENCY, 87.5L);
    EXPECT_EQ(commands.view().efficiency_text, "88");
    EXPECT_EQ(view_.draws, 3);
    commands.INCR_LABELClick();
    EXPECT_EQ(dialogs_.messages, std::vector<std::string>{"'87.5' is not a valid floating point value\n"
                                                          "Your regional settings ask for ',' as the decimal "
                                                          "separator."});
    EXPECT_FALSE(commands.view().lap_choice_visible);
    EXPECT_FALSE(commands.state().loaded);
}

TEST_F(CommandsTest, LapType_ResetsEfficiency) {
    loaded();
    const auto& ws = commands_.state();
    dialogs_.answers = {"80"};
    commands_.INCR_LABELClick();
    ASSERT_EQ(commands_.view().efficiency_text, "80");
    const int draws = view_.draws;

    commands_.LAP_CHOICEClick(1);
    EXPECT_TRUE(ws.SPINDLE);
    EXPECT_EQ(ws.EFFICIENCY, 100);
    EXPECT_EQ(ws.BASE_OFFSET, -ws.RAW_MIN);
    EXPECT_EQ(commands_.view().efficiency_text, "100");
    EXPECT_EQ(commands_.view().lap_choice_index, 1);
    EXPECT_EQ(view_.draws, draws + 1);

    dialogs_.answers = {"50"};
    commands_.INCR_LABELClick();
    EXPECT_EQ(ws.BASE_OFFSET, -ws.RAW_MIN * 100 / 50);  // the spindle minimum, scaled
    commands_.LAP_CHOICEClick(0);
    EXPECT_FALSE(ws.SPINDLE);
    EXPECT_EQ(ws.BASE_OFFSET, -ws.PROFILE_MIN);
    EXPECT_EQ(commands_.view().efficiency_text, "100");
    EXPECT_EQ(view_.draws, draws + 3);
    EXPECT_TRUE(dialogs_.messages.empty());
}

TEST_F(CommandsTest, Caption_EditReachesTextExportOnly) {
    // A caption in Windows-1252 is shown as text; an unchanged answer keeps
    // its bytes.
    loaded("Spiegel f\xFCr M1");
    const auto& ws = commands_.state();
    const std::string target_values = ws.TARGET_TEXT.substr(ws.PLOT_CAPTION.size());
    ASSERT_EQ(target_values.rfind("\\PTarget:  b = -1.000, R = 1200.000}", 0), 0u) << ws.TARGET_TEXT;
    EXPECT_EQ(commands_.view().caption_text, "Spiegel f\u00FCr M1");
    const int draws = view_.draws;

    dialogs_.answers = {std::nullopt};
    commands_.COMMENT_LABELClick();
    EXPECT_EQ(dialogs_.prompts.back().caption, "Change plot caption");
    EXPECT_EQ(dialogs_.prompts.back().text, " = First line in save file");
    EXPECT_EQ(dialogs_.prompts.back().default_text, "Spiegel f\u00FCr M1");
    EXPECT_EQ(ws.PLOT_CAPTION, "Spiegel f\xFCr M1");
    EXPECT_EQ(ws.TARGET_TEXT, "Spiegel f\xFCr M1" + target_values);

    // Edited twice: the text export gets UTF-8; the DXF caption keeps the
    // line read from the file.
    for (const std::string caption : {"Miroir \u00E9 \u2713", "M2 {\\P}"}) {
        SCOPED_TRACE(caption);
        dialogs_.answers = {caption};
        commands_.COMMENT_LABELClick();
        EXPECT_EQ(commands_.view().caption_text, caption);
        EXPECT_EQ(ws.PLOT_CAPTION, caption);
        EXPECT_EQ(ws.TARGET_TEXT, "Spiegel f\xFCr M1" + target_values);
    }
    EXPECT_EQ(view_.draws, draws);  // nothing redrawn

    const auto txt = (dir_ / "out.txt").string();
    const auto dxf = (dir_ / "out.dxf").string();
    dialogs_.files = {FileAnswer{txt}, FileAnswer{dxf}};
    commands_.Savetxt1Click();
    commands_.Save1Click();
    const auto lines = dz::testing::crlf_lines(read_bytes(txt));
    ASSERT_EQ(lines.size(), 12u);
    EXPECT_EQ(lines[0], "M2 {\\P}");
    const std::string dxf_bytes = read_bytes(dxf);
    EXPECT_NE(dxf_bytes.find("\r\n{2/5 Stroke Tessaro, 4 Leaves\\PSpiegel f\xFCr M1" + target_values + "\r\n"),
              std::string::npos);
    EXPECT_EQ(dxf_bytes.find("M2 {"), std::string::npos);

    // Before any load, a cancelled prompt stores the label's text.
    ScriptedDialogs dialogs;
    LapCommands fresh(dialogs, view_, '.', dir_.string());
    fresh.FormCreate({});
    dialogs.answers = {std::nullopt};
    fresh.COMMENT_LABELClick();
    EXPECT_EQ(fresh.state().PLOT_CAPTION, "Plot Caption");
    EXPECT_EQ(fresh.state().TARGET_TEXT, "");
}

TEST_F(CommandsTest, Labels_RefuseWhatTheyCannotShow_AndCancelNeverErrs) {
    loaded();
    struct Step {
        void (LapCommands::*command)();
        std::optional<std::string> answer;  // nullopt: Cancel
        std::string message;                // empty: taken
    };
    const std::string efficiency_range = dz::efficiency_range_message('.');
    const std::vector<Step> steps = {
        {&LapCommands::NP_LABELClick, "999", ""},
        {&LapCommands::NP_LABELClick, std::nullopt, ""},
        {&LapCommands::NP_LABELClick, "1000", dz::LEAVES_RANGE_MESSAGE},
        {&LapCommands::NP_LABELClick, "1000000000", dz::LEAVES_RANGE_MESSAGE},
        {&LapCommands::NP_LABELClick, "0", dz::LEAVES_REFUSED},
        {&LapCommands::INCR_LABELClick, "1e-300", efficiency_range},
        {&LapCommands::INCR_LABELClick, "0.4999", efficiency_range},
        {&LapCommands::INCR_LABELClick, "0.5", ""},  // shown as 1
        {&LapCommands::INCR_LABELClick, std::nullopt, ""},
        {&LapCommands::INCR_LABELClick, "999.4999", ""},
        {&LapCommands::INCR_LABELClick, std::nullopt, ""},
        {&LapCommands::INCR_LABELClick, "999.5", efficiency_range},
        {&LapCommands::INCR_LABELClick, "1e9", efficiency_range},
        {&LapCommands::INCR_LABELClick, "-1e-300", dz::EFFICIENCY_REFUSED},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.answer.value_or("(cancel)"));
        const auto before = commands_.state().NUM_LEAVES;
        const auto efficiency = commands_.state().EFFICIENCY;
        dialogs_.messages.clear();
        dialogs_.answers = {step.answer};
        (commands_.*step.command)();
        EXPECT_EQ(dialogs_.messages,
                  step.message.empty() ? std::vector<std::string>{} : std::vector<std::string>{step.message});
        if (!step.message.empty()) {
            EXPECT_EQ(commands_.state().NUM_LEAVES, before);
            EXPECT_EQ(commands_.state().EFFICIENCY, efficiency);
        }
        // Whatever was taken, the labels show it whole, as a positive number.
        const auto& view = commands_.view();
        EXPECT_LE(view.leaves_text.size(), 3u);
        EXPECT_LE(view.efficiency_text.size(), 3u);
        EXPECT_NE(view.efficiency_text, "0");
    }
    EXPECT_EQ(commands_.view().efficiency_text, "999");
    EXPECT_EQ(commands_.state().EFFICIENCY, 999);  // the cancelled prompt's rounded default

    // A comma user's refusal writes the limits with a comma.
    EXPECT_NE(dz::efficiency_range_message(',').find("0,5 % and less than 999,5 %"), std::string::npos);
}

TEST_F(CommandsTest, DecimalSeparatorHint_OnlyWhenTheOtherSeparatorWouldDo) {
    struct Case {
        char sep;
        std::string line;
        bool hint;
    };
    const std::vector<Case> cases = {
        {',', "87.5", true},
        {',', "  -1.000\tb value", true},
        {',', ".5e3", true},
        {'.', "87,5", true},
        {',', "87,5", false},  // a number already
        {',', "87", false},
        {',', "abc", false},
        {',', "1,000.5", false},  // no number with either
        {',', "1.5.2", false},
        {'.', "", false},
        {'.', "   ", false},
        {';', "87.5", false},  // only '.' and ',' are swapped
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        const std::string hint = dz::separator_hint(c.line, c.sep);
        EXPECT_EQ(hint.empty(), !c.hint);
        if (c.hint) {
            EXPECT_EQ(hint, std::string("\nYour regional settings ask for '") + c.sep + "' as the decimal separator.");
        }
    }

    // A file written with periods, opened by a comma user: the refusal stays
    // and names the separator; data lines of whole numbers need no hint.
    ScriptedDialogs dialogs;
    RecordingView view;
    LapCommands comma(dialogs, view, ',', dir_.string());
    comma.FormCreate({});
    comma.FileDrop(write("periods.srf", surface_text("Periods")));
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0],
              "ERROR reading this line, expected b value (probably wrong file):  \"-1.000\"\nYour regional "
              "settings ask for ',' as the decimal separator.");
    EXPECT_FALSE(comma.state().loaded);
}

TEST(CaptionText_Conversions, Utf8AndWindows1252) {
    struct Case {
        std::string bytes;
        bool valid;
        std::string shown;
    };
    const std::vector<Case> cases = {
        {"", true, ""},
        {"Mirror 200/1200", true, "Mirror 200/1200"},
        {"f\u00FCr \u20AC \u2713 \U0001F52D", true, "f\u00FCr \u20AC \u2713 \U0001F52D"},
        {"f\xFCr", false, "f\u00FCr"},
        {"\x80\x81\x9F\xA0\xFF", false, "\u20AC\u0081\u0178\u00A0\u00FF"},
        {"\xC0\xAF", false, "\u00C0\u00AF"},          // overlong '/'
        {"\xED\xA0\x80", false, "\u00ED\u00A0\u20AC"},  // a surrogate
        {"\xF4\x90\x80\x80", false, "\u00F4\u0090\u20AC\u20AC"},  // above U+10FFFF
        {"\xE2\x9C", false, "\u00E2\u0153"},          // cut short
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes);
        EXPECT_EQ(dz::is_valid_utf8(c.bytes), c.valid);
        EXPECT_EQ(dz::caption_to_utf8(c.bytes), c.shown);
    }

    const std::vector<std::pair<std::string, std::string>> dxf = {
        {"M1 {\\P}", "M1 {\\P}"},
        {"f\u00FCr \u20AC\u0178", "f\xFCr \x80\x9F"},
        {"\u2713 \u03B1", "\\U+2713 \\U+03B1"},
        {"\U0001F52D", "?"},
        {"f\xFCr", "f\xFCr"},  // not UTF-8: unchanged
    };
    for (const auto& [text, written] : dxf) {
        SCOPED_TRACE(text);
        EXPECT_EQ(dz::utf8_to_dxf_text(text), written);
        // What the DXF gets in its code page reads back as the text.
        if (written.find("\\U+") == std::string::npos && written != "?" && dz::is_valid_utf8(text)) {
            EXPECT_EQ(dz::caption_to_utf8(written), text);
        }
    }
}

}  // namespace
