// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The command handlers of the main window, kept apart from any toolkit: they
// own the lap document (lap_document/), ask the user through Dialogs and
// show the outcome through LapView (window/user_interface.hpp). The window
// forwards its menu, label and radio-group events here; the tests drive the
// same handlers with scripted dialogs.
//
// Every handler is complete in itself: an error that no step expects (an
// input/output error, a bad number in a data line of a surface file) ends the
// command with a message box showing the error's text, and the program goes
// on with the state as it was.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "window/user_interface.hpp"
#include "lap_document/lap_document.hpp"

namespace dz {

// Texts of the commands the tests and the window refer to.
inline constexpr const char* OPEN_FIRST_MESSAGE =
    "Open a surface file first: there is no leaf outline to save yet.";
inline constexpr const char* DEFAULT_HELP_FILE = "tessaro.hlp";
// Pixels between the plot's height and its scale.
inline constexpr int PLOT_MARGIN = 40;
// The labels show at most three digits: larger numbers of leaves, and
// efficiencies that do not round to a whole number from 1 to 999, are
// refused with these messages (below 1 leaf and at 0 % or less the load's
// own refusals stand).
inline constexpr int MAX_LEAVES = 999;
inline constexpr const char* LEAVES_RANGE_MESSAGE =
    "The number of leaves must be from 1 to 999, the numbers its label can show.";
// The efficiency's, with the user's decimal separator in its numbers.
[[nodiscard]] std::string efficiency_range_message(char decimal_separator);
// The hint drawn on the empty plot before a surface is loaded.
inline constexpr const char* OPEN_HINT = "File \u203A Open a surface file";
// The minutes of File > Compare with a later test...: the prompt and the
// refusal of an answer that is no number (the user's separator is named
// after it where the other one was typed).
inline constexpr const char* MINUTES_PROMPT = "Minutes of polishing";
inline constexpr const char* MINUTES_PROMPT_TEXT = "between the two tests, with the lap and stroke in force";
inline constexpr const char* MINUTES_NOT_A_NUMBER = "The polishing time must be a number of minutes.";
// The lap template's save dialog: its filters, in the order of TemplateKind.
inline constexpr const char* TEMPLATE_FILTER =
    "PDF pages to print at 100 % (*.pdf)|*.pdf|SVG for laser and vinyl cutters (*.svg)|*.svg|"
    "DXF for CAM programs, in mm (*.dxf)|*.dxf";
enum class TemplateKind { pdf = 0, svg = 1, dxf = 2 };
// Makes the PDF or SVG bytes of a lap template (the window's Qt pages);
// empty when it cannot.
using TemplateRenderer = std::function<std::string(const WorkingState&, TemplateKind)>;

class LapCommands {
public:
    // `decimal_separator` is the user's; `working_folder` is where the first
    // file dialog opens.
    LapCommands(Dialogs& dialogs, LapView& view, char decimal_separator, std::string working_folder);

    // Window creation: the plot scale, then the command-line rule. `arguments`
    // excludes the program name; with exactly one argument it names a surface
    // file (".srf" appended by the usual rule) that is loaded at once.
    void FormCreate(const std::vector<std::string>& arguments);

    void Open1Click();
    // Reads the file of the last load again (the same path), as Open would.
    void Reload1Click();
    // A file dropped on the window: loaded as the open command loads it.
    void FileDrop(const std::string& path);
    void Save1Click();
    void Savetxt1Click();
    // File > Save lap template...: the whole lap at full size, as PDF, SVG or
    // DXF by the name's extension, else by the filter chosen (whose extension
    // the name then gets; template_target).
    // Widths below zero are drawn as they are, after a message that says so.
    void SaveTemplate1Click(const TemplateRenderer& render);
    void HELPClick();
    void NP_LABELClick();
    void INCR_LABELClick();
    void LAP_CHOICEClick(int selected_index);
    void COMMENT_LABELClick();
    // The Design menu: the classic design or the least-squares fit, and the
    // free focus. Both stay across loads; the plot and the predicted removal
    // follow at once.
    void DesignClick(LapDesign design);
    void FreeFocusClick(bool on);
    // Design > Stroke...: the stroke, its offset, the lap's size and the
    // pressure in one dialog; Design > Wear model: Preston's law or the
    // classic matrix. Both stay across loads; a refusal is a message and
    // changes nothing.
    void StrokeClick();
    void WearModelClick(WearLaw law);
    // File > Compare with a later test...: asks for the later test's file
    // and the minutes polished between the two tests, then compares them
    // with the surface and lap in force. True when the comparison was made;
    // a refusal is a message and changes nothing.
    bool CompareClick();

    [[nodiscard]] const WorkingState& state() const { return doc_.state(); }
    // The document the commands act on; the predicted-removal view reads it.
    [[nodiscard]] LapDocument& document() { return doc_; }
    [[nodiscard]] const ViewState& view() const { return view_state_; }
    [[nodiscard]] const FileDialogSettings& file_open() const { return FILE_OPEN; }
    [[nodiscard]] const FileDialogSettings& file_save() const { return FILE_SAVE; }
    [[nodiscard]] const std::string& dialog_folder() const { return dialog_folder_; }
    [[nodiscard]] bool help_chosen() const { return HELP_CHOSEN; }
    [[nodiscard]] const std::string& help_file() const { return HELP_FILE; }

private:
    // Runs one handler body with the general error report around it.
    template <class Body>
    void guarded(Body&& body);

    void load_surface(const std::string& path);
    void save_export(const char* title, const char* filter, const char* file_name, bool dxf);
    // Writes through the document's guarded save; a failure is shown, a
    // success noticed.
    void save_bytes(const std::string& path, const std::string& bytes);
    void DRAW_LAP();
    // Shows the fit's failure of a command that took effect.
    void report_fit(const DocumentOutcome& outcome);
    // The wear settings handed to the document; the menu shows the model in
    // force afterwards, whether they were taken or refused.
    void apply_wear(const WearSettings& settings);
    void show_view() { view_.show_view(view_state_); }

    Dialogs& dialogs_;
    LapView& view_;
    char decimal_separator_;
    LapDocument doc_;
    ViewState view_state_;

    // The shared dialogs and the folder the next dialog opens in.
    FileDialogSettings FILE_OPEN;
    FileDialogSettings FILE_SAVE;
    std::string dialog_folder_;

    std::string HELP_FILE;
    bool HELP_CHOSEN = false;
    int template_filter_ = 0;  // the lap template's last filter (TemplateKind)
};

}  // namespace dz
