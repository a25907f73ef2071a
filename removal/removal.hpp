// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The predicted removal: what the lap as it is drawn now would take off the
// mirror by the program's own wear model, fitted to the measured zones, and
// what of the measured error it would leave.

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "removal/wear_model.hpp"
#include "working_state/working_state.hpp"

namespace dz {

// area_weights gives each zone the share of the mirror's area it stands for.
//
// on entry  radii  zone radii in mm, in file order (any order, repeats and
//                  negative values allowed).
// on return one weight per zone, in file order: |r| times half the distance
//           between the radii of its neighbours, the zones taken in order
//           of radius (one-sided, half the distance to the one neighbour,
//           at the first and the last). A zone at radius 0 weighs 0; a
//           single zone weighs 0.
// method    a stable sort of the indices by radius, then the midpoint rule
//           of the area element 2 pi r dr (without the constant 2 pi).
[[nodiscard]] std::vector<double> area_weights(const std::vector<double>& radii);

// leaf_widths gives the leaf's width at every zone as a fraction of the
// pitch, exactly as the outline draws it.
//
// on entry  ws  a loaded working state.
// on return w_k = v_k / m in file order, with v_k the shifted value of zone k
//           (the measured value for "Spindle", the smoothed profile
//           otherwise, plus BASE_OFFSET) and m the largest of 0 and all v_k:
//           0 where the leaf closes to its centre line, 1 where it covers
//           the whole pitch, negative where the edges cross; all 0 when
//           m = 0 (the outline then lies on the centre line).
// accuracy  computed in extended precision as the outline does, rounded
//           once to double.
// When the fit draws the outline (ws.fit_drawn()) the widths are
//           FIT_WIDTHS, each rounded once to double (the outline's own
//           widths, which came from double).
[[nodiscard]] std::vector<double> leaf_widths(const WorkingState& ws);

// classic_widths: the widths of the classic design as the settings of `ws`
// would draw them (v_k / m as above), whichever design draws the outline.
[[nodiscard]] std::vector<double> classic_widths(const WorkingState& ws);

// The zones of a loaded state in double, file order: the radii in mm, the
// measured values, and the radii over the outer radius (each divided in
// the state's own precision, then rounded once).
[[nodiscard]] std::vector<double> zone_radii(const WorkingState& ws);
[[nodiscard]] std::vector<double> measured_values(const WorkingState& ws);
[[nodiscard]] std::vector<double> normalised_radii(const WorkingState& ws);

// weighted_rms: the weighted RMS of `values` about their weighted mean,
// sqrt(sum a (v - vbar)^2 / sum a) with vbar = sum a v / sum a, the sums
// taken in zone order; 0 when the weights sum to 0 or less.
// peak_to_valley: the largest less the smallest value; 0 when empty.
[[nodiscard]] double weighted_rms(std::span<const double> values, std::span<const double> weights);
[[nodiscard]] double peak_to_valley(std::span<const double> values);

// The fit of a removal shape to the measured values and its figures.
struct PredictedRemoval {
    double tau = 0;    // polishing time, >= 0 (0: the lap cannot help)
    double beta = 0;   // piston
    double gamma = 0;  // focus term, 0 unless asked for
    std::vector<double> predicted;  // tau * shape + beta + gamma * rho^2, file order
    std::vector<double> residual;   // measured - predicted
    double measured_rms = 0, measured_pv = 0;
    double residual_rms = 0, residual_pv = 0;
    double share_left = 0;  // 100 * residual_rms / measured_rms; 0 when measured_rms = 0
};

// predict_removal fits tau * shape + beta (+ gamma * rho^2) to the measured
// values by weighted least squares, with tau >= 0.
//
// usage     auto fit = predict_removal(model.apply(widths), measured, area_weights(radii));
//
// on entry  shape       the removal shape of the lap per unit time, one value
//                       per zone (W * w for "2/5 Stroke", w for "Spindle").
//           measured    the measured values, same size.
//           weights     non-negative zone weights, same size. When they sum
//                       to 0 (one zone, all zones at radius 0) every zone
//                       weighs 1 instead.
//           free_focus  also fit a term gamma * rho^2 (a change of focus);
//                       off by default.
//           rho         normalised radii r / outer radius, needed only with
//                       free_focus (same size).
// on return the fit and its figures (see PredictedRemoval).
// failures  std::invalid_argument when the sizes differ or are 0.
//
// method    the unknowns are found from the weighted means and the centred
//           sums (the piston drops out of the centred problem), which avoids
//           the cancellation of the plain normal equations:
//             tau = sum a s' m' / sum a s'^2  (s', m' about their weighted
//           means), beta = mean(m) - tau mean(s); with free_focus the 2 x 2
//           centred system for (tau, gamma) by Cramer's rule. When tau would
//           be negative (the lap would have to add glass) tau = 0 and beta
//           (and gamma) are fitted again alone. A shape that does not vary
//           (sum a s'^2 = 0, or a singular 2 x 2 system) gives tau = 0.
//           RMS: sqrt(sum a (x - mean x)^2 / sum a) with the weighted mean;
//           P-V: the largest less the smallest value over every zone.
// accuracy  the fit's residual is orthogonal, in the weighted inner
//           product, to 1 (and to the shape when tau > 0, to rho^2 with
//           free_focus) to a few n * eps of the data's magnitude.
[[nodiscard]] PredictedRemoval predict_removal(const std::vector<double>& shape,
                                               const std::vector<double>& measured,
                                               const std::vector<double>& weights, bool free_focus = false,
                                               const std::vector<double>& rho = {});

// Everything the check table and the chart show for the lap as drawn now.
struct RemovalCheck {
    std::vector<double> radius;  // mm, file order
    std::vector<double> measured;
    std::vector<double> widths;  // leaf_widths(ws)
    PredictedRemoval fit;
    // The wear settings the prediction used (a "Spindle" lap wears as its
    // width and uses none), and the share of the RMS that the other wear
    // model leaves with the same widths, so that the user sees how much the
    // design depends on the model (0 for "Spindle").
    WearSettings wear;
    bool stroke = true;  // false for "Spindle"
    double other_share_left = 0;
};

// The largest size of a zone radius (mm) or measured value that the
// analyses in double (the check, the fit, the chart) take: their sums of
// weighted squares and the fit's products stay finite below it for any
// 500 zones.
inline constexpr double REMOVAL_RANGE = 1e60;

// removal_range_refusal names the first zone (in file order) whose radius or
// measured value, rounded to double, is not finite or is larger in size than
// REMOVAL_RANGE, in a message that says the analyses are not made; nothing
// when every zone is in range. The load keeps such values (it computes in
// extended precision); only these analyses refuse them. `ws` loaded.
[[nodiscard]] std::optional<std::string> removal_range_refusal(const WorkingState& ws, char decimal_separator);

// The predicted removal of the lap that `ws` draws now: the shape W * w for
// "2/5 Stroke" (W from `model`, made for the zones and WEAR settings of
// `ws`: Preston's law or the classic matrix) and w itself for "Spindle",
// fitted to ZONE_RAW with area_weights(ZONE_RADIUS), with the term
// gamma rho^2 when FREE_FOCUS is on (rho = ZONE_RADIUS / OUTER_RADIUS). For
// "2/5 Stroke" the same fit is made once more with the other wear model
// (other_share_left): by `other` when it is given (made for the zones of
// `ws` and the same settings under the other law; std::invalid_argument
// otherwise), which a caller keeps between checks, else by a matrix filled
// for this call. `ws` is only read. Requires a loaded state; std::invalid_argument when `model` does not
// fit its zones; std::range_error with the message of removal_range_refusal
// when a zone is out of range, or when a figure comes out not finite all
// the same (never a NAN or INF in a figure).
[[nodiscard]] RemovalCheck check_removal(const WorkingState& ws, const WearModel& model,
                                        const WearModel* other = nullptr);

// The figures in words, as the window shows them, measured and left:
// "RMS 21.3 → 15.2, 71 % left; P-V 80.1 → 60.7" (UTF-8), each RMS and P-V
// with at least three significant digits. The P-V stands beside the share:
// a fit can leave less of the RMS and more of the P-V.
[[nodiscard]] std::string removal_summary(const PredictedRemoval& fit, char decimal_separator);

// The design line of the check table, in plain words: which design draws the
// outline and whether the free focus is on ("Design: classic; free focus on
// (...)").
[[nodiscard]] std::string design_summary(const WorkingState& ws);

// The wear model in words, as the check table and the views name it:
// "Preston's law, stroke 0.20 of the diameter" (then ", offset 0.05 of the
// diameter", ", lap 0.60 of the mirror's diameter", ", constant total load"
// where they differ from the defaults) or "the classic zone wear matrix
// (stroke 0.20 of the diameter)".
[[nodiscard]] std::string wear_model_summary(const WearSettings& wear, char decimal_separator);

// The check table of `check` = check_removal(ws, ...): line 1 the caption,
// then, when the fit draws the outline or the free focus is on, the design
// line (design_summary); for "2/5 Stroke" the line "Wear model: " +
// wear_model_summary; three summary lines (for "2/5 Stroke" followed by the
// share the other model leaves, and, when the P-V left is larger than the
// measured one, a warning line that says so), the header
// "radius, mm\tmeasured\tleaf width\tpredicted\tresidual" and one line per
// zone in file order (radius "0.0", measured "0.0000", leaf width
// "0.000000", predicted and residual "0.0000"); CR LF line ends, numbers
// with `decimal_separator`.
[[nodiscard]] std::string check_table(const WorkingState& ws, const RemovalCheck& check,
                                      char decimal_separator);

// x with fixed decimals chosen so that at least `digits` significant digits
// show (at least one decimal, at most 12), ties of the binary value rounded
// to even; "-" only when a non-zero digit is written.
[[nodiscard]] std::string format_significant(double x, int digits, char decimal_separator);
// x with exactly `decimals` (0 to 12) decimals, the same rules.
[[nodiscard]] std::string format_decimals(double x, int decimals, char decimal_separator);

}  // namespace dz
