#include "app/commands.hpp"

#include <exception>
#include <string>
#include <string_view>
#include <utility>

#include "app/caption_text.hpp"
#include "drawing/lap_plot.hpp"
#include "export/dxf_export.hpp"
#include "file_io/file_io.hpp"
#include "export/text_export.hpp"
#include "lap_load/calc_lap.hpp"
#include "text_io/numbers.hpp"

namespace dz {
namespace {

// Where the target values start in TARGET_TEXT, after the caption.
constexpr std::string_view TARGET_MARK = "\\PTarget:  b = ";

}  // namespace

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

void LapCommands::DRAW_LAP() {
    view_.draw_plot([this](Canvas& canvas) { dz::DRAW_LAP(ws_, canvas, decimal_separator_); });
}

void LapCommands::FormCreate(const std::vector<std::string>& arguments) {
    guarded([&] {
        // The dialogs start in the working folder given at construction.
        ws_.PLOT_SCALE = PLOT_HEIGHT - PLOT_MARGIN;
        show_view();
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
    show_view();
    DRAW_LAP();
}

void LapCommands::Open1Click() {
    guarded([&] {
        FILE_OPEN.title = "Open Merovins' surface file.";
        FILE_OPEN.filter = "Text files (*.srf, *.txt)|*.srf;*.txt|All files (*.*)|*.*";
        if (!dialogs_.open_dialog(FILE_OPEN, dialog_folder_)) return;
        load_surface(FILE_OPEN.file_name);
    });
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
    if (const auto error = write_file_replace(FILE_SAVE.file_name, bytes)) dialogs_.message(*error);
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
        // Below 1 leaf, or with an outline out of range, nothing changes.
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
        tokenizer_.IN_LINE =
            dialogs_.prompt("% efficiency", "", format_fixed(ws_.EFFICIENCY, 0, decimal_separator_));
        Real efficiency = ws_.EFFICIENCY;  // an empty answer assigns nothing
        try {
            tokenizer_.READ_REAL(efficiency);
        } catch (const ConversionError& error) {
            dialogs_.message(error.what());
            return;
        }
        // At 0 % or below, or with an outline out of range, nothing changes.
        if (const auto refused = apply_efficiency(ws_, efficiency)) {
            dialogs_.message(*refused);
            return;
        }
        view_state_.efficiency_text = format_fixed(ws_.EFFICIENCY, 0, decimal_separator_);
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
        show_view();
        DRAW_LAP();
    });
}

void LapCommands::COMMENT_LABELClick() {
    guarded([&] {
        set_caption(dialogs_.prompt("Change plot caption", " = First line in save file",
                                    view_state_.caption_text));
        show_view();
    });
}

// The caption the user sees is what both exports write. Text equal to what
// the stored caption already shows keeps the stored bytes (a caption read as
// Windows-1252 stays so). New text is stored as UTF-8 in PLOT_CAPTION for the
// text export, and replaces the caption at the head of TARGET_TEXT, in the
// DXF's code page, ahead of the target values that followed it.
void LapCommands::set_caption(const std::string& text) {
    view_state_.caption_text = text;
    if (caption_to_utf8(ws_.PLOT_CAPTION) == text) return;
    const auto targets = ws_.TARGET_TEXT.rfind(TARGET_MARK);
    if (targets != std::string::npos) {
        ws_.TARGET_TEXT = utf8_to_dxf_text(text) + ws_.TARGET_TEXT.substr(targets);
    }
    ws_.PLOT_CAPTION = text;
}

}  // namespace dz
