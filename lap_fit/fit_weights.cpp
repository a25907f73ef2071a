// SPDX-License-Identifier: GPL-3.0-or-later
// The weights of the least-squares design: the objective's own weights and
// the weighted RMS of the figures (see lap_fit.hpp).

#include <cmath>
#include <cstddef>
#include <vector>

#include "lap_fit/lap_fit.hpp"

namespace dz {

std::vector<double> centre_weights(std::span<const double> radii, std::span<const double> weights)
{
    std::vector<double> out(weights.begin(), weights.end());
    double least = 0;
    for (double r : radii)
        if (std::fabs(r) > 0 && (least == 0 || std::fabs(r) < least)) least = std::fabs(r);
    if (least == 0) return out;
    for (std::size_t k = 0; k < out.size() && k < radii.size(); ++k)
        if (radii[k] == 0 && out[k] == 0) out[k] = least * least / 8;
    return out;
}

double weighted_rms(std::span<const double> values, std::span<const double> weights)
{
    double total = 0;
    double sum = 0;
    for (std::size_t k = 0; k < values.size(); ++k) {
        total += weights[k];
        sum += weights[k] * values[k];
    }
    if (!(total > 0)) return 0;
    const double mean = sum / total;
    double squares = 0;
    for (std::size_t k = 0; k < values.size(); ++k) {
        const double e = values[k] - mean;
        squares += weights[k] * e * e;
    }
    return std::sqrt(squares / total);
}

}  // namespace dz
