// SPDX-License-Identifier: GPL-3.0-or-later
#include "lap_template/page_plan.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace dz {

PaperSize paper_size(Paper paper) {
    return paper == Paper::letter ? PaperSize{215.9, 279.4} : PaperSize{210, 297};
}

const char* paper_name(Paper paper) { return paper == Paper::letter ? "letter" : "a4"; }

std::optional<Paper> parse_paper(const std::string& name) {
    if (name == "a4") return Paper::a4;
    if (name == "letter") return Paper::letter;
    return std::nullopt;
}

Paper locale_paper(const char* lc_all, const char* lc_paper, const char* lang) {
    const char* name = nullptr;
    for (const char* candidate : {lc_all, lc_paper, lang}) {
        if (candidate != nullptr && *candidate != '\0') {
            name = candidate;
            break;
        }
    }
    if (name == nullptr) return Paper::a4;
    // language[_TERRITORY][.codeset][@modifier]
    const std::string locale(name);
    const std::size_t underscore = locale.find('_');
    if (underscore == std::string::npos) return Paper::a4;
    const std::string country = locale.substr(underscore + 1, 2);
    const std::size_t end = underscore + 3;
    if (end < locale.size() && std::isalpha(static_cast<unsigned char>(locale[end]))) return Paper::a4;
    return country == "US" || country == "CA" ? Paper::letter : Paper::a4;
}

namespace {

// Tiles of `window` mm covering `extent` mm with neighbours sharing the overlap.
double tile_count(double extent, double window) {
    if (extent <= window) return 1;
    return std::ceil((extent - TILE_OVERLAP) / (window - TILE_OVERLAP) - 1e-9);
}

bool fits_one_page(double extent, const PaperSize& paper) {
    return extent <= paper.width - 2 * PAGE_MARGIN && extent + TITLE_BLOCK_HEIGHT <= paper.height - 2 * PAGE_MARGIN;
}

}  // namespace

double page_count(double radius, Paper paper) {
    const PaperSize size = paper_size(paper);
    const double extent = 2 * radius;
    if (fits_one_page(extent, size)) return 1;
    const double usable_w = size.width - 2 * PAGE_MARGIN;
    const double usable_h = size.height - 2 * PAGE_MARGIN;
    return tile_count(extent, usable_w) * tile_count(extent, usable_h - TILE_BAND_HEIGHT);
}

PagePlan plan_pages(double radius, Paper paper) {
    PagePlan plan;
    plan.paper = paper_size(paper);
    const double usable_w = plan.paper.width - 2 * PAGE_MARGIN;
    const double usable_h = plan.paper.height - 2 * PAGE_MARGIN;
    const double extent = 2 * radius;

    // One page: the lap centred across, the block below it, both centred down.
    if (fits_one_page(extent, plan.paper)) {
        plan.rows = plan.columns = 1;
        PlannedPage page;
        const double top = PAGE_MARGIN + (usable_h - extent - TITLE_BLOCK_HEIGHT) / 2;
        page.area = {(plan.paper.width - extent) / 2, top, extent, extent};
        page.lap_left = -extent / 2;
        page.lap_top = extent / 2;
        page.block = {PAGE_MARGIN, top + extent, usable_w, TITLE_BLOCK_HEIGHT};
        plan.pages.push_back(page);
        return plan;
    }

    // Tiles: windows of the printable width and the height above the band.
    plan.tiled = true;
    const double window_w = usable_w, window_h = usable_h - TILE_BAND_HEIGHT;
    plan.columns = static_cast<int>(tile_count(extent, window_w));
    plan.rows = static_cast<int>(tile_count(extent, window_h));
    const double step_w = window_w - TILE_OVERLAP, step_h = window_h - TILE_OVERLAP;
    const double grid_w = plan.columns * step_w + TILE_OVERLAP;
    const double grid_h = plan.rows * step_h + TILE_OVERLAP;
    const double left = -grid_w / 2, top = grid_h / 2;
    for (int row = 0; row < plan.rows; ++row) {
        for (int column = 0; column < plan.columns; ++column) {
            PlannedPage page;
            page.row = row;
            page.column = column;
            page.lap_left = left + column * step_w;
            page.lap_top = top - row * step_h;
            page.area = {PAGE_MARGIN, PAGE_MARGIN, window_w, window_h};
            page.block = {PAGE_MARGIN, PAGE_MARGIN + window_h, usable_w, TILE_BAND_HEIGHT};
            plan.pages.push_back(page);
        }
    }

    // Marks: the middles of the overlaps, crossed with the other direction's
    // overlap middles and with the quarter, half and three-quarter lines of
    // the tiles (three marks or more on every seam).
    std::vector<double> xs, ys, x_seams, y_seams;
    for (int column = 0; column < plan.columns; ++column) {
        for (double f : {0.25, 0.5, 0.75}) xs.push_back(left + column * step_w + window_w * f);
        if (column > 0) x_seams.push_back(left + column * step_w + TILE_OVERLAP / 2);
    }
    for (int row = 0; row < plan.rows; ++row) {
        for (double f : {0.25, 0.5, 0.75}) ys.push_back(top - row * step_h - window_h * f);
        if (row > 0) y_seams.push_back(top - row * step_h - TILE_OVERLAP / 2);
    }
    for (double x : x_seams) {
        for (double y : ys) plan.marks.push_back({x, y});
        for (double y : y_seams) plan.marks.push_back({x, y});
    }
    for (double y : y_seams) {
        for (double x : xs) plan.marks.push_back({x, y});
    }

    // Each mark to the pages whose window its cross (MARK_REACH mm from its
    // centre) reaches into: the columns and rows found from its position.
    constexpr double MARK_REACH = 5;
    for (std::size_t i = 0; i < plan.marks.size(); ++i) {
        const PagePlan::Mark& mark = plan.marks[i];
        const auto first = [](double from, double step, int count) {
            return std::clamp(static_cast<int>(std::ceil(from / step)), 0, count);
        };
        const auto last = [](double to, double step, int count) {
            return std::clamp(static_cast<int>(std::floor(to / step)), -1, count - 1);
        };
        // column c shows left + c step_w .. + window_w; row r shows top - r step_h .. - window_h
        const int c0 = first(mark.x - MARK_REACH - window_w - left, step_w, plan.columns);
        const int c1 = last(mark.x + MARK_REACH - left, step_w, plan.columns);
        const int r0 = first(top - mark.y - MARK_REACH - window_h, step_h, plan.rows);
        const int r1 = last(top - mark.y + MARK_REACH, step_h, plan.rows);
        for (int row = r0; row <= r1; ++row) {
            for (int column = c0; column <= c1; ++column) {
                plan.pages[static_cast<std::size_t>(row * plan.columns + column)].marks.push_back(i);
            }
        }
    }
    return plan;
}

}  // namespace dz
