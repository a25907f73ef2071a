// SPDX-License-Identifier: GPL-3.0-or-later
// The correctly rounded arc tangent, sine and cosine against MPFR.
//
// The random runs take DOROZIRI_TRIG_ARGUMENTS arguments per range (50,000
// by default); the long run sets it to 1000000 or more:
//   DOROZIRI_TRIG_ARGUMENTS=1000000 rounded_trig_test
#include <gtest/gtest.h>
#include <mpfr.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>

#include "rounded_trig/rounded_trig.hpp"
#include "rounded_trig/rounded_trig_detail.hpp"
#include "rounded_trig/trig_tables.hpp"

namespace dz {
namespace {

using namespace rounded_trig_detail;

long argument_count() {
    const char* text = std::getenv("DOROZIRI_TRIG_ARGUMENTS");
    return text ? std::atol(text) : 50000;
}

// An MPFR number of `bits` bits.
struct Big {
    explicit Big(mpfr_prec_t bits = 256) { mpfr_init2(v, bits); }
    ~Big() { mpfr_clear(v); }
    Big(const Big&) = delete;
    Big& operator=(const Big&) = delete;
    mpfr_t v;
};

using MpfrFunction = std::function<void(mpfr_ptr, mpfr_srcptr)>;

// |f(x) - (p.hi + p.lo)| / |p.hi| with f at 256 bits.
double pair_error(const MpfrFunction& f, Real x, Pair p) {
    Big a, exact, approx, hi;
    mpfr_set_ld(a.v, x, MPFR_RNDN);
    f(exact.v, a.v);
    mpfr_set_ld(approx.v, p.hi, MPFR_RNDN);
    mpfr_add_d(approx.v, approx.v, 0, MPFR_RNDN);
    Big lo;
    mpfr_set_ld(lo.v, p.lo, MPFR_RNDN);
    mpfr_add(approx.v, approx.v, lo.v, MPFR_RNDN);
    mpfr_sub(approx.v, approx.v, exact.v, MPFR_RNDN);
    mpfr_set_ld(hi.v, p.hi, MPFR_RNDN);
    mpfr_div(approx.v, approx.v, hi.v, MPFR_RNDN);
    return std::fabs(mpfr_get_d(approx.v, MPFR_RNDN));
}

// Distance of f(x) from the nearest midpoint between extended reals, in
// units in the last place of the result.
double midpoint_distance(const MpfrFunction& f, Real x) {
    Big a, exact, rounded(64);
    mpfr_set_ld(a.v, x, MPFR_RNDN);
    f(exact.v, a.v);
    mpfr_set(rounded.v, exact.v, MPFR_RNDZ);  // truncated to 64 bits
    Big frac;
    mpfr_sub(frac.v, exact.v, rounded.v, MPFR_RNDN);
    mpfr_abs(frac.v, frac.v, MPFR_RNDN);
    // in units of the truncated value's last place
    mpfr_mul_2si(frac.v, frac.v, 64 - mpfr_get_exp(rounded.v), MPFR_RNDN);
    return std::fabs(mpfr_get_d(frac.v, MPFR_RNDN) - 0.5);
}

struct Function {
    const char* name;
    Real (*rounded)(Real);
    Real (*exact)(Real);
    Pair (*pair)(Real);
    Pair (*quick)(Real);  // the first, cheaper try
    Real bound;
    Real quick_bound;
    MpfrFunction mpfr;
};

const Function FUNCTIONS[] = {
    {"atan", rounded_atan, exact_atan, atan_pair, atan_quick, ATAN_BOUND, ATAN_QUICK_BOUND, [](mpfr_ptr r, mpfr_srcptr a) { mpfr_atan(r, a, MPFR_RNDN); }},
    {"sin", rounded_sin, exact_sin, sin_pair, sin_quick, SIN_COS_BOUND, SIN_COS_QUICK_BOUND, [](mpfr_ptr r, mpfr_srcptr a) { mpfr_sin(r, a, MPFR_RNDN); }},
    {"cos", rounded_cos, exact_cos, cos_pair, cos_quick, SIN_COS_BOUND, SIN_COS_QUICK_BOUND, [](mpfr_ptr r, mpfr_srcptr a) { mpfr_cos(r, a, MPFR_RNDN); }},
};

// The argument ranges the program uses: atan of the quotients that the arc
// sine and cosine make and of uniform wide exponents, sin and cos on
// [-4 pi, 4 pi].
Real draw(const std::string& name, std::mt19937_64& rng) {
    std::uniform_real_distribution<double> unit(-1, 1);
    const Real fine = static_cast<Real>(unit(rng)) + static_cast<Real>(unit(rng)) * 0x1p-52L;
    if (name != "atan") return fine * 4 * PI;
    if (rng() % 2) return fine / std::sqrt(1 - fine * fine);
    return std::ldexp(fine, static_cast<int>(rng() % 161) - 80);
}

// Every function equals MPFR's rounding on random arguments, and the fast
// pair keeps within its proven bound; the arguments whose value lies within
// 2^-10 units of a midpoint are counted, to show that hard cases were met.
TEST(RoundedTrig, AgreesWithMpfrOnRandomArguments) {
    for (const Function& f : FUNCTIONS) {
        std::mt19937_64 rng(20261208);
        long wrong = 0, near_midpoint = 0;
        double worst = 0, worst_quick = 0;
        for (long i = 0; i < argument_count(); ++i) {
            const Real x = draw(f.name, rng);
            if (f.rounded(x) != f.exact(x)) ++wrong;
            if (std::fabs(x) >= 0x1p-33L) worst = std::max(worst, pair_error(f.mpfr, x, f.pair(x)));
            if (std::fabs(x) >= 0x1p-33L && std::fabs(x) < 0x1p64L) {
                worst_quick = std::max(worst_quick, pair_error(f.mpfr, x, f.quick(x)));
            }
            if (midpoint_distance(f.mpfr, x) < 0x1p-10) ++near_midpoint;
        }
        EXPECT_EQ(wrong, 0) << f.name;
        EXPECT_LE(worst, static_cast<double>(f.bound)) << f.name;
        EXPECT_LE(worst_quick, static_cast<double>(f.quick_bound)) << f.name;
        EXPECT_GT(near_midpoint, 0) << f.name;
        std::printf("%s: %ld arguments, worst fast-path error 2^%.1f (quick try 2^%.1f), %ld within 2^-10 ulp of a midpoint\n",
                    f.name, argument_count(), std::log2(worst), std::log2(worst_quick), near_midpoint);
    }
}

// Arguments constructed where a last bit is hardest to get: the neighbours
// of the extended reals nearest k pi/2 (the sine or cosine nearly zero),
// both sides of the small-argument threshold 2^-33, powers of two, the table
// points of the arc tangent and their neighbours, and huge arguments.
TEST(RoundedTrig, AgreesWithMpfrOnConstructedArguments) {
    std::vector<Real> args;
    for (int k = -8; k <= 8; ++k) {
        Real x = static_cast<Real>(k) * HALF_PI_PAIR.hi;
        x = std::nextafter(std::nextafter(x, -INFINITY), -INFINITY);
        for (int step = 0; step < 5; ++step, x = std::nextafter(x, INFINITY)) {
            args.push_back(x);
        }
    }
    for (int e = -70; e <= 3; ++e) {
        const Real p = std::ldexp(1.0L, e);
        for (Real x : {p, std::nextafter(p, 0.0L), std::nextafter(p, 4.0L)}) {
            args.push_back(x);
            args.push_back(-x);
        }
    }
    for (int k = 0; k <= 256; ++k) {
        const Real c = static_cast<Real>(k) / 256;
        args.push_back(std::nextafter(c, 0.0L));
        args.push_back(std::nextafter(c, 2.0L));
        args.push_back(1 / std::nextafter(c, 2.0L));
    }
    for (int e = 60; e <= 16383; e += 97) args.push_back(std::ldexp(0.75L, e));
    for (const Function& f : FUNCTIONS) {
        for (Real x : args) {
            const Real got = f.rounded(x), want = f.exact(x);
            EXPECT_TRUE(got == want || (std::isnan(got) && std::isnan(want))) << f.name << " of " << static_cast<double>(x);
        }
    }
    EXPECT_EQ(rounded_atan(INFINITY), HALF_PI_PAIR.hi);
    EXPECT_EQ(rounded_atan(-INFINITY), -HALF_PI_PAIR.hi);
    EXPECT_TRUE(std::isnan(rounded_atan(NAN)) && std::isnan(rounded_sin(NAN)));
    EXPECT_TRUE(std::signbit(rounded_atan(-0.0L)) && std::signbit(rounded_sin(-0.0L)));
}

// atan2 in every quadrant, on the axes and with extreme quotients, against
// MPFR's, and with the C library's signed zeros.
TEST(RoundedTrig, Atan2AgreesWithMpfr) {
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> unit(-1, 1);
    long wrong = 0;
    for (long i = 0; i < argument_count() / 10; ++i) {
        const Real y = std::ldexp(static_cast<Real>(unit(rng)), static_cast<int>(rng() % 81) - 40);
        const Real x = std::ldexp(static_cast<Real>(unit(rng)), static_cast<int>(rng() % 81) - 40);
        if (rounded_atan2(y, x) != exact_atan2(y, x)) ++wrong;
    }
    EXPECT_EQ(wrong, 0);
    const Real cases[][2] = {{0, 1}, {-0.0L, 1}, {0, -1}, {-0.0L, -1}, {1, 0}, {-1, 0}, {1, 1}, {-1, -1},
                             {1e-4000L, -1}, {1e-4000L, 1e4000L}, {1, 1e-30L}, {INFINITY, -INFINITY}};
    for (const auto& c : cases) {
        EXPECT_EQ(rounded_atan2(c[0], c[1]), exact_atan2(c[0], c[1])) << static_cast<double>(c[0]) << ", "
                                                                      << static_cast<double>(c[1]);
        EXPECT_EQ(std::signbit(rounded_atan2(c[0], c[1])), std::signbit(c[0]));
    }
}

// The tables and constants are the exact values rounded: hi = v rounded to
// 64 bits, lo = v - hi rounded to 64 bits.
TEST(RoundedTrig, TablesAreTheRoundedValues) {
    const auto check = [](const char* what, int index, Pair p, const std::function<void(mpfr_ptr)>& value) {
        Big v(400), hi(64), rest(400), lo(64);
        value(v.v);
        mpfr_set(hi.v, v.v, MPFR_RNDN);
        mpfr_sub(rest.v, v.v, hi.v, MPFR_RNDN);
        mpfr_set(lo.v, rest.v, MPFR_RNDN);
        EXPECT_EQ(p.hi, mpfr_get_ld(hi.v, MPFR_RNDN)) << what << " " << index;
        EXPECT_EQ(p.lo, mpfr_get_ld(lo.v, MPFR_RNDN)) << what << " " << index;
    };
    for (int k = 0; k <= 256; ++k) {
        check("atan", k, ATAN_TABLE[k], [k](mpfr_ptr v) {
            mpfr_set_si(v, k, MPFR_RNDN);
            mpfr_div_ui(v, v, 256, MPFR_RNDN);
            mpfr_atan(v, v, MPFR_RNDN);
        });
    }
    for (int j = 0; j <= 52; ++j) {
        const auto arg = [j](mpfr_ptr v) {
            mpfr_set_si(v, j, MPFR_RNDN);
            mpfr_div_ui(v, v, 64, MPFR_RNDN);
        };
        check("sin", j, SIN_TABLE[j], [&](mpfr_ptr v) { arg(v); mpfr_sin(v, v, MPFR_RNDN); });
        check("cos", j, COS_TABLE[j], [&](mpfr_ptr v) { arg(v); mpfr_cos(v, v, MPFR_RNDN); });
    }
    check("pi", 0, PI_PAIR, [](mpfr_ptr v) { mpfr_const_pi(v, MPFR_RNDN); });
    // the three pieces of pi/2: 60 bits each, their sum within 2^-176
    Big sum(400), half_pi(400);
    mpfr_set_ld(sum.v, HALF_PI_1, MPFR_RNDN);
    for (Real piece : {HALF_PI_2, HALF_PI_3}) {
        Big p(64);
        mpfr_set_ld(p.v, piece, MPFR_RNDN);
        mpfr_add(sum.v, sum.v, p.v, MPFR_RNDN);
        int exponent = 0;
        EXPECT_EQ(std::fmod(std::ldexp(std::frexp(piece, &exponent), 60), 1.0L), 0) << "60 bits";
    }
    mpfr_const_pi(half_pi.v, MPFR_RNDN);
    mpfr_div_2ui(half_pi.v, half_pi.v, 1, MPFR_RNDN);
    mpfr_sub(sum.v, half_pi.v, sum.v, MPFR_RNDN);
    EXPECT_LT(mpfr_get_exp(sum.v), -176);
}

// The rounding test decides exactly when the whole error interval rounds to
// one value: never across a midpoint, always well inside an interval.
TEST(RoundedTrig, RoundingTestDecidesOnlyInsideAnInterval) {
    const Real ulp = 0x1p-63L;  // at 1
    struct Case {
        Pair p;
        bool decided;
        Real value;
    };
    const Case cases[] = {
        {{1, 0}, true, 1},
        {{1, ulp / 2}, false, 0},                    // on the midpoint above 1
        {{1, ulp / 2 - 0x1p-100L}, false, 0},        // 2^-100 below it, bound 2^-90
        {{1, ulp / 2 - 0x1p-80L}, true, 1},          // far enough below it
        {{1, ulp / 2 + 0x1p-80L}, true, 1 + ulp},    // far enough above it
        {{1, -ulp / 4}, false, 0},                   // the midpoint below 1 is ulp/4 away
        {{1, -ulp / 4 + 0x1p-80L}, true, 1},
    };
    for (const Case& c : cases) {
        Real out = -1;
        EXPECT_EQ(rounds_alike(c.p, 0x1p-90L, out), c.decided) << static_cast<double>(c.p.lo);
        if (c.decided) {
            EXPECT_EQ(out, c.value);
        }
    }
}

}  // namespace
}  // namespace dz
