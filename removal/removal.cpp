// SPDX-License-Identifier: GPL-3.0-or-later
#include "removal/removal.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <numeric>
#include <optional>
#include <stdexcept>

#include "text_io/numbers.hpp"

namespace dz {

namespace {

// Weighted mean of x.
double weighted_mean(const std::vector<double>& x, const std::vector<double>& a, double total) {
    double sum = 0;
    for (std::size_t k = 0; k < x.size(); ++k) sum += a[k] * x[k];
    return sum / total;
}

// Weighted sum of products of two centred vectors.
double centred_dot(const std::vector<double>& x, const std::vector<double>& y, const std::vector<double>& a) {
    double sum = 0;
    for (std::size_t k = 0; k < x.size(); ++k) sum += a[k] * x[k] * y[k];
    return sum;
}

std::vector<double> centred(const std::vector<double>& x, double mean) {
    std::vector<double> out(x.size());
    for (std::size_t k = 0; k < x.size(); ++k) out[k] = x[k] - mean;
    return out;
}

}  // namespace

double weighted_rms(std::span<const double> values, std::span<const double> weights) {
    double total = 0;
    double sum = 0;
    for (std::size_t k = 0; k < values.size(); ++k) {
        total += weights[k];
        sum += weights[k] * values[k];
    }
    if (!(total > 0)) return 0;
    const double mean = sum / total;
    double squares = 0;
    for (std::size_t k = 0; k < values.size(); ++k) {
        const double e = values[k] - mean;
        squares += weights[k] * e * e;
    }
    return std::sqrt(squares / total);
}

double peak_to_valley(std::span<const double> values) {
    if (values.empty()) return 0;
    const auto [low, high] = std::minmax_element(values.begin(), values.end());
    return *high - *low;
}

std::vector<double> area_weights(const std::vector<double>& radii) {
    const std::size_t n = radii.size();
    std::vector<double> weights(n, 0.0);
    if (n < 2) return weights;
    // the zones in order of radius
    std::vector<std::size_t> order(n);
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](std::size_t p, std::size_t q) { return radii[p] < radii[q]; });
    // |r| times half the distance between the neighbours
    for (std::size_t k = 0; k < n; ++k) {
        const double below = radii[order[k == 0 ? 0 : k - 1]];
        const double above = radii[order[k + 1 == n ? n - 1 : k + 1]];
        weights[order[k]] = std::fabs(radii[order[k]]) * (above - below) * 0.5;
    }
    return weights;
}

std::vector<double> leaf_widths(const WorkingState& ws) {
    if (ws.fit_drawn()) {
        std::vector<double> widths(ws.FIT_WIDTHS.size());
        for (std::size_t k = 0; k < widths.size(); ++k) widths[k] = static_cast<double>(ws.FIT_WIDTHS[k]);
        return widths;
    }
    return classic_widths(ws);
}

std::vector<double> classic_widths(const WorkingState& ws) {
    const N_VECTOR& values = ws.SPINDLE ? ws.ZONE_RAW : ws.ZONE_PROFILE;
    const auto n = static_cast<std::size_t>(ws.ZONE_COUNT);
    // the largest shifted value, starting from 0, as the outline takes it
    Real m = 0;
    for (std::size_t k = 0; k < n; ++k) {
        const Real v = values[k] + ws.BASE_OFFSET;
        if (m < v) m = v;
    }
    std::vector<double> widths(n, 0.0);
    if (!(m > 0)) return widths;
    for (std::size_t k = 0; k < n; ++k) widths[k] = static_cast<double>((values[k] + ws.BASE_OFFSET) / m);
    return widths;
}

PredictedRemoval predict_removal(const std::vector<double>& shape, const std::vector<double>& measured,
                                 const std::vector<double>& weights, bool free_focus,
                                 const std::vector<double>& rho) {
    const std::size_t n = measured.size();
    if (n == 0 || shape.size() != n || weights.size() != n || (free_focus && rho.size() != n)) {
        throw std::invalid_argument("predict_removal: one shape value, weight (and radius) per measured zone");
    }
    // the weights, or equal ones when they give no area at all
    std::vector<double> a = weights;
    double total = std::accumulate(a.begin(), a.end(), 0.0);
    if (!(total > 0)) {
        a.assign(n, 1.0);
        total = static_cast<double>(n);
    }

    // centre everything on its weighted mean: the piston drops out
    const std::vector<double> m = centred(measured, weighted_mean(measured, a, total));
    const std::vector<double> s = centred(shape, weighted_mean(shape, a, total));
    std::vector<double> q;  // rho^2, centred
    if (free_focus) {
        std::vector<double> rho2(n);
        for (std::size_t k = 0; k < n; ++k) rho2[k] = rho[k] * rho[k];
        q = centred(rho2, weighted_mean(rho2, a, total));
    }
    const double ss = centred_dot(s, s, a);
    const double sm = centred_dot(s, m, a);

    // the time (and focus) of the free fit
    double tau = 0;
    double gamma = 0;
    if (!free_focus) {
        if (ss > 0) tau = sm / ss;
    } else {
        const double sq = centred_dot(s, q, a);
        const double qq = centred_dot(q, q, a);
        const double qm = centred_dot(q, m, a);
        const double det = ss * qq - sq * sq;
        if (det > 1e-12 * ss * qq) {
            tau = (sm * qq - sq * qm) / det;
            gamma = (ss * qm - sq * sm) / det;
        }
        if (!(tau > 0)) gamma = qq > 0 ? qm / qq : 0;
    }
    // the lap can only take glass away
    if (!(tau > 0) || !std::isfinite(tau)) tau = 0;

    // the piston from the means, then the prediction and the figures
    PredictedRemoval fit;
    fit.tau = tau;
    fit.gamma = gamma;
    std::vector<double> focus(n, 0.0);
    if (free_focus) {
        for (std::size_t k = 0; k < n; ++k) focus[k] = rho[k] * rho[k];
    }
    fit.beta = weighted_mean(measured, a, total) - tau * weighted_mean(shape, a, total) -
               gamma * weighted_mean(focus, a, total);
    fit.predicted.resize(n);
    fit.residual.resize(n);
    for (std::size_t k = 0; k < n; ++k) {
        fit.predicted[k] = tau * shape[k] + fit.beta + gamma * focus[k];
        fit.residual[k] = measured[k] - fit.predicted[k];
    }
    fit.measured_rms = weighted_rms(measured, a);
    fit.measured_pv = peak_to_valley(measured);
    fit.residual_rms = weighted_rms(fit.residual, a);
    fit.residual_pv = peak_to_valley(fit.residual);
    fit.share_left = fit.measured_rms > 0 ? 100 * fit.residual_rms / fit.measured_rms : 0;
    return fit;
}

std::vector<double> zone_radii(const WorkingState& ws) {
    std::vector<double> r(static_cast<std::size_t>(ws.ZONE_COUNT));
    for (std::size_t k = 0; k < r.size(); ++k) r[k] = static_cast<double>(ws.ZONE_RADIUS[k]);
    return r;
}

std::vector<double> measured_values(const WorkingState& ws) {
    std::vector<double> m(static_cast<std::size_t>(ws.ZONE_COUNT));
    for (std::size_t k = 0; k < m.size(); ++k) m[k] = static_cast<double>(ws.ZONE_RAW[k]);
    return m;
}

std::vector<double> normalised_radii(const WorkingState& ws) {
    std::vector<double> rho(static_cast<std::size_t>(ws.ZONE_COUNT));
    for (std::size_t k = 0; k < rho.size(); ++k) rho[k] = static_cast<double>(ws.ZONE_RADIUS[k] / ws.OUTER_RADIUS);
    return rho;
}

namespace {

// A zone's value for a message: six significant digits, the user's separator.
std::string zone_value_text(Real value, char decimal_separator) {
    char text[64];
    const auto written = std::to_chars(text, text + sizeof text, value, std::chars_format::general, 6);
    if (written.ec != std::errc()) throw std::length_error("zone_value_text: the number does not fit its text");
    std::string s(text, written.ptr);
    if (const auto point = s.find('.'); point != std::string::npos) s[point] = decimal_separator;
    return s;
}

bool in_removal_range(Real value) {
    const auto x = static_cast<double>(value);
    return std::isfinite(x) && std::fabs(x) <= REMOVAL_RANGE;
}

}  // namespace

std::optional<std::string> removal_range_refusal(const WorkingState& ws, char decimal_separator) {
    for (int k = 0; k < ws.ZONE_COUNT; ++k) {
        const auto i = static_cast<std::size_t>(k);
        const bool radius_ok = in_removal_range(ws.ZONE_RADIUS[i]);
        if (radius_ok && in_removal_range(ws.ZONE_RAW[i])) continue;
        const std::string what = radius_ok ? "measured value" : "radius";
        const Real value = radius_ok ? ws.ZONE_RAW[i] : ws.ZONE_RADIUS[i];
        return "Zone " + std::to_string(k + 1) + " of the surface file has a " + what + " of " +
               zone_value_text(value, decimal_separator) + ", beyond the 1e60 in size" +
               " that the predicted removal, the least-squares fit and their chart compute with; they were not "
               "made (the lap itself is drawn as the file asks).";
    }
    return std::nullopt;
}

RemovalCheck check_removal(const WorkingState& ws, const WearModel& model, const WearModel* other) {
    if (!model.fits(ws)) throw std::invalid_argument("check_removal: the wear model is of other zones");
    if (auto refused = removal_range_refusal(ws, '.')) throw std::range_error(*refused);
    RemovalCheck check;
    check.radius = zone_radii(ws);
    check.measured = measured_values(ws);
    check.widths = leaf_widths(ws);
    // a spindle lap wears as its width; the stroke spreads it by W
    const std::vector<double> shape = ws.SPINDLE ? check.widths : model.apply(check.widths);
    const std::vector<double> rho = ws.FREE_FOCUS ? normalised_radii(ws) : std::vector<double>{};
    const std::vector<double> weights = area_weights(check.radius);
    check.fit = predict_removal(shape, check.measured, weights, ws.FREE_FOCUS, rho);
    const PredictedRemoval& f = check.fit;
    bool finite = std::isfinite(f.tau) && std::isfinite(f.beta) && std::isfinite(f.gamma) &&
                  std::isfinite(f.measured_rms) && std::isfinite(f.measured_pv) && std::isfinite(f.residual_rms) &&
                  std::isfinite(f.residual_pv) && std::isfinite(f.share_left);
    for (std::size_t k = 0; finite && k < f.predicted.size(); ++k) {
        finite = std::isfinite(f.predicted[k]) && std::isfinite(f.residual[k]) && std::isfinite(check.widths[k]);
    }
    if (!finite) {
        throw std::range_error("The predicted removal of this lap comes out beyond the range of numbers it is "
                               "computed with; it was not made.");
    }
    check.stroke = !ws.SPINDLE;
    if (check.stroke) {
        check.wear = model.settings();
        // the same widths judged by the other model
        const WearSettings settings = other_wear_law(check.wear);
        std::optional<WearModel> own;
        if (other == nullptr) {
            other = &own.emplace(ws.ZONE_RADIUS, ws.ZONE_COUNT, ws.OUTER_RADIUS, settings);
        } else {
            if (!(other->settings() == settings) || !other->same_zones(ws))
                throw std::invalid_argument("check_removal: the other wear model is of other zones or settings");
        }
        check.other_share_left =
            predict_removal(other->apply(check.widths), check.measured, weights, ws.FREE_FOCUS, rho).share_left;
    }
    return check;
}

std::string format_decimals(double x, int decimals, char decimal_separator) {
    if (decimals < 0 || decimals > 12) throw std::invalid_argument("format_decimals: 0 to 12 decimals");
    if (!std::isfinite(x)) return std::isnan(x) ? "NAN" : (x < 0 ? "-INF" : "INF");
    char buffer[400];
    const auto written = std::to_chars(buffer, buffer + sizeof buffer, x, std::chars_format::fixed, decimals);
    if (written.ec != std::errc()) throw std::length_error("format_decimals: the number does not fit its text");
    std::string text(buffer, written.ptr);
    if (text.find_first_of("123456789") == std::string::npos && text.front() == '-') text.erase(0, 1);
    if (const auto point = text.find('.'); point != std::string::npos) text[point] = decimal_separator;
    return text;
}

std::string format_significant(double x, int digits, char decimal_separator) {
    int decimals = 1;
    if (std::isfinite(x) && std::fabs(x) >= 0.5e-12) {
        const int lead = static_cast<int>(std::floor(std::log10(std::fabs(x))));
        decimals = std::clamp(digits - 1 - lead, 1, 12);
    } else {
        decimals = digits;
    }
    return format_decimals(x, decimals, decimal_separator);
}

std::string removal_summary(const PredictedRemoval& fit, char decimal_separator) {
    return "RMS " + format_significant(fit.measured_rms, 3, decimal_separator) + " \u2192 " +
           format_significant(fit.residual_rms, 3, decimal_separator) + ", " +
           format_decimals(fit.share_left, 0, decimal_separator) + " % left; P-V " +
           format_significant(fit.measured_pv, 3, decimal_separator) + " \u2192 " +
           format_significant(fit.residual_pv, 3, decimal_separator);
}

std::string design_summary(const WorkingState& ws) {
    std::string text = ws.fit_drawn() ? "Design: least-squares fit of the leaf widths" : "Design: classic";
    text += ws.FREE_FOCUS ? "; free focus on (a term in the square of the radius is removed too)"
                          : "; free focus off";
    return text;
}

std::string wear_model_summary(const WearSettings& wear, char decimal_separator) {
    return wear_settings_text(wear, decimal_separator);
}

std::string check_table(const WorkingState& ws, const RemovalCheck& check, char decimal_separator) {
    const char sep = decimal_separator;
    const PredictedRemoval& fit = check.fit;
    std::string out;
    out.reserve(256 + 64 * check.radius.size());
    out += ws.PLOT_CAPTION + "\r\n";
    // the default (classic, no free focus) keeps the table as it always was
    if (ws.fit_drawn() || ws.FREE_FOCUS) out += design_summary(ws) + "\r\n";
    if (check.stroke) out += "Wear model: " + wear_model_summary(check.wear, sep) + "\r\n";
    out += "Measured: RMS " + format_significant(fit.measured_rms, 4, sep) + " and P-V " +
           format_significant(fit.measured_pv, 4, sep) + "\r\n";
    out += "Left by the lap as drawn: RMS " + format_significant(fit.residual_rms, 4, sep) + " and P-V " +
           format_significant(fit.residual_pv, 4, sep) + "\r\n";
    out += "Share of the RMS left: " + format_decimals(fit.share_left, 1, sep) + " %\r\n";
    if (check.stroke) {
        out += "Share of the RMS left by " + wear_model_summary(other_wear_law(check.wear), sep) + " instead: " +
               format_decimals(check.other_share_left, 1, sep) + " %\r\n";
    }
    if (fit.residual_pv > fit.measured_pv) {
        out += "Warning: the P-V left (" + format_significant(fit.residual_pv, 4, sep) +
               ") is larger than the measured P-V (" + format_significant(fit.measured_pv, 4, sep) + ").\r\n";
    }
    out += "radius, mm\tmeasured\tleaf width\tpredicted\tresidual\r\n";
    for (std::size_t k = 0; k < check.radius.size(); ++k) {
        // the file's own values, as the text export writes them
        out += format_fixed(ws.ZONE_RADIUS[k], 1, sep);
        out += '\t';
        out += format_fixed(ws.ZONE_RAW[k], 4, sep);
        out += '\t';
        out += format_decimals(check.widths[k], 6, sep);
        out += '\t';
        out += format_fixed(static_cast<Real>(fit.predicted[k]), 4, sep);
        out += '\t';
        out += format_fixed(static_cast<Real>(fit.residual[k]), 4, sep);
        out += "\r\n";
    }
    return out;
}

}  // namespace dz
