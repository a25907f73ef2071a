// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The "Predicted removal" view: a window of its own beside the main window
// with the chart of measured, predicted and residual values, the figures in
// words and a button that saves the chart as PNG. The main window hands it
// the lap document after every change; it only reads its state, and saves
// through the document's guarded save.

#include <QRect>
#include <QSize>
#include <QWidget>
#include <memory>
#include <optional>
#include <string>

#include "removal/removal.hpp"

class QLabel;
class QPushButton;

namespace dz {

class Dialogs;
class LapDocument;

// Where a window beside another goes: the frame of `wanted` size (at least
// `least`) within `screen`, next to `main` but never over it. The sides are
// tried in the order right, left, below, above; the first where `wanted`
// fits is taken, the window's top (or left) edge in line with the main
// window's and moved in to stay on the screen. Where no side has room for
// `wanted`, the side with the most room gets a frame shrunk to that room
// (not below `least`; on a screen too small for both it may then overlap
// the main window, but stays on the screen).
[[nodiscard]] QRect frame_beside(const QRect& main, QSize wanted, QSize least, const QRect& screen);

class RemovalView final : public QWidget {
public:
    // A top-level window owned by `parent`; asks for the PNG's file name
    // through `dialogs`; numbers with `decimal_separator`.
    RemovalView(QWidget* parent, Dialogs& dialogs, char decimal_separator);
    ~RemovalView() override;

    // Computes and redraws the prediction of the lap that `doc` draws now,
    // with the wear model the document keeps (an unloaded state empties the
    // chart). Save as PNG then writes through `doc`, which refuses its
    // surface file; `doc` must outlive the view.
    void show_state(LapDocument& doc);

    // What the view shows: the figures line, and the check (none before a
    // surface is loaded).
    [[nodiscard]] QString figures() const;
    [[nodiscard]] const std::optional<RemovalCheck>& check() const { return check_; }
    // The chart as it would be saved.
    [[nodiscard]] QImage chart_image() const;

    // The button's command: asks for a file and writes the PNG there (".png"
    // added to a name without it), then says where it went.
    void save_png();

    // Shows the view beside `main`, inside the screen that holds it.
    void show_beside(const QWidget& main);

private:
    class Chart;

    Dialogs& dialogs_;
    char decimal_separator_;
    Chart* chart_ = nullptr;
    QLabel* figures_ = nullptr;
    QPushButton* save_ = nullptr;
    QLabel* saved_ = nullptr;  // where the last PNG went
    std::optional<RemovalCheck> check_;
    std::string caption_;
    const LapDocument* document_ = nullptr;
    std::string folder_;  // where the save dialog opens
};

}  // namespace dz
