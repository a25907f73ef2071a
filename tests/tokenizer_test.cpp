// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of the line tokenizer, of text quoted in its messages and of the
// decimal separator taken from the user's locale.

#include <gtest/gtest.h>

#include <charconv>
#include <clocale>
#include <cmath>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "tests/comma_locale.hpp"
#include "text_io/locale_separator.hpp"
#include "text_io/numbers.hpp"
#include "text_io/tokenizer.hpp"

namespace {

using dz::Real;

const Real NaN = std::numeric_limits<Real>::quiet_NaN();

}  // namespace

// ------------------------------------------------------------------- Tokenizer

namespace {

// The message of the conversion error raised by `read`, or "none".
template <typename Read>
std::string error_of(Read read) {
    try {
        read();
    } catch (const dz::ConversionError& e) {
        return e.what();
    }
    return "none";
}

}  // namespace

TEST(Tokenizer_ReadsTokensInOrder, SeparatorsAndLineEnd) {
    dz::Tokenizer t;
    // three values, then nothing left: the destination keeps its value
    t.IN_LINE = "1.5 2.5 3.5";
    std::vector<Real> got(4, NaN);
    for (Real& g : got) t.READ_REAL(g);
    EXPECT_EQ(got[0], 1.5L);
    EXPECT_EQ(got[1], 2.5L);
    EXPECT_EQ(got[2], 3.5L);
    EXPECT_TRUE(std::isnan(got[3]));
    EXPECT_EQ(t.IN_LINE, "@#$");

    // leading and repeated spaces and tabs are skipped
    t.IN_LINE = " \t  10\t\t -20   \t+30";
    std::vector<std::int32_t> ints(4, -99);
    for (std::int32_t& i : ints) t.READ_INT(i);
    EXPECT_EQ(ints, (std::vector<std::int32_t>{10, -20, 30, -99}));

    // mixed readers on one line; a token at the end keeps its last character
    t.IN_LINE = "3 2.75 12345";
    std::int32_t n = 0;
    Real x = NaN;
    std::int32_t last = 0;
    t.READ_INT(n);
    t.READ_REAL(x);
    t.READ_INT(last);
    EXPECT_EQ(n, 3);
    EXPECT_EQ(x, 2.75L);
    EXPECT_EQ(last, 12345);
}

TEST(Tokenizer_TrailingSeparators, OneVersusTwo) {
    dz::Tokenizer t;
    Real a = NaN;
    Real b = NaN;
    Real c = -1.0L;

    // one trailing space: the third read assigns nothing
    t.IN_LINE = "1 2 ";
    t.READ_REAL(a);
    t.READ_REAL(b);
    t.READ_REAL(c);
    EXPECT_EQ(a, 1.0L);
    EXPECT_EQ(b, 2.0L);
    EXPECT_EQ(c, -1.0L);

    // two trailing spaces: the third read meets the empty token
    t.IN_LINE = "1 2  ";
    t.READ_REAL(a);
    t.READ_REAL(b);
    EXPECT_EQ(error_of([&] { t.READ_REAL(c); }), "'' is not a valid floating point value");
    EXPECT_EQ(c, -1.0L);
    t.READ_REAL(c);  // the line is used up now
    EXPECT_EQ(c, -1.0L);

    std::int32_t i = 5;
    t.IN_LINE = "7\t\t";
    t.READ_INT(i);
    EXPECT_EQ(i, 7);
    EXPECT_EQ(error_of([&] { t.READ_INT(i); }), "'' is not a valid integer value");
    EXPECT_EQ(i, 7);
}

TEST(Tokenizer_RaisesConversionError, Messages) {
    dz::Tokenizer t;
    std::int32_t i = 11;
    Real x = 0.5L;

    struct Case {
        const char* line;
        bool as_int;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"10;20", true, "'10;20' is not a valid integer value"},
        {"10;20", false, "'10;20' is not a valid floating point value"},
        {"1,5", false, "'1,5' is not a valid floating point value"},
        {"2.5", true, "'2.5' is not a valid integer value"},
        {"$1F", true, "'$1F' is not a valid integer value"},
        {"2147483648", true, "'2147483648' is not a valid integer value"},
        {"1e5000", false, "'1e5000' is not a valid floating point value"},
        {"  nan", false, "'nan' is not a valid floating point value"},
        // control characters are shown as '?', so a NUL does not cut the message
        {"1\r", false, "'1?' is not a valid floating point value"},
        {"\x01" "02\x7f", true, "'?02?' is not a valid integer value"},
        {"%s", true, "'%s' is not a valid integer value"},
    };
    for (const Case& c : cases) {
        t.IN_LINE = c.line;
        const std::string message = c.as_int ? error_of([&] { t.READ_INT(i); })
                                             : error_of([&] { t.READ_REAL(x); });
        EXPECT_EQ(message, c.message) << c.line;
    }
    t.IN_LINE = std::string("'0\0" "2", 4);
    EXPECT_EQ(error_of([&] { t.READ_REAL(x); }), "''0?2' is not a valid floating point value");
    EXPECT_EQ(i, 11);
    EXPECT_EQ(x, 0.5L);

    // the position stays after the bad token
    t.IN_LINE = "x 2";
    EXPECT_EQ(error_of([&] { t.READ_INT(i); }), "'x' is not a valid integer value");
    t.READ_INT(i);
    EXPECT_EQ(i, 2);
}

TEST(Tokenizer_HandsOverLines, EmptyPendingAndReplaced) {
    std::int32_t v = -1;

    // before any line, and on an empty line, reads assign nothing
    dz::Tokenizer t;
    t.READ_INT(v);
    EXPECT_EQ(v, -1);
    t.IN_LINE = "";
    t.READ_INT(v);
    t.READ_INT(v);
    EXPECT_EQ(v, -1);
    EXPECT_EQ(t.IN_LINE, "@#$");

    // "@#$" means no new line: reading goes on in the current one
    t.IN_LINE = "1 2 3";
    t.READ_INT(v);
    EXPECT_EQ(v, 1);
    t.IN_LINE = "@#$";
    t.READ_INT(v);
    EXPECT_EQ(v, 2);

    // a new line drops the rest of the old one
    t.IN_LINE = "7 8";
    t.READ_INT(v);
    EXPECT_EQ(v, 7);
    t.READ_INT(v);
    EXPECT_EQ(v, 8);
    t.READ_INT(v);
    EXPECT_EQ(v, 8);

    // an empty line after a used one also reads nothing
    t.IN_LINE = "";
    t.READ_INT(v);
    EXPECT_EQ(v, 8);
}

TEST(Tokenizer_UsesItsDecimalSeparator, Comma) {
    dz::Tokenizer t(',');
    EXPECT_EQ(t.decimal_separator(), ',');
    t.IN_LINE = "1,5\t-2,25e1 ,5 7";
    std::vector<Real> got(4, NaN);
    for (Real& g : got) t.READ_REAL(g);
    EXPECT_EQ(got, (std::vector<Real>{1.5L, -22.5L, 0.5L, 7.0L}));

    t.IN_LINE = "1.5";
    Real x = NaN;
    EXPECT_EQ(error_of([&] { t.READ_REAL(x); }), "'1.5' is not a valid floating point value");
    EXPECT_TRUE(std::isnan(x));
}

// Lines longer than 65535 characters are read whole.
TEST(Tokenizer_ReadsLongLines, SeventyThousand) {
    dz::Tokenizer t;
    std::string line = "5" + std::string(69994, ' ') + "12345";
    ASSERT_EQ(line.size(), 70000u);
    t.IN_LINE = line;
    std::int32_t a = 0;
    std::int32_t b = 0;
    std::int32_t c = -1;
    t.READ_INT(a);
    t.READ_INT(b);
    t.READ_INT(c);
    EXPECT_EQ(a, 5);
    EXPECT_EQ(b, 12345);
    EXPECT_EQ(c, -1);

    // a token longer than 65535 characters is handed to the conversion whole
    t.IN_LINE = "1" + std::string(70000, '0') + "e-70000";
    Real x = NaN;
    t.READ_REAL(x);
    EXPECT_EQ(x, 1.0L);
}

// --------------------------------------------------- text quoted in messages

// Up to the limit a text is shown whole; beyond it, its two ends around an
// ellipsis, never cutting a UTF-8 character, however long the text.
TEST(ShownInMessage_LongText, ShortenedInTheMiddle) {
    const std::string limit(dz::MESSAGE_TEXT_LIMIT, 'a');
    EXPECT_EQ(dz::shown_in_message(limit), limit);

    const std::string head(dz::MESSAGE_TEXT_KEPT, 'h');
    const std::string tail(dz::MESSAGE_TEXT_KEPT, 't');
    const std::string ellipsis = "\xe2\x80\xa6";
    EXPECT_EQ(dz::shown_in_message(head + std::string(dz::MESSAGE_TEXT_LIMIT, 'm') + tail),
              head + ellipsis + tail);
    EXPECT_EQ(dz::shown_in_message(head + "m" + std::string(dz::MESSAGE_TEXT_LIMIT - 2 * dz::MESSAGE_TEXT_KEPT, 'm') + tail).size(),
              2 * dz::MESSAGE_TEXT_KEPT + ellipsis.size());

    // An "é" (two bytes) across either cut stays whole on the outer side.
    const std::string e = "\xc3\xa9";
    const std::string across = std::string(dz::MESSAGE_TEXT_KEPT - 1, 'h') + e + std::string(400, 'm') + e +
                               std::string(dz::MESSAGE_TEXT_KEPT - 1, 't');
    const std::string shown = dz::shown_in_message(across);
    EXPECT_EQ(shown, std::string(dz::MESSAGE_TEXT_KEPT - 1, 'h') + ellipsis + std::string(dz::MESSAGE_TEXT_KEPT - 1, 't'));

    // Control characters in the kept ends are still shown as '?'.
    EXPECT_EQ(dz::shown_in_message(std::string("\0", 1) + std::string(1000, 'x') + "\x1b").front(), '?');
    EXPECT_EQ(dz::shown_in_message(std::string(1000, 'x') + "\x1b").back(), '?');

    // A token of 10 million characters gives a message of a few hundred.
    dz::Tokenizer tokenizer('.');
    tokenizer.IN_LINE = "1 " + std::string(10'000'000, '9') + "x 3";
    Real value = 0;
    tokenizer.READ_REAL(value);
    try {
        tokenizer.READ_REAL(value);
        ADD_FAILURE() << "no conversion error";
    } catch (const dz::ConversionError& error) {
        const std::string message = error.what();
        EXPECT_EQ(message, "'" + std::string(dz::MESSAGE_TEXT_KEPT, '9') + ellipsis +
                               std::string(dz::MESSAGE_TEXT_KEPT - 1, '9') + "x' is not a valid floating point value");
    }
}

// ------------------------------------------------------ the user's separator

// One rule for the window and the tool: the separator of the locale as this
// system has it installed; a name it does not have gives '.', as the C
// library falls back to the C locale for it.
TEST(LocaleSeparator_OneRule, InstalledUninstalledAndCLocales) {
    for (const char* name : {"", "C", "POSIX", "C.UTF-8", "C.utf8", "de_DE", "es_ES.UTF-8", "fr_FR@euro",
                             "xx_YY.UTF-8", "not a locale"}) {
        EXPECT_EQ(dz::decimal_separator_of_locale(name), '.') << name;
    }
    const auto folder = std::filesystem::temp_directory_path() / ("doroziri_locales_" + std::to_string(::getpid()));
    struct Cleanup {
        std::filesystem::path folder;
        ~Cleanup() {
            std::filesystem::remove_all(folder);
            ::unsetenv("LOCPATH");
        }
    } cleanup{folder};
    if (!dz::testing::comma_locale_available(folder)) GTEST_SKIP() << "localedef cannot make a comma locale";
    EXPECT_EQ(dz::decimal_separator_of_locale(dz::testing::COMMA_LOCALE), ',');

    // The first of LC_ALL, LC_NUMERIC and LANG that is set and not empty.
    struct Case {
        const char *all, *numeric, *lang;
        char expected;
    };
    const Case cases[] = {
        {nullptr, nullptr, nullptr, '.'},
        {nullptr, nullptr, dz::testing::COMMA_LOCALE, ','},
        {nullptr, dz::testing::COMMA_LOCALE, "C", ','},
        {"", dz::testing::COMMA_LOCALE, "C", ','},
        {"C", dz::testing::COMMA_LOCALE, dz::testing::COMMA_LOCALE, '.'},
        {"de_DE", nullptr, nullptr, '.'},
        {"es_ES.UTF-8", dz::testing::COMMA_LOCALE, nullptr, '.'},
    };
    const char* variables[] = {"LC_ALL", "LC_NUMERIC", "LANG"};
    std::string saved[3];
    bool had[3];
    for (int v = 0; v < 3; ++v) {
        const char* value = std::getenv(variables[v]);
        had[v] = value != nullptr;
        saved[v] = had[v] ? value : "";
    }
    for (const Case& c : cases) {
        const char* values[] = {c.all, c.numeric, c.lang};
        for (int v = 0; v < 3; ++v) {
            if (values[v] == nullptr) {
                ::unsetenv(variables[v]);
            } else {
                ::setenv(variables[v], values[v], 1);
            }
        }
        EXPECT_EQ(dz::locale_decimal_separator(), c.expected)
            << (c.all ? c.all : "-") << " " << (c.numeric ? c.numeric : "-") << " " << (c.lang ? c.lang : "-");
    }
    for (int v = 0; v < 3; ++v) {
        if (had[v]) {
            ::setenv(variables[v], saved[v].c_str(), 1);
        } else {
            ::unsetenv(variables[v]);
        }
    }
}
