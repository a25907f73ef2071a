// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Fit problems for the tests and the benchmark: a surface file loaded the
// classic way, its wear matrix filled again in double, the area weights and
// the classic lap's widths.

#include <algorithm>
#include <cstddef>
#include <numeric>
#include <optional>
#include <string>
#include <vector>

#include <Eigen/Dense>

#include "lap_calc/wear_matrix.hpp"
#include "lap_fit/lap_fit.hpp"
#include "lap_load/calc_lap.hpp"

namespace dz::testing {

// Each zone's radius times half the distance between its neighbours' radii
// (one-sided at the first and the last), the zones taken in order of radius.
inline std::vector<double> area_weights(const std::vector<double>& radius)
{
    const std::size_t n = radius.size();
    std::vector<std::size_t> order(n);
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return radius[a] < radius[b]; });
    std::vector<double> w(n, 0.0);
    for (std::size_t i = 0; i < n && n > 1; ++i) {
        const double below = radius[order[i == 0 ? 0 : i - 1]];
        const double above = radius[order[i + 1 == n ? n - 1 : i + 1]];
        w[order[i]] = radius[order[i]] * (above - below) / 2;
    }
    return w;
}

// The wear matrix of the load for these radii (mm), in double, row-major.
inline std::vector<double> wear_matrix(const std::vector<double>& radius_mm)
{
    const int n = static_cast<int>(radius_mm.size());
    N_VECTOR radius(radius_mm.begin(), radius_mm.end());
    NXN_MATRIX m;
    m.resize(static_cast<std::size_t>(n) * static_cast<std::size_t>(n));
    fill_wear_matrix(radius, n, radius[static_cast<std::size_t>(n - 1)], m);
    return {m.begin(), m.end()};
}

// A surface as the fit sees it, with the classic design of the same file.
struct FitSurface {
    std::vector<double> radius_mm, rho, measured, weights, wear;
    std::vector<double> classic;  // the classic lap's widths v_k / m at efficiency 100
};

inline std::optional<FitSurface> fit_surface(const std::string& file_bytes)
{
    WorkingState ws;
    if (CALC_LAP(ws, file_bytes, false, '.')) return std::nullopt;
    FitSurface s;
    const std::size_t n = static_cast<std::size_t>(ws.ZONE_COUNT);
    double top = 0;
    for (std::size_t k = 0; k < n; ++k) {
        s.radius_mm.push_back(static_cast<double>(ws.ZONE_RADIUS[k]));
        s.rho.push_back(static_cast<double>(ws.ZONE_RADIUS[k] / ws.OUTER_RADIUS));
        s.measured.push_back(static_cast<double>(ws.ZONE_RAW[k]));
        top = std::max(top, static_cast<double>(ws.ZONE_PROFILE[k] + ws.BASE_OFFSET));
    }
    for (std::size_t k = 0; k < n; ++k) s.classic.push_back(static_cast<double>(ws.ZONE_PROFILE[k] + ws.BASE_OFFSET) / top);
    s.weights = area_weights(s.radius_mm);
    s.wear = wear_matrix(s.radius_mm);
    return s;
}

// The share of the weighted RMS that a lap of these widths leaves, with the
// best tau >= 0 and piston (and focus term): the same figure the fit reports,
// worked out independently by the normal equations of at most three unknowns.
inline double share_left(const FitSurface& s, const std::vector<double>& widths, bool free_focus)
{
    const std::size_t n = s.measured.size();
    std::vector<double> shape(n, 0.0);
    for (std::size_t j = 0; j < n; ++j)
        for (std::size_t k = 0; k < n; ++k) shape[j] += s.wear[j * n + k] * widths[k];
    // columns: shape, 1, rho^2; solve the weighted normal equations, without
    // the shape when its time would be negative
    auto fit = [&](bool with_shape) {
        std::vector<std::vector<double>> cols;
        if (with_shape) cols.push_back(shape);
        cols.push_back(std::vector<double>(n, 1.0));
        if (free_focus) {
            std::vector<double> r2(n);
            for (std::size_t j = 0; j < n; ++j) r2[j] = s.rho[j] * s.rho[j];
            cols.push_back(r2);
        }
        const Eigen::Index c = static_cast<Eigen::Index>(cols.size());
        Eigen::MatrixXd N = Eigen::MatrixXd::Zero(c, c);
        Eigen::VectorXd b = Eigen::VectorXd::Zero(c);
        for (std::size_t j = 0; j < n; ++j)
            for (Eigen::Index a = 0; a < c; ++a) {
                b(a) += s.weights[j] * cols[static_cast<std::size_t>(a)][j] * s.measured[j];
                for (Eigen::Index e = 0; e < c; ++e)
                    N(a, e) += s.weights[j] * cols[static_cast<std::size_t>(a)][j] * cols[static_cast<std::size_t>(e)][j];
            }
        const Eigen::VectorXd x = N.ldlt().solve(b);
        std::vector<double> residual = s.measured;
        for (std::size_t j = 0; j < n; ++j)
            for (Eigen::Index a = 0; a < c; ++a) residual[j] -= x(a) * cols[static_cast<std::size_t>(a)][j];
        return std::make_pair(with_shape ? x(0) : 0.0, residual);
    };
    auto [tau, residual] = fit(true);
    if (tau < 0) residual = fit(false).second;
    const double measured = weighted_rms(s.measured, s.weights);
    return measured > 0 ? 100 * weighted_rms(residual, s.weights) / measured : 0;
}

inline FitProblem problem_of(const FitSurface& s, double floor, bool free_focus)
{
    FitProblem p;
    p.wear = s.wear;
    p.measured = s.measured;
    p.weights = s.weights;
    p.radii = s.rho;
    p.floor = floor;
    p.curvature_bound = MIN_CURVATURE_BOUND;
    if (!s.classic.empty()) p.curvature_bound = std::max(p.curvature_bound, max_second_derivative(s.rho, s.classic));
    p.free_focus = free_focus;
    return p;
}

}  // namespace dz::testing
