#pragma once
// The command handlers of the main window, kept apart from any toolkit: they
// own the working state and talk to the user only through Dialogs and
// LapView (app/user_interface.hpp). The window forwards its menu, label and
// radio-group events here; the tests drive the same handlers with scripted
// dialogs.
//
// Every handler is complete in itself: an error that no step expects (an
// input/output error, a bad number in a data line of a surface file) ends the
// command with a message box showing the error's text, and the program goes
// on with the state as it was.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/user_interface.hpp"
#include "file_io/file_io.hpp"
#include "lap_load/load_scratch.hpp"
#include "text_io/tokenizer.hpp"
#include "working_state/working_state.hpp"

namespace dz {

// Texts of the commands the tests and the window refer to.
inline constexpr const char* OPEN_FIRST_MESSAGE =
    "Open a surface file first: there is no leaf outline to save yet.";
inline constexpr const char* DEFAULT_HELP_FILE = "tessaro.hlp";
// Pixels between the plot's height and its scale.
inline constexpr int PLOT_MARGIN = 40;

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
    void Save1Click();
    void Savetxt1Click();
    void HELPClick();
    void NP_LABELClick();
    void INCR_LABELClick();
    void LAP_CHOICEClick(int selected_index);
    void COMMENT_LABELClick();

    [[nodiscard]] const WorkingState& state() const { return ws_; }
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
    void set_caption(const std::string& text);
    [[nodiscard]] bool is_surface_file(const std::string& path) const;
    void DRAW_LAP();
    void show_view() { view_.show_view(view_state_); }

    Dialogs& dialogs_;
    LapView& view_;
    char decimal_separator_;
    WorkingState ws_;
    LoadScratch scratch_;  // the load's solver storage, kept from load to load
    Tokenizer tokenizer_;
    ViewState view_state_;

    // The shared dialogs and the folder the next dialog opens in.
    FileDialogSettings FILE_OPEN;
    FileDialogSettings FILE_SAVE;
    std::string dialog_folder_;

    std::string HELP_FILE;
    bool HELP_CHOSEN = false;

    // The surface file of the working state, which no export may replace.
    std::string surface_path_;
    std::optional<FileIdentity> surface_identity_;
};

}  // namespace dz
