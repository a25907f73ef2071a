// SPDX-License-Identifier: GPL-3.0-or-later
#include "removal/wear_model.hpp"

#include <cstddef>
#include <stdexcept>

#include "lap_calc/wear_matrix.hpp"
#include "preston_wear/preston_kernel.hpp"

namespace dz {

WearModel::WearModel(const WorkingState& ws) : WearModel(ws.ZONE_RADIUS, ws.ZONE_COUNT, ws.OUTER_RADIUS, ws.WEAR) {}

WearModel::WearModel(const N_VECTOR& radius, int count, Real outer, const WearSettings& settings)
    : radius_(radius.begin(), radius.begin() + count), count_(count), outer_(outer), settings_(settings) {
    if (count < 0 || static_cast<std::size_t>(count) > radius.size()) {
        throw std::invalid_argument("WearModel: more zones than radii");
    }
    if (settings.model == WearLaw::preston) {
        if (const auto why = check_wear_settings(settings)) throw std::invalid_argument(*why);
    }
}

bool WearModel::fits(const WorkingState& ws) const { return ws.WEAR == settings_ && same_zones(ws); }

bool WearModel::same_zones(const WorkingState& ws) const {
    if (ws.ZONE_COUNT != count_ || ws.OUTER_RADIUS != outer_) return false;
    for (int k = 0; k < count_; ++k) {
        if (ws.ZONE_RADIUS[static_cast<std::size_t>(k)] != radius_[static_cast<std::size_t>(k)]) return false;
    }
    return true;
}

bool WearModel::depends_on_widths() const {
    return settings_.model == WearLaw::preston && settings_.pressure == PressureModel::load;
}

namespace {

std::vector<double> radii_over_outer(const N_VECTOR& radius, Real outer) {
    std::vector<double> rho(radius.size());
    for (std::size_t k = 0; k < rho.size(); ++k) rho[k] = static_cast<double>(radius[k] / outer);
    return rho;
}

}  // namespace

const double* WearModel::matrix() const {
    if (matrix_.empty() && count_ > 0) {
        if (settings_.model == WearLaw::preston) {
            preston_matrix(radii_over_outer(radius_, outer_), settings_, {}, matrix_);
        } else {
            // the load's own fill, in extended precision, then one rounding
            NXN_MATRIX wear;
            fill_wear_matrix(radius_, count_, outer_, wear);
            const std::size_t n = static_cast<std::size_t>(count_) * static_cast<std::size_t>(count_);
            matrix_.resize(n);
            for (std::size_t e = 0; e < n; ++e) matrix_[e] = static_cast<double>(wear[e]);
        }
    }
    return matrix_.data();
}

std::vector<double> WearModel::matrix_for(std::span<const double> w) const {
    const auto n = static_cast<std::size_t>(count_);
    if (w.size() != n) throw std::invalid_argument("WearModel::matrix_for: one width per zone");
    if (!depends_on_widths()) {
        const double* a = matrix();
        return std::vector<double>(a, a + n * n);
    }
    std::vector<double> K;
    preston_matrix(radii_over_outer(radius_, outer_), settings_, w, K);
    return K;
}

std::vector<double> WearModel::apply(const std::vector<double>& w) const {
    const auto n = static_cast<std::size_t>(count_);
    if (w.size() != n) throw std::invalid_argument("WearModel::apply: one width per zone");
    std::vector<double> own;
    const double* a = nullptr;
    if (depends_on_widths()) {
        own = matrix_for(w);
        a = own.data();
    } else {
        a = matrix();
    }
    std::vector<double> out(n, 0.0);
    for (std::size_t j = 0; j < n; ++j) {
        double sum = 0;
        for (std::size_t i = 0; i < n; ++i) sum += a[j * n + i] * w[i];
        out[j] = sum;
    }
    return out;
}

}  // namespace dz
