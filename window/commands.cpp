// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/commands.hpp"

#include <algorithm>
#include <cctype>
#include <exception>
#include <string>
#include <utility>

#include "drawing/canvas.hpp"
#include "drawing/lap_plot.hpp"
#include "lap_load/calc_lap.hpp"
#include "lap_template/template_files.hpp"
#include "text_io/caption_text.hpp"
#include "text_io/numbers.hpp"

namespace dz {
namespace {

// The top-left corner of the hint on the empty plot: inside the rim, about
// in the middle.
constexpr Pixel OPEN_HINT_PLACE{255, 200};

// Whether the efficiency label, which rounds to a whole number, shows
// `efficiency` as a positive number of at most three digits.
bool efficiency_label_shows(Real efficiency, char decimal_separator) {
    const std::string shown = format_fixed(efficiency, 0, decimal_separator);
    return efficiency > 0 && shown != "0" && shown.size() <= 3;
}

}  // namespace

std::string efficiency_range_message(char decimal_separator) {
    const char sep = decimal_separator;
    return std::string("The efficiency must be at least 0") + sep + "5 % and less than 999" + sep +
           "5 %: its label shows it rounded to a whole number from 1 to 999.";
}

LapCommands::LapCommands(Dialogs& dialogs, LapView& view, char decimal_separator,
                         std::string working_folder)
    : dialogs_(dialogs),
      view_(view),
      decimal_separator_(decimal_separator),
      doc_(decimal_separator),
      dialog_folder_(std::move(working_folder)) {}

template <class Body>
void LapCommands::guarded(Body&& body) {
    try {
        body();
    } catch (const std::exception& error) {
        dialogs_.message(error.what());
    }
}

// Before a surface is loaded the plot is the empty grid with a line that
// says how to begin. The outline it shows is rebuilt once per command, by the
// document's command that came before; the drawing only reads it.
void LapCommands::DRAW_LAP() {
    view_.draw_plot([this](Canvas& canvas) {
        dz::DRAW_LAP(doc_.state(), canvas, decimal_separator_);
        if (!doc_.state().loaded) {
            canvas.set_brush_solid(Rgb{255, 255, 255});
            canvas.set_font_colour(Rgb{0, 0, 0});
            canvas.text_out(OPEN_HINT_PLACE, OPEN_HINT);
        }
    });
}

void LapCommands::FormCreate(const std::vector<std::string>& arguments) {
    guarded([&] {
        // The dialogs start in the working folder given at construction.
        doc_.set_plot_scale(PLOT_HEIGHT - PLOT_MARGIN);
        show_view();
        DRAW_LAP();
        if (arguments.size() == 1) load_surface(surface_file_name(arguments.front()));
    });
}

// Reads the file and hands it to the load; on success shows the lap-type
// group, the reset efficiency and the new caption, and draws.
// A FIFO or a device is refused before anything is read from it. A warning
// of the reader stands in the window's warning line until the next load.
void LapCommands::load_surface(const std::string& path) {
    const DocumentOutcome outcome = doc_.open(path);
    if (outcome.refused) {
        dialogs_.message(*outcome.refused);
        return;
    }
    const WorkingState& ws = doc_.state();
    view_state_.warning_text = doc_.load_warning();
    view_state_.lap_choice_visible = true;
    view_state_.efficiency_text = format_fixed(ws.EFFICIENCY, 0, decimal_separator_);
    view_state_.caption_text = caption_to_utf8(ws.PLOT_CAPTION);
    view_state_.surface_path = path;
    view_state_.lap_drawn = true;
    ++view_state_.loads;
    report_fit(outcome);
    show_view();
    DRAW_LAP();
}

void LapCommands::report_fit(const DocumentOutcome& outcome) {
    if (outcome.fit_failed) dialogs_.message(*outcome.fit_failed);
}

void LapCommands::Open1Click() {
    guarded([&] {
        FILE_OPEN.title = "Open Merovins' surface file.";
        FILE_OPEN.filter = "Text files (*.srf, *.txt)|*.srf;*.txt|All files (*.*)|*.*";
        if (!dialogs_.open_dialog(FILE_OPEN, dialog_folder_)) return;
        load_surface(FILE_OPEN.file_name);
    });
}

void LapCommands::Reload1Click() {
    guarded([&] {
        if (view_state_.surface_path.empty()) return;  // nothing was loaded yet
        const std::string path = view_state_.surface_path;
        load_surface(path);
    });
}

void LapCommands::FileDrop(const std::string& path) {
    guarded([&] { load_surface(path); });
}

void LapCommands::save_export(const char* title, const char* filter, const char* file_name, bool dxf) {
    if (!doc_.state().loaded) {
        dialogs_.message(OPEN_FIRST_MESSAGE);
        return;
    }
    FILE_SAVE.title = title;
    FILE_SAVE.filter = filter;
    FILE_SAVE.file_name = file_name;
    if (!dialogs_.save_dialog(FILE_SAVE, dialog_folder_)) return;
    save_bytes(FILE_SAVE.file_name, dxf ? doc_.dxf_bytes() : doc_.text_bytes());
}

void LapCommands::save_bytes(const std::string& path, const std::string& bytes) {
    const SaveOutcome saved = doc_.save(path, bytes);
    if (saved.failure) {
        dialogs_.message(*saved.failure);
        return;
    }
    view_.notify(saved.notice);
}

void LapCommands::Save1Click() {
    guarded([&] {
        save_export("Save half-leaf shape as Drawing eXchange File (.dxf).",
                    "Drawing eXchange files (*.dxf)|*.dxf", ".dxf", true);
    });
}

void LapCommands::Savetxt1Click() {
    guarded([&] {
        save_export("Save half-leaf shape in text file.", "Text files (*.txt)|*.txt", ".txt", false);
    });
}

void LapCommands::SaveTemplate1Click(const TemplateRenderer& render) {
    guarded([&] {
        if (!doc_.state().loaded) {
            dialogs_.message(OPEN_FIRST_MESSAGE);
            return;
        }
        FILE_SAVE.title = "Save the whole lap at full size: PDF to print, SVG or DXF to cut.";
        FILE_SAVE.filter = TEMPLATE_FILTER;
        FILE_SAVE.filter_index = template_filter_;
        FILE_SAVE.file_name = "";
        if (!dialogs_.save_dialog(FILE_SAVE, dialog_folder_)) return;
        template_filter_ = std::clamp(FILE_SAVE.filter_index, 0, 2);
        const auto [path, typed] = template_target(FILE_SAVE.file_name, template_filter_);
        const auto kind = static_cast<TemplateKind>(typed);
        // Refused before the pages are made.
        if (const auto refused = doc_.save_refusal(path)) {
            dialogs_.message(*refused);
            return;
        }
        if (const std::string crossed = doc_.template_warning(); !crossed.empty()) dialogs_.message(crossed);
        const std::string bytes =
            kind == TemplateKind::dxf ? doc_.lap_dxf_bytes(template_date()) : render(doc_.state(), kind);
        if (bytes.empty()) {
            dialogs_.message("The lap template could not be made.");
            return;
        }
        save_bytes(path, bytes);
    });
}

// The help file is asked for until one has been chosen; the filter stays as
// the last open command set it. Without a file, or when the desktop cannot
// show it, the built-in help stands in for the viewer.
void LapCommands::HELPClick() {
    guarded([&] {
        if (!HELP_CHOSEN) {
            FILE_OPEN.title = "Open the help file.";
            FILE_OPEN.file_name = DEFAULT_HELP_FILE;
            if (dialogs_.open_dialog(FILE_OPEN, dialog_folder_)) {
                HELP_FILE = FILE_OPEN.file_name;
                HELP_CHOSEN = true;
            }
        }
        if (!HELP_CHOSEN || !dialogs_.open_help(HELP_FILE)) dialogs_.show_builtin_help();
    });
}

void LapCommands::NP_LABELClick() {
    guarded([&] {
        const std::string answer =
            dialogs_.prompt("Number of leaves", "> 2", std::to_string(doc_.state().NUM_LEAVES));
        std::int32_t leaves = 0;
        try {
            leaves = doc_.read_leaves(answer);
        } catch (const ConversionError& error) {
            dialogs_.message(error.what());
            return;
        }
        // Below 1 leaf, above what the label shows, or with an outline out of
        // range, nothing changes.
        if (leaves > MAX_LEAVES) {
            dialogs_.message(LEAVES_RANGE_MESSAGE);
            return;
        }
        if (const auto refused = doc_.set_num_leaves(leaves).refused) {
            dialogs_.message(*refused);
            return;
        }
        view_state_.leaves_text = std::to_string(leaves);
        show_view();
        DRAW_LAP();
    });
}

void LapCommands::INCR_LABELClick() {
    guarded([&] {
        // Before any value is set the prompt offers the value every load
        // starts with, so that Cancel is taken like any other answer.
        const Real now = doc_.state().EFFICIENCY;
        const Real shown = now > 0 ? now : EFFICIENCY_RESET;
        const std::string answer =
            dialogs_.prompt("% efficiency", "", format_fixed(shown, 0, decimal_separator_));
        Real efficiency = 0;
        try {
            efficiency = doc_.read_efficiency(answer);
        } catch (const ConversionError& error) {
            dialogs_.message(error.what() + separator_hint(answer, decimal_separator_));
            return;
        }
        // At 0 % or below, at what the label cannot show, or with an outline
        // out of range, nothing changes.
        if (efficiency > 0 && !efficiency_label_shows(efficiency, decimal_separator_)) {
            dialogs_.message(efficiency_range_message(decimal_separator_));
            return;
        }
        const DocumentOutcome outcome = doc_.set_efficiency(efficiency);
        if (outcome.refused) {
            dialogs_.message(*outcome.refused);
            return;
        }
        view_state_.efficiency_text = format_fixed(doc_.state().EFFICIENCY, 0, decimal_separator_);
        report_fit(outcome);
        show_view();
        DRAW_LAP();
    });
}

void LapCommands::LAP_CHOICEClick(int selected_index) {
    guarded([&] {
        const DocumentOutcome outcome = doc_.set_lap_type(selected_index == 1);
        if (outcome.refused) {
            // The group goes back to the lap type in force.
            view_state_.lap_choice_index = doc_.state().SPINDLE ? 1 : 0;
            show_view();
            dialogs_.message(*outcome.refused);
            return;
        }
        view_state_.lap_choice_index = selected_index;
        view_state_.efficiency_text = format_fixed(doc_.state().EFFICIENCY, 0, decimal_separator_);
        report_fit(outcome);
        show_view();
        DRAW_LAP();
    });
}

void LapCommands::DesignClick(LapDesign design) {
    guarded([&] {
        const DocumentOutcome outcome = doc_.set_design(design, doc_.state().FREE_FOCUS);
        view_state_.fit_design = doc_.state().DESIGN == LapDesign::fit;
        show_view();
        DRAW_LAP();
        report_fit(outcome);
    });
}

void LapCommands::FreeFocusClick(bool on) {
    guarded([&] {
        const DocumentOutcome outcome = doc_.set_design(doc_.state().DESIGN, on);
        view_state_.free_focus = doc_.state().FREE_FOCUS;
        show_view();
        DRAW_LAP();
        report_fit(outcome);
    });
}

void LapCommands::apply_wear(const WearSettings& settings) {
    const DocumentOutcome outcome = doc_.set_wear(settings);
    view_state_.matrix_wear = doc_.state().WEAR.model == WearLaw::matrix;
    show_view();
    if (outcome.refused) {
        dialogs_.message(*outcome.refused);
        return;
    }
    DRAW_LAP();
    report_fit(outcome);
}

void LapCommands::StrokeClick() {
    guarded([&] {
        WearSettings settings = doc_.state().WEAR;
        if (!dialogs_.stroke_dialog(settings)) return;
        settings.model = doc_.state().WEAR.model;  // the menu's choice, not the dialog's
        apply_wear(settings);
    });
}

void LapCommands::WearModelClick(WearLaw law) {
    guarded([&] {
        WearSettings settings = doc_.state().WEAR;
        settings.model = law;
        apply_wear(settings);
    });
}

// The later test first, then the minutes; Cancel at either (or an empty
// answer) ends the command with nothing changed.
bool LapCommands::CompareClick() {
    bool compared = false;
    guarded([&] {
        if (!doc_.state().loaded) {
            dialogs_.message(OPEN_EARLIER_TEST_FIRST);
            return;
        }
        FileDialogSettings later;
        later.title = "Open the later test of the same mirror.";
        later.filter = FILE_OPEN.filter.empty() ? "Text files (*.srf, *.txt)|*.srf;*.txt|All files (*.*)|*.*"
                                                : FILE_OPEN.filter;
        if (!dialogs_.open_dialog(later, dialog_folder_)) return;
        std::string answer = dialogs_.prompt(MINUTES_PROMPT, MINUTES_PROMPT_TEXT, "");
        const auto first = answer.find_first_not_of(" \t");
        if (first == std::string::npos) return;
        answer = answer.substr(first, answer.find_last_not_of(" \t") + 1 - first);
        const std::optional<Real> minutes = parse_real(answer, decimal_separator_);
        if (!minutes) {
            dialogs_.message(MINUTES_NOT_A_NUMBER + separator_hint(answer, decimal_separator_));
            return;
        }
        const DocumentOutcome outcome = doc_.compare(later.file_name, static_cast<double>(*minutes));
        if (outcome.refused) {
            dialogs_.message(*outcome.refused);
            return;
        }
        compared = true;
        show_view();
    });
    return compared;
}

void LapCommands::COMMENT_LABELClick() {
    guarded([&] {
        // The caption the user sees is the first line of the text export.
        view_state_.caption_text = dialogs_.prompt("Change plot caption", " = First line in save file",
                                                   view_state_.caption_text);
        doc_.set_caption(view_state_.caption_text);
        show_view();
    });
}

}  // namespace dz
