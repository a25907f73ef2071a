// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The modal dialogs of the window, with Qt: one-line prompt, message box,
// file dialogs, the desktop's viewer for the help file and the built-in help.

#include <QPointer>
#include <QStringList>
#include <string>

#include "window/user_interface.hpp"

class QDialog;
class QFont;
class QString;
class QWidget;

namespace dz {

// Title of the message boxes and of the window.
inline constexpr const char* APP_TITLE = "Doroziri";

// A filter of description and pattern pairs separated by '|', with ';'
// between the patterns of one pair ("Text files (*.srf, *.txt)|*.srf;*.txt"),
// as Qt name filters ("Text files (*.srf, *.txt) (*.srf *.txt)"). The
// pattern "*.*" means every file, also those without an extension, and
// becomes "*". An empty filter gives an empty list (every file is shown).
[[nodiscard]] QStringList qt_name_filters(const std::string& filter);

// The width of a one-line prompt with this title, prompt text and default
// answer: enough for the title in `title_font` beside the title bar's
// buttons, and for each text in `font`, but at most nine tenths of the
// screen's width.
[[nodiscard]] int prompt_width(const QString& caption, const QString& text, const QString& default_text,
                               const QFont& font, const QFont& title_font, int screen_width);

// The About box's text: version, licence and the Qt version it runs with.
[[nodiscard]] QString about_text();

class QtDialogs final : public Dialogs {
public:
    explicit QtDialogs(QWidget* parent) : parent_(parent) {}

    std::string prompt(const std::string& caption, const std::string& text,
                       const std::string& default_text) override;
    void message(const std::string& text) override;
    bool open_dialog(FileDialogSettings& dialog, std::string& folder) override;
    bool save_dialog(FileDialogSettings& dialog, std::string& folder) override;
    bool open_help(const std::string& path) override;
    void show_builtin_help() override;
    // A dialog of its own (object name "STROKE_DIALOG"): spin boxes for the
    // stroke, the offset and the lap's size within the limits the document
    // takes, a choice of the pressure, the values of `settings` preset;
    // Restore Defaults sets the classic geometry back.
    bool stroke_dialog(WearSettings& settings) override;

private:
    bool run_file_dialog(FileDialogSettings& dialog, std::string& folder, bool save);

    QWidget* parent_;
    QPointer<QDialog> help_window_;  // the built-in help, once shown
};

}  // namespace dz
