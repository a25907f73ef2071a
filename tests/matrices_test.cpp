// Tests of the dense solvers: worked examples with exact answers, the pivot
// and zero-skip rules, and factor-and-solve on random systems.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "matrices/matrices.hpp"
#include "parallel/helper_threads.hpp"

namespace {

using dz::Matrices;
using dz::N_VECTOR;
using dz::NXN_MATRIX;
using dz::Real;

constexpr Real kNaN = std::numeric_limits<Real>::quiet_NaN();
constexpr Real kInf = std::numeric_limits<Real>::infinity();
constexpr Real kEps = std::numeric_limits<Real>::epsilon();

// A solver of order n; PIVOTS pre-filled with a sentinel so an entry the
// factorisation forgot to write shows up.
Matrices solver(int n)
{
    Matrices s;
    s.MAT_ORDER = n;
    s.PIVOTS.assign(static_cast<std::size_t>(n), -7);
    return s;
}

// Random matrix with entries k / 2^20, k uniform in [-2^20, 2^20]: exact in
// any binary format, so every run sees the same numbers.
NXN_MATRIX random_matrix(int n, std::mt19937_64& gen)
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
bool same_bits(Real a, Real b)
{
    return std::memcmp(&a, &b, 10) == 0;
}

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

}  // namespace

namespace {

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
Real encoded(std::uint16_t sign_exponent, std::uint64_t significand)
{
    Real x = 0;
    unsigned char bytes[sizeof(Real)] = {};
    std::memcpy(bytes, &significand, 8);
    std::memcpy(bytes + 8, &sign_exponent, 2);
    std::memcpy(&x, bytes, sizeof(Real));
    return x;
}

NXN_MATRIX test_matrix(int n, Fill fill, std::mt19937_64& gen)
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
bool same_matrix(const A& a, const B& b, std::size_t count)
{
    for (std::size_t q = 0; q < count; ++q) {
        if (!same_bits(a[q], b[q])) {
            return false;
        }
    }
    return true;
}

TEST(Matrices_FastLu, BitIdenticalToReference)
{
    // every fill and several tunings on the small orders; the large ones,
    // slow in the reference, with fewer fills and tunings
#if defined(__SANITIZE_ADDRESS__) || !defined(NDEBUG)
    const std::vector<int> orders = {1, 2, 3, 4, 5, 7, 8, 9, 31, 33, 64, 65, 97, 130};
#else
    const std::vector<int> orders = {1, 2, 3, 4, 5, 7, 8, 9, 31, 33, 64, 65, 97, 130, 200, 257, 500};
#endif
    struct Tuning {
        int block, threads;
    };
    const std::vector<Tuning> all_tunings = {{1, 1}, {3, 1}, {Matrices::LU_BLOCK, 2}, {Matrices::LU_MAX_BLOCK, 2}};
    const std::vector<Tuning> few_tunings = {{7, 2}};
    const std::vector<Fill> all_fills = {Fill::dense,      Fill::small_integers, Fill::zero_columns,
                                         Fill::special,    Fill::wide_range,     Fill::banded,
                                         Fill::long_pivots, Fill::tiny_first_pivot};
    const std::vector<Fill> few_fills = {Fill::dense, Fill::small_integers, Fill::wide_range, Fill::banded,
                                         Fill::long_pivots};
    std::mt19937_64 gen(77);
    int zero_status = 0, checked = 0;
    for (const int n : orders) {
        const bool large = n >= 200;
        for (const Fill fill : large ? few_fills : all_fills) {
            const NXN_MATRIX a = test_matrix(n, fill, gen);
            const std::size_t nn = a.size();
            Matrices ref = solver(n);
            NXN_MATRIX want = a;
            int want_status = -1;
            ref.LU_FACTOR_REFERENCE(want, want_status);
            zero_status += want_status != 0 ? 1 : 0;
            N_VECTOR want_x(static_cast<std::size_t>(n), 1);
            ref.LU_SOLVE(want, want_x);

            auto check = [&](Matrices& s, const NXN_MATRIX& got, int got_status, const char* what) {
                ++checked;
                EXPECT_EQ(got_status, want_status) << what << " n = " << n;
                EXPECT_EQ(s.PIVOTS, ref.PIVOTS) << what << " n = " << n;
                EXPECT_TRUE(same_matrix(got, want, nn)) << what << " n = " << n;
                N_VECTOR x(static_cast<std::size_t>(n), 1);
                s.LU_SOLVE(got, x);
                EXPECT_TRUE(same_matrix(x, want_x, x.size())) << what << " n = " << n;
            };
            for (const Tuning& tu : large ? few_tunings : all_tunings) {
                Matrices s = solver(n);
                NXN_MATRIX got = a;
                int status = -1;
                s.LU_FACTOR_BLOCKED(got, status, tu.block, tu.threads);
                check(s, got, status, "blocked");
            }
            // the matrix held column after column: the transposed factors
            {
                Matrices c = solver(n);
                const auto un = static_cast<std::size_t>(n);
                NXN_MATRIX cols(nn);
                for (std::size_t i = 0; i < un; ++i) {
                    for (std::size_t j = 0; j < un; ++j) cols[j * un + i] = a[i * un + j];
                }
                int status = -1;
                c.LU_FACTOR_COLUMNS(cols, status);
                NXN_MATRIX rows(nn);
                for (std::size_t i = 0; i < un; ++i) {
                    for (std::size_t j = 0; j < un; ++j) rows[i * un + j] = cols[j * un + i];
                }
                ++checked;
                EXPECT_EQ(status, want_status) << "columns n = " << n;
                EXPECT_EQ(c.PIVOTS, ref.PIVOTS) << "columns n = " << n;
                EXPECT_TRUE(same_matrix(rows, want, nn)) << "columns n = " << n;
                N_VECTOR x(un, 1);
                c.LU_SOLVE_COLUMNS(cols, x);
                EXPECT_TRUE(same_matrix(x, want_x, x.size())) << "columns n = " << n;
            }
            // the public entry, called twice on one object to reuse its scratch
            Matrices s = solver(n);
            for (int round = 0; round < 2; ++round) {
                NXN_MATRIX got = a;
                int status = -1;
                s.LU_FACTOR(got, status);
                check(s, got, status, "LU_FACTOR");
            }
        }
    }
    // the fills above must have produced zero pivots, or half the test is idle
    EXPECT_GE(zero_status, static_cast<int>(orders.size()) / 2);
    EXPECT_GT(checked, 0);
}

// Permutation matrices: L and U are the identity, so every update of the
// solve adds an exact zero. With a right-hand side of -1, an odd value at row
// b keeps its -0 through the forward solve (-1 * +0 is -0) and turns to +0 in
// the back substitution (+1 * +0 is +0), unless an update is wrongly passed
// over; the interchange of rows a and b first moves it to row a, where only
// the interchange itself tells that it is there.
TEST(Matrices_SolveColumns, ZeroUpdatesOnPermutations)
{
    const std::array<Real, 4> odd = {-0.0L, std::numeric_limits<Real>::denorm_min(),
                                     encoded(0x0000, 0x8000000000000001ULL), encoded(0x3fff, 0x1000000000000000ULL)};
    for (const int n : {8, 9}) {
        const auto un = static_cast<std::size_t>(n);
        for (int ra = 0; ra < n; ++ra) {
            for (int rb = ra; rb < n; ++rb) {
                NXN_MATRIX perm(un * un, 0);
                for (int i = 0; i < n; ++i) {
                    const int j = i == ra ? rb : i == rb ? ra : i;
                    perm[static_cast<std::size_t>(i * n + j)] = 1;
                }
                Matrices ref = solver(n);
                NXN_MATRIX rows = perm;
                int status = -1;
                ref.LU_FACTOR_REFERENCE(rows, status);
                ASSERT_EQ(status, 0);
                Matrices c = solver(n);
                NXN_MATRIX cols = perm;  // symmetric: its own transpose
                c.LU_FACTOR_COLUMNS(cols, status);
                for (const Real v : odd) {
                    N_VECTOR rhs(un, -1);
                    rhs[static_cast<std::size_t>(rb)] = v;
                    N_VECTOR want = rhs;
                    ref.LU_SOLVE(rows, want);
                    N_VECTOR got = rhs;
                    c.LU_SOLVE_COLUMNS(cols, got);
                    ASSERT_TRUE(same_matrix(got, want, un)) << "n " << n << " rows " << ra << ", " << rb;
                }
            }
        }
    }
}

// The solve on factors held in columns passes over updates by exact zeros
// wherever they cannot change a value: right-hand sides with every kind of
// value that an added zero does change (-0, subnormals, pseudo-denormals,
// unnormals, NaNs, infinities), placed at random, must still come out as the
// reference solve leaves them, on banded factors (long zero runs in L and U)
// and on the other fills, zero pivots (infinite factors) included.
TEST(Matrices_SolveColumns, BitIdenticalForOddRightHandSides)
{
    const std::array<Real, 7> odd = {-0.0L,
                                     0.0L,
                                     std::numeric_limits<Real>::denorm_min() * 5,
                                     encoded(0x0000, 0x8000000000000003ULL),  // pseudo-denormal
                                     encoded(0x3fff, 0x2000000000000000ULL),  // unnormal
                                     kNaN,
                                     -kInf};
    std::mt19937_64 gen(2026);
    int compared = 0;
    for (const int n : {1, 2, 5, 9, 17, 40, 97, 160, 250}) {
        for (const Fill fill : {Fill::banded, Fill::dense, Fill::small_integers, Fill::special, Fill::long_pivots}) {
            const NXN_MATRIX a = test_matrix(n, fill, gen);
            const auto un = static_cast<std::size_t>(n);
            Matrices ref = solver(n);
            NXN_MATRIX rows = a;
            int status = -1;
            ref.LU_FACTOR_REFERENCE(rows, status);
            Matrices c = solver(n);
            NXN_MATRIX cols(a.size());
            for (std::size_t i = 0; i < un; ++i) {
                for (std::size_t j = 0; j < un; ++j) cols[j * un + i] = a[i * un + j];
            }
            int col_status = -1;
            c.LU_FACTOR_COLUMNS(cols, col_status);
            ASSERT_EQ(col_status, status);
            std::uniform_int_distribution<std::size_t> where(0, un - 1);
            std::uniform_int_distribution<std::size_t> which(0, odd.size() - 1);
            for (int kind = 0; kind < 6; ++kind) {
                N_VECTOR rhs(un);
                std::normal_distribution<double> normal(0, 1);
                for (Real& x : rhs) x = kind == 0 ? Real{1} : kind == 1 ? Real{0} : static_cast<Real>(normal(gen));
                // kinds 2..5: 1, 2, 3 or n/4 + 1 odd values
                const std::size_t count = kind < 2 ? 0 : kind == 5 ? un / 4 + 1 : static_cast<std::size_t>(kind - 1);
                for (std::size_t q = 0; q < count; ++q) rhs[where(gen)] = odd[which(gen)];
                N_VECTOR want = rhs;
                ref.LU_SOLVE(rows, want);
                N_VECTOR got = rhs;
                c.LU_SOLVE_COLUMNS(cols, got);
                ++compared;
                ASSERT_TRUE(same_matrix(got, want, un)) << "n " << n << " fill " << static_cast<int>(fill)
                                                        << " kind " << kind;
                // the right-hand side carried along the elimination, with a
                // helper and without: the same factors, and when the status
                // is 0 the same solution
                for (const int helpers : {0, 1}) {
                    dz::HelperCrew crew(helpers);
                    Matrices f = solver(n);
                    NXN_MATRIX both(a.size());
                    for (std::size_t i = 0; i < un; ++i) {
                        for (std::size_t j = 0; j < un; ++j) both[j * un + i] = a[i * un + j];
                    }
                    N_VECTOR x = rhs;
                    int both_status = -1;
                    f.LU_FACTOR_SOLVE_COLUMNS(both, x, both_status, crew);
                    ASSERT_EQ(both_status, status);
                    ASSERT_EQ(f.PIVOTS, c.PIVOTS);
                    ASSERT_TRUE(same_matrix(both, cols, a.size())) << "n " << n << " helpers " << helpers;
                    if (status == 0) {
                        ASSERT_TRUE(same_matrix(x, want, un)) << "n " << n << " fill " << static_cast<int>(fill)
                                                              << " kind " << kind << " helpers " << helpers;
                    }
                }
            }
        }
    }
    EXPECT_EQ(compared, 9 * 5 * 6);
}

}  // namespace
