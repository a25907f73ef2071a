// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Predicted against measured: two tests of one mirror, before and after a
// polishing session of known length with a known lap and stroke, say how
// fast the lap really wears (the rate) and how much of what it took off the
// wear model explains. A rate once known turns a design's predicted removal
// into minutes of polishing.
//
// usage (the command line's --compare AFTER --minutes T, or the window's
// File > Compare with a later test...):
//
//     const auto w = leaf_widths(ws);                    // the lap in force
//     const ComparedShape chosen{wear_law_name(law), ws.SPINDLE ? w : model.apply(w)};
//     const ComparedShape other{wear_law_name(other_law), ws.SPINDLE ? w : other_model.apply(w)};
//     CompareResult result = compare_tests(ws, after_bytes, minutes, chosen, other, sep);
//     if (!result.comparison) { show(result.message); return; }   // nothing changed
//     table = with_comparison(check_table(ws, check, sep), *result.comparison, sep);
//     rate = result.comparison->chosen.rate;    // kept for the rest of the run
//
// The rate belongs to its model: each model's shape has its own scale (the
// classic matrix counts crossings, Preston's law measures the sliding path),
// so a rate learnt under one model turns only that model's predicted time
// into minutes.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "removal/removal.hpp"
#include "working_state/working_state.hpp"

namespace dz {

// The predicted removal shape of the lap used between the two tests under
// one wear model, one value per zone of the earlier test in file order, and
// the model's name as the table shows it ("Preston", "matrix").
struct ComparedShape {
    std::string model;
    std::vector<double> shape;
};

// One model's account of the measured removal.
struct ModelComparison {
    std::string model;
    double rate = 0;             // height units per minute per unit of the shape, >= 0
    double share_explained = 0;  // percent, 0 to 100
    PredictedRemoval fit;        // tau = rate * minutes; predicted removal and misfit per zone
};

// The comparison of two tests; zones are those of the earlier test.
struct WearComparison {
    std::string later_caption;      // line 1 of the later test
    double minutes = 0;
    std::vector<double> radius;     // mm, file order
    std::vector<double> removal;    // measured removal: before - after
    ModelComparison chosen;
    ModelComparison other;
};

struct CompareResult {
    std::optional<WearComparison> comparison;  // set on success
    std::string message;                       // the refusal to show otherwise
};

// The outer radii of two tests of one mirror differ by at most this share.
inline constexpr double SAME_MIRROR_TOLERANCE = 0.02;

// The refusals' messages that do not name a value.
inline constexpr const char* MINUTES_REFUSED = "The polishing time must be more than 0 minutes.";
inline constexpr const char* RATE_REFUSED = "The rate must be more than 0 per minute.";
inline constexpr const char* OPEN_EARLIER_TEST_FIRST = "Open the earlier test first; the later test is compared with it.";

// compare_tests learns the lap's rate of wear from an earlier and a later
// test of the same mirror.
//
// on entry  before      the working state of the earlier test, loaded, with
//                       the lap used between the tests (only read).
//           after_bytes the bytes of the later test's surface file.
//           minutes     the polishing time between the two tests, > 0.
//           chosen      the removal shape of the lap under the chosen model,
//           other       and under the other model: each ZONE_COUNT values
//                       (W w, or K w, or w itself for "Spindle").
//           decimal_separator  the user's, for reading the later test.
// on return a comparison, or a message and no comparison; `before` is never
//           changed. Refusals:
//             no surface loaded           "Open the earlier test first ..."
//             minutes <= 0 or not finite  MINUTES_REFUSED
//             the later test fails to load  the reader's message, introduced
//             outer radii more than 2 % apart  "... of another mirror ..."
//             a zone outside the later test's radii  names the zone's radius
// failures  std::invalid_argument when a shape has not ZONE_COUNT values.
//
// method    the later test's values are taken at the earlier test's zone
//           radii by linear interpolation in radius (its zones sorted by
//           radius; zones at one radius averaged); removal_k = before_k -
//           after(r_k), computed in extended precision and rounded once.
//           For each model predict_removal fits tau s + beta to the removal
//           with the area weights of the earlier test's zones, tau >= 0
//           (the piston is free: two tests have no common zero). rate =
//           tau / minutes, share = 100 (1 - RMS(misfit) / RMS(removal)),
//           both RMS area-weighted about the mean.
// accuracy  a removal whose RMS is within rounding of none (at most 8 eps
//           times the largest value of either test) is no removal: rate 0,
//           share 0, so that a pure piston change never divides by a
//           rounding error.
[[nodiscard]] CompareResult compare_tests(const WorkingState& before, std::string_view after_bytes,
                                          double minutes, const ComparedShape& chosen,
                                          const ComparedShape& other, char decimal_separator);

// The check table's lines of a comparison, each ending in CR LF:
//   Later test (after MINUTES minutes of polishing): CAPTION
//   Rate: NUMBER per minute (MODEL)
//   Share of the measured removal explained: NUMBER % (MODEL)
// and the last two again for the other model. The rate with four
// significant digits, the share with one decimal.
[[nodiscard]] std::string comparison_lines(const WearComparison& comparison, char decimal_separator);

// The figures in words, as the removal view shows them (UTF-8):
// "Rate 29.94 per minute: 97.4 % of the measured removal explained by
// Preston (83.8 % by matrix)".
[[nodiscard]] std::string comparison_summary(const WearComparison& comparison, char decimal_separator);

// The three columns a comparison adds to the check table's zones: after the
// header "\tmeasured removal\tpredicted removal\tmisfit", after zone k its
// measured removal, the chosen model's predicted removal and the misfit
// (measured - predicted), each "\t" + "0.0000".
inline constexpr const char* COMPARISON_COLUMNS = "\tmeasured removal\tpredicted removal\tmisfit";
[[nodiscard]] std::string comparison_columns(const WearComparison& comparison, std::size_t zone,
                                             char decimal_separator);

// with_comparison: the check table `table` (check_table's text, CR LF lines)
// with the comparison in it: comparison_lines before the header line (the
// one that starts "radius, mm"), the three columns after the header and
// after each of the zone lines that follow it. std::invalid_argument when
// the table has no header or not one zone line per zone of the comparison.
[[nodiscard]] std::string with_comparison(const std::string& table, const WearComparison& comparison,
                                          char decimal_separator);

// with_line_before_header: the check table `table` with `lines` (whole
// lines, CR LF ends) put before its header line "radius, mm...".
// std::invalid_argument when the table has no header.
[[nodiscard]] std::string with_line_before_header(const std::string& table, const std::string& lines);

// polishing_minutes: the minutes that a predicted removal of fitted time
// `tau` needs at `rate`: tau / rate; none when the rate is not > 0 or the
// quotient is not finite.
[[nodiscard]] std::optional<double> polishing_minutes(double tau, double rate);

// "Polishing time: NUMBER minutes at NUMBER per minute" + CR LF (minutes
// with three significant digits, the rate with four), or empty when
// polishing_minutes gives none.
[[nodiscard]] std::string polishing_time_line(double tau, double rate, char decimal_separator);

// check_rate: a rate given by the user (--rate R) is taken when it is
// finite and > 0; otherwise RATE_REFUSED.
[[nodiscard]] std::optional<std::string> check_rate(double rate);

}  // namespace dz
