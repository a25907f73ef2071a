// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/commands.hpp"

#include <algorithm>
#include <cctype>
#include <exception>
#include <string>
#include <utility>

#include "text_io/caption_text.hpp"
#include "lap_template/template_files.hpp"
#include "drawing/canvas.hpp"
#include "drawing/lap_plot.hpp"
#include "export/dxf_export.hpp"
#include "file_io/file_io.hpp"
#include "export/text_export.hpp"
#include "lap_load/calc_lap.hpp"
#include "lap_template/lap_geometry.hpp"
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
      tokenizer_(decimal_separator),
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
// load or the change of settings that came before (CALC_LAP, set_lap_type,
// set_num_leaves, apply_efficiency); the drawing only reads it.
void LapCommands::DRAW_LAP() {
    view_.draw_plot([this](Canvas& canvas) {
        dz::DRAW_LAP(ws_, canvas, decimal_separator_);
        if (!ws_.loaded) {
            canvas.set_brush_solid(Rgb{255, 255, 255});
            canvas.set_font_colour(Rgb{0, 0, 0});
            canvas.text_out(OPEN_HINT_PLACE, OPEN_HINT);
        }
    });
}

void LapCommands::FormCreate(const std::vector<std::string>& arguments) {
    guarded([&] {
        // The dialogs start in the working folder given at construction.
        ws_.PLOT_SCALE = PLOT_HEIGHT - PLOT_MARGIN;
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
    const InputFile input = read_input_file(path);
    if (!input.bytes) {
        dialogs_.message(input.message);
        return;
    }
    std::string warning;
    if (const auto failure =
            CALC_LAP(ws_, scratch_, *input.bytes, view_state_.lap_choice_index == 1, decimal_separator_, &warning)) {
        dialogs_.message(*failure);
        return;
    }
    surface_path_ = path;
    surface_identity_ = input.identity;
    view_state_.warning_text = warning;
    view_state_.lap_choice_visible = true;
    view_state_.efficiency_text = format_fixed(ws_.EFFICIENCY, 0, decimal_separator_);
    view_state_.caption_text = caption_to_utf8(ws_.PLOT_CAPTION);
    view_state_.surface_path = path;
    view_state_.lap_drawn = true;
    redesign();
    show_view();
    DRAW_LAP();
}

void LapCommands::redesign() {
    if (const auto failure = apply_design(ws_, design_)) dialogs_.message(*failure);
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
    if (!ws_.loaded) {
        dialogs_.message(OPEN_FIRST_MESSAGE);
        return;
    }
    FILE_SAVE.title = title;
    FILE_SAVE.filter = filter;
    FILE_SAVE.file_name = file_name;
    if (!dialogs_.save_dialog(FILE_SAVE, dialog_folder_)) return;
    if (is_surface_file(FILE_SAVE.file_name)) {
        dialogs_.message(export_onto_surface_message(FILE_SAVE.file_name));
        return;
    }
    const std::string bytes = dxf ? dxf_export(ws_) : text_export(ws_, decimal_separator_);
    if (const auto error = write_file_replace(FILE_SAVE.file_name, bytes)) {
        dialogs_.message(*error);
        return;
    }
    view_.notify(SAVED_NOTICE + FILE_SAVE.file_name);
}

// The file that was read, also when reached through another path or a link,
// and also when it has been replaced on disk since it was read.
bool LapCommands::is_surface_file(const std::string& path) const {
    if (!surface_identity_) return false;
    const auto target = file_identity(path);
    return target && (*target == *surface_identity_ || target == file_identity(surface_path_));
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
        if (!ws_.loaded) {
            dialogs_.message(OPEN_FIRST_MESSAGE);
            return;
        }
        FILE_SAVE.title = "Save the whole lap at full size: PDF to print, SVG or DXF to cut.";
        FILE_SAVE.filter = TEMPLATE_FILTER;
        FILE_SAVE.filter_index = template_filter_;
        FILE_SAVE.file_name = "";
        if (!dialogs_.save_dialog(FILE_SAVE, dialog_folder_)) return;
        template_filter_ = std::clamp(FILE_SAVE.filter_index, 0, 2);
        const auto kind = static_cast<TemplateKind>(template_filter_);
        std::string path = FILE_SAVE.file_name;
        const std::string extension = kind == TemplateKind::pdf ? ".pdf" : kind == TemplateKind::svg ? ".svg" : ".dxf";
        const std::size_t slash = path.rfind('/');
        const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
        if (name.size() < extension.size() ||
            !std::equal(extension.rbegin(), extension.rend(), name.rbegin(),
                        [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); })) {
            path += extension;
        }
        if (is_surface_file(path)) {
            dialogs_.message(export_onto_surface_message(path));
            return;
        }
        if (const std::string crossed = negative_width_warning(build_lap_template(ws_)); !crossed.empty()) {
            dialogs_.message(crossed);
        }
        const std::string bytes =
            kind == TemplateKind::dxf ? lap_dxf_bytes(ws_, template_date()) : render(ws_, kind);
        if (bytes.empty()) {
            dialogs_.message("The lap template could not be made.");
            return;
        }
        if (const auto error = write_file_replace(path, bytes)) {
            dialogs_.message(*error);
            return;
        }
        view_.notify(SAVED_NOTICE + path);
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
        tokenizer_.IN_LINE = dialogs_.prompt("Number of leaves", "> 2", std::to_string(ws_.NUM_LEAVES));
        std::int32_t leaves = ws_.NUM_LEAVES;  // an empty answer assigns nothing
        try {
            tokenizer_.READ_INT(leaves);
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
        if (const auto refused = set_num_leaves(ws_, leaves)) {
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
        const Real shown = ws_.EFFICIENCY > 0 ? ws_.EFFICIENCY : EFFICIENCY_RESET;
        const std::string answer =
            dialogs_.prompt("% efficiency", "", format_fixed(shown, 0, decimal_separator_));
        tokenizer_.IN_LINE = answer;
        Real efficiency = ws_.EFFICIENCY;  // an empty answer assigns nothing
        try {
            tokenizer_.READ_REAL(efficiency);
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
        if (const auto refused = apply_efficiency(ws_, efficiency)) {
            dialogs_.message(*refused);
            return;
        }
        view_state_.efficiency_text = format_fixed(ws_.EFFICIENCY, 0, decimal_separator_);
        redesign();  // a new floor: the fit is solved again from its last set-up
        show_view();
        DRAW_LAP();
    });
}

void LapCommands::LAP_CHOICEClick(int selected_index) {
    guarded([&] {
        if (const auto refused = set_lap_type(ws_, selected_index == 1)) {
            // The group goes back to the lap type in force.
            view_state_.lap_choice_index = ws_.SPINDLE ? 1 : 0;
            show_view();
            dialogs_.message(*refused);
            return;
        }
        view_state_.lap_choice_index = selected_index;
        view_state_.efficiency_text = format_fixed(ws_.EFFICIENCY, 0, decimal_separator_);
        redesign();
        show_view();
        DRAW_LAP();
    });
}

void LapCommands::DesignClick(LapDesign design) {
    guarded([&] {
        const auto failure = set_design(ws_, design_, design, ws_.FREE_FOCUS);
        view_state_.fit_design = ws_.DESIGN == LapDesign::fit;
        show_view();
        DRAW_LAP();
        if (failure) dialogs_.message(*failure);
    });
}

void LapCommands::FreeFocusClick(bool on) {
    guarded([&] {
        const auto failure = set_design(ws_, design_, ws_.DESIGN, on);
        view_state_.free_focus = ws_.FREE_FOCUS;
        show_view();
        DRAW_LAP();
        if (failure) dialogs_.message(*failure);
    });
}

void LapCommands::COMMENT_LABELClick() {
    guarded([&] {
        set_caption(dialogs_.prompt("Change plot caption", " = First line in save file",
                                    view_state_.caption_text));
        show_view();
    });
}

// The caption the user sees is the first line of the text export. Text equal
// to what the stored caption already shows keeps the stored bytes (a caption
// read as Windows-1252 stays so); new text is stored as UTF-8 in
// PLOT_CAPTION. The DXF caption, TARGET_TEXT, keeps the line read from the
// file.
void LapCommands::set_caption(const std::string& text) {
    view_state_.caption_text = text;
    if (caption_to_utf8(ws_.PLOT_CAPTION) == text) return;
    ws_.PLOT_CAPTION = text;
}

}  // namespace dz
