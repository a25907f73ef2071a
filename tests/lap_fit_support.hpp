// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Fit problems for the tests and the benchmark: a surface file loaded the
// classic way, its wear matrix, area weights and classic widths as the
// predicted removal has them, and an independent computation of the share
// of the RMS a lap leaves.

#include <algorithm>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include <Eigen/Dense>

#include "lap_fit/lap_fit.hpp"
#include "lap_load/calc_lap.hpp"
#include "removal/removal.hpp"
#include "removal/wear_model.hpp"

namespace dz::testing {

// The classic wear matrix, whose centre the fit's centre rule and smoothing
// ladder were first tuned to: these tests hold the fit's machinery to it.
inline constexpr WearSettings CLASSIC_MATRIX{.model = WearLaw::matrix};

// The wear matrix for these radii (mm; the last zone is the outer one), as
// the predicted removal keeps it: the load's fill, rounded to double.
inline std::vector<double> wear_matrix(const std::vector<double>& radius_mm)
{
    const int n = static_cast<int>(radius_mm.size());
    const N_VECTOR radius(radius_mm.begin(), radius_mm.end());
    const WearModel model(radius, n, radius.back(), CLASSIC_MATRIX);
    return {model.matrix(), model.matrix() + static_cast<std::size_t>(n) * static_cast<std::size_t>(n)};
}

inline std::vector<double> area_weights(const std::vector<double>& radius_mm) { return dz::area_weights(radius_mm); }

// A surface as the fit sees it, with the classic design of the same file.
struct FitSurface {
    std::vector<double> radius_mm, rho, measured, weights, wear;
    std::vector<double> classic;  // the classic lap's widths v_k / m at efficiency 100
    std::vector<double> fit_weights;  // the objective's weights: centre_weights of the area weights
};

inline std::optional<FitSurface> fit_surface(const std::string& file_bytes)
{
    WorkingState ws;
    ws.WEAR = CLASSIC_MATRIX;
    if (CALC_LAP(ws, file_bytes, false, '.')) return std::nullopt;
    FitSurface s;
    const std::size_t n = static_cast<std::size_t>(ws.ZONE_COUNT);
    for (std::size_t k = 0; k < n; ++k) {
        s.radius_mm.push_back(static_cast<double>(ws.ZONE_RADIUS[k]));
        s.rho.push_back(static_cast<double>(ws.ZONE_RADIUS[k] / ws.OUTER_RADIUS));
        s.measured.push_back(static_cast<double>(ws.ZONE_RAW[k]));
    }
    s.classic = leaf_widths(ws);
    s.weights = dz::area_weights(s.radius_mm);
    s.fit_weights = centre_weights(s.radius_mm, s.weights);
    const WearModel model(ws);
    s.wear.assign(model.matrix(), model.matrix() + n * n);
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
    p.fit_weights = s.fit_weights;  // empty: the area weights alone
    p.radii = s.rho;
    p.floor = floor;
    p.curvature_bound = MIN_CURVATURE_BOUND;
    if (!s.classic.empty()) p.curvature_bound = std::max(p.curvature_bound, max_second_derivative(s.rho, s.classic));
    p.free_focus = free_focus;
    return p;
}

}  // namespace dz::testing
