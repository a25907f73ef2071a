// SPDX-License-Identifier: GPL-3.0-or-later
// Conversion between text and numbers with a caller-given decimal separator.
//
// Both directions go through std::to_chars / std::from_chars, which neither
// read nor depend on the process-wide C locale (the window toolkit sets that
// locale from the user's settings). The separator is mapped by hand.

#include "text_io/numbers.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>
#include <system_error>

namespace dz {

namespace {

bool is_digit(char ch) { return ch >= '0' && ch <= '9'; }

// A decimal number split by the grammar of parse_real: the sign, the digits
// before and after the separator, and the exponent as written.
struct DecimalParts {
    bool negative = false;
    std::string_view int_digits;
    std::string_view frac_digits;
    bool exp_negative = false;
    std::string_view exp_digits;
};

// split_decimal checks `token` against the grammar
//     [+|-] ( digits [sep [digits]] | sep digits ) [ (E|e) [+|-] digits ]
// and on success returns its parts.
//
// on entry  token  the text, nothing trimmed.
//           sep    the decimal separator.
// on return true and `parts` filled when the whole token matches; false
//           otherwise (parts then undefined).
bool split_decimal(std::string_view token, char sep, DecimalParts& parts) {
    std::size_t i = 0;
    const std::size_t n = token.size();

    // sign
    if (i < n && (token[i] == '+' || token[i] == '-')) {
        parts.negative = token[i] == '-';
        ++i;
    }

    // mantissa: digits, separator, digits; at least one digit in all
    std::size_t start = i;
    while (i < n && is_digit(token[i])) ++i;
    parts.int_digits = token.substr(start, i - start);
    if (i < n && token[i] == sep) {
        ++i;
        start = i;
        while (i < n && is_digit(token[i])) ++i;
        parts.frac_digits = token.substr(start, i - start);
    }
    if (parts.int_digits.empty() && parts.frac_digits.empty()) return false;

    // exponent
    if (i < n && (token[i] == 'e' || token[i] == 'E')) {
        ++i;
        if (i < n && (token[i] == '+' || token[i] == '-')) {
            parts.exp_negative = token[i] == '-';
            ++i;
        }
        start = i;
        while (i < n && is_digit(token[i])) ++i;
        parts.exp_digits = token.substr(start, i - start);
        if (parts.exp_digits.empty()) return false;
    }
    return i == n;
}

// Power of ten of the leading non-zero digit of |value|: the L with
// 10^L <= |value| < 10^(L+1). The exponent saturates far outside the range
// of Real, so any written exponent is safe. A zero mantissa gives a power
// below every subnormal.
long long leading_power(const DecimalParts& parts) {
    constexpr long long limit = 1000000000LL;
    long long exponent = 0;
    for (char ch : parts.exp_digits) {
        exponent = exponent * 10 + (ch - '0');
        if (exponent > limit) {
            exponent = limit;
            break;
        }
    }
    if (parts.exp_negative) exponent = -exponent;

    // position of the first non-zero digit, counted from the separator
    const auto n_int = static_cast<long long>(parts.int_digits.size());
    std::size_t first = parts.int_digits.find_first_not_of('0');
    if (first != std::string_view::npos) {
        return n_int - 1 - static_cast<long long>(first) + exponent;
    }
    first = parts.frac_digits.find_first_not_of('0');
    if (first == std::string_view::npos) return -2 * limit;  // zero: below any Real
    return -1 - static_cast<long long>(first) + exponent;
}

// round_tiny rounds a magnitude below the smallest normal Real to the
// subnormal grid (multiples of 2^-16445), to nearest, ties to even.
//
// on entry  parts  a token that from_chars found out of range with
//                  leading_power(parts) = lead < 0, i.e. an underflow.
// on return the correctly rounded magnitude: zero or a subnormal (or the
//           smallest normal when the value rounds up to it).
//
// method    with m = 2^-16382, the smallest normal, the sum |x| + m lies in
//           [m, 2m), where neighbouring Reals are 2^-16445 apart: the same
//           grid, and the same parity, as the subnormals. So RN(|x| + m) - m
//           is the wanted value, and the subtraction is exact. The sum is
//           formed exactly on decimal digit strings (m has exactly 16382
//           decimals, which to_chars writes exactly) and rounded once by
//           from_chars.
Real round_tiny(const DecimalParts& parts, long long lead) {
    // below 10^-16499 the value is far under half the smallest subnormal
    if (lead < -16500) return 0.0L;

    // decimals of |x|: -lead - 1 zeros, then the digits from the first non-zero
    std::string digits;
    digits.reserve(parts.int_digits.size() + parts.frac_digits.size());
    digits.append(parts.int_digits);
    digits.append(parts.frac_digits);
    const std::size_t first = digits.find_first_not_of('0');
    std::string x_frac(static_cast<std::size_t>(-lead - 1), '0');
    x_frac.append(digits, first, std::string::npos);

    // decimals of m
    constexpr Real m = std::numeric_limits<Real>::min();
    constexpr int m_decimals = 16382;
    std::string m_text(m_decimals + 8, '\0');
    const auto written = std::to_chars(m_text.data(), m_text.data() + m_text.size(), m,
                                       std::chars_format::fixed, m_decimals);
    m_text.resize(static_cast<std::size_t>(written.ptr - m_text.data()));
    const std::string_view m_frac = std::string_view(m_text).substr(2);  // after "0."

    // add the two fractions digit by digit from the right; the sum is below 1
    const std::size_t len = std::max(x_frac.size(), m_frac.size());
    std::string sum(len, '0');
    int carry = 0;
    for (std::size_t k = len; k-- > 0;) {
        int d = carry;
        if (k < x_frac.size()) d += x_frac[k] - '0';
        if (k < m_frac.size()) d += m_frac[k] - '0';
        sum[k] = static_cast<char>('0' + d % 10);
        carry = d / 10;
    }
    sum.insert(0, "0.");

    Real rounded = 0.0L;
    const auto result = std::from_chars(sum.data(), sum.data() + sum.size(), rounded);
    if (result.ec != std::errc() || result.ptr != sum.data() + sum.size()) {
        throw std::logic_error("round_tiny: the shifted sum did not convert");
    }
    return rounded - m;
}

}  // namespace

// format_fixed writes a Real with a fixed number of decimals.
//
// on entry  v         any Real.
//           decimals  0 to 4, the number of digits after the separator.
//           sep       the decimal separator to write.
// on return the text: an optional '-', at least one digit, and when
//           decimals > 0 the separator and exactly `decimals` digits. The
//           '-' stands only when a non-zero number is written, so -0.001
//           with 2 decimals gives "0.00". NaN gives "NAN", the infinities
//           "INF" and "-INF".
// failures  std::invalid_argument when decimals is outside 0..4.
//
// method    below 2^40 in magnitude, exact integer arithmetic: |v| is
//           m * 2^-s with m the 64-bit significand, so |v| * 10^decimals is
//           m * 10^decimals (at most 78 bits) shifted right by s; the bits
//           shifted out decide the rounding, half away from zero. Larger
//           numbers take format_fixed_exact, which gives the same text.
std::string format_fixed(Real v, int decimals, char sep) {
    if (decimals < 0 || decimals > 4) {
        throw std::invalid_argument("format_fixed: decimals must be 0 to 4");
    }
    if (!std::isfinite(v)) return format_fixed_exact(v, decimals, sep);
    int exponent = 0;
    const Real fraction = std::frexp(v < 0 ? -v : v, &exponent);  // in [0.5, 1), or 0
    if (exponent > 40) return format_fixed_exact(v, decimals, sep);

    static constexpr std::uint64_t POWERS[] = {1, 10, 100, 1000, 10000};
    std::uint64_t units = 0;  // |v| * 10^decimals, rounded
    if (fraction != 0 && exponent >= -63) {
        // |v| = m * 2^-s with m < 2^64 exact and 24 <= s <= 127; x = m * 10^decimals,
        // below 2^78, held as hi * 2^64 + lo
        const auto m = static_cast<std::uint64_t>(std::ldexp(fraction, 64));
        const std::uint64_t p = POWERS[decimals];
        const std::uint64_t low_product = (m & 0xffffffffU) * p;  // below 2^46
        const std::uint64_t high_product = (m >> 32) * p;         // below 2^46
        const std::uint64_t lo = low_product + (high_product << 32);
        const std::uint64_t hi = (high_product >> 32) + (lo < low_product ? 1 : 0);
        // halves = floor(x / 2^(s - 1)): |v| * 10^decimals in halves of a unit
        const int t = 63 - exponent;  // s - 1, 23 .. 126
        const std::uint64_t halves = t >= 64 ? (t >= 128 ? 0 : hi >> (t - 64)) : (lo >> t) | (hi << (64 - t));
        units = (halves + 1) >> 1;  // a half or more rounds up
    }
    // below 2^-63 the magnitude rounds to zero at any number of decimals

    char digits[24];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + units % 10);
        units /= 10;
    } while (units != 0 || count <= decimals);
    std::string out;
    out.reserve(static_cast<std::size_t>(count) + 2);
    const bool written_zero = count == decimals + 1 && std::all_of(digits, digits + count, [](char c) { return c == '0'; });
    if (std::signbit(v) && !written_zero) out.push_back('-');
    for (int k = count - 1; k >= 0; --k) {
        if (k == decimals - 1) out.push_back(sep);
        out.push_back(digits[k]);
    }
    return out;
}

// format_fixed_exact: format_fixed for every Real, through decimal text.
//
// method    to_chars writes |v| exactly enough: with 2*decimals + 40
//           decimals, a Real (64-bit significand) that is not itself a tie
//           of the last kept decimal lies farther than 10^-(2*decimals+22)
//           from it, so rounding at that precision never moves the first
//           dropped digit across 5. The magnitude is then rounded up when
//           that digit is 5 or more (half away from zero) and truncated
//           otherwise, carrying through the kept digits.
std::string format_fixed_exact(Real v, int decimals, char sep) {
    if (decimals < 0 || decimals > 4) {
        throw std::invalid_argument("format_fixed: decimals must be 0 to 4");
    }
    if (std::isnan(v)) return "NAN";
    if (std::isinf(v)) return v < 0 ? "-INF" : "INF";

    // exact enough decimal text of |v|: up to 4933 integer digits, point, decimals
    const bool negative = std::signbit(v);
    const Real magnitude = negative ? -v : v;
    const int precision = 2 * decimals + 40;
    std::string text(4940 + static_cast<std::size_t>(precision), '\0');
    const auto written = std::to_chars(text.data(), text.data() + text.size(), magnitude,
                                       std::chars_format::fixed, precision);
    if (written.ec != std::errc()) {
        throw std::logic_error("format_fixed: buffer too small");
    }
    text.resize(static_cast<std::size_t>(written.ptr - text.data()));

    // keep the integer digits and the first `decimals` decimals
    const std::size_t point = text.find('.');
    std::string kept = text.substr(0, point);
    kept.append(text, point + 1, static_cast<std::size_t>(decimals));
    const char dropped = text[point + 1 + static_cast<std::size_t>(decimals)];

    // round half away from zero, carrying to the left
    if (dropped >= '5') {
        std::size_t k = kept.size();
        while (k > 0 && kept[k - 1] == '9') {
            kept[k - 1] = '0';
            --k;
        }
        if (k == 0) {
            kept.insert(kept.begin(), '1');
        } else {
            ++kept[k - 1];
        }
    }
    const std::size_t int_len = kept.size() - static_cast<std::size_t>(decimals);

    // sign only for a written number that is not zero
    std::string out;
    if (negative && kept.find_first_not_of('0') != std::string::npos) out.push_back('-');
    out.append(kept, 0, int_len);
    if (decimals > 0) {
        out.push_back(sep);
        out.append(kept, int_len, std::string::npos);
    }
    return out;
}

// parse_int converts a decimal integer token.
//
// on entry  token  the text, nothing trimmed.
// on return the value when token is an optional '+' or '-' followed by one
//           or more decimal digits and the value fits 32 signed bits;
//           nullopt for anything else (empty, spaces, "$" hexadecimal,
//           out of range).
std::optional<std::int32_t> parse_int(std::string_view token) {
    std::size_t i = 0;
    if (!token.empty() && (token[0] == '+' || token[0] == '-')) i = 1;
    if (i == token.size()) return std::nullopt;
    for (std::size_t k = i; k < token.size(); ++k) {
        if (!is_digit(token[k])) return std::nullopt;
    }

    // from_chars takes a '-' but not a '+'
    const char* begin = token.data() + (token[0] == '+' ? 1 : 0);
    const char* end = token.data() + token.size();
    std::int32_t value = 0;
    const auto result = std::from_chars(begin, end, value, 10);
    if (result.ec != std::errc() || result.ptr != end) return std::nullopt;
    return value;
}

// parse_real converts a decimal real token, correctly rounded to Real.
//
// on entry  token  the text, nothing trimmed.
//           sep    the caller's decimal separator (not a digit, sign or
//                  'e'/'E').
// on return the value when token matches
//               [+|-] ( digits [sep [digits]] | sep digits ) [ (E|e) [+|-] digits ]
//           so ".5" and "5." are numbers and ".", "e5", "1e", "" are not;
//           nullopt otherwise, and for a magnitude above the largest Real.
//           A magnitude below the normal range is not a failure: it gives
//           its correctly rounded value, a subnormal or a signed zero.
//
// method    the grammar is checked here; the token is then rewritten with
//           '.' as separator and without '+', and converted by from_chars
//           (round to nearest, ties to even). When from_chars reports the
//           result out of range, the leading power of ten tells overflow
//           (a failure) from underflow, which round_tiny rounds.
std::optional<Real> parse_real(std::string_view token, char sep) {
    DecimalParts parts;
    if (!split_decimal(token, sep, parts)) return std::nullopt;

    // the same number in the form from_chars reads
    std::string plain;
    plain.reserve(token.size() + 3);
    if (parts.negative) plain.push_back('-');
    if (parts.int_digits.empty()) {
        plain.push_back('0');
    } else {
        plain.append(parts.int_digits);
    }
    if (!parts.frac_digits.empty()) {
        plain.push_back('.');
        plain.append(parts.frac_digits);
    }
    if (!parts.exp_digits.empty()) {
        plain.push_back('e');
        if (parts.exp_negative) plain.push_back('-');
        plain.append(parts.exp_digits);
    }

    Real value = 0.0L;
    const char* end = plain.data() + plain.size();
    const auto result = std::from_chars(plain.data(), end, value, std::chars_format::general);
    if (result.ptr != end) return std::nullopt;
    if (result.ec == std::errc()) return value;
    if (result.ec != std::errc::result_out_of_range) return std::nullopt;

    // out of range: too large fails, too small rounds into the subnormals
    const long long lead = leading_power(parts);
    if (lead >= 0) return std::nullopt;
    const Real tiny = round_tiny(parts, lead);
    return parts.negative ? -tiny : tiny;
}

std::string separator_hint(std::string_view line, char sep) {
    if (sep != '.' && sep != ',') return {};
    const char other = sep == '.' ? ',' : '.';
    const std::size_t start = line.find_first_not_of(" \t");
    if (start == std::string_view::npos) return {};
    const std::size_t end = line.find_first_of(" \t", start);
    const std::string_view token = line.substr(start, end == std::string_view::npos ? end : end - start);
    if (token.find(other) == std::string_view::npos) return {};
    if (parse_real(token, sep) || !parse_real(token, other)) return {};
    return std::string("\nYour regional settings ask for '") + sep + "' as the decimal separator.";
}

}  // namespace dz
