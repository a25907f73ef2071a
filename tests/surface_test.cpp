// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of the surface file reader: line splitting and the whole-file read.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "surface/surface_reader.hpp"
#include "text_io/tokenizer.hpp"
#include "working_state/working_state.hpp"

namespace {

using dz::Real;

constexpr char SEPARATORS[] = {'.', ','};

// `text` with every '.' replaced by `sep`.
std::string with_sep(std::string text, char sep) {
    for (char& c : text) {
        if (c == '.') c = sep;
    }
    return text;
}

// A surface file from its lines: the caption as given, every other line with
// its '.' turned into `sep`, each line followed by `eol`.
std::string surface_file(const std::vector<std::string>& lines, char sep, const std::string& eol = "\r\n") {
    std::string out;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        out += i == 0 ? lines[i] : with_sep(lines[i], sep);
        out += eol;
    }
    return out;
}

// The five header lines of a well-formed file.
std::vector<std::string> header(const std::string& caption = "Test mirror") {
    return {caption, "ignored line 2", "-1.0 conic", "2000.5 radius", "radius reading error"};
}

std::vector<std::string> plus(std::vector<std::string> lines, const std::vector<std::string>& more) {
    lines.insert(lines.end(), more.begin(), more.end());
    return lines;
}

dz::SurfaceReadResult read(const std::string& bytes, char sep) {
    dz::Tokenizer tokenizer(sep);
    return dz::read_surface(bytes, tokenizer, dz::ZONE_CAPACITY);
}

TEST(SplitLines_LineEnds, LfCrLfLoneCrAndCtrlZ) {
    struct Case {
        std::string bytes;
        std::vector<std::string> lines;
    };
    const std::vector<Case> cases = {
        {"", {}},
        {"\n", {""}},
        {"\r\n", {""}},
        {"a\nb\n", {"a", "b"}},
        {"a\r\nb\r\n", {"a", "b"}},
        {"a\r\nb", {"a", "b"}},              // last line without a line end
        {"a\nb\r\n\r\nc", {"a", "b", "", "c"}},
        {"a\n\n", {"a", ""}},
        {"a\rb\r\n", {"ab"}},                // a lone CR is dropped
        {"1\r2.5\n", {"12.5"}},
        {"a\r\r\nb\n", {"a", "b"}},          // CR CR LF: one CR dropped, one ends the line
        {"a\n\x1a" "b\n", {"a"}},            // Ctrl-Z at a line start ends the file
        {"a\x1a" "b\nc\n", {"a"}},           // Ctrl-Z inside a line
        {"\x1a" "a\n", {}},
        {"a\r\n\x1a", {"a"}},
        {std::string("a\0b\n", 4), {std::string("a\0b", 3)}},  // other control bytes kept
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.bytes));
        EXPECT_EQ(dz::split_text_file_lines(c.bytes), c.lines);
    }
}

TEST(ReadSurface_ThreeZones, HeaderZonesAndMinimumInBothSeparators) {
    for (char sep : SEPARATORS) {
        SCOPED_TRACE(sep);
        const std::string bytes =
            surface_file(plus(header("Mirror 1. test"), {"0.0 0.1 -0.2", "12.5\t0.2\t0.1", "25.0  1e-1  -0.5"}), sep);
        const dz::SurfaceReadResult r = read(bytes, sep);
        ASSERT_TRUE(r.data.has_value()) << r.message;
        const dz::SurfaceData& d = *r.data;
        EXPECT_EQ(d.caption, "Mirror 1. test");  // the caption is not touched by the separator
        const std::string target = with_sep("\\PTarget:  b = -1.000, R = 2000.500}", sep);
        EXPECT_EQ(d.target_text, "Mirror 1. test" + target);
        EXPECT_EQ(d.zone_count, 3);
        ASSERT_GE(d.radius.size(), 3u);
        ASSERT_GE(d.raw.size(), 3u);
        EXPECT_EQ(d.radius[0], 0.0L);
        EXPECT_EQ(d.radius[1], 12.5L);
        EXPECT_EQ(d.radius[2], 25.0L);
        EXPECT_EQ(d.raw[0], -0.2L);
        EXPECT_EQ(d.raw[1], 0.1L);
        EXPECT_EQ(d.raw[2], -0.5L);
        EXPECT_EQ(d.raw_min, -0.5L);
    }
}

TEST(ReadSurface_RawMinimum, StartsAtZero) {
    struct Case {
        std::vector<std::string> data;
        Real minimum;
    };
    const std::vector<Case> cases = {
        {{"1 0 0.3", "2 0 0.1", "3 0 7"}, 0.0L},      // all positive
        {{"1 0 0", "2 0 0", "3 0 0"}, 0.0L},
        {{"1 0 -0.2", "2 0 0.1", "3 0 -0.5"}, -0.5L},
        {{"1 0 -3", "2 0 -4", "3 0 -1"}, -4.0L},      // not the last one
    };
    for (const Case& c : cases) {
        const dz::SurfaceReadResult r = read(surface_file(plus(header(), c.data), '.'), '.');
        ASSERT_TRUE(r.data.has_value()) << r.message;
        EXPECT_EQ(r.data->raw_min, c.minimum);
    }
}

TEST(ReadSurface_FileShapes, LineEndsCtrlZBlankLinesAndTabs) {
    // Every variant holds the same three zones 10, 20, 40 mm with values 1, 2, 3.
    for (char sep : SEPARATORS) {
        SCOPED_TRACE(sep);
        const std::vector<std::string> zones = {"10.0 0.5 1", "20 0.5 2.0", "40 0.5 3"};
        const std::vector<std::string> h = header();
        const std::vector<std::string> variants = {
            surface_file(plus(h, zones), sep, "\n"),
            surface_file(plus(h, zones), sep, "\r\n"),
            surface_file(plus(h, zones), sep, "\r\n").substr(0, surface_file(plus(h, zones), sep).size() - 2),
            surface_file(plus(h, zones), sep, "\r\n") + "\x1a" + "50 0 9\r\ngarbage\r\n",
            surface_file(plus(h, zones), sep, "\r\n") + "\r\n \t \r\n\t\r\n",       // blank lines at the end
            surface_file(plus(h, {"10.0 0.5 1", "   ", "20 0.5 2.0", "", "\t", "40 0.5 3"}), sep, "\n"),
            surface_file(plus(h, {"\t10.0\t0.5\t1\t", "  20   0.5   2.0  ", "40\t 0.5 \t3"}), sep, "\n"),
            surface_file(plus(h, {"1\r0.0 0.5 1", "20 0.5 2.0\r", "40 0.5 3"}), sep, "\n"),  // lone CRs
            surface_file(plus(h, {"10.0 0.5 1 extra", "20 0.5 2.0 more numbers 7", "40 0.5 3"}), sep, "\n"),
        };
        for (std::size_t v = 0; v < variants.size(); ++v) {
            SCOPED_TRACE("variant " + std::to_string(v));
            const dz::SurfaceReadResult r = read(variants[v], sep);
            ASSERT_TRUE(r.data.has_value()) << r.message;
            EXPECT_EQ(r.data->zone_count, 3);
            EXPECT_EQ(r.data->caption, "Test mirror");
            EXPECT_EQ(r.data->radius[0], 10.0L);
            EXPECT_EQ(r.data->radius[1], 20.0L);
            EXPECT_EQ(r.data->radius[2], 40.0L);
            EXPECT_EQ(r.data->raw[0], 1.0L);
            EXPECT_EQ(r.data->raw[1], 2.0L);
            EXPECT_EQ(r.data->raw[2], 3.0L);
        }
    }
}

TEST(ReadSurface_Header, TrailingTextCaptionBytesAndFormatting) {
    // Line 3 "-1.0 target": b = -1, the rest ignored; line 4 may carry text too.
    for (char sep : SEPARATORS) {
        SCOPED_TRACE(sep);
        const std::string caption = "Spiegel \xe9\xff\t 2. Test ";  // bytes kept, trailing space too
        std::vector<std::string> lines = {caption, "x", "-1.0 target", "1234.56789 R=?", "", "5 0 1"};
        const dz::SurfaceReadResult r = read(surface_file(lines, sep, "\r\n"), sep);
        ASSERT_TRUE(r.data.has_value()) << r.message;
        EXPECT_EQ(r.data->caption, caption);
        EXPECT_EQ(r.data->target_text, caption + with_sep("\\PTarget:  b = -1.000, R = 1234.568}", sep));
        EXPECT_EQ(r.data->zone_count, 1);
    }
    // Lone CRs in the caption are dropped like everywhere else.
    const dz::SurfaceReadResult r = read("ca\rp\r\n\r\n0\r\n0\r\n\r\n1 0 1\r\n", '.');
    ASSERT_TRUE(r.data.has_value()) << r.message;
    EXPECT_EQ(r.data->caption, "cap");
    EXPECT_EQ(r.data->target_text, "cap\\PTarget:  b = 0.000, R = 0.000}");
}

TEST(ReadSurface_Capacity, FiveHundredZonesAndNoMore) {
    for (char sep : SEPARATORS) {
        SCOPED_TRACE(sep);
        std::vector<std::string> zones;
        for (int k = 1; k <= 500; ++k) zones.push_back(std::to_string(k) + ".5 0 " + std::to_string(k % 7));
        // Blank lines do not count as zones.
        std::vector<std::string> with_blanks = zones;
        with_blanks.insert(with_blanks.begin() + 100, " ");
        with_blanks.push_back("");
        const dz::SurfaceReadResult full = read(surface_file(plus(header(), with_blanks), sep), sep);
        ASSERT_TRUE(full.data.has_value()) << full.message;
        EXPECT_EQ(full.data->zone_count, 500);
        EXPECT_EQ(full.data->radius[499], 500.5L);
        EXPECT_EQ(full.data->raw[499], static_cast<Real>(500 % 7));

        zones.push_back("501 0 1");
        const dz::SurfaceReadResult over = read(surface_file(plus(header(), zones), sep), sep);
        EXPECT_FALSE(over.data.has_value());
        EXPECT_NE(over.message.find("500"), std::string::npos) << over.message;
    }
}

TEST(ReadSurface_Capacity, TheCallersCapacityBoundsArraysAndMessage) {
    // The reader knows no capacity of its own: the arrays come back sized as
    // asked, and the refusal names the capacity it was given.
    const std::vector<std::string> three = {"1 0 1", "2 0 2", "3 0 3"};
    dz::Tokenizer tokenizer('.');
    const std::string bytes = surface_file(plus(header(), three), '.');
    const dz::SurfaceReadResult fits = dz::read_surface(bytes, tokenizer, 3);
    ASSERT_TRUE(fits.data.has_value()) << fits.message;
    EXPECT_EQ(fits.data->zone_count, 3);
    EXPECT_EQ(fits.data->radius.size(), 3U);
    EXPECT_EQ(fits.data->raw.size(), 3U);
    EXPECT_EQ(fits.data->raw[2], 3);

    const dz::SurfaceReadResult over = dz::read_surface(bytes, tokenizer, 2);
    EXPECT_FALSE(over.data.has_value());
    EXPECT_EQ(over.message, "The surface file has more than 2 zone lines; at most 2 zones can be read (line 8).");
}

TEST(ReadSurface_Refusals, MessagesInBothSeparators) {
    const std::string b_message = "ERROR reading this line, expected b value (probably wrong file):  ";
    const std::string r_message = "ERROR reading this line, expected R value (probably wrong file):  ";
    struct Case {
        const char* what;
        std::vector<std::string> lines;  // '.' becomes the separator from line 2 on
        std::string eol;
        std::string message;   // the whole message, when the rules fix it
        std::string contains;  // else a part that the message must hold
    };
    const std::vector<Case> cases = {
        {"line 3 starts with text", {"cap", "x", "b = -1", "2000", "x", "1 0 1"}, "\n",
         b_message + "\"b = -1\"", ""},
        {"line 3 of blanks", {"cap", "x", " \t ", "2000", "x", "1 0 1"}, "\n", b_message + "\" \t \"", ""},
        {"line 3 empty", {"cap", "x", "", "2000", "x", "1 0 1"}, "\n", b_message + "\"\"", ""},
        {"file of two lines", {"cap", "x"}, "\n", b_message + "\"\"", ""},
        {"line 3 after a Ctrl-Z", {"cap", "x\x1a", "-1", "2000", "x", "1 0 1"}, "\n", b_message + "\"\"", ""},
        {"line 3 with a CR LF kept out of the quotes", {"cap", "x", "b?", "2000", "x", "1 0 1"}, "\r\n",
         b_message + "\"b?\"", ""},
        {"line 4 empty", {"cap", "x", "-1", "", "x", "1 0 1"}, "\n", r_message + "\"\"", ""},
        {"line 4 of blanks", {"cap", "x", "-1", "\t  ", "x", "1 0 1"}, "\n", r_message + "\"\t  \"", ""},
        {"file of three lines", {"cap", "x", "-1"}, "\n", r_message + "\"\"", ""},
        {"line 4 not a number", {"cap", "x", "-1", "R=2000", "x", "1 0 1"}, "\n",
         "'R=2000' is not a valid floating point value", ""},
        {"no data lines", {"cap", "x", "-1", "2000", "x"}, "\n", "", "no zone"},
        {"only blank data lines", {"cap", "x", "-1", "2000", "x", "", " \t"}, "\r\n", "", "no zone"},
        {"data after a Ctrl-Z only", {"cap", "x", "-1", "2000", "x\x1a", "1 0 1"}, "\n", "", "no zone"},
        {"data token not a number", {"cap", "x", "-1", "2000", "x", "1 0 1", "2 x 2", "3 0 1"}, "\n",
         "'x' is not a valid floating point value", ""},
        {"unused second number not a number", {"cap", "x", "-1", "2000", "x", "1 0.1.2 1"}, "\n",
         "'0.1.2' is not a valid floating point value", ""},
        {"two numbers on a data line", {"cap", "x", "-1", "2000", "x", "1 0 1", " ", "2 0", "3 0 1"}, "\n", "",
         "Line 8"},
        {"one number on the first data line", {"cap", "x", "-1", "2000", "x", "7"}, "\r\n", "", "Line 6"},
        {"last zone at radius 0", {"cap", "x", "-1", "2000", "x", "10 0 1", "0 0 1"}, "\n", "", "radius 0"},
        {"single zone at radius 0", {"cap", "x", "-1", "2000", "x", "0.0 0 1"}, "\n", "", "radius 0"},
    };
    for (char sep : SEPARATORS) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.what) + ", separator " + sep);
            const dz::SurfaceReadResult r = read(surface_file(c.lines, sep, c.eol), sep);
            EXPECT_FALSE(r.data.has_value());
            EXPECT_FALSE(r.message.empty());
            if (!c.message.empty()) {
                EXPECT_EQ(r.message, with_sep(c.message, sep));
            } else {
                EXPECT_NE(r.message.find(c.contains), std::string::npos) << r.message;
            }
        }
    }
}

TEST(ReadSurface_Separator, OtherSeparatorIsNotANumber) {
    const std::vector<std::string> good = {"cap", "x", "-1", "2000", "x", "1 0 2", "3 0 4"};
    // A period in a comma file and a comma in a period file are both refused.
    std::vector<std::string> lines = good;
    lines[5] = "1.5 0 2";
    dz::SurfaceReadResult r = read(surface_file(lines, '.'), ',');
    EXPECT_FALSE(r.data.has_value());
    EXPECT_EQ(r.message, "'1.5' is not a valid floating point value");
    lines[5] = "1,5 0 2";
    r = read(surface_file(lines, '.'), '.');
    EXPECT_FALSE(r.data.has_value());
    EXPECT_EQ(r.message, "'1,5' is not a valid floating point value");
    lines = good;
    lines[2] = "-1.5";
    r = read(surface_file(lines, '.'), ',');
    EXPECT_FALSE(r.data.has_value());
    // The refusal says which separator the regional settings ask for.
    EXPECT_EQ(r.message, "ERROR reading this line, expected b value (probably wrong file):  \"-1.5\"\n"
                         "Your regional settings ask for ',' as the decimal separator.");
    // Integers read the same with either separator.
    for (char sep : SEPARATORS) {
        r = read(surface_file(good, sep), sep);
        ASSERT_TRUE(r.data.has_value()) << r.message;
        EXPECT_EQ(r.data->radius[1], 3.0L);
        EXPECT_EQ(r.data->raw[1], 4.0L);
    }
}

TEST(ReadSurface_FirstZoneAtCentre, Accepted) {
    const dz::SurfaceReadResult r = read(surface_file(plus(header(), {"0 0 5", "0 0 6", "30 0 7"}), '.'), '.');
    ASSERT_TRUE(r.data.has_value()) << r.message;
    EXPECT_EQ(r.data->zone_count, 3);
    EXPECT_EQ(r.data->radius[0], 0.0L);
    EXPECT_EQ(r.data->radius[2], 30.0L);
}

}  // namespace

namespace {

// A UTF-16 copy of ASCII `text`, as a Windows editor saves it.
std::string utf16(const std::string& text, bool little_end, bool mark) {
    std::string out;
    if (mark) out += little_end ? "\xff\xfe" : "\xfe\xff";
    for (const char c : text) {
        out += little_end ? std::string{c, '\0'} : std::string{'\0', c};
    }
    return out;
}

}  // namespace

// UTF-16 is refused with a message that says so, with a byte-order mark or
// without one; text that merely holds a zero byte is not taken for it.
TEST(ReadSurface_Encodings, Utf16RefusedAndUtf8MarkDropped) {
    const std::string plain = surface_file(plus(header("Mirror 8 inch"), {"0 0 1", "10 0 2", "20 0 3"}), '.');
    for (const bool little_end : {true, false}) {
        for (const bool mark : {true, false}) {
            SCOPED_TRACE(std::string(little_end ? "LE" : "BE") + (mark ? " with mark" : " without mark"));
            const dz::SurfaceReadResult r = read(utf16(plain, little_end, mark), '.');
            EXPECT_FALSE(r.data.has_value());
            EXPECT_EQ(r.message, dz::UTF16_MESSAGE);
        }
    }
    // A one-character caption in UTF-16 is still recognised by its mark.
    EXPECT_EQ(read(std::string("\xff\xfe", 2), '.').message, dz::UTF16_MESSAGE);
    // A file with a stray zero byte in the caption is read as before.
    const std::string stray = std::string("Mi\0rror", 7) + plain.substr(plain.find('\r'));
    const dz::SurfaceReadResult r = read(stray, '.');
    ASSERT_TRUE(r.data.has_value()) << r.message;
    EXPECT_EQ(r.data->caption, std::string("Mi\0rror", 7));

    // A UTF-8 byte-order mark is no part of the caption: the file reads as
    // the same file without it. A mark further on stays.
    const dz::SurfaceReadResult without = read(plain, '.');
    const dz::SurfaceReadResult with = read("\xef\xbb\xbf" + plain, '.');
    ASSERT_TRUE(with.data.has_value()) << with.message;
    EXPECT_EQ(with.data->caption, "Mirror 8 inch");
    EXPECT_EQ(with.data->target_text, without.data->target_text);
    EXPECT_EQ(with.data->zone_count, 3);
    const dz::SurfaceReadResult twice = read("\xef\xbb\xbf\xef\xbb\xbf" + plain, '.');
    ASSERT_TRUE(twice.data.has_value());
    EXPECT_EQ(twice.data->caption, "\xef\xbb\xbfMirror 8 inch");
}

// Data that is read as designed but almost surely a mistake gives one
// warning line naming the first such line (and counting the others); the
// zones are read exactly as they stand.
TEST(ReadSurface_Warnings, DoubtfulRadiiAndEarlyEndMark) {
    const std::string as_read = "; the file was read as it stands.";
    struct Case {
        const char* kind;
        std::vector<std::string> zones;  // lines 6 on
        std::string tail;                // bytes after the last line
        std::string warning;
        int zones_read;
    };
    const std::vector<Case> cases = {
        {"clean", {"0 0 1", "10 0 2", "20 0 3"}, "", "", 3},
        {"trailing Ctrl-Z only ends the file", {"0 0 1", "10 0 2", "20 0 3"}, "\x1a\r\n\x1a", "", 3},
        {"beyond the last zone", {"0 0 1", "1e6 0 2", "10 0 2", "20 0 3"}, "",
         "Warning: line 7 of the surface file: the zone radius lies beyond that of the last zone, the outer "
         "radius:  \"1e6 0 2\" (and 1 more such line)" + as_read, 4},
        {"out of order", {"0 0 1", "12 0 2", "10 0 2", "20 0 3"}, "",
         "Warning: line 8 of the surface file: the zone radius is smaller than that of the line before (not "
         "in ascending order):  \"10 0 2\"" + as_read, 4},
        {"repeated", {"0 0 1", "10 0 2", "15 0 2", "10.0 0 3", "20 0 3"}, "",
         "Warning: line 9 of the surface file: the zone radius repeats that of line 7:  \"10.0 0 3\"" + as_read, 5},
        {"negative", {"-5 0 1", "10 0 2", "20 0 3"}, "",
         "Warning: line 6 of the surface file: the zone radius is negative:  \"-5 0 1\"" + as_read, 3},
        {"two lines", {"0 0 1", "-1 0 1", "-2 0 1", "20 0 3"}, "",
         "Warning: line 7 of the surface file: the zone radius is negative:  \"-1 0 1\" (and 1 more such "
         "line)" + as_read, 4},
        {"Ctrl-Z before the last line", {"0 0 1", "10 0 2"}, "\x1a" "20 0 3\r\n40 0 4\r\n",
         "Warning: line 8 of the surface file: a Ctrl-Z (end-of-file mark) ends the file here; the lines "
         "after it were not read" + as_read, 2},
        {"several kinds: the first line named", {"0 0 1", "10 0 2", "5 0 2", "-1 0 2", "99 0 3", "20 0 3"}, "",
         "Warning: line 8 of the surface file: the zone radius is smaller than that of the line before (not "
         "in ascending order):  \"5 0 2\" (and 3 more such lines)" + as_read, 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        const std::string bytes = surface_file(plus(header(), c.zones), '.') + c.tail;
        const dz::SurfaceReadResult r = read(bytes, '.');
        ASSERT_TRUE(r.data.has_value()) << r.message;
        EXPECT_EQ(r.warning, c.warning);
        EXPECT_EQ(r.warning.find('\n'), std::string::npos);
        EXPECT_EQ(r.data->zone_count, c.zones_read);
    }
    // The 0 zone radius of the last line is a refusal, not a warning.
    const dz::SurfaceReadResult zero = read(surface_file(plus(header(), {"10 0 1", "0 0 1"}), '.'), '.');
    EXPECT_FALSE(zero.data.has_value());
    EXPECT_EQ(zero.warning, "");
}
