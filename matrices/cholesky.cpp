// SPDX-License-Identifier: GPL-3.0-or-later
// Cholesky factorisation and solve (documented in matrices.hpp).

#include <cmath>

#include "matrices/matrices.hpp"

namespace dz {

void Matrices::CHOL_FACTOR(NXN_MATRIX& m, int& status) const
{
    const int n = MAT_ORDER;
    status = 0;
    for (int k = 1; k <= n; ++k) {
        // test the pivot
        const Real d = m[MAT_INDEX(k, k)];
        if (!(d > 0)) {
            status = k;
            return;
        }
        const Real s = std::sqrt(d);
        m[MAT_INDEX(k, k)] = s;

        // update the rows below, then scale element (k, i) of row k
        for (int i = k + 1; i <= n; ++i) {
            const Real rki = m[MAT_INDEX(k, i)];
            for (int j = i; j <= n; ++j) {
                Real& a = m[MAT_INDEX(i, j)];
                a = a - (rki * m[MAT_INDEX(k, j)]) / d;
            }
            m[MAT_INDEX(k, i)] = rki / s;
        }
    }
}

void Matrices::CHOL_SOLVE(const NXN_MATRIX& m, N_VECTOR& b) const
{
    const int n = MAT_ORDER;

    // solve R^T y = b
    for (int i = 1; i <= n; ++i) {
        Real s = b[static_cast<std::size_t>(i - 1)];
        for (int j = 1; j <= i - 1; ++j) {
            s = s - m[MAT_INDEX(j, i)] * b[static_cast<std::size_t>(j - 1)];
        }
        b[static_cast<std::size_t>(i - 1)] = s / m[MAT_INDEX(i, i)];
    }

    // solve R x = y
    for (int i = n; i >= 1; --i) {
        Real s = b[static_cast<std::size_t>(i - 1)];
        for (int j = i + 1; j <= n; ++j) {
            s = s - m[MAT_INDEX(i, j)] * b[static_cast<std::size_t>(j - 1)];
        }
        b[static_cast<std::size_t>(i - 1)] = s / m[MAT_INDEX(i, i)];
    }
}

}  // namespace dz
