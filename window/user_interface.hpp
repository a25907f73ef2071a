// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the command handlers need from the window, in two small interfaces:
// the modal dialogs (prompt, message box, file dialogs, help viewer) and the
// view (label texts, the lap-type group, the plot). The Qt window implements
// both; the tests implement them with scripted answers. Nothing here knows Qt.

#include <functional>
#include <string>

#include "working_state/working_state.hpp"  // WearSettings, as the state keeps them

namespace dz {

class Canvas;

// Settings of a file dialog that live from one use to the next, as the open
// and the help command share one dialog. `filter` is a list of description
// and pattern pairs separated by '|' ("Text files (*.txt)|*.txt"); after an
// accepted dialog `file_name` holds the chosen path and `filter_index` the
// pair the user had selected (0 = first).
struct FileDialogSettings {
    std::string title;
    std::string filter;
    std::string file_name;
    int filter_index = 0;
};

// Everything the labels and the lap-type group show. Texts are UTF-8.
struct ViewState {
    std::string leaves_text = "4";           // NP_LABEL
    std::string efficiency_text;             // INCR_LABEL
    std::string caption_text = "Plot Caption";  // COMMENT_LABEL
    bool lap_choice_visible = false;         // LAP_CHOICE
    int lap_choice_index = 0;                // 0 "2/5 Stroke", 1 "Spindle"
    std::string warning_text;                // WARNING_LABEL: the load's warning, or empty
    // The file the lap was last loaded from (the file system's bytes; empty
    // before the first load): the title names it, Reload reads it again and
    // the window watches it for changes.
    std::string surface_path;
    bool lap_drawn = false;  // a lap is drawn: the save commands are enabled
    bool fit_design = false;  // the Design menu: the least-squares fit (else classic)
    bool free_focus = false;  // the Design menu: free focus
    bool matrix_wear = false;  // Design > Wear model: the classic matrix (else Preston's law)
    int loads = 0;  // successful loads so far: a new one ends what concerned the file before
    friend bool operator==(const ViewState&, const ViewState&) = default;
};

class Dialogs {
public:
    virtual ~Dialogs() = default;

    // One-line modal prompt; returns the typed text, or `default_text` when
    // the user cancels.
    virtual std::string prompt(const std::string& caption, const std::string& text,
                               const std::string& default_text) = 0;
    // Message box with one OK button.
    virtual void message(const std::string& text) = 0;
    // Modal file dialogs. `folder` is the folder the dialog opens in; on OK
    // the dialog stores the chosen path and filter in `dialog`, moves
    // `folder` to the chosen file's folder and returns true. On Cancel it
    // returns false and changes nothing.
    virtual bool open_dialog(FileDialogSettings& dialog, std::string& folder) = 0;
    virtual bool save_dialog(FileDialogSettings& dialog, std::string& folder) = 0;
    // Opens a help file in the desktop's viewer; false when that fails.
    virtual bool open_help(const std::string& path) = 0;
    // Shows the help that comes with the program.
    virtual void show_builtin_help() = 0;
    // The stroke dialog (Design > Stroke...): shows the stroke, its offset,
    // the lap's size and the pressure of `settings`; on OK stores what the
    // user set there (the wear model is left as it was) and returns true. On
    // Cancel returns false and changes nothing.
    virtual bool stroke_dialog(WearSettings& settings) = 0;
};

class LapView {
public:
    virtual ~LapView() = default;

    // Shows the labels and the lap-type group as `view` describes them.
    virtual void show_view(const ViewState& view) = 0;
    // Repaints the plot: `draw` paints the whole picture on the canvas it is
    // given, which the view then displays.
    virtual void draw_plot(const std::function<void(Canvas&)>& draw) = 0;
    // A short notice that asks for nothing and interrupts nothing (where a
    // file was saved). A view without room for notices shows none.
    virtual void notify(const std::string& text) { static_cast<void>(text); }
};

}  // namespace dz
