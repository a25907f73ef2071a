// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The least-squares lap design: leaf widths chosen for the best predicted
// removal by the wear model, within a floor, full width and a bound on the
// outline's curvature.

#include <memory>
#include <span>
#include <string>
#include <vector>

namespace dz {

// The smoothness measure samples the widths at this many equally spaced radii.
inline constexpr int CURVATURE_SAMPLES = 50;
// The least bound on that measure the design is held to.
inline constexpr double MIN_CURVATURE_BOUND = 40;

// max_second_derivative: how sharply a leaf outline bends.
//
// Usual call: bound = max(MIN_CURVATURE_BOUND, max_second_derivative(rho,
// classic widths)) before fit_lap.
//
//   on entry  radii   n normalised zone radii (radius / outer radius), in
//                     any order (file order); n >= 0.
//             widths  n leaf widths (fraction of the pitch), same order.
//   returns           max |w''| over the CURVATURE_SAMPLES - 2 interior
//                     samples; 0 when n < 2 or all radii are equal.
//
// Method: the zones are taken in order of radius (equal radii in file
// order) and the widths joined by straight lines. The samples lie at
// s_i = rho_min + (rho_max - rho_min) i / 49, i = 0 .. 49 (s_49 = rho_max
// exactly); a sample takes the last zone a with rho_a <= s_i and the next
// zone b (rho_b > s_i) and reads w_a + (w_b - w_a)(s_i - rho_a)/(rho_b - rho_a),
// or w_a at the last radius. w'' at sample i = 1 .. 48 is the central second
// difference (w(s_i-1) - 2 w(s_i) + w(s_i+1)) / h^2, h = (rho_max - rho_min) / 49.
// Not checked: sizes agree, values finite.
[[nodiscard]] double max_second_derivative(std::span<const double> radii, std::span<const double> widths);

// The smoothing of the outline: the roughness penalty's strength c (see
// fit_lap) is taken from this ladder, largest first (half decades).
inline constexpr double SMOOTHING_LADDER[] = {1e3, 3e2, 1e2, 3e1, 1e1, 3, 1, 3e-1, 1e-1, 3e-2, 1e-2, 3e-3, 1e-3, 3e-4, 1e-4, 3e-5, 1e-5, 3e-6, 1e-6};
// The share of the RMS left that the smoothing may add to the unsmoothed
// fit's: this many percentage points, or this fraction of it, whichever is more.
inline constexpr double SMOOTHING_ALLOWANCE_POINTS = 1.0;
inline constexpr double SMOOTHING_ALLOWANCE_RELATIVE = 0.05;
// FitProblem::smoothing: choose c by the ladder rule.
inline constexpr double SMOOTHING_BY_RULE = -1;

// centre_weights: the weights of the fit's own objective.
//
// Usual call: FitProblem::fit_weights = centre_weights(radii in mm, area
// weights of the same radii).
//
//   on entry  radii    n zone radii, file order, in the unit the area
//                      weights were made in.
//             weights  n area weights (|r| times half the distance between
//                      the neighbours, as the predicted removal has them).
//   returns            the weights, except that a zone at radius 0 of weight
//                      0 weighs (d/2)^2/2, d the least |r| > 0 of the zones:
//                      the area of the disc of radius d/2 round the centre
//                      that it stands for, in the same r dr form without the
//                      constant 2 pi. Unchanged when no radius is above 0.
//
// The area weights give the centre 0 (r = 0 there), so a fit by them alone
// would leave the centre's residual free and could turn it into the largest
// error of the lap; this small weight holds it in. The figures keep the area
// weights.
[[nodiscard]] std::vector<double> centre_weights(std::span<const double> radii, std::span<const double> weights);

// What fit_lap may keep between calls: the factorised problem. A caller that
// re-solves the same surface with another floor or curvature bound (a new
// efficiency moves both) hands the same object back and saves the set-up; the result is the same, bit for
// bit, as without it. One object per surface view; not for two threads at
// once.
class FitWarmStart {
public:
    FitWarmStart();
    ~FitWarmStart();
    FitWarmStart(const FitWarmStart&) = delete;
    FitWarmStart& operator=(const FitWarmStart&) = delete;

    // Forgets what it holds (the next fit sets it up anew).
    void clear();
    // True when the last fit found the set-up here and used it.
    [[nodiscard]] bool reused() const { return reused_; }

    struct Cache;

private:
    friend struct FitAccess;
    std::unique_ptr<Cache> cache_;
    bool reused_ = false;
};

// The problem: the shape of a lap of widths w is A w (the wear matrix), the
// predicted removal tau A w + beta (+ gamma rho^2 with free focus).
struct FitProblem {
    std::span<const double> wear;      // A, n x n row-major: shape_j = sum_k A[j n + k] w_k
    std::span<const double> measured;  // m, n values to remove
    std::span<const double> weights;   // a, n area weights (>= 0, not all 0): the figures
    std::span<const double> fit_weights;  // the objective's weights, n values >= 0; empty: `weights`
    std::span<const double> radii;     // rho, n normalised radii r_k / outer radius, file order
    double floor = 0.10;               // least width, in [0, 1]
    double curvature_bound = MIN_CURVATURE_BOUND;  // bound on max_second_derivative, > 0
    bool free_focus = false;           // also remove a term gamma rho^2
    double smoothing = SMOOTHING_BY_RULE;  // c of the roughness penalty: >= 0 that value, < 0 by the rule
    bool bound_centre = true;          // hold the residual of a zone at radius 0 (see fit_lap)
    FitWarmStart* warm = nullptr;      // optional: the set-up of a previous fit
};

enum class FitStatus {
    ok = 0,
    bad_input,      // sizes disagree, a value not finite, weights all 0, floor or bound out of range
    not_definite,   // the least-squares matrix is singular even with its regularisation
    no_solution,    // the quadratic programme failed (it should not: widths 1 always qualify)
};

struct FitResult {
    FitStatus status = FitStatus::bad_input;
    std::string message;         // why, when status is not ok

    std::vector<double> widths;  // w_k, file order, floor <= w_k <= 1
    double tau = 0;              // polishing time, >= 0 (0: the lap cannot help; widths all 1)
    double beta = 0;             // piston
    double gamma = 0;            // focus term (0 without free focus)
    std::vector<double> residual;  // m - tau A w - beta - gamma rho^2

    // Area-weighted RMS about the weighted mean, and P-V (max - min).
    double rms_measured = 0;
    double pv_measured = 0;
    double rms_left = 0;
    double pv_left = 0;
    double share_left = 0;       // 100 rms_left / rms_measured, in %; 0 when nothing is measured
    double max_curvature = 0;    // max_second_derivative(radii, widths) <= curvature_bound
    int iterations = 0;          // steps of the quadratic programme
    double smoothing = 0;        // the c used (0: no roughness penalty)
    double share_unsmoothed = 0; // share_left of the fit with c = 0 (by the rule), else share_left
};

// fit_lap: the leaf widths that leave the least weighted squared residual.
//
//   on entry  problem  as above.
//   returns            widths, tau, beta, gamma and the figures; status ok, or
//                      the reason and nothing else filled.
//
// The problem (b_k the objective's weights, fit_weights or else a_k):
//   minimise sum_k b_k (m_k - tau (A w)_k - beta - gamma rho_k^2)^2 / sum b
//            + lambda int u''^2 d rho,  u = tau w (the roughness penalty)
//   over w, tau >= 0, beta (and gamma), subject to floor <= w_k <= 1,
//   max_second_derivative(rho, w) <= curvature_bound and, with
//   bound_centre, |r_c - r_k| <= max(0.95 P, |m_c - m_k|) for every zone
//   c at radius 0 and every zone k elsewhere, r the residual and P the
//   measured P-V: the centre alone cannot then leave more than the
//   measured P-V (the 5 % margin covers the refit of tau and gamma below;
//   the measured difference keeps the lap of widths 1 and tau 0 feasible).
//
// The penalty: lambda = c tr(H) / tr(R), H the data term's Hessian on the
// node values, R the penalty's, so that c is free of the data's scale. With
// smoothing >= 0, c is that value. By the rule (smoothing < 0): the fit with
// c = 0 leaves the share s0 and the P-V p0; c is the first value of
// SMOOTHING_LADDER (10^3 down to 10^-6 by half decades) whose fit leaves a
// share of at most s0 + max(1, 0.05 s0) percentage points and a P-V of at
// most max(p0, the measured P-V); c = 0 when none does. The wear model
// resolves nothing finer than the stroke's offset, so the waves the
// unpenalised fit draws at about a tenth of the radius buy almost nothing,
// and a lap without them is easier to cut: the rule takes the smoothest
// outline of the ladder that costs at most that allowance.
//
// Method: with u = tau w the problem is one convex quadratic programme in
// (u, tau, beta, gamma): the bounds become tau floor <= u_k <= tau and the
// curvature bound the linear conditions |second difference of the sampled
// u| <= bound h^2 tau; the centre bound is two linear conditions on
// (u, gamma) per other zone (piston cancels). The unknowns are the zone values when n <= 50 and,
// for more zones, the values at the 50 sample radii with the zones read
// off the straight lines between them (the outline cannot bend between
// samples anyway, and the wear model resolves nothing that fine), bounded at
// those 50 values, which bounds every zone. The data are scaled to
// max |m| = 1. The penalty int u''^2 is the sum over node triples of the
// squared divided second difference times half the triple's extent. A
// further 1e-11 of that term and a ridge 1e-12 tr / p on every unknown make
// the matrix definite where a width does not reach the data (a zone of
// weight 0, equal radii) and pick the shortest polishing time among equally
// good laps; so that they settle only what the data leave open, the
// programme without the penalty is solved four times with them centred on
// the last solution (proximal steps). The matrices of c = 0 and of every
// ladder value are factorised once per surface; each programme is solved by
// qp_solve (dual_qp.hpp). The widths are u / tau, clipped to [floor, 1] against
// rounding, and the curvature is held to bound (1 - 1e-9), so both
// conditions hold exactly for the returned widths (all 1 when tau comes out
// 0: that lap cannot help). tau, beta and gamma are then fitted once more to
// the returned widths with the full matrix A and the area weights a by the
// predicted removal itself (removal/removal.hpp predict_removal, tau = 0 if
// it would be negative), and its figures (the share and P-V the rule
// compares too) are the result's.
//
// Accuracy: double precision; a target that a feasible lap reaches exactly
// comes back, with smoothing 0, with a residual of about 1e-11 of its P-V;
// the constraints hold to the QP tolerance (1e-12 of max |m|) before the
// widths are clipped (the centre bound, on the programme's own tau and
// gamma, holds for the refitted ones only about). Deterministic: no threads, a fixed
// order of every operation, a fixed ladder; the warm start changes nothing
// but the time.
//
// Time: O(n^2) to read A off onto the at most 50 unknowns, then up to 20
// programmes of at most 53 unknowns and 2 K + 97 + 2 (n - 1) constraints
// (four proximal steps without the penalty, one with it, the matrix then
// definite by itself): about 7 ms for 500 zones (bench/bench_fit), 5 ms
// from the warm start, which saves the set-up.
[[nodiscard]] FitResult fit_lap(const FitProblem& problem);

}  // namespace dz
