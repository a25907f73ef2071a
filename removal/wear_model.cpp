// SPDX-License-Identifier: GPL-3.0-or-later
#include "removal/wear_model.hpp"

#include <cstddef>
#include <stdexcept>

#include "lap_calc/wear_matrix.hpp"

namespace dz {

WearModel::WearModel(const WorkingState& ws) : WearModel(ws.ZONE_RADIUS, ws.ZONE_COUNT, ws.OUTER_RADIUS) {}

WearModel::WearModel(const N_VECTOR& radius, int count, Real outer)
    : radius_(radius.begin(), radius.begin() + count), count_(count), outer_(outer) {
    if (count < 0 || static_cast<std::size_t>(count) > radius.size()) {
        throw std::invalid_argument("WearModel: more zones than radii");
    }
}

bool WearModel::fits(const WorkingState& ws) const {
    if (ws.ZONE_COUNT != count_ || ws.OUTER_RADIUS != outer_) return false;
    for (int k = 0; k < count_; ++k) {
        if (ws.ZONE_RADIUS[static_cast<std::size_t>(k)] != radius_[static_cast<std::size_t>(k)]) return false;
    }
    return true;
}

const double* WearModel::matrix() const {
    if (matrix_.empty() && count_ > 0) {
        // the load's own fill, in extended precision, then one rounding
        NXN_MATRIX wear;
        fill_wear_matrix(radius_, count_, outer_, wear);
        const std::size_t n = static_cast<std::size_t>(count_) * static_cast<std::size_t>(count_);
        matrix_.resize(n);
        for (std::size_t e = 0; e < n; ++e) matrix_[e] = static_cast<double>(wear[e]);
    }
    return matrix_.data();
}

std::vector<double> WearModel::apply(const std::vector<double>& w) const {
    const auto n = static_cast<std::size_t>(count_);
    if (w.size() != n) throw std::invalid_argument("WearModel::apply: one width per zone");
    const double* a = matrix();
    std::vector<double> out(n, 0.0);
    for (std::size_t j = 0; j < n; ++j) {
        double sum = 0;
        for (std::size_t i = 0; i < n; ++i) sum += a[j * n + i] * w[i];
        out[j] = sum;
    }
    return out;
}

}  // namespace dz
