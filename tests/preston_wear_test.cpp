// SPDX-License-Identifier: GPL-3.0-or-later
// The Preston kernel and its zone matrix: the closed form's check values, the
// path form against it, the plateau of a full lap, and the matrix against an
// adaptive quadrature of the kernel.

#include <gtest/gtest.h>

#include <boost/math/quadrature/tanh_sinh.hpp>
#include <cmath>
#include <limits>
#include <vector>

#include "preston_wear/preston_kernel.hpp"

namespace {

constexpr double EPS = std::numeric_limits<double>::epsilon();

std::vector<double> even_radii(int n) {
    std::vector<double> r;
    for (int k = 0; k < n; ++k) r.push_back(static_cast<double>(k) / (n - 1));
    return r;
}

std::vector<double> times(const std::vector<double>& K, const std::vector<double>& w) {
    const std::size_t n = w.size();
    std::vector<double> out(n, 0.0);
    for (std::size_t j = 0; j < n; ++j)
        for (std::size_t i = 0; i < n; ++i) out[j] += K[j * n + i] * w[i];
    return out;
}

TEST(PrestonKernel_ClosedForm, CheckValuesOfTheDesignNote) {
    struct Case { double r, rho, k; };
    const Case cases[] = {{0.5, 0.4, 0.75377082065}, {0.5, 0.6, 0.92157533416},
                          {0.05, 0.1, 2.14636401430}, {0.9, 0.75, 0.46268999506}};
    for (const Case& c : cases) EXPECT_NEAR(dz::preston_kernel(c.r, c.rho, 0.2), c.k, 1e-10) << c.r << " " << c.rho;
    // hand cases: a point at the centre sees every ring inside d twice; none beyond
    EXPECT_NEAR(dz::preston_kernel(0, 0.1, 0.2), 2, 4 * EPS);
    EXPECT_EQ(dz::preston_kernel(0, 0.25, 0.2), 0);
    EXPECT_EQ(dz::preston_kernel(0.5, 0.2, 0.2), 0);  // |r - rho| >= d
    EXPECT_EQ(dz::preston_kernel(0.5, 0, 0.2), 0);
    EXPECT_TRUE(std::isinf(dz::preston_kernel(0.5, 0.5, 0.2)));
}

TEST(PrestonKernel_PathForm, AgreesWithTheClosedFormWithoutOffset) {
    const dz::PathWeight uniform;
    double worst = 0;
    for (double r = 0; r <= 1.0001; r += 0.0625) {
        for (double rho = 0.013; rho <= 1; rho += 0.0371) {
            for (const double d : {0.1, 0.2, 0.45}) {
                const double closed = dz::preston_kernel(r, rho, d);
                const double path = dz::preston_kernel_path(r, rho, std::fabs(r - rho), 0, d, uniform);
                worst = std::max(worst, std::fabs(path - closed) / std::max(closed, 1.0));
            }
        }
    }
    EXPECT_LT(worst, 1e-10);
}

TEST(PrestonMatrix_FullLap, FlatInsideOneMinusDAndTheNotesEdgeValues) {
    // w = 1 everywhere: the row sums are int_0^1 k d rho
    const std::vector<double> radii = even_radii(201);
    std::vector<double> K;
    dz::preston_matrix(radii, dz::WearSettings{}, {}, K);
    const std::vector<double> wear = times(K, std::vector<double>(radii.size(), 1.0));
    for (std::size_t j = 0; j < radii.size(); ++j) {
        if (radii[j] <= 0.8) {
            EXPECT_NEAR(wear[j], 0.4, 1e-6) << radii[j];
        }
    }
    EXPECT_NEAR(wear[180], 0.34681, 1e-5);
    EXPECT_NEAR(wear[200], 0.19363, 1e-5);
    // an empty lap wears nothing
    for (double v : times(K, std::vector<double>(radii.size(), 0.0))) EXPECT_EQ(v, 0);
}

TEST(PrestonMatrix_Rows, AgreeWithAnAdaptiveQuadratureOfTheKernel) {
    // uneven zones, widths of a wave: each row against Gauss-Kronrod on every
    // piece between the kernel's features
    std::vector<double> radii;
    for (int k = 0; k < 37; ++k) radii.push_back(std::pow(k / 36.0, 0.8));
    std::vector<double> w;
    for (double r : radii) w.push_back(0.6 + 0.3 * std::sin(9 * r));
    for (const dz::WearSettings s : {dz::WearSettings{}, dz::WearSettings{.stroke = 0.35, .lap_size = 0.7}}) {
        std::vector<double> K;
        dz::preston_matrix(radii, s, {}, K);
        const std::vector<double> wear = times(K, w);
        const double d = s.half_stroke();
        const double L = s.lap_radius();
        auto width = [&](double rho) {
            if (rho <= radii[0]) return w[0];
            for (std::size_t k = 1; k < radii.size(); ++k)
                if (rho <= radii[k])
                    return w[k - 1] + (w[k] - w[k - 1]) * (rho - radii[k - 1]) / (radii[k] - radii[k - 1]);
            return w.back();
        };
        for (std::size_t j = 0; j < radii.size(); ++j) {
            const double r = radii[j];
            std::vector<double> cuts = {0, L};
            for (double c : {r - d, r, r + d, d - r}) if (c > 0 && c < L) cuts.push_back(c);
            for (double x : radii) if (x > 0 && x < L) cuts.push_back(x);
            std::sort(cuts.begin(), cuts.end());
            // tanh-sinh, with the distance to r from its end where r is one
            double reference = 0;
            boost::math::quadrature::tanh_sinh<double> quadrature;
            for (std::size_t p = 0; p + 1 < cuts.size(); ++p) {
                const double lo = cuts[p], hi = cuts[p + 1];
                if (!(hi > lo)) continue;
                reference += quadrature.integrate(
                    [&](double rho, double to_end) {
                        double b = std::fabs(r - rho);
                        if ((to_end < 0 && lo == r) || (to_end > 0 && hi == r)) b = std::fabs(to_end);
                        return width(rho) * dz::preston_kernel_at(r, rho, b, d);
                    },
                    lo, hi);
            }
            EXPECT_NEAR(wear[j], reference, 2e-6) << "r = " << r << ", stroke " << s.stroke;
        }
    }
}

TEST(PrestonMatrix_NarrowRing, WearsAsTheKernelOfItsRadius) {
    // one ring of width 1 at rho0 on a fine grid: K w = hat area x k(r, rho0)
    // away from the ring, to the hat's second moment
    const std::vector<double> radii = even_radii(401);
    std::vector<double> K;
    dz::preston_matrix(radii, dz::WearSettings{}, {}, K);
    std::vector<double> w(radii.size(), 0.0);
    w[200] = 1;  // rho0 = 0.5
    const double h = radii[1];
    const std::vector<double> wear = times(K, w);
    for (const std::size_t j : {240u, 260u, 272u, 140u, 160u}) {
        const double expected = h * dz::preston_kernel(radii[j], 0.5, 0.2);
        EXPECT_NEAR(wear[j], expected, 2e-3 * expected) << radii[j];
    }
    EXPECT_EQ(wear[100], 0);  // |r - rho0| > d + h
    EXPECT_EQ(wear[300], 0);
}

TEST(PrestonMatrix_Variants, SmallOffsetAndLoadWithoutOverhangMeetUniform) {
    const std::vector<double> radii = even_radii(61);
    std::vector<double> uniform;
    dz::preston_matrix(radii, dz::WearSettings{.lap_size = 0.6}, {}, uniform);
    // a lap of radius 0.6 worked 0.2 either side never overhangs: the load
    // model's weight is 1 and its matrix the uniform one, by the path form
    std::vector<double> load;
    dz::preston_matrix(radii, dz::WearSettings{.lap_size = 0.6, .pressure = dz::PressureModel::load}, {}, load);
    std::vector<double> offset;
    dz::preston_matrix(radii, dz::WearSettings{.offset = 1e-7, .lap_size = 0.6}, {}, offset);
    const std::vector<double> w(radii.size(), 1.0);
    const std::vector<double> a = times(uniform, w), b = times(load, w), c = times(offset, w);
    for (std::size_t j = 0; j < radii.size(); ++j) {
        EXPECT_NEAR(b[j], a[j], 1e-8) << radii[j];
        EXPECT_NEAR(c[j], a[j], 1e-5) << radii[j];
    }
    // the same settings give the same bits
    std::vector<double> again;
    dz::preston_matrix(radii, dz::WearSettings{.lap_size = 0.6}, {}, again);
    EXPECT_EQ(again, uniform);
}

}  // namespace
