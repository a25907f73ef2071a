// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The chart of the predicted removal: measured, predicted and residual
// against the zone radius, with labelled axes, a legend and the figures in
// words. One painter for the window's view and the PNG module.

#include <array>
#include <string>

#include "removal/removal.hpp"

class QByteArray;
class QImage;
class QPainter;
class QRect;

namespace dz {

// The chart's size when it is saved as PNG.
inline constexpr int REMOVAL_CHART_WIDTH = 720;
inline constexpr int REMOVAL_CHART_HEIGHT = 440;

// The words of a chart that shows something else than a design's
// prediction (the measured removal between two tests, what the model
// predicts of it, and the misfit): the figures line (empty: removal_summary
// of the fit) and the legend's names of check.measured, check.fit.predicted
// and check.fit.residual (UTF-8).
struct RemovalChartText {
    std::string figures;
    std::array<std::string, 3> series{"measured", "predicted", "residual"};
};

// Paints the chart of `check` into `area` of `painter`: `caption` as title,
// the figures (removal_summary, or text.figures) below it, numbers with
// `decimal_separator`. Reads nothing but its arguments.
void paint_removal_chart(QPainter& painter, const QRect& area, const RemovalCheck& check,
                         const std::string& caption, char decimal_separator, const RemovalChartText& text = {});

// The chart on a white image of REMOVAL_CHART_WIDTH x REMOVAL_CHART_HEIGHT
// pixels.
[[nodiscard]] QImage removal_chart_image(const RemovalCheck& check, const std::string& caption,
                                         char decimal_separator, const RemovalChartText& text = {});

// That image as PNG bytes; empty when it could not be encoded.
[[nodiscard]] QByteArray removal_chart_png(const RemovalCheck& check, const std::string& caption,
                                           char decimal_separator, const RemovalChartText& text = {});

}  // namespace dz
