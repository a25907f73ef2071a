// SPDX-License-Identifier: GPL-3.0-or-later
#include "lap_document/lap_document.hpp"

#include <utility>

#include "export/dxf_export.hpp"
#include "export/text_export.hpp"
#include "lap_load/calc_lap.hpp"
#include "lap_template/lap_geometry.hpp"
#include "lap_template/template_files.hpp"
#include "text_io/caption_text.hpp"

namespace dz {

LapDocument::LapDocument(char decimal_separator)
    : decimal_separator_(decimal_separator), tokenizer_(decimal_separator) {}

DocumentOutcome LapDocument::redesign() {
    DocumentOutcome outcome;
    outcome.fit_failed = apply_design(ws_, design_);
    return outcome;
}

// A setting stage's refusal, or the design applied after it. A comparison
// judged the lap as it was: it goes with any change.
DocumentOutcome LapDocument::settled(std::optional<std::string> refused) {
    if (refused) return DocumentOutcome{std::move(refused), std::nullopt};
    comparison_.reset();
    return redesign();
}

DocumentOutcome LapDocument::open(const std::string& path, std::span<const std::string> outputs) {
    const InputFile input = read_input_file(path);
    if (!input.bytes) return DocumentOutcome{input.message, std::nullopt};
    // An output onto the file just read is refused before anything is
    // computed; "-" is standard output.
    for (const std::string& output : outputs) {
        if (output != "-" && file_identity(output) == input.identity) {
            return DocumentOutcome{export_onto_surface_message(output), std::nullopt};
        }
    }
    std::string warning;
    if (auto failure = CALC_LAP(ws_, load_, *input.bytes, ws_.SPINDLE, decimal_separator_, &warning)) {
        return DocumentOutcome{std::move(failure), std::nullopt};
    }
    surface_path_ = path;
    surface_identity_ = input.identity;
    load_warning_ = std::move(warning);
    comparison_.reset();
    return redesign();
}

DocumentOutcome LapDocument::reload() {
    if (surface_path_.empty()) return {};  // nothing was opened yet
    const std::string path = surface_path_;
    return open(path);
}

// The file that was read, also when reached through another path or a link,
// and also when it has been replaced on disk since it was read.
bool LapDocument::is_surface_file(const std::string& path) const {
    if (!surface_identity_) return false;
    const auto target = file_identity(path);
    return target && (*target == *surface_identity_ || target == file_identity(surface_path_));
}

std::int32_t LapDocument::read_leaves(const std::string& text) {
    std::int32_t leaves = ws_.NUM_LEAVES;  // an empty text assigns nothing
    tokenizer_.IN_LINE = text;
    tokenizer_.READ_INT(leaves);
    return leaves;
}

Real LapDocument::read_efficiency(const std::string& text) {
    Real efficiency = ws_.EFFICIENCY;  // an empty text assigns nothing
    tokenizer_.IN_LINE = text;
    tokenizer_.READ_REAL(efficiency);
    return efficiency;
}

// The number of leaves does not move the widths (fractions of the pitch):
// the outline the stage rebuilds from them is the design applied.
DocumentOutcome LapDocument::set_num_leaves(std::int32_t leaves) {
    return DocumentOutcome{dz::set_num_leaves(ws_, leaves), std::nullopt};
}

DocumentOutcome LapDocument::set_wear(const WearSettings& settings) {
    if (auto refused = check_wear_settings(settings)) return DocumentOutcome{std::move(refused), std::nullopt};
    if (settings == ws_.WEAR) return {};
    ws_.WEAR = settings;
    if (!ws_.loaded) return {};
    return settled(std::nullopt);
}

// A new efficiency is a new floor for the fit, which is solved again from
// its last set-up.
DocumentOutcome LapDocument::set_efficiency(Real efficiency) {
    return settled(apply_efficiency(ws_, efficiency));
}

DocumentOutcome LapDocument::set_lap_type(bool spindle) { return settled(dz::set_lap_type(ws_, spindle)); }

DocumentOutcome LapDocument::set_design(LapDesign design, bool free_focus) {
    comparison_.reset();
    return DocumentOutcome{std::nullopt, dz::set_design(ws_, design_, design, free_focus)};
}

std::vector<double> LapDocument::removal_shape(const WearSettings& settings) {
    std::vector<double> widths = leaf_widths(ws_);
    if (ws_.SPINDLE) return widths;  // a spindle lap wears as its width
    if (settings == ws_.WEAR) return wear_model().apply(widths);
    return WearModel(ws_.ZONE_RADIUS, ws_.ZONE_COUNT, ws_.OUTER_RADIUS, settings).apply(widths);
}

DocumentOutcome LapDocument::compare(const std::string& after_path, double minutes) {
    if (!ws_.loaded) return DocumentOutcome{std::string(OPEN_EARLIER_TEST_FIRST), std::nullopt};
    if (auto refused = removal_range_refusal(ws_, decimal_separator_)) {
        return DocumentOutcome{std::move(refused), std::nullopt};
    }
    const InputFile input = read_input_file(after_path);
    if (!input.bytes) return DocumentOutcome{input.message, std::nullopt};
    WearSettings other = ws_.WEAR;
    other.model = other.model == WearLaw::preston ? WearLaw::matrix : WearLaw::preston;
    const ComparedShape chosen{wear_law_name(ws_.WEAR.model), removal_shape(ws_.WEAR)};
    const ComparedShape second{wear_law_name(other.model), removal_shape(other)};
    CompareResult result = compare_tests(ws_, *input.bytes, minutes, chosen, second, decimal_separator_);
    if (!result.comparison) return DocumentOutcome{std::move(result.message), std::nullopt};
    comparison_ = std::move(result.comparison);
    rates_[static_cast<std::size_t>(ws_.WEAR.model)] = comparison_->chosen.rate;
    rates_[static_cast<std::size_t>(other.model)] = comparison_->other.rate;
    return {};
}

DocumentOutcome LapDocument::set_rate(double rate) {
    if (auto refused = check_rate(rate)) return DocumentOutcome{std::move(refused), std::nullopt};
    rates_[static_cast<std::size_t>(ws_.WEAR.model)] = rate;
    return {};
}

std::optional<double> LapDocument::rate() const {
    const std::optional<double>& known = rates_[static_cast<std::size_t>(ws_.WEAR.model)];
    if (known && *known > 0) return known;
    return std::nullopt;
}

void LapDocument::set_caption(const std::string& utf8_text) {
    if (caption_to_utf8(ws_.PLOT_CAPTION) == utf8_text) return;
    ws_.PLOT_CAPTION = utf8_text;
}

void LapDocument::set_plot_scale(std::int32_t pixels) { ws_.PLOT_SCALE = pixels; }

std::string LapDocument::text_bytes() const { return text_export(ws_, decimal_separator_); }

std::string LapDocument::dxf_bytes() const { return dxf_export(ws_); }

std::string LapDocument::check_bytes() {
    const RemovalCheck check = removal_check();
    std::string table = check_table(ws_, check, decimal_separator_);
    if (comparison_) table = with_comparison(table, *comparison_, decimal_separator_);
    if (const auto known = rate()) {
        table = with_line_before_header(table, polishing_time_line(check.fit.tau, *known, decimal_separator_));
    }
    return table;
}

std::string LapDocument::lap_dxf_bytes(const std::string& date) const { return dz::lap_dxf_bytes(ws_, date); }

RemovalCheck LapDocument::removal_check() {
    const WearModel& model = wear_model();
    return check_removal(ws_, model, ws_.SPINDLE ? nullptr : &design_.other_wear_model(ws_));
}

std::string LapDocument::template_warning() const { return negative_width_warning(ws_); }

std::optional<std::string> LapDocument::save_refusal(const std::string& path) const {
    if (is_surface_file(path)) return export_onto_surface_message(path);
    return std::nullopt;
}

SaveOutcome LapDocument::save(const std::string& path, std::string_view bytes) const {
    if (auto refused = save_refusal(path)) return SaveOutcome{std::move(refused), {}};
    if (auto failure = write_file_replace(path, bytes)) return SaveOutcome{std::move(failure), {}};
    return SaveOutcome{std::nullopt, SAVED_NOTICE + path};
}

}  // namespace dz
