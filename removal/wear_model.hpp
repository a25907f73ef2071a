// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The wear matrix of a loaded surface, kept for the predicted removal and for
// designs that are judged by it. The load factors its own matrix in place;
// this one is filled again from the zone radii, only when first asked for.

#include <vector>

#include "core_types/real.hpp"
#include "working_state/working_state.hpp"

namespace dz {

// WearModel holds the wear matrix W of the zones of one surface, as the load
// fills it before factoring it (element (0, 0) = 2 included), in double.
//
// usage     WearModel model(ws);                     // cheap: copies the radii
//           const double* a = model.matrix();        // fills W on first use
//           shape = model.apply(widths);             // W * widths
//
// on entry  ws          a loaded working state (ZONE_COUNT >= 1,
//                       OUTER_RADIUS not 0); or radius/count/outer as the
//                       load's fill takes them.
// state     the matrix is filled at the first call of matrix() or apply()
//           and kept in the object (the one cache, owned by the caller);
//           later calls reuse it. Not for use from two threads at once.
// matrix()  count x count, row-major: element (j, i) at j * count + i; row j
//           is mirror zone j, column i the leaf width at lap zone i, so the
//           removal shape of a lap of widths w is W * w.
// method    fill_wear_matrix of the load (same routine, same extended
//           arithmetic), each element then rounded once to double.
// accuracy  each element within half an ulp of double of the load's value.
class WearModel {
public:
    WearModel() = default;
    explicit WearModel(const WorkingState& ws);
    WearModel(const N_VECTOR& radius, int count, Real outer);

    // True when `ws` has the zones this model was made for (same count,
    // radii and outer radius), so that the matrix still applies.
    [[nodiscard]] bool fits(const WorkingState& ws) const;

    [[nodiscard]] int size() const { return count_; }
    [[nodiscard]] const double* matrix() const;
    // W * w; w holds size() values in file order.
    [[nodiscard]] std::vector<double> apply(const std::vector<double>& w) const;

private:
    N_VECTOR radius_;
    int count_ = 0;
    Real outer_ = 0;
    mutable std::vector<double> matrix_;  // empty until first asked for
};

}  // namespace dz
