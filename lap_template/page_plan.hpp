// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where a full-size lap goes on printed pages: one page when it fits, else
// tiles with an overlap, alignment marks and row and column labels. Sizes in
// millimetres; page coordinates from the page's top left corner, x to the
// right and y downwards; lap coordinates from the lap centre, y upwards.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace dz {

enum class Paper { a4, letter };

struct PaperSize {
    double width = 0, height = 0;  // mm, portrait
};
[[nodiscard]] PaperSize paper_size(Paper paper);
[[nodiscard]] const char* paper_name(Paper paper);  // "a4", "letter"
// "a4" or "letter" (as typed on the command line); nullopt for anything else.
[[nodiscard]] std::optional<Paper> parse_paper(const std::string& name);

// The paper of the user's locale: letter where the country of the locale
// that decides LC_PAPER (LC_ALL, else LC_PAPER, else LANG; the first one set
// and not empty) is US or CA ("en_US.UTF-8", "fr_CA"), A4 elsewhere and when
// none is set. Null pointers stand for unset variables.
[[nodiscard]] Paper locale_paper(const char* lc_all, const char* lc_paper, const char* lang);

// The page's layout, mm.
inline constexpr double PAGE_MARGIN = 15;      // every edge
inline constexpr double TITLE_BLOCK_HEIGHT = 55;  // title block and scale bars below a lap on one page
inline constexpr double TILE_BAND_HEIGHT = 40;    // the same, compact, below a tile
inline constexpr double TILE_OVERLAP = 10;        // shared by neighbouring tiles

// A rectangle, mm.
struct PlanRect {
    double x = 0, y = 0, width = 0, height = 0;
};

struct PlannedPage {
    int row = 0, column = 0;  // counted from 0, row 0 at the top
    // The part of the lap the page shows: lap coordinates of the window's
    // left, top (y upwards, so the largest y), and its size.
    double lap_left = 0, lap_top = 0;
    PlanRect area;   // where that part lies on the page (same size as the window)
    PlanRect block;  // title block and scale bars
    // The alignment marks (indices into PagePlan::marks) whose cross reaches
    // into the area: each page draws these and no other.
    std::vector<std::size_t> marks;
};

struct PagePlan {
    PaperSize paper;
    int rows = 0, columns = 0;
    bool tiled = false;
    std::vector<PlannedPage> pages;  // row by row, left to right
    // Alignment marks, lap coordinates: each lies in the overlap of two or
    // four tiles and is drawn on every page whose area holds it.
    struct Mark {
        double x = 0, y = 0;
    };
    std::vector<Mark> marks;
};

// plan_pages lays out a lap of the given radius at 1:1.
//
// on entry  radius  the lap's outer radius, mm (> 0); the drawing is the
//                   rim's square (the rim's thin stroke reaches into the
//                   margin by half its width). Every page is made in
//                   memory: keep page_count(radius, paper) within
//                   MAX_TEMPLATE_PAGES (lap_geometry.hpp).
//           paper   the paper, portrait.
// on return one page, its area centred between the margins above the title
//           block, when the drawing fits within the margins with the block
//           below it; otherwise rows x columns tiles, each showing a window
//           of the printable width by the printable height less the band,
//           neighbours sharing TILE_OVERLAP mm, the whole grid centred on
//           the lap; marks on the middle lines of the overlaps, at the
//           crossings with the other direction's overlap middles and with
//           the tiles' quarter, half and three-quarter lines; each page
//           lists the marks that reach into its area (at most a few dozen,
//           so the pages cost time in proportion to their number).
[[nodiscard]] PagePlan plan_pages(double radius, Paper paper);

// page_count: the number of pages plan_pages(radius, paper) makes, worked
// out without making them, in double so that no radius overflows it
// (+inf for an infinite radius).
[[nodiscard]] double page_count(double radius, Paper paper);

}  // namespace dz
