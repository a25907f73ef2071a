// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The "Predicted removal" view: a window of its own beside the main window
// with the chart of measured, predicted and residual values, the figures in
// words and a button that saves the chart as PNG. The main window hands it
// the lap document after every change; it only reads its state, and saves
// through the document's guarded save. After a comparison with a later test
// a second chart stands beside the first, on a tab of its own: the removal
// measured between the two tests, the removal the wear model predicts of
// the lap and the misfit.

#include <QRect>
#include <QSize>
#include <QWidget>
#include <memory>
#include <optional>
#include <string>

#include "removal/removal.hpp"
#include "render/removal_chart_painter.hpp"

class QLabel;
class QPushButton;
class QTabBar;

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
    // The comparison's chart, as a check of the measured removal (none
    // without a comparison): radius, measured removal, and the chosen
    // model's fit of it.
    [[nodiscard]] const std::optional<RemovalCheck>& compared() const { return compared_; }
    // Whether the chart shown is the comparison's; select_comparison shows
    // it (when there is one), select_design the design's prediction.
    [[nodiscard]] bool showing_comparison() const;
    void select_comparison();
    void select_design();
    // The chart shown, as it would be saved.
    [[nodiscard]] QImage chart_image() const;

    // The button's command: asks for a file and writes the PNG there (".png"
    // added to a name without it), then says where it went.
    void save_png();

    // Shows the view beside `main`, inside the screen that holds it.
    void show_beside(const QWidget& main);

private:
    class Chart;

    // The chart shown: the check, or the comparison with its own words.
    [[nodiscard]] const std::optional<RemovalCheck>& shown() const;
    [[nodiscard]] RemovalChartText shown_text() const;
    [[nodiscard]] std::string shown_caption() const;

    Dialogs& dialogs_;
    char decimal_separator_;
    QTabBar* tabs_ = nullptr;  // the design's prediction, the later test
    Chart* chart_ = nullptr;
    QLabel* figures_ = nullptr;
    QPushButton* save_ = nullptr;
    QLabel* saved_ = nullptr;  // where the last PNG went
    std::optional<RemovalCheck> check_;
    std::string caption_;
    std::optional<RemovalCheck> compared_;
    std::string compared_caption_;
    std::string compared_figures_;  // comparison_summary
    const LapDocument* document_ = nullptr;
    std::string folder_;  // where the save dialog opens
};

}  // namespace dz
