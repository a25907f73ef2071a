// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The surface file reader: caption, target parameters b and R, and one line
// per measured zone.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core_types/real.hpp"
#include "text_io/tokenizer.hpp"

namespace dz {

// What a surface file holds, read into scratch storage.
struct SurfaceData {
    std::string caption;      // line 1, bytes unchanged (line end removed)
    std::string target_text;  // caption + "\PTarget:  b = " + b + ", R = " + R + "}"
    N_VECTOR radius;          // zone radii, mm (zone_capacity entries, zone_count used)
    N_VECTOR raw;             // measured values (zone_capacity entries, zone_count used)
    Real raw_min = 0;         // min(0, measured values)
    int zone_count = 0;
};

struct SurfaceReadResult {
    std::optional<SurfaceData> data;  // set on success
    std::string message;              // the message to show on failure
    std::string warning;              // on success: one line about data that is almost surely a
                                      // mistake (see surface_warning), or empty
};

// The refusal of a file saved as UTF-16 text.
inline constexpr const char* UTF16_MESSAGE =
    "The surface file is UTF-16 text (as some Windows editors save it): save it as plain text "
    "(ANSI or UTF-8) and open it again.";

// Splits the bytes of a text file into lines: a line ends with LF or CR LF, a
// CR not followed by LF is dropped, and a Ctrl-Z (code 26) ends the file. A
// file ending right after a line break has no extra empty line.
[[nodiscard]] std::vector<std::string> split_text_file_lines(std::string_view bytes);

// Reads a whole surface file with `tokenizer` (whose decimal separator is the
// user's) into zone arrays of `zone_capacity` entries (the working state's
// ZONE_CAPACITY; at least 1). Refused with a message: a line 3 or 4 without a
// leading number; a data token that is not a number; a data line with fewer
// than three numbers; no data lines; more than zone_capacity data lines; a
// last zone at radius 0; UTF-16 text (UTF16_MESSAGE). Lines of only spaces
// and tabs after line 5 are skipped. A UTF-8 byte-order mark at the start of
// the file is not part of the caption and is dropped.
//
// Accepted as they stand, with one warning line naming the first such line
// (and how many more there are): a negative zone radius; a radius beyond
// the last zone's (the outer radius); a radius already given on an earlier
// line; a radius smaller than the one before; a Ctrl-Z before the last line,
// which ends the file early.
[[nodiscard]] SurfaceReadResult read_surface(std::string_view bytes, Tokenizer& tokenizer, int zone_capacity);

}  // namespace dz
