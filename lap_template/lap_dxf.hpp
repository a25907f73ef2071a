// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The whole lap as a DXF drawing for cutters and CAM programs.

#include <string>

#include "lap_template/lap_geometry.hpp"
#include "lap_template/title_block.hpp"

namespace dz {

// Layers of the lap DXF: what is cut, and what is only read.
inline constexpr const char* DXF_CUT_LAYER = "CUT";
inline constexpr const char* DXF_NOTES_LAYER = "NOTES";

// lap_dxf writes the full-size lap as a DXF (release 2000) drawing.
//
// on entry  lap    the template (build_lap_template).
//           title  the title block; its rows become the notes.
// on return the file's bytes, CR LF line ends, numbers with a period:
//           header  $INSUNITS 4 and $MEASUREMENT 1 (millimetres, metric),
//                   $EXTMIN/$EXTMAX round the drawing, $LIMMIN/$LIMMAX the
//                   same box with a margin, so that a reader sizing its page
//                   by either sees the whole lap;
//           CUT     one closed LWPOLYLINE per leaf (its outline, points to
//                   0.000001 mm) and the rim as a CIRCLE: nothing else;
//           NOTES   the centre mark (two LINEs) and the title block as TEXT
//                   below the lap.
// method    libdxflib's writer sequence (header, tables, blocks, entities,
//           objects), with a writer of its interface that keeps the bytes
//           in memory instead of a file.
[[nodiscard]] std::string lap_dxf(const LapTemplate& lap, const TitleBlock& title);

// Text for a DXF TEXT entity: ASCII as it is, every other character of the
// basic plane as "\U+XXXX", characters beyond it and bytes that are not
// UTF-8 as '?'.
[[nodiscard]] std::string dxf_text_escape(const std::string& utf8);

}  // namespace dz
