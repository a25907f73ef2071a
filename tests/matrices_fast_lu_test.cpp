// SPDX-License-Identifier: GPL-3.0-or-later
// The fast factorisations and the solve on columns against the reference,
// bit for bit, on matrices made to reach every shortcut they take.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "parallel/helper_threads.hpp"
#include "matrices/lu_block_steps.hpp"
#include "matrices/matrices.hpp"
#include "matrices/real_encoding.hpp"
#include "tests/matrices_test_support.hpp"

namespace {

// the solver types and the shared helpers, unqualified
using namespace dz::matrices_test;

// True when a multiplier of the factors f (rows, as LU_FACTOR leaves them)
// has no exact pair of doubles, so that the blocked update must take its
// column from the reals.
bool has_unsplit_multiplier(const NXN_MATRIX& f, int n)
{
    for (int i = 1; i < n; ++i) {
        for (int j = 0; j < i; ++j) {
            double h = 0;
            double l = 0;
            if (!dz::lu_block::split_real(f[static_cast<std::size_t>(i * n + j)], h, l)) {
                return true;
            }
        }
    }
    return false;
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
    int zero_status = 0;
    int unsplit = 0;  // factors with a multiplier that has no exact pair of doubles
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
            unsplit += has_unsplit_multiplier(want, n) ? 1 : 0;
            N_VECTOR want_x(static_cast<std::size_t>(n), 1);
            ref.LU_SOLVE(want, want_x);

            auto check = [&](Matrices& s, const NXN_MATRIX& got, int got_status, const char* what) {
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
                NXN_MATRIX cols = transposed(a, n);
                int status = -1;
                c.LU_FACTOR_COLUMNS(cols, status);
                const NXN_MATRIX rows = transposed(cols, n);
                EXPECT_EQ(status, want_status) << "columns n = " << n;
                EXPECT_EQ(c.PIVOTS, ref.PIVOTS) << "columns n = " << n;
                EXPECT_TRUE(same_matrix(rows, want, nn)) << "columns n = " << n;
                N_VECTOR x(static_cast<std::size_t>(n), 1);
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
    // the fills above must have produced zero pivots, and multipliers that
    // the update must load as reals, or half the test is idle
    EXPECT_GE(zero_status, static_cast<int>(orders.size()) / 2);
    EXPECT_GE(unsplit, static_cast<int>(orders.size()));
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
    int systems = 0;
    int solved_along = 0;  // systems whose solution LU_FACTOR_SOLVE_COLUMNS was held to
    int odd_solutions = 0;  // solutions with values that an added zero changes
    for (const int n : {1, 2, 5, 9, 17, 40, 97, 160, 250}) {
        for (const Fill fill : {Fill::banded, Fill::dense, Fill::small_integers, Fill::special, Fill::long_pivots}) {
            const NXN_MATRIX a = test_matrix(n, fill, gen);
            const auto un = static_cast<std::size_t>(n);
            Matrices ref = solver(n);
            NXN_MATRIX rows = a;
            int status = -1;
            ref.LU_FACTOR_REFERENCE(rows, status);
            ++systems;
            solved_along += status == 0 ? 1 : 0;
            Matrices c = solver(n);
            NXN_MATRIX cols = transposed(a, n);
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
                odd_solutions += std::any_of(want.begin(), want.end(),
                                             [](const Real& v) { return !dz::real_encoding::kept_by_zero_updates(v); })
                                     ? 1
                                     : 0;
                ASSERT_TRUE(same_matrix(got, want, un)) << "n " << n << " fill " << static_cast<int>(fill)
                                                        << " kind " << kind;
                // the right-hand side carried along the elimination, with a
                // helper and without: the same factors, and when the status
                // is 0 the same solution
                for (const int helpers : {0, 1}) {
                    dz::HelperCrew crew(helpers);
                    Matrices f = solver(n);
                    NXN_MATRIX both = transposed(a, n);
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
    // most systems must be regular, or the solve carried along the
    // elimination is rarely held to anything; and the odd values must
    // reach the solutions, or the rows that the shortcuts must not pass
    // over are never compared
    EXPECT_GE(solved_along, systems / 2);
    EXPECT_GE(odd_solutions, systems * 6 / 2);  // half the right-hand sides
}

}  // namespace
