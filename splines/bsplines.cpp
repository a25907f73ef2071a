// SPDX-License-Identifier: GPL-3.0-or-later
#include "splines/bsplines.hpp"

namespace dz {

void BSplines::KNOT_INTERVAL(const Real* xt, int lxt, Real x, int& left, int& flag) {
    // xt[i], counted from 1
    const auto at = [xt](int i) { return xt[i - 1]; };
    int& lo = LAST_INTERVAL;  // every change to lo persists into the next call
    int hi = lo + 1;

    // the remembered bracket reaches the last knot (or past it)
    if (hi >= lxt) {
        if (!(x < at(lxt))) {
            left = lxt;
            flag = 1;
            return;
        }
        if (lxt <= 1) {
            left = 1;
            flag = -1;
            return;
        }
        lo = lxt - 1;
        hi = lxt;
    }

    if (!(x < at(hi))) {
        // search upward: one knot, then leave the rest to the bisection
        lo = hi;
        hi = lo + 1;
        if (!(hi < lxt && x < at(hi))) {
            if (!(x < at(lxt))) {
                left = lxt;
                flag = 1;
                return;
            }
            hi = lxt;
        }
    } else if (!(x < at(lo))) {
        // x lies in the remembered interval
        left = lo;
        flag = 0;
        return;
    } else {
        // search downward with doubling steps until xt[lo] <= x
        int step = 1;
        for (;;) {
            hi = lo;
            lo = hi - step;
            if (lo <= 1) {
                lo = 1;
                if (x < at(1)) {
                    left = 1;
                    flag = -1;
                    return;
                }
                break;
            }
            if (!(x < at(lo))) {
                break;
            }
            step = 2 * step;
        }
    }

    // bisect, keeping xt[lo] <= x < xt[hi]
    for (;;) {
        const int middle = (lo + hi) / 2;
        if (middle == lo) {
            left = lo;
            flag = 0;
            return;
        }
        if (x < at(middle)) {
            hi = middle;
        } else {
            lo = middle;
        }
    }
}

void BSplines::BSPL_VALUES(const Real* t, int jhigh, int index, Real x, int left, Real* values) {
    // t[i], values[i], DELTA_L[j] and DELTA_R[j], counted from 1
    const auto tk = [t](int i) { return t[i - 1]; };
    const auto val = [values](int i) -> Real& { return values[i - 1]; };
    const auto dl = [this](int j) -> Real& { return DELTA_L[j - 1]; };
    const auto dr = [this](int j) -> Real& { return DELTA_R[j - 1]; };
    int& j = BSPL_LEVEL;

    // start afresh from the single B-spline of order 1
    if (index == 1) {
        j = 1;
        val(1) = 1;
    }

    // raise the order from j to j + 1 until it reaches jhigh
    while (j < jhigh) {
        const int jp1 = j + 1;
        dr(j) = tk(left + j) - x;
        // with no knot t[left + 1 - j] DELTA_L[j] keeps its old value; the
        // entries that would read it are zeroed below
        if (left + 1 > j) {
            dl(j) = x - tk(left + 1 - j);
        }

        // rebuild the column in place, bottom up: step i reads values[i]
        // before anything overwrites it
        Real carry = 0;
        for (int i = j; i >= 1; --i) {
            if (left + i < jp1) {
                // this B-spline would need the knot t[left + i - j] < t[1]
                val(i + 1) = 0;
            } else {
                const Real term = val(i) / (dr(i) + dl(jp1 - i));
                val(i + 1) = carry + dl(jp1 - i) * term;
                carry = dr(i) * term;
            }
        }
        val(1) = j > left ? Real{0} : carry;
        j = jp1;
    }
}

void BSplines::BSPL_DERIVS(const Real* t, int k, Real x, int left, Real* d, int nderiv) {
    // t[i] and D(i, m), counted from 1
    const auto tk = [t](int i) { return t[i - 1]; };
    const auto dd = [d, k](int i, int m) -> Real& { return d[(m - 1) * k + (i - 1)]; };

    // number of columns to fill, limited to 1..k
    int mhigh = nderiv <= k ? nderiv : k;
    if (mhigh < 1) {
        mhigh = 1;
    }
    const int kp1 = k + 1;

    // clear the whole table
    for (int n = 0; n < k * k; ++n) {
        d[n] = 0;
    }

    // values of the lowest order needed
    BSPL_VALUES(t, kp1 - mhigh, 1, x, left, d);
    if (mhigh == 1) {
        return;
    }

    // raise the order column by column, parking the values of order k + 1 - m
    // in column m, rows m..k, level with the rows of column 1
    int ideriv = mhigh;
    for (int m = 2; m <= mhigh; ++m) {
        for (int j = ideriv; j <= k; ++j) {
            dd(j, ideriv) = dd(j - ideriv + 1, 1);
        }
        ideriv = ideriv - 1;
        BSPL_VALUES(t, kp1 - ideriv, 2, x, left, d);
    }

    // coefficient matrix: A(p, q) is coefficient p of B-spline q, the
    // identity to begin with; only p >= q - 1 is ever read
    std::array<Real, 20 * 20> a_store;
    const auto a = [&a_store, k](int p, int q) -> Real& { return a_store[(q - 1) * k + (p - 1)]; };
    for (int q = 1; q <= k; ++q) {
        for (int p = 1; p <= k; ++p) {
            a(p, q) = p == q ? Real{1} : Real{0};
        }
    }

    for (int m = 2; m <= mhigh; ++m) {
        // difference the coefficients once more, rows k down to m
        const int kp1mm = kp1 - m;
        const Real f = static_cast<Real>(kp1mm);
        int il = left;
        int i = k;
        for (int rep = 1; rep <= kp1mm; ++rep) {
            // rows of B-splines that start before t[1] are left alone
            if (il >= 1) {
                const Real factor = f / (tk(il + kp1mm) - tk(il));
                for (int j = 1; j <= i; ++j) {
                    a(i, j) = (a(i, j) - a(i - 1, j)) * factor;
                }
            }
            il = il - 1;
            i = i - 1;
        }

        // combine with the parked values of order k + 1 - m; row i reads only
        // rows j >= i, so column m can be overwritten in place
        for (int row = 1; row <= k; ++row) {
            Real sum = 0;
            for (int j = row > m ? row : m; j <= k; ++j) {
                sum = a(j, row) * dd(j, m) + sum;
            }
            dd(row, m) = sum;
        }
    }
}

}  // namespace dz
