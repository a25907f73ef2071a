// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The lap document: one object that owns the working state of the surface
// in hand, the scratch its stages compute with, and the surface file it was
// read from, and that offers one method per user command. The window's
// commands and the command-line tool are argument parsing and dialogs
// around it: they read the state, and only the document and the stages it
// calls (the load, the settings, the design, the outline) write it.
//
// Every setting ends with the design in force applied once (the classic
// outline, or the least-squares fit of the widths), so the outline, the
// exports and the predicted removal always show the same lap.
//
// usage     LapDocument doc(decimal_separator);
//           if (auto r = doc.open(path); r.refused) show(*r.refused);
//           doc.set_num_leaves(doc.read_leaves(text));
//           doc.save(path, doc.text_bytes());
//
// Not for two threads at once. Nothing is kept between runs.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "file_io/file_io.hpp"
#include "lap_design/lap_design.hpp"
#include "lap_load/load_scratch.hpp"
#include "removal/removal.hpp"
#include "text_io/tokenizer.hpp"
#include "wear_compare/wear_compare.hpp"
#include "working_state/working_state.hpp"

namespace dz {

// What a command did.
//   refused      the command changed nothing; the message says why.
//   fit_failed   the command took effect, but the chosen fit could not be
//                made: the classic outline is drawn, and this says why.
// Both empty: the command took effect as asked.
struct DocumentOutcome {
    std::optional<std::string> refused;
    std::optional<std::string> fit_failed;
};

// Where a guarded save went: `failure` empty when the file holds the bytes,
// and then `notice` reads "Saved PATH".
struct SaveOutcome {
    std::optional<std::string> failure;
    std::string notice;
};

// The notice after a save, followed by the path.
inline constexpr const char* SAVED_NOTICE = "Saved ";

class LapDocument {
public:
    // `decimal_separator` is the user's: for the numbers typed, the surface
    // file and the text outputs.
    explicit LapDocument(char decimal_separator);

    [[nodiscard]] const WorkingState& state() const { return ws_; }
    [[nodiscard]] char decimal_separator() const { return decimal_separator_; }

    // --- the surface ---------------------------------------------------

    // open: reads the surface file at `path` and loads it, keeping the
    // number of leaves, the lap type, the design and the free focus.
    //
    //   on entry  path     the file to read (the file system's bytes).
    //             outputs  files the caller is about to write; when one of
    //                      them is the file read, the open is refused with
    //                      export_onto_surface_message before the load.
    //   on return refused: the file could not be read, was refused, or did
    //             not load; the state, the surface and the load warning are
    //             as before. Otherwise the new surface is in force with
    //             the efficiency reset to 100, the design applied, and
    //             load_warning() holds the reader's warning (or nothing).
    DocumentOutcome open(const std::string& path, std::span<const std::string> outputs = {});
    // reload: opens the file of the last successful open again; does
    // nothing before the first.
    DocumentOutcome reload();
    // The file of the last successful open (empty before the first).
    [[nodiscard]] const std::string& surface_path() const { return surface_path_; }
    // True when `path` leads to the surface file in force: the file that was
    // read, also through another name or a link, and whatever the surface's
    // path names now.
    [[nodiscard]] bool is_surface_file(const std::string& path) const;

    // --- the settings --------------------------------------------------

    // The number of leaves or the efficiency typed as text, read as the
    // window's prompts read them (READ_INT, READ_REAL with the user's
    // separator): an empty text gives the value in force. Throws
    // ConversionError for a text that is not a number.
    [[nodiscard]] std::int32_t read_leaves(const std::string& text);
    [[nodiscard]] Real read_efficiency(const std::string& text);

    // The setting commands. Refused below 1 leaf, at 0 % or below, and when
    // the outline would not be finite (nothing changed then). A lap type
    // resets the efficiency to 100.
    DocumentOutcome set_num_leaves(std::int32_t leaves);
    DocumentOutcome set_efficiency(Real efficiency);
    DocumentOutcome set_lap_type(bool spindle);
    // The design and the free focus; the choice stays when the fit fails.
    DocumentOutcome set_design(LapDesign design, bool free_focus);
    // The plot caption, the text export's first line. Text equal to what
    // the stored caption already shows (as UTF-8) keeps the stored bytes,
    // so a caption read as Windows-1252 stays so; new text is stored as
    // UTF-8. The DXF caption keeps the line read from the file.
    void set_caption(const std::string& utf8_text);
    // Pixels per normalised unit of the lap plot.
    void set_plot_scale(std::int32_t pixels);
    // How the lap is worked and the wear model that judges it (the stroke,
    // its offset, the lap's size, the pressure, Preston's law or the
    // classic matrix): they stay across loads. Refused, nothing changed,
    // with check_wear_settings' message. The classic outline does not
    // depend on them; the fit and the predicted removal do.
    DocumentOutcome set_wear(const WearSettings& settings);

    // --- learning the lap's wear -----------------------------------------

    // compare: the later test at `after_path`, made `minutes` of polishing
    // with the lap in force after the test in force (compare_tests). On
    // success the comparison is kept until the next command that changes
    // the lap or the surface, and the rate it found under the wear model in
    // force is kept for the rest of the run. Refused, nothing changed, when
    // the file cannot be read or compare_tests refuses.
    DocumentOutcome compare(const std::string& after_path, double minutes);
    // The comparison of the last compare, while the lap it judged is drawn.
    [[nodiscard]] const std::optional<WearComparison>& comparison() const { return comparison_; }
    // A rate of wear known from elsewhere (height units per minute), for the
    // wear model in force. Refused unless finite and > 0 (check_rate).
    DocumentOutcome set_rate(double rate);
    // The rate known for the wear model in force, if any.
    [[nodiscard]] std::optional<double> rate() const;

    // --- what the state gives --------------------------------------------

    // The exports as bytes. Require a loaded state, except the text export.
    // The check table holds the comparison while it is kept, and the
    // minutes of polishing the lap needs when a rate is known.
    [[nodiscard]] std::string text_bytes() const;
    [[nodiscard]] std::string dxf_bytes() const;
    [[nodiscard]] std::string check_bytes();
    // The whole lap at full size as DXF, `date` in the title block.
    [[nodiscard]] std::string lap_dxf_bytes(const std::string& date) const;
    // The predicted removal of the lap as drawn, with the wear model the
    // fit keeps (made on first use). Requires a loaded state.
    [[nodiscard]] RemovalCheck removal_check();
    [[nodiscard]] const WearModel& wear_model() { return design_.wear_model(ws_); }

    // The reader's warning of the last successful open, empty when it had
    // nothing to say.
    [[nodiscard]] const std::string& load_warning() const { return load_warning_; }
    // The warning for the whole-lap outputs of the state now in force:
    // widths below zero make the edges cross; empty when none do.
    [[nodiscard]] std::string template_warning() const;

    // --- saving ----------------------------------------------------------

    // The refusal of a save onto the surface file, or nothing; for a caller
    // that asks before it makes the bytes.
    [[nodiscard]] std::optional<std::string> save_refusal(const std::string& path) const;
    // save: the one way the program writes a file of its own choosing.
    //   on entry  path   the file to write; bytes  its whole content.
    //   on return the refusal of save_refusal, or write_file_replace's
    //             message, in `failure` (nothing written then); otherwise
    //             the notice "Saved PATH".
    [[nodiscard]] SaveOutcome save(const std::string& path, std::string_view bytes) const;

private:
    // The design in force applied to the state, with its outcome.
    DocumentOutcome redesign();
    DocumentOutcome settled(std::optional<std::string> refused);
    // The removal shape of the lap as drawn under `settings`' model.
    [[nodiscard]] std::vector<double> removal_shape(const WearSettings& settings);

    char decimal_separator_;
    WorkingState ws_;
    LoadScratch load_;      // the load's solver storage, kept from load to load
    DesignScratch design_;  // the fit's wear model and set-up, kept between commands
    Tokenizer tokenizer_;
    std::string load_warning_;
    std::optional<WearComparison> comparison_;
    std::array<std::optional<double>, 2> rates_;  // per wear model (WearLaw)

    // The surface file of the working state, which no save may replace.
    std::string surface_path_;
    std::optional<FileIdentity> surface_identity_;
};

}  // namespace dz
