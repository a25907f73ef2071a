// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Comparing two working states field by field, for the tests and the fuzzer
// that check that a refused load or command changes nothing.

#include <string>
#include <vector>

#include "tests/same_bits.hpp"
#include "working_state/working_state.hpp"

namespace dz::testing {

// The same bits (all 10 bytes: -0 is not +0), and the same length.
using dz::testing::same_bits;
inline bool same(Real a, Real b) { return same_bits(a, b); }
inline bool same(const N_VECTOR& a, const N_VECTOR& b) { return same_bits(a, b); }

// The names of the fields that differ, among everything of the working state
// that the user sees or that a later command reads; empty when none does.
inline std::vector<std::string> differing_fields(const WorkingState& a, const WorkingState& b) {
    std::vector<std::string> differ;
    auto note = [&](bool equal, const char* name) {
        if (!equal) differ.emplace_back(name);
    };
    note(a.NUM_LEAVES == b.NUM_LEAVES, "NUM_LEAVES");
    note(same(a.EFFICIENCY, b.EFFICIENCY), "EFFICIENCY");
    note(a.SPINDLE == b.SPINDLE, "SPINDLE");
    note(same(a.BASE_OFFSET, b.BASE_OFFSET), "BASE_OFFSET");
    note(a.PLOT_CAPTION == b.PLOT_CAPTION, "PLOT_CAPTION");
    note(a.TARGET_TEXT == b.TARGET_TEXT, "TARGET_TEXT");
    note(same(a.ZONE_RADIUS, b.ZONE_RADIUS), "ZONE_RADIUS");
    note(same(a.ZONE_RAW, b.ZONE_RAW), "ZONE_RAW");
    note(same(a.ZONE_PROFILE, b.ZONE_PROFILE), "ZONE_PROFILE");
    note(a.ZONE_COUNT == b.ZONE_COUNT, "ZONE_COUNT");
    note(a.LAST_ZONE == b.LAST_ZONE, "LAST_ZONE");
    note(same(a.OUTER_RADIUS, b.OUTER_RADIUS), "OUTER_RADIUS");
    note(same(a.RAW_MIN, b.RAW_MIN), "RAW_MIN");
    note(same(a.PROFILE_MIN, b.PROFILE_MIN), "PROFILE_MIN");
    note(same(a.LEAF_EDGES, b.LEAF_EDGES), "LEAF_EDGES");
    note(a.PLOT_SCALE == b.PLOT_SCALE, "PLOT_SCALE");
    note(a.WEAR == b.WEAR, "WEAR");
    note(a.loaded == b.loaded, "loaded");
    return differ;
}

}  // namespace dz::testing
