// SPDX-License-Identifier: GPL-3.0-or-later
#include "surface/surface_reader.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>

#include "text_io/numbers.hpp"

namespace dz {

std::vector<std::string> split_text_file_lines(std::string_view bytes) {
    std::vector<std::string> lines;
    std::string line;
    bool pending = false;  // characters read since the last line end
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == '\x1a') break;  // Ctrl-Z ends the file
        if (c == '\n') {
            lines.push_back(std::move(line));
            line.clear();
            pending = false;
            continue;
        }
        pending = true;
        if (c == '\r') continue;  // CR LF ends a line with the LF; a lone CR is dropped
        line.push_back(c);
    }
    if (pending) lines.push_back(std::move(line));
    return lines;
}

namespace {

bool blank(const std::string& line) {
    return line.find_first_not_of(" \t") == std::string::npos;
}

std::string quoted(const std::string& line) {
    std::string text = "\"";
    text += shown_in_message(line);
    text += '"';
    return text;
}

// UTF-16 text: a byte-order mark, or the start of the file in ASCII with a
// zero byte beside every character (as a file without a mark has it).
bool utf16_text(std::string_view bytes) {
    if (bytes.size() >= 2 && ((bytes[0] == '\xff' && bytes[1] == '\xfe') || (bytes[0] == '\xfe' && bytes[1] == '\xff'))) {
        return true;
    }
    const std::size_t units = std::min<std::size_t>(bytes.size() / 2, 16);
    if (units < 2) return false;
    for (const std::size_t zero : {std::size_t{1}, std::size_t{0}}) {  // little, then big end first
        bool all = true;
        for (std::size_t u = 0; u < units && all; ++u) {
            all = bytes[2 * u + zero] == '\0' && bytes[2 * u + 1 - zero] != '\0';
        }
        if (all) return true;
    }
    return false;
}

// The line (from 1) of a Ctrl-Z after which something other than blanks,
// line ends and more Ctrl-Z follows; 0 when there is none. A Ctrl-Z that only
// ends the file, as older editors write it, is not reported.
std::size_t early_end_mark_line(std::string_view bytes) {
    const std::size_t mark = bytes.find('\x1a');
    if (mark == std::string_view::npos) return 0;
    if (bytes.find_first_not_of(" \t\r\n\x1a", mark) == std::string_view::npos) return 0;
    return 1 + static_cast<std::size_t>(std::count(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(mark), '\n'));
}

// A data line as read: where it stands and its zone radius.
struct ZoneLine {
    std::size_t line;  // from 1
    Real radius;
};

// The one warning about radii that the reader takes as designed but that
// are almost surely a mistake; empty when there is nothing to say.
std::string surface_warning(const std::vector<ZoneLine>& zones, const std::vector<std::string>& lines,
                            std::size_t end_mark_line) {
    std::size_t first = 0;
    std::string first_kind;
    int count = 0;
    auto note = [&](std::size_t line, std::string kind) {
        ++count;
        if (first == 0 || line < first) {
            first = line;
            first_kind = std::move(kind);
        }
    };
    const Real outer = zones.back().radius;
    std::map<Real, std::size_t> seen;  // radius -> first line giving it
    for (std::size_t z = 0; z < zones.size(); ++z) {
        const Real r = zones[z].radius;
        const std::size_t line = zones[z].line;
        const auto earlier = seen.find(r);
        if (r < 0) {
            note(line, "the zone radius is negative");
        } else if (z + 1 < zones.size() && r > outer) {
            note(line, "the zone radius lies beyond that of the last zone, the outer radius");
        } else if (earlier != seen.end()) {
            note(line, "the zone radius repeats that of line " + std::to_string(earlier->second));
        } else if (z > 0 && r < zones[z - 1].radius) {
            note(line, "the zone radius is smaller than that of the line before (not in ascending order)");
        }
        seen.emplace(r, line);
    }
    if (end_mark_line != 0) {
        note(end_mark_line, "a Ctrl-Z (end-of-file mark) ends the file here; the lines after it were not read");
    }
    if (count == 0) return {};
    std::string warning = "Warning: line " + std::to_string(first) + " of the surface file: " + first_kind;
    if (first <= lines.size()) warning += ":  " + quoted(lines[first - 1]);
    if (count > 1) {
        warning += " (and " + std::to_string(count - 1) + (count == 2 ? " more such line)" : " more such lines)");
    }
    return warning + "; the file was read as it stands.";
}

// Reads the first number of a header line. Empty result: no number there.
std::optional<Real> header_number(Tokenizer& tokenizer, const std::string& line) {
    Real value = std::numeric_limits<Real>::quiet_NaN();  // a read never yields NaN
    tokenizer.IN_LINE = line;
    tokenizer.READ_REAL(value);
    if (std::isnan(value)) return std::nullopt;
    return value;
}

}  // namespace

SurfaceReadResult read_surface(std::string_view bytes, Tokenizer& tokenizer, int zone_capacity) {
    SurfaceReadResult result;
    if (utf16_text(bytes)) {
        result.message = UTF16_MESSAGE;
        return result;
    }
    if (bytes.substr(0, 3) == "\xef\xbb\xbf") bytes.remove_prefix(3);  // not part of the caption
    const std::vector<std::string> lines = split_text_file_lines(bytes);
    auto line_at = [&](std::size_t index) -> std::string {
        return index < lines.size() ? lines[index] : std::string();
    };

    SurfaceData data;
    // Line 1: the caption; line 2 is not read.
    data.caption = line_at(0);

    // Line 3: the target parameter b. Any failure here, an empty token or no
    // token at all, means the file is not a surface file.
    const std::string line3 = line_at(2);
    std::optional<Real> b;
    try {
        b = header_number(tokenizer, line3);
    } catch (const ConversionError&) {
        b.reset();
    }
    if (!b) {
        // A file written where the other decimal separator is usual says so.
        result.message = "ERROR reading this line, expected b value (probably wrong file):  " + quoted(line3) +
                         separator_hint(line3, tokenizer.decimal_separator());
        return result;
    }

    // Line 4: the target parameter R. A bad token reports the conversion
    // error itself; a line without any number, blank or empty, reports like
    // line 3 does.
    const std::string line4 = line_at(3);
    std::optional<Real> r;
    try {
        r = header_number(tokenizer, line4);
    } catch (const ConversionError& e) {
        if (!blank(line4)) {
            result.message = e.what();
            return result;
        }
    }
    if (!r) {
        result.message = "ERROR reading this line, expected R value (probably wrong file):  " + quoted(line4);
        return result;
    }

    const char sep = tokenizer.decimal_separator();
    data.target_text = data.caption + "\\PTarget:  b = " + format_fixed(*b, 3, sep) +
                       ", R = " + format_fixed(*r, 3, sep) + "}";

    // Line 5 is not read; one zone per data line from line 6 on.
    data.radius.assign(static_cast<std::size_t>(zone_capacity), 0);
    data.raw.assign(static_cast<std::size_t>(zone_capacity), 0);
    data.raw_min = 0;
    data.zone_count = 0;
    std::vector<ZoneLine> zones;
    for (std::size_t index = 5; index < lines.size(); ++index) {
        const std::string& line = lines[index];
        if (blank(line)) continue;
        const std::string line_number = std::to_string(index + 1);
        if (data.zone_count == zone_capacity) {
            result.message = "The surface file has more than " + std::to_string(zone_capacity) +
                             " zone lines; at most " + std::to_string(zone_capacity) +
                             " zones can be read (line " + line_number + ").";
            return result;
        }
        Real values[3];
        for (Real& v : values) v = std::numeric_limits<Real>::quiet_NaN();
        tokenizer.IN_LINE = line;
        try {
            for (Real& v : values) tokenizer.READ_REAL(v);
        } catch (const ConversionError& e) {
            result.message = e.what();
            return result;
        }
        if (std::isnan(values[2])) {
            result.message = "Line " + line_number +
                             " of the surface file has fewer than three numbers "
                             "(zone radius, second value, measured value):  " + quoted(line);
            return result;
        }
        const auto z = static_cast<std::size_t>(data.zone_count);
        data.radius[z] = values[0];
        data.raw[z] = values[2];
        if (values[2] < data.raw_min) data.raw_min = values[2];
        ++data.zone_count;
        zones.push_back({index + 1, values[0]});
    }

    if (data.zone_count == 0) {
        result.message = "The surface file has no zone lines: after the five header lines, "
                         "each line must hold a zone radius, a second value and a measured value.";
        return result;
    }
    if (data.radius[static_cast<std::size_t>(data.zone_count - 1)] == 0) {
        result.message = "The last zone of the surface file lies at radius 0; the last zone "
                         "must be the outermost, at a radius above 0.";
        return result;
    }
    result.warning = surface_warning(zones, lines, early_end_mark_line(bytes));
    result.data = std::move(data);
    return result;
}

}  // namespace dz
