// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the tests of the lap computation share: the terms of the wear model
// as the formulas read, the bundled examples and small surface files.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <limits>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "drawing/leaf_outline.hpp"
#include "lap_calc/spline_fit.hpp"
#include "lap_calc/wear_matrix.hpp"
#include "lap_load/calc_lap.hpp"
#include "matrices/matrices.hpp"
#include "splines/arc_trig.hpp"
#include "splines/bsplines.hpp"
#include "surface/surface_reader.hpp"
#include "tests/same_bits.hpp"
#include "text_io/tokenizer.hpp"

namespace dz::lap_calc_test {

using dz::Real;

inline constexpr Real EPS = std::numeric_limits<Real>::epsilon();  // 2^-63
inline const Real NaN = std::numeric_limits<Real>::quiet_NaN();

// The stroke offset and its square as the wear model takes them.
inline constexpr Real D = 0.2L;
inline const Real D2 = D * D;

// The arccosine term of column radius rho and row radius r, as the formula reads.
inline Real K(Real rho, Real r) {
    const Real q = ((r * r + D2 - rho * rho) * 0.5L / r) / D;
    return dz::ARC_COS(q) * 2 / dz::PI;
}

// The arcsine term.
inline Real S(Real rho, Real r) { return r <= rho ? Real(2) : dz::ARC_SIN(rho / r) * 4 / dz::PI; }

using dz::testing::bits;
using dz::testing::Bits;
using dz::testing::same_bits;

inline std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline std::string example(const std::string& name) { return slurp(std::string(DOROZIRI_SOURCE_DIR) + "/examples/" + name); }

// The zone radii of a surface file, `count` of them.
inline std::vector<Real> radii_of(const std::string& bytes, int& count) {
    dz::Tokenizer tokenizer('.');
    const dz::SurfaceReadResult r = dz::read_surface(bytes, tokenizer, dz::ZONE_CAPACITY);
    EXPECT_TRUE(r.data.has_value()) << r.message;
    if (!r.data) return {};
    count = r.data->zone_count;
    return r.data->radius;
}

// A surface file of the given zones (radius, measured value), '.' separator.
inline std::string surface_file(const std::vector<std::pair<std::string, std::string>>& zones,
                         const std::string& caption = "cap") {
    std::string out = caption + "\r\nx\r\n-1\r\n2000\r\nx\r\n";
    for (const auto& [radius, value] : zones) out += radius + " 0 " + value + "\r\n";
    return out;
}

}  // namespace dz::lap_calc_test
