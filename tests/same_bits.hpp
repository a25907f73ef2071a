// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// "Bit for bit" in the tests: two reals are the same when the 10 bytes of
// their 80-bit encoding are the same. So +0 and -0 differ, and so do NaNs of
// other sign or payload; the 6 padding bytes of the type are never read.
// Kept free of gtest, for the fuzzers too.

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "core_types/real.hpp"

namespace dz::testing {

inline constexpr std::size_t REAL_BYTES = 10;

inline bool same_bits(const Real& a, const Real& b) { return std::memcmp(&a, &b, REAL_BYTES) == 0; }

// Same length and the same bits everywhere.
template <typename A, typename B>
bool same_bits(const A& a, const B& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (!same_bits(static_cast<Real>(a[i]), static_cast<Real>(b[i]))) return false;
    }
    return true;
}

// The 10 bytes as 20 hex digits, most significant first: sign and exponent
// (4 digits), then the significand (16 digits). The form of the golden files.
inline std::string hex_bits(const Real& x) {
    unsigned char bytes[REAL_BYTES];
    std::memcpy(bytes, &x, REAL_BYTES);
    std::string text;
    char digits[3];
    for (std::size_t i = REAL_BYTES; i-- > 0;) {
        std::snprintf(digits, sizeof digits, "%02x", static_cast<unsigned>(bytes[i]));
        text += digits;
    }
    return text;
}

// A real compared by its bits and printed in hex, so that gtest's
// EXPECT_EQ(bits(a), bits(b)) says which element differs and how:
// EXPECT_EQ(Bits{x}, Bits{y}) for one value.
struct Bits {
    Real value;
    friend bool operator==(const Bits& a, const Bits& b) { return same_bits(a.value, b.value); }
    friend std::ostream& operator<<(std::ostream& out, const Bits& b) {
        return out << hex_bits(b.value) << " (" << static_cast<double>(b.value) << ")";
    }
};

template <typename A>
std::vector<Bits> bits(const A& values) {
    std::vector<Bits> out;
    out.reserve(values.size());
    for (const auto& v : values) out.push_back(Bits{static_cast<Real>(v)});
    return out;
}

}  // namespace dz::testing
