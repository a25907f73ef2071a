// SPDX-License-Identifier: GPL-3.0-or-later
// The least-squares lap design (see lap_fit.hpp).

#include "lap_fit/lap_fit.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>

#include "lap_fit/dual_qp.hpp"
#include "removal/removal.hpp"

namespace dz {

namespace {

using Eigen::Index;
using Eigen::MatrixXd;
using Eigen::VectorXd;

// The roughness term and the ridge, relative to the scaled data (see fit_lap).
constexpr double ROUGHNESS = 1e-11;
constexpr double RIDGE = 1e-12;
// The curvature is held this much inside its bound, the QP to this tolerance.
constexpr double BOUND_MARGIN = 1e-9;
constexpr double QP_TOLERANCE = 1e-12;
// Below this (relative to max |m|) the polishing time counts as 0.
constexpr double TAU_ZERO = 1e-9;
// Programmes solved, each with the regularisation centred on the last result.
constexpr int PROXIMAL_STEPS = 4;
// With a roughness penalty the matrix is definite by itself and the
// regularisation settles nothing: one programme.
constexpr int PENALISED_STEPS = 1;
// The centre's residual stays within this share of the measured P-V of every other zone's.
constexpr double CENTRE_SHARE = 0.95;

// A value read off a straight line between two entries: (1 - f) v_lo + f v_hi.
struct Interpolant {
    int lo = 0;
    int hi = 0;
    double f = 0;
};

// The zones in order of radius, equal radii in file order.
std::vector<int> radius_order(std::span<const double> radii)
{
    std::vector<int> order(radii.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        return radii[static_cast<std::size_t>(a)] < radii[static_cast<std::size_t>(b)];
    });
    return order;
}

// The sample radii of the curvature measure.
double sample_radius(double lo, double hi, int i)
{
    if (i == CURVATURE_SAMPLES - 1) return hi;
    return lo + (hi - lo) * static_cast<double>(i) / static_cast<double>(CURVATURE_SAMPLES - 1);
}

// The samples of the measure as interpolants between zones (file indices).
// Empty when there are fewer than two zones or no extent.
std::vector<Interpolant> curvature_samples(std::span<const double> radii, const std::vector<int>& order,
                                           double& h)
{
    const std::size_t n = radii.size();
    h = 0;
    if (n < 2) return {};
    const double lo = radii[static_cast<std::size_t>(order.front())];
    const double hi = radii[static_cast<std::size_t>(order.back())];
    if (!(hi > lo)) return {};
    h = (hi - lo) / static_cast<double>(CURVATURE_SAMPLES - 1);
    std::vector<Interpolant> samples(CURVATURE_SAMPLES);
    std::size_t a = 0;  // sorted position of the last zone with radius <= s
    for (int i = 0; i < CURVATURE_SAMPLES; ++i) {
        const double s = sample_radius(lo, hi, i);
        while (a + 1 < n && radii[static_cast<std::size_t>(order[a + 1])] <= s) ++a;
        Interpolant& it = samples[static_cast<std::size_t>(i)];
        it.lo = order[a];
        if (a + 1 == n) {
            it.hi = it.lo;
            it.f = 0;
        } else {
            it.hi = order[a + 1];
            const double ra = radii[static_cast<std::size_t>(it.lo)];
            const double rb = radii[static_cast<std::size_t>(it.hi)];
            it.f = (s - ra) / (rb - ra);
        }
    }
    return samples;
}

double read_off(const Interpolant& it, std::span<const double> v)
{
    const double a = v[static_cast<std::size_t>(it.lo)];
    const double b = v[static_cast<std::size_t>(it.hi)];
    return a + (b - a) * it.f;
}

// The weights of the objective: fit_weights when given, else the area weights.
std::span<const double> objective_weights(const FitProblem& p)
{
    return p.fit_weights.empty() ? p.weights : p.fit_weights;
}

bool all_finite(std::span<const double> v)
{
    return std::all_of(v.begin(), v.end(), [](double x) { return std::isfinite(x); });
}

bool same_bits(const std::vector<double>& kept, std::span<const double> now)
{
    return kept.size() == now.size() &&
           (now.empty() || std::memcmp(kept.data(), now.data(), now.size() * sizeof(double)) == 0);
}

}  // namespace

// The set-up of one surface: everything of the programme but the floor and
// the curvature bound, which enter the constraints only.
struct FitWarmStart::Cache {
    // the problem it was made for
    std::vector<double> wear, measured, weights, fit_weights, radii;
    bool free_focus = false;
    // the unknowns: K node values, then tau, beta (and gamma)
    int K = 0;
    std::vector<Interpolant> zone_of_node;  // per zone (file order): its place on the nodes
    MatrixXd bend;                          // (samples - 2) x K: second differences of the sampled widths
    double h = 0;
    double scale = 1;                       // max |m|
    MatrixXd J;                             // qp_factor of the least-squares matrix with its regularisation
    MatrixXd regularisation;                // the proximal roughness term and the ridge alone
    MatrixXd G;                             // the least-squares matrix with that regularisation
    MatrixXd roughness;                     // int u''^2 d rho over the node values (K x K block)
    double roughness_unit = 0;              // trace of G's node block / trace of roughness; 0: no penalty
    std::vector<MatrixXd> ladder;           // qp_factor of G + c unit roughness, c along SMOOTHING_LADDER
    MatrixXd centre_rows;                   // per zone at radius 0 and other zone k: the row of r_centre - r_k
    std::vector<double> centre_measured;    // and m_centre - m_k, scaled
    std::vector<double> centre_limits;      // the bound on |r_centre - r_k|, scaled
    VectorXd g;

    [[nodiscard]] bool matches(const FitProblem& p) const
    {
        return free_focus == p.free_focus && same_bits(wear, p.wear) && same_bits(measured, p.measured) &&
               same_bits(weights, p.weights) && same_bits(fit_weights, p.fit_weights) && same_bits(radii, p.radii);
    }
};

FitWarmStart::FitWarmStart() = default;
FitWarmStart::~FitWarmStart() = default;
void FitWarmStart::clear()
{
    cache_.reset();
    reused_ = false;
}

struct FitAccess {
    static std::unique_ptr<FitWarmStart::Cache>& cache(FitWarmStart& w) { return w.cache_; }
    static void set_reused(FitWarmStart& w, bool r) { w.reused_ = r; }
};

double max_second_derivative(std::span<const double> radii, std::span<const double> widths)
{
    double h = 0;
    const std::vector<Interpolant> samples = curvature_samples(radii, radius_order(radii), h);
    if (samples.empty()) return 0;
    double worst = 0;
    double before = read_off(samples[0], widths);
    double here = read_off(samples[1], widths);
    for (int i = 1; i + 1 < CURVATURE_SAMPLES; ++i) {
        const double after = read_off(samples[static_cast<std::size_t>(i + 1)], widths);
        const double bend = std::fabs((before - 2 * here + after) / (h * h));
        if (bend > worst) worst = bend;
        before = here;
        here = after;
    }
    return worst;
}

namespace {

// Builds the set-up of the programme for one surface (everything but the floor).
// Returns false when the least-squares matrix is not definite.
bool set_up(const FitProblem& p, FitWarmStart::Cache& c, int& factor_status)
{
    const std::size_t n = p.measured.size();
    const std::vector<int> order = radius_order(p.radii);
    const std::vector<Interpolant> samples = curvature_samples(p.radii, order, c.h);
    const double lo = p.radii[static_cast<std::size_t>(order.front())];
    const double hi = p.radii[static_cast<std::size_t>(order.back())];

    // the unknown node values and each zone's place on them
    std::vector<double> node_radius;
    c.zone_of_node.assign(n, Interpolant{});
    if (samples.empty()) {
        // one radius only: one width for all
        c.K = 1;
        node_radius = {lo};
    } else if (n <= static_cast<std::size_t>(CURVATURE_SAMPLES)) {
        c.K = static_cast<int>(n);
        for (std::size_t j = 0; j < n; ++j) {
            const int zone = order[j];
            c.zone_of_node[static_cast<std::size_t>(zone)] = {static_cast<int>(j), static_cast<int>(j), 0};
            node_radius.push_back(p.radii[static_cast<std::size_t>(zone)]);
        }
    } else {
        c.K = CURVATURE_SAMPLES;
        for (int j = 0; j < c.K; ++j) node_radius.push_back(sample_radius(lo, hi, j));
        for (std::size_t k = 0; k < n; ++k) {
            const double t = (p.radii[k] - lo) / (hi - lo) * static_cast<double>(c.K - 1);
            const int j = std::min(static_cast<int>(std::floor(t)), c.K - 2);
            c.zone_of_node[k] = {j, j + 1, t - static_cast<double>(j)};
        }
    }
    const int K = c.K;
    const int p_count = K + (p.free_focus ? 3 : 2);

    // the bending rows: second differences of the sampled widths in node values
    const int bends = samples.empty() ? 0 : CURVATURE_SAMPLES - 2;
    MatrixXd sampled = MatrixXd::Zero(static_cast<Index>(samples.size()), K);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const Interpolant& s = samples[i];
        const double part[2] = {1 - s.f, s.f};
        const int zones[2] = {s.lo, s.hi};
        for (int e = 0; e < 2; ++e) {
            const Interpolant& z = c.zone_of_node[static_cast<std::size_t>(zones[e])];
            sampled(static_cast<Index>(i), z.lo) += part[e] * (1 - z.f);
            sampled(static_cast<Index>(i), z.hi) += part[e] * z.f;
        }
    }
    c.bend = MatrixXd::Zero(bends, K);
    for (int i = 0; i < bends; ++i) c.bend.row(i) = sampled.row(i) - 2 * sampled.row(i + 1) + sampled.row(i + 2);

    // the scaled, weighted least-squares rows: sqrt(a_j) (A B | 0 | 1 | rho^2)
    c.scale = 0;
    for (double v : p.measured) c.scale = std::max(c.scale, std::fabs(v));
    if (c.scale == 0) c.scale = 1;
    const std::span<const double> weights = objective_weights(p);
    double total = 0;
    for (double a : weights) total += a;
    MatrixXd rows = MatrixXd::Zero(static_cast<Index>(n), p_count);
    c.centre_rows.resize(0, p_count);
    c.centre_measured.clear();
    c.centre_limits.clear();
    const double centre_bound = CENTRE_SHARE * peak_to_valley(p.measured) / c.scale;
    MatrixXd unweighted(static_cast<Index>(n), p_count);
    VectorXd rhs(static_cast<Index>(n));
    for (std::size_t j = 0; j < n; ++j) {
        const double* wear_row = p.wear.data() + j * n;
        for (std::size_t k = 0; k < n; ++k) {
            const Interpolant& z = c.zone_of_node[k];
            rows(static_cast<Index>(j), z.lo) += wear_row[k] * (1 - z.f);
            if (z.f != 0) rows(static_cast<Index>(j), z.hi) += wear_row[k] * z.f;
        }
        rows(static_cast<Index>(j), K + 1) = 1;
        if (p.free_focus) rows(static_cast<Index>(j), K + 2) = p.radii[j] * p.radii[j];
        unweighted.row(static_cast<Index>(j)) = rows.row(static_cast<Index>(j));
        const double root = std::sqrt(weights[j] / total);
        rows.row(static_cast<Index>(j)) *= root;
        rhs(static_cast<Index>(j)) = root * p.measured[j] / c.scale;
    }
    // the centre's residual against every other zone's: r_centre - r_k (the
    // rows counted first, so that the matrix is sized once)
    const auto at_centre = static_cast<Index>(std::count(p.radii.begin(), p.radii.end(), 0.0));
    c.centre_rows.resize(at_centre * (static_cast<Index>(n) - at_centre), p_count);
    Index centre_row = 0;
    for (std::size_t j = 0; j < n; ++j) {
        if (p.radii[j] != 0) continue;
        for (std::size_t k = 0; k < n; ++k) {
            if (p.radii[k] == 0) continue;
            c.centre_rows.row(centre_row++) =
                unweighted.row(static_cast<Index>(j)) - unweighted.row(static_cast<Index>(k));
            c.centre_measured.push_back((p.measured[j] - p.measured[k]) / c.scale);
            // never below the measured difference, which widths 1 (tau 0) keep
            c.centre_limits.push_back(std::max(centre_bound, std::fabs(c.centre_measured.back())));
        }
    }
    // G = rows^T rows, g = rows^T rhs by plain loops (Eigen's matrix product
    // blocks by the machine's cache sizes, which would change the bits)
    MatrixXd G(p_count, p_count);
    c.g = VectorXd::Zero(p_count);
    for (Index a = 0; a < p_count; ++a) {
        for (Index b = 0; b <= a; ++b) {
            double sum = 0;
            for (Index j = 0; j < static_cast<Index>(n); ++j) sum += rows(j, a) * rows(j, b);
            G(a, b) = sum;
            G(b, a) = sum;
        }
        double sum = 0;
        for (Index j = 0; j < static_cast<Index>(n); ++j) sum += rows(j, a) * rhs(j);
        c.g(a) = sum;
    }
    // the roughness: int u''^2 over the nodes (triples of distinct radii), by
    // the divided second differences
    MatrixXd& R = c.roughness;
    R = MatrixXd::Zero(p_count, p_count);
    for (int j = 1; j + 1 < K; ++j) {
        const double h1 = node_radius[static_cast<std::size_t>(j)] - node_radius[static_cast<std::size_t>(j - 1)];
        const double h2 = node_radius[static_cast<std::size_t>(j + 1)] - node_radius[static_cast<std::size_t>(j)];
        if (!(h1 > 0 && h2 > 0)) continue;
        const double root = std::sqrt((h1 + h2) / 2);
        const double w[3] = {root * 2 / (h1 * (h1 + h2)), -root * 2 / (h1 * h2), root * 2 / (h2 * (h1 + h2))};
        for (int a = 0; a < 3; ++a)
            for (int b = 0; b < 3; ++b) R(j - 1 + a, j - 1 + b) += w[a] * w[b];
    }
    double node_trace = 0;
    for (Index i = 0; i < K; ++i) node_trace += G(i, i);
    c.roughness_unit = R.trace() > 0 ? node_trace / R.trace() : 0;
    // the proximal regularisation: a trace of that roughness and the ridge
    MatrixXd& Rg = c.regularisation;
    Rg = ROUGHNESS * R;
    const double ridge = RIDGE * std::max(G.trace() / static_cast<double>(p_count), 1e-300);
    for (Index i = 0; i < p_count; ++i) Rg(i, i) += ridge;
    G += Rg;
    c.G = G;

    factor_status = qp_factor(G, c.J);
    if (factor_status != 0) return false;
    // the penalised matrices of the ladder (all definite when G is)
    c.ladder.clear();
    if (c.roughness_unit > 0) {
        for (double strength : SMOOTHING_LADDER) {
            c.ladder.emplace_back();
            if (qp_factor(G + strength * c.roughness_unit * R, c.ladder.back()) != 0) c.ladder.back().resize(0, 0);
        }
    }
    return true;
}


}  // namespace

namespace {

// solve_and_finish: the programme with the factor J (the least-squares matrix
// with one roughness penalty) by `steps` proximal steps, then the widths and the
// figures into `result`. False (and status and message set) when the
// programme fails.
bool solve_and_finish(const FitProblem& p, const FitWarmStart::Cache& c, const MatrixXd& J, const MatrixXd& C,
                      const VectorXd& d, int steps, FitResult& result)
{
    const std::size_t n = p.measured.size();
    const Index tau = c.K;
    const Index p_count = J.rows();
    // proximal steps: the regularisation centred on the last solution, so
    // that it settles what the data leave open and no longer pulls elsewhere
    QpSolution qp;
    VectorXd centre = VectorXd::Zero(p_count);
    for (int step = 0; step < steps; ++step) {
        const VectorXd g = c.g + c.regularisation * centre;
        const QpStatus status = qp_solve(J, g, C, d, QP_TOLERANCE, qp);
        result.iterations += qp.iterations;
        if (status != QpStatus::solved) {
            result.status = FitStatus::no_solution;
            result.message = status == QpStatus::infeasible ? "The fit's quadratic programme found no feasible point."
                                                            : "The fit's quadratic programme did not converge.";
            return false;
        }
        centre = qp.x;
    }

    // the widths u / tau, clipped against rounding
    const double t = qp.x(tau);
    result.widths.assign(n, 1.0);
    if (t > TAU_ZERO) {
        for (std::size_t k = 0; k < n; ++k) {
            const Interpolant& z = c.zone_of_node[k];
            const double u = qp.x(z.lo) * (1 - z.f) + qp.x(z.hi) * z.f;
            result.widths[k] = std::clamp(u / t, p.floor, 1.0);
        }
    }

    // tau, beta, gamma once more for the returned widths and the full matrix:
    // the predicted removal of this lap, by the routine the view uses
    std::vector<double> shape(n, 0.0);
    for (std::size_t j = 0; j < n; ++j) {
        const double* wear_row = p.wear.data() + j * n;
        double sum = 0;
        for (std::size_t k = 0; k < n; ++k) sum += wear_row[k] * result.widths[k];
        shape[j] = sum;
    }
    PredictedRemoval removal =
        predict_removal(shape, std::vector<double>(p.measured.begin(), p.measured.end()),
                        std::vector<double>(p.weights.begin(), p.weights.end()), p.free_focus,
                        std::vector<double>(p.radii.begin(), p.radii.end()));
    result.tau = removal.tau;
    result.beta = removal.beta;
    result.gamma = removal.gamma;

    // the figures
    result.residual = std::move(removal.residual);
    result.rms_measured = removal.measured_rms;
    result.pv_measured = removal.measured_pv;
    result.rms_left = removal.residual_rms;
    result.pv_left = removal.residual_pv;
    result.share_left = removal.share_left;
    result.max_curvature = max_second_derivative(p.radii, result.widths);
    result.status = FitStatus::ok;
    return true;
}

}  // namespace

FitResult fit_lap(const FitProblem& p)
{
    FitResult result;
    const std::size_t n = p.measured.size();
    // check the problem
    if (n == 0 || p.wear.size() != n * n || p.weights.size() != n || p.radii.size() != n ||
        (!p.fit_weights.empty() && p.fit_weights.size() != n)) {
        result.message = "The fit needs the wear matrix, measured values, weights and radii of the same zones.";
        return result;
    }
    if (!all_finite(p.wear) || !all_finite(p.measured) || !all_finite(p.weights) || !all_finite(p.radii) ||
        !all_finite(p.fit_weights) || !std::isfinite(p.smoothing)) {
        result.message = "The fit was given a value that is not a finite number.";
        return result;
    }
    for (const std::span<const double> weights : {p.weights, objective_weights(p)}) {
        double total = 0;
        for (double a : weights) {
            if (a < 0) {
                result.message = "The fit was given a negative zone weight.";
                return result;
            }
            total += a;
        }
        if (!(total > 0)) {
            result.message = "Every zone of the fit weighs 0: nothing to fit.";
            return result;
        }
    }
    if (!(p.floor >= 0 && p.floor <= 1) || !(p.curvature_bound > 0) || !std::isfinite(p.curvature_bound)) {
        result.message = "The fit's floor must lie in [0, 1] and its curvature bound above 0.";
        return result;
    }

    // the set-up: kept from the last fit of the same surface, or made anew
    std::unique_ptr<FitWarmStart::Cache> own;
    FitWarmStart::Cache* c = nullptr;
    if (p.warm != nullptr) {
        auto& kept = FitAccess::cache(*p.warm);
        const bool reuse = kept && kept->matches(p);
        FitAccess::set_reused(*p.warm, reuse);
        if (!reuse) kept.reset();
        else c = kept.get();
    }
    if (c == nullptr) {
        own = std::make_unique<FitWarmStart::Cache>();
        int status = 0;
        if (!set_up(p, *own, status)) {
            result.status = FitStatus::not_definite;
            result.message = "The least-squares matrix of the fit is singular (minor " + std::to_string(status) + ").";
            return result;
        }
        c = own.get();
        if (p.warm != nullptr) {
            own->wear.assign(p.wear.begin(), p.wear.end());
            own->measured.assign(p.measured.begin(), p.measured.end());
            own->weights.assign(p.weights.begin(), p.weights.end());
            own->fit_weights.assign(p.fit_weights.begin(), p.fit_weights.end());
            own->radii.assign(p.radii.begin(), p.radii.end());
            own->free_focus = p.free_focus;
            FitAccess::cache(*p.warm) = std::move(own);
        }
    }

    // the constraints: tau floor <= u_j <= tau, |bend_i u| <= bound h^2 tau, tau >= 0
    const int K = c->K;
    const Index p_count = c->J.rows();
    const Index tau = K;
    const Index bends = c->bend.rows();
    const Index centres = p.bound_centre ? c->centre_rows.rows() : 0;
    const Index m = 2 * K + 2 * bends + 1 + 2 * centres;
    MatrixXd C = MatrixXd::Zero(p_count, m);
    Index col = 0;
    for (int j = 0; j < K; ++j, ++col) {
        C(j, col) = 1;
        C(tau, col) = -p.floor;
    }
    for (int j = 0; j < K; ++j, ++col) {
        C(j, col) = -1;
        C(tau, col) = 1;
    }
    const double allowed = p.curvature_bound * (1 - BOUND_MARGIN) * c->h * c->h;
    for (Index i = 0; i < bends; ++i) {
        for (int sign = -1; sign <= 1; sign += 2, ++col) {
            C.col(col).head(K) = static_cast<double>(sign) * c->bend.row(i).transpose();
            C(tau, col) = allowed;
        }
    }
    C(tau, col++) = 1;
    // |r_centre - r_k| <= max(CENTRE_SHARE P, |m_centre - m_k|) for a zone at
    // radius 0 and every other zone
    VectorXd d = VectorXd::Zero(m);
    for (Index i = 0; i < centres; ++i) {
        const double at = c->centre_measured[static_cast<std::size_t>(i)];
        C.col(col) = c->centre_rows.row(i).transpose();
        const double limit = c->centre_limits[static_cast<std::size_t>(i)];
        d(col++) = at - limit;
        C.col(col) = -c->centre_rows.row(i).transpose();
        d(col++) = -at - limit;
    }

    // the fit without a roughness penalty, or with the one asked for
    FitResult result0 = result;
    if (p.smoothing > 0) {
        MatrixXd J;
        const MatrixXd G = c->G + p.smoothing * c->roughness_unit * c->roughness;
        if (qp_factor(G, J) != 0) {
            result.status = FitStatus::not_definite;
            result.message = "The least-squares matrix of the fit is singular with that smoothing.";
            return result;
        }
        if (solve_and_finish(p, *c, J, C, d, PENALISED_STEPS, result)) result.smoothing = p.smoothing;
        result.share_unsmoothed = result.share_left;
        return result;
    }
    if (!solve_and_finish(p, *c, c->J, C, d, PROXIMAL_STEPS, result0) || p.smoothing == 0) {
        result0.share_unsmoothed = result0.share_left;
        return result0;
    }
    // by the rule: the strongest penalty of the ladder that leaves at most
    // the allowance more than the unsmoothed fit
    const double share_allowed = result0.share_left + std::max(SMOOTHING_ALLOWANCE_POINTS,
                                                               SMOOTHING_ALLOWANCE_RELATIVE * result0.share_left);
    const double pv_allowed = std::max(result0.pv_left, result0.pv_measured);
    int iterations = result0.iterations;
    for (std::size_t i = 0; i < c->ladder.size(); ++i) {
        if (c->ladder[i].size() == 0) continue;
        FitResult smoothed = result;
        const bool solved = solve_and_finish(p, *c, c->ladder[i], C, d, PENALISED_STEPS, smoothed);
        iterations += smoothed.iterations;
        if (solved && smoothed.share_left <= share_allowed && smoothed.pv_left <= pv_allowed) {
            smoothed.smoothing = SMOOTHING_LADDER[i];
            smoothed.share_unsmoothed = result0.share_left;
            smoothed.iterations = iterations;
            return smoothed;
        }
    }
    result0.share_unsmoothed = result0.share_left;
    result0.iterations = iterations;
    return result0;
}

}  // namespace dz
