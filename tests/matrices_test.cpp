// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of the dense solvers: worked examples with exact answers, the pivot
// and zero-skip rules, factor-and-solve on random systems, and the
// predicates on the 80-bit encoding that the fast paths rest on.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "matrices/lu_block_steps.hpp"
#include "matrices/matrices.hpp"
#include "matrices/real_encoding.hpp"
#include "tests/matrices_test_support.hpp"

namespace {

// the solver types and the shared helpers, unqualified
using namespace dz::matrices_test;

TEST(Matrices_LuWorkedExample, ExactFactorsAndSolution)
{
    Matrices s = solver(2);
    NXN_MATRIX m = {1, 3, 2, 4};
    int status = -1;
    s.LU_FACTOR(m, status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(s.PIVOTS, (std::vector<int>{2, 2}));
    EXPECT_EQ(m, (NXN_MATRIX{2, 4, -0.5L, 1}));

    N_VECTOR b = {7, 10};
    s.LU_SOLVE(m, b);
    EXPECT_EQ(b, (N_VECTOR{1, 2}));
}

TEST(Matrices_LuOrderOne, StatusPivotsAndSolve)
{
    struct Case {
        Real a;
        int status;
    };
    for (const Case c : {Case{0, 1}, Case{4, 0}, Case{-0.0L, 1}, Case{kNaN, 0}}) {
        Matrices s = solver(1);
        NXN_MATRIX m = {c.a};
        int status = -1;
        s.LU_FACTOR(m, status);
        EXPECT_EQ(status, c.status) << c.a;
        EXPECT_EQ(s.PIVOTS, (std::vector<int>{1}));
        EXPECT_TRUE(same_bits(m[0], c.a));
    }
    Matrices s = solver(1);
    NXN_MATRIX m = {3};
    int status = -1;
    s.LU_FACTOR(m, status);
    N_VECTOR b = {1};
    s.LU_SOLVE(m, b);
    EXPECT_EQ(b[0], 1.0L / 3.0L);
}

TEST(Matrices_PivotIndex, FirstOfEqualMagnitudesWins)
{
    Matrices s = solver(5);
    // one column stored as column 2 of a 5x5 matrix, the rest NaN
    struct Case {
        std::vector<Real> col;
        int n, i, want;
    };
    const Case cases[] = {
        {{2, -2, 1, 0, 0}, 5, 1, 1},
        {{-2, 2, 1, 0, 0}, 5, 1, 1},
        {{1, -2, 2, 0, 0}, 5, 1, 2},
        {{9, 1, -3, 3, -3}, 4, 2, 2},  // scan starts at row 2; 9 is outside
        {{0, 0, 0, 0, 0}, 5, 1, 1},
        {{1, kNaN, 2, 0, 0}, 5, 1, 3},
        {{1, 2, 3, 4, 5}, 0, 1, 0},
        {{1, 2, 3, 4, 5}, -1, 1, 0},
    };
    for (const Case& c : cases) {
        NXN_MATRIX m(25, kNaN);
        for (int r = 1; r <= 5; ++r) {
            m[s.MAT_INDEX(r, 2)] = c.col[static_cast<std::size_t>(r - 1)];
        }
        EXPECT_EQ(s.PIVOT_INDEX(c.n, m, c.i, 2), c.want) << c.col[0] << " " << c.n;
    }
}

TEST(Matrices_LuPivotTie, SmallerRowChosenWithoutInterchange)
{
    // column 1 holds 2 and -2: row 1 stays, PIVOTS[1] = 1
    Matrices s = solver(3);
    NXN_MATRIX m = {2, 1, 0,
                    -2, 0, 1,
                    1, 2, 4};
    int status = -1;
    s.LU_FACTOR(m, status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(s.PIVOTS, (std::vector<int>{1, 3, 3}));
    // step 1: multipliers 1 and -0.5; column 2 becomes (1, 1, 1.5)
    // step 2: pivot 1.5 in row 3 (|1.5| > |1|); multiplier -1/1.5
    EXPECT_EQ(m[s.MAT_INDEX(1, 1)], 2);
    EXPECT_EQ(m[s.MAT_INDEX(2, 1)], 1);
    EXPECT_EQ(m[s.MAT_INDEX(3, 1)], -0.5L);
    EXPECT_EQ(m[s.MAT_INDEX(2, 2)], 1.5L);
    EXPECT_EQ(m[s.MAT_INDEX(2, 3)], 4);  // brought up from row 3, which t = 0 left alone
    EXPECT_EQ(m[s.MAT_INDEX(3, 2)], -1.0L / 1.5L);

    // a tie between rows 2 and 3 below the diagonal: row 2 is taken
    Matrices s2 = solver(3);
    NXN_MATRIX m2 = {1, 0, 0,
                     2, 1, 0,
                     -2, -1, 1};
    s2.LU_FACTOR(m2, status);
    EXPECT_EQ(s2.PIVOTS[0], 2);
}

TEST(Matrices_LuZeroPivot, LaterZeroPivotReplacesStatus)
{
    // column 1 all zero: step 1 is skipped entirely, the later steps run
    Matrices s = solver(3);
    NXN_MATRIX m = {0, 1, 2,
                    0, 4, 8,
                    0, 2, 5};
    int status = -1;
    s.LU_FACTOR(m, status);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(s.PIVOTS, (std::vector<int>{1, 2, 3}));
    // step 2: pivot 4 in row 2, interchange with row 2 (none), multiplier
    // -1/4 * 2 = -0.5 in row 3; column 3: 5 + (-0.5) * 8 = 1
    EXPECT_EQ(m, (NXN_MATRIX{0, 1, 2, 0, 4, 8, 0, -0.5L, 1}));

    // a zero pivot at step 1 and again at the last step: status 3
    Matrices s2 = solver(3);
    NXN_MATRIX m2 = {0, 1, 2,
                     0, 4, 8,
                     0, 2, 4};
    s2.LU_FACTOR(m2, status);
    EXPECT_EQ(status, 3);
    EXPECT_EQ(m2[s2.MAT_INDEX(3, 3)], 0);

    // zero pivots at steps 1 and 2 of 4; step 3 fine: the status stays 2
    Matrices s3 = solver(4);
    NXN_MATRIX m3 = {0, 0, 1, 1,
                     0, 0, 2, 1,
                     0, 0, 3, 1,
                     0, 0, 4, 2};
    s3.LU_FACTOR(m3, status);
    EXPECT_EQ(status, 2);
    EXPECT_EQ(s3.PIVOTS, (std::vector<int>{1, 2, 4, 4}));
}

TEST(Matrices_ZeroFactorSkip, InfAndNaNNotCarried)
{
    // AXPY_VEC with t == 0 leaves the target alone even against inf/NaN
    Matrices s = solver(3);
    NXN_MATRIX m = {kInf, -0.0L, 1,
                    kNaN, 5, 1,
                    1, 3, 1};
    const NXN_MATRIX before = m;
    s.AXPY_VEC(3, 0.0L, m, 1, 1, 1, 2);
    s.AXPY_VEC(3, -0.0L, m, 1, 1, 1, 2);
    s.AXPY_VEC(0, 2.0L, m, 1, 1, 1, 2);
    for (std::size_t q = 0; q < m.size(); ++q) {
        EXPECT_TRUE(same_bits(m[q], before[q])) << q;
    }
    // SCALE_VEC by 2 down column 3 from row 2
    s.SCALE_VEC(2, 2.0L, m, 2, 3);
    EXPECT_EQ(m[s.MAT_INDEX(1, 3)], 1);
    EXPECT_EQ(m[s.MAT_INDEX(2, 3)], 2);
    EXPECT_EQ(m[s.MAT_INDEX(3, 3)], 2);

    // in the factorisation: a NaN multiplier below a zero t in column 2
    NXN_MATRIX f = {2, 0, 1,
                    kNaN, 5, 1,
                    1, 3, 1};
    int status = -1;
    s.LU_FACTOR(f, status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(s.PIVOTS, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(f[s.MAT_INDEX(2, 2)], 5);  // untouched by step 1
    EXPECT_EQ(f[s.MAT_INDEX(3, 2)], 3 * (-1.0L / 5));
    EXPECT_TRUE(std::isnan(f[s.MAT_INDEX(2, 3)]));  // t = 1 carries the NaN

    // in the solve: b[1] = 0 skips the NaN multiplier in the forward pass,
    // and a zero x[k] skips column k of U in the backward pass
    NXN_MATRIX g = {2, kInf, 0,
                    kNaN, 1, 0,
                    kNaN, 0, 4};
    s.PIVOTS = {1, 2, 3};
    N_VECTOR b = {0, 0, 8};
    s.LU_SOLVE(g, b);
    EXPECT_EQ(b, (N_VECTOR{0, 0, 2}));
}

TEST(Matrices_CholWorkedExample, ExactFactorAndSolution)
{
    Matrices s = solver(2);
    NXN_MATRIX m = {4, 2, 2, 5};
    int status = -1;
    s.CHOL_FACTOR(m, status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(m, (NXN_MATRIX{2, 1, 2, 2}));
    N_VECTOR b = {6, 7};
    s.CHOL_SOLVE(m, b);
    EXPECT_EQ(b, (N_VECTOR{1, 1}));

    // order 1: the root, then two divisions by it
    Matrices s1 = solver(1);
    NXN_MATRIX m1 = {9};
    s1.CHOL_FACTOR(m1, status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(m1[0], 3);
    N_VECTOR b1 = {2};
    s1.CHOL_SOLVE(m1, b1);
    EXPECT_EQ(b1[0], (2.0L / 3.0L) / 3.0L);
}

TEST(Matrices_CholStatus, FirstNonPositivePivot)
{
    struct Case {
        NXN_MATRIX m;
        int status;
    };
    const Case cases[] = {
        {{0}, 1},
        {{-1}, 1},
        {{kNaN}, 1},
        {{1, 2, kNaN, 3}, 2},  // 3 - 4 = -1 at step 2
        {{1, 1, kNaN, 1}, 2},  // exactly zero at step 2
        {{4, 2, 0, kNaN, 2, 0, kNaN, kNaN, -1}, 3},
    };
    for (const Case& c : cases) {
        const int n = static_cast<int>(std::lround(std::sqrt(static_cast<double>(c.m.size()))));
        Matrices s = solver(n);
        NXN_MATRIX m = c.m;
        int status = -1;
        s.CHOL_FACTOR(m, status);
        EXPECT_EQ(status, c.status) << n;
        if (c.status == 2) {
            EXPECT_EQ(m[0], 1);  // row 1 holds R
            EXPECT_EQ(m[1], c.m[1]);
        }
        if (c.status == 3) {
            EXPECT_EQ(m[0], 2);
            EXPECT_EQ(m[1], 1);
            EXPECT_EQ(m[4], 1);  // sqrt(2 - 1)
        }
    }
    // the 1x1 and 2x2 table above had NaN in the lower triangle and still
    // factored; here the lower triangle is checked to be neither read nor
    // written on a larger matrix
    std::mt19937_64 gen(11);
    const int n = 7;
    NXN_MATRIX b = random_matrix(n, gen);
    Matrices s = solver(n);
    NXN_MATRIX a(b.size(), 0);
    for (int i = 1; i <= n; ++i) {
        for (int j = 1; j <= n; ++j) {
            Real sum = i == j ? static_cast<Real>(n) : 0;
            for (int k = 1; k <= n; ++k) {
                sum += b[s.MAT_INDEX(k, i)] * b[s.MAT_INDEX(k, j)];
            }
            a[s.MAT_INDEX(i, j)] = sum;
        }
    }
    NXN_MATRIX upper = a;
    for (int i = 2; i <= n; ++i) {
        for (int j = 1; j < i; ++j) {
            upper[s.MAT_INDEX(i, j)] = kNaN;
        }
    }
    int st1 = -1, st2 = -1;
    s.CHOL_FACTOR(a, st1);
    s.CHOL_FACTOR(upper, st2);
    EXPECT_EQ(st1, 0);
    EXPECT_EQ(st2, 0);
    N_VECTOR x1(static_cast<std::size_t>(n), 1), x2 = x1;
    s.CHOL_SOLVE(a, x1);
    s.CHOL_SOLVE(upper, x2);
    EXPECT_EQ(x1, x2);
    for (int i = 1; i <= n; ++i) {
        for (int j = 1; j <= n; ++j) {
            if (j >= i) {
                EXPECT_EQ(a[s.MAT_INDEX(i, j)], upper[s.MAT_INDEX(i, j)]);
            } else {
                EXPECT_TRUE(std::isnan(upper[s.MAT_INDEX(i, j)]));
            }
        }
    }
}

// Factor and solve on random systems with a known solution. Backward-stable
// methods give a residual |b - A x|inf <= c n eps |A|inf |x|inf; c = 4 allows
// for the small growth factor of random matrices and is never approached by
// a correct solve, while a wrong multiplier sign or pivot replay misses by
// orders of magnitude.
TEST(Matrices_FactorSolve, ReproducesKnownSolution)
{
    std::mt19937_64 gen(2024);
    for (const int n : {1, 2, 3, 5, 10, 40, 120}) {
        NXN_MATRIX a = random_matrix(n, gen);
        Matrices s = solver(n);
        N_VECTOR x(static_cast<std::size_t>(n));
        for (int i = 0; i < n; ++i) {
            x[static_cast<std::size_t>(i)] = static_cast<Real>(i % 7) - 3;
        }
        auto residual = [&](const NXN_MATRIX& mat, const N_VECTOR& sol, const N_VECTOR& rhs) {
            Real r = 0, norm_a = 0, norm_x = 0;
            for (int i = 1; i <= n; ++i) {
                Real row = 0, sum = 0;
                for (int j = 1; j <= n; ++j) {
                    sum += mat[s.MAT_INDEX(i, j)] * sol[static_cast<std::size_t>(j - 1)];
                    row += std::fabs(mat[s.MAT_INDEX(i, j)]);
                }
                r = std::max(r, std::fabs(rhs[static_cast<std::size_t>(i - 1)] - sum));
                norm_a = std::max(norm_a, row);
                norm_x = std::max(norm_x, std::fabs(sol[static_cast<std::size_t>(i - 1)]));
            }
            return r / (norm_a * norm_x * static_cast<Real>(n) * kEps);
        };

        // general system through LU
        N_VECTOR b(static_cast<std::size_t>(n));
        for (int i = 1; i <= n; ++i) {
            Real sum = 0;
            for (int j = 1; j <= n; ++j) {
                sum += a[s.MAT_INDEX(i, j)] * x[static_cast<std::size_t>(j - 1)];
            }
            b[static_cast<std::size_t>(i - 1)] = sum;
        }
        NXN_MATRIX f = a;
        int status = -1;
        s.LU_FACTOR(f, status);
        ASSERT_EQ(status, 0) << n;
        N_VECTOR y = b;
        s.LU_SOLVE(f, y);
        EXPECT_LE(residual(a, y, b), 4) << "LU, n = " << n;

        // symmetric positive definite system A^T A + n I through Cholesky
        NXN_MATRIX spd(a.size());
        for (int i = 1; i <= n; ++i) {
            for (int j = 1; j <= n; ++j) {
                Real sum = i == j ? static_cast<Real>(n) : 0;
                for (int k = 1; k <= n; ++k) {
                    sum += a[s.MAT_INDEX(k, i)] * a[s.MAT_INDEX(k, j)];
                }
                spd[s.MAT_INDEX(i, j)] = sum;
            }
        }
        for (int i = 1; i <= n; ++i) {
            Real sum = 0;
            for (int j = 1; j <= n; ++j) {
                sum += spd[s.MAT_INDEX(i, j)] * x[static_cast<std::size_t>(j - 1)];
            }
            b[static_cast<std::size_t>(i - 1)] = sum;
        }
        f = spd;
        s.CHOL_FACTOR(f, status);
        ASSERT_EQ(status, 0) << n;
        y = b;
        s.CHOL_SOLVE(f, y);
        EXPECT_LE(residual(spd, y, b), 4) << "Cholesky, n = " << n;
    }
}


// The predicates on the encoding, on one value of every kind. kept: adding
// a zero of either sign gives the same bits; these decide which updates the
// fast paths may pass over.
TEST(Matrices_RealEncoding, EveryKindOfValue)
{
    namespace re = dz::real_encoding;
    struct Case {
        const char* what;
        Real x;
        bool zero, plus_zero, canonical_finite, kept;
    };
    const Case cases[] = {
        {"+0", 0.0L, true, true, true, true},
        {"-0", -0.0L, true, false, true, false},
        {"1", 1.0L, false, false, true, true},
        {"-3.5", -3.5L, false, false, true, true},
        {"largest", std::numeric_limits<Real>::max(), false, false, true, true},
        {"smallest normal", std::numeric_limits<Real>::min(), false, false, true, true},
        {"subnormal", std::numeric_limits<Real>::denorm_min() * 7, false, false, true, false},
        {"-subnormal", -std::numeric_limits<Real>::denorm_min(), false, false, true, false},
        {"pseudo-denormal", encoded(0x0000, 0x8000000000000001ULL), false, false, false, false},
        {"unnormal", encoded(0x3fff, 0x4000000000000000ULL), false, false, false, false},
        {"unnormal zero", encoded(0x3fff, 0), false, false, false, false},
        {"+inf", kInf, false, false, false, false},
        {"-inf", -kInf, false, false, false, false},
        {"NaN", kNaN, false, false, false, false},
        {"pseudo-infinity", encoded(0x7fff, 0), false, false, false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(re::is_zero(c.x), c.zero) << c.what;
        EXPECT_EQ(re::is_plus_zero(c.x), c.plus_zero) << c.what;
        EXPECT_EQ(re::is_canonical_finite(c.x), c.canonical_finite) << c.what;
        EXPECT_EQ(re::kept_by_zero_updates(c.x), c.kept) << c.what;
        EXPECT_TRUE(re::same_bits(c.x, c.x)) << c.what;
    }
    EXPECT_FALSE(re::same_bits(0.0L, -0.0L));
    EXPECT_FALSE(re::same_bits(kNaN, -kNaN));
    // the padding bytes of the type are not compared
    Real a = 2;
    Real b = 2;
    std::memset(reinterpret_cast<unsigned char*>(&b) + 10, 0x5a, sizeof(Real) - 10);
    EXPECT_TRUE(re::same_bits(a, b));
}

// What the fast paths rely on, on random encodings of every kind: a value
// that kept_by_zero_updates accepts keeps its bits when any zero is added;
// a pair that split_real accepts sums, in Real, to the very bits it split.
TEST(Matrices_RealEncoding, KeptAndSplitHoldOnRandomEncodings)
{
    namespace re = dz::real_encoding;
    std::mt19937_64 gen(5);
    // exponents near the ends and the middle of both formats' ranges
    const std::uint16_t exponents[] = {0x0000, 0x0001, 0x3bcc, 0x3bcd, 0x3c00, 0x3fff, 0x43fe, 0x43ff, 0x7ffe, 0x7fff};
    int kept = 0;
    int split = 0;
    for (int round = 0; round < 4000; ++round) {
        const auto e = static_cast<std::uint16_t>(exponents[round % 10] | (round % 20 >= 10 ? 0x8000 : 0));
        std::uint64_t significand = gen();
        if (round % 3 == 0) significand &= ~((std::uint64_t{1} << 11) - 1);  // fits a double's 53 bits
        const Real x = encoded(e, significand);
        if (re::kept_by_zero_updates(x)) {
            ++kept;
            volatile Real zero = 0;
            EXPECT_TRUE(same_bits(x + zero, x)) << std::hex << e << " " << significand;
            EXPECT_TRUE(same_bits(x + -zero, x)) << std::hex << e << " " << significand;
        }
        double h = 0;
        double l = 0;
        if (dz::lu_block::split_real(x, h, l)) {
            ++split;
            EXPECT_TRUE(same_bits(static_cast<Real>(h) + static_cast<Real>(l), x)) << std::hex << e << " " << significand;
        }
    }
    // both must have accepted many values, or the checks above are idle
    EXPECT_GE(kept, 1000);
    EXPECT_GE(split, 300);
}

// split_real on values chosen by hand: a zero keeps its sign, the low part
// carries the bits a double cannot hold, and a value whose low part falls
// outside double's range has no pair.
TEST(Matrices_SplitReal, HandPickedValues)
{
    struct Case {
        const char* what;
        Real x;
        bool exact;
    };
    const Real two63 = std::ldexp(1.0L, -63);
    const Case cases[] = {
        {"+0", 0.0L, true},
        {"-0", -0.0L, true},
        {"1 + 2^-63", 1 + two63, true},
        {"-(1 + 2^-63)", -(1 + two63), true},
        {"1/3", 1.0L / 3, true},
        {"largest double", std::numeric_limits<double>::max(), true},
        {"twice the largest double", 2.0L * std::numeric_limits<double>::max(), false},
        {"2^-1040 (1 + 2^-63)", std::ldexp(1 + two63, -1040), false},
        {"2^-1074, the smallest double", std::ldexp(1.0L, -1074), true},
        {"2^-1100", std::ldexp(1.0L, -1100), false},
        {"smallest Real", std::numeric_limits<Real>::denorm_min(), false},
        {"largest Real", std::numeric_limits<Real>::max(), false},
        {"inf", kInf, false},
        {"NaN", kNaN, false},
        {"unnormal", encoded(0x3fff, 0x4000000000000000ULL), false},
        {"pseudo-denormal", encoded(0x0000, 0x8000000000000001ULL), false},
    };
    for (const Case& c : cases) {
        double h = 0;
        double l = 0;
        EXPECT_EQ(dz::lu_block::split_real(c.x, h, l), c.exact) << c.what;
        if (c.exact) {
            EXPECT_TRUE(same_bits(static_cast<Real>(h) + static_cast<Real>(l), c.x)) << c.what;
        }
    }
}

}  // namespace
