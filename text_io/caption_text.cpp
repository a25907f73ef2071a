// SPDX-License-Identifier: GPL-3.0-or-later
#include "text_io/caption_text.hpp"

#include <array>
#include <cstdint>
#include <optional>

namespace dz {
namespace {

// Code points of the bytes 0x80..0x9F in Windows-1252; the unassigned bytes
// 0x81, 0x8D, 0x8F, 0x90 and 0x9D map to the C1 control of the same value.
constexpr std::array<char32_t, 32> CP1252_HIGH = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

void append_utf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Decodes the character starting at bytes[pos] and advances pos; nullopt on
// a malformed sequence.
std::optional<char32_t> next_code_point(std::string_view bytes, std::size_t& pos) {
    const auto lead = static_cast<unsigned char>(bytes[pos]);
    int length = 0;
    char32_t c = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
        ++pos;
        return lead;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2, c = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, c = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, c = lead & 0x07, minimum = 0x10000;
    } else {
        return std::nullopt;
    }
    if (bytes.size() - pos < static_cast<std::size_t>(length)) return std::nullopt;
    for (int k = 1; k < length; ++k) {
        const auto cont = static_cast<unsigned char>(bytes[pos + static_cast<std::size_t>(k)]);
        if ((cont & 0xC0) != 0x80) return std::nullopt;
        c = (c << 6) | (cont & 0x3F);
    }
    if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return std::nullopt;
    pos += static_cast<std::size_t>(length);
    return c;
}

std::optional<unsigned char> to_cp1252(char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<unsigned char>(c);
    for (std::size_t k = 0; k < CP1252_HIGH.size(); ++k) {
        if (CP1252_HIGH[k] == c) return static_cast<unsigned char>(0x80 + k);
    }
    return std::nullopt;
}

}  // namespace

bool is_valid_utf8(std::string_view bytes) {
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        if (!next_code_point(bytes, pos)) return false;
    }
    return true;
}

std::string caption_to_utf8(std::string_view bytes) {
    if (is_valid_utf8(bytes)) return std::string(bytes);
    std::string out;
    out.reserve(bytes.size() * 2);
    for (const char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        if (b < 0x80 || b >= 0xA0) {
            append_utf8(out, b);
        } else {
            append_utf8(out, CP1252_HIGH[b - 0x80]);
        }
    }
    return out;
}

std::string utf8_to_dxf_text(std::string_view utf8) {
    if (!is_valid_utf8(utf8)) return std::string(utf8);
    static constexpr char HEX[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(utf8.size());
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        const char32_t c = *next_code_point(utf8, pos);
        if (const auto byte = to_cp1252(c)) {
            out += static_cast<char>(*byte);
        } else if (c < 0x10000) {
            out += "\\U+";
            for (int shift = 12; shift >= 0; shift -= 4) out += HEX[(c >> shift) & 0xF];
        } else {
            out += '?';
        }
    }
    return out;
}

}  // namespace dz
