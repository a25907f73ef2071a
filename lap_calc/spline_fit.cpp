// SPDX-License-Identifier: GPL-3.0-or-later
#include "lap_calc/spline_fit.hpp"

#include <algorithm>
#include <array>

namespace dz {

namespace {

constexpr int ORDER = 3;           // quadratic pieces
constexpr int KNOT_SPACING = 20;   // zone indices between interior knots
constexpr int KNOT_CAPACITY = 50;  // knots and coefficients

}  // namespace

std::vector<Real> spline_knots(int zone_count) {
    const int last_zone = zone_count - 1;
    std::array<Real, KNOT_CAPACITY + 1> t{};  // t[1 .. n], 1-based
    // Three zeros.
    t[1] = t[2] = t[3] = 0;
    int n = 3;
    // Interior knots up to the first multiple of 20 beyond the last zone.
    int x = 0;
    do {
        x += KNOT_SPACING;
        ++n;
        t[static_cast<std::size_t>(n)] = static_cast<Real>(x);
    } while (x <= last_zone);
    // End knots: overwrite the last two values and append one more.
    for (int o = -1; o <= 1; ++o) t[static_cast<std::size_t>(n + o)] = static_cast<Real>(zone_count);
    ++n;
    return {t.begin() + 1, t.begin() + 1 + n};
}

std::optional<std::string> smooth_profile(Matrices& solver, BSplines& bsplines, NXN_MATRIX& matrix,
                                          N_VECTOR& coef, N_VECTOR& profile, int zone_count,
                                          Real& profile_min) {
    const std::vector<Real> t = spline_knots(zone_count);
    const int n = static_cast<int>(t.size());
    const int m = n - ORDER;
    const auto mm = static_cast<std::size_t>(m) * static_cast<std::size_t>(m);

    // Clear the right-hand side and the normal matrix.
    coef.assign(KNOT_CAPACITY, 0);
    if (matrix.size() < mm) matrix.resize(mm);  // a single zone leaves less than m^2
    std::fill_n(matrix.begin(), mm, Real{0});
    solver.MAT_ORDER = m;
    auto G = [&](int a, int e) -> Real& { return matrix[solver.MAT_INDEX(a, e)]; };

    // Accumulate the normal equations, zone by zone; the weight is the index.
    std::array<Real, KNOT_CAPACITY> b{};
    for (int z = 0; z < zone_count; ++z) {
        const Real x = static_cast<Real>(z);
        const Real y = profile[static_cast<std::size_t>(z)];
        int left = 0, flag = 0;
        bsplines.KNOT_INTERVAL(t.data(), n, x, left, flag);
        bsplines.BSPL_VALUES(t.data(), ORDER, 1, x, left, b.data());
        const int j0 = std::max(1, ORDER + 1 - left);
        for (int i = j0; i <= ORDER; ++i) {
            const int a = left - ORDER + i;
            coef[static_cast<std::size_t>(a - 1)] += (y * x) * b[static_cast<std::size_t>(i - 1)];
            for (int k = j0; k <= ORDER; ++k) {
                const int e = left - ORDER + k;
                G(a, e) += (x * b[static_cast<std::size_t>(i - 1)]) * b[static_cast<std::size_t>(k - 1)];
            }
        }
    }

    // Solve G coef = h.
    int status = 0;
    solver.CHOL_FACTOR(matrix, status);
    if (status != 0) return "SPLINE INFO = " + std::to_string(status);
    solver.CHOL_SOLVE(matrix, coef);

    // Evaluate the spline at every zone.
    std::array<Real, KNOT_CAPACITY> v{};
    Real minimum = 0;
    for (int z = 0; z < zone_count; ++z) {
        const Real x = static_cast<Real>(z);
        int left = 0, flag = 0;
        bsplines.KNOT_INTERVAL(t.data(), n, x, left, flag);
        bsplines.BSPL_DERIVS(t.data(), ORDER, x, left, v.data(), 1);
        const int j0 = std::max(1, ORDER + 1 - left);
        Real f = 0;
        for (int i = j0; i <= ORDER; ++i) {
            f = coef[static_cast<std::size_t>(left - ORDER + i - 1)] * v[static_cast<std::size_t>(i - 1)] + f;
        }
        if (f < minimum) minimum = f;
        profile[static_cast<std::size_t>(z)] = f;
    }
    profile_min = minimum;
    return std::nullopt;
}

}  // namespace dz
