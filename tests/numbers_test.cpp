// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of the number conversions: fixed-point text, whole numbers, reals.

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

// n / 10^decimals written with `decimals` decimals, from integer arithmetic.
std::string fixed_from_integer(long long n, int decimals, char sep) {
    long long scale = 1;
    for (int i = 0; i < decimals; ++i) scale *= 10;
    const bool negative = n < 0;
    const long long magnitude = negative ? -n : n;
    std::string out = negative ? "-" : "";
    out += std::to_string(magnitude / scale);
    if (decimals > 0) {
        std::string frac = std::to_string(magnitude % scale);
        out += sep;
        out += std::string(static_cast<std::size_t>(decimals) - frac.size(), '0') + frac;
    }
    return out;
}

// The exact decimal expansion of x in scientific form (to_chars with enough
// digits writes it exactly).
std::string exact_scientific(Real x) {
    std::string text(20000, '\0');
    const auto r = std::to_chars(text.data(), text.data() + text.size(), x,
                                 std::chars_format::scientific, 12000);
    text.resize(static_cast<std::size_t>(r.ptr - text.data()));
    return text;
}

// Halves an exact decimal "d.ddd...e-NNNN" by long division on its digits.
std::string halve_scientific(const std::string& text) {
    const std::size_t e = text.find('e');
    const std::string digits = text.substr(0, 1) + text.substr(2, e - 2);
    int exponent = std::stoi(text.substr(e + 1));
    std::string half;
    int rest = 0;
    for (char ch : digits) {
        const int d = rest * 10 + (ch - '0');
        half += static_cast<char>('0' + d / 2);
        rest = d % 2;
    }
    if (rest != 0) half += '5';
    if (half[0] == '0') {
        half.erase(0, 1);
        --exponent;
    }
    return half.substr(0, 1) + "." + half.substr(1) + "e" + std::to_string(exponent);
}

}  // namespace

// ---------------------------------------------------------------- format_fixed

TEST(FormatFixed_WritesWorkedExamples, Table) {
    struct Case {
        Real v;
        int decimals;
        char sep;
        const char* expected;
    };
    const Real two_100 = std::ldexp(1.0L, 100);
    const std::vector<Case> cases = {
        // exact ties go away from zero
        {0.125L, 2, '.', "0.13"},
        {0.375L, 2, '.', "0.38"},
        {-0.125L, 2, ',', "-0,13"},
        {2.5L, 0, '.', "3"},
        {-2.5L, 0, '.', "-3"},
        {0.5L, 0, '.', "1"},
        {-0.5L, 0, '.', "-1"},
        {1.5L, 0, '.', "2"},
        {0.0625L, 3, ',', "0,063"},
        {-0.0625L, 3, '.', "-0.063"},
        {0.03125L, 4, '.', "0.0313"},
        {0.015625L, 1, '.', "0.0"},
        // minus only on a written number that is not zero
        {-0.001L, 2, '.', "0.00"},
        {-0.004L, 2, ',', "0,00"},
        {-0.0L, 2, '.', "0.00"},
        {-0.0L, 0, '.', "0"},
        {0.0L, 4, ',', "0,0000"},
        {-0.4L, 0, '.', "0"},
        {-std::numeric_limits<Real>::denorm_min(), 4, '.', "0.0000"},
        {std::ldexp(1.0L, -20), 4, '.', "0.0000"},
        // carries that add a digit
        {999.5L, 0, '.', "1000"},
        {-999.5L, 0, '.', "-1000"},
        {10.0L - std::ldexp(1.0L, -11), 3, '.', "10.000"},
        {-(10.0L - std::ldexp(1.0L, -11)), 3, ',', "-10,000"},
        {0.99951171875L, 2, '.', "1.00"},
        // padding, separators, large values, no grouping
        {1234.5L, 4, ',', "1234,5000"},
        {-7.0L, 1, '.', "-7.0"},
        {1.0e20L, 0, '.', "100000000000000000000"},
        {1.0e20L, 2, ',', "100000000000000000000,00"},
        {two_100, 1, '.', "1267650600228229401496703205376.0"},
        {-two_100 - std::ldexp(1.0L, 38), 0, '.', "-1267650600228229401771581112320"},
        // non-finite values
        {NaN, 2, '.', "NAN"},
        {std::numeric_limits<Real>::infinity(), 2, '.', "INF"},
        {-std::numeric_limits<Real>::infinity(), 0, '.', "-INF"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(dz::format_fixed(c.v, c.decimals, c.sep), c.expected)
            << "decimals " << c.decimals << " of " << exact_scientific(c.v).substr(0, 40);
    }
}

TEST(FormatFixed_WritesLargestReal, Whole) {
    const Real max = std::numeric_limits<Real>::max();
    const std::string text = dz::format_fixed(max, 2, ',');
    ASSERT_EQ(text.size(), 4933u + 3u);
    EXPECT_EQ(text.substr(0, 30), "118973149535723176502126385303");
    EXPECT_EQ(text.substr(text.size() - 3), ",00");
    EXPECT_EQ(dz::format_fixed(-max, 0, '.').substr(0, 5), "-1189");
}

// Near every tie (k + 1/2) / 10^d: the nearest Real and its two neighbours
// must round to the side where they lie, which an exactly rounded fma tells
// independently of any decimal text. Exact ties go away from zero.
TEST(FormatFixed_RoundsNearTiesByExactSide, AllDecimals) {
    long long scale = 1;
    for (int d = 0; d <= 4; ++d, scale *= 10) {
        for (long long k = 0; k < 2000; ++k) {
            const Real tie_num = static_cast<Real>(2 * k + 1);
            const Real tie_den = static_cast<Real>(2 * scale);
            const Real nearest = tie_num / tie_den;
            const Real probes[] = {std::nextafter(nearest, 0.0L), nearest,
                                   std::nextafter(nearest, 1.0e9L)};
            for (const Real v : probes) {
                const Real side = std::fma(v, tie_den, -tie_num);  // sign of v - tie, exact
                const long long n = side >= 0 ? k + 1 : k;
                const char sep = (k % 2 == 0) ? '.' : ',';
                ASSERT_EQ(dz::format_fixed(v, d, sep), fixed_from_integer(n, d, sep))
                    << "k " << k << " decimals " << d;
                ASSERT_EQ(dz::format_fixed(-v, d, sep), fixed_from_integer(-n, d, sep))
                    << "k " << k << " decimals " << d;
            }
        }
    }
}

// The integer method below 2^40 and the decimal text above must agree
// everywhere: random significands over every binary exponent from well below
// 2^-63 (where everything rounds to zero) to past 2^40, where format_fixed
// hands over, with each neighbour, both signs and every number of decimals.
TEST(FormatFixed_IntegerMethodAgreesWithDecimalText, EveryExponent) {
    std::uint64_t state = 0x9e3779b97f4a7c15U;
    auto next = [&state] {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    };
    std::vector<Real> values = {0.0L, -0.0L, std::numeric_limits<Real>::denorm_min(),
                                std::numeric_limits<Real>::min(), 0.5L, 0.05L, 0.00005L, 0.99995L,
                                9.99995L, 99999.99995L, 0x1p40L, 0x1p-63L, 0x1p-64L};
    for (int e = -80; e <= 44; ++e) {
        for (int k = 0; k < 40; ++k) {
            const Real significand = static_cast<Real>(next() | (std::uint64_t{1} << 63)) * 0x1p-64L;
            values.push_back(std::ldexp(significand, e));
        }
        values.push_back(std::ldexp(1.0L, e));
    }
    for (const Real v : values) {
        for (const Real w : {std::nextafter(v, -1.0L), v, std::nextafter(v, 1.0e30L)}) {
            for (int d = 0; d <= 4; ++d) {
                ASSERT_EQ(dz::format_fixed(w, d, ','), dz::format_fixed_exact(w, d, ','))
                    << static_cast<double>(w) << " decimals " << d;
                ASSERT_EQ(dz::format_fixed(-w, d, '.'), dz::format_fixed_exact(-w, d, '.'))
                    << static_cast<double>(w) << " decimals " << d;
            }
        }
    }
}

TEST(FormatFixed_RejectsUnsupportedDecimals, Table) {
    for (const int d : {-1, 5, 40}) {
        EXPECT_THROW((void)dz::format_fixed(1.0L, d, '.'), std::invalid_argument) << d;
    }
}

// The window toolkit sets the process C locale from the user's settings;
// neither direction may follow it.
TEST(Numbers_IgnoreProcessLocale, CommaLocale) {
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    const char* names[] = {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8",
                           "ru_RU.UTF-8", "nl_NL.UTF-8"};
    const char* chosen = nullptr;
    for (const char* name : names) {
        if (std::setlocale(LC_ALL, name) != nullptr) {
            chosen = name;
            break;
        }
    }
    if (chosen == nullptr) GTEST_SKIP() << "no locale with a decimal comma installed";
    EXPECT_EQ(dz::format_fixed(1.5L, 2, '.'), "1.50");
    EXPECT_EQ(dz::format_fixed(1.5L, 2, ','), "1,50");
    EXPECT_EQ(dz::parse_real("1.25", '.'), std::optional<Real>(1.25L));
    EXPECT_EQ(dz::parse_real("1,25", ','), std::optional<Real>(1.25L));
    EXPECT_EQ(dz::parse_real("1,25", '.'), std::nullopt);
    EXPECT_EQ(dz::parse_real("1e-5000", ','), std::optional<Real>(0.0L));
    std::setlocale(LC_ALL, saved.c_str());
}

// ------------------------------------------------------------------- parse_int

TEST(ParseInt_AcceptsSignedDecimalOnly, Table) {
    struct Case {
        const char* text;
        std::optional<std::int32_t> expected;
    };
    const std::vector<Case> cases = {
        {"0", 0},
        {"7", 7},
        {"+7", 7},
        {"-7", -7},
        {"-0", 0},
        {"007", 7},
        {"2147483647", 2147483647},
        {"-2147483648", -2147483647 - 1},
        {"+0002147483647", 2147483647},
        {"", std::nullopt},
        {"+", std::nullopt},
        {"-", std::nullopt},
        {"2147483648", std::nullopt},
        {"-2147483649", std::nullopt},
        {"99999999999999999999", std::nullopt},
        {"$1F", std::nullopt},
        {"0x1F", std::nullopt},
        {" 1", std::nullopt},
        {"1 ", std::nullopt},
        {"1\t", std::nullopt},
        {"1.0", std::nullopt},
        {"1,0", std::nullopt},
        {"1e3", std::nullopt},
        {"++1", std::nullopt},
        {"+-1", std::nullopt},
        {"-+1", std::nullopt},
        {"1-", std::nullopt},
        {"1\r", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(dz::parse_int(c.text), c.expected) << "'" << c.text << "'";
    }
}

// ------------------------------------------------------------------ parse_real

TEST(ParseReal_FollowsGrammar, BothSeparators) {
    struct Case {
        const char* text;
        char sep;
        std::optional<Real> expected;
    };
    const std::vector<Case> cases = {
        {"1.5", '.', 1.5L},
        {"1,5", ',', 1.5L},
        {".5", '.', 0.5L},
        {",5", ',', 0.5L},
        {"5.", '.', 5.0L},
        {"5,", ',', 5.0L},
        {"-.5", '.', -0.5L},
        {"+5", '.', 5.0L},
        {"+,25", ',', 0.25L},
        {"1e3", '.', 1000.0L},
        {"1E+3", ',', 1000.0L},
        {"2.5e-1", '.', 0.25L},
        {"-2,5E-1", ',', -0.25L},
        {"5.e2", '.', 500.0L},
        {".5e1", '.', 5.0L},
        {"0.1", '.', 0.1L},
        {"0,1", ',', 0.1L},
        {"1.5e-2", '.', 0.015L},
        {"-123456789,123456789", ',', -123456789.123456789L},
        {"000.000", '.', 0.0L},
        {"1e0000000000000000000000001", '.', 10.0L},
        // not numbers
        {"", '.', std::nullopt},
        {".", '.', std::nullopt},
        {",", ',', std::nullopt},
        {"-.", '.', std::nullopt},
        {"+", '.', std::nullopt},
        {"e5", '.', std::nullopt},
        {".e5", '.', std::nullopt},
        {"1e", '.', std::nullopt},
        {"1e+", '.', std::nullopt},
        {"1e-", ',', std::nullopt},
        {"1e5.0", '.', std::nullopt},
        {"1.5", ',', std::nullopt},
        {"1,5", '.', std::nullopt},
        {"1.2.3", '.', std::nullopt},
        {"1..2", '.', std::nullopt},
        {"--1", '.', std::nullopt},
        {"+-1", '.', std::nullopt},
        {" 1", '.', std::nullopt},
        {"1 ", '.', std::nullopt},
        {"1\t", '.', std::nullopt},
        {"1\r", '.', std::nullopt},
        {"nan", '.', std::nullopt},
        {"NAN", '.', std::nullopt},
        {"inf", '.', std::nullopt},
        {"-inf", '.', std::nullopt},
        {"infinity", '.', std::nullopt},
        {"0x1p3", '.', std::nullopt},
        {"0x10", '.', std::nullopt},
        {"$1F", '.', std::nullopt},
        {"1d5", '.', std::nullopt},
        {"1_000", '.', std::nullopt},
        {"10;20", '.', std::nullopt},
        // overflow
        {"1e5000", '.', std::nullopt},
        {"-1e5000", ',', std::nullopt},
        {"1e99999999999999999999", '.', std::nullopt},
        {"1.1897314953572317650536e4932", '.', std::nullopt},
        {"1.1897314953572317650535e4932", '.', std::numeric_limits<Real>::max()},
        {"-1,18973149535723176502e4932", ',', -std::numeric_limits<Real>::max()},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(dz::parse_real(c.text, c.sep), c.expected) << "'" << c.text << "' sep " << c.sep;
    }
    const std::optional<Real> minus_zero = dz::parse_real("-0.0", '.');
    ASSERT_TRUE(minus_zero.has_value());
    EXPECT_TRUE(*minus_zero == 0.0L && std::signbit(*minus_zero));
}

// Decimal texts exactly halfway between two neighbouring Reals round to the
// even one; anything beyond the halfway point rounds up.
TEST(ParseReal_RoundsCorrectly, HalfwayCases) {
    const Real one_up = std::nextafter(1.0L, 2.0L);  // 1 + 2^-63
    const Real two_up = std::nextafter(one_up, 2.0L);
    struct Case {
        std::string text;
        Real expected;
    };
    const std::string half_ulp = "1.0000000000000000000542101086242752217003726400434970855712890625";
    const std::string three_half = "1.0000000000000000001626303258728256651011179201304912567138671875";
    const std::vector<Case> cases = {
        {half_ulp, 1.0L},
        {half_ulp + "0000000000000000000000000000001", one_up},
        {"1.00000000000000000005421010862427522170037264004349708557128906", 1.0L},
        {three_half, two_up},
        {three_half.substr(0, three_half.size() - 1) + "4", one_up},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(dz::parse_real(c.text, '.'), std::optional<Real>(c.expected)) << c.text;
    }

    // exact decimal texts of Reals come back unchanged, with either separator
    const Real samples[] = {0.1L, -1.0L / 3.0L, dz::PI, 6.02214076e23L, -1.0e-300L,
                            std::numeric_limits<Real>::min(), std::numeric_limits<Real>::max(),
                            std::ldexp(1.0L, -16000), 123456789.0L / 7.0L};
    for (const Real x : samples) {
        std::string text = exact_scientific(x);
        EXPECT_EQ(dz::parse_real(text, '.'), std::optional<Real>(x)) << text.substr(0, 40);
        text[text.find('.')] = ',';
        EXPECT_EQ(dz::parse_real(text, ','), std::optional<Real>(x)) << text.substr(0, 40);
    }
}

// Below the normal range values round to the subnormal grid (multiples of the
// smallest subnormal), ties to even; far below it they become signed zeros.
TEST(ParseReal_RoundsUnderflowIntoSubnormals, Table) {
    const Real tiny = std::numeric_limits<Real>::denorm_min();
    const Real min_normal = std::numeric_limits<Real>::min();
    const std::string tiny_text = exact_scientific(tiny);
    const std::string half_tiny = halve_scientific(tiny_text);
    const std::string three_half_tiny = halve_scientific(exact_scientific(3.0L * tiny));
    // min_normal - tiny/2: halfway between the largest subnormal (odd) and min_normal
    const std::string below_min = halve_scientific(exact_scientific(2.0L * min_normal - tiny));

    struct Case {
        std::string text;
        Real expected;
    };
    const std::vector<Case> cases = {
        {"1e-5000", 0.0L},
        {"1e-99999999999999999999", 0.0L},
        {"0e-99999", 0.0L},
        {"1.8e-4951", 0.0L},
        {"1.83e-4951", tiny},
        {tiny_text, tiny},
        {half_tiny, 0.0L},
        {half_tiny.substr(0, half_tiny.find('e')) + "1" + half_tiny.substr(half_tiny.find('e')), tiny},
        {three_half_tiny, 2.0L * tiny},
        {exact_scientific(12345.0L * tiny), 12345.0L * tiny},
        {exact_scientific(min_normal - tiny), min_normal - tiny},
        {below_min, min_normal},
        {exact_scientific(min_normal), min_normal},
        {"0.0000002e-4944", tiny},
    };
    ASSERT_EQ(half_tiny.substr(0, 12), "1.8225997659");
    ASSERT_EQ(three_half_tiny.substr(0, 12), "5.4677992978");
    for (const Case& c : cases) {
        for (const bool negative : {false, true}) {
            const std::string text = (negative ? "-" : "") + c.text;
            const std::optional<Real> got = dz::parse_real(text, '.');
            ASSERT_TRUE(got.has_value()) << text.substr(0, 40);
            EXPECT_EQ(*got, negative ? -c.expected : c.expected) << text.substr(0, 40);
            EXPECT_EQ(std::signbit(*got), negative) << text.substr(0, 40);
        }
    }
}
