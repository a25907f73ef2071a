// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of the arc functions and the B-spline toolkit.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "splines/arc_trig.hpp"
#include "splines/bsplines.hpp"
#include "tests/same_bits.hpp"

namespace {

using dz::Real;

constexpr Real EPS = std::numeric_limits<Real>::epsilon();  // 2^-63
const Real NaN = std::numeric_limits<Real>::quiet_NaN();

// |a - b| in units in the last place of b (b finite and non-zero).
Real ulps_off(Real a, Real b) {
    const int e = std::ilogb(b);
    return std::fabs(a - b) / std::ldexp(EPS, e);
}

// A clamped knot sequence: k copies of lo, the interior knots, k copies of hi.
std::vector<Real> clamped(int k, Real lo, const std::vector<Real>& interior, Real hi) {
    std::vector<Real> t(static_cast<std::size_t>(k), lo);
    t.insert(t.end(), interior.begin(), interior.end());
    t.insert(t.end(), static_cast<std::size_t>(k), hi);
    return t;
}

// Points spread over [t_first, t_last] plus every knot.
std::vector<Real> sample_points(const std::vector<Real>& t, int count) {
    std::vector<Real> xs;
    const Real lo = t.front();
    const Real hi = t.back();
    for (int n = 0; n <= count; ++n) {
        xs.push_back(lo + (hi - lo) * static_cast<Real>(n) / static_cast<Real>(count));
    }
    xs.insert(xs.end(), t.begin(), t.end());
    return xs;
}

// The interval to evaluate on: KNOT_INTERVAL's answer, except that the last
// knot itself belongs to the last non-empty interval.
int interval_for(dz::BSplines& bs, const std::vector<Real>& t, int k, Real x) {
    int left = 0;
    int flag = 9;
    bs.KNOT_INTERVAL(t.data(), static_cast<int>(t.size()), x, left, flag);
    if (flag == 1) {
        left = static_cast<int>(t.size()) - k;
    }
    return left;
}

constexpr Real QUAD_KNOTS[8] = {0, 0, 0, 20, 40, 60, 60, 60};

// ---------------------------------------------------------------- arc functions

TEST(ArcTrig_EndValues, ExactAtAndBeyondPlusMinusOne) {
    const Real above[] = {1, 1 + EPS, 2, 3, 4, 10, 1e10L, 1e300L};
    for (Real x : above) {
        SCOPED_TRACE(static_cast<double>(x));
        EXPECT_EQ(dz::ARC_COS(x), 0);
        EXPECT_EQ(dz::ARC_COS(-x), dz::PI);
    }
    const Real huge[] = {1.5L, 1e4000L, std::numeric_limits<Real>::max()};
    for (Real x : huge) {
        EXPECT_EQ(dz::ARC_COS(x), 0);
        EXPECT_EQ(dz::ARC_COS(-x), dz::PI);
    }
    // ARC_SIN is exactly pi/2 with the sign of x for every argument past the
    // ends, up to the largest and infinite ones
    const Real exact_sin[] = {1, 2, 3, 4, 10, 1e10L, 1e300L, 1e4000L, std::numeric_limits<Real>::max(),
                              std::numeric_limits<Real>::infinity()};
    for (Real x : exact_sin) {
        SCOPED_TRACE(static_cast<double>(x));
        EXPECT_EQ(dz::ARC_SIN(x), dz::HALF_PI);
        EXPECT_EQ(dz::ARC_SIN(-x), -dz::HALF_PI);
    }
    for (int n = 0; n < 2000; ++n) {
        const Real x = std::ldexp(1 + static_cast<Real>(n) / 2000, n % 200);
        EXPECT_EQ(dz::ARC_SIN(x), dz::HALF_PI) << static_cast<double>(x);
        EXPECT_EQ(dz::ARC_SIN(-x), -dz::HALF_PI) << static_cast<double>(x);
    }
}

TEST(ArcTrig_Interior, KnownAnglesAndInverseRelations) {
    EXPECT_EQ(dz::ARC_COS(0), dz::HALF_PI);
    EXPECT_EQ(dz::ARC_SIN(0), 0);

    const Real pi_6 = 0.523598775598298873077107230546583814L;
    const Real pi_3 = 1.04719755119659774615421446109316763L;
    EXPECT_LE(ulps_off(dz::ARC_SIN(0.5L), pi_6), 2);
    EXPECT_LE(ulps_off(dz::ARC_COS(0.5L), pi_3), 2);
    EXPECT_LE(ulps_off(dz::ARC_SIN(-0.5L), -pi_6), 2);
    EXPECT_LE(ulps_off(dz::ARC_COS(-0.5L), 2 * pi_3), 2);

    // sin and cos undo the arc functions across the open range
    for (int n = -999; n <= 999; ++n) {
        const Real x = static_cast<Real>(n) / 1000;
        const Real s = dz::ARC_SIN(x);
        const Real c = dz::ARC_COS(x);
        SCOPED_TRACE(static_cast<double>(x));
        EXPECT_EQ(dz::ARC_SIN(-x), -s);
        EXPECT_GE(s, -dz::HALF_PI);
        EXPECT_LE(s, dz::HALF_PI);
        EXPECT_GE(c, 0);
        EXPECT_LE(c, dz::PI);
        EXPECT_LE(std::fabs(std::sin(s) - x), 4 * EPS);
        EXPECT_LE(std::fabs(std::cos(c) - x), 4 * EPS);
        EXPECT_LE(std::fabs((s + c) - dz::HALF_PI), 4 * EPS);
    }
}

TEST(ArcTrig_JustInsideRange, TakesArcTangentPath) {
    const Real delta = std::ldexp(Real{1}, -60);
    const Real x = 1 - delta;
    // arccos(1 - d) = sqrt(2 d) (1 + d / 12 + ...); the d / 12 term is far
    // below the rounding of pi/2 - atan(...), which is a few eps absolute
    const Real near_end = std::sqrt(2 * delta);

    const Real c = dz::ARC_COS(x);
    EXPECT_GT(c, 0);
    EXPECT_LE(std::fabs(c - near_end), 4 * EPS);
    const Real s = dz::ARC_SIN(x);
    EXPECT_LT(s, dz::HALF_PI);
    EXPECT_LE(std::fabs((dz::HALF_PI - s) - near_end), 4 * EPS);

    const Real cm = dz::ARC_COS(-x);
    EXPECT_LT(cm, dz::PI);
    EXPECT_LE(std::fabs((dz::PI - cm) - near_end), 4 * EPS);
    const Real sm = dz::ARC_SIN(-x);
    EXPECT_GT(sm, -dz::HALF_PI);
    EXPECT_EQ(sm, -s);
}

// ---------------------------------------------------------------- KNOT_INTERVAL

// The sweeps over many arguments give each element the bits of its own call:
// the end values, the arguments just inside and outside +-1, zeros of both
// signs, subnormals, infinities, NaN, and a spread of ordinary arguments.
TEST(ArcTrig_Many, SameBitsAsOneCallEach) {
    const Real inf = std::numeric_limits<Real>::infinity();
    std::vector<Real> x = {1, -1, 0.0L, -0.0L, std::numeric_limits<Real>::denorm_min(), inf, -inf, NaN,
                           std::nextafter(1.0L, 0.0L), std::nextafter(-1.0L, 0.0L), std::nextafter(1.0L, 2.0L),
                           std::nextafter(-1.0L, -2.0L), 0.5L, -0.5L, 1e-30L, 3.0L};
    for (int k = 0; k < 400; ++k) x.push_back(std::sin(static_cast<Real>(k) * 0.37L) * 1.02L);
    auto same = [](Real a, Real b) { return dz::testing::same_bits(a, b); };
    std::vector<Real> out(x.size(), -7);
    dz::ARC_COS_MANY(x.data(), out.data(), x.size());
    for (std::size_t k = 0; k < x.size(); ++k) {
        ASSERT_TRUE(same(out[k], dz::ARC_COS(x[k]))) << "ARC_COS element " << k;
    }
    std::fill(out.begin(), out.end(), -7);
    dz::ARC_SIN_MANY(x.data(), out.data(), x.size());
    for (std::size_t k = 0; k < x.size(); ++k) {
        ASSERT_TRUE(same(out[k], dz::ARC_SIN(x[k]))) << "ARC_SIN element " << k;
    }
    dz::ARC_COS_MANY(x.data(), out.data(), 0);  // nothing to do, nothing touched
    EXPECT_TRUE(same(out[0], dz::ARC_SIN(x[0])));
}

TEST(KnotInterval_QuadraticKnots, SameAnswerFromAnyStartingBracket) {
    struct Case {
        Real x;
        int left;
        int flag;
    };
    const Case cases[] = {
        {0, 3, 0},     {19.5L, 3, 0}, {20, 4, 0},  {59.9L, 5, 0}, {60, 8, 1},
        {-1, 1, -1},   {40, 5, 0},    {39.99L, 4, 0}, {61, 8, 1}, {-1e30L, 1, -1},
    };
    const int starts[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 12, 1000};
    for (const Case& c : cases) {
        for (int start : starts) {
            SCOPED_TRACE(::testing::Message() << "x " << static_cast<double>(c.x) << " start " << start);
            dz::BSplines bs;
            bs.LAST_INTERVAL = start;
            int left = -7;
            int flag = -7;
            bs.KNOT_INTERVAL(QUAD_KNOTS, 8, c.x, left, flag);
            EXPECT_EQ(left, c.left);
            EXPECT_EQ(flag, c.flag);
            if (flag == 0) {
                EXPECT_EQ(bs.LAST_INTERVAL, left);
            }
            EXPECT_GE(bs.LAST_INTERVAL, 1);
        }
    }
}

TEST(KnotInterval_SingleKnot, BelowOrAtAndAbove) {
    const Real xt[1] = {5};
    const struct {
        Real x;
        int flag;
    } cases[] = {{4.99L, -1}, {5, 1}, {7, 1}, {-100, -1}};
    for (const auto& c : cases) {
        for (int start : {1, 2, 6}) {
            dz::BSplines bs;
            bs.LAST_INTERVAL = start;
            int left = -7;
            int flag = -7;
            bs.KNOT_INTERVAL(xt, 1, c.x, left, flag);
            EXPECT_EQ(left, 1) << static_cast<double>(c.x) << " start " << start;
            EXPECT_EQ(flag, c.flag) << static_cast<double>(c.x) << " start " << start;
        }
    }
}

TEST(KnotInterval_ManyKnotArrays, MatchesLinearScanWithCarriedState) {
    // knot arrays with repeats, of lengths 2 .. 25
    std::vector<std::vector<Real>> arrays;
    for (int lxt = 2; lxt <= 25; ++lxt) {
        std::vector<Real> xt;
        Real v = 0;
        for (int i = 0; i < lxt; ++i) {
            xt.push_back(v);
            if ((i * 7) % 5 != 0) {
                v += static_cast<Real>(1 + (i * 3) % 4);  // some knots repeat
            }
        }
        arrays.push_back(xt);
    }
    // one object for everything: the bracket left by each call, also one from
    // a longer array, is where the next search starts
    dz::BSplines bs;
    for (int sweep = 0; sweep < 3; ++sweep) {
        for (const auto& xt : arrays) {
            const int lxt = static_cast<int>(xt.size());
            std::vector<Real> xs;
            for (Real x = xt.front() - 2; x <= xt.back() + 2; x += 0.25L) {
                xs.push_back(x);
            }
            if (sweep == 1) {
                std::reverse(xs.begin(), xs.end());
            } else if (sweep == 2) {
                for (std::size_t n = 0; n < xs.size(); n += 2) {
                    std::swap(xs[n], xs[xs.size() - 1 - n]);
                }
            }
            for (Real x : xs) {
                int want_left = 1;
                int want_flag = -1;
                if (x >= xt.back()) {
                    want_left = lxt;
                    want_flag = 1;
                } else if (x >= xt.front()) {
                    want_flag = 0;
                    while (xt[static_cast<std::size_t>(want_left)] <= x) {
                        ++want_left;
                    }
                }
                int left = -7;
                int flag = -7;
                bs.KNOT_INTERVAL(xt.data(), lxt, x, left, flag);
                ASSERT_EQ(left, want_left) << "lxt " << lxt << " x " << static_cast<double>(x);
                ASSERT_EQ(flag, want_flag) << "lxt " << lxt << " x " << static_cast<double>(x);
            }
        }
    }
}

// ---------------------------------------------------------------- BSPL_VALUES

TEST(BsplValues_WorkedExamples, QuadraticAndShortLeftEnd) {
    dz::BSplines bs;
    Real v[3] = {NaN, NaN, NaN};
    bs.BSPL_VALUES(QUAD_KNOTS, 3, 1, 10, 3, v);
    EXPECT_LE(std::fabs(v[0] - 0.25L), 2 * EPS);
    EXPECT_LE(std::fabs(v[1] - 0.625L), 2 * EPS);
    EXPECT_LE(std::fabs(v[2] - 0.125L), 2 * EPS);
    EXPECT_LE(std::fabs((v[0] + v[1] + v[2]) - 1), 4 * EPS);
    EXPECT_EQ(bs.BSPL_LEVEL, 3);

    // two knots on the left: entries 2 and 3 are the B-splines starting at
    // t[1] and t[2]; entry 1 is the carry of the last order step
    const Real t2[5] = {0, 0, 50, 50, 50};
    Real w[3] = {NaN, NaN, NaN};
    bs.BSPL_VALUES(t2, 3, 1, 10, 2, w);
    EXPECT_LE(std::fabs(w[0] - 0.64L), 2 * EPS);
    EXPECT_LE(std::fabs(w[1] - 0.32L), 2 * EPS);
    EXPECT_LE(std::fabs(w[2] - 0.04L), 2 * EPS);

    // cubic on the same short left end: the two B-splines that would start
    // before t[1] come back as exact zeros, and the difference with no knot
    // t[left + 1 - 3] is neither written nor read
    const Real t3[6] = {0, 0, 50, 50, 50, 50};
    bs.DELTA_L.fill(NaN);
    bs.DELTA_R.fill(NaN);
    Real c[4] = {NaN, NaN, NaN, NaN};
    bs.BSPL_VALUES(t3, 4, 1, 10, 2, c);
    EXPECT_EQ(c[0], 0);
    EXPECT_EQ(c[1], 0);
    EXPECT_LE(std::fabs(c[2] - 0.096L), 2 * EPS);  // 3 u^2 (1 - u), u = 1/5
    EXPECT_LE(std::fabs(c[3] - 0.008L), 2 * EPS);  // u^3
    EXPECT_TRUE(std::isnan(bs.DELTA_L[2]));
    EXPECT_EQ(bs.DELTA_L[0], 10);
    EXPECT_EQ(bs.DELTA_L[1], 10);
    EXPECT_EQ(bs.DELTA_R[2], 40);
}

TEST(BsplValues_TrivialCalls, OrderOneAndNothingToRaise) {
    for (int jhigh : {1, 0, -3}) {
        dz::BSplines bs;
        bs.BSPL_LEVEL = 5;
        bs.DELTA_L.fill(7);
        bs.DELTA_R.fill(8);
        Real v[2] = {NaN, NaN};
        bs.BSPL_VALUES(QUAD_KNOTS, jhigh, 1, 10, 3, v);
        EXPECT_EQ(v[0], 1) << jhigh;
        EXPECT_TRUE(std::isnan(v[1])) << jhigh;
        EXPECT_EQ(bs.BSPL_LEVEL, 1) << jhigh;
        EXPECT_EQ(bs.DELTA_L[0], 7) << jhigh;
        EXPECT_EQ(bs.DELTA_R[0], 8) << jhigh;
    }
    // continuing to an order not above the one held touches nothing; every
    // index other than 1 continues
    for (int index : {2, 0, -1, 3}) {
        for (int jhigh : {3, 2, 0}) {
            dz::BSplines bs;
            bs.BSPL_LEVEL = 3;
            bs.DELTA_L.fill(7);
            bs.DELTA_R.fill(8);
            Real v[3] = {NaN, 11, 12};
            bs.BSPL_VALUES(QUAD_KNOTS, jhigh, index, 10, 3, v);
            EXPECT_TRUE(std::isnan(v[0]));
            EXPECT_EQ(v[1], 11);
            EXPECT_EQ(v[2], 12);
            EXPECT_EQ(bs.BSPL_LEVEL, 3);
            for (int j = 0; j < 20; ++j) {
                EXPECT_EQ(bs.DELTA_L[static_cast<std::size_t>(j)], 7);
                EXPECT_EQ(bs.DELTA_R[static_cast<std::size_t>(j)], 8);
            }
        }
    }
}

TEST(BsplValues_Continuation, SameBitsAsFreshStart) {
    const std::vector<Real> t = clamped(7, 0, {0.1L, 0.3L, 0.3L, 0.45L, 0.7L, 0.9L}, 1);
    for (int k = 2; k <= 7; ++k) {
        for (int first = 1; first < k; ++first) {
            for (Real x : {0.0L, 0.05L, 0.3L, 0.5L, 0.99L}) {
                dz::BSplines bs;
                const int left = interval_for(bs, t, 7, x);
                std::vector<Real> fresh(7, NaN);
                bs.BSPL_VALUES(t.data(), k, 1, x, left, fresh.data());

                std::vector<Real> stepped(7, NaN);
                bs.BSPL_VALUES(t.data(), first, 1, x, left, stepped.data());
                // an order below the one held leaves it where it is
                bs.BSPL_VALUES(t.data(), first - 1, 2, x, left, stepped.data());
                EXPECT_EQ(bs.BSPL_LEVEL, first);
                bs.BSPL_VALUES(t.data(), k, 2, x, left, stepped.data());
                EXPECT_EQ(bs.BSPL_LEVEL, k);
                for (int i = 0; i < 7; ++i) {
                    const auto n = static_cast<std::size_t>(i);
                    if (i < k) {
                        EXPECT_EQ(stepped[n], fresh[n]) << "k " << k << " first " << first << " i " << i;
                    } else {
                        EXPECT_TRUE(std::isnan(stepped[n]));  // past the order: untouched
                        EXPECT_TRUE(std::isnan(fresh[n]));
                    }
                }
            }
        }
    }
}

TEST(BsplValues_ClampedKnots, NonNegativeAndSumToOne) {
    const std::vector<Real> interior = {0.1L, 0.25L, 0.25L, 0.4L, 0.55L, 0.6L, 0.8L, 0.95L};
    for (int k = 1; k <= 21; ++k) {
        const std::vector<Real> t = clamped(k, 0, interior, 1);
        dz::BSplines bs;
        for (Real x : sample_points(t, 400)) {
            const int left = interval_for(bs, t, k, x);
            std::vector<Real> v(static_cast<std::size_t>(k), NaN);
            bs.BSPL_VALUES(t.data(), k, 1, x, left, v.data());
            Real sum = 0;
            for (Real b : v) {
                ASSERT_GE(b, 0) << "k " << k << " x " << static_cast<double>(x);
                sum += b;
            }
            EXPECT_LE(std::fabs(sum - 1), 2 * k * EPS) << "k " << k << " x " << static_cast<double>(x);
        }
    }
}

// ---------------------------------------------------------------- BSPL_DERIVS

TEST(BsplDerivs_QuadraticExample, ColumnsAsAskedRestZero) {
    struct Want {
        int nderiv;
        int columns;
    };
    const Real exact[3][3] = {
        {0.25L, 0.625L, 0.125L},
        {-1.0L / 20, 1.0L / 40, 1.0L / 40},
        {1.0L / 200, -3.0L / 400, 1.0L / 400},
    };
    // tolerance per column: a few eps of the column's largest entry
    const Real tol[3] = {4 * EPS, 4 * EPS / 20, 8 * EPS / 200};
    const Want wants[] = {{1, 1}, {2, 2}, {3, 3}, {4, 3}, {100, 3}, {0, 1}, {-2, 1}};
    for (const Want& w : wants) {
        for (Real fill : {NaN, Real{99}}) {
            dz::BSplines bs;
            Real d[9];
            std::fill(std::begin(d), std::end(d), fill);
            bs.BSPL_DERIVS(QUAD_KNOTS, 3, 10, 3, d, w.nderiv);
            for (int m = 0; m < 3; ++m) {
                for (int i = 0; i < 3; ++i) {
                    SCOPED_TRACE(::testing::Message() << "nderiv " << w.nderiv << " D(" << i + 1 << ", " << m + 1 << ")");
                    const Real got = d[m * 3 + i];
                    if (m < w.columns) {
                        EXPECT_LE(std::fabs(got - exact[m][i]), tol[m]);
                    } else {
                        EXPECT_EQ(got, 0);
                    }
                }
            }
            EXPECT_EQ(bs.BSPL_LEVEL, 3);
        }
    }
}

TEST(BsplDerivs_ValuesOnly, SameBitsAsBsplValues) {
    const std::vector<Real> t = clamped(5, 0, {0.2L, 0.2L, 0.5L, 0.7L}, 1);
    for (int k = 1; k <= 5; ++k) {
        for (Real x : {0.0L, 0.2L, 0.33L, 0.7L, 0.999L}) {
            dz::BSplines bs;
            const int left = interval_for(bs, t, 5, x);
            std::vector<Real> v(static_cast<std::size_t>(k), NaN);
            bs.BSPL_VALUES(t.data(), k, 1, x, left, v.data());
            std::vector<Real> d(static_cast<std::size_t>(k * k), NaN);
            bs.BSPL_DERIVS(t.data(), k, x, left, d.data(), 1);
            for (int i = 0; i < k; ++i) {
                EXPECT_EQ(d[static_cast<std::size_t>(i)], v[static_cast<std::size_t>(i)]);
            }
            for (int n = k; n < k * k; ++n) {
                EXPECT_EQ(d[static_cast<std::size_t>(n)], 0);
            }
        }
    }
}

// Marsden's identity: (x - y)^(k-1) = sum_i psi_i(y) B_i(x), with
// psi_i(y) = prod_{r=1}^{k-1} (t[s_i + r] - y) for the B-spline starting at
// t[s_i]; differentiating both sides checks every derivative column.
TEST(BsplDerivs_ClampedKnots, ReproduceMarsdenPolynomialAndItsDerivatives) {
    const std::vector<Real> interior = {0.15L, 0.3L, 0.3L, 0.5L, 0.65L, 0.8L};
    const Real y = 0.37L;
    for (int k = 1; k <= 8; ++k) {
        const std::vector<Real> t = clamped(k, 0, interior, 1);
        dz::BSplines bs;
        for (Real x : sample_points(t, 150)) {
            const int left = interval_for(bs, t, k, x);
            std::vector<Real> d(static_cast<std::size_t>(k * k), NaN);
            bs.BSPL_DERIVS(t.data(), k, x, left, d.data(), k);
            for (int m = 1; m <= k; ++m) {
                // exact (m-1)-th derivative of (x - y)^(k-1)
                Real want = 1;
                for (int p = 0; p < m - 1; ++p) {
                    want *= static_cast<Real>(k - 1 - p);
                }
                want *= std::pow(x - y, static_cast<Real>(k - m));
                Real got = 0;
                Real scale = 0;
                Real column_sum = 0;
                Real column_abs = 0;
                for (int i = 1; i <= k; ++i) {
                    Real psi = 1;
                    const int start = left - k + i;
                    for (int r = 1; r <= k - 1; ++r) {
                        psi *= t[static_cast<std::size_t>(start + r - 1)] - y;
                    }
                    const Real dim = d[static_cast<std::size_t>((m - 1) * k + (i - 1))];
                    got += psi * dim;
                    scale += std::fabs(psi * dim);
                    column_sum += dim;
                    column_abs += std::fabs(dim);
                }
                SCOPED_TRACE(::testing::Message() << "k " << k << " m " << m << " x " << static_cast<double>(x));
                EXPECT_LE(std::fabs(got - want), 16 * k * EPS * (scale + std::fabs(want)));
                // the B-splines sum to one, so their derivatives sum to zero
                const Real want_sum = m == 1 ? 1 : 0;
                EXPECT_LE(std::fabs(column_sum - want_sum), 16 * k * EPS * column_abs);
            }
        }
    }
}

TEST(BsplDerivs_LargestOrder, FillsWholeTableAndSlopesSumToZero) {
    const int k = 20;
    const std::vector<Real> t = clamped(k, 0, {0.25L, 0.5L, 0.75L}, 1);
    dz::BSplines bs;
    for (Real x : sample_points(t, 40)) {
        const int left = interval_for(bs, t, k, x);
        std::vector<Real> d(k * k, NaN);
        bs.BSPL_DERIVS(t.data(), k, x, left, d.data(), 2);
        Real sum = 0;
        Real slope_sum = 0;
        Real slope_abs = 0;
        for (int i = 0; i < k; ++i) {
            sum += d[static_cast<std::size_t>(i)];
            slope_sum += d[static_cast<std::size_t>(k + i)];
            slope_abs += std::fabs(d[static_cast<std::size_t>(k + i)]);
        }
        EXPECT_LE(std::fabs(sum - 1), 2 * k * EPS);
        EXPECT_LE(std::fabs(slope_sum), 16 * k * EPS * slope_abs);
        for (int n = 2 * k; n < k * k; ++n) {
            ASSERT_EQ(d[static_cast<std::size_t>(n)], 0);
        }
        std::vector<Real> all(k * k, NaN);
        bs.BSPL_DERIVS(t.data(), k, x, left, all.data(), k);
        for (Real e : all) {
            ASSERT_TRUE(std::isfinite(e)) << static_cast<double>(x);
        }
    }
}

}  // namespace
