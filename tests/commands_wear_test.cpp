// SPDX-License-Identifier: GPL-3.0-or-later
// The commands of how the lap is worked: Design > Stroke..., Design > Wear
// model, and File > Compare with a later test..., with scripted dialogs.

#include "tests/commands_test_support.hpp"

#include "preston_wear/wear_settings.hpp"
#include "wear_compare/wear_compare.hpp"

using namespace dz::commands_test;

namespace {

const std::string EXAMPLES = std::string(DOROZIRI_SOURCE_DIR) + "/examples/";

// The stroke dialog shows the settings in force; OK hands them to the
// document, whose refusal changes nothing; the settings stay across loads.
TEST_F(CommandsTest, Stroke_TakenRefusedCancelledAndKeptAcrossLoads) {
    loaded();
    commands_.DesignClick(dz::LapDesign::fit);
    const std::vector<double> widths = commands_.document().removal_check().widths;
    const int draws = view_.draws;

    dz::WearSettings longer;
    longer.stroke = 0.4;
    longer.lap_size = 0.8;
    longer.pressure = dz::PressureModel::load;
    longer.model = dz::WearLaw::matrix;  // the dialog does not choose the model
    dialogs_.strokes = {longer};
    commands_.StrokeClick();
    ASSERT_EQ(dialogs_.stroke_dialogs.size(), 1u);
    EXPECT_EQ(dialogs_.stroke_dialogs[0], dz::WearSettings{});  // the defaults preset
    EXPECT_TRUE(dialogs_.messages.empty());
    longer.model = dz::WearLaw::preston;
    EXPECT_EQ(commands_.state().WEAR, longer);
    EXPECT_GT(view_.draws, draws);
    EXPECT_NE(commands_.document().removal_check().widths, widths);  // fitted for the new stroke

    // Out of the limits, or cancelled: a message or nothing, no redraw.
    struct Bad {
        double stroke, offset, lap_size;
    };
    for (const Bad bad : {Bad{1.5, 0, 1}, Bad{0.01, 0, 1}, Bad{0.2, 0.6, 1}, Bad{0.2, 0, 0.2}, Bad{0.2, -0.1, 1}}) {
        dz::WearSettings wrong = longer;
        wrong.stroke = bad.stroke;
        wrong.offset = bad.offset;
        wrong.lap_size = bad.lap_size;
        dialogs_.messages.clear();
        const int before = view_.draws;
        dialogs_.strokes = {wrong};
        commands_.StrokeClick();
        ASSERT_EQ(dialogs_.messages.size(), 1u) << bad.stroke << " " << bad.offset << " " << bad.lap_size;
        EXPECT_EQ(dialogs_.messages[0], *dz::check_wear_settings(wrong));
        EXPECT_EQ(commands_.state().WEAR, longer);
        EXPECT_EQ(view_.draws, before);
    }
    dialogs_.messages.clear();
    dialogs_.strokes = {std::nullopt};
    commands_.StrokeClick();
    EXPECT_EQ(dialogs_.stroke_dialogs.back(), longer);
    EXPECT_EQ(commands_.state().WEAR, longer);

    dialogs_.files.push_back(FileAnswer{write("other.srf", surface_text("Another test"))});
    commands_.Open1Click();
    EXPECT_TRUE(dialogs_.messages.empty());
    EXPECT_EQ(commands_.state().WEAR, longer);
}

TEST_F(CommandsTest, WearModel_ChosenAndShown) {
    commands_.FormCreate({});
    dialogs_.files = {FileAnswer{EXAMPLES + "mirror200.srf"}};
    commands_.Open1Click();
    const double by_preston = commands_.document().removal_check().fit.share_left;
    commands_.WearModelClick(dz::WearLaw::matrix);
    EXPECT_EQ(commands_.state().WEAR.model, dz::WearLaw::matrix);
    EXPECT_TRUE(view_.shown.back().matrix_wear);
    EXPECT_NE(commands_.document().removal_check().fit.share_left, by_preston);
    commands_.WearModelClick(dz::WearLaw::preston);
    EXPECT_FALSE(view_.shown.back().matrix_wear);
    EXPECT_EQ(commands_.document().removal_check().fit.share_left, by_preston);
    EXPECT_TRUE(dialogs_.messages.empty());
}

// The later test, then the minutes; every refusal is a message and leaves
// neither a comparison nor a rate.
TEST_F(CommandsTest, Compare_ExamplePairAndRefusals) {
    commands_.FormCreate({});
    EXPECT_FALSE(commands_.CompareClick());
    EXPECT_EQ(dialogs_.messages, std::vector<std::string>{dz::OPEN_EARLIER_TEST_FIRST});
    EXPECT_TRUE(dialogs_.file_dialogs.empty());
    dialogs_.messages.clear();

    dialogs_.files = {FileAnswer{EXAMPLES + "wear-before.srf"}};
    commands_.Open1Click();
    ASSERT_TRUE(commands_.state().loaded);
    const std::string after = EXAMPLES + "wear-after.srf";
    const std::string other_mirror = write("other.srf", surface_text("Another mirror"));

    struct Case {
        std::optional<FileAnswer> file;
        std::optional<std::string> minutes;  // not asked when the file dialog is cancelled
        std::string message;                 // empty: no message
    };
    const Case refusals[] = {
        {std::nullopt, std::nullopt, ""},
        {FileAnswer{after}, std::optional<std::string>(std::nullopt), ""},  // Cancel: the empty default
        {FileAnswer{after}, "  ", ""},
        {FileAnswer{after}, "soon", dz::MINUTES_NOT_A_NUMBER},
        {FileAnswer{after}, "45,5", std::string(dz::MINUTES_NOT_A_NUMBER) + dz::separator_hint("45,5", '.')},
        {FileAnswer{after}, "0", dz::MINUTES_REFUSED},
        {FileAnswer{after}, "-45", dz::MINUTES_REFUSED},
        {FileAnswer{after + ".missing"}, "45", "?"},
        {FileAnswer{other_mirror}, "45", "?"},
    };
    for (const Case& c : refusals) {
        SCOPED_TRACE(c.file ? c.file->path + " " + c.minutes.value_or("(cancel)") : "(cancel)");
        dialogs_.messages.clear();
        dialogs_.prompts.clear();
        dialogs_.files = {c.file};
        if (c.file) dialogs_.answers = {c.minutes ? std::optional<std::string>(*c.minutes) : std::nullopt};
        EXPECT_FALSE(commands_.CompareClick());
        EXPECT_EQ(dialogs_.prompts.size(), c.file ? 1u : 0u);
        if (c.message.empty()) {
            EXPECT_TRUE(dialogs_.messages.empty());
        } else {
            ASSERT_EQ(dialogs_.messages.size(), 1u);
            if (c.message != "?") {
                EXPECT_EQ(dialogs_.messages[0], c.message);
            }
        }
        EXPECT_FALSE(commands_.document().comparison());
        EXPECT_FALSE(commands_.document().rate());
    }
    EXPECT_EQ(dialogs_.file_dialogs.back().settings.title, "Open the later test of the same mirror.");

    dialogs_.messages.clear();
    dialogs_.files = {FileAnswer{after}};
    dialogs_.answers = {" 45 "};
    EXPECT_TRUE(commands_.CompareClick());
    EXPECT_TRUE(dialogs_.messages.empty());
    ASSERT_TRUE(commands_.document().comparison());
    EXPECT_EQ(commands_.document().comparison()->minutes, 45);
    // made at 30 per minute by Preston's law, with 2 nm of noise
    EXPECT_NEAR(commands_.document().comparison()->chosen.rate, 30, 0.9);
    EXPECT_EQ(*commands_.document().rate(), commands_.document().comparison()->chosen.rate);
}

}  // namespace
