// SPDX-License-Identifier: GPL-3.0-or-later
#include "wear_compare/wear_compare.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <stdexcept>
#include <utility>

#include "core_types/real.hpp"
#include "surface/surface_reader.hpp"
#include "text_io/numbers.hpp"
#include "text_io/tokenizer.hpp"

namespace dz {

namespace {

// A test's zones in order of radius, those at one radius averaged.
struct Profile {
    std::vector<Real> radius;
    std::vector<Real> value;
};

Profile sorted_profile(const SurfaceData& data) {
    std::vector<std::pair<Real, Real>> zones;
    for (std::size_t k = 0; k < static_cast<std::size_t>(data.zone_count); ++k) {
        zones.emplace_back(data.radius[k], data.raw[k]);
    }
    std::stable_sort(zones.begin(), zones.end(), [](const auto& p, const auto& q) { return p.first < q.first; });
    Profile out;
    for (std::size_t k = 0; k < zones.size();) {
        // the run of zones at this radius
        std::size_t end = k;
        Real sum = 0;
        while (end < zones.size() && zones[end].first == zones[k].first) sum += zones[end++].second;
        out.radius.push_back(zones[k].first);
        out.value.push_back(sum / static_cast<Real>(end - k));
        k = end;
    }
    return out;
}

// The profile's value at r, linear between its zones; r within its range.
Real interpolate(const Profile& p, Real r) {
    const auto above = std::lower_bound(p.radius.begin(), p.radius.end(), r);
    const auto i = static_cast<std::size_t>(above - p.radius.begin());
    if (p.radius[i] == r || i == 0) return p.value[i];
    const Real t = (r - p.radius[i - 1]) / (p.radius[i] - p.radius[i - 1]);
    return p.value[i - 1] + t * (p.value[i] - p.value[i - 1]);
}

// A radius in a message, as the files give them.
std::string mm(Real r, char sep) { return format_decimals(static_cast<double>(r), 3, sep) + " mm"; }

ModelComparison account(const ComparedShape& shape, const std::vector<double>& removal,
                        const std::vector<double>& weights, double minutes, bool no_removal) {
    ModelComparison out;
    out.model = shape.model;
    // within rounding of a piston there is nothing for a rate to explain:
    // the piston alone is fitted, rate and share stay 0
    out.fit = predict_removal(no_removal ? std::vector<double>(removal.size(), 0.0) : shape.shape, removal, weights);
    if (no_removal) return out;
    out.rate = out.fit.tau / minutes;
    out.share_explained = out.fit.measured_rms > 0 ? 100 - out.fit.share_left : 0;
    return out;
}

}  // namespace

CompareResult compare_tests(const WorkingState& before, std::string_view after_bytes, double minutes,
                            const ComparedShape& chosen, const ComparedShape& other, char decimal_separator) {
    const char sep = decimal_separator;
    CompareResult result;
    if (!before.loaded || before.ZONE_COUNT < 1) {
        result.message = OPEN_EARLIER_TEST_FIRST;
        return result;
    }
    const auto n = static_cast<std::size_t>(before.ZONE_COUNT);
    if (chosen.shape.size() != n || other.shape.size() != n) {
        throw std::invalid_argument("compare_tests: one shape value per zone of the earlier test");
    }
    if (!(minutes > 0) || !std::isfinite(minutes)) {
        result.message = MINUTES_REFUSED;
        return result;
    }

    // read the later test
    Tokenizer tokenizer(decimal_separator);
    SurfaceReadResult read = read_surface(after_bytes, tokenizer, ZONE_CAPACITY);
    if (!read.data) {
        result.message = "The later test could not be read: " + read.message;
        return result;
    }
    const SurfaceData& after = *read.data;
    const auto m = static_cast<std::size_t>(after.zone_count);
    Real scale = 0;  // the largest value of either test
    for (std::size_t k = 0; k < m; ++k) {
        if (!std::isfinite(after.radius[k]) || !std::isfinite(after.raw[k])) {
            result.message = "The later test's numbers are out of the range of numbers this program computes "
                             "with; nothing was compared.";
            return result;
        }
        scale = std::max(scale, std::fabs(after.raw[k]));
    }

    // the same mirror: outer radii (the last zones') within 2 %
    const Real outer_before = before.OUTER_RADIUS;
    const Real outer_after = after.radius[m - 1];
    if (std::fabs(outer_after - outer_before) > static_cast<Real>(SAME_MIRROR_TOLERANCE) * std::fabs(outer_before)) {
        result.message = "The later test is of another mirror: its outer radius is " + mm(outer_after, sep) +
                         ", the earlier test's " + mm(outer_before, sep) +
                         " (more than 2 % apart); nothing was compared.";
        return result;
    }

    // the measured removal at the earlier test's radii
    const Profile later = sorted_profile(after);
    WearComparison c;
    c.later_caption = after.caption;
    c.minutes = minutes;
    c.radius = zone_radii(before);
    c.removal.resize(n);
    for (std::size_t k = 0; k < n; ++k) {
        const Real r = before.ZONE_RADIUS[k];
        if (r < later.radius.front() || r > later.radius.back()) {
            result.message = "The zone at radius " + mm(r, sep) + " of the earlier test lies outside the later "
                             "test's zones (" + format_decimals(static_cast<double>(later.radius.front()), 3, sep) + " to " +
                             mm(later.radius.back(), sep) + "); nothing was compared.";
            return result;
        }
        scale = std::max(scale, std::fabs(before.ZONE_RAW[k]));
        c.removal[k] = static_cast<double>(before.ZONE_RAW[k] - interpolate(later, r));
    }

    // each model's rate and share
    const std::vector<double> weights = area_weights(c.radius);
    const double removal_rms = predict_removal(std::vector<double>(n, 0.0), c.removal, weights).measured_rms;
    const bool no_removal = !(removal_rms > 8 * std::numeric_limits<double>::epsilon() * static_cast<double>(scale));
    c.chosen = account(chosen, c.removal, weights, minutes, no_removal);
    c.other = account(other, c.removal, weights, minutes, no_removal);
    result.comparison = std::move(c);
    return result;
}

std::string comparison_lines(const WearComparison& comparison, char decimal_separator) {
    const char sep = decimal_separator;
    std::string out = "Later test (after " + format_significant(comparison.minutes, 3, sep) +
                      " minutes of polishing): " + comparison.later_caption + "\r\n";
    for (const ModelComparison* model : {&comparison.chosen, &comparison.other}) {
        const std::string name = " (" + model->model + ")\r\n";
        out += "Rate: " + format_significant(model->rate, 4, sep) + " per minute" + name;
        out += "Share of the measured removal explained: " + format_decimals(model->share_explained, 1, sep) +
               " %" + name;
    }
    return out;
}

std::string comparison_summary(const WearComparison& comparison, char decimal_separator) {
    const char sep = decimal_separator;
    return "Rate " + format_significant(comparison.chosen.rate, 4, sep) + " per minute: " +
           format_decimals(comparison.chosen.share_explained, 1, sep) + " % of the measured removal explained by " +
           comparison.chosen.model + " (" + format_decimals(comparison.other.share_explained, 1, sep) + " % by " +
           comparison.other.model + ")";
}

std::string comparison_columns(const WearComparison& comparison, std::size_t zone, char decimal_separator) {
    const PredictedRemoval& fit = comparison.chosen.fit;
    std::string out;
    for (const double x : {comparison.removal[zone], fit.predicted[zone], fit.residual[zone]}) {
        out += '\t';
        out += format_fixed(static_cast<Real>(x), 4, decimal_separator);
    }
    return out;
}

namespace {

constexpr std::string_view LINE_END = "\r\n";

// Where the check table's header line starts: at the start of the table or
// of a line.
std::size_t header_start(const std::string& table) {
    constexpr std::string_view header = "radius, mm";
    std::size_t start = table.starts_with(header) ? 0 : table.find(std::string(LINE_END) + std::string(header));
    if (start == std::string::npos) throw std::invalid_argument("check table without a header");
    return start == 0 ? 0 : start + LINE_END.size();
}

}  // namespace

std::string with_line_before_header(const std::string& table, const std::string& lines) {
    const std::size_t start = header_start(table);
    return table.substr(0, start) + lines + table.substr(start);
}

std::string with_comparison(const std::string& table, const WearComparison& comparison, char decimal_separator) {
    constexpr std::string_view line_end = LINE_END;
    const std::size_t start = header_start(table);
    std::string out = table.substr(0, start) + comparison_lines(comparison, decimal_separator);
    // the header and one line per zone, each with the columns before its line end
    std::size_t pos = start;
    for (std::size_t line = 0; line <= comparison.radius.size(); ++line) {
        const std::size_t end = table.find(line_end, pos);
        if (end == std::string::npos || (line > 0 && end == pos)) {
            throw std::invalid_argument("with_comparison: the table has not one line per zone");
        }
        out.append(table, pos, end - pos);
        out += line == 0 ? std::string(COMPARISON_COLUMNS)
                         : comparison_columns(comparison, line - 1, decimal_separator);
        out += line_end;
        pos = end + line_end.size();
    }
    out.append(table, pos, std::string::npos);
    return out;
}

std::optional<double> polishing_minutes(double tau, double rate) {
    if (!(rate > 0) || !std::isfinite(rate)) return std::nullopt;
    const double minutes = tau / rate;
    if (!std::isfinite(minutes)) return std::nullopt;
    return minutes;
}

std::string polishing_time_line(double tau, double rate, char decimal_separator) {
    const auto minutes = polishing_minutes(tau, rate);
    if (!minutes) return {};
    return "Polishing time: " + format_significant(*minutes, 3, decimal_separator) + " minutes at " +
           format_significant(rate, 4, decimal_separator) + " per minute\r\n";
}

std::optional<std::string> check_rate(double rate) {
    if (rate > 0 && std::isfinite(rate)) return std::nullopt;
    return std::string(RATE_REFUSED);
}

}  // namespace dz
