// SPDX-License-Identifier: GPL-3.0-or-later
// The routines of one block of steps (documented in lu_block_steps.hpp).

#include "matrices/lu_block_steps.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#include "matrices/real_encoding.hpp"

namespace dz::lu_block {

namespace {

using real_encoding::is_canonical_finite;
using real_encoding::is_plus_zero;
using real_encoding::kept_by_zero_updates;

constexpr int kMaxBlock = Matrices::LU_MAX_BLOCK;

// The two ways update_rows loads multiplier l_r(i): as the real itself, or
// as its exact pair of doubles (rule 4). column(r) gives the accessor of
// l_r, whose [i] is l_r(i).
struct RealMultipliers {
    struct Column {
        const Real* l;
        Real operator[](int i) const { return l[i]; }
    };
    const Real* const* cols;
    Column column(int r) const { return {cols[r]}; }
};

struct SplitMultipliers {
    struct Column {
        const double* hi;
        const double* lo;
        Real operator[](int i) const { return static_cast<Real>(hi[i]) + lo[i]; }
    };
    const double* const* hi;
    const double* const* lo;
    Column column(int r) const { return {hi[r], lo[r]}; }
};

// c(i) := l_r(i) * t_r + c(i) for r = 0 .. nt - 1 in turn, rows i = first ..
// n - 1, six rows at a time held in registers; l_r as `load` gives it.
template <class Load>
void update_rows(Real* c, const Load& load, const Real* ts, int nt, int first, int n)
{
    int i = first;
    for (; i + 6 <= n; i += 6) {
        Real v0 = c[i];
        Real v1 = c[i + 1];
        Real v2 = c[i + 2];
        Real v3 = c[i + 3];
        Real v4 = c[i + 4];
        Real v5 = c[i + 5];
        for (int r = 0; r < nt; ++r) {
            const typename Load::Column l = load.column(r);
            const Real t = ts[r];
            v0 = l[i] * t + v0;
            v1 = l[i + 1] * t + v1;
            v2 = l[i + 2] * t + v2;
            v3 = l[i + 3] * t + v3;
            v4 = l[i + 4] * t + v4;
            v5 = l[i + 5] * t + v5;
        }
        c[i] = v0;
        c[i + 1] = v1;
        c[i + 2] = v2;
        c[i + 3] = v3;
        c[i + 4] = v4;
        c[i + 5] = v5;
    }
    for (; i < n; ++i) {
        Real v = c[i];
        for (int r = 0; r < nt; ++r) {
            v = load.column(r)[i] * ts[r] + v;
        }
        c[i] = v;
    }
}

}  // namespace

bool split_real(const Real& x, double& h, double& l)
{
    h = static_cast<double>(x);
    l = static_cast<double>(x - static_cast<Real>(h));
    if (x == 0) {
        l = h;  // a zero keeps its sign: -0 + -0 is -0
    }
    // Compared as numbers, in registers: the sum is a canonical encoding, so
    // it has x's bits when x is canonical and finite and equal to it (the
    // sign of a zero is kept above). Storing the sum to compare its bytes
    // would stall each element on a store that the load cannot take from.
    const Real back = static_cast<Real>(h) + static_cast<Real>(l);
    return back == x && is_canonical_finite(x);
}

void take_column(Block& b, const Real* a, int n, int q, int bottom, const Real& tail)
{
    const int k = b.ka + q;
    const Real* c = a + static_cast<std::ptrdiff_t>(k) * n;
    Real* p = b.perm + static_cast<std::ptrdiff_t>(q) * n;
    double* hi = b.hi + static_cast<std::ptrdiff_t>(q) * n;
    double* lo = b.lo + static_cast<std::ptrdiff_t>(q) * n;
    bool exact = true;
    int last = k;  // last row whose multiplier is not zero (NaN counts as not zero)
    const int end = std::min(bottom + 1, n);
    for (int i = k + 1; i < end; ++i) {
        std::memcpy(&p[i], &c[i], sizeof(Real));
        if (!(c[i] == 0)) {
            last = i;
        }
        double h = 0;
        double l = 0;
        exact = split_real(c[i], h, l) && exact;
        hi[i] = h;
        lo[i] = l;
    }
    if (std::max(end, k + 1) < n) {
        double h = 0;
        double l = 0;
        exact = split_real(tail, h, l) && exact;
        for (int i = std::max(end, k + 1); i < n; ++i) {
            std::memcpy(&p[i], &tail, sizeof(Real));
            hi[i] = h;
            lo[i] = l;
        }
        if (!(tail == 0)) {
            last = n - 1;
        }
    }
    b.split[q] = exact ? 1 : 0;
    b.zend = std::max(b.zend, last + 1);
}

void swap_rows(Block& b, int n, int q, int r, int s)
{
    b.zend = std::max({b.zend, r + 1, s + 1});  // a non-zero may move down
    for (int e = 0; e < q; ++e) {
        const std::ptrdiff_t at = static_cast<std::ptrdiff_t>(e) * n;
        std::swap(b.perm[at + r], b.perm[at + s]);
        std::swap(b.hi[at + r], b.hi[at + s]);
        std::swap(b.lo[at + r], b.lo[at + s]);
    }
}

void apply_block(const Block& b, Real* c, int n, int& bottom)
{
    const int ka = b.ka;
    const int kb = ka + b.width;

    // interchange as the steps would
    for (int q = 0; q < b.width; ++q) {
        const int l = b.row[q];
        if (l >= 0 && l != ka + q) {
            std::swap(c[ka + q], c[l]);
            if (l > bottom && !is_plus_zero(c[l])) {
                bottom = l;
            }
        }
    }

    // the top rows: row k gets the earlier steps and is then the t of step k
    std::array<int, kMaxBlock> act;  // steps (from ka) with a non-zero t, in order
    std::array<Real, kMaxBlock> ts;  // their t
    int nt = 0;
    bool split = true;
    for (int q = 0; q < b.width; ++q) {
        const int k = ka + q;
        const std::ptrdiff_t at = static_cast<std::ptrdiff_t>(q) * b.tri_stride;
        Real v = c[k];
        if (split) {
            const double* hi = b.tri_hi + at;
            const double* lo = b.tri_lo + at;
            for (int r = 0; r < nt; ++r) {
                v = (static_cast<Real>(hi[act[r]]) + lo[act[r]]) * ts[r] + v;
            }
        } else {
            const Real* multipliers = b.tri + at;
            for (int r = 0; r < nt; ++r) {
                v = multipliers[act[r]] * ts[r] + v;
            }
        }
        c[k] = v;
        if (b.row[q] >= 0 && v != 0) {
            act[nt] = q;
            ts[nt] = v;
            split = split && b.split[q] != 0;
            ++nt;
        }
    }

    if (nt == 0) {
        return;
    }

    // the rows where the multipliers are exact zeros: only the values that
    // an added zero can change, and none below bottom (rule 5)
    int end = n;
    if (b.zend < n && std::all_of(ts.begin(), ts.begin() + nt, [](Real t) { return std::isfinite(t); })) {
        end = std::max(b.zend, kb);
        for (int i = end; i <= std::min(bottom, n - 1); ++i) {
            if (kept_by_zero_updates(c[i])) {
                continue;
            }
            Real v = c[i];
            for (int r = 0; r < nt; ++r) {
                v = b.perm[static_cast<std::ptrdiff_t>(act[r]) * n + i] * ts[r] + v;
            }
            c[i] = v;
        }
    }
    bottom = std::max(bottom, end - 1);  // rows ka .. end - 1 may no longer be +0

    // the lower rows down to where the multipliers end, every update in register
    if (split) {
        std::array<const double*, kMaxBlock> his;
        std::array<const double*, kMaxBlock> los;
        for (int r = 0; r < nt; ++r) {
            his[r] = b.hi + static_cast<std::ptrdiff_t>(act[r]) * n;
            los[r] = b.lo + static_cast<std::ptrdiff_t>(act[r]) * n;
        }
        update_rows(c, SplitMultipliers{his.data(), los.data()}, ts.data(), nt, kb, end);
    } else {
        std::array<const Real*, kMaxBlock> cols;
        for (int r = 0; r < nt; ++r) {
            cols[r] = b.perm + static_cast<std::ptrdiff_t>(act[r]) * n;
        }
        update_rows(c, RealMultipliers{cols.data()}, ts.data(), nt, kb, end);
    }
}

}  // namespace dz::lu_block
