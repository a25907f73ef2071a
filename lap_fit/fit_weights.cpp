// SPDX-License-Identifier: GPL-3.0-or-later
// The weights of the least-squares design: the objective's own weights (see
// lap_fit.hpp).

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

}  // namespace dz
