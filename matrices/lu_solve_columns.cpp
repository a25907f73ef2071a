// SPDX-License-Identifier: GPL-3.0-or-later
// The solve on factors held column after column, LU_SOLVE_COLUMNS
// (documented in matrices.hpp): the operations of LU_SOLVE, element for
// element, with the updates by exact zeros passed over where they cannot
// change a value.

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "matrices/matrices.hpp"
#include "matrices/real_encoding.hpp"

namespace dz {

namespace {

using real_encoding::is_zero;
using real_encoding::kept_by_zero_updates;

// The rows of b that an update by an exact zero might change (values that
// kept_by_zero_updates refuses) all lie in lo .. hi; empty when lo > hi.
// Widened whenever such a value is written, never narrowed.
class OddRows {
public:
    explicit OddRows(const N_VECTOR& b, int n)
    {
        for (int i = 0; i < n; ++i) note(b, i);
    }
    void note(const N_VECTOR& b, int i)
    {
        if (!kept_by_zero_updates(b[static_cast<std::size_t>(i)])) widen(i);
    }
    // The same for v, just computed (and so canonical) and stored in row i:
    // told from the number itself rather than from the bytes just stored.
    void note_computed(int i, Real v)
    {
        const Real m = std::fabs(v);
        const bool normal = m >= std::numeric_limits<Real>::min() && m <= std::numeric_limits<Real>::max();
        if (!normal && !(v == 0 && !std::signbit(v))) widen(i);
    }
    void widen(int i)
    {
        lo = std::min(lo, i);
        hi = std::max(hi, i);
    }
    int lo = std::numeric_limits<int>::max();
    int hi = -1;
};

// Columns of U taken together in the back substitution, their updates of
// one element made while it sits in a register.
constexpr int kSolveGroup = 4;

}  // namespace

void Matrices::LU_SOLVE_COLUMNS(const NXN_MATRIX& a, N_VECTOR& b) const
{
    forward_substitute_columns(a, b);
    back_substitute_columns(a, b);
}

void Matrices::forward_substitute_columns(const NXN_MATRIX& a, N_VECTOR& b) const
{
    const int n = MAT_ORDER;
    auto col = [&a, n](int j) { return a.data() + static_cast<std::ptrdiff_t>(j) * n; };
    auto at = [&b](int i) -> Real& { return b[static_cast<std::size_t>(i)]; };
    OddRows odd(b, n);

    // solve L y = b, 0-based: step k, multipliers in column k below row k
    for (int k = 0; k < n - 1; ++k) {
        const int l = PIVOTS[static_cast<std::size_t>(k)] - 1;
        const Real t = at(l);
        if (l != k) {
            at(l) = at(k);
            at(k) = t;
            odd.note(b, l);
            odd.note(b, k);
        }
        if (t == 0) {
            continue;
        }
        const Real* c = col(k);
        int end = n;  // rows end .. n - 1 have zero multipliers
        while (end > k + 1 && is_zero(c[end - 1])) {
            --end;
        }
        for (int i = k + 1; i < end; ++i) {
            const Real v = t * c[i] + at(i);
            at(i) = v;
            odd.note_computed(i, v);
        }
        const bool finite = std::isfinite(t);
        const int first = finite ? std::max(end, odd.lo) : end;
        const int last = finite ? std::min(n - 1, odd.hi) : n - 1;
        for (int i = first; i <= last; ++i) {
            if (!finite || !kept_by_zero_updates(at(i))) {
                const Real v = t * c[i] + at(i);
                at(i) = v;
                odd.note_computed(i, v);
            }
        }
    }
}

void Matrices::back_substitute_columns(const NXN_MATRIX& a, N_VECTOR& b) const
{
    const int n = MAT_ORDER;
    auto col = [&a, n](int j) { return a.data() + static_cast<std::ptrdiff_t>(j) * n; };
    auto at = [&b](int i) -> Real& { return b[static_cast<std::size_t>(i)]; };
    OddRows odd(b, n);

    // solve U x = y, from the last column to the first, kSolveGroup at a time
    for (int k = n - 1; k >= 0;) {
        const int k0 = std::max(0, k - kSolveGroup + 1);
        std::array<const Real*, kSolveGroup> cols{};
        std::array<Real, kSolveGroup> ts{};
        int nt = 0;
        bool finite = true;
        int top = k0;  // rows top .. k0 - 1 meet a non-zero of some column
        for (int kk = k; kk >= k0; --kk) {
            const Real* c = col(kk);
            const Real x = at(kk) / c[kk];
            at(kk) = x;
            odd.note_computed(kk, x);
            const Real t = -at(kk);
            if (t == 0) {
                continue;
            }
            for (int p = k0; p < kk; ++p) {
                const Real v = t * c[p] + at(p);
                at(p) = v;
                odd.note_computed(p, v);
            }
            int first = 0;
            while (first < top && is_zero(c[first])) {
                ++first;
            }
            top = std::min(top, first);
            finite = finite && std::isfinite(t);
            cols[static_cast<std::size_t>(nt)] = c;
            ts[static_cast<std::size_t>(nt)] = t;
            ++nt;
        }
        auto update = [&](int p) {
            Real v = at(p);
            for (int r = 0; r < nt; ++r) {
                v = ts[static_cast<std::size_t>(r)] * cols[static_cast<std::size_t>(r)][p] + v;
            }
            at(p) = v;
            odd.note_computed(p, v);
        };
        if (nt > 0) {
            for (int p = top; p < k0; ++p) {
                update(p);
            }
            const int first = finite ? std::max(0, odd.lo) : 0;
            const int last = finite ? std::min(top - 1, odd.hi) : top - 1;
            for (int p = first; p <= last; ++p) {
                if (!finite || !kept_by_zero_updates(at(p))) {
                    update(p);
                }
            }
        }
        k = k0 - 1;
    }
}

}  // namespace dz
