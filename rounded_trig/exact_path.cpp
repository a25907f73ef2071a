// SPDX-License-Identifier: GPL-3.0-or-later
// The exact path of the correctly rounded functions: MPFR.
#include <mpfr.h>

#include <cfloat>

#include "rounded_trig/rounded_trig_detail.hpp"

namespace dz::rounded_trig_detail {

namespace {

// One MPFR number of a given precision, freed on every path.
class Number {
public:
    explicit Number(mpfr_prec_t bits) { mpfr_init2(value_, bits); }
    ~Number() { mpfr_clear(value_); }
    Number(const Number&) = delete;
    Number& operator=(const Number&) = delete;
    mpfr_ptr get() { return value_; }

private:
    mpfr_t value_;
};

// f of the arguments (exact in 64 bits) rounded to nearest at 64 bits; a
// result below the smallest normal extended real is computed again at the
// precision the subnormal grid leaves it, so that it is rounded only once.
template <class F>
Real exact(F f, Real a, Real b = 0) {
    Number x(64), y(64);
    mpfr_set_ld(x.get(), a, MPFR_RNDN);
    mpfr_set_ld(y.get(), b, MPFR_RNDN);
    Number r(64);
    f(r.get(), x.get(), y.get());
    if (mpfr_regular_p(r.get()) && mpfr_get_exp(r.get()) < LDBL_MIN_EXP) {
        // the subnormal grid has the step q = 2^(LDBL_MIN_EXP - 64); MPFR's
        // exponent e means [2^(e-1), 2^e), so e - LDBL_MIN_EXP + 64 bits remain
        const long e = static_cast<long>(mpfr_get_exp(r.get()));
        const long bits = e - LDBL_MIN_EXP + 64;
        if (bits < 1) {
            // below q: q when at least q/2 (never exactly q/2, the value is transcendental), else 0
            const Real q = bits == 0 ? 0x1p-16445L : 0.0L;
            return mpfr_signbit(r.get()) ? -q : q;
        }
        Number s(static_cast<mpfr_prec_t>(bits));
        f(s.get(), x.get(), y.get());
        return mpfr_get_ld(s.get(), MPFR_RNDN);
    }
    return mpfr_get_ld(r.get(), MPFR_RNDN);
}

}  // namespace

Real exact_atan(Real x) {
    return exact([](mpfr_ptr r, mpfr_ptr a, mpfr_ptr) { mpfr_atan(r, a, MPFR_RNDN); }, x);
}

Real exact_atan2(Real y, Real x) {
    return exact([](mpfr_ptr r, mpfr_ptr a, mpfr_ptr b) { mpfr_atan2(r, a, b, MPFR_RNDN); }, y, x);
}

Real exact_sin(Real x) {
    return exact([](mpfr_ptr r, mpfr_ptr a, mpfr_ptr) { mpfr_sin(r, a, MPFR_RNDN); }, x);
}

Real exact_cos(Real x) {
    return exact([](mpfr_ptr r, mpfr_ptr a, mpfr_ptr) { mpfr_cos(r, a, MPFR_RNDN); }, x);
}

}  // namespace dz::rounded_trig_detail
