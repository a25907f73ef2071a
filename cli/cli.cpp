// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cli.hpp"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <optional>
#include <ostream>
#include <type_traits>
#include <utility>

#include <cstdlib>

#include "cli/png_loader.hpp"
#include "core_types/version.hpp"
#include "file_io/file_io.hpp"
#include "lap_document/lap_document.hpp"
#include "lap_load/calc_lap.hpp"
#include "lap_template/page_plan.hpp"
#include "lap_template/template_files.hpp"
#include "preston_wear/wear_settings.hpp"
#include "text_io/numbers.hpp"
#include "text_io/tokenizer.hpp"

namespace dz {

namespace {

constexpr const char* USAGE =
    "usage: doroziri-cli [--leaves N] [--efficiency PCT] [--lap stroke|spindle]\n"
    "                    [--design classic|fit] [--free-focus]\n"
    "                    [--stroke F] [--stroke-offset F] [--lap-size F]\n"
    "                    [--pressure uniform|load] [--wear preston|matrix]\n"
    "                    [--compare AFTER_FILE --minutes T | --rate R]\n"
    "                    [--txt FILE] [--dxf FILE] [--png FILE]\n"
    "                    [--check FILE] [--check-png FILE] [--lap-dxf FILE]\n"
    "                    [--svg FILE] [--pdf FILE [--paper a4|letter]] SURFACE_FILE\n"
    "       doroziri-cli --help | --version\n"
    "Try 'doroziri-cli --help' for more.\n";

constexpr const char* HELP =
    "doroziri-cli - the leaf outline of a star-shaped polishing lap, without a window.\n"
    "\n"
    "usage: doroziri-cli [OPTIONS] SURFACE_FILE\n"
    "\n"
    "Reads SURFACE_FILE (\".srf\" is appended when the name's fourth-last character\n"
    "is not \".\"), solves the zone wear system of a 2/5-stroke lap for the leaf\n"
    "profile, smooths it, builds the outline of one leaf and writes the exports.\n"
    "The options are applied after the load, in this order, as the window's\n"
    "commands would apply them:\n"
    "\n"
    "  --lap stroke|spindle  lap type: \"2/5 Stroke\" (the smoothed profile, the\n"
    "                        default) or \"Spindle\" (the measured values); resets\n"
    "                        the efficiency to 100\n"
    "  --leaves N            number of leaves, 1 or more (default 4)\n"
    "  --efficiency PCT      efficiency in percent, more than 0 (default 100)\n"
    "  --design classic|fit  how the leaf widths of a \"2/5 Stroke\" lap are chosen:\n"
    "                        \"classic\" (the default: the solved profile, smoothed\n"
    "                        and lifted to zero) or \"fit\" (the widths that leave\n"
    "                        the least predicted residual, see below); \"Spindle\"\n"
    "                        laps are always classic\n"
    "  --free-focus          let the fit and the predicted removal also take off a\n"
    "                        term in the square of the radius (a small change of\n"
    "                        the radius of curvature); off by default\n"
    "  --stroke F            the stroke the lap is worked with, end to end, as a\n"
    "                        fraction of the mirror's diameter: the lap's centre\n"
    "                        travels F outer radii either side of the mirror's\n"
    "                        centre; 0.02 to 1 (default 0.2, the 2/5 stroke)\n"
    "  --stroke-offset F     sideways offset of the stroke's line from the\n"
    "                        mirror's centre, as a fraction of the diameter, for\n"
    "                        W-like strokes; 0 to 0.5 (default 0)\n"
    "  --lap-size F          the lap's diameter as a fraction of the mirror's;\n"
    "                        0.3 to 1 (default 1, a full-size lap)\n"
    "  --pressure uniform|load\n"
    "                        the pressure under the lap: the same wherever it\n"
    "                        touches (\"uniform\", the default), or a constant total\n"
    "                        load spread over the contact (\"load\"), so that a\n"
    "                        lap overhanging the edge presses harder where it\n"
    "                        still touches\n"
    "  --wear preston|matrix the wear model of the predicted removal and the fit:\n"
    "                        Preston's law for the stroke, offset, lap size and\n"
    "                        pressure above (the default), or the classic zone\n"
    "                        wear matrix of the 2/5 stroke, which gives the\n"
    "                        figures of earlier versions and which those four\n"
    "                        settings do not change\n"
    "  --compare AFTER_FILE  compare with a later test of the same mirror, made\n"
    "                        after polishing with this lap (the settings given,\n"
    "                        designed on SURFACE_FILE) for --minutes T: the check\n"
    "                        table gains the rate of wear and the share of the\n"
    "                        measured removal each wear model explains (see\n"
    "                        below); it goes to --check FILE, or to standard\n"
    "                        output (in place of the text export) without --check\n"
    "  --minutes T           the minutes polished between the two tests, more\n"
    "                        than 0; only with --compare, which needs it\n"
    "  --rate R              a rate of wear learnt before by --compare under the\n"
    "                        same wear model, in the surface file's height units\n"
    "                        per minute, more than 0: the check table then says\n"
    "                        how many minutes of polishing the lap needs; not\n"
    "                        with --compare, which finds the rate itself\n"
    "  --txt FILE            write the text export (caption, header, one line per\n"
    "                        zone: radius in mm, x/radius, y/radius of the leaf edge\n"
    "                        as drawn, of the fitted outline under --design fit)\n"
    "  --dxf FILE            write the half-leaf outline in millimetres as DXF\n"
    "  --png FILE            write the lap plot (641 x 341 pixels) as PNG\n"
    "  --check FILE          write the predicted removal of the lap as set: the\n"
    "                        caption, the design (with the fit or the free focus),\n"
    "                        the measured RMS and P-V, the RMS and P-V left and\n"
    "                        the share of the RMS left, then a header and\n"
    "                        one line per zone: radius in mm, measured value, leaf\n"
    "                        width (fraction of the pitch), predicted removal,\n"
    "                        residual (measured - predicted)\n"
    "  --check-png FILE      write the chart of the predicted removal as PNG\n"
    "  --lap-dxf FILE        write the whole lap at full size as DXF for cutting:\n"
    "                        millimetres ($INSUNITS 4), each leaf a closed polyline\n"
    "                        and the rim a circle on layer CUT, the centre mark and\n"
    "                        the notes on layer NOTES\n"
    "  --svg FILE            write the whole lap at 1:1 as SVG (size in mm; each leaf\n"
    "                        a closed path, the part cut away shaded grey)\n"
    "  --pdf FILE            write a printable 1:1 template: one page when the lap\n"
    "                        fits, else tiles with an overlap, alignment marks and\n"
    "                        row/column labels; a 100 mm scale bar (and a 4-inch\n"
    "                        one on letter paper) and a title block on every page.\n"
    "                        Print at 100 % (\"actual size\") and measure the bar.\n"
    "  --paper a4|letter     paper of --pdf; by default letter when the locale's\n"
    "                        country (LC_ALL, LC_PAPER, LANG) is US or CA, else A4\n"
    "  --help                show this text\n"
    "  --version             show the version and the licence\n"
    "\n"
    "The predicted removal is the lap's wear by the chosen wear model: by default\n"
    "Preston's law (wear = pressure x sliding path) for a lap worked back and forth\n"
    "with the stroke, offset and lap size given, the mirror and the lap turned\n"
    "between strokes; with --wear matrix the classic zone wear matrix of the 2/5\n"
    "stroke, which counts only the radial part of the sliding; for \"Spindle\" the\n"
    "leaf widths themselves. It is scaled by the polishing time and shifted by the\n"
    "piston that fit the measured values best in the area-weighted least-squares\n"
    "sense (time 0 when the lap could only add glass). RMS values are\n"
    "area-weighted, about the mean. The check table names the model and the\n"
    "stroke and gives the share of the RMS the other model would leave. Neither\n"
    "model knows the pitch's flow, the lap's flexure or a raised pressure at the\n"
    "edge: it is a guide for comparing designs and settings, not a promise about\n"
    "a particular mirror.\n"
    "\n"
    "The fit (--design fit) chooses the width of every zone, the polishing time and\n"
    "the piston together for the least area-weighted squared residual by that same\n"
    "model, so it is judged by the model it was made with. Each width stays between\n"
    "a floor and the whole pitch: floor = max(0.10, 1 - efficiency / 100), so a\n"
    "lower efficiency keeps more of the lap (0.20 at 80 %), as in the classic\n"
    "design. The outline stays cuttable: sampled at 50 radii its second derivative\n"
    "by the normalised radius stays within 40, or within the classic design's own\n"
    "value on the same file and settings where that is larger, and free of waves\n"
    "finer than the model resolves: a roughness penalty is added, the strongest of\n"
    "a fixed ladder whose fit leaves at most 1 percentage point (or 5 % of it,\n"
    "whichever is more) more of the RMS than the fit without it, and no larger\n"
    "P-V than that fit or the measured surface. A zone at radius 0, which the area\n"
    "weights ignore, weighs in the fit as the disc it stands for, and its residual\n"
    "is held within 95 % of the measured P-V of every other zone's (or their\n"
    "measured difference, where larger). The DXF caption then reads\n"
    "\"2/5 Stroke Tessaro, least-squares fit, ...\".\n"
    "\n"
    "Learning the lap's wear (--compare AFTER_FILE --minutes T): the measured\n"
    "removal is SURFACE_FILE's values minus AFTER_FILE's at SURFACE_FILE's zone\n"
    "radii (AFTER_FILE's values taken linearly between its own zones); the two\n"
    "tests have no common zero, so a piston is free. The rate x T x the lap's\n"
    "predicted removal shape, plus a piston, is fitted to it by area-weighted\n"
    "least squares, the rate never below 0. The check table then gains, before\n"
    "its header, the lines\n"
    "  Later test (after T minutes of polishing): CAPTION\n"
    "  Rate: NUMBER per minute (MODEL)\n"
    "  Share of the measured removal explained: NUMBER % (MODEL)\n"
    "the last two for the chosen wear model, then for the other, and every zone\n"
    "three more columns: measured removal, predicted removal, misfit. The share\n"
    "explained is 1 - RMS(misfit) / RMS(measured removal); a pure piston change\n"
    "gives rate 0 and share 0. The rate is in the file's height units per\n"
    "minute, on the scale of its own model. With a rate, from --compare or\n"
    "--rate, the table also says\n"
    "  Polishing time: NUMBER minutes at NUMBER per minute\n"
    "the design's fitted polishing time over the rate. Refused (exit status 1):\n"
    "a later test of another mirror (outer radii more than 2 % apart), a zone of\n"
    "SURFACE_FILE outside the later test's radii, T of 0 or less, a later test\n"
    "that cannot be loaded, and an export onto AFTER_FILE.\n"
    "\n"
    "FILE may be '-' for standard output. With no export option the text export is\n"
    "written to standard output. Numbers on the command line, in the surface file\n"
    "and in the text export use the decimal separator of the locale (LC_ALL,\n"
    "LC_NUMERIC, LANG) as this system has it installed (a locale that is not\n"
    "installed gives a period, as in the window); the DXF export always uses a\n"
    "period.\n"
    "\n"
    "An existing FILE is replaced only when the new one is complete: the export is\n"
    "written to a temporary file .NAME.doroziri-XXXXXX.tmp beside it, synced and\n"
    "renamed over it, so a failed or killed run leaves the old file as it was (a\n"
    "link is followed, the permissions are kept; a device or FIFO is written\n"
    "directly). Two exports to one file, and an export onto SURFACE_FILE itself,\n"
    "are refused before anything is written. '-', /dev/stdout and any other name\n"
    "of the file behind standard output are one file; output to standard output\n"
    "when that is SURFACE_FILE (doroziri-cli --check - s.srf >> s.srf) is refused\n"
    "as an export onto it.\n"
    "\n"
    "Surface file format (text; LF or CR LF line ends):\n"
    "  line 1   caption of the plot\n"
    "  line 2   not read\n"
    "  line 3   the target parameter b (first number on the line)\n"
    "  line 4   the target parameter R (first number on the line)\n"
    "  line 5   not read\n"
    "  line 6.. one zone per line: zone radius in mm, a second number (not used),\n"
    "           measured value; numbers separated by spaces or tabs; at most 500\n"
    "           zones; the last line is the outermost zone.\n"
    "SURFACE_FILE must be a file (not a FIFO or a device), in plain text (UTF-16\n"
    "is refused). Radii that are negative, beyond the last zone's, repeated or out\n"
    "of ascending order, and a Ctrl-Z before the last line, are read as they stand\n"
    "with one warning line on standard error.\n"
    "\n"
    "Bad input: a file that cannot be read gives \"NAME not found, try again.\";\n"
    "a third line that is not a number is refused with a message quoting it\n"
    "(and, for a number with the other decimal separator than the locale's, a\n"
    "sentence saying which one the locale asks for); a word where a number\n"
    "belongs on the fourth line or on a zone line, also a number with the other\n"
    "separator, gives \"'WORD' is not a valid floating point value\", the word\n"
    "alone; a zone line with fewer than three numbers and more than 500 zones\n"
    "are refused with a message naming the line, and values that cannot be\n"
    "solved with the solver's status. Nothing is written then. --leaves below 1,\n"
    "--efficiency of 0 or less, and a stroke, offset, lap size, time or rate out\n"
    "of its range are refused (exit status 1). An option's value that is empty\n"
    "or not one number (--leaves '', --stroke x, --efficiency 87.5 where the\n"
    "locale writes 87,5) is a wrong option, as is an option given twice.\n"
    "\n"
    "The whole-lap outputs are drawn from the leaf widths of the current settings.\n"
    "Widths below zero (an efficiency above what the profile allows makes the\n"
    "edges cross) are drawn as they are, with a warning on standard error. The\n"
    "half-leaf --dxf file declares no units and carries reference lines: a CAM\n"
    "program must be set to millimetres and told to skip them; --lap-dxf needs\n"
    "neither.\n"
    "\n"
    "Exit status: 0 success, 1 the file could not be loaded or written or a value\n"
    "was refused (the message is on standard error), 2 a wrong option (named on\n"
    "standard error) or two exports to one file.\n";

// An export file and the option that named it.
struct NamedOutput {
    std::string option, path;
};

// True when `path` is standard output: "-", or a name of the file behind
// it (/dev/stdout, /proc/self/fd/1, or that file's own name).
bool is_standard_output(const std::string& path, const std::optional<FileIdentity>& standard_output) {
    return path == "-" || (standard_output && file_identity(path) == standard_output);
}

// The refusal when two outputs name one file (or both standard output).
std::optional<std::string> shared_output(const std::vector<NamedOutput>& outputs,
                                         const std::optional<FileIdentity>& standard_output) {
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        for (std::size_t j = i + 1; j < outputs.size(); ++j) {
            const bool both_standard = is_standard_output(outputs[i].path, standard_output) &&
                                       is_standard_output(outputs[j].path, standard_output);
            if (!both_standard && !same_output(outputs[i].path, outputs[j].path)) continue;
            return outputs[i].option + " " + outputs[i].path + " and " + outputs[j].option + " " +
                   outputs[j].path + " name the same file; give each export a file of its own.";
        }
    }
    return std::nullopt;
}

// Version and licence, for --version.
void write_version(std::ostream& out) {
    out << "doroziri-cli " << DOROZIRI_VERSION << "\n"
        << "Licence: GPL-3.0-or-later (GNU General Public License, version 3 or any later\n"
        << "version). There is NO WARRANTY, to the extent permitted by law.\n";
}

struct Options {
    std::optional<std::string> leaves, efficiency, lap, design, txt, dxf, png, check, check_png, lap_dxf, svg, pdf,
        paper, stroke, stroke_offset, lap_size, pressure, wear, compare, minutes, rate;
    bool free_focus = false;
    std::string surface;
};

// The option that takes a value, and where it goes; nullptr for any other.
std::optional<std::string>* value_slot(Options& o, const std::string& arg) {
    const std::pair<const char*, std::optional<std::string>*> slots[] = {
        {"--design", &o.design},       {"--leaves", &o.leaves},
        {"--efficiency", &o.efficiency}, {"--lap", &o.lap},
        {"--txt", &o.txt},             {"--dxf", &o.dxf},
        {"--png", &o.png},             {"--check", &o.check},
        {"--check-png", &o.check_png}, {"--lap-dxf", &o.lap_dxf},
        {"--svg", &o.svg},             {"--pdf", &o.pdf},
        {"--paper", &o.paper},         {"--stroke", &o.stroke},
        {"--stroke-offset", &o.stroke_offset}, {"--lap-size", &o.lap_size},
        {"--pressure", &o.pressure},   {"--wear", &o.wear},
        {"--compare", &o.compare},     {"--minutes", &o.minutes},
        {"--rate", &o.rate},
    };
    for (const auto& [name, slot] : slots) {
        if (arg == name) return slot;
    }
    return nullptr;
}

// The number an option's value gives, read as a prompt answer is read
// (the user's decimal separator, the whole text one token), or the usage
// error that names the option. An empty value is no number: it does not
// keep the value in force, as an empty prompt answer would.
template <typename Number>
std::optional<std::string> read_option_number(const std::string& option, const std::string& text, char sep,
                                              Number& value) {
    constexpr bool integer = std::is_same_v<Number, std::int32_t>;
    const std::string refusal = option + ": '" + shown_in_message(text) + "' is not a valid " +
                                (integer ? "integer" : "floating point") + " value";
    if (text.empty() || text.find_first_of(" \t") != std::string::npos) return refusal;
    Tokenizer tokenizer(sep);
    tokenizer.IN_LINE = text;
    try {
        if constexpr (integer) {
            tokenizer.READ_INT(value);
        } else {
            Real read = 0;
            tokenizer.READ_REAL(read);
            value = static_cast<Number>(read);
        }
    } catch (const ConversionError&) {
        return refusal + separator_hint(text, sep);
    }
    return std::nullopt;
}

// The settings the options give, read and checked for form before any file
// is touched; their ranges are the document's to refuse.
struct Settings {
    std::optional<std::int32_t> leaves;
    std::optional<Real> efficiency;
    std::optional<bool> spindle;
    LapDesign design = LapDesign::classic;
    Paper paper = Paper::a4;
    std::optional<WearSettings> wear;  // set when any of its options is given
    double minutes = 0;
    std::optional<double> rate;
};

// Reads the options' values into `settings`; the usage error otherwise.
std::optional<std::string> read_settings(const Options& o, char sep, WearSettings wear, Settings& settings) {
    if (o.lap) {
        if (*o.lap == "stroke") settings.spindle = false;
        else if (*o.lap == "spindle") settings.spindle = true;
        else return "--lap takes stroke or spindle";
    }
    if (o.design) {
        if (*o.design == "classic") settings.design = LapDesign::classic;
        else if (*o.design == "fit") settings.design = LapDesign::fit;
        else return "--design takes classic or fit";
    }
    settings.paper = environment_paper();
    if (o.paper) {
        const auto chosen = parse_paper(*o.paper);
        if (!chosen) return "--paper takes a4 or letter";
        settings.paper = *chosen;
    }
    if (o.leaves) {
        std::int32_t leaves = 0;
        if (auto bad = read_option_number("--leaves", *o.leaves, sep, leaves)) return bad;
        settings.leaves = leaves;
    }
    if (o.efficiency) {
        Real efficiency = 0;
        if (auto bad = read_option_number("--efficiency", *o.efficiency, sep, efficiency)) return bad;
        settings.efficiency = efficiency;
    }
    const std::pair<const char*, const std::optional<std::string>*> fractions[] = {
        {"--stroke", &o.stroke}, {"--stroke-offset", &o.stroke_offset}, {"--lap-size", &o.lap_size}};
    double* const targets[] = {&wear.stroke, &wear.offset, &wear.lap_size};
    for (std::size_t k = 0; k < std::size(fractions); ++k) {
        const auto& [name, text] = fractions[k];
        if (!*text) continue;
        if (auto bad = read_option_number(name, **text, sep, *targets[k])) return bad;
    }
    if (o.pressure) {
        if (*o.pressure == "uniform") wear.pressure = PressureModel::uniform;
        else if (*o.pressure == "load") wear.pressure = PressureModel::load;
        else return "--pressure takes uniform or load";
    }
    if (o.wear) {
        if (*o.wear == "preston") wear.model = WearLaw::preston;
        else if (*o.wear == "matrix") wear.model = WearLaw::matrix;
        else return "--wear takes preston or matrix";
    }
    if (o.stroke || o.stroke_offset || o.lap_size || o.pressure || o.wear) settings.wear = wear;
    if (o.minutes && !o.compare) return "--minutes goes with --compare AFTER_FILE";
    if (o.compare && !o.minutes) return "--compare needs --minutes T, the minutes polished between the two tests";
    if (o.compare && o.rate) return "--rate and --compare both give the rate of wear; give one of them";
    if (o.minutes) {
        if (auto bad = read_option_number("--minutes", *o.minutes, sep, settings.minutes)) return bad;
    }
    if (o.rate) {
        double rate = 0;
        if (auto bad = read_option_number("--rate", *o.rate, sep, rate)) return bad;
        settings.rate = rate;
    }
    return std::nullopt;
}

// The refusal of output to standard output when that is the surface file
// (doroziri-cli --check - s.srf >> s.srf): the table would land in the
// measurement.
std::string appending_to_surface_message(const std::string& surface) {
    return "Not written: standard output is the surface file " + surface +
           ", and the output would land in the measurement; send it to another file.";
}

// The refusal of an export onto the later test of a comparison.
std::string export_onto_later_test_message(const std::string& path) {
    return "Not written: " + path +
           " is the later test that is compared, and the export would replace the measurement; "
           "choose another file name.";
}

// Writes `bytes` to FILE or, for "-", to standard output.
std::optional<std::string> write_output(const std::string& path, const std::string& bytes, std::ostream& out) {
    if (path == "-") {
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.flush();
        if (!out) return std::string("Cannot write to standard output.");
        return std::nullopt;
    }
    return write_file_replace(path, bytes);
}

}  // namespace

int run_cli(const std::vector<std::string>& args, char decimal_separator, std::ostream& out, std::ostream& err,
            const std::optional<FileIdentity>& standard_output) {
    Options options;
    bool have_surface = false;
    auto usage_error = [&](const std::string& message) {
        err << "doroziri-cli: " << message << "\n" << USAGE;
        return 2;
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            out << HELP;
            return 0;
        }
        if (arg == "--version") {
            write_version(out);
            return 0;
        }
        if (arg == "--free-focus") {
            if (options.free_focus) return usage_error("--free-focus is given twice; give each option once");
            options.free_focus = true;
            continue;
        }
        if (std::optional<std::string>* slot = value_slot(options, arg)) {
            if (i + 1 >= args.size()) return usage_error(arg + " needs a value");
            if (*slot) return usage_error(arg + " is given twice; give each option once");
            *slot = args[++i];
            continue;
        }
        if (arg.size() > 1 && arg[0] == '-') return usage_error("unknown option " + arg);
        if (have_surface) return usage_error("only one surface file can be given");
        options.surface = arg;
        have_surface = true;
    }
    if (!have_surface) return usage_error("no surface file given");

    LapDocument doc(decimal_separator);
    Settings settings;
    if (auto bad = read_settings(options, decimal_separator, doc.state().WEAR, settings)) return usage_error(*bad);

    // A comparison without --check writes its table to standard output, as
    // the text export goes there when nothing else is asked for.
    const bool compare_to_standard_output = options.compare && !options.check;
    if (compare_to_standard_output) options.check = "-";

    // Every file this run writes, with the option that names it; two that
    // name one file are refused before anything is read or written.
    std::vector<NamedOutput> outputs;
    if (options.txt) outputs.push_back({"--txt", *options.txt});
    if (options.dxf) outputs.push_back({"--dxf", *options.dxf});
    if (options.png) outputs.push_back({"--png", *options.png});
    if (options.check) outputs.push_back({compare_to_standard_output ? "--compare" : "--check", *options.check});
    if (options.check_png) outputs.push_back({"--check-png", *options.check_png});
    if (options.lap_dxf) outputs.push_back({"--lap-dxf", *options.lap_dxf});
    if (options.svg) outputs.push_back({"--svg", *options.svg});
    if (options.pdf) outputs.push_back({"--pdf", *options.pdf});
    const bool any_template = options.lap_dxf || options.svg || options.pdf;
    const bool any_export =
        options.txt || options.dxf || options.png || options.check || options.check_png || any_template;
    if (!any_export) outputs.push_back({"--txt", "-"});  // the text export's default
    if (const auto clash = shared_output(outputs, standard_output)) {
        err << "doroziri-cli: " << *clash << "\n";
        return 2;
    }

    auto refuse = [&](const std::string& message) {
        err << message << "\n";
        return 1;
    };
    // Output to standard output that would land in the surface file or the
    // later test, then the load, as the window's command line does; an
    // export onto the surface file itself is refused before anything is
    // computed.
    const std::string surface = surface_file_name(options.surface);
    const bool writes_standard_output = std::any_of(outputs.begin(), outputs.end(), [&](const NamedOutput& o) {
        return is_standard_output(o.path, standard_output);
    });
    if (writes_standard_output && standard_output) {
        if (file_identity(surface) == standard_output) return refuse(appending_to_surface_message(surface));
        if (options.compare && file_identity(*options.compare) == standard_output) {
            return refuse(export_onto_later_test_message("standard output"));
        }
    }
    if (options.compare) {
        if (const auto later = file_identity(*options.compare)) {
            for (const NamedOutput& output : outputs) {
                if (output.path != "-" && file_identity(output.path) == later) {
                    return refuse(export_onto_later_test_message(output.path));
                }
            }
        }
    }
    std::vector<std::string> paths;
    for (const NamedOutput& output : outputs) paths.push_back(output.path);
    if (auto failure = doc.open(surface, paths).refused) return refuse(*failure);
    if (!doc.load_warning().empty()) err << doc.load_warning() << "\n";

    // The lap type, the number of leaves, the efficiency and the wear
    // settings, in that order, then the design of the settings as they
    // stand: the fit is made once.
    if (settings.spindle) {
        if (auto failure = doc.set_lap_type(*settings.spindle).refused) return refuse(*failure);
    }
    if (settings.leaves) {
        if (auto failure = doc.set_num_leaves(*settings.leaves).refused) return refuse(*failure);
    }
    if (settings.efficiency) {
        if (auto failure = doc.set_efficiency(*settings.efficiency).refused) return refuse(*failure);
    }
    if (settings.wear) {
        if (auto failure = doc.set_wear(*settings.wear).refused) return refuse(*failure);
    }
    if (auto failure = doc.set_design(settings.design, options.free_focus).fit_failed) return refuse(*failure);
    // The lap used between the two tests is now drawn: the comparison judges
    // it, and its rate (or the one given) turns the prediction into minutes.
    if (options.compare) {
        if (auto failure = doc.compare(*options.compare, settings.minutes).refused) return refuse(*failure);
    }
    if (settings.rate) {
        if (auto failure = doc.set_rate(*settings.rate).refused) return refuse(*failure);
    }

    // The exports, after what refuses them and the warning they all share.
    const WorkingState& ws = doc.state();
    const Paper paper = settings.paper;
    if (auto failure = options.pdf ? printed_template_refusal(ws, paper, decimal_separator)
                       : (options.lap_dxf || options.svg) ? template_refusal(ws, decimal_separator) : std::nullopt) {
        return refuse(*failure);
    }
    if (auto failure = options.check || options.check_png ? removal_range_refusal(ws, decimal_separator) : std::nullopt) {
        return refuse(*failure);
    }
    if (const std::string crossed = doc.template_warning(); !crossed.empty()) err << crossed << "\n";
    if (options.txt || !any_export) {
        if (auto failure = write_output(options.txt.value_or("-"), doc.text_bytes(), out)) return refuse(*failure);
    }
    if (options.dxf) {
        if (auto failure = write_output(*options.dxf, doc.dxf_bytes(), out)) return refuse(*failure);
    }
    if (options.png) {
        if (auto failure = render_png(ws, *options.png, decimal_separator, out)) return refuse(*failure);
    }
    if (options.check) {
        if (auto failure = write_output(*options.check, doc.check_bytes(), out)) return refuse(*failure);
    }
    if (options.check_png) {
        if (auto failure = render_removal_png(ws, doc.removal_check(), *options.check_png, decimal_separator, out)) {
            return refuse(*failure);
        }
    }
    if (any_template) {
        const std::string date = template_date();
        if (options.lap_dxf) {
            if (auto failure = write_output(*options.lap_dxf, doc.lap_dxf_bytes(date), out)) return refuse(*failure);
        }
        if (options.svg) {
            if (auto failure =
                    render_template(ws, TemplateFormat::svg, paper, decimal_separator, date, *options.svg, out)) {
                return refuse(*failure);
            }
        }
        if (options.pdf) {
            if (auto failure =
                    render_template(ws, TemplateFormat::pdf, paper, decimal_separator, date, *options.pdf, out)) {
                return refuse(*failure);
            }
        }
    }
    return 0;
}

}  // namespace dz
