// SPDX-License-Identifier: GPL-3.0-or-later
// The wear of a star lap by Preston's law (see preston_kernel.hpp).

#include "preston_wear/preston_kernel.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <numbers>
#include <numeric>

#include <boost/math/special_functions/ellint_rf.hpp>

#include "parallel/helper_threads.hpp"

namespace dz {

namespace {

constexpr double PI = std::numbers::pi;

// RF in double throughout (Boost would otherwise carry double in long double).
using RfPolicy = boost::math::policies::policy<boost::math::policies::promote_double<false>>;

double rf(double x, double y, double z) { return boost::math::ellint_rf(x, y, z, RfPolicy()); }

// Gauss-Legendre rules on [0, 1].
constexpr double GL2_X[] = {0.21132486540518713, 0.7886751345948129};
constexpr double GL4_X[] = {0.06943184420297371, 0.33000947820757187, 0.6699905217924281, 0.9305681557970262};
constexpr double GL4_W[] = {0.17392742256872684, 0.3260725774312731, 0.3260725774312731, 0.17392742256872684};
constexpr double GL6_X[] = {0.033765242898423975, 0.16939530676686776, 0.3806904069584015,
                            0.6193095930415985,   0.8306046932331322,  0.966234757101576};
constexpr double GL6_W[] = {0.08566224618958487, 0.18038078652406947, 0.23395696728634569,
                            0.23395696728634569, 0.18038078652406947, 0.08566224618958487};
constexpr double GL16_X[] = {0.005299532504175031, 0.0277124884633837, 0.06718439880608412, 0.1222977958224985,
                             0.19106187779867811,  0.2709916111713863, 0.35919822461037054, 0.4524937450811813,
                             0.5475062549188188,   0.6408017753896295, 0.7290083888286136,  0.8089381222013219,
                             0.8777022041775016,   0.9328156011939159, 0.9722875115366163,  0.994700467495825};
constexpr double GL16_W[] = {0.013576229705877019, 0.031126761969323853, 0.047579255841246296,
                             0.062314485627767015, 0.07479799440828838,  0.08457825969750131,
                             0.0913017075224618,   0.09472530522753429,  0.09472530522753429,
                             0.0913017075224618,   0.08457825969750131,  0.07479799440828838,
                             0.062314485627767015, 0.047579255841246296, 0.031126761969323853,
                             0.013576229705877019};
// Gauss-Laguerre, 10 points: int_0^inf f(t) e^{-t} dt.
constexpr double LAG10_X[] = {0.1377934705404926, 0.729454549503171,  1.8083429017403159, 3.4014336978548996,
                              5.552496140063804,  8.330152746764497,  11.843785837900066, 16.279257831378104,
                              21.99658581198076,  29.92069701227389};
constexpr double LAG10_W[] = {0.3084411157650173,    0.4011199291552761,    0.2180682876118096,
                              0.062087456098677773,  0.0095015169751811,    0.0007530083885875384,
                              2.8259233495995642e-05, 4.249313984962698e-07, 1.839564823979633e-09,
                              9.91182721960906e-13};
// (e^{-t} at its points is computed once per matrix: std::exp is not constexpr.)

// Pieces longer than this are halved before a rule is chosen.
constexpr double LONGEST_PIECE = 1.0 / 128;
// Two points suffice on pieces this short with no feature within three widths.
constexpr double SHORT_PIECE = 1.0 / 200;
// A feature this close to a zone radius or L is taken to lie on it.
constexpr double SNAP = 1e-13;
// Table of the load weight.
constexpr int LOAD_TABLE = 129;
// From this many zones on, a helper thread takes rows of K too (below, the
// thread's start costs more than it saves).
constexpr std::size_t THREADED_ROWS = 64;

// The zones in order of radius and the pieces of the lap's width function.
struct LapNodes {
    std::vector<double> x;  // radii, ascending
    std::vector<int> zone;  // file index of each
};

LapNodes lap_nodes(std::span<const double> radii) {
    LapNodes nodes;
    std::vector<int> order(radii.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int p, int q) {
        return radii[static_cast<std::size_t>(p)] < radii[static_cast<std::size_t>(q)];
    });
    for (int k : order) {
        nodes.x.push_back(radii[static_cast<std::size_t>(k)]);
        nodes.zone.push_back(k);
    }
    return nodes;
}

// One piece of the width function: [lo, hi] inside [0, L], where the width is
// (1 - t) w[left] + t w[right], t = (rho - x0) / (x1 - x0) (or w[left] alone
// when constant).
struct WidthPiece {
    double lo, hi;
    int left, right;  // file indices
    double x0, x1;    // the line's ends; x1 <= x0 means constant
};

std::vector<WidthPiece> width_pieces(const LapNodes& nodes, double L) {
    std::vector<WidthPiece> pieces;
    const std::size_t n = nodes.x.size();
    if (n == 0 || !(L > 0)) return pieces;
    auto add = [&](double lo, double hi, int left, int right, double x0, double x1) {
        lo = std::max(lo, 0.0);
        hi = std::min(hi, L);
        if (hi > lo) pieces.push_back({lo, hi, left, right, x0, x1});
    };
    add(0, nodes.x[0], nodes.zone[0], nodes.zone[0], 0, 0);  // inside the first zone
    for (std::size_t k = 0; k + 1 < n; ++k) {
        if (nodes.x[k + 1] > nodes.x[k])
            add(nodes.x[k], nodes.x[k + 1], nodes.zone[k], nodes.zone[k + 1], nodes.x[k], nodes.x[k + 1]);
    }
    add(nodes.x[n - 1], L, nodes.zone[n - 1], nodes.zone[n - 1], 0, 0);  // beyond the last
    return pieces;
}

// The kernel's features in one row: where the pieces are cut and what the
// integrand does there.
enum class Feature : unsigned char { none = 0, onset = 1, peak = 2 };

struct Cut {
    double at;
    Feature kind;
};

// Gauss-Legendre with `count` points (2, 4 or 6) over x in [x0, x1], x the
// distance from the piece's end.
template <class Add>
void legendre(int count, double x0, double x1, const Add& add) {
    const double len = x1 - x0;
    if (count == 2) {
        add(x0 + len * GL2_X[0], len * 0.5);
        add(x0 + len * GL2_X[1], len * 0.5);
    } else if (count == 4) {
        for (int i = 0; i < 4; ++i) add(x0 + len * GL4_X[i], len * GL4_W[i]);
    } else {
        for (int i = 0; i < 6; ++i) add(x0 + len * GL6_X[i], len * GL6_W[i]);
    }
}

// Adds the integral of f over [u, v] times (1, t) to m0, m1, t = (rho - x0) /
// (x1 - x0) (t = 0 when x1 <= x0). The ends' features choose the rule; f(rho,
// b) receives rho and b = |r - rho| computed from the distance to the end.
// far(u, v): true when no feature lies within three widths of [u, v].
template <class F, class Far>
void integrate_piece(double u, Feature fu, double v, Feature fv, double r, double x0, double x1,
                     const double* lag_steps, const F& f, const Far& far, double& m0, double& m1) {
    const double span = x1 - x0;
    const double w = v - u;
    if (!(w > 0)) return;
    // long pieces, and pieces with a feature at both ends: halve (the inner
    // cut is plain)
    if (w > LONGEST_PIECE || (fu != Feature::none && fv != Feature::none)) {
        const double mid = u + w / 2;
        integrate_piece(u, fu, mid, Feature::none, r, x0, x1, lag_steps, f, far, m0, m1);
        integrate_piece(mid, Feature::none, v, fv, r, x0, x1, lag_steps, f, far, m0, m1);
        return;
    }
    // the distance x from the end at `end`, towards the piece
    const bool from_u = fu != Feature::none || fv == Feature::none;
    const double end = from_u ? u : v;
    const double toward = from_u ? 1.0 : -1.0;
    const double gap = r - end;  // exact when the end is r itself
    auto add = [&](double x, double weight) {
        const double rho = end + toward * x;
        const double b = std::fabs(gap - toward * x);
        const double k = f(rho, b) * weight;
        m0 += k;
        m1 += k * (span > 0 ? (rho - x0) / span : 0.0);
    };
    switch (from_u ? fu : fv) {
    case Feature::peak: {
        // x = (w/8) e^{-t} on the first eighth: the logarithm becomes a
        // polynomial in t; the rest in two pieces of Gauss-Legendre
        const double near = w / 8;
        for (int i = 0; i < 10; ++i) add(near * lag_steps[i], near * LAG10_W[i]);
        legendre(6, near, w / 2, add);
        legendre(6, w / 2, w, add);
        break;
    }
    case Feature::onset:
        // x = w t^2: dx = 2 w t dt, the square root becomes smooth
        for (int i = 0; i < 6; ++i) add(w * GL6_X[i] * GL6_X[i], 2 * w * GL6_X[i] * GL6_W[i]);
        break;
    case Feature::none:
        legendre(w <= SHORT_PIECE && far(u, v) ? 2 : 4, 0, w, add);
        break;
    }
}

}  // namespace

double preston_kernel_at(double r, double rho, double b, double d) {
    if (!(rho > 0) || !(b < d)) return 0;
    const double a = r + rho;
    if (b == 0) return std::numeric_limits<double>::infinity();  // r = rho > 0: the peak
    // so close to the peak that b^2 would underflow: K(m) = ln(4 / k') to
    // within (k')^2 ln k', k' = b / a, in both forms
    if (b < 1e-100 * a) return 4 * rho / (PI * a) * std::log(4 * a / b);
    const double ratio = b / a;
    if (d >= a) return 4 * rho / (PI * a) * rf(0, ratio * ratio, 1);
    const double four_r_rho = (a - b) * (a + b);
    return 4 * rho / PI * std::sqrt((d - b) * (d + b)) *
           rf(b * b * ((a - d) * (a + d)), four_r_rho * (b * b), four_r_rho * (d * d));
}

double preston_kernel(double r, double rho, double d) { return preston_kernel_at(r, rho, std::fabs(r - rho), d); }

double PathWeight::at(double q) const {
    if (values.empty()) return 1;
    const std::size_t last = values.size() - 1;
    if (last == 0 || !(q1 > q0)) return values[0];
    const double t = (q - q0) / (q1 - q0) * static_cast<double>(last);
    if (!(t > 0)) return values[0];
    if (t >= static_cast<double>(last)) return values[last];
    const auto k = static_cast<std::size_t>(t);
    const double f = t - static_cast<double>(k);
    return values[k] + (values[k + 1] - values[k]) * f;
}

double contact_area(std::span<const double> radii, std::span<const double> widths, double L, double q) {
    const LapNodes nodes = lap_nodes(radii);
    double area = 0;
    // the ring's angle on the mirror, over pi
    auto on_mirror = [&](double rho) {
        if (rho + q <= 1) return 1.0;
        if (rho >= 1 + q || q == 0) return 0.0;
        const double c = (rho * rho + q * q - 1) / (2 * rho * q);
        return std::acos(std::clamp(c, -1.0, 1.0)) / PI;
    };
    for (const WidthPiece& p : width_pieces(nodes, L)) {
        const double wl = widths[static_cast<std::size_t>(p.left)];
        const double wr = widths[static_cast<std::size_t>(p.right)];
        // split where the ring reaches the edge (a square-root kink)
        double cuts[3] = {p.lo, p.hi, p.hi};
        if (1 - q > p.lo && 1 - q < p.hi) cuts[1] = 1 - q;
        for (int c = 0; c < 2; ++c) {
            const double lo = cuts[c];
            const double len = cuts[c + 1] - lo;
            if (!(len > 0)) continue;
            for (int i = 0; i < 4; ++i) {
                const double rho = lo + len * GL4_X[i];
                const double t = p.x1 > p.x0 ? (rho - p.x0) / (p.x1 - p.x0) : 0.0;
                area += len * GL4_W[i] * (wl + (wr - wl) * t) * rho * on_mirror(rho);
            }
        }
    }
    return area;
}

PathWeight load_weight(std::span<const double> radii, std::span<const double> widths, const WearSettings& s) {
    PathWeight weight;
    const double d = s.half_stroke();
    const double e = s.offset_radius();
    weight.q0 = e;
    weight.q1 = std::sqrt(d * d + e * e);
    weight.values.resize(LOAD_TABLE);
    std::vector<double> ones;
    if (widths.empty()) {
        ones.assign(radii.size(), 1.0);
        widths = ones;
    }
    const double base = contact_area(radii, widths, s.lap_radius(), weight.q0);
    for (int k = 0; k < LOAD_TABLE; ++k) {
        const double q = weight.q0 + (weight.q1 - weight.q0) * static_cast<double>(k) / (LOAD_TABLE - 1);
        const double area = k == 0 ? base : contact_area(radii, widths, s.lap_radius(), q);
        weight.values[static_cast<std::size_t>(k)] = base > 0 && area > 0 ? base / area : 1.0;
    }
    return weight;
}

double preston_kernel_path(double r, double rho, double b, double e, double qmax, const PathWeight& weight) {
    if (!(rho > 0)) return 0;
    if (r == 0) {
        // the centre sees the lap's centre at distance q = rho only: the
        // density of q along the stroke, twice
        if (!(rho > e && rho < qmax)) return 0;
        return 2 * weight.at(rho) * rho / std::sqrt((rho - e) * (rho + e));
    }
    const double a = r + rho;
    const double lo = std::max(b, e);
    const double hi = std::min(a, qmax);
    if (!(hi > lo)) return 0;
    const double c = std::min(b, e);
    // at rho = r -+ e the two roots meet: a logarithmic peak, kept finite
    const double delta = std::max(lo - c, std::numeric_limits<double>::min());
    const double mid = lo + (hi - lo) / 2;
    double sum = 0;
    // lower half: q = c + delta cosh^2 u, dq / sqrt((q - lo)(q - c)) = 2 du
    const double top = std::asinh(std::sqrt((mid - lo) / delta));
    for (int i = 0; i < 16; ++i) {
        const double u = top * GL16_X[i];
        const double sh = std::sinh(u);
        const double q = lo + delta * sh * sh;
        sum += top * GL16_W[i] * 2 * weight.at(q) * q / std::sqrt((q + lo) * (q + c) * ((a - q) * (a + q)));
    }
    // upper half: q = a - t^2, dq / sqrt(a - q) = 2 dt
    const double t0 = std::sqrt(a - hi);
    const double t1 = std::sqrt(a - mid);
    for (int i = 0; i < 16; ++i) {
        const double t = t0 + (t1 - t0) * GL16_X[i];
        const double q = a - t * t;
        // q - b and q - e from a, which the substitution keeps exact
        const double above_b = (a - b) - t * t;
        const double above_e = (a - e) - t * t;
        if (!(above_b > 0 && above_e > 0)) continue;  // a rounding at the foot
        sum += (t1 - t0) * GL16_W[i] * 2 * weight.at(q) * q /
               std::sqrt(above_b * (q + b) * above_e * (q + e) * (a + q));
    }
    return 4 * rho / PI * sum;
}

void preston_matrix(std::span<const double> radii, const WearSettings& s, std::span<const double> widths,
                    std::vector<double>& K) {
    const std::size_t n = radii.size();
    K.assign(n * n, 0.0);
    if (n == 0) return;
    const double d = s.half_stroke();
    const double e = s.offset_radius();
    const double L = s.lap_radius();
    const double qmax = std::sqrt(d * d + e * e);
    const bool closed = e == 0 && s.pressure == PressureModel::uniform;
    PathWeight weight;
    if (s.pressure == PressureModel::load) weight = load_weight(radii, widths, s);

    double lag_steps[10];
    for (int i = 0; i < 10; ++i) lag_steps[i] = std::exp(-LAG10_X[i]);

    const LapNodes nodes = lap_nodes(radii);
    const std::vector<WidthPiece> pieces = width_pieces(nodes, L);
    // one row of K; the rows are independent
    auto fill_row = [&](std::size_t j, std::vector<Cut>& cuts) {
        const double r = std::fabs(radii[j]);
        double* row = K.data() + j * n;
        // the kernel's features in this row, each moved onto a zone radius
        // or L when it lies within rounding of one (r + d computed is not
        // always the zone radius it stands for)
        cuts.clear();
        cuts.push_back({r - e, Feature::peak});
        cuts.push_back({r + e, Feature::peak});
        cuts.push_back({r - qmax, Feature::onset});
        cuts.push_back({r + qmax, Feature::onset});
        cuts.push_back({qmax - r, Feature::onset});
        cuts.push_back({e - r, Feature::onset});
        for (Cut& c : cuts) {
            const auto above = std::lower_bound(nodes.x.begin(), nodes.x.end(), c.at);
            if (above != nodes.x.end() && *above - c.at <= SNAP) c.at = *above;
            if (above != nodes.x.begin() && c.at - *(above - 1) <= SNAP) c.at = *(above - 1);
            if (std::fabs(c.at - L) <= SNAP) c.at = L;
        }
        // the support
        const double first = std::max({0.0, cuts[2].at, cuts[5].at});
        const double last = std::min(L, cuts[3].at);
        if (!(last > first)) return;
        std::sort(cuts.begin(), cuts.end(), [](const Cut& p, const Cut& q) {
            return p.at < q.at || (p.at == q.at && p.kind > q.kind);
        });
        auto kind_at = [&](double x) {
            Feature kind = Feature::none;
            for (const Cut& c : cuts)
                if (c.at == x && c.kind > kind) kind = c.kind;
            return kind;
        };
        // no feature within three widths of [u, v]
        auto far = [&](double u, double v) {
            const double margin = 3 * (v - u);
            for (const Cut& c : cuts)
                if (c.at > u - margin && c.at < v + margin) return false;
            return true;
        };
        auto kernel = [&](double rho, double b) {
            return closed ? preston_kernel_at(r, rho, b, d) : preston_kernel_path(r, rho, b, e, qmax, weight);
        };
        for (const WidthPiece& p : pieces) {
            const double lo = std::max(p.lo, first);
            const double hi = std::min(p.hi, last);
            if (!(hi > lo)) continue;
            double m0 = 0;
            double m1 = 0;
            // cut at the features inside (lo, hi)
            double u = lo;
            Feature fu = kind_at(lo);
            for (const Cut& c : cuts) {
                if (!(c.at > u && c.at < hi)) continue;
                integrate_piece(u, fu, c.at, c.kind, r, p.x0, p.x1, lag_steps, kernel, far, m0, m1);
                u = c.at;
                fu = c.kind;
            }
            Feature fv = kind_at(hi);
            integrate_piece(u, fu, hi, fv, r, p.x0, p.x1, lag_steps, kernel, far, m0, m1);
            // the hat functions' shares
            if (p.x1 > p.x0) {
                row[p.left] += m0 - m1;
                row[p.right] += m1;
            } else {
                row[p.left] += m0;
            }
        }
    };
    // This thread takes rows from the top, a helper (on another core) from
    // the bottom, until they meet: each row is computed by the same code
    // whoever takes it, so the bits do not depend on the split.
    ColumnClaims claims(0, static_cast<int>(n));
    auto take = [&](bool top) {
        std::vector<Cut> cuts;
        for (int j = top ? claims.from_left() : claims.from_right(); j >= 0;
             j = top ? claims.from_left() : claims.from_right())
            fill_row(static_cast<std::size_t>(j), cuts);
    };
    run_alongside(n >= THREADED_ROWS ? 1 : 0, [&] { take(false); }, [&] { take(true); });
}

}  // namespace dz
