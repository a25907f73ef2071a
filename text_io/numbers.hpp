// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Conversion between text and numbers with a caller-given decimal separator.
// Nothing here reads the process-wide C locale.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core_types/real.hpp"

namespace dz {

// Formats v with exactly `decimals` (0..4) digits after `sep`, correctly
// rounded from the exact extended value, ties away from zero, at least one
// digit before the separator, a '-' only when the written number is not zero,
// no grouping. The patterns "0", "0.0", "0.00", "0.000", "0.0000".
[[nodiscard]] std::string format_fixed(Real v, int decimals, char sep);
// The same text by way of exact decimal conversion, for any magnitude;
// format_fixed takes it above 2^40 and is checked against it.
[[nodiscard]] std::string format_fixed_exact(Real v, int decimals, char sep);

// A decimal integer with an optional sign that fits 32 signed bits; nothing
// else (no spaces, no "$" hexadecimal).
[[nodiscard]] std::optional<std::int32_t> parse_int(std::string_view token);

// An optional sign, digits with an optional fraction after `sep`, an optional
// exponent (E or e, optional sign, digits); correctly rounded to Real. ".5"
// and "5." are numbers. Overflow, "nan", "inf", hexadecimal forms and any other
// character are failures.
[[nodiscard]] std::optional<Real> parse_real(std::string_view token, char sep);

// The sentence added to the refusal of a typed or read number when the first
// token of `line` (space and tab separate tokens) is no number with `sep`
// but would be one with the other of the two separators, '.' and ',': it
// names the separator the regional settings ask for, on a line of its own
// after the refusal ("\nYour regional settings ask for ',' as the decimal
// separator.").
// Empty in every other case, also for a `sep` that is neither.
[[nodiscard]] std::string separator_hint(std::string_view line, char sep);

}  // namespace dz
