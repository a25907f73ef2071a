// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The wear of a star lap by Preston's law: the kernel k(r, rho) that says how
// much a lap ring of radius rho wears a mirror zone of radius r over one
// stroke, and the matrix K that turns the leaf widths at the zones into the
// wear of every zone.
//
// The model. Lengths are in units of the mirror's outer radius. The lap, of
// radius L, is worked with its centre C on a straight line: C = s e(theta) +
// e_off e_perp(theta), s from -d to d, the mirror turned between strokes so
// that theta is uniform. The lap turns too, so its leaves act through their
// width fraction w(rho) at lap radius rho (0 beyond L). Preston's law makes
// the removal rate k p |v|; a pure translation slides every point of the lap
// at the stroke's speed, so over a stroke the removal at a mirror point P is
// p times the path along which P lies under a leaf:
//
//     R(r) = (1/2 pi) int_0^{2 pi} d theta int_{-d}^{d} ds p(s) w(|P - C(s)|)
//          = int_0^L w(rho) k(r, rho) d rho.
//
// The speed profile of the stroke drops out. A point always under a full lap
// (r <= L - d, no offset) gets R = 2d: short strokes with a full-size lap
// keep a sphere.
//
// The kernel, uniform pressure, no offset. For a fixed s the distance
// rho = |P - s e(theta)| obeys rho^2 = r^2 + s^2 - 2 r s cos theta; the
// theta-density of rho, with both angles of a rho and both signs of s, gives
//
//     k(r, rho) = (4 rho / pi) int ds / sqrt(((r+rho)^2 - s^2)(s^2 - (r-rho)^2)),
//
// s over (|r - rho|, min(d, r + rho)). With a = r + rho, b = |r - rho|,
// m = 4 r rho / a^2 this is Legendre's integral of the first kind,
// (4 rho / (pi a)) F(phi | m) with sin^2 phi = a^2 (d^2 - b^2) / (4 r rho d^2)
// when b < d < a, (4 rho / (pi a)) K(m) when d >= a, and 0 when d <= b.
// Carlson's symmetric form F(phi | m) = sin phi RF(cos^2 phi, 1 - m sin^2 phi, 1)
// with 1 - m sin^2 phi = b^2 / d^2, cos^2 phi = b^2 (a^2 - d^2) / (4 r rho d^2)
// and RF's homogeneity (RF(cx, cy, cz) = RF(x, y, z) / sqrt c) give the forms
// computed here, free of cancellation:
//
//     b < d < a:  k = (4 rho / pi) sqrt(d^2 - b^2) RF(b^2 (a^2 - d^2), 4 r rho b^2, 4 r rho d^2)
//     d >= a:     k = (4 rho / (pi a)) RF(0, (b/a)^2, 1)
//
// Features any integration over rho must respect: a logarithmic singularity
// at rho = r (m = 1), square-root onsets at rho = r -+ d (phi -> 0), and a
// square-root kink at rho = d - r when r < d, where the complete form takes
// over.
//
// The path form (offset, load). With the centre at distance q = sqrt(s^2 +
// e^2) from O, the theta-density of rho at a fixed q is
// g(r, rho, q) = (2 rho / pi) / sqrt((q^2 - b^2)(a^2 - q^2)) for b < q < a.
// Writing the s-integral over q (ds = q dq / sqrt(q^2 - e^2), both signs of
// s) and weighting each centre position by the pressure omega(q),
//
//     k(r, rho) = (4 rho / pi) int omega(q) q dq / sqrt((q^2 - b^2)(q^2 - e^2)(a^2 - q^2)),
//
// q over (max(b, e), min(a, q_max)), q_max = sqrt(d^2 + e^2). With e = 0 and
// omega = 1 it is the closed form above.
//
// The constant total load: the pressure is load / contact area, and the
// contact area at centre distance q is A(q) = int_0^L w(rho) l(rho, q) d rho,
// l the length of the lap ring of radius rho that lies on the mirror
// (2 pi rho while the ring is inside, 2 rho arccos((rho^2 + q^2 - 1) /
// (2 rho q)) where it crosses the edge). The weight is omega(q) = A(e) / A(q):
// 1 while the contact does not change, so that the two pressure models agree
// on a lap that never overhangs. A depends on the widths, so K does too; a
// design iterates (fit the widths with K of the last widths' area).

#include <span>
#include <vector>

#include "preston_wear/wear_settings.hpp"

namespace dz {

// preston_kernel: the closed form, uniform pressure and no offset.
//
//   on entry  r    mirror radius, >= 0 (units of the outer radius).
//             rho  lap ring radius, >= 0.
//             d    half-length of the stroke, > 0.
//   returns        k(r, rho) >= 0; +infinity at rho = r > 0 (and d > 0),
//                  the logarithmic singularity; 0 when rho = 0 or
//                  |r - rho| >= d.
// method    the Carlson forms of the header, RF by Boost.Math (duplication).
// accuracy  a few ulps times the condition of RF: about 1e-15 relative away
//           from rho = r.
[[nodiscard]] double preston_kernel(double r, double rho, double d);

// preston_kernel_at: the same with b = |r - rho| handed in, so that a caller
// who knows rho's distance to r better than r - rho rounds (near the
// singularity) keeps it.
[[nodiscard]] double preston_kernel_at(double r, double rho, double b, double d);

// The pressure weight omega(q) of the path form, tabulated over the centre's
// distance from the mirror's centre; empty: omega = 1 (uniform pressure).
struct PathWeight {
    double q0 = 0;
    double q1 = 0;
    std::vector<double> values;  // omega at q0 + (q1 - q0) k / (size - 1), k = 0 ..
    // omega(q): linear between the table's values, the end values outside.
    [[nodiscard]] double at(double q) const;
};

// contact_area: the area of the leaves on the mirror with the lap's centre
// at distance q from the mirror's centre, A(q) of the header (without 2 pi).
//
//   on entry  radii   n normalised zone radii (file order, any order).
//             widths  n leaf widths (fraction of the pitch), same order;
//                     linear between zones, constant inside the first zone
//                     and beyond the last, 0 beyond the lap's radius.
//             L       lap radius, q centre distance (0 <= q < 1).
//   returns   A(q) / (2 pi): int_0^L w(rho) rho alpha(rho, q) / pi d rho,
//             alpha the angle of the ring on the mirror (pi inside).
// method    Gauss-Legendre (4 points) on every piece between zones, split
//           where the ring meets the mirror's edge. accuracy: about 1e-7.
[[nodiscard]] double contact_area(std::span<const double> radii, std::span<const double> widths, double L,
                                  double q);

// load_weight: omega(q) = A(e) / A(q) for the constant total load, tabulated
// at 129 equally spaced q over [e, sqrt(d^2 + e^2)] (settings of `s`, lap of
// the widths). omega = 1 where an area is not positive (no leaf on the
// mirror: nothing is worn then anyway).
[[nodiscard]] PathWeight load_weight(std::span<const double> radii, std::span<const double> widths,
                                     const WearSettings& s);

// preston_kernel_path: the path form of the kernel for any offset and
// pressure weight.
//
//   on entry  r, rho  as for preston_kernel; b = |r - rho|.
//             e       offset of the stroke's line, >= 0; qmax = sqrt(d^2 + e^2).
//             weight  omega(q) (empty: 1).
//   returns   k(r, rho) >= 0.
// method    the q-interval is split at its middle. On the lower half
//           q = c + delta cosh^2 u (c = min(b, e), delta = max(b, e) - c)
//           removes both inverse square roots at its foot, even when they
//           nearly meet; on the upper half q = a - t^2 removes the one of
//           a^2 - q^2. Gauss-Legendre with 16 points on each.
// accuracy  about 1e-10 relative for omega = 1, e = 0 (checked against the
//           closed form); near rho = r -+ e, where k has its logarithmic
//           peak, about 1e-9.
[[nodiscard]] double preston_kernel_path(double r, double rho, double b, double e, double qmax,
                                         const PathWeight& weight);

// preston_matrix: K of the zones for the settings `s`.
//
// Usual call: preston_matrix(normalised radii, settings, {}, K), then the
// removal shape of a lap of widths w is K w.
//
//   on entry  radii   n normalised zone radii r / outer radius, file order
//                     (any order; the zones are taken in order of radius,
//                     equal radii in file order).
//             s       the settings (checked by check_wear_settings; the law
//                     is not looked at: this is Preston's).
//             widths  with the constant-load pressure: the widths whose
//                     contact area sets the pressure (n values; empty: all
//                     1). Not read with uniform pressure.
//   on return K       n x n, row-major, K[j n + i]: the wear of mirror zone
//                     j per unit width of lap zone i, so that
//                     removal_j = sum_i K[j n + i] w_i.
//
// method    w(rho) = sum_i w_i h_i(rho), h_i the hat functions of the zones
//           (linear between neighbouring radii, constant inside the first
//           zone and beyond the last, cut at L), so K[j][i] =
//           int_0^L h_i(rho) k(r_j, rho) d rho. For every row the interval
//           [0, min(L, r + q_max)] is cut at the zone radii, at L and at the
//           kernel's features (rho = r -+ e, the logarithmic peaks; r -+
//           q_max, q_max - r and e - r, the onsets and kinks), and each piece
//           is integrated with both linear moments at once: a piece that ends
//           at a logarithmic peak by Gauss-Laguerre (10 points) after
//           rho - peak = (width/8) e^{-t} on its first eighth and
//           Gauss-Legendre (6 points) on [1/8, 1/2] and [1/2, 1] of it; one
//           that ends at an onset by Gauss-Legendre (6 points) after
//           rho - onset = width t^2; others by Gauss-Legendre, 4 points, or 2
//           on pieces up to 1/200 long with no feature within three widths.
//           Pieces longer than 1/128 are halved first, and a piece with a feature at both ends is
//           split at its middle. The sums run in a fixed order: the result is
//           the same, bit for bit, on every run and machine.
// accuracy  about 1e-6 of the row sums or better (tests/preston_wear_test.cpp checks
//           against an adaptive quadrature of the kernel).
// time      uniform pressure without offset (the closed form): about 10 ms
//           of one core for 500 zones (bench/bench_preston); from 64 zones
//           on a helper thread on another core takes rows too (the same
//           bits whoever computes a row). The path form costs some 30 times
//           more.
void preston_matrix(std::span<const double> radii, const WearSettings& s, std::span<const double> widths,
                    std::vector<double>& K);

}  // namespace dz
