// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// B-spline toolkit: knot-interval search, B-spline values and derivatives.

#include <array>

#include "core_types/real.hpp"

namespace dz {

// State kept between calls lives in this object, which the caller owns and
// keeps for as long as its working state lives; a BSplines is therefore not
// reentrant, and one object must not be used from two threads at once.
//
// Arrays are counted from 1 in the descriptions below: element i of an array
// argument sits at pointer offset i - 1.
class BSplines {
public:
    // Lower end of KNOT_INTERVAL's search bracket. Starts at 1; after a search
    // that ends with flag 0 it is the interval found. Must stay >= 1.
    int LAST_INTERVAL = 1;
    // Order held by the value array when BSPL_VALUES last returned; 1 at start.
    int BSPL_LEVEL = 1;
    // DELTA_L[j - 1] = x - t[left + 1 - j], DELTA_R[j - 1] = t[left + j] - x,
    // as written by the order steps of the last BSPL_VALUES call.
    std::array<Real, 20> DELTA_L{};
    std::array<Real, 20> DELTA_R{};

    // KNOT_INTERVAL: find left with xt[left] <= x < xt[left + 1].
    //
    // Usual call: KNOT_INTERVAL(t, n + k, x, left, flag) before BSPL_VALUES or
    // BSPL_DERIVS, for a run of increasing x.
    //
    // xt    on entry, the knots xt[1..lxt], non-decreasing; unchanged.
    // lxt   on entry, the number of knots, lxt >= 1; unchanged.
    // x     on entry, the point whose interval is wanted; unchanged.
    // left  on return, the interval index as in the table below.
    // flag  on return:
    //         -1  x < xt[1]                        left = 1
    //          0  xt[left] <= x < xt[left + 1]      left = the largest such
    //          1  x >= xt[lxt]                      left = lxt
    //       Neither -1 nor 1 is an error for this routine; a caller that
    //       evaluates B-splines with left = lxt will read knots past the end.
    //
    // State: starts the search at LAST_INTERVAL and writes it back. The result
    // does not depend on LAST_INTERVAL (any value >= 1, also one > lxt); only
    // the number of comparisons does.
    //
    // Not checked: lxt >= 1 and xt non-decreasing, else the result is
    // undefined; LAST_INTERVAL >= 1, else xt[0] is read.
    //
    // Method: test the bracket [LAST_INTERVAL, LAST_INTERVAL + 1]; if x lies
    // below it, step down with doubling steps; if above, step up one knot and
    // bracket the rest up to xt[lxt]; then bisect.
    void KNOT_INTERVAL(const Real* xt, int lxt, Real x, int& left, int& flag);

    // BSPL_VALUES: values at x of the B-splines of order jhigh that can be
    // non-zero on the interval [t[left], t[left + 1]).
    //
    // Usual call: BSPL_VALUES(t, k, 1, x, left, values) after KNOT_INTERVAL.
    //
    // t       on entry, the knots, non-decreasing, at least up to
    //         t[left + jhigh - 1]; unchanged.
    // jhigh   on entry, the order wanted, at most 21.
    // index   on entry, 1 to start afresh from order 1; any other value to
    //         continue from the order BSPL_LEVEL that values already holds.
    // x       on entry, the point, t[left] <= x <= t[left + 1] for exact
    //         values; unchanged.
    // left    on entry, the interval index; unchanged.
    // values  on entry with index != 1, the column of order BSPL_LEVEL from
    //         the previous call at the same x and left. On return, entries
    //         1..J with J = max(jhigh, 1) for index 1, max(jhigh, BSPL_LEVEL)
    //         otherwise: entry i is the B-spline that starts at t[left - J + i]
    //         and ends at t[left + i]. Room for max(jhigh, 1) reals; entries
    //         past J are not touched.
    //
    // No status. Entries of B-splines that would start before t[1] are 0,
    // except entry 1 when the last order step went from left to left + 1:
    // that entry holds the part of the recurrence that needs no knot before
    // t[1]. Callers skip those entries.
    //
    // State: reads and writes BSPL_LEVEL (= J on return); writes DELTA_R[j]
    // and, where t[left + 1 - j] exists, DELTA_L[j] for every order step j.
    //
    // Not checked: t[left] < t[left + 1], else division by zero; knots
    // present up to t[left + jhigh - 1]; jhigh <= 21.
    //
    // Method: Cox-de Boor recurrence, raising the order one step at a time
    // and rebuilding the column in place from the bottom up:
    //   B(i, j+1) = DL(j+1-i)/(DR(i)+DL(j+1-i)) B(i-1, j)
    //             + DR(i)/(DR(i)+DL(j+1-i)) B(i, j).
    void BSPL_VALUES(const Real* t, int jhigh, int index, Real x, int left, Real* values);

    // BSPL_DERIVS: values and derivatives at x of the k B-splines of order k
    // that can be non-zero on [t[left], t[left + 1]).
    //
    // Usual call: BSPL_DERIVS(t, k, x, left, d, 1) for values only, or with
    // nderiv = 2 for values and slopes.
    //
    // t       on entry, the knots, as for BSPL_VALUES with jhigh = k.
    // k       on entry, the order, 1 <= k <= 20.
    // x       on entry, the point, t[left] <= x <= t[left + 1] for exact
    //         values; unchanged.
    // left    on entry, the interval index; unchanged.
    // d       on return, the k x k table stored column after column:
    //         d[(m - 1) * k + (i - 1)] = D(i, m) is the (m - 1)-th derivative
    //         of B-spline i (numbered as for BSPL_VALUES) for m = 1..mhigh;
    //         every other element is 0. Room for k * k reals.
    // nderiv  on entry, the number of columns wanted; mhigh is nderiv limited
    //         to 1..k, so 0 or less gives values only.
    //
    // No status. B-splines that would start before t[1] get meaningless
    // entries; callers skip them as for BSPL_VALUES.
    //
    // State: calls BSPL_VALUES, so it writes DELTA_L, DELTA_R and leaves
    // BSPL_LEVEL = k.
    //
    // Not checked: t[left] < t[left + 1], else division by zero; knots
    // present up to t[left + k - 1]; k <= 20.
    //
    // Method: values of orders k + 1 - mhigh .. k by BSPL_VALUES, the lower
    // orders parked in the derivative columns; the coefficients of the
    // B-splines are then differenced (m - 1) times, with the factor
    // (k + 1 - m) / (t[i + k + 1 - m] - t[i]), and combined with the values
    // of order k + 1 - m to give the (m - 1)-th derivatives.
    void BSPL_DERIVS(const Real* t, int k, Real x, int left, Real* d, int nderiv);
};

}  // namespace dz
