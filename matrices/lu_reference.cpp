// SPDX-License-Identifier: GPL-3.0-or-later
// The reference LU elimination and its solve, with the column helpers it is
// written in (documented in matrices.hpp). These stay as plain as the
// elimination is defined: the fast factorisations are measured against them.

#include <cmath>
#include <utility>

#include "matrices/matrices.hpp"

namespace dz {

int Matrices::PIVOT_INDEX(int n, const NXN_MATRIX& m, int i, int j) const
{
    if (n < 1) {
        return 0;
    }
    int best = 1;
    Real big = std::fabs(m[MAT_INDEX(i, j)]);
    // move on only to a strictly larger magnitude
    for (int p = 2; p <= n; ++p) {
        const Real a = std::fabs(m[MAT_INDEX(i + p - 1, j)]);
        if (a > big) {
            best = p;
            big = a;
        }
    }
    return best;
}

void Matrices::SCALE_VEC(int n, Real t, NXN_MATRIX& m, int i, int j) const
{
    for (int p = 1; p <= n; ++p) {
        Real& x = m[MAT_INDEX(i + p - 1, j)];
        x = x * t;
    }
}

void Matrices::AXPY_VEC(int n, Real t, NXN_MATRIX& m, int i1, int j1, int i2, int j2) const
{
    if (n < 1 || t == 0) {
        return;
    }
    for (int p = 1; p <= n; ++p) {
        const Real s = m[MAT_INDEX(i1 + p - 1, j1)];
        Real& y = m[MAT_INDEX(i2 + p - 1, j2)];
        y = s * t + y;
    }
}

void Matrices::LU_FACTOR_REFERENCE(NXN_MATRIX& m, int& status)
{
    const int n = MAT_ORDER;
    status = 0;
    PIVOTS.resize(static_cast<std::size_t>(n));
    for (int k = 1; k <= n - 1; ++k) {
        // find the pivot
        const int l = PIVOT_INDEX(n - k + 1, m, k, k) + k - 1;
        PIVOTS[static_cast<std::size_t>(k - 1)] = l;

        // a zero pivot leaves the column untouched
        if (m[MAT_INDEX(l, k)] == 0) {
            status = k;
            continue;
        }

        // interchange if necessary
        if (l != k) {
            std::swap(m[MAT_INDEX(l, k)], m[MAT_INDEX(k, k)]);
        }

        // compute multipliers
        const Real t = -1.0L / m[MAT_INDEX(k, k)];
        SCALE_VEC(n - k, t, m, k + 1, k);

        // row elimination with column indexing
        for (int j = k + 1; j <= n; ++j) {
            const Real tj = m[MAT_INDEX(l, j)];
            if (l != k) {
                m[MAT_INDEX(l, j)] = m[MAT_INDEX(k, j)];
                m[MAT_INDEX(k, j)] = tj;
            }
            AXPY_VEC(n - k, tj, m, k + 1, k, k + 1, j);
        }
    }
    PIVOTS[static_cast<std::size_t>(n - 1)] = n;
    if (m[MAT_INDEX(n, n)] == 0) {
        status = n;
    }
}

void Matrices::LU_SOLVE(const NXN_MATRIX& m, N_VECTOR& b) const
{
    const int n = MAT_ORDER;

    // solve L y = b
    for (int k = 1; k <= n - 1; ++k) {
        const int l = PIVOTS[static_cast<std::size_t>(k - 1)];
        const Real t = b[static_cast<std::size_t>(l - 1)];
        if (l != k) {
            b[static_cast<std::size_t>(l - 1)] = b[static_cast<std::size_t>(k - 1)];
            b[static_cast<std::size_t>(k - 1)] = t;
        }
        if (t != 0) {
            for (int p = 1; p <= n - k; ++p) {
                Real& y = b[static_cast<std::size_t>(k + p - 1)];
                y = t * m[MAT_INDEX(k + p, k)] + y;
            }
        }
    }

    // solve U x = y
    for (int k = n; k >= 1; --k) {
        Real& bk = b[static_cast<std::size_t>(k - 1)];
        bk = bk / m[MAT_INDEX(k, k)];
        const Real t = -bk;
        if (t != 0) {
            for (int p = 1; p <= k - 1; ++p) {
                Real& y = b[static_cast<std::size_t>(p - 1)];
                y = t * m[MAT_INDEX(p, k)] + y;
            }
        }
    }
}

}  // namespace dz
