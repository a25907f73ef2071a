// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the solver tests share: solvers with sentinel pivots, reproducible
// random matrices, the fills that stress the fast factorisation, and the
// comparison of reals by their 10 significant bytes.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "matrices/matrices.hpp"
#include "tests/same_bits.hpp"

namespace dz::matrices_test {

// so that a test's `using namespace dz::matrices_test` brings these too
using dz::Matrices;
using dz::N_VECTOR;
using dz::NXN_MATRIX;
using dz::Real;

inline constexpr Real kNaN = std::numeric_limits<Real>::quiet_NaN();
inline constexpr Real kInf = std::numeric_limits<Real>::infinity();
inline constexpr Real kEps = std::numeric_limits<Real>::epsilon();

// A solver of order n; PIVOTS pre-filled with a sentinel so an entry the
// factorisation forgot to write shows up.
inline Matrices solver(int n)
{
    Matrices s;
    s.MAT_ORDER = n;
    s.PIVOTS.assign(static_cast<std::size_t>(n), -7);
    return s;
}

// Random matrix with entries k / 2^20, k uniform in [-2^20, 2^20]: exact in
// any binary format, so every run sees the same numbers.
inline NXN_MATRIX random_matrix(int n, std::mt19937_64& gen)
{
    std::uniform_int_distribution<std::int64_t> d(-(1 << 20), 1 << 20);
    NXN_MATRIX m(static_cast<std::size_t>(n) * static_cast<std::size_t>(n));
    for (Real& x : m) {
        x = static_cast<Real>(d(gen)) / static_cast<Real>(1 << 20);
    }
    return m;
}

// Bits of one real (the 80 significant bits), for exact comparisons that
// also tell NaNs and signed zeros apart.
using dz::testing::same_bits;

// Matrices on which the fast factorisation must give the reference's bits.
// Small integers with many zeros make exact zero pivots, zero t values,
// ties in the pivot columns and bottom rows used as pivot rows twice in one
// block; dense random reals exercise the bulk of the update; NaNs,
// infinities and magnitudes far outside the range of double give
// multipliers that the fast update cannot take as two doubles. Banded
// matrices (like the wear matrix) leave the rows below the band with exact
// zero multipliers, which the fast update passes over wherever adding a zero
// cannot change a value: their zeros of both signs, subnormals, NaNs,
// infinities and non-canonical encodings must still come out as the
// reference leaves them. Upper triangles with a few large values far below
// the diagonal make pivot rows that move a value below the +0 tail of a
// later column; a first pivot so small that -1 / pivot is infinite makes
// every multiplier below it NaN (+0 * inf), none of them an exact zero.
enum class Fill { dense, small_integers, zero_columns, special, wide_range, banded, long_pivots, tiny_first_pivot };

// An 80-bit real from its sign-and-exponent field and its significand.
inline Real encoded(std::uint16_t sign_exponent, std::uint64_t significand)
{
    Real x = 0;
    unsigned char bytes[sizeof(Real)] = {};
    std::memcpy(bytes, &significand, 8);
    std::memcpy(bytes + 8, &sign_exponent, 2);
    std::memcpy(&x, bytes, sizeof(Real));
    return x;
}

inline NXN_MATRIX test_matrix(int n, Fill fill, std::mt19937_64& gen)
{
    NXN_MATRIX m = random_matrix(n, gen);
    std::uniform_int_distribution<int> small(-2, 2);
    std::uniform_int_distribution<int> pick(0, n - 1);
    switch (fill) {
    case Fill::dense:
        break;
    case Fill::small_integers:
        for (Real& x : m) {
            x = small(gen) * (small(gen) != 0 ? 1 : 0);
        }
        break;
    case Fill::zero_columns:
        for (int c = 0; c < 1 + n / 8; ++c) {
            const int j = pick(gen);
            for (int i = 0; i < n; ++i) {
                m[static_cast<std::size_t>(i * n + j)] = 0;
            }
        }
        break;
    case Fill::wide_range: {
        std::uniform_int_distribution<int> expo(-1200, 1200);
        for (Real& x : m) {
            x = std::ldexp(x, expo(gen));
        }
        break;
    }
    case Fill::banded: {
        // lower band n / 8, upper n / 5; outside it zeros of either sign and,
        // in a few columns, values that adding a zero changes or that must
        // meet each update: -0 (+0 + -0 is +0), a subnormal, a pseudo-denormal,
        // an unnormal, a NaN and an infinity
        const int lower = std::max(1, n / 8);
        const int upper = std::max(1, n / 5);
        std::uniform_int_distribution<int> coin(0, 1);
        for (int i = 0; i < n; ++i) {
            for (int j = 0; j < n; ++j) {
                if (i - j > lower || j - i > upper) {
                    m[static_cast<std::size_t>(i * n + j)] = coin(gen) != 0 ? -0.0L : 0.0L;
                }
            }
        }
        const std::array<Real, 6> odd = {-0.0L,
                                         std::numeric_limits<Real>::denorm_min() * 3,
                                         encoded(0x0000, 0x8000000000000001ULL),   // pseudo-denormal
                                         encoded(0x3fff, 0x4000000000000000ULL),   // unnormal
                                         kNaN,
                                         kInf};
        for (int c = 0; c < 1 + n / 16; ++c) {
            const int j = pick(gen);
            const int i = std::min(n - 1, j + lower + 1 + pick(gen) % std::max(1, n / 2));
            m[static_cast<std::size_t>(i * n + j)] = odd[static_cast<std::size_t>(c) % odd.size()];
        }
        break;
    }
    case Fill::long_pivots:
    case Fill::tiny_first_pivot:
        for (int i = 0; i < n; ++i) {
            for (int j = 0; j < i; ++j) {
                m[static_cast<std::size_t>(i * n + j)] = 0;
            }
        }
        if (fill == Fill::long_pivots) {
            for (int c = 0; c < 1 + n / 4; ++c) {
                const int j = pick(gen);
                const int i = std::min(n - 1, j + 1 + pick(gen) % std::max(1, n - j));
                m[static_cast<std::size_t>(i * n + j)] = 64 + pick(gen);
            }
        } else {
            m[0] = std::numeric_limits<Real>::denorm_min() * 3;
        }
        break;
    case Fill::special:
        // signed zeros, so that a skipped update (t == 0) is told from an
        // update by -0 + 0 = +0; NaNs and infinities that a skipped update
        // must not spread
        for (Real& x : m) {
            const int v = small(gen) * (small(gen) != 0 ? 1 : 0);
            x = v == 0 && small(gen) < 0 ? -0.0L : static_cast<Real>(v);
        }
        for (int c = 0; c < 1 + n / 16; ++c) {
            m[static_cast<std::size_t>(pick(gen) * n + pick(gen))] = kNaN;
            m[static_cast<std::size_t>(pick(gen) * n + pick(gen))] = -kInf;
        }
        break;
    }
    return m;
}

template <typename A, typename B>
inline bool same_matrix(const A& a, const B& b, std::size_t count)
{
    for (std::size_t q = 0; q < count; ++q) {
        if (!same_bits(a[q], b[q])) {
            return false;
        }
    }
    return true;
}

// The matrix held row after row, as LU_FACTOR_COLUMNS takes it: its transpose.
inline NXN_MATRIX transposed(const NXN_MATRIX& a, int n)
{
    const auto un = static_cast<std::size_t>(n);
    NXN_MATRIX t(a.size());
    for (std::size_t i = 0; i < un; ++i) {
        for (std::size_t j = 0; j < un; ++j) t[j * un + i] = a[i * un + j];
    }
    return t;
}

}  // namespace dz::matrices_test
