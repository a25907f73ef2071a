// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The main window: the plot, the labels for the number of leaves, the
// efficiency and the caption, the lap-type group, the Exit button and the
// menu. It shows what the command handlers (window/commands.hpp) hand it and
// forwards the user's clicks, keys and dropped files to them. It watches the
// loaded surface file and offers to read it again when it changes on disk.

#include <QMainWindow>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

#include "window/user_interface.hpp"

class QAction;
class QButtonGroup;
class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;
class QFileSystemWatcher;
class QGroupBox;
class QImage;
class QLabel;
class QPushButton;

namespace dz {

class LapCommands;
class Notice;
class RemovalView;

// The window's title for a surface file path (empty: none loaded yet).
[[nodiscard]] QString window_title(const std::string& surface_path);

class TFORM1 final : public QMainWindow, public LapView {
public:
    // `arguments` are the program's arguments without the program name; a
    // single one names a surface file that is loaded before the window is
    // shown. The window asks the user through `dialogs` when given (tests),
    // else through Qt's dialogs.
    explicit TFORM1(const QStringList& arguments, Dialogs* dialogs = nullptr);
    ~TFORM1() override;

    void show_view(const ViewState& view) override;
    void draw_plot(const std::function<void(Canvas&)>& draw) override;
    void notify(const std::string& text) override;

    [[nodiscard]] LapCommands& commands() { return *commands_; }
    [[nodiscard]] char decimal_separator() const { return decimal_separator_; }
    // The view of the predicted removal; nullptr until first opened.
    [[nodiscard]] RemovalView* removal_view() const { return removal_view_; }

protected:
    void changeEvent(QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void create_controls();
    void create_menu();
    // Watches `path` (the file system's bytes) instead of the file before.
    void watch(const std::string& path);
    void surface_changed(const QString& path);
    // Opens (or raises) the view of the predicted removal.
    void show_removal();
    // File > Compare with a later test...: the comparison, shown in the
    // view of the predicted removal.
    void compare();
    // Hands the view, when open, the state as the commands left it.
    void update_removal();
    // The warning line under the caption: crossed edges, the load's warning.
    void show_warnings();
    void print_template();
    // Runs window creation's steps after the controls exist.
    void FormCreate(const QStringList& arguments);

    std::unique_ptr<Dialogs> own_dialogs_;
    Dialogs* dialogs_ = nullptr;
    char decimal_separator_ = '.';
    std::unique_ptr<QImage> picture_;  // the bitmap LAP_PIC shows
    std::unique_ptr<LapCommands> commands_;
    QFileSystemWatcher* watcher_ = nullptr;
    std::string watched_;  // the surface file watched, as the commands name it
    std::string load_warning_;  // the load's warning, as the commands hand it
    int loads_seen_ = 0;        // ViewState::loads when last shown

    QLabel* LAP_PIC = nullptr;
    QLabel* NP_LABEL = nullptr;
    QLabel* INCR_LABEL = nullptr;
    QLabel* COMMENT_LABEL = nullptr;
    QLabel* WARNING_LABEL = nullptr;  // the load's warning, below the caption; hidden when none
    QGroupBox* LAP_CHOICE = nullptr;
    QButtonGroup* lap_choice_buttons_ = nullptr;
    QPushButton* QUIT = nullptr;
    QAction* Open1 = nullptr;
    QAction* Save1 = nullptr;
    QAction* Savetxt1 = nullptr;
    QAction* SaveTemplate1 = nullptr;
    QAction* Print1 = nullptr;
    QAction* Reload1 = nullptr;
    QAction* Quit1 = nullptr;
    QAction* HELP = nullptr;
    Notice* NOTICE = nullptr;  // the non-modal line under the caption
    QAction* Removal1 = nullptr;
    QAction* DesignClassic1 = nullptr;  // the Design menu
    QAction* DesignFit1 = nullptr;
    QAction* FreeFocus1 = nullptr;
    QAction* Stroke1 = nullptr;        // Design > Stroke...
    QAction* WearPreston1 = nullptr;   // Design > Wear model
    QAction* WearMatrix1 = nullptr;
    QAction* Compare1 = nullptr;       // File > Compare with a later test...
    RemovalView* removal_view_ = nullptr;  // made at its first use
};

}  // namespace dz
