#include "surface/surface_reader.hpp"

#include <cmath>
#include <limits>

#include "text_io/numbers.hpp"

namespace dz {

std::vector<std::string> split_lines(std::string_view bytes) {
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
    const std::vector<std::string> lines = split_lines(bytes);
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
    result.data = std::move(data);
    return result;
}

}  // namespace dz
