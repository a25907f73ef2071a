// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The wear model of a loaded surface, kept for the predicted removal and for
// designs that are judged by it: Preston's law for the stroke of the
// settings (preston_wear/), or the zone wear matrix of the classic
// computation. The load factors its own matrix in place; this one is filled
// again from the zone radii, only when first asked for.

#include <span>
#include <vector>

#include "core_types/real.hpp"
#include "preston_wear/wear_settings.hpp"
#include "working_state/working_state.hpp"

namespace dz {

// WearModel holds the matrix that turns the leaf widths of the zones of one
// surface into their wear, in double.
//
// usage     WearModel model(ws);                     // cheap: copies the radii
//           const double* a = model.matrix();        // fills it on first use
//           shape = model.apply(widths);             // its wear
//
// on entry  ws          a loaded working state (ZONE_COUNT >= 1,
//                       OUTER_RADIUS not 0) whose WEAR settings are taken; or
//                       radius/count/outer as the load's fill takes them and
//                       the settings.
// state     the matrix is filled at the first call of matrix() or apply()
//           and kept in the object (the one cache, owned by the caller);
//           later calls reuse it. Not for use from two threads at once.
// matrix()  count x count, row-major: element (j, i) at j * count + i; row j
//           is mirror zone j, column i the leaf width at lap zone i, so the
//           removal shape of a lap of widths w is A * w.
//           WearLaw::matrix: the load's fill_wear_matrix (element (0, 0) = 2
//           included, same routine, same extended arithmetic), each element
//           rounded once to double: within half an ulp of the load's value.
//           WearLaw::preston: preston_matrix of the radii over the outer
//           radius (each divided in extended precision, rounded once), for
//           the stroke, offset and lap size of the settings; with the
//           constant-load pressure, for the contact of a full lap.
// apply(w)  A w; with the constant-load pressure the matrix of the contact
//           of the widths w themselves (filled anew for every w).
class WearModel {
public:
    WearModel() = default;
    explicit WearModel(const WorkingState& ws);
    WearModel(const N_VECTOR& radius, int count, Real outer, const WearSettings& settings = {});

    // True when `ws` has the zones and the wear settings this model was made
    // for (same count, radii, outer radius and WEAR), so that it still applies.
    [[nodiscard]] bool fits(const WorkingState& ws) const;
    // True when `ws` has the zones this model was made for (count, radii and
    // outer radius), whatever its wear settings.
    [[nodiscard]] bool same_zones(const WorkingState& ws) const;

    [[nodiscard]] int size() const { return count_; }
    [[nodiscard]] const WearSettings& settings() const { return settings_; }
    // True when the matrix depends on the widths (the constant-load pressure).
    [[nodiscard]] bool depends_on_widths() const;
    [[nodiscard]] const double* matrix() const;
    // The matrix of the contact of the widths w (the constant load), or
    // matrix() when it does not depend on them; size() x size().
    [[nodiscard]] std::vector<double> matrix_for(std::span<const double> w) const;
    // A w; w holds size() values in file order.
    [[nodiscard]] std::vector<double> apply(const std::vector<double>& w) const;

private:
    N_VECTOR radius_;
    int count_ = 0;
    Real outer_ = 0;
    WearSettings settings_;
    mutable std::vector<double> matrix_;  // empty until first asked for
};

}  // namespace dz
