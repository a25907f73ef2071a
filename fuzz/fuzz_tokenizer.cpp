// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzzer for the line tokenizer and the number conversions behind it.
//
// Input: byte 0 chooses the decimal separator (bit 0) and whether every line
// is handed over or some are skipped (bit 1); byte 1 and on are a pattern of
// reads (one bit per read: READ_INT or READ_REAL, up to eight per line) and
// then the text, split into lines at LF.
//
// Every read is checked against a small model of the tokenizer kept here:
// whether a value is assigned, whether the conversion error is raised with
// the token in its message, and that the value is the one the token denotes.
// Every real read is re-formatted with each pattern and must parse back
// within the rounding of that pattern.

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

#include "text_io/numbers.hpp"
#include "text_io/tokenizer.hpp"

namespace {

using dz::Real;

[[noreturn]] void fail(const char* what, std::string_view detail) {
    std::fprintf(stderr, "fuzz_tokenizer: %s: [%.*s]\n", what, static_cast<int>(detail.size()),
                 detail.data());
    std::abort();
}

void check(bool ok, const char* what, std::string_view detail = {}) {
    if (!ok) fail(what, detail);
}

bool is_sep(char c) { return c == ' ' || c == '\t'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

// The tokenizer's scanning rules, written out plainly: what the next read
// takes from the current line.
class Model {
public:
    void take(std::string line) {
        if (line == "@#$") return;
        work_ = std::move(line);
        pos_ = 0;
        end_ = work_.empty();
    }

    // nullopt: nothing assigned, nothing raised. Otherwise the token to
    // convert (possibly empty).
    std::optional<std::string> next_token() {
        if (end_) return std::nullopt;
        std::string token;
        bool at_sep = false;
        do {
            at_sep = consume(token);
        } while (!end_ && at_sep);
        if (!end_) {
            do {
                at_sep = consume(token);
            } while (!at_sep && !end_);
        }
        return token;
    }

private:
    bool consume(std::string& token) {
        const char c = work_[pos_++];
        if (pos_ == work_.size()) end_ = true;
        if (is_sep(c)) return true;
        token.push_back(c);
        return false;
    }

    std::string work_;
    std::size_t pos_ = 0;
    bool end_ = true;
};

// The integer a token denotes: optional sign and decimal digits within 32 bits.
std::optional<std::int32_t> model_int(const std::string& t) {
    std::size_t i = (!t.empty() && (t[0] == '+' || t[0] == '-')) ? 1 : 0;
    if (i == t.size()) return std::nullopt;
    long long value = 0;
    for (std::size_t k = i; k < t.size(); ++k) {
        if (!is_digit(t[k])) return std::nullopt;
        value = value * 10 + (t[k] - '0');
        if (value > 2147483648LL) return std::nullopt;
    }
    if (t[0] == '-') value = -value;
    if (value > std::numeric_limits<std::int32_t>::max()) return std::nullopt;
    return static_cast<std::int32_t>(value);
}

// Whether a token is written as a real: [sign] (digits [sep [digits]] | sep
// digits) [(E|e) [sign] digits]. Also gives the token with '.' for strtold.
bool real_grammar(const std::string& t, char sep, std::string& plain) {
    std::size_t i = 0;
    plain.clear();
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) plain.push_back(t[i++]);
    std::size_t int_digits = 0, frac_digits = 0;
    while (i < t.size() && is_digit(t[i])) plain.push_back(t[i++]), ++int_digits;
    if (i < t.size() && t[i] == sep) {
        plain.push_back('.');
        ++i;
        while (i < t.size() && is_digit(t[i])) plain.push_back(t[i++]), ++frac_digits;
    }
    if (int_digits + frac_digits == 0) return false;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        plain.push_back('e');
        ++i;
        if (i < t.size() && (t[i] == '+' || t[i] == '-')) plain.push_back(t[i++]);
        std::size_t exp_digits = 0;
        while (i < t.size() && is_digit(t[i])) plain.push_back(t[i++]), ++exp_digits;
        if (exp_digits == 0) return false;
    }
    return i == t.size();
}

// A formatted number: [-] digits [sep exactly `decimals` digits], and no
// minus in front of a written zero.
void check_format(const std::string& text, int decimals, char sep) {
    std::size_t i = 0;
    if (!text.empty() && text[0] == '-') i = 1;
    const std::size_t first = i;
    while (i < text.size() && is_digit(text[i])) ++i;
    check(i > first, "formatted number without an integer digit", text);
    if (decimals > 0) {
        check(i < text.size() && text[i] == sep, "formatted number without its separator", text);
        ++i;
        std::size_t d = 0;
        while (i < text.size() && is_digit(text[i])) ++i, ++d;
        check(d == static_cast<std::size_t>(decimals), "wrong number of decimals", text);
    }
    check(i == text.size(), "stray characters in a formatted number", text);
    if (text[0] == '-') {
        check(text.find_first_of("123456789") != std::string::npos, "minus sign before a written zero", text);
    }
}

void check_real(Real v, char sep) {
    check(std::isfinite(v), "READ_REAL gave a value that is not finite");
    static constexpr Real HALF_UNIT[] = {0.5L, 0.05L, 0.005L, 0.0005L, 0.00005L};
    for (int decimals = 0; decimals <= 4; ++decimals) {
        const std::string text = dz::format_fixed(v, decimals, sep);
        check_format(text, decimals, sep);
        const std::optional<Real> back = dz::parse_real(text, sep);
        check(back.has_value(), "a formatted number does not parse", text);
        check(std::isfinite(*back), "a formatted number parses to a value that is not finite", text);
        // Rounding error of the pattern, plus the rounding of the parse.
        const Real bound = HALF_UNIT[decimals] * (1 + 1e-15L) +
                           std::fabs(v) * std::numeric_limits<Real>::epsilon() * 2;
        check(std::fabs(*back - v) <= bound, "a formatted number parses too far from the value", text);
    }
}

const std::string INT_SUFFIX = "' is not a valid integer value";
const std::string REAL_SUFFIX = "' is not a valid floating point value";

void check_message(const dz::ConversionError& e, const std::string& token, bool integer) {
    // Control characters of the token are shown as '?'.
    const std::string expected = "'" + dz::shown_in_message(token) + (integer ? INT_SUFFIX : REAL_SUFFIX);
    check(e.what() == expected, "conversion error message", e.what());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const char sep = (data[0] & 1) ? ',' : '.';
    const bool skip_some = (data[0] & 2) != 0;
    const std::uint8_t pattern = data[1];
    const std::string_view text(reinterpret_cast<const char*>(data) + 2, size - 2);

    dz::Tokenizer tokenizer(sep);
    Model model;
    std::size_t line_index = 0;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        const std::string line(text.substr(start, end - start));
        start = end + 1;

        // Every third line is skipped when asked, so that reads continue in the
        // previous line; "@#$" lines do the same by rule.
        if (!(skip_some && line_index % 3 == 2)) {
            tokenizer.IN_LINE = line;
            model.take(line);
        }
        for (int k = 0; k < 8; ++k) {
            const bool integer = ((pattern >> ((k + line_index) % 8)) & 1) != 0;
            const std::optional<std::string> token = model.next_token();
            std::string plain;
            if (integer) {
                constexpr std::int32_t UNTOUCHED = 0x5a5a5a5a;
                std::int32_t value = UNTOUCHED;
                try {
                    tokenizer.READ_INT(value);
                } catch (const dz::ConversionError& e) {
                    check(token.has_value(), "READ_INT raised where no token is left", line);
                    check(!model_int(*token).has_value(), "READ_INT refused an integer", *token);
                    check_message(e, *token, true);
                    check(value == UNTOUCHED, "READ_INT assigned and raised", *token);
                    continue;
                }
                if (!token) {
                    check(value == UNTOUCHED, "READ_INT assigned where no token is left", line);
                    continue;
                }
                const std::optional<std::int32_t> expected = model_int(*token);
                check(expected.has_value(), "READ_INT accepted a token that is no integer", *token);
                check(value == *expected, "READ_INT gave the wrong value", *token);
            } else {
                const Real untouched = -1234.5L;
                Real value = untouched;
                try {
                    tokenizer.READ_REAL(value);
                } catch (const dz::ConversionError& e) {
                    check(token.has_value(), "READ_REAL raised where no token is left", line);
                    check_message(e, *token, false);
                    check(value == untouched, "READ_REAL assigned and raised", *token);
                    if (real_grammar(*token, sep, plain)) {
                        // Only a magnitude above the largest Real may be refused.
                        const Real c = std::strtold(plain.c_str(), nullptr);
                        check(std::isinf(c), "READ_REAL refused a number in range", *token);
                    }
                    continue;
                }
                if (!token) {
                    check(value == untouched, "READ_REAL assigned where no token is left", line);
                    continue;
                }
                check(real_grammar(*token, sep, plain), "READ_REAL accepted a token that is no number",
                      *token);
                const Real c = std::strtold(plain.c_str(), nullptr);
                check(value == c, "READ_REAL gave a value other than strtold's", *token);
                check_real(value, sep);
            }
        }
        ++line_index;
        if (end == text.size()) break;
    }
    return 0;
}
