// SPDX-License-Identifier: GPL-3.0-or-later
// The DXF export. The drawing is the fixed template of export/dxf_template/,
// built into the library: Memo1 (head, up to the group code of the text
// block's text), the caption line, Memo2 (rest of the text block and the
// polyline header), one EACH_PT block per zone, Memo3 (end marker, objects
// and the end of the file).

#include "export/dxf_export.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "text_io/numbers.hpp"

namespace dz::dxf_template {
// Generated from the text files at configuration; each holds its lines, every
// one ended by a line feed.
extern const std::string_view Memo1;
extern const std::string_view Memo2;
extern const std::string_view EACH_PT;
extern const std::string_view Memo3;
}  // namespace dz::dxf_template

namespace dz {
namespace {

constexpr std::string_view STROKE_PREFIX = "{2/5 Stroke Tessaro, ";
constexpr std::string_view FIT_PREFIX = "{2/5 Stroke Tessaro, least-squares fit";
constexpr std::string_view FIT_FREE_FOCUS_PREFIX = "{2/5 Stroke Tessaro, least-squares fit with free focus";
constexpr std::string_view SPINDLE_PREFIX = "{Spindle Tessaro, ";
constexpr std::string_view LINE_END = "\r\n";

// The first vertex handle (hexadecimal 35).
constexpr std::uint32_t FIRST_VERTEX_HANDLE = 53;

// The lines of EACH_PT that are written (0 to 21), and the three computed.
constexpr std::size_t VERTEX_LINES = 22;
constexpr std::size_t VERTEX_HANDLE_LINE = 3;
constexpr std::size_t VERTEX_X_LINE = 17;
constexpr std::size_t VERTEX_Y_LINE = 19;

// The lines of a stored template text, cut at every LF and nowhere else
// (unlike a surface file's lines, see split_text_file_lines: no CR or
// Ctrl-Z rule, the template holds neither); no empty line after a final LF.
std::vector<std::string_view> split_at_lf(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

std::string_view trim(std::string_view s) {
    const std::size_t first = s.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

// Value of a hexadecimal handle; fails on anything else.
std::uint32_t parse_handle(std::string_view text) {
    if (text.empty() || text.size() > 7) throw std::logic_error("dxf template: bad handle");
    std::uint32_t value = 0;
    for (const char c : text) {
        std::uint32_t digit = 0;
        if (c >= '0' && c <= '9') {
            digit = static_cast<std::uint32_t>(c - '0');
        } else if (c >= 'A' && c <= 'F') {
            digit = static_cast<std::uint32_t>(c - 'A' + 10);
        } else {
            throw std::logic_error("dxf template: bad handle");
        }
        value = value * 16 + digit;
    }
    return value;
}

// Upper-case hexadecimal without leading zeros.
std::string handle_text(std::uint32_t value) {
    static constexpr char DIGITS[] = "0123456789ABCDEF";
    std::string text;
    do {
        text.insert(text.begin(), DIGITS[value % 16]);
        value /= 16;
    } while (value != 0);
    return text;
}

struct Template {
    std::vector<std::string_view> head, middle, vertex, tail;
    std::size_t handseed_line = 0;  // index in head of the $HANDSEED value
    std::vector<std::uint32_t> handles;  // every handle the template uses, sorted
    std::uint32_t largest_handle = 0;
};

// Adds the handles (groups 5 and 105) of a list that starts at a group code.
void collect_handles(const std::vector<std::string_view>& lines, std::size_t skip_line,
                     std::vector<std::uint32_t>& handles) {
    for (std::size_t i = 0; i + 1 < lines.size(); i += 2) {
        const std::string_view code = trim(lines[i]);
        if ((code == "5" || code == "105") && i + 1 != skip_line) {
            handles.push_back(parse_handle(lines[i + 1]));
        }
    }
}

Template load_template() {
    Template t;
    t.head = split_at_lf(dxf_template::Memo1);
    t.middle = split_at_lf(dxf_template::Memo2);
    t.vertex = split_at_lf(dxf_template::EACH_PT);
    t.tail = split_at_lf(dxf_template::Memo3);
    if (t.vertex.size() < VERTEX_LINES) throw std::logic_error("dxf template: short vertex");

    const auto seed = std::find(t.head.begin(), t.head.end(), "$HANDSEED");
    if (seed == t.head.end() || seed + 2 >= t.head.end() || trim(*(seed + 1)) != "5") {
        throw std::logic_error("dxf template: no $HANDSEED");
    }
    t.handseed_line = static_cast<std::size_t>(seed - t.head.begin()) + 2;

    collect_handles(t.head, t.handseed_line, t.handles);
    collect_handles(t.middle, t.middle.size(), t.handles);
    collect_handles(t.tail, t.tail.size(), t.handles);
    std::sort(t.handles.begin(), t.handles.end());
    t.largest_handle = t.handles.empty() ? 0 : t.handles.back();
    return t;
}

const Template& the_template() {
    static const Template t = load_template();
    return t;
}

void put(std::string& out, std::string_view line) {
    out.append(line);
    out.append(LINE_END);
}

}  // namespace

std::string dxf_export(const WorkingState& ws) {
    const Template& t = the_template();
    if (ws.ZONE_COUNT < 1 || ws.LAST_ZONE != ws.ZONE_COUNT - 1 ||
        ws.LEAF_EDGES.size() < ws.edge_index(1, ws.LAST_ZONE, 1) + 1) {
        throw std::invalid_argument("DXF export: no leaf outline to write");
    }

    // Vertex handles count up from 35, passing over every handle the
    // template gives to something else.
    std::vector<std::string> handles;
    handles.reserve(static_cast<std::size_t>(ws.ZONE_COUNT));
    std::uint32_t counter = FIRST_VERTEX_HANDLE;
    std::uint32_t largest = t.largest_handle;
    for (std::int32_t k = 0; k <= ws.LAST_ZONE; ++k) {
        while (std::binary_search(t.handles.begin(), t.handles.end(), counter)) ++counter;
        handles.push_back(handle_text(counter));
        largest = std::max(largest, counter);
        ++counter;
    }

    std::string out;
    out.reserve((t.head.size() + t.middle.size() + t.tail.size() +
                 VERTEX_LINES * handles.size()) * 12 + ws.TARGET_TEXT.size() + 64);

    // $HANDSEED: the next free handle, one past the largest in the file.
    const std::string seed = handle_text(largest + 1);
    for (std::size_t i = 0; i < t.head.size(); ++i) {
        put(out, i == t.handseed_line ? std::string_view(seed) : t.head[i]);
    }

    // the fit names itself and the wear model and stroke it was fitted for;
    // the classic caption is the one it always was
    std::string caption(ws.SPINDLE      ? SPINDLE_PREFIX
                        : !ws.fit_drawn() ? STROKE_PREFIX
                        : ws.FREE_FOCUS   ? FIT_FREE_FOCUS_PREFIX
                                          : FIT_PREFIX);
    if (ws.fit_drawn()) caption += " for " + wear_settings_text(ws.WEAR, '.') + ", ";
    caption += std::to_string(ws.NUM_LEAVES);
    caption += " Leaves\\P";
    caption += ws.TARGET_TEXT;
    put(out, caption);

    for (const std::string_view line : t.middle) put(out, line);

    for (std::int32_t k = 0; k <= ws.LAST_ZONE; ++k) {
        const std::string x = format_fixed(ws.edge_at(1, k, 0) * ws.OUTER_RADIUS, 2, '.');
        const std::string y = format_fixed(ws.edge_at(1, k, 1) * ws.OUTER_RADIUS, 2, '.');
        for (std::size_t i = 0; i < VERTEX_LINES; ++i) {
            switch (i) {
                case VERTEX_HANDLE_LINE: put(out, handles[static_cast<std::size_t>(k)]); break;
                case VERTEX_X_LINE: put(out, x); break;
                case VERTEX_Y_LINE: put(out, y); break;
                default: put(out, t.vertex[i]); break;
            }
        }
    }

    for (const std::string_view line : t.tail) put(out, line);
    return out;
}

}  // namespace dz
