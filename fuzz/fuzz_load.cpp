// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzzer for the whole path of a file: the bytes through the load, the lap
// settings, the plot on a recording canvas and both exports into memory.
//
// Input: four control bytes, then the bytes of the surface file.
//   byte 0  bit 0 decimal comma; bit 1 "Spindle" selected at the load;
//           bit 2 a good surface is loaded first; bit 3 the lap type is
//           changed after the load, to the other type when bit 4 is set
//   byte 1  the number of leaves (see leaves_from)
//   byte 2, byte 3  the efficiency (see efficiency_from)
//
// Checked: a load either succeeds with a finite, consistent state or fails
// with a message and leaves the state exactly as it was; so does each
// setting; the plot changes nothing, stays within the clamp of TO_SCREEN and
// writes only well-formed labels; the exports have the right number of lines
// and no value that is not a number.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "drawing/lap_plot.hpp"
#include "tests/recording_canvas.hpp"
#include "export/dxf_export.hpp"
#include "export/text_export.hpp"
#include "lap_load/calc_lap.hpp"
#include "tests/state_compare.hpp"
#include "text_io/numbers.hpp"
#include "text_io/tokenizer.hpp"
#include "working_state/working_state.hpp"

namespace {

using dz::Real;

[[noreturn]] void fail(const char* what, std::string_view detail = {}) {
    std::fprintf(stderr, "fuzz_load: %s: [%.*s]\n", what, static_cast<int>(detail.size()), detail.data());
    std::abort();
}

void check(bool ok, const char* what, std::string_view detail = {}) {
    if (!ok) fail(what, detail);
}

// Everything of the working state that the user sees or that a later
// command reads.
bool same_state(const dz::WorkingState& a, const dz::WorkingState& b) {
    return dz::testing::differing_fields(a, b).empty();
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// A number as format_fixed writes it: [-] digits [sep digits].
bool well_formed_number(std::string_view text, char sep) {
    std::size_t i = 0;
    if (i < text.size() && text[i] == '-') ++i;
    const std::size_t first = i;
    while (i < text.size() && is_digit(text[i])) ++i;
    if (i == first) return false;
    if (i < text.size() && text[i] == sep) {
        ++i;
        const std::size_t decimals = i;
        while (i < text.size() && is_digit(text[i])) ++i;
        if (i == decimals) return false;
    }
    return i == text.size();
}

std::vector<std::string_view> crlf_lines(std::string_view text, bool& ends_with_crlf) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find("\r\n", start);
        if (end == std::string_view::npos) {
            lines.push_back(text.substr(start));
            ends_with_crlf = false;
            return lines;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    ends_with_crlf = true;
    return lines;
}

const char* const GOOD_SURFACE =
    "good surface\n"
    "ignored\n"
    "-1.0\n"
    "1000\n"
    "ignored\n"
    "0 0 10\n"
    "10 0 12\n"
    "20 0 5\n"
    "30 0 -3\n"
    "40 0 -8\n"
    "50 0 2\n";

std::int32_t leaves_from(std::uint8_t b) {
    static constexpr std::int32_t EDGES[] = {0, -1, std::numeric_limits<std::int32_t>::max(),
                                             std::numeric_limits<std::int32_t>::min(), 1'000'000, 65'536,
                                             1, 2, 3, 500, 100'000'000, 12};
    constexpr std::size_t N = sizeof EDGES / sizeof EDGES[0];
    if (b >= 256 - N) return EDGES[b - (256 - N)];
    return static_cast<std::int8_t>(b);
}

Real efficiency_from(std::uint8_t mantissa, std::uint8_t exponent) {
    static constexpr Real EDGES[] = {0.0L,
                                     -1.0L,
                                     std::numeric_limits<Real>::denorm_min(),
                                     std::numeric_limits<Real>::min(),
                                     std::numeric_limits<Real>::max(),
                                     std::numeric_limits<Real>::epsilon(),
                                     1e-300L,
                                     1e300L,
                                     1e-4000L,
                                     1e4000L,
                                     0.001L,
                                     1.0L,
                                     50.0L,
                                     100.0L,
                                     200.0L,
                                     -0.0L};
    if (mantissa < 16) return EDGES[mantissa];
    return std::ldexp(static_cast<Real>(mantissa), static_cast<std::int8_t>(exponent) * 64);
}

void check_loaded(const dz::WorkingState& ws) {
    check(ws.loaded, "a loaded state not marked loaded");
    check(ws.ZONE_COUNT >= 1 && ws.ZONE_COUNT <= dz::ZONE_CAPACITY, "zone count out of range");
    check(ws.LAST_ZONE == ws.ZONE_COUNT - 1, "LAST_ZONE");
    const auto count = static_cast<std::size_t>(ws.ZONE_COUNT);
    check(ws.ZONE_RADIUS.size() >= count && ws.ZONE_RAW.size() >= count && ws.ZONE_PROFILE.size() >= count,
          "zone arrays shorter than the zone count");
    check(ws.LEAF_EDGES.size() == 4 * count, "LEAF_EDGES size");
    check(ws.OUTER_RADIUS == ws.ZONE_RADIUS[count - 1] && ws.OUTER_RADIUS != 0, "OUTER_RADIUS");
    check(std::isfinite(ws.BASE_OFFSET) && std::isfinite(ws.EFFICIENCY) && ws.EFFICIENCY > 0,
          "offset or efficiency not finite");
    check(ws.NUM_LEAVES >= 1, "number of leaves below 1");
    Real raw_min = 0;
    for (std::size_t i = 0; i < count; ++i) {
        check(std::isfinite(ws.ZONE_RADIUS[i]) && std::isfinite(ws.ZONE_RAW[i]), "zone values not finite");
        check(std::isfinite(ws.ZONE_PROFILE[i]), "profile not finite");
        if (ws.ZONE_RAW[i] < raw_min) raw_min = ws.ZONE_RAW[i];
    }
    check(ws.RAW_MIN == raw_min, "RAW_MIN is not the minimum of 0 and the measured values");
    check(ws.PROFILE_MIN <= 0 && std::isfinite(ws.PROFILE_MIN), "PROFILE_MIN");
    for (const Real v : ws.LEAF_EDGES) check(std::isfinite(v), "leaf outline not finite");
}

void check_target_text(const dz::WorkingState& ws, char sep) {
    const std::string head = ws.PLOT_CAPTION + "\\PTarget:  b = ";
    check(ws.TARGET_TEXT.compare(0, head.size(), head) == 0, "TARGET_TEXT head", ws.TARGET_TEXT);
    const std::string_view rest = std::string_view(ws.TARGET_TEXT).substr(head.size());
    const std::size_t comma = rest.find(", R = ");
    check(comma != std::string_view::npos && !rest.empty() && rest.back() == '}', "TARGET_TEXT form",
          ws.TARGET_TEXT);
    check(well_formed_number(rest.substr(0, comma), sep), "b in TARGET_TEXT", ws.TARGET_TEXT);
    check(well_formed_number(rest.substr(comma + 6, rest.size() - comma - 7), sep), "R in TARGET_TEXT",
          ws.TARGET_TEXT);
}

// One setting command: refused with one of the known messages and nothing
// changed, or accepted with a finite outline.
void check_setting(const dz::WorkingState& before, const dz::WorkingState& after,
                   const std::optional<std::string>& refusal, const char* expected_message) {
    if (refusal) {
        check(*refusal == expected_message || *refusal == dz::NOT_FINITE_REFUSED, "unexpected refusal",
              *refusal);
        check(same_state(before, after), "a refused setting changed the working state", *refusal);
    } else if (after.loaded) {
        check_loaded(after);
    }
}

// The pixel bound of TO_SCREEN: clamped to +-2^24 around the margin.
constexpr long long PIXEL_BOUND = (1LL << 24) + 1000;

bool pixel_ok(dz::Pixel p) { return std::llabs(p.x) <= PIXEL_BOUND && std::llabs(p.y) <= PIXEL_BOUND; }

// The drawing only reads the state (it takes it const).
void check_plot(const dz::WorkingState& ws, char sep) {
    dz::RecordingCanvas canvas;
    dz::DRAW_LAP(ws, canvas, sep);
    for (const dz::CanvasCall& call : canvas.calls()) {
        switch (call.op) {
            case dz::CanvasOp::move_to:
            case dz::CanvasOp::line_to:
                check(pixel_ok(call.p), "pixel out of bounds");
                break;
            case dz::CanvasOp::fill_rect:
            case dz::CanvasOp::arc:
                check(pixel_ok({call.left, call.top}) && pixel_ok({call.right, call.bottom}),
                      "rectangle out of bounds");
                if (call.op == dz::CanvasOp::arc) check(pixel_ok(call.p) && pixel_ok(call.q), "arc ends");
                break;
            case dz::CanvasOp::polyline:
                for (const dz::Pixel p : call.points) check(pixel_ok(p), "polyline point out of bounds");
                break;
            case dz::CanvasOp::text_out:
                check(pixel_ok(call.p), "label out of bounds");
                check(well_formed_number(call.text, sep), "label is not a number", call.text);
                break;
            default:
                break;
        }
    }
}

void check_text_export(const dz::WorkingState& ws, char sep) {
    const std::string out = dz::text_export(ws, sep);
    bool crlf = false;
    const std::vector<std::string_view> lines = crlf_lines(out, crlf);
    check(crlf, "text export does not end with CR LF");
    check(lines.size() == 2 + static_cast<std::size_t>(ws.ZONE_COUNT), "text export line count");
    check(lines[0] == ws.PLOT_CAPTION, "text export caption");
    for (std::size_t i = 2; i < lines.size(); ++i) {
        const std::string_view line = lines[i];
        const std::size_t t1 = line.find('\t');
        const std::size_t t2 = line.find('\t', t1 + 1);
        check(t1 != std::string_view::npos && t2 != std::string_view::npos, "text export columns", line);
        check(well_formed_number(line.substr(0, t1), sep) &&
                  well_formed_number(line.substr(t1 + 1, t2 - t1 - 1), sep) &&
                  well_formed_number(line.substr(t2 + 1), sep),
              "text export value is not a number", line);
    }
}

void check_dxf_export(const dz::WorkingState& ws) {
    const std::string out = dz::dxf_export(ws);
    bool crlf = false;
    const std::vector<std::string_view> lines = crlf_lines(out, crlf);
    check(crlf, "DXF does not end with CR LF");
    check(lines.size() == 3012 + 22 * static_cast<std::size_t>(ws.ZONE_COUNT), "DXF line count");
    for (const std::string_view line : lines) {
        check(line != "NAN" && line != "INF" && line != "-INF", "DXF holds a value that is not finite");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    const char sep = (data[0] & 1) ? ',' : '.';
    const bool spindle = (data[0] & 2) != 0;
    const bool preload = (data[0] & 4) != 0;
    const bool change_type = (data[0] & 8) != 0;
    const bool type_after = ((data[0] & 16) != 0) ? !spindle : spindle;
    const std::int32_t leaves = leaves_from(data[1]);
    const Real efficiency = efficiency_from(data[2], data[3]);
    const std::string_view file(reinterpret_cast<const char*>(data) + 4, size - 4);

    dz::WorkingState ws;
    if (preload) {
        const std::string good = std::string(GOOD_SURFACE);
        const auto failure = dz::CALC_LAP(ws, good, false, '.');
        check(!failure, "the good surface was refused", failure.value_or(""));
        check_loaded(ws);
    }

    // The load.
    const dz::WorkingState before = ws;
    std::string warning = "untouched";
    const std::optional<std::string> failure = dz::CALC_LAP(ws, file, spindle, sep, &warning);
    // A message or warning quotes at most a few hundred bytes of the file.
    constexpr std::size_t MESSAGE_LIMIT = 2 * dz::MESSAGE_TEXT_LIMIT + 400;
    if (failure) {
        check(!failure->empty(), "a load failed without a message");
        check(failure->size() < MESSAGE_LIMIT, "a message of unbounded length", *failure);
        check(warning == "untouched", "a failed load gave a warning", warning);
        check(same_state(before, ws), "a failed load changed the working state", *failure);
    } else {
        check_loaded(ws);
        check(ws.SPINDLE == spindle && ws.EFFICIENCY == 100, "lap-type reset after the load");
        check(ws.NUM_LEAVES == before.NUM_LEAVES && ws.PLOT_SCALE == before.PLOT_SCALE,
              "the load changed a setting it keeps");
        check_target_text(ws, sep);
        check(warning.empty() || warning.rfind("Warning: line ", 0) == 0, "a warning of another form", warning);
        check(warning.find('\n') == std::string::npos && warning.size() < MESSAGE_LIMIT,
              "a warning of more than one short line", warning);
    }

    // The settings, each as its command applies it.
    if (change_type) {
        const dz::WorkingState prior = ws;
        const auto refusal = dz::set_lap_type(ws, type_after);
        check_setting(prior, ws, refusal, dz::NOT_FINITE_REFUSED);
        if (!refusal) check(ws.SPINDLE == type_after && ws.EFFICIENCY == 100, "lap type not applied");
    }
    {
        const dz::WorkingState prior = ws;
        const auto refusal = dz::set_num_leaves(ws, leaves);
        if (leaves < 1) check(refusal == std::string(dz::LEAVES_REFUSED), "leaves below 1 accepted");
        check_setting(prior, ws, refusal, dz::LEAVES_REFUSED);
        if (!refusal) check(ws.NUM_LEAVES == leaves, "number of leaves not applied");
    }
    {
        const dz::WorkingState prior = ws;
        const auto refusal = dz::apply_efficiency(ws, efficiency);
        if (!(efficiency > 0)) check(refusal == std::string(dz::EFFICIENCY_REFUSED), "efficiency <= 0 accepted");
        check_setting(prior, ws, refusal, dz::EFFICIENCY_REFUSED);
        if (!refusal) check(ws.EFFICIENCY == efficiency, "efficiency not applied");
    }

    check_plot(ws, sep);
    if (ws.loaded) {
        check_text_export(ws, sep);
        check_dxf_export(ws);
    }
    return 0;
}
